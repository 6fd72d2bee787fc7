// Decoding of every received packet into the shared data model. A payload is read at its
// type's fixed layout in place, or, when it is shorter, from a zero-padded copy, so a short
// packet reads as zeros and never as the stale bytes of an earlier packet in the reused record;
// a level entry cut short is absent, never a phantom level 0. Entries that fall outside the level
// arrays (scan entry above 9, table index above 3071) are discarded. Unknown types change
// nothing but are still logged. Nothing here throws or blocks on the screen.

#include "model/Engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vireon {

const char* const kScanWarningText =
    "Scan Channel Information Not In Log File!! Restart scan. This message will continually "
    "popup until scan is stopped.";

namespace {

// Room for the largest fixed layout decoded here, the 80-byte scan list; samples and GPS
// reports take their own sizes from the record.
constexpr int kFixedPayload = 80;
constexpr int kWarnAfter = 5;

// The bytes a type's decoder reads at fixed offsets; shorter payloads are zero-padded to it.
int FixedSize(uint8_t type) {
  switch (type) {
    case 1:
      return 25;
    case 4:
      return 7;
    case 5:
      return 8;
    case 6:
      return 80;
    case 7:
      return 3 * kScanLevelEntries;
    case 9:
      return 4 * kTableLevelEntries;
    case 28:
      return 8;
    default:
      return 0;
  }
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string Format(const char* format, auto... args) {
  char text[32];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

}  // namespace

TEngine::TEngine(TGPSShared& gps) : Gps(gps) {
  for (int i = 0; i < 2; ++i) {
    ResetScanLevels(i);
    for (auto& level : TableLevels[i]) level.store(0, std::memory_order_relaxed);
  }
}

bool TEngine::Dispatch(const PacketRecord& record) {
  // The framer never delivers such a length; a record read back from elsewhere might, and its
  // byte count would run past the record.
  if (!IsFrameLength(record.Length)) return true;
  const int n = std::max(record.PayloadSize(), 0);
  uint8_t padded[kFixedPayload];
  const uint8_t* fixed = record.Data;
  if (n < FixedSize(record.Type)) {
    std::memset(padded, 0, sizeof padded);
    std::memcpy(padded, record.Data, static_cast<size_t>(n));
    fixed = padded;
  }

  switch (record.Type) {
    case 0:
      Gps.Decode(record.Data, static_cast<size_t>(n));
      GpsEvent.Set();
      break;
    case 1:
      LoadConfiguration(fixed);
      break;
    case 2:
    case 3:
      SingleSamples(record.Type - 2, record.Data, n);
      break;
    case 4:
      Clock(fixed);
      break;
    case 5:
      Tuning(fixed);
      break;
    case 6:
      ScanList(fixed);
      break;
    case 7:
      StoreScanLevels(fixed, std::min(n / 3, kScanLevelEntries));
      break;
    case 9:
      StoreTableLevels(fixed, std::min(n / 4, kTableLevelEntries));
      break;
    case 28:
      StoreSerialNumber(fixed);
      break;
    default:
      break;
  }

  if (record.Type == 5 || record.Type == 6) CaptureScanInfo(record);
  if (record.Type == 9) ScanInfoCaptured = 1;
  // Without a log writer there is nothing to hand over, and no call made for every packet.
  if (TLogSink* sink = LogSink.load()) HandToLog(record, *sink);
  return true;
}

void TEngine::LoadConfiguration(const uint8_t* payload) {
  {
    std::lock_guard lock(ModelMutex);
    for (int i = 0; i < 2; ++i) {
      if (payload[0] & (1 << i)) Receivers[i].LoadConfig(payload + 1 + 12 * i);
    }
  }
  // A receiver reported absent keeps its old configuration and its caption state.
  for (int i = 0; i < 2; ++i) {
    const bool present = (payload[0] & (1 << i)) != 0;
    ReceiverActive[i] = present ? 1 : 0;
    if (present) RangeCaptionStale[i] = 1;
  }
  ConfigChanged = 1;
}

void TEngine::SingleSamples(int i, const uint8_t* samples, int n) {
  Press(TMode::Single);
  std::memcpy(SampleBuffer[i], samples, static_cast<size_t>(n));
  int sum = 0;
  for (int k = 0; k < n; ++k) sum += static_cast<int8_t>(samples[k]);
  SingleAverage[i] = static_cast<int16_t>(n == 0 ? kNoLevel : sum / n);
  SingleDataReady[i] = 1;
}

void TEngine::Clock(const uint8_t* payload) {
  {
    std::lock_guard lock(ModelMutex);
    std::memcpy(Clock_, payload, sizeof Clock_);
  }
  MarkerNumber = payload[6];
  ClockEvent.Set();
}

void TEngine::Tuning(const uint8_t* payload) {
  std::lock_guard lock(ModelMutex);
  for (int i = 0; i < 2; ++i) Receivers[i].SetCurrent(Le32(payload + 4 * i));
}

void TEngine::ScanList(const uint8_t* payload) {
  {
    std::lock_guard lock(ModelMutex);
    for (int i = 0; i < 2; ++i) Receivers[i].LoadScanList(payload + 40 * i);
  }
  for (int i = 0; i < 2; ++i) ResetScanLevels(i);
}

// Both level packets carry entries for either receiver; one pass stores those of every present
// receiver, then marks changed the receivers that got a level.
void TEngine::StoreScanLevels(const uint8_t* payload, int entries) {
  Press(TMode::Scan);
  const unsigned open = ActiveReceivers();
  unsigned stored = 0;
  for (int e = 0; e < entries; ++e) {
    const uint8_t* entry = payload + 3 * e;
    const int i = entry[0] != 0 ? 1 : 0;
    if ((open & (1u << i)) == 0 || entry[1] >= kScanEntries) continue;
    ScanLevels[i][entry[1]].store(static_cast<int8_t>(entry[2]), std::memory_order_relaxed);
    stored |= 1u << i;
  }
  WakeReceivers(stored);
}

void TEngine::StoreTableLevels(const uint8_t* payload, int entries) {
  Press(TMode::Table);
  const unsigned open = ActiveReceivers();
  unsigned stored = 0;
  for (int e = 0; e < entries; ++e) {
    const uint8_t* entry = payload + 4 * e;
    const int i = entry[0] != 0 ? 1 : 0;
    const int index = entry[1] | (entry[2] << 8);
    if ((open & (1u << i)) == 0 || index >= kTableEntries) continue;
    TableLevels[i][index].store(static_cast<int8_t>(entry[3]), std::memory_order_relaxed);
    stored |= 1u << i;
  }
  WakeReceivers(stored);
}

unsigned TEngine::ActiveReceivers() const {
  unsigned open = 0;
  for (int i = 0; i < 2; ++i) {
    if (ReceiverActive[i] != 0) open |= 1u << i;
  }
  return open;
}

void TEngine::WakeReceivers(unsigned stored) {
  if (stored == 0) return;
  // Pairs with Event::Consume in the display thread: either it sees these levels, or this Set
  // sees its event cleared and sets it again; never both missed.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  for (int i = 0; i < 2; ++i) {
    if ((stored & (1u << i)) != 0) ReceiverEvent[i].Set();
  }
}

void TEngine::StoreSerialNumber(const uint8_t* payload) {
  {
    std::lock_guard lock(ModelMutex);
    std::memset(Serial, 0, sizeof Serial);
    for (int k = 0; k < 8 && payload[k] != 0; ++k) Serial[k] = static_cast<char>(payload[k]);
  }
  RequestConfig();
}

void TEngine::CaptureScanInfo(const PacketRecord& record) {
  const int count = record.LogSize();
  {
    std::lock_guard lock(ModelMutex);
    // Bytes behind the count stay zero, as in a freshly cleared record.
    if (ScanInfoCount > count) std::memset(ScanInfoBytes + count, 0, ScanInfoCount - count);
    ScanInfoCount = static_cast<int16_t>(count);
    std::memcpy(ScanInfoBytes, record.LogBytes(), static_cast<size_t>(count));
  }
  ScanInfoCaptured = 1;
}

void TEngine::HandToLog(const PacketRecord& record, TLogSink& sink) {
  TEngineHost* host = Host.load();
  if (host == nullptr || !host->LogModeDown()) return;
  if (!ScanInfoCaptured) {
    if (WarningCount < kWarnAfter) {
      ++WarningCount;
    } else {
      host->ShowScanWarning(kScanWarningText);
      WarningCount = 0;
    }
  }
  sink.PostPacket(record.LogBytes(), static_cast<int16_t>(record.LogSize()));
}

void TEngine::Press(TMode mode) {
  if (TEngineHost* host = Host.load()) host->PressMode(mode);
}

bool TEngine::SendCommand(uint8_t type, const uint8_t* payload, int n) {
  TPacketSender* sender = Sender.load();
  if (sender == nullptr || n < 0 || n >= kDataSize || (n > 0 && payload == nullptr)) return true;
  PacketRecord frame;
  BuildFrame(frame, type, payload, n);
  sender->WriteBytes(frame.FrameBytes(), frame.FrameSize());  // a lost command is not repeated
  return true;
}

std::string TEngine::ClockDateText() const {
  const auto c = ClockBytes();
  return Format("%02d/%02d/%04d", c[4], c[3], 2000 + c[5]);
}

std::string TEngine::ClockTimeText() const {
  const auto c = ClockBytes();
  return Format("%02d:%02d:%02d", c[2], c[1], c[0]);
}

void TEngine::ResetScanLevels(int i) {
  if (i < 0 || i > 1) return;
  for (auto& level : ScanLevels[i]) level.store(kNoLevel, std::memory_order_relaxed);
}

std::string TEngine::StatusText() const {
  std::lock_guard lock(ModelMutex);
  return Status;
}

void TEngine::SetStatusText(const std::string& text) {
  std::lock_guard lock(ModelMutex);
  Status = text;
}

std::string TEngine::SerialNumber() const {
  std::lock_guard lock(ModelMutex);
  return Serial;
}

TRF TEngine::Receiver(int i) const {
  std::lock_guard lock(ModelMutex);
  return Receivers[i & 1];
}

TModelSnapshot TEngine::Snapshot() const {
  TModelSnapshot s;
  std::lock_guard lock(ModelMutex);
  s.SerialNumber = Serial;
  for (int i = 0; i < 2; ++i) {
    s.Receivers[i] = Receivers[i];
    s.ReceiverActive[i] = ReceiverActive[i];
  }
  s.ScanInfoRecord.assign(ScanInfoBytes, ScanInfoBytes + ScanInfoCount);
  s.ScanInfoCaptured = ScanInfoCaptured;
  return s;
}

std::array<uint8_t, 7> TEngine::ClockBytes() const {
  std::lock_guard lock(ModelMutex);
  std::array<uint8_t, 7> c;
  std::memcpy(c.data(), Clock_, c.size());
  return c;
}

}  // namespace vireon
