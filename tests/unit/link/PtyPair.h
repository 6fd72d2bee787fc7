#pragma once
// A pseudo-terminal for transport tests: the test holds the master, the code under test opens
// the slave by its path.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace vireon::test {

struct TPtyPair {
  int Master = -1;
  std::string SlavePath;

  TPtyPair() {
    Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return;
    char name[128] = {};
    if (ptsname_r(Master, name, sizeof name) == 0) SlavePath = name;
  }
  ~TPtyPair() { CloseMaster(); }
  void CloseMaster() {
    if (Master >= 0) close(Master);
    Master = -1;
  }

  void Send(const std::vector<uint8_t>& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(Master, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  // Collects what the slave side writes until n bytes arrived or 10 s passed.
  std::vector<uint8_t> Receive(size_t n) const {
    std::vector<uint8_t> got;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < n && std::chrono::steady_clock::now() < end) {
      pollfd p{Master, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      uint8_t buffer[4096];
      ssize_t r = read(Master, buffer, sizeof buffer);
      if (r > 0) got.insert(got.end(), buffer, buffer + r);
    }
    return got;
  }
};

}  // namespace vireon::test
