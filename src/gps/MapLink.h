#pragma once
// The map link: one fixed-layout record in a shared-memory block, rewritten in place after each
// GPS report, then a bus notification that tells the mapping program a complete record is there.
// Multi-byte values are little-endian. A block or bus that is unavailable is skipped silently and
// tried again at the next write; nothing is ever written without a mapped block. A block that
// another user owns or others may open is refused, and said once (TakeRefusal). Release at an
// orderly end removes the block this link made, so no stale position outlives the logger.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/BusNotify.h"
#include "platform/SharedMemory.h"

namespace vireon {

constexpr const char* kMapBlockName = "/NDQMARLUNE";
constexpr size_t kMapBlockSize = 4096;
constexpr const char* kMapBusPath = "/ndq/map";
constexpr const char* kMapBusInterface = "com.ndq.Marlune";
constexpr const char* kMapBusSignal = "NDQ_MAP_UPDATE";

struct TMapRecord {
  double Latitude = 0;   // degrees, north positive
  double Longitude = 0;  // degrees, east positive
  int16_t RSSI = 0;      // dBm
  int16_t RSSIMin = -120;
  int16_t RSSIMax = -50;
  std::string SerialNumber;  // at most 8 characters are written
};

// Writes the record's fields into a kMapBlockSize block; bytes outside the fields are untouched.
void FillMapRecord(uint8_t* block, const TMapRecord& record);
// The reverse, for the mapping program's side (the probe and tests).
TMapRecord ReadMapRecord(const uint8_t* block);

// A colour-range edit text as a number: leading blanks, an optional sign, decimal digits up to
// the first other character; no digits gives 0; the low 16 bits of the value ("70000" -> 4464).
int16_t MapRangeValue(const std::string& text);
// Why a colour range typed in the dialog cannot be used ("abc", a minimum above the maximum);
// empty when both are whole numbers of dBm, the minimum below the maximum.
std::string MapRangeProblem(const std::string& minText, const std::string& maxText);

class TMapLink {
 public:
  explicit TMapLink(std::string blockName = kMapBlockName);

  // Fills the block (mapping it on first use, and afresh when its name was removed or replaced)
  // and notifies. False when the block is unavailable or refused.
  bool Write(const TMapRecord& record);
  // The first refusal's reason, once; empty otherwise. Writing thread only.
  std::string TakeRefusal();
  // Unmaps, removing the block's name when this link made it. Writing thread only.
  void Release() { Block.Release(); }

  // RecordsWritten may be read from any thread; the other counters on the writing thread.
  int RecordsWritten() const { return Written.load(); }
  int BlocksOpened() const { return Block.OpenCount(); }
  int BusConnections() const { return Bus.ConnectCount(); }
  int NotificationsSent() const { return Bus.SentCount(); }

 private:
  std::string BlockName;
  SharedMemory Block;
  BusNotify Bus;
  std::atomic<int> Written{0};
  bool RefusalSaid = false;
};

}  // namespace vireon
