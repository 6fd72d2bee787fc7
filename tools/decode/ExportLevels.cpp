#include "ExportLevels.h"

#include <algorithm>

namespace vireon {

namespace {
constexpr int kFix2D = 6;
constexpr int kFix3D = 7;
}  // namespace

void TLevelRows::Emit(const TEngine& engine, int receiver, const char* mode, double mhz,
                      int channel, int level) {
  if (!HaveFix) {
    ++Skipped;
    return;
  }
  TLevelRow row;
  row.ClockDate = engine.ClockDateText();
  row.ClockTime = engine.ClockTimeText();
  row.GpsDate = Fix.DateText();
  row.GpsTime = Fix.TimeText();
  row.Latitude = Fix.Latitude;
  row.Longitude = Fix.Longitude;
  row.AltitudeM = Fix.MSLHeight / 100.0;  // the report gives centimetres
  row.Receiver = receiver + 1;
  row.Mode = mode;
  row.FrequencyMHz = mhz;
  row.Channel = channel;
  row.LevelDbm = level;
  row.Marker = engine.MarkerNumber.load();
  ++Written;
  Sink(row);
}

void TLevelRows::Take(const PacketRecord& record, const TEngine& engine) {
  const uint8_t* p = record.Data;
  const int n = std::max(record.PayloadSize(), 0);
  switch (record.Type) {
    case 0: {
      const TGPS gps = engine.Gps.Copy();
      if (gps.FixCode() == kFix2D || gps.FixCode() == kFix3D) {
        Fix = gps;
        HaveFix = true;
      }
      break;
    }
    case 2:
    case 3: {
      const int i = record.Type - 2;
      if (n == 0) break;
      const TRF rf = engine.Receiver(i);
      Emit(engine, i, "single", rf.CurrentMHz(), rf.CurrentChannel(),
           engine.SingleAverage[i].load());
      break;
    }
    case 7:
      for (int e = 0; e < std::min(n / 3, kScanLevelEntries); ++e) {
        const uint8_t* entry = p + 3 * e;
        const int i = entry[0] != 0 ? 1 : 0;
        if (!engine.ReceiverActive[i].load() || entry[1] >= kScanEntries) continue;
        const TRF rf = engine.Receiver(i);
        const uint32_t step = rf.ScanList[entry[1]];
        Emit(engine, i, "scan", rf.FrequencyOfStep(step), rf.ChannelOfStep(step),
             LevelOf(static_cast<int8_t>(entry[2])));
      }
      break;
    case 9:
      for (int e = 0; e < std::min(n / 4, kTableLevelEntries); ++e) {
        const uint8_t* entry = p + 4 * e;
        const int i = entry[0] != 0 ? 1 : 0;
        const int index = entry[1] | (entry[2] << 8);
        if (!engine.ReceiverActive[i].load() || index >= kTableEntries) continue;
        const TRF rf = engine.Receiver(i);
        Emit(engine, i, "table", rf.FrequencyOfChannel(static_cast<int16_t>(index)), index,
             LevelOf(static_cast<int8_t>(entry[3])));
      }
      break;
    default:
      break;
  }
}

}  // namespace vireon
