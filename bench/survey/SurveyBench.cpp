// Figures for the work after a survey:
//   - replay pacing: a recorded session (a clock packet a second) played by vireon-sim --replay
//     at --speed 4 and read back on its terminal; the gaps between clock packets against the
//     quarter second they should take, and how evenly each second's records are spread;
//   - export: vireon-decode --export csv, geojson and kml on a large capture against the plain
//     JSON decoding of the same file, in MB/s, with each run's peak memory on two input sizes
//     (the export streams: its memory must not grow with the input);
//   - the KLF reader: MB/s through the one reader on the capture logged as a KLF (and on a day's
//     log, 330 MB), whole and with a damaged record every megabyte, beside a plain read() of the
//     same file (the floor); medians of three runs;
//   - the coverage map: a day's simulated drive (330 MB of log: scan mode with single-channel
//     and a minute of table mode every hour, the fix lost for 12 s an hour) exported as a
//     GeoPackage and a KMZ beside the CSV export of the same log: wall time, peak memory and the
//     file's size against the log's; medians of `runs`.
//   - decoding beside a hex dump: `xxd -p` of a session capture against vireon-decode's JSON Lines,
//     CSV and GeoJSON of the same file, input MB/s, medians of `runs` (at least 5), each as a
//     ratio to the hex dump (the JSON Lines should keep up with it, CSV with half, GeoJSON with a
//     fifth).
// Usage: bench_survey [megabytes=64] [day-log-megabytes=330] [runs=3]
//        bench_survey --decode [megabytes=64] [runs=5]: the decoding beside a hex dump alone
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Capture.h"
#include "DriveLog.h"
#include "Figures.h"
#include "Process.h"
#include "RecordedLog.h"
#include "link/Rs232.h"
#include "log/KlfReader.h"
#include "log/LogRouter.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

fs::path Scratch(const std::string& name) {
  return fs::temp_directory_path() / ("vireon-survey-" + std::to_string(getpid()) + "-" + name);
}

// The session capture logged as the logger logs it.
std::string RecordSession(int seconds) {
  const std::string name = Scratch("replay.KLF").string();
  fs::remove(name);
  vireon::test::RecordLog(vireon::capture::SessionStream(seconds), name, 0);
  return name;
}

void ReplayPacing() {
  constexpr double kSpeed = 4;
  const std::string log = RecordSession(24);
  vireon::test::TSim sim({"--replay", log, "--speed", "4"});
  vireon::TRS232 port;
  port.SetDevicePath(sim.Pty);
  if (sim.Pty.empty() || !port.Open(0)) {
    std::fprintf(stderr, "bench_survey: no replay terminal\n");
    return;
  }
  const uint8_t request[] = {0xAA, 0x02, 0x00, 0x1C, 0x1C};
  port.Write(request, sizeof request);
  vireon::TPacket framer;
  std::vector<double> clocks;                // arrival of each clock packet, s
  std::vector<std::vector<double>> seconds;  // arrivals of the records after each clock packet
  uint8_t buffer[vireon::TRS232::kBufferSize];
  const auto start = Clock::now();
  while (Clock::now() - start < std::chrono::seconds(9)) {
    if (port.WaitForData(100) != vireon::TRS232::TWait::Ready) continue;
    const int16_t n = port.Read(buffer);
    const double t = std::chrono::duration<double>(Clock::now() - start).count();
    for (int16_t k = 0; k < n; ++k) {
      if (framer.Push(buffer[k]) != 0) continue;
      if (framer.Record().Type == 4) {
        clocks.push_back(t);
        seconds.emplace_back();
      } else if (!seconds.empty()) {
        seconds.back().push_back(t);
      }
    }
  }
  std::vector<double> gapError, spreadError;
  for (size_t k = 1; k < clocks.size(); ++k) {
    const double gap = clocks[k] - clocks[k - 1];
    gapError.push_back(1000 * std::abs(gap - 1 / kSpeed));
    // Record j of n after a clock packet is due j/(n+1) of the way to the next one.
    const auto& records = seconds[k - 1];
    for (size_t j = 0; j < records.size(); ++j) {
      const double due = clocks[k - 1] +
                         gap * static_cast<double>(j + 1) / static_cast<double>(records.size() + 1);
      spreadError.push_back(1000 * std::abs(records[j] - due));
    }
  }
  std::printf("replay pacing at --speed 4: %zu clock packets, target gap 250 ms\n", clocks.size());
  std::printf("  clock gap error:      ");
  vireon::bench::PrintLatencies(gapError);
  std::printf("  in-second placement:  ");
  vireon::bench::PrintLatencies(spreadError);
  std::fflush(stdout);
  fs::remove(log);
}

struct TRun {
  double Seconds = -1;
  long PeakKB = 0;
};

// Runs args with stdout to /dev/null; its wall time and peak resident memory. The peak is GNU
// time's: a child's own rusage would count this process's memory, which it shares until exec.
TRun Time(std::vector<std::string> args) {
  const std::string peak = Scratch("peak").string();
  args.insert(args.begin(), {"/usr/bin/time", "-f", "%M", "-o", peak});
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const auto t0 = Clock::now();
  const bool started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  TRun run;
  int status = 0;
  if (!started || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return run;
  run.Seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  std::ifstream(peak) >> run.PeakKB;
  fs::remove(peak);
  return run;
}

void ExportThroughput(int megabytes) {
  const std::string decoder = vireon::test::BinDir() + "/vireon-decode";
  const vireon::capture::Bytes second = vireon::capture::SessionStream(600);
  std::vector<std::pair<std::string, double>> files;
  for (int size : {megabytes / 4, megabytes}) {
    const fs::path path = Scratch(std::to_string(size) + "MB.bin");
    std::ofstream out(path, std::ios::binary);
    size_t written = 0;
    while (written < static_cast<size_t>(size) << 20) {
      out.write(reinterpret_cast<const char*>(second.data()),
                static_cast<std::streamsize>(second.size()));
      written += second.size();
    }
    files.emplace_back(path.string(), static_cast<double>(written) / (1 << 20));
  }
  std::printf("export of a session capture (vireon-decode, stdout to /dev/null)\n");
  for (const auto& [file, mb] : files) {
    const TRun plain = Time({decoder, file});
    std::printf("  %6.1f MB  plain JSON   %7.1f MB/s  peak %6ld kB\n", mb, mb / plain.Seconds,
                plain.PeakKB);
    for (const char* format : {"csv", "geojson", "kml"}) {
      const TRun run = Time({decoder, "--export", format, file});
      std::printf("  %6.1f MB  %-8s     %7.1f MB/s  peak %6ld kB  (%.2f x plain JSON)\n", mb,
                  format, mb / run.Seconds, run.PeakKB, plain.Seconds / run.Seconds);
    }
    fs::remove(file);
  }
}

// A session capture of about `megabytes` logged as the logger logs it.
std::string RecordLogOf(int megabytes, const std::string& name) {
  const vireon::capture::Bytes second = vireon::capture::SessionStream(600);
  vireon::capture::Bytes stream;
  while (stream.size() < static_cast<size_t>(megabytes) << 20)
    stream.insert(stream.end(), second.begin(), second.end());
  const std::string path = Scratch(name).string();
  fs::remove(path);
  vireon::test::RecordLog(stream, path, 64);
  return path;
}

// Seconds to pass the whole file through fn(fd), the median of three.
template <typename Fn>
double MedianSeconds(const std::string& path, Fn fn) {
  std::vector<double> runs;
  for (int k = 0; k < 3; ++k) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const auto t0 = Clock::now();
    fn(fd);
    runs.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    ::close(fd);
  }
  std::sort(runs.begin(), runs.end());
  return runs[1];
}

uint64_t ReadAllRecords(int fd) {
  vireon::TKlfReader reader(fd);
  uint64_t bytes = 0;
  for (vireon::TKlfReader::TItem item; (item = reader.Next()) != vireon::TKlfReader::TItem::End;)
    if (item == vireon::TKlfReader::TItem::Record) bytes += reader.Record().Bytes[2];
  return bytes + reader.Summary().Records;
}

uint64_t ReadPlain(int fd) {
  static char block[1 << 20];
  uint64_t sum = 0;
  for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;) sum += static_cast<uint8_t>(block[0]);
  return sum;
}

// A copy of the log with one record's length field spoiled in every megabyte.
std::string Damaged(const std::string& path) {
  const std::string copy = path + ".damaged";
  fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
  std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
  const auto size = static_cast<std::streamoff>(fs::file_size(copy));
  for (std::streamoff at = 1 << 20; at < size; at += 1 << 20) {
    f.seekp(at);
    f.write("\xff\xff", 2);
  }
  return copy;
}

void ReaderThroughput(int megabytes, int dayMegabytes) {
  std::printf(
      "KLF reader (TKlfReader, 1 MiB blocks) beside read() of the same file, page cache "
      "warm, medians of 3\n");
  volatile uint64_t sink = 0;
  for (const auto& [size, name] : {std::pair{megabytes, std::string("capture.KLF")},
                                   std::pair{dayMegabytes, std::string("day.KLF")}}) {
    const std::string log = RecordLogOf(size, name);
    const std::string damaged = Damaged(log);
    const double mb = static_cast<double>(fs::file_size(log)) / (1 << 20);
    const double plain = MedianSeconds(log, [&](int fd) { sink = sink + ReadPlain(fd); });
    const double whole = MedianSeconds(log, [&](int fd) { sink = sink + ReadAllRecords(fd); });
    const double hurt = MedianSeconds(damaged, [&](int fd) { sink = sink + ReadAllRecords(fd); });
    std::printf(
        "  %7.1f MB  read() %7.0f MB/s   reader %7.0f MB/s (%.2f x read)   damaged "
        "every MB %7.0f MB/s\n",
        mb, mb / plain, mb / whole, plain / whole, mb / hurt);
    fs::remove(log);
    fs::remove(damaged);
  }
}

// The median run of `runs`; a failed run has Seconds < 0.
TRun MedianRun(const std::vector<std::string>& args, int runs, const std::string& out) {
  std::vector<TRun> all;
  for (int k = 0; k < runs; ++k) {
    if (!out.empty()) fs::remove(out);
    all.push_back(Time(args));
  }
  std::sort(all.begin(), all.end(),
            [](const TRun& a, const TRun& b) { return a.Seconds < b.Seconds; });
  return all[all.size() / 2];
}

// A session capture of about `megabytes`, its path and its size in MB.
std::pair<std::string, double> CaptureOf(int megabytes, const std::string& name) {
  const vireon::capture::Bytes second = vireon::capture::SessionStream(600);
  const fs::path path = Scratch(name);
  std::ofstream out(path, std::ios::binary);
  size_t written = 0;
  while (written < static_cast<size_t>(megabytes) << 20) {
    out.write(reinterpret_cast<const char*>(second.data()),
              static_cast<std::streamsize>(second.size()));
    written += second.size();
  }
  return {path.string(), static_cast<double>(written) / (1 << 20)};
}

void DecodeBesideHexDump(int megabytes, int runs) {
  const auto [file, mb] = CaptureOf(megabytes, "hexdump.bin");
  const std::string decoder = vireon::test::BinDir() + "/vireon-decode";
  std::printf(
      "decoding beside a hex dump: %.1f MB session capture, stdout to /dev/null, medians of %d\n",
      mb, runs);
  const double hex = MedianRun({"/usr/bin/xxd", "-p", file}, runs, "").Seconds;
  std::printf("  %-16s %7.1f MB/s\n", "xxd -p", mb / hex);
  const std::pair<const char*, std::vector<std::string>> decodes[] = {
      {"JSON Lines", {decoder, file}},
      {"--export csv", {decoder, "--export", "csv", file}},
      {"--export geojson", {decoder, "--export", "geojson", file}}};
  for (const auto& [name, args] : decodes) {
    const double seconds = MedianRun(args, runs, "").Seconds;
    std::printf("  %-16s %7.1f MB/s  %.2f x xxd -p\n", name, mb / seconds, hex / seconds);
  }
  fs::remove(file);
}

void MapExport(int dayMegabytes, int runs) {
  constexpr double kLogBytesPerSecond = 3665;  // the full line rate, less each frame's sync byte
  vireon::capture::TDrive day;
  day.Seconds = static_cast<int>(dayMegabytes * double(1 << 20) / kLogBytesPerSecond);
  day.CycleSeconds = 3600;
  day.ScanShare = 0.85;
  day.SingleShare = 1 - 0.85 - 60.0 / 3600;
  const std::string log = Scratch("drive.KLF").string();
  if (!vireon::capture::WriteDriveLog(log, day)) {
    std::fprintf(stderr, "bench_survey: cannot write %s\n", log.c_str());
    return;
  }
  const double logMb = static_cast<double>(fs::file_size(log)) / (1 << 20);
  const std::string decoder = vireon::test::BinDir() + "/vireon-decode";
  std::printf("coverage map of a day's drive: %.1f MB of log, %d s, medians of %d run(s)\n", logMb,
              day.Seconds, runs);
  // The CSV rows, formatted and thrown away, are the reading's share of the work.
  const TRun rows = MedianRun({decoder, "--export", "csv", "--out", "/dev/null", log}, runs, "");
  std::printf("  csv to /dev/null %6.1f s  peak %7.1f MB\n", rows.Seconds, rows.PeakKB / 1024.0);
  for (const char* format : {"gpkg", "kmz"}) {
    const std::string out = Scratch(std::string("day.") + format).string();
    const TRun run = MedianRun({decoder, "--export", format, "--out", out, log}, runs, out);
    if (run.Seconds < 0) {
      std::printf("  %-5s failed\n", format);
      continue;
    }
    const double outMb = static_cast<double>(fs::file_size(out)) / (1 << 20);
    std::printf("  %-16s %6.1f s (%.2f x csv)  peak %7.1f MB  file %7.1f MB (%.3f x the log)\n",
                format, run.Seconds, run.Seconds / rows.Seconds, run.PeakKB / 1024.0, outMb,
                outMb / logMb);
    fs::remove(out);
  }
  fs::remove(log);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--decode") {
    DecodeBesideHexDump(argc > 2 ? std::max(4, std::atoi(argv[2])) : 64,
                        argc > 3 ? std::max(5, std::atoi(argv[3])) : 5);
    return 0;
  }
  const int megabytes = argc > 1 ? std::atoi(argv[1]) : 64;
  const int dayMegabytes = argc > 2 ? std::atoi(argv[2]) : 330;
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  ReaderThroughput(std::max(4, megabytes), std::max(4, dayMegabytes));
  ReplayPacing();
  ExportThroughput(std::max(4, megabytes));
  DecodeBesideHexDump(std::max(4, megabytes), std::max(5, runs));
  MapExport(std::max(4, dayMegabytes), runs);
  return 0;
}
