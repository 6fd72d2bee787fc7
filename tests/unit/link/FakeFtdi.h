#pragma once
// A scripted FTDI driver: a device list, receive-queue chunks handed out one per status query,
// and switchable failures. Every written byte is recorded one at a time, with a yield between
// bytes, so unsynchronised writers would visibly interleave.

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/Ftdi.h"

namespace vireon::test {

struct TFtdiScript {
  std::mutex M;
  int Devices = 1;
  bool FailCount = false, FailSerial = false, FailOpen = false, FailBaud = false;
  bool FailStatus = false, FailRead = false, FailWrite = false;
  int ShortWriteBy = 0;
  std::deque<std::vector<uint8_t>> Chunks;  // one chunk becomes visible per status query
  std::vector<uint8_t> Visible;
  std::vector<uint8_t> Written;
  std::vector<std::string> Calls;
  int OpenedIndex = -1;
  int Baud = 0;
  uint32_t LastReadSize = 0;

  void Queue(std::vector<uint8_t> bytes) {
    std::lock_guard lock(M);
    Chunks.push_back(std::move(bytes));
  }
  std::vector<uint8_t> WrittenBytes() {
    std::lock_guard lock(M);
    return Written;
  }
};

class TFakeFtdi final : public TFtdiDriver {
 public:
  explicit TFakeFtdi(std::shared_ptr<TFtdiScript> script) : S(std::move(script)) {}

  bool CountDevices(int& count) override {
    std::lock_guard lock(S->M);
    S->Calls.push_back("count");
    if (S->FailCount) return false;
    count = S->Devices;
    return true;
  }
  bool SerialNumber(int index, char* text, int size) override {
    std::lock_guard lock(S->M);
    S->Calls.push_back("serial " + std::to_string(index));
    if (S->FailSerial || index >= S->Devices || size < 9) return false;
    std::snprintf(text, static_cast<size_t>(size), "FT%06d", index);
    return true;
  }
  bool OpenDevice(int index) override {
    std::lock_guard lock(S->M);
    S->Calls.push_back("open " + std::to_string(index));
    if (S->FailOpen) return false;
    S->OpenedIndex = index;
    return true;
  }
  bool SetBaudRate(int baud) override {
    std::lock_guard lock(S->M);
    S->Calls.push_back("baud " + std::to_string(baud));
    S->Baud = baud;
    return !S->FailBaud;
  }
  bool QueueStatus(uint32_t& waiting) override {
    std::lock_guard lock(S->M);
    if (S->FailStatus) return false;
    if (S->Visible.empty() && !S->Chunks.empty()) {
      S->Visible = std::move(S->Chunks.front());
      S->Chunks.pop_front();
    }
    waiting = static_cast<uint32_t>(S->Visible.size());
    return true;
  }
  bool Read(uint8_t* buffer, uint32_t n, uint32_t& got) override {
    std::lock_guard lock(S->M);
    S->LastReadSize = n;
    if (S->FailRead) return false;
    got = std::min<uint32_t>(n, static_cast<uint32_t>(S->Visible.size()));
    std::copy_n(S->Visible.begin(), got, buffer);
    S->Visible.erase(S->Visible.begin(), S->Visible.begin() + got);
    return true;
  }
  bool Write(const uint8_t* bytes, uint32_t n, uint32_t& written) override {
    {
      std::lock_guard lock(S->M);
      if (S->FailWrite) return false;
    }
    for (uint32_t i = 0; i < n; ++i) {
      {
        std::lock_guard lock(S->M);
        S->Written.push_back(bytes[i]);
      }
      std::this_thread::yield();
    }
    std::lock_guard lock(S->M);
    written = n - static_cast<uint32_t>(S->ShortWriteBy);
    return true;
  }

 private:
  std::shared_ptr<TFtdiScript> S;
};

}  // namespace vireon::test
