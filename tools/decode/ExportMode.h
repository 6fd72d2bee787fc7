#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ExportWriters.h"

namespace vireon {

struct TExportOptions {
  TExportFormat Format = TExportFormat::Csv;
  std::string Input = "-";  // a KLF log or a capture; "-" is standard input
  std::string Out;          // empty: standard output
  double MaxFixAgeS = 5;
  double CellM = 25;    // the map formats' grid
  bool Levels = false;  // the map formats also hold every level
};

// A map format, which a library writes to a file by its name: told of every fix and every row,
// then finished once the input is read.
class TMapExportWriter {
 public:
  virtual ~TMapExportWriter() = default;
  virtual void Fix(const TGpsFix& fix) = 0;
  virtual void Row(const TLevelRow& row) = 0;
  // Writes what was gathered and closes the file; false with Error.
  virtual bool Finish() = 0;
  // What the closing line tells of the map after the levels: " into 12 cell(s) ...".
  virtual std::string Written() const = 0;
  std::string Error;
};
// The writer of a file at path; null, with error, when the file cannot be made.
using TMapWriterMaker =
    std::function<std::unique_ptr<TMapExportWriter>(const std::string& path, std::string& error)>;

// vireon-decode --export: the levels of a KLF log or a capture as rows of the chosen format.
// Returns the exit code: 2 for an input or output refused before the run, 1 for a failure
// during it.
int RunExportMode(const TExportOptions& options);
// The same for a map format, which always goes to options.Out.
int RunMapExportMode(const TExportOptions& options, const TMapWriterMaker& make);

}  // namespace vireon
