#include "FileMode.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "ExportOutput.h"
#include "PacketJson.h"

namespace vireon {

int RunFileMode(const std::string& path, bool summary) {
  const bool fromStdin = path == "-";
  const int fd = fromStdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::cerr << "vireon-decode: cannot open " << path << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  TOutput out(STDOUT_FILENO);
  TDecodeSession session([&out](const PacketRecord& record, const TEngine& engine) {
    AppendPacketLine(out.Buffer(), record, engine);
    out.Wrote();
  });
  static uint8_t block[1 << 16];
  ssize_t got;
  while ((got = ::read(fd, block, sizeof block)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    session.Feed(block, static_cast<size_t>(got));
  }
  const int error = errno;
  if (!fromStdin) ::close(fd);
  if (got < 0) {
    out.Flush();
    std::cerr << "vireon-decode: cannot read " << path << ": " << std::strerror(error) << "\n";
    return 2;
  }
  if (summary) session.AppendSummary(out.Buffer());
  if (!out.Flush()) {
    std::cerr << "vireon-decode: cannot write standard output: " << std::strerror(out.Error())
              << "\n";
    return 1;
  }
  return 0;
}

}  // namespace vireon
