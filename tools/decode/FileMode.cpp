#include "FileMode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "PacketJson.h"

namespace vireon {

int RunFileMode(const std::string& path, bool summary) {
  const bool fromStdin = path == "-";
  std::FILE* in = fromStdin ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    std::cerr << "vireon-decode: cannot open " << path << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  TDecodeSession session([](const TJson& j) { std::cout << j.dump() << '\n'; });
  uint8_t block[4096];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, in)) > 0) session.Feed(block, got);
  const bool failed = std::ferror(in) != 0;
  const int error = errno;
  if (!fromStdin) std::fclose(in);
  if (failed) {
    std::cout.flush();
    std::cerr << "vireon-decode: cannot read " << path << ": " << std::strerror(error) << "\n";
    return 2;
  }
  if (summary) std::cout << session.Summary().dump() << '\n';
  std::cout.flush();
  return 0;
}

}  // namespace vireon
