#pragma once
// Shared fixtures of the logging tests: a scratch folder, packet records, an engine host that
// counts warnings.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "link/Packet.h"
#include "model/Engine.h"
#include "model/EngineHost.h"

namespace vireon::test {

using Bytes = std::vector<uint8_t>;

class TScratchDir {
 public:
  TScratchDir() {
    Path = std::filesystem::temp_directory_path() /
           ("vireon-log-" + std::to_string(::getpid()) + "-" + std::to_string(++Count));
    std::filesystem::remove_all(Path);
    std::filesystem::create_directories(Path);
  }
  ~TScratchDir() { std::filesystem::remove_all(Path); }
  std::string File(const std::string& name) const { return (Path / name).string(); }
  std::filesystem::path Path;

 private:
  static inline int Count = 0;
};

inline Bytes ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& name, const Bytes& bytes) {
  std::ofstream out(name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A received packet as the framer delivers it.
inline PacketRecord Packet(uint8_t type, const Bytes& payload) {
  PacketRecord record;
  BuildFrame(record, type, payload.data(), static_cast<int>(payload.size()));
  return record;
}

// The bytes a log holds for that packet.
inline Bytes LogBytes(const PacketRecord& record) {
  return Bytes(record.LogBytes(), record.LogBytes() + record.LogSize());
}

inline Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class TCountingHost : public TEngineHost {
 public:
  void PressMode(TMode) override {}
  bool LogModeDown() const override { return LogOn.load(); }
  void ShowScanWarning(const char*) override { ++Warnings; }
  std::atomic<bool> LogOn{true};
  std::atomic<int> Warnings{0};
};

// Walks a log's packet records after its 63 header bytes: the number of records when every one
// is whole with a good checksum and the last ends at the file's end, else -1.
inline long WholeKlfRecords(const Bytes& file) {
  long records = 0;
  size_t k = 63;
  while (k + 2 <= file.size()) {
    const size_t size = (file[k] | (file[k + 1] << 8)) + 2u;
    if (k + size > file.size()) return -1;
    uint8_t sum = 0;
    for (size_t b = k + 2; b < k + size; ++b) sum ^= file[b];
    if (sum != 0) return -1;
    k += size;
    ++records;
  }
  return k == file.size() ? records : -1;
}

template <typename Pred>
bool WaitFor(Pred pred, int seconds = 10) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace vireon::test
