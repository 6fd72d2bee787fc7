// vireon-decode: turns the instrument's byte stream into JSON Lines, one object per packet,
// decoded by the logger's own engine; or exports a survey's levels.
//
// Adding a mode: give it its own file with a Run...Mode function, parse its options in
// ParseOptions below, and call it from main where the modes are chosen.

#include <cstdlib>
#include <iostream>
#include <string>

#include "DecodeInput.h"
#include "ExportMode.h"
#include "FileMode.h"
#include "KlfMode.h"
#include "MapHandOff.h"
#include "PortMode.h"
#include "platform/CommandLine.h"

namespace {

constexpr const char* kProgram = "vireon-decode";

struct TOptions {
  bool Summary = false;
  bool HaveFile = false;
  std::string File = "-";
  std::string Port;
  std::string Log;
  std::string Export;  // the format's name; empty when not exporting
  std::string Out;
  std::string LogDir;
  double Duration = 0;
  double MaxFixAge = -1;  // not given
  double Rotate = -1;     // not given
  double MinFree = -1;    // MB; not given
  bool Wait = false;
  bool Cell = false;  // --cell given; vireon-export reads its value
  bool Levels = false;
};

constexpr const char* kUsage =
    "Usage: vireon-decode [--summary] [FILE|FILE.KLF|-]\n"
    "  or:  vireon-decode --port NAME [--duration SEC] [--log FILE] [--wait] [--summary]\n"
    "  or:  vireon-decode --port NAME --log-dir DIR [--rotate SEC] [--min-free MB]\n"
    "                     [--duration SEC]\n"
    "  or:  vireon-decode --export csv|geojson|kml [--out FILE] [--max-fix-age SEC]\n"
    "                     FILE.KLF|FILE|-\n"
    "  or:  vireon-decode --export gpkg|kmz --out FILE [--cell METRES] [--levels]\n"
    "                     [--max-fix-age SEC] FILE.KLF|FILE|-\n"
    "Decodes the Vireon instrument's packets to JSON Lines, one object per packet: from a\n"
    "captured byte stream (standard input for -), from a KLF log, or live from a port.\n"
    "A file is read as a KLF log when its name ends in .KLF or it begins as a log does.\n"
    "\n"
    "  --summary          end with a line of counts (packets, bytes, bad checksums)\n"
    "  --port NAME        decode live: COM1: to COM4:, USB, \"USB <serial number>\" or a device\n"
    "  --duration SEC     with --port: stop after SEC seconds (else at SIGINT or SIGTERM)\n"
    "  --log FILE         with --port: also write a KLF log to FILE (the name as given)\n"
    "  --wait             with --port: wait for an instrument that is not there (yet), as\n"
    "                     for one unplugged, instead of ending\n"
    "  --log-dir DIR      with --port: log unattended into DIR, one KLF log per period named\n"
    "                     by its UTC start (20261210T081500Z.KLF); no packet output; always\n"
    "                     waits for the instrument; ends only at SIGTERM, SIGINT or --duration\n"
    "  --rotate SEC       with --log-dir: the period, in seconds (default 3600)\n"
    "  --min-free MB      with --log-dir: stop writing while DIR's disk has less free space\n"
    "                     than this, and go on once it has (default 200)\n"
    "  --export FORMAT    write one row per stored RSSI level, geotagged with the last GPS fix:\n"
    "                     csv, geojson or kml; or a coverage map of square cells per receiver\n"
    "                     and channel: gpkg (GeoPackage for QGIS) or kmz (Google Earth), written\n"
    "                     by vireon-export from the package vireon-data-logger-export\n"
    "  --out FILE         with --export: write to FILE instead of standard output; FILE\n"
    "                     appears only once the export is whole, and is never the input or a\n"
    "                     KLF log\n"
    "  --max-fix-age SEC  with --export: skip levels whose fix is more than SEC seconds old by\n"
    "                     the instrument's clock (default 5)\n"
    "  --cell METRES      with gpkg or kmz: the cells' edge, 1 to 100000 metres (default 25)\n"
    "  --levels           with gpkg: also a layer of every level (it is big)\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Exit status: 0 success, 2 usage error or an input, output or port that cannot be opened\n"
    "or holds nothing to decode, 1 a failure during the run (a log or export that could not be\n"
    "written or read).\n";

// A number of seconds, 0 or more.
bool ParseSeconds(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && value >= 0;
}

// What is wrong with the command line; empty when nothing is.
std::string ParseOptions(int argc, char** argv, TOptions& o) {
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    const bool valued = arg == "--port" || arg == "--log" || arg == "--export" || arg == "--out" ||
                        arg == "--duration" || arg == "--max-fix-age" || arg == "--log-dir" ||
                        arg == "--rotate" || arg == "--min-free" || arg == "--cell";
    if (valued && k + 1 >= argc) return arg + " needs a value";
    if (arg == "--summary") {
      o.Summary = true;
    } else if (arg == "--port") {
      o.Port = argv[++k];
    } else if (arg == "--log") {
      o.Log = argv[++k];
    } else if (arg == "--export") {
      o.Export = argv[++k];
    } else if (arg == "--out") {
      o.Out = argv[++k];
    } else if (arg == "--duration") {
      if (!ParseSeconds(argv[++k], o.Duration)) return "--duration needs a number of seconds";
    } else if (arg == "--wait") {
      o.Wait = true;
    } else if (arg == "--log-dir") {
      o.LogDir = argv[++k];
    } else if (arg == "--rotate") {
      if (!ParseSeconds(argv[++k], o.Rotate) || o.Rotate < 1)
        return "--rotate needs a number of seconds, 1 or more";
    } else if (arg == "--min-free") {
      if (!ParseSeconds(argv[++k], o.MinFree)) return "--min-free needs a number of megabytes";
    } else if (arg == "--max-fix-age") {
      if (!ParseSeconds(argv[++k], o.MaxFixAge)) return "--max-fix-age needs a number of seconds";
    } else if (arg == "--cell") {
      double metres = 0;
      if (!ParseSeconds(argv[++k], metres) || metres < 1 || metres > 100000)
        return "--cell needs a number of metres from 1 to 100000";
      o.Cell = true;
    } else if (arg == "--levels") {
      o.Levels = true;
    } else if (arg == "-" || arg.rfind("-", 0) != 0) {
      if (o.HaveFile) return "one input only: " + o.File + " and " + arg + " were given";
      o.File = arg;
      o.HaveFile = true;
    } else {
      return "unknown option " + arg;
    }
  }
  const bool exporting = !o.Export.empty();
  if (!o.Log.empty() && o.Port.empty()) return "--log needs --port";
  if (!o.LogDir.empty() && o.Port.empty()) return "--log-dir needs --port";
  if (o.Wait && o.Port.empty()) return "--wait needs --port";
  if (!o.LogDir.empty() && !o.Log.empty()) return "--log and --log-dir do not go together";
  if (o.Rotate >= 0 && o.LogDir.empty()) return "--rotate needs --log-dir";
  if (o.MinFree >= 0 && o.LogDir.empty()) return "--min-free needs --log-dir";
  if (o.Duration > 0 && o.Port.empty()) return "--duration needs --port";
  if (!o.Out.empty() && !exporting) return "--out needs --export";
  if (o.MaxFixAge >= 0 && !exporting) return "--max-fix-age needs --export";
  if (exporting && !o.Port.empty()) return "--export reads a file, not --port";
  if (exporting && o.Summary) return "--summary does not go with --export";
  if (!o.Port.empty() && o.HaveFile) return "--port reads the port, not " + o.File;
  const bool map = exporting && vireon::IsMapFormat(o.Export.c_str());
  if (map && o.Out.empty()) return "--export " + o.Export + " needs --out FILE";
  if (o.Cell && !map) return "--cell needs --export gpkg or kmz";
  if (o.Levels && o.Export != "gpkg") return "--levels needs --export gpkg";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (auto code = vireon::AnswerStandardOption(argc, argv, kProgram, kUsage)) return *code;
  std::ios::sync_with_stdio(false);
  TOptions options;
  if (const std::string wrong = ParseOptions(argc, argv, options); !wrong.empty())
    return vireon::UsageError(kProgram, wrong);
  if (!options.Export.empty()) {
    if (vireon::IsMapFormat(options.Export.c_str())) return vireon::HandMapExportOn(argc, argv);
    vireon::TExportOptions exportOptions;
    if (!vireon::ParseExportFormat(options.Export, exportOptions.Format))
      return vireon::UsageError(kProgram, "unknown export format '" + options.Export +
                                              "' (csv, geojson, kml, gpkg or kmz)");
    exportOptions.Input = options.File;
    exportOptions.Out = options.Out;
    if (options.MaxFixAge >= 0) exportOptions.MaxFixAgeS = options.MaxFixAge;
    return vireon::RunExportMode(exportOptions);
  }
  if (!options.Port.empty()) {
    vireon::TPortOptions port;
    port.Port = options.Port;
    port.Duration = options.Duration;
    port.Summary = options.Summary;
    const bool unattended = !options.LogDir.empty();
    port.Wait = options.Wait || unattended;
    port.Json = !unattended;
    port.Log.File = options.Log;
    port.Log.Dir = options.LogDir;
    if (options.Rotate >= 1) port.Log.RotateSeconds = static_cast<int>(options.Rotate);
    if (options.MinFree >= 0)
      port.Log.MinFreeBytes = static_cast<int64_t>(options.MinFree * (1 << 20));
    return vireon::RunPortMode(port);
  }
  if (vireon::IsKlfInput(options.File)) return vireon::RunKlfMode(options.File, options.Summary);
  return vireon::RunFileMode(options.File, options.Summary);
}
