#include "PacketJson.h"

#include <algorithm>

namespace vireon {

namespace {

TJson GpsJson(const TGPS& g) {
  TJson channels = TJson::array();
  for (const auto& c : g.Channels) {
    channels.push_back({c.SVID, c.Mode, c.Signal, c.IODE, c.ChannelStatus[0], c.ChannelStatus[1]});
  }
  return {{"Month", g.Month},
          {"Day", g.Day},
          {"Year", g.Year},
          {"Hours", g.Hours},
          {"Minutes", g.Minutes},
          {"Seconds", g.Seconds},
          {"DOP", g.DOP},
          {"Heading", g.Heading},
          {"Speed3D", g.Speed3D},
          {"Speed2D", g.Speed2D},
          {"ClockBias", g.ClockBias},
          {"GMTNegative", g.GMTNegative},
          {"GMTHours", g.GMTHours},
          {"GMTMinutes", g.GMTMinutes},
          {"IDTag", Latin1(g.IDTag)},
          {"FilLatitude", g.FilLatitude},
          {"FilLongitude", g.FilLongitude},
          {"FilGPSHeight", g.FilGPSHeight},
          {"FilMSLHeight", g.FilMSLHeight},
          {"Latitude", g.Latitude},
          {"Longitude", g.Longitude},
          {"GPSHeight", g.GPSHeight},
          {"MSLHeight", g.MSLHeight},
          {"Temperature", g.Temperature},
          {"FixStatus", g.FixStatus},
          {"SatsVisible", g.SatsVisible},
          {"SatsTracked", g.SatsTracked},
          {"OscOffset", g.OscOffset},
          {"RecStatus", {g.RecStatus[0], g.RecStatus[1]}},
          {"Channels", channels},
          {"UTCMode", g.UTCMode},
          {"UTCOffsetDecoded", g.UTCOffsetDecoded},
          {"UTCOffset", g.UTCOffset},
          {"DateText", g.DateText()},
          {"TimeText", g.TimeText()},
          {"FilLatitudeText", g.FilLatitudeText()},
          {"FilLongitudeText", g.FilLongitudeText()},
          {"LatitudeText", g.LatitudeText()},
          {"LongitudeText", g.LongitudeText()},
          {"HeadingText", g.HeadingText()},
          {"GMTText", g.GMTText()},
          {"FixStatusText", g.FixStatusText()},
          {"AntennaStatusText", g.AntennaStatusText()}};
}

TJson ReceiverJson(const TRF& rf) {
  return {{"LowEdge", rf.Config.LowEdge},   {"HighEdge", rf.Config.HighEdge},
          {"StepCode", rf.Config.StepCode}, {"Flags", rf.Config.Flags},
          {"StepKHz", rf.StepKHz},          {"LowEdgeMHz", rf.LowEdgeMHz()},
          {"HighEdgeMHz", rf.HighEdgeMHz()}};
}

TJson CurrentJson(const TEngine& engine) {
  return {engine.Receiver(0).Current, engine.Receiver(1).Current};
}

TJson ScanLevelsJson(const TEngine& engine) {
  TJson levels = TJson::array();
  for (const auto& row : engine.ScanLevels) {
    TJson r = TJson::array();
    for (const auto& level : row) r.push_back(static_cast<int>(level.load()));
    levels.push_back(r);
  }
  return levels;
}

// The entries the engine stored: those of an active receiver inside the table (the session
// keeps the receiver events clear, so no entry is dropped for a busy display), each with the
// level it carried as the engine stores it; an index named twice ends with the later level.
TJson TableEntriesJson(const PacketRecord& record, const TEngine& engine) {
  const uint8_t* payload = record.Data;
  const int received = std::min(std::max(record.PayloadSize(), 0) / 4, kTableLevelEntries);
  TJson entries = TJson::array();
  for (int i = 0; i < 2; ++i) {
    if (!engine.ReceiverActive[i]) continue;
    for (int e = 0; e < received; ++e) {
      const uint8_t* entry = payload + 4 * e;
      const int index = entry[1] | (entry[2] << 8);
      if ((entry[0] != 0 ? 1 : 0) != i || index >= kTableEntries) continue;
      entries.push_back({i, index, static_cast<int>(static_cast<int8_t>(entry[3]))});
    }
  }
  return entries;
}

}  // namespace

std::string HexBytes(const uint8_t* bytes, int n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(static_cast<size_t>(n) * 2, '0');
  for (int k = 0; k < n; ++k) {
    text[2 * k] = kDigits[bytes[k] >> 4];
    text[2 * k + 1] = kDigits[bytes[k] & 15];
  }
  return text;
}

// The instrument's texts are 8-bit; mapped byte for byte any byte survives as valid JSON.
std::string Latin1(const char* text) {
  std::string utf8;
  for (; *text != 0; ++text) {
    const auto c = static_cast<uint8_t>(*text);
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

TJson PacketJson(const PacketRecord& record, const TEngine& engine) {
  const int n = std::clamp(record.PayloadSize(), 0, kDataSize - 1);
  TJson j = {{"type", record.Type},
             {"length", static_cast<int>(record.Length)},
             {"payload", HexBytes(record.Data, n)}};
  switch (record.Type) {
    case 0:
      j["gps"] = GpsJson(engine.Gps.Copy());
      break;
    case 1:
      j["ReceiverActive"] = {engine.ReceiverActive[0].load(), engine.ReceiverActive[1].load()};
      j["Receivers"] = {ReceiverJson(engine.Receiver(0)), ReceiverJson(engine.Receiver(1))};
      break;
    case 2:
    case 3:
      j["receiver"] = record.Type - 2;
      j["SingleAverage"] = engine.SingleAverage[record.Type - 2].load();
      j["samples"] = n;
      break;
    case 4:
      j["ClockDateText"] = engine.ClockDateText();
      j["ClockTimeText"] = engine.ClockTimeText();
      j["MarkerNumber"] = engine.MarkerNumber.load();
      break;
    case 5:
      j["Current"] = CurrentJson(engine);
      break;
    case 6:
      j["ScanList"] = {engine.Receiver(0).ScanList, engine.Receiver(1).ScanList};
      j["Current"] = CurrentJson(engine);
      break;
    case 7:
      j["ScanLevels"] = ScanLevelsJson(engine);
      break;
    case 9:
      j["TableEntries"] = TableEntriesJson(record, engine);
      break;
    case 28:
      j["SerialNumber"] = Latin1(engine.SerialNumber().c_str());
      break;
    default:
      break;
  }
  return j;
}

TDecodeSession::TDecodeSession(TSink sink) : Sink(std::move(sink)) {}

void TDecodeSession::Feed(const uint8_t* bytes, size_t n) {
  Bytes += n;
  size_t used = 0;
  for (size_t at = 0; at < n; at += used) {
    if (Framer_.PushBlock(bytes + at, n - at, used) != 0) continue;
    Deliver(Framer_.Record());
  }
}

void TDecodeSession::Deliver(const PacketRecord& record) {
  Engine_.Dispatch(record);
  ++Packets;
  if (Sink) Sink(PacketJson(record, Engine_));
  if (OnRecord) OnRecord(record, Engine_);
  for (int i = 0; i < 2; ++i) {
    Engine_.ReceiverEvent[i].Reset();
    Engine_.SingleDataReady[i] = 0;
  }
  Engine_.ClockEvent.Reset();
  Engine_.GpsEvent.Reset();
}

TJson TDecodeSession::Summary() const {
  return {{"summary",
           {{"packets", Packets},
            {"bytes", Bytes},
            {"bad_checksum", Framer_.BadChecksum},
            {"bad_length", Framer_.BadLength}}}};
}

}  // namespace vireon
