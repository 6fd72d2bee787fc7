#pragma once
// The levels of a survey, one row per RSSI level the engine stores (single-channel averages,
// scan levels, table entries), each geotagged with the last GPS report before it that had a
// fix (2D or 3D), at the position the map link uses. Levels before the first fix are counted
// and skipped. Frequencies and channels are computed as the receiver display computes them.

#include <cstdint>
#include <functional>
#include <string>

#include "gps/Gps.h"
#include "link/Packet.h"
#include "model/Engine.h"

namespace vireon {

struct TLevelRow {
  std::string ClockDate, ClockTime;  // the instrument's clock packets
  std::string GpsDate, GpsTime;      // the fix's UTC date and time
  double Latitude = 0, Longitude = 0, AltitudeM = 0;
  int Receiver = 1;  // 1 or 2
  const char* Mode = "single";
  double FrequencyMHz = 0;
  int Channel = 0;
  int LevelDbm = 0;
  int Marker = 0;
};

class TLevelRows {
 public:
  using TRowSink = std::function<void(const TLevelRow&)>;
  explicit TLevelRows(TRowSink sink) : Sink(std::move(sink)) {}

  // After engine.Dispatch(record): the rows of the levels that record stored.
  void Take(const PacketRecord& record, const TEngine& engine);

  uint64_t Rows() const { return Written; }
  uint64_t BeforeFirstFix() const { return Skipped; }

 private:
  void Emit(int receiver, const char* mode, double mhz, int channel, int level);

  TRowSink Sink;
  bool HaveFix = false;
  // What every row of a packet shares, kept from the packets that change it.
  TLevelRow Shared;
  uint64_t Written = 0;
  uint64_t Skipped = 0;
};

}  // namespace vireon
