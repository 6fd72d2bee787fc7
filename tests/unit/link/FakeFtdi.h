#pragma once
// A scripted FTDI driver: a device list, receive-queue chunks handed out one per status query,
// and switchable failures. Unplugged makes the bridge vanish: the list is empty and the open
// device's calls fail as gone. Every written byte is recorded one at a time, with a yield between
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
  std::vector<std::string> Serials;    // by index; beyond it "FT00000<index>"
  std::vector<std::string> HeldPorts;  // by index: the ttyUSB name another program holds open
  bool FailCount = false, FailSerial = false, FailOpen = false, FailBaud = false;
  bool FailStatus = false, FailRead = false, FailWrite = false;
  bool Unplugged = false;
  TFtdiFault OpenFault = TFtdiFault::Failed;
  int ShortWriteBy = 0;
  std::deque<std::vector<uint8_t>> Chunks;  // one chunk becomes visible per status query
  std::vector<uint8_t> Visible;
  std::vector<uint8_t> Written;
  std::vector<std::string> Calls;
  int OpenedIndex = -1;
  int Baud = 0;
  uint32_t LastReadSize = 0;

  void Set(bool TFtdiScript::*flag, bool value) {
    std::lock_guard lock(M);
    this->*flag = value;
  }
  std::vector<std::string> CallsMade() {
    std::lock_guard lock(M);
    return Calls;
  }
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
    if (S->FailCount) return Fail(TFtdiFault::Failed);
    count = S->Unplugged ? 0 : S->Devices;
    return true;
  }
  bool SerialNumber(int index, char* text, int size) override {
    std::lock_guard lock(S->M);
    S->Calls.push_back("serial " + std::to_string(index));
    if (S->FailSerial || index >= S->Devices || size < 9) return Fail(TFtdiFault::Failed);
    if (static_cast<size_t>(index) < S->Serials.size())
      std::snprintf(text, static_cast<size_t>(size), "%s", S->Serials[index].c_str());
    else
      std::snprintf(text, static_cast<size_t>(size), "FT%06d", index);
    return true;
  }
  std::string HeldPort(int index) override {
    std::lock_guard lock(S->M);
    S->Calls.push_back("held " + std::to_string(index));
    return static_cast<size_t>(index) < S->HeldPorts.size() ? S->HeldPorts[index] : "";
  }
  bool OpenDevice(int index) override {
    std::lock_guard lock(S->M);
    S->Calls.push_back("open " + std::to_string(index));
    if (S->FailOpen) return Fail(S->OpenFault);
    S->OpenedIndex = index;
    return true;
  }
  void Close() override {
    std::lock_guard lock(S->M);
    S->Calls.push_back("close");
    S->OpenedIndex = -1;
  }
  bool SetBaudRate(int baud) override {
    std::lock_guard lock(S->M);
    S->Calls.push_back("baud " + std::to_string(baud));
    S->Baud = baud;
    return !S->FailBaud || Fail(TFtdiFault::Failed);
  }
  bool QueueStatus(uint32_t& waiting) override {
    std::lock_guard lock(S->M);
    if (S->Unplugged) return Fail(TFtdiFault::Gone);
    if (S->FailStatus) return Fail(TFtdiFault::Failed);
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
    if (S->FailRead) return Fail(TFtdiFault::Failed);
    got = std::min<uint32_t>(n, static_cast<uint32_t>(S->Visible.size()));
    std::copy_n(S->Visible.begin(), got, buffer);
    S->Visible.erase(S->Visible.begin(), S->Visible.begin() + got);
    return true;
  }
  bool Write(const uint8_t* bytes, uint32_t n, uint32_t& written) override {
    {
      std::lock_guard lock(S->M);
      if (S->FailWrite || S->Unplugged) return Fail(TFtdiFault::Failed);
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

  TFtdiFault LastFault() const override {
    std::lock_guard lock(S->M);
    return Fault;
  }
  std::string LastErrorString() const override {
    std::lock_guard lock(S->M);
    return Fault == TFtdiFault::None ? "" : "scripted failure";
  }

 private:
  // Called with S->M held.
  bool Fail(TFtdiFault fault) {
    Fault = fault;
    return false;
  }

  std::shared_ptr<TFtdiScript> S;
  TFtdiFault Fault = TFtdiFault::None;
};

}  // namespace vireon::test
