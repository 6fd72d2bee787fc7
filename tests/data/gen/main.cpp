// Writes the synthetic captures into the directory given as the only argument.

#include <fstream>
#include <iostream>

#include "Capture.h"

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
  return 0;
}
