// Writes the synthetic captures into the directory given as the only argument, and the session
// capture logged as the logger logs it (logged.KLF), the header holding what it announces first,
// and a damaged copy of that log.

#include <fstream>
#include <iostream>

#include "Capture.h"
#include "RecordedLog.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vireon-capture-gen DIR\n";
    return 2;
  }
  for (const auto& capture : vireon::capture::AllCaptures()) {
    const std::string path = std::string(argv[1]) + "/" + capture.Name + ".bin";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(capture.Stream.data()),
              static_cast<std::streamsize>(capture.Stream.size()));
    if (!out) {
      std::cerr << "vireon-capture-gen: cannot write " << path << "\n";
      return 2;
    }
  }
  const std::string log = std::string(argv[1]) + "/logged.KLF";
  vireon::test::RecordLog(vireon::capture::SessionStream(30), log, 2);
  std::ifstream in(log, std::ios::binary);
  const vireon::capture::Bytes whole((std::istreambuf_iterator<char>(in)), {});
  const vireon::capture::Bytes damaged = vireon::capture::DamagedLog(whole);
  std::ofstream out(std::string(argv[1]) + "/logged-damaged.KLF", std::ios::binary);
  out.write(reinterpret_cast<const char*>(damaged.data()),
            static_cast<std::streamsize>(damaged.size()));
  if (!in || !out) {
    std::cerr << "vireon-capture-gen: cannot write the logs\n";
    return 2;
  }
  return 0;
}
