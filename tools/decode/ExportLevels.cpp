#include "ExportLevels.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace vireon {

namespace {

constexpr int kFix2D = 6;
constexpr int kFix3D = 7;

// Seconds since 1970 of a calendar date and time; none for a date that does not exist.
std::optional<int64_t> CivilSeconds(int y, int mo, int d, int h, int mi, int s) {
  using namespace std::chrono;
  const year_month_day date{year{y}, month{static_cast<unsigned>(mo)},
                            day{static_cast<unsigned>(d)}};
  if (!date.ok() || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60) return std::nullopt;
  return sys_days{date}.time_since_epoch().count() * 86400LL + h * 3600 + mi * 60 + s;
}

void AppendTwo(std::string& out, unsigned value) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

}  // namespace

void AppendIsoTime(std::string& out, int64_t seconds, bool utc) {
  using namespace std::chrono;
  const sys_seconds t{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(t);
  const year_month_day date{day};
  const hh_mm_ss time{t - day};
  char year[8];
  const auto end = std::to_chars(year, year + sizeof year, static_cast<int>(date.year()));
  out.append(year, end.ptr);
  out += '-', AppendTwo(out, static_cast<unsigned>(date.month()));
  out += '-', AppendTwo(out, static_cast<unsigned>(date.day()));
  out += 'T', AppendTwo(out, static_cast<unsigned>(time.hours().count()));
  out += ':', AppendTwo(out, static_cast<unsigned>(time.minutes().count()));
  out += ':', AppendTwo(out, static_cast<unsigned>(time.seconds().count()));
  if (utc) out += 'Z';
}

TLevelRows::TLevelRows(TRowSink sink, double maxFixAgeS)
    : Sink(std::move(sink)), MaxFixAge(maxFixAgeS) {}

void TLevelRows::Emit(int receiver, const char* mode, std::optional<double> mhz, int channel,
                      int level) {
  if (!HaveFix) {
    ++NoFix;
    return;
  }
  Shared.FixAgeS.reset();
  if (Now && FixAt) Shared.FixAgeS = *Now - *FixAt;
  if (Shared.FixAgeS && static_cast<double>(*Shared.FixAgeS) > MaxFixAge) {
    ++Stale;
    return;
  }
  if (!mhz) ++NoFrequency;
  Shared.Receiver = receiver + 1;
  Shared.Mode = mode;
  Shared.FrequencyMHz = mhz;
  Shared.Channel = channel;
  Shared.LevelDbm = level;
  ++Written;
  Sink(Shared);
}

void TLevelRows::Fix(const TGPS& gps) {
  if (gps.FixCode() != kFix2D && gps.FixCode() != kFix3D) {
    LostSinceFix = true;
    return;
  }
  Shared.GpsTime = CivilSeconds(gps.Year, gps.Month, gps.Day, gps.Hours, gps.Minutes, gps.Seconds);
  // Without UTC mode the report gives GPS time, ahead of UTC by the offset it carries.
  if (Shared.GpsTime && !gps.UTCMode) {
    if (gps.UTCOffsetDecoded)
      *Shared.GpsTime -= gps.UTCOffset;
    else
      NotUtc = true;
  }
  Shared.Latitude = gps.Latitude;
  Shared.Longitude = gps.Longitude;
  Shared.AltitudeM = gps.MSLHeight / 100.0;  // the report gives centimetres
  Shared.GpsHeightM = gps.GPSHeight / 100.0;
  HaveFix = true;
  FixAt = Now;
  if (FixSink) {
    const TGpsFix fix{Shared.GpsTime,      Shared.Latitude,   Shared.Longitude,
                      Shared.AltitudeM,    Shared.GpsHeightM, gps.SatsTracked,
                      gps.Speed2D * 0.036,  // from cm/s
                      LostSinceFix};
    FixSink(fix);
  }
  LostSinceFix = false;
}

void TLevelRows::Clock(const TEngine& engine) {
  const auto c = engine.ClockBytes();
  Now = CivilSeconds(2000 + c[5], c[4], c[3], c[2], c[1], c[0]);
  Shared.InstrumentTime = Now;
  Shared.Marker = engine.MarkerNumber.load();
}

void TLevelRows::Take(const PacketRecord& record, const TEngine& engine) {
  const uint8_t* p = record.Data;
  const int n = std::max(record.PayloadSize(), 0);
  switch (record.Type) {
    case 0:
      Fix(engine.Gps.Copy());
      break;
    case 4:
      Clock(engine);
      break;
    case 6:
      HaveScanList = true;
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
        Emit(i, "scan", HaveScanList ? std::optional(rf[i].FrequencyOfStep(step)) : std::nullopt,
             rf[i].ChannelOfStep(step), LevelOf(static_cast<int8_t>(entry[2])));
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
        const auto channel = static_cast<int16_t>(index + 1);
        Emit(i, "table", rf[i].FrequencyOfChannel(channel), channel,
             LevelOf(static_cast<int8_t>(entry[3])));
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace vireon
