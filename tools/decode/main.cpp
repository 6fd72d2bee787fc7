// vireon-decode: turns the instrument's byte stream into JSON Lines, one object per packet,
// decoded by the logger's own engine.
//
// Adding a mode: give it its own file with a Run...Mode function, parse its option in
// ParseOptions below, and call it from main where the modes are chosen.

#include <cstdlib>
#include <iostream>
#include <string>

#include "ExportMode.h"
#include "FileMode.h"
#include "KlfMode.h"
#include "PortMode.h"
#include "platform/CommandLine.h"

namespace {

struct TOptions {
  bool Summary = false;
  std::string File = "-";
  std::string Port;
  std::string Log;
  std::string Export;  // the format's name; empty when not exporting
  std::string Out;
  double Duration = 0;
};

constexpr const char* kUsage =
    "Usage: vireon-decode [--summary] [FILE|FILE.KLF|-]\n"
    "  or:  vireon-decode --port NAME [--duration SEC] [--log FILE] [--summary]\n"
    "  or:  vireon-decode --export csv|geojson|kml [--out FILE] FILE.KLF|FILE|-\n"
    "Decodes the Vireon instrument's packets to JSON Lines, one object per packet: from a\n"
    "captured byte stream (standard input for -), from a KLF log, or live from a port.\n"
    "\n"
    "  --summary        end with a line of counts (packets, bytes, bad checksums)\n"
    "  --port NAME      decode live: COM1: to COM4:, USB, \"USB <serial number>\" or a device\n"
    "  --duration SEC   with --port: stop after SEC seconds (else at SIGINT or SIGTERM)\n"
    "  --log FILE       with --port: also write a KLF log to FILE (the name as given)\n"
    "  --export FORMAT  write one row per stored RSSI level, geotagged with the last GPS fix:\n"
    "                   csv, geojson or kml\n"
    "  --out FILE       with --export: write to FILE instead of standard output\n"
    "  --help           show this help and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "Exit status: 0 success, 2 usage error or an input or port that cannot be opened,\n"
    "1 a failure during the run (the log could not be written).\n";

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
    } else if (arg == "--export" && k + 1 < argc) {
      options.Export = argv[++k];
    } else if (arg == "--out" && k + 1 < argc) {
      options.Out = argv[++k];
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
  const bool exporting = !options.Export.empty();
  return (options.Log.empty() || !options.Port.empty()) && (options.Out.empty() || exporting) &&
         !(exporting && (!options.Port.empty() || options.Summary));
}

}  // namespace

int main(int argc, char** argv) {
  if (auto code = vireon::AnswerStandardOption(argc, argv, "vireon-decode", kUsage)) return *code;
  std::ios::sync_with_stdio(false);
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << kUsage;
    return vireon::kExitUsage;
  }
  if (!options.Export.empty()) {
    vireon::TExportFormat format;
    if (!vireon::ParseExportFormat(options.Export, format)) {
      std::cerr << kUsage;
      return vireon::kExitUsage;
    }
    return vireon::RunExportMode(format, options.File, options.Out);
  }
  if (!options.Port.empty())
    return vireon::RunPortMode(options.Port, options.Duration, options.Summary, options.Log);
  if (vireon::IsKlfName(options.File)) return vireon::RunKlfMode(options.File, options.Summary);
  return vireon::RunFileMode(options.File, options.Summary);
}
