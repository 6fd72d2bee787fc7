// vireon-sim: a simulated instrument on a pseudo-terminal. Prints the terminal's path and the
// path of a stable link to it, one per line, then streams until --duration, SIGINT, SIGTERM or
// "quit" on stdin. Commands on stdin: single, scan, table, start, marker, pause, resume, unplug,
// plug, quit ("plug" prints the new terminal's paths the same way). With --replay it plays a
// recorded log instead of simulating.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Pty.h"
#include "Simulator.h"
#include "platform/CommandLine.h"

namespace {

std::atomic<bool> Stop{false};

void OnSignal(int) {
  Stop.store(true);
}

constexpr const char* kUsage =
    "Usage: vireon-sim [OPTION]...\n"
    "  or:  vireon-sim --replay FILE.KLF [--speed X] [--loop] [OPTION]...\n"
    "A simulated Vireon instrument on a pseudo-terminal. Prints the terminal's path and the path\n"
    "of a stable link to it, then streams packets until --duration, SIGINT, SIGTERM or quit.\n"
    "With --replay it plays a recorded log's packets instead, paced by the instrument's clock\n"
    "packets, once a reader has asked for the serial number.\n"
    "\n"
    "  --mode single|scan|table  measurement mode at start (default scan)\n"
    "  --rate N                  measurement packets per second (default 10)\n"
    "  --full-rate               measurement packets as fast as the line carries them\n"
    "  --serial TEXT             the instrument's serial number, at most 8 characters\n"
    "  --seed N                  seed of the simulated levels, noise and track\n"
    "  --noise P                 chance per packet of line garbage and a corrupted copy\n"
    "  --duration SEC            stop after SEC seconds\n"
    "  --link PATH               where the stable link goes (default\n"
    "                            $XDG_RUNTIME_DIR/vireon-sim.tty)\n"
    "  --start-on-connect        restart the measurement when a logger connects\n"
    "  --replay FILE.KLF         play this log's packet records, answering from its header\n"
    "  --speed X                 replay X times as fast (0: as fast as the reader takes it)\n"
    "  --loop                    start the replay again at the log's end\n"
    "  --verbose                 trace every byte received on stderr\n"
    "  --help                    show this help and exit\n"
    "  --version                 show the version and exit\n"
    "\n"
    "Commands on stdin: single, scan, table, start, marker, pause, resume, unplug, plug, quit.\n"
    "Exit status: 0 success, 2 usage error, a log that cannot be read or no pseudo-terminal,\n"
    "1 a failure during the run.\n";

bool ParseMode(const std::string& text, vireon::sim::TMeasureMode& mode) {
  using vireon::sim::TMeasureMode;
  if (text == "single")
    mode = TMeasureMode::Single;
  else if (text == "scan")
    mode = TMeasureMode::Scan;
  else if (text == "table")
    mode = TMeasureMode::Table;
  else
    return false;
  return true;
}

bool ParseNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && value >= 0;
}

bool ParseOptions(int argc, char** argv, vireon::sim::TOptions& o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--full-rate") {
      o.FullRate = true;
      continue;
    }
    if (arg == "--start-on-connect") {
      o.StartOnConnect = true;
      continue;
    }
    if (arg == "--verbose") {
      o.Verbose = true;
      continue;
    }
    if (arg == "--loop") {
      o.Loop = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    double number = 0;
    if (arg == "--mode") {
      if (!ParseMode(value, o.Mode)) return false;
    } else if (arg == "--serial") {
      o.Serial = value;
    } else if (arg == "--link") {
      o.LinkPath = value;
    } else if (arg == "--replay") {
      o.ReplayFile = value;
    } else if (!ParseNumber(value, number)) {
      return false;
    } else if (arg == "--rate") {
      o.Rate = number;
    } else if (arg == "--seed") {
      o.Seed = static_cast<uint32_t>(number);
    } else if (arg == "--noise") {
      o.Noise = number;
    } else if (arg == "--duration") {
      o.Duration = number;
    } else if (arg == "--speed") {
      o.Speed = number;
    } else {
      return false;
    }
  }
  return o.Serial.size() <= 8 && o.Noise <= 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (auto code = vireon::AnswerStandardOption(argc, argv, "vireon-sim", kUsage)) return *code;
  vireon::sim::TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return vireon::kExitUsage;
  }
  if (options.LinkPath.empty()) options.LinkPath = vireon::sim::DefaultLinkPath();
  vireon::sim::TReplay replay;
  const bool replaying = !options.ReplayFile.empty();
  if (replaying && !replay.Open(options.ReplayFile, options.Speed, options.Loop)) {
    std::fprintf(stderr, "vireon-sim: %s\n", replay.Error.c_str());
    return vireon::kExitUsage;
  }

  vireon::sim::TPty pty;
  if (!pty.Create() || !pty.Link(options.LinkPath)) {
    std::fprintf(stderr, "vireon-sim: %s\n", pty.Error.c_str());
    return vireon::kExitUsage;
  }
  std::printf("%s\n%s\n", pty.SlavePath.c_str(), pty.LinkPath.c_str());
  std::fflush(stdout);

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  vireon::sim::TSimulator simulator(options, pty, replaying ? &replay : nullptr);
  simulator.Run(Stop, STDIN_FILENO);
  return 0;
}
