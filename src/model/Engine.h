#pragma once
// The shared data model of the attached instrument. The communications thread hands every
// received packet to Dispatch, which decodes it by type into these fields, the two receiver
// models and the GPS record, presses the matching mode indicator, wakes the reader by its event,
// keeps the scan set-up for the log header and hands the packet to the log while logging is on.
//
// Hand-off: every level of a present receiver is stored as it arrives and ReceiverEvent[i] marks
// the receiver changed; its display thread takes the newest level of every channel when it next
// draws, so a display that draws less often than packets arrive loses no channel. Flags, levels
// and the single-channel average are atomics; the receiver models, serial number, clock, status
// text and scan set-up are read as copies under ModelMutex. Malformed packets are data: short
// payloads read as zeros, entries outside the level arrays are discarded; nothing throws.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "gps/Gps.h"
#include "link/Packet.h"
#include "model/EngineHost.h"
#include "model/RF.h"
#include "platform/Event.h"

namespace vireon {

constexpr int kScanEntries = 10;
constexpr int kTableEntries = 3072;
constexpr int kSampleBufferSize = 4096;
constexpr int kScanInfoSize = 8192;
constexpr int16_t kNoLevel = -120;
constexpr int kScanLevelEntries = 5;   // entries a scan-levels packet carries at most
constexpr int kTableLevelEntries = 4;  // entries a table-levels packet carries at most

// A stored level byte in dBm, as the receiver display shows it: the unsigned byte minus 256, so
// always -256..-1.
inline int16_t LevelOf(int8_t stored) {
  return static_cast<int16_t>(static_cast<uint8_t>(stored) - 256);
}

extern const char* const kScanWarningText;

// What the log header and the status fields need, taken in one piece.
struct TModelSnapshot {
  std::string SerialNumber;  // at most 8 characters
  TRF Receivers[2];
  uint8_t ReceiverActive[2] = {0, 0};
  std::vector<uint8_t> ScanInfoRecord;  // the stored packet record, empty if none
  uint8_t ScanInfoCaptured = 0;
};

class TEngine {
 public:
  explicit TEngine(TGPSShared& gps);
  TEngine(const TEngine&) = delete;
  TEngine& operator=(const TEngine&) = delete;

  // Wiring, done before the link starts.
  void SetHost(TEngineHost* host) { Host.store(host); }
  void SetSender(TPacketSender* sender) { Sender.store(sender); }
  // The current log writer; null while none exists (a new writer is being constructed).
  void SetLogSink(TLogSink* sink) { LogSink.store(sink); }
  TLogSink* GetLogSink() const { return LogSink.load(); }

  bool Dispatch(const PacketRecord& record);

  bool SendCommand(uint8_t type, const uint8_t* payload, int n);
  bool RequestSerial() { return SendCommand(28, nullptr, 0); }
  bool RequestConfig() { return SendCommand(1, nullptr, 0); }

  std::string ClockDateText() const;
  std::string ClockTimeText() const;
  void ResetScanLevels(int i);

  // Copies taken under ModelMutex.
  std::string StatusText() const;
  void SetStatusText(const std::string& text);
  std::string SerialNumber() const;
  TRF Receiver(int i) const;
  TModelSnapshot Snapshot() const;
  std::array<uint8_t, 7> ClockBytes() const;

  std::atomic<int16_t> PortNumber{1};
  std::atomic<int16_t> LinkMode{0};   // 0 none, 1 COM port, 2 USB
  std::atomic<bool> LinkDown{false};  // the port could not be opened or was lost, and is waited for
  std::atomic<uint8_t> SingleDataReady[2] = {0, 0};
  std::atomic<uint8_t> ConfigChanged{0};
  std::atomic<int16_t> WarningCount{0};
  std::atomic<int16_t> MarkerNumber{0};
  std::atomic<uint8_t> ReceiverActive[2] = {0, 0};
  std::atomic<uint8_t> RangeCaptionStale[2] = {0, 0};
  std::atomic<int16_t> SingleAverage[2] = {kNoLevel, kNoLevel};
  std::atomic<int8_t> ScanLevels[2][kScanEntries];
  std::atomic<int8_t> TableLevels[2][kTableEntries];
  std::atomic<uint8_t> ScanInfoCaptured{0};

  // The last single-channel block of each receiver; communications thread only.
  uint8_t SampleBuffer[2][kSampleBufferSize] = {};

  // Events the engine sets; the waiting thread resets its own after its work.
  Event ReceiverEvent[2];
  Event ClockEvent;
  Event GpsEvent;

  TGPSShared& Gps;

 private:
  void LoadConfiguration(const uint8_t* payload);
  void SingleSamples(int i, const uint8_t* payload, int n);
  void Clock(const uint8_t* payload);
  void Tuning(const uint8_t* payload);
  void ScanList(const uint8_t* payload);
  void StoreScanLevels(const uint8_t* payload, int entries);
  void StoreTableLevels(const uint8_t* payload, int entries);
  // Bit i set: receiver i is present, so its levels are stored.
  unsigned ActiveReceivers() const;
  // Marks changed each receiver whose bit is set.
  void WakeReceivers(unsigned stored);
  void StoreSerialNumber(const uint8_t* payload);
  void CaptureScanInfo(const PacketRecord& record);
  void HandToLog(const PacketRecord& record, TLogSink& sink);
  void Press(TMode mode);

  mutable std::mutex ModelMutex;
  std::string Status;
  char Serial[9] = {};
  TRF Receivers[2];
  int16_t ScanInfoCount = 0;
  uint8_t ScanInfoBytes[kScanInfoSize] = {};
  uint8_t Clock_[7] = {};

  std::atomic<TEngineHost*> Host{nullptr};
  std::atomic<TPacketSender*> Sender{nullptr};
  std::atomic<TLogSink*> LogSink{nullptr};
};

}  // namespace vireon
