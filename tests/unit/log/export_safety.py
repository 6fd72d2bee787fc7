"""What an export refuses and how it fails: it never harms a log, never leaves a file under the
final name unless the export is whole, and says why in one line with the right exit status."""
import os
import resource
import signal
import subprocess
import sys
import tempfile
import time

decoder, capture = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="vireon-export-safety-")


def klf_log(stream):
    """The capture's frames as a log: the header of an unknown instrument, then every frame
    without its sync byte."""
    def record(kind, body):
        sum_ = kind
        for b in body:
            sum_ ^= b
        return bytes([len(body) + 2, 0, kind]) + body + bytes([sum_])
    out = bytes(6) + record(0x80, b"NDQVIREON0401") + record(0x81, bytes(9))
    out += bytes([25, 0, 1]) + bytes(24)
    k = 0
    while k + 3 <= len(stream):
        if stream[k] == 0xAA:
            n = stream[k + 1] | stream[k + 2] << 8
            out += stream[k + 1:k + 3 + n]
            k += 3 + n
        else:
            k += 1
    return out


def path(name):
    return os.path.join(work, name)


def write(name, data):
    with open(path(name), "wb") as f:
        f.write(data)
    return path(name)


with open(capture, "rb") as f:
    log_bytes = klf_log(f.read())
survey = write("survey.KLF", log_bytes)
other = write("other.KLF", log_bytes[:2000])
empty = write("empty.csv", b"")
text = write("notes.txt", b"levels,time\n-71,08:15\n" * 50)
text_klf = write("notes.KLF", b"levels,time\n-71,08:15\n" * 50)
os.mkdir(path("adir"))
old = b"an export from yesterday\n"


def limit_file_size():
    resource.setrlimit(resource.RLIMIT_FSIZE, (64 * 1024, 64 * 1024))


# name, arguments, exit status, a text stderr must hold, the file that must stay as it was
cases = [
    ("the output is the input", ["--export", "csv", "--out", survey, survey], 2, "is the input",
     survey),
    ("the output is another log", ["--export", "csv", "--out", other, survey], 2, "is a KLF log",
     other),
    ("/dev/null read into a log's name", ["--export", "csv", "--out", survey, "/dev/null"], 2,
     "is a KLF log", survey),
    ("an empty input", ["--export", "csv", "--out", path("e.csv"), empty], 2, "holds no packets",
     None),
    ("a text input", ["--export", "kml", "--out", path("t.kml"), text], 2, "holds no packets",
     None),
    ("a text input named as a log", ["--export", "geojson", "--out", path("t.json"), text_klf], 2,
     "is not a KLF log", None),
    ("a folder as input", ["--export", "csv", "--out", path("d.csv"), path("adir")], 2,
     "is a folder", None),
    ("a full device", ["--export", "csv", "--out", "/dev/full", survey], 1,
     "No space left on device", None),
    ("a file-size limit", ["--export", "geojson", "--out", path("old.json"), survey], 1,
     "File too large", path("old.json")),
    ("--out without --export", ["--out", path("x.csv"), survey], 2,
     "vireon-decode: --out needs --export\nTry 'vireon-decode --help'.", None),
]

failures = []
for name, args, status, says, kept in cases:
    if kept == path("old.json"):
        write("old.json", old)
    before = open(kept, "rb").read() if kept else None
    run = subprocess.run([decoder] + args, capture_output=True, text=True,
                         preexec_fn=limit_file_size if "limit" in name else None)
    wrong = []
    if run.returncode != status:
        wrong.append(f"exit {run.returncode}, not {status}")
    if says not in run.stderr:
        wrong.append(f"stderr {run.stderr!r} lacks {says!r}")
    if len(run.stderr.strip().splitlines()) > 2:
        wrong.append(f"more than one line of reason: {run.stderr!r}")
    if kept and open(kept, "rb").read() != before:
        wrong.append(f"{kept} changed")
    out = args[args.index("--out") + 1] if "--out" in args else None
    if out and out.startswith(work) and out != kept and os.path.exists(out):
        wrong.append(f"{out} was left behind")
    if wrong:
        failures.append(f"{name}: " + "; ".join(wrong))

# Stopped in the middle: neither the final name nor the temporary stays.
fifo = path("slow.bin")
os.mkfifo(fifo)
final = path("stopped.csv")
proc = subprocess.Popen([decoder, "--export", "csv", "--out", final, fifo],
                        stderr=subprocess.PIPE)
with open(fifo, "wb") as feed:
    with open(capture, "rb") as f:
        feed.write(f.read())
    feed.flush()
    time.sleep(0.5)
    proc.send_signal(signal.SIGTERM)
    proc.wait(timeout=10)
leftovers = [n for n in os.listdir(work) if "stopped" in n]
if proc.returncode != -signal.SIGTERM or leftovers:
    failures.append(f"SIGTERM mid-run: status {proc.returncode}, left {leftovers}")

if open(survey, "rb").read() != log_bytes:
    failures.append("the survey log changed")
# A whole export replaces an older file of the name, and leaves no temporary beside it.
write("again.csv", old)
run = subprocess.run([decoder, "--export", "csv", "--out", path("again.csv"), survey],
                     capture_output=True, text=True)
temporaries = [n for n in os.listdir(work) if n.startswith(".")]
if run.returncode != 0 or open(path("again.csv"), "rb").read() == old or temporaries:
    failures.append(f"a whole export: {run.returncode} {run.stderr!r} {temporaries}")

if failures:
    print("export_safety: failed:\n  " + "\n  ".join(failures))
    sys.exit(1)
print(f"export_safety: {len(cases) + 2} cases refused, failed or succeeded as they should")
