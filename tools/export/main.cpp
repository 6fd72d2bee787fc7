// vireon-export: a survey's KLF log as a coverage map, a GeoPackage for QGIS or a KMZ for Google
// Earth, written through GDAL. vireon-decode --export gpkg|kmz runs this program with its own
// arguments, so the logger's package needs no GDAL; its messages speak as vireon-decode.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstdlib>
#include <string>

#include "ExportMode.h"
#include "GpkgWriter.h"
#include "KmzWriter.h"
#include "platform/CommandLine.h"

namespace {

constexpr const char* kProgram = "vireon-export";

constexpr const char* kUsage =
    "Usage: vireon-export --export gpkg|kmz --out FILE [--cell METRES] [--levels]\n"
    "                     [--max-fix-age SEC] FILE.KLF|FILE|-\n"
    "Writes a survey as a coverage map through GDAL: per receiver and channel, square cells\n"
    "of the grid of the first fix's UTM zone holding the levels measured there. vireon-decode\n"
    "--export gpkg|kmz runs this program.\n"
    "\n"
    "  --export gpkg      a GeoPackage for QGIS: the layers cells, fix_levels, track and\n"
    "                     channels, with the style QGIS opens cells with\n"
    "  --export kmz       a KMZ for Google Earth: a folder of coloured cells per channel, the\n"
    "                     drive, a legend and time spans for the time slider\n"
    "  --out FILE         the file to write; it appears only once the export is whole, and is\n"
    "                     never the input or a KLF log\n"
    "  --cell METRES      the cells' edge, 1 to 100000 metres (default 25)\n"
    "  --levels           with gpkg: also a layer levels, one point per level (it is big)\n"
    "  --max-fix-age SEC  leave out levels whose fix is more than SEC seconds old by the\n"
    "                     instrument's clock (default 5)\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Exit status: 0 success, 2 usage error or an input or output refused before the run,\n"
    "1 a failure during it.\n";

struct TOptions {
  std::string Format;
  vireon::TExportOptions Export;
  bool HaveFile = false;
};

bool ParseNumber(const char* text, double low, double high, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && value >= low && value <= high;
}

std::string ParseOptions(int argc, char** argv, TOptions& o) {
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    const bool valued =
        arg == "--export" || arg == "--out" || arg == "--cell" || arg == "--max-fix-age";
    if (valued && k + 1 >= argc) return arg + " needs a value";
    if (arg == "--export") {
      o.Format = argv[++k];
    } else if (arg == "--out") {
      o.Export.Out = argv[++k];
    } else if (arg == "--cell") {
      if (!ParseNumber(argv[++k], 1, 100000, o.Export.CellM))
        return "--cell needs a number of metres from 1 to 100000";
    } else if (arg == "--max-fix-age") {
      if (!ParseNumber(argv[++k], 0, 1e9, o.Export.MaxFixAgeS))
        return "--max-fix-age needs a number of seconds";
    } else if (arg == "--levels") {
      o.Export.Levels = true;
    } else if (arg == "-" || arg.rfind("-", 0) != 0) {
      if (o.HaveFile) return "one input only: " + o.Export.Input + " and " + arg + " were given";
      o.Export.Input = arg;
      o.HaveFile = true;
    } else {
      return "unknown option " + arg;
    }
  }
  if (o.Format != "gpkg" && o.Format != "kmz") return "--export needs gpkg or kmz";
  if (o.Export.Out.empty()) return "--export " + o.Format + " needs --out FILE";
  if (o.Export.Levels && o.Format != "gpkg") return "--levels goes with --export gpkg";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (auto code = vireon::AnswerStandardOption(argc, argv, kProgram, kUsage)) return *code;
  TOptions options;
  if (const std::string wrong = ParseOptions(argc, argv, options); !wrong.empty())
    return vireon::UsageError(kProgram, wrong);
  RegisterOGRGeoPackage();
  // GDAL's messages are reported once, with what failed, instead of as they happen.
  CPLSetErrorHandler(CPLQuietErrorHandler);
  // The file is a temporary until it is whole, then made durable once: SQLite's journal and its
  // syncs along the way would only slow the export down.
  CPLSetConfigOption("OGR_SQLITE_SYNCHRONOUS", "OFF");
  CPLSetConfigOption("OGR_SQLITE_JOURNAL", "OFF");
  const bool gpkg = options.Format == "gpkg";
  const vireon::TExportOptions& o = options.Export;
  return vireon::RunMapExportMode(o, [&](const std::string& path, std::string& error) {
    return gpkg ? vireon::MakeGpkgWriter(path, o, error) : vireon::MakeKmzWriter(path, o, error);
  });
}
