#pragma once
// What every program of the package answers the same way: --help (usage on stdout, exit 0) and
// --version ("<program> <version>", exit 0), and one set of exit codes.

#include <optional>
#include <string>

namespace vireon {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // something failed during the run
constexpr int kExitUsage = 2;    // a usage error, or an input or port that cannot be opened

// The package's version, as project() gives it.
const char* PackageVersion();

// A usage error in one line, "<program>: <what>", then "Try '<program> --help'."; kExitUsage.
int UsageError(const char* program, const std::string& what);

// When argv holds --help or --version: prints the answer and gives the exit code.
std::optional<int> AnswerStandardOption(int argc, char** argv, const char* program,
                                        const char* usage);

}  // namespace vireon
