#include "Replay.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/Packet.h"

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
  if (Fd >= 0) ::close(Fd);
}

namespace {
TFrame FrameOf(const TKlfRecord& record) {
  TFrame frame{kSync};
  frame.insert(frame.end(), record.Bytes, record.Bytes + record.Size);
  return frame;
}
}  // namespace

bool TReplay::ReadFrame(TFrame& frame) {
  if (First) {
    frame = std::move(*First);
    First.reset();
    return true;
  }
  for (TKlfReader::TItem item; (item = Reader->Next()) != TKlfReader::TItem::End;) {
    const TKlfRecord& record = Reader->Record();
    if (item != TKlfReader::TItem::Record || !record.ChecksumOk) continue;
    frame = FrameOf(record);
    return true;
  }
  return false;
}

bool TReplay::ReadHeader() {
  Reader.emplace(Fd);
  First.reset();
  constexpr TKlfRecord::TKind kHeader[] = {TKlfRecord::Identity, TKlfRecord::Serial,
                                           TKlfRecord::Receivers};
  for (TKlfRecord::TKind kind : kHeader) {
    const TKlfReader::TItem item = Reader->Next();
    const TKlfRecord& record = Reader->Record();
    if (item != TKlfReader::TItem::Record || record.Kind != kind || record.Torn) {
      const std::string why = KlfOutcomeText(Reader->Summary());
      Error = why.empty() ? "has a damaged header" : why;
      return false;
    }
    if (kind == TKlfRecord::Serial)
      Serial.assign(reinterpret_cast<const char*>(record.Bytes + 3), 8);
    else if (kind == TKlfRecord::Receivers)
      Configuration = ReceiversAsConfiguration(record);
  }
  // The header ends with the stored scan set-up, when there is one.
  TFrame frame;
  if (ReadFrame(frame) && TypeOf(frame) != 5 && TypeOf(frame) != 6) First = std::move(frame);
  return true;
}

bool TReplay::Open(const std::string& path, double speed, bool loop) {
  Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) {
    Error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!ReadHeader()) {
    Error = path + " " + Error;
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
  return TFrame(Configuration.FrameBytes(), Configuration.FrameBytes() + Configuration.FrameSize());
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
      if (!Loop || rewound || !ReadHeader()) break;
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
