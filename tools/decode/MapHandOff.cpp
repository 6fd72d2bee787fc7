#include "MapHandOff.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/CommandLine.h"

namespace vireon {

namespace {

constexpr const char* kExporter = "vireon-export";
constexpr const char* kExporterPackage = "vireon-data-logger-export";

// vireon-export in the folder of this program, when it is there.
std::string Beside() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  std::string path(self, static_cast<size_t>(n));
  path.erase(path.rfind('/') + 1);
  path += kExporter;
  return ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

}  // namespace

bool IsMapFormat(const char* name) {
  return std::strcmp(name, "gpkg") == 0 || std::strcmp(name, "kmz") == 0;
}

int HandMapExportOn(int argc, char** argv) {
  std::fflush(nullptr);
  const std::string beside = Beside();
  std::vector<char*> args(argv, argv + argc);
  args[0] = const_cast<char*>(beside.empty() ? kExporter : beside.c_str());
  args.push_back(nullptr);
  if (beside.empty())
    ::execvp(kExporter, args.data());
  else
    ::execv(beside.c_str(), args.data());
  if (errno == ENOENT)
    std::fprintf(stderr,
                 "vireon-decode: the gpkg and kmz exports need %s, which the package %s brings; "
                 "install it (sudo apt install %s)\n",
                 kExporter, kExporterPackage, kExporterPackage);
  else
    std::fprintf(stderr, "vireon-decode: cannot run %s: %s\n", kExporter, std::strerror(errno));
  return kExitUsage;
}

}  // namespace vireon
