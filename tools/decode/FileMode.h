#pragma once

#include <string>

namespace vireon {

// Decodes a captured byte stream (a file, or standard input for "-") to JSON Lines on standard
// output. Returns the exit code: 0, or 2 after a one-line message when the file cannot be read.
int RunFileMode(const std::string& path, bool summary);

}  // namespace vireon
