#pragma once
// The levels of a survey, one row per RSSI level the engine stores (single-channel averages,
// scan levels, table entries), each geotagged with the last GPS report before it that had a
// fix (2D or 3D), at the position the map link uses. Frequencies and channels are those the
// receiver display shows (table index n is channel n + 1).
//
// What cannot be placed honestly is counted, never made up: levels before the first fix are
// skipped; levels whose fix is older than the limit (by the instrument's clock) are skipped; a
// scan level before any scan set-up has no known frequency and is written without one.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "gps/Gps.h"
#include "link/Packet.h"
#include "model/Engine.h"

namespace vireon {

struct TLevelRow {
  std::optional<int64_t> InstrumentTime;  // seconds since 1970 of the instrument's clock, no zone
  std::optional<int64_t> GpsTime;         // the fix's time in UTC, seconds since 1970
  double Latitude = 0, Longitude = 0;
  double AltitudeM = 0;   // above mean sea level
  double GpsHeightM = 0;  // above the ellipsoid
  int Receiver = 1;       // 1 or 2
  const char* Mode = "single";
  std::optional<double> FrequencyMHz;  // none for a scan level before the scan set-up
  int Channel = 0;
  int LevelDbm = 0;
  int Marker = 0;
  std::optional<int64_t> FixAgeS;  // instrument-clock seconds since the fix; none without a clock
};

// A GPS report with a fix, as the rows after it are placed.
struct TGpsFix {
  std::optional<int64_t> GpsTime;  // UTC, seconds since 1970
  double Latitude = 0, Longitude = 0;
  double AltitudeM = 0, GpsHeightM = 0;
  int Satellites = 0;   // tracked
  double SpeedKmh = 0;  // over the ground
  bool Lost = false;    // a report without a fix came since the previous fix
};

// "2026-12-10T08:15:02", with a "Z" when utc is set.
void AppendIsoTime(std::string& out, int64_t seconds, bool utc);

class TLevelRows {
 public:
  using TRowSink = std::function<void(const TLevelRow&)>;
  using TFixSink = std::function<void(const TGpsFix&)>;
  // Levels whose fix is more than maxFixAgeS instrument-clock seconds old are skipped.
  TLevelRows(TRowSink sink, double maxFixAgeS);

  // After engine.Dispatch(record): the rows of the levels that record stored.
  void Take(const PacketRecord& record, const TEngine& engine);
  // Told of every fix before the rows placed at it.
  void OnFix(TFixSink sink) { FixSink = std::move(sink); }

  uint64_t Rows() const { return Written; }
  uint64_t BeforeFirstFix() const { return NoFix; }
  uint64_t StaleFix() const { return Stale; }
  uint64_t UnknownFrequency() const { return NoFrequency; }
  // GPS reports that gave GPS time without the offset to UTC: their time was kept as it was.
  bool GpsTimeNotUtc() const { return NotUtc; }

 private:
  void Fix(const TGPS& gps);
  void Clock(const TEngine& engine);
  void Emit(int receiver, const char* mode, std::optional<double> mhz, int channel, int level);

  TRowSink Sink;
  TFixSink FixSink;
  bool LostSinceFix = false;
  double MaxFixAge;
  bool HaveFix = false;
  bool HaveScanList = false;
  std::optional<int64_t> Now;    // the instrument's clock at its last clock packet
  std::optional<int64_t> FixAt;  // the instrument's clock when the last fix came
  TLevelRow Shared;              // what every row of a packet shares
  uint64_t Written = 0, NoFix = 0, Stale = 0, NoFrequency = 0;
  bool NotUtc = false;
};

}  // namespace vireon
