#pragma once
// A tap between the simulator and the logger: relays both directions between the simulator's
// terminal and a second pseudo-terminal that the logger opens, and keeps every byte the
// simulator sent, so a test knows exactly what went over the line.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vireon::test {

class TPtyRelay {
 public:
  explicit TPtyRelay(const std::string& simPath) {
    SimFd = OpenRaw(simPath);
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return;
    LoggerPath = ptsname(Master);
    // Held open (and raw) so nothing is echoed or lost before the logger opens its side.
    KeepSlave = OpenRaw(LoggerPath);
  }
  ~TPtyRelay() {
    Stop();
    for (int fd : {SimFd, Master, KeepSlave})
      if (fd >= 0) close(fd);
  }
  bool Ok() const { return SimFd >= 0 && Master >= 0 && KeepSlave >= 0; }

  void Start() {
    Thread = std::thread([this] { Run(); });
  }
  void Stop() {
    Stopping = true;
    if (Thread.joinable()) Thread.join();
  }
  // True once the simulator's side has closed.
  bool SimEnded() const { return Ended.load(); }
  std::vector<uint8_t> SimBytes() {
    std::lock_guard lock(M);
    return FromSim;
  }

  std::string LoggerPath;

 private:
  static int OpenRaw(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
  }
  void Run() {
    uint8_t buffer[4096];
    while (!Stopping) {
      pollfd fds[2] = {{SimFd, POLLIN, 0}, {Master, POLLIN, 0}};
      if (poll(fds, 2, 50) <= 0) continue;
      if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t n = read(SimFd, buffer, sizeof buffer);
        if (n <= 0) {
          Ended = true;
          return;
        }
        {
          std::lock_guard lock(M);
          FromSim.insert(FromSim.end(), buffer, buffer + n);
        }
        WriteAll(Master, buffer, static_cast<size_t>(n));
      }
      if (fds[1].revents & POLLIN) {
        const ssize_t n = read(Master, buffer, sizeof buffer);
        if (n > 0) WriteAll(SimFd, buffer, static_cast<size_t>(n));
      }
    }
  }
  static void WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
      const ssize_t w = write(fd, p, n);
      if (w <= 0) return;
      p += w;
      n -= static_cast<size_t>(w);
    }
  }

  int SimFd = -1;
  int Master = -1;
  int KeepSlave = -1;
  std::thread Thread;
  std::atomic<bool> Stopping{false};
  std::atomic<bool> Ended{false};
  std::mutex M;
  std::vector<uint8_t> FromSim;
};

// The good frames in a byte stream, each as a log stores it (length field through checksum):
// sync byte, length 1 to 2047, body whose XOR is zero.
inline std::vector<std::vector<uint8_t>> GoodFrames(const std::vector<uint8_t>& bytes) {
  std::vector<std::vector<uint8_t>> frames;
  size_t k = 0;
  while (k + 3 <= bytes.size()) {
    if (bytes[k] != 0xAA) {
      ++k;
      continue;
    }
    const size_t length = bytes[k + 1] | (bytes[k + 2] << 8);
    if (length == 0 || length >= 2048) {
      k += 3;
      continue;
    }
    if (k + 3 + length > bytes.size()) break;
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum ^= bytes[k + 3 + i];
    if (sum == 0) frames.emplace_back(bytes.begin() + k + 1, bytes.begin() + k + 3 + length);
    k += 3 + length;
  }
  return frames;
}

}  // namespace vireon::test
