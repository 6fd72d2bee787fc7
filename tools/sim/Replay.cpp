#include "Replay.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/Packet.h"
#include "log/KlfFile.h"

namespace vireon::sim {

namespace {

constexpr double kLineBytesPerSecond = 3840;  // 38400 baud, 8N1
constexpr size_t kMostPerSecond = 4096;       // records; a longer run is paced at the line's rate
constexpr uint8_t kClockType = 4;

uint8_t TypeOf(const TFrame& frame) {
  return frame[3];
}

}  // namespace

TReplay::~TReplay() {
  if (In != nullptr) std::fclose(In);
}

bool TReplay::ReadFrame(TFrame& frame) {
  uint8_t length[2];
  if (std::fread(length, 1, 2, In) != 2) return false;
  const size_t n = length[0] | (length[1] << 8);
  if (n == 0 || n >= static_cast<size_t>(kDataSize)) return false;
  frame.assign({kSync, length[0], length[1]});
  frame.resize(3 + n);
  return std::fread(frame.data() + 3, 1, n, In) == n;
}

bool TReplay::ReadHeader() {
  uint8_t signature[6];
  if (std::fread(signature, 1, 6, In) != 6 ||
      std::any_of(signature, signature + 6, [](uint8_t b) { return b != 0; }))
    return false;
  TFrame identity, serial, receivers;
  constexpr size_t kIdentitySize = sizeof kIdentityText - 1;
  if (!ReadFrame(identity) || TypeOf(identity) != kIdentityType ||
      identity.size() < 4 + kIdentitySize ||
      std::memcmp(identity.data() + 4, kIdentityText, kIdentitySize) != 0)
    return false;
  if (!ReadFrame(serial) || TypeOf(serial) != kSerialType || serial.size() < 4 + 8) return false;
  Serial.assign(reinterpret_cast<const char*>(serial.data() + 4), 8);
  // 25 in its length field, no checksum: type, the flag byte, 23 configuration bytes.
  if (!ReadFrame(receivers) || TypeOf(receivers) != 1 || receivers.size() != 3 + 25) return false;
  std::memcpy(Receivers, receivers.data() + 4, 24);
  // The header ends with the stored scan set-up, when there is one.
  FirstRecord = std::ftell(In);
  TFrame scan;
  if (ReadFrame(scan) && (TypeOf(scan) == 5 || TypeOf(scan) == 6)) FirstRecord = std::ftell(In);
  return std::fseek(In, FirstRecord, SEEK_SET) == 0;
}

bool TReplay::Open(const std::string& path, double speed, bool loop) {
  In = std::fopen(path.c_str(), "rb");
  if (In == nullptr) {
    Error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!ReadHeader()) {
    Error = path + " is not a KLF log";
    return false;
  }
  Speed = speed;
  Loop = loop;
  return true;
}

TFrame TReplay::SerialAnswer() const {
  return MakeFrame(28, reinterpret_cast<const uint8_t*>(Serial.data()), 8);
}

TFrame TReplay::ConfigAnswer() const {
  return MakeFrame(1, Receivers, sizeof Receivers);  // receiver 2's last byte, never logged, is 0
}

void TReplay::LoadSecond() {
  std::vector<TFrame> second;
  if (Carry) second.push_back(std::move(*Carry));
  Carry.reset();
  bool rewound = false;
  while (second.size() < kMostPerSecond) {
    TFrame frame;
    if (!ReadFrame(frame)) {
      // A log of no records at all must not loop for ever.
      if (!Loop || rewound || std::fseek(In, FirstRecord, SEEK_SET) != 0) break;
      rewound = true;
      continue;
    }
    rewound = false;
    if (TypeOf(frame) == kClockType && !second.empty()) {
      Carry = std::move(frame);
      break;
    }
    second.push_back(std::move(frame));
  }
  if (second.empty()) {
    Ended = true;
    return;
  }
  const bool clocked = TypeOf(second.front()) == kClockType && Carry.has_value();
  double offset = 0;
  for (size_t k = 0; k < second.size(); ++k) {
    const double at = clocked ? static_cast<double>(k) / static_cast<double>(second.size())
                              : offset / kLineBytesPerSecond;
    offset += static_cast<double>(second[k].size());
    Ready.push_back({Speed > 0 ? (LogTime + at) / Speed : 0, std::move(second[k])});
  }
  LogTime += clocked ? 1.0 : offset / kLineBytesPerSecond;
}

const TFrame* TReplay::Next(double& due) {
  if (Ready.empty() && !Ended) LoadSecond();
  if (Ready.empty()) return nullptr;
  due = Ready.front().Due;
  return &Ready.front().Frame;
}

void TReplay::Pop() {
  Ready.pop_front();
}

}  // namespace vireon::sim
