#pragma once

#include <string>

#include "ExportWriters.h"

namespace vireon {

// vireon-decode --export: the levels of a KLF log or a capture ("-": standard input) as rows of
// `format`, to outFile (empty: standard output). Returns the exit code.
int RunExportMode(TExportFormat format, const std::string& input, const std::string& outFile);

}  // namespace vireon
