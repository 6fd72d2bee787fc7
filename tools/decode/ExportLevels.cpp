#include "ExportLevels.h"

#include <algorithm>

namespace vireon {

namespace {
constexpr int kFix2D = 6;
constexpr int kFix3D = 7;
}  // namespace

void TLevelRows::Emit(int receiver, const char* mode, double mhz, int channel, int level) {
  if (!HaveFix) {
    ++Skipped;
    return;
  }
  Shared.Receiver = receiver + 1;
  Shared.Mode = mode;
  Shared.FrequencyMHz = mhz;
  Shared.Channel = channel;
  Shared.LevelDbm = level;
  ++Written;
  Sink(Shared);
}

void TLevelRows::Take(const PacketRecord& record, const TEngine& engine) {
  const uint8_t* p = record.Data;
  const int n = std::max(record.PayloadSize(), 0);
  switch (record.Type) {
    case 0: {
      const TGPS gps = engine.Gps.Copy();
      if (gps.FixCode() != kFix2D && gps.FixCode() != kFix3D) break;
      Shared.GpsDate = gps.DateText();
      Shared.GpsTime = gps.TimeText();
      Shared.Latitude = gps.Latitude;
      Shared.Longitude = gps.Longitude;
      Shared.AltitudeM = gps.MSLHeight / 100.0;  // the report gives centimetres
      HaveFix = true;
      break;
    }
    case 4:
      Shared.ClockDate = engine.ClockDateText();
      Shared.ClockTime = engine.ClockTimeText();
      Shared.Marker = engine.MarkerNumber.load();
      break;
    case 2:
    case 3: {
      const int i = record.Type - 2;
      if (n == 0) break;
      const TRF rf = engine.Receiver(i);
      Emit(i, "single", rf.CurrentMHz(), rf.CurrentChannel(), engine.SingleAverage[i].load());
      break;
    }
    case 7: {
      const TRF rf[2] = {engine.Receiver(0), engine.Receiver(1)};
      for (int e = 0; e < std::min(n / 3, kScanLevelEntries); ++e) {
        const uint8_t* entry = p + 3 * e;
        const int i = entry[0] != 0 ? 1 : 0;
        if (!engine.ReceiverActive[i].load() || entry[1] >= kScanEntries) continue;
        const uint32_t step = rf[i].ScanList[entry[1]];
        Emit(i, "scan", rf[i].FrequencyOfStep(step), rf[i].ChannelOfStep(step),
             LevelOf(static_cast<int8_t>(entry[2])));
      }
      break;
    }
    case 9: {
      const TRF rf[2] = {engine.Receiver(0), engine.Receiver(1)};
      for (int e = 0; e < std::min(n / 4, kTableLevelEntries); ++e) {
        const uint8_t* entry = p + 4 * e;
        const int i = entry[0] != 0 ? 1 : 0;
        const int index = entry[1] | (entry[2] << 8);
        if (!engine.ReceiverActive[i].load() || index >= kTableEntries) continue;
        Emit(i, "table", rf[i].FrequencyOfChannel(static_cast<int16_t>(index)), index,
             LevelOf(static_cast<int8_t>(entry[3])));
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace vireon
