// vireon-sim: a simulated instrument on a pseudo-terminal. Prints the terminal's path and the
// path of a stable link to it, one per line, then streams until --duration, SIGINT, SIGTERM or
// "quit" on stdin. Commands on stdin: single, scan, table, start, marker, unplug, plug, quit
// ("plug" prints the new terminal's paths the same way).

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Pty.h"
#include "Simulator.h"

namespace {

std::atomic<bool> Stop{false};

void OnSignal(int) {
  Stop.store(true);
}

void Usage() {
  std::fprintf(stderr,
               "usage: vireon-sim [--mode single|scan|table] [--rate N | --full-rate]\n"
               "                  [--serial TEXT] [--seed N] [--noise P] [--duration SEC]\n"
               "                  [--link PATH] [--start-on-connect]\n");
}

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
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    double number = 0;
    if (arg == "--mode") {
      if (!ParseMode(value, o.Mode)) return false;
    } else if (arg == "--serial") {
      o.Serial = value;
    } else if (arg == "--link") {
      o.LinkPath = value;
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
    } else {
      return false;
    }
  }
  return o.Serial.size() <= 8 && o.Noise <= 1;
}

}  // namespace

int main(int argc, char** argv) {
  vireon::sim::TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    Usage();
    return 2;
  }
  if (options.LinkPath.empty()) options.LinkPath = vireon::sim::DefaultLinkPath();

  vireon::sim::TPty pty;
  if (!pty.Create() || !pty.Link(options.LinkPath)) {
    std::fprintf(stderr, "vireon-sim: %s\n", pty.Error.c_str());
    return 1;
  }
  std::printf("%s\n%s\n", pty.SlavePath.c_str(), pty.LinkPath.c_str());
  std::fflush(stdout);

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  vireon::sim::TSimulator simulator(options, pty);
  simulator.Run(Stop, STDIN_FILENO);
  return 0;
}
