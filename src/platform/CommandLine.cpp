#include "platform/CommandLine.h"

#include <cstdio>
#include <cstring>

namespace vireon {

const char* PackageVersion() {
  return VIREON_VERSION;
}

int UsageError(const char* program, const std::string& what) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program, what.c_str(), program);
  return kExitUsage;
}

std::optional<int> AnswerStandardOption(int argc, char** argv, const char* program,
                                        const char* usage) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(usage, stdout);
      return kExitOk;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", program, PackageVersion());
      return kExitOk;
    }
  }
  return std::nullopt;
}

}  // namespace vireon
