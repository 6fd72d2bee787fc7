#pragma once

#include <string>

#include "ExportWriters.h"

namespace vireon {

struct TExportOptions {
  TExportFormat Format = TExportFormat::Csv;
  std::string Input = "-";  // a KLF log or a capture; "-" is standard input
  std::string Out;          // empty: standard output
  double MaxFixAgeS = 5;
};

// vireon-decode --export: the levels of a KLF log or a capture as rows of the chosen format.
// Returns the exit code: 2 for an input or output refused before the run, 1 for a failure
// during it.
int RunExportMode(const TExportOptions& options);

}  // namespace vireon
