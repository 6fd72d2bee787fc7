// vireon-decode: turns the instrument's byte stream into JSON Lines, one object per packet,
// decoded by the logger's own engine.
//
// Adding a mode: give it its own file with a Run...Mode function, parse its option in
// ParseOptions below, and call it from main where the modes are chosen.

#include <cstdlib>
#include <iostream>
#include <string>

#include "FileMode.h"
#include "KlfMode.h"
#include "PortMode.h"

namespace {

struct TOptions {
  bool Summary = false;
  std::string File = "-";
  std::string Port;
  std::string Log;
  double Duration = 0;
};

constexpr const char* kUsage =
    "usage: vireon-decode [--summary] [FILE|FILE.KLF|-]\n"
    "       vireon-decode --port NAME [--duration SEC] [--log FILE] [--summary]\n";

// False on an option it does not know.
bool ParseOptions(int argc, char** argv, TOptions& options) {
  bool haveFile = false;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--summary") {
      options.Summary = true;
    } else if (arg == "--port" && k + 1 < argc) {
      options.Port = argv[++k];
    } else if (arg == "--log" && k + 1 < argc) {
      options.Log = argv[++k];
    } else if (arg == "--duration" && k + 1 < argc) {
      char* end = nullptr;
      options.Duration = std::strtod(argv[++k], &end);
      if (*end != '\0' || options.Duration < 0) return false;
    } else if ((arg == "-" || arg.rfind("--", 0) != 0) && !haveFile) {
      options.File = arg;
      haveFile = true;
    } else {
      return false;
    }
  }
  return options.Log.empty() || !options.Port.empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << kUsage;
    return 2;
  }
  if (!options.Port.empty())
    return vireon::RunPortMode(options.Port, options.Duration, options.Summary, options.Log);
  if (vireon::IsKlfName(options.File)) return vireon::RunKlfMode(options.File, options.Summary);
  return vireon::RunFileMode(options.File, options.Summary);
}
