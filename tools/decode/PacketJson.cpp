#include "PacketJson.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vireon {

namespace {

// The GPS record's texts as TGPS makes them (printf's %0Nd and %.4f), without printf, which took
// half of a GPS line's time.
void AppendPadded(std::string& out, int value, int width) {
  if (value < 0) out += '-', --width;
  char digits[12];
  const int n = static_cast<int>(
      std::to_chars(digits, digits + sizeof digits, value < 0 ? -value : value).ptr - digits);
  if (n < width) out.append(static_cast<size_t>(width - n), '0');
  out.append(digits, static_cast<size_t>(n));
}

// Three numbers, the last padded to lastWidth and the others to 2, joined by separator:
// "MM/DD/YYYY" and "HH:MM:SS".
std::string Joined(int a, int b, int c, char separator, int lastWidth) {
  std::string text;
  AppendPadded(text, a, 2), text += separator;
  AppendPadded(text, b, 2), text += separator;
  AppendPadded(text, c, lastWidth);
  return text;
}

std::string Hemisphere(double degrees, char positive, char negative) {
  std::string text;
  AppendFixed(text, std::fabs(degrees), 4);
  text += ' ';
  text += degrees > 0 ? positive : negative;
  return text;
}

std::string GmtText(const TGPS& g) {
  std::string text(1, g.GMTNegative ? '-' : ' ');
  AppendPadded(text, g.GMTHours, 2), text += ':';
  AppendPadded(text, g.GMTMinutes, 2);
  return text;
}

void WriteGps(TJsonWriter& w, const TGPS& g) {
  w.BeginObject();
  w.Key("Month").Int(g.Month).Key("Day").Int(g.Day).Key("Year").Int(g.Year);
  w.Key("Hours").Int(g.Hours).Key("Minutes").Int(g.Minutes).Key("Seconds").Int(g.Seconds);
  w.Key("DOP").Int(g.DOP).Key("Heading").Int(g.Heading);
  w.Key("Speed3D").Int(g.Speed3D).Key("Speed2D").Int(g.Speed2D);
  w.Key("ClockBias").Int(g.ClockBias).Key("GMTNegative").Bool(g.GMTNegative);
  w.Key("GMTHours").Int(g.GMTHours).Key("GMTMinutes").Int(g.GMTMinutes);
  w.Key("IDTag").Latin1(g.IDTag);
  w.Key("FilLatitude").Double(g.FilLatitude).Key("FilLongitude").Double(g.FilLongitude);
  w.Key("FilGPSHeight").Double(g.FilGPSHeight).Key("FilMSLHeight").Double(g.FilMSLHeight);
  w.Key("Latitude").Double(g.Latitude).Key("Longitude").Double(g.Longitude);
  w.Key("GPSHeight").Double(g.GPSHeight).Key("MSLHeight").Double(g.MSLHeight);
  w.Key("Temperature").Double(g.Temperature).Key("FixStatus").UInt(g.FixStatus);
  w.Key("SatsVisible").Int(g.SatsVisible).Key("SatsTracked").Int(g.SatsTracked);
  w.Key("OscOffset").Int(g.OscOffset);
  w.Key("RecStatus").BeginArray().UInt(g.RecStatus[0]).UInt(g.RecStatus[1]).EndArray();
  w.Key("Channels").BeginArray();
  for (const auto& c : g.Channels) {
    w.BeginArray().UInt(c.SVID).UInt(c.Mode).UInt(c.Signal).UInt(c.IODE);
    w.UInt(c.ChannelStatus[0]).UInt(c.ChannelStatus[1]).EndArray();
  }
  w.EndArray();
  w.Key("UTCMode").Bool(g.UTCMode).Key("UTCOffsetDecoded").Bool(g.UTCOffsetDecoded);
  w.Key("UTCOffset").Int(g.UTCOffset);
  w.Key("DateText").String(Joined(g.Month, g.Day, g.Year, '/', 4));
  w.Key("TimeText").String(Joined(g.Hours, g.Minutes, g.Seconds, ':', 2));
  w.Key("FilLatitudeText").String(Hemisphere(g.FilLatitude, 'N', 'S'));
  w.Key("FilLongitudeText").String(Hemisphere(g.FilLongitude, 'E', 'W'));
  w.Key("LatitudeText").String(Hemisphere(g.Latitude, 'N', 'S'));
  w.Key("LongitudeText").String(Hemisphere(g.Longitude, 'E', 'W'));
  w.Key("HeadingText").String(g.HeadingText()).Key("GMTText").String(GmtText(g));
  w.Key("FixStatusText").String(g.FixStatusText());
  w.Key("AntennaStatusText").String(g.AntennaStatusText());
  w.EndObject();
}

void WriteReceiver(TJsonWriter& w, const TRF& rf) {
  w.BeginObject();
  w.Key("LowEdge").UInt(rf.Config.LowEdge).Key("HighEdge").UInt(rf.Config.HighEdge);
  w.Key("StepCode").UInt(rf.Config.StepCode).Key("Flags").UInt(rf.Config.Flags);
  w.Key("StepKHz").Double(rf.StepKHz).Key("LowEdgeMHz").Double(rf.LowEdgeMHz());
  w.Key("HighEdgeMHz").Double(rf.HighEdgeMHz());
  w.EndObject();
}

void WriteCurrent(TJsonWriter& w, const TEngine& engine) {
  w.Key("Current").BeginArray();
  w.UInt(engine.Receiver(0).Current).UInt(engine.Receiver(1).Current).EndArray();
}

void WriteScanList(TJsonWriter& w, const TRF& rf) {
  w.BeginArray();
  for (const uint32_t position : rf.ScanList) w.UInt(position);
  w.EndArray();
}

void WriteScanLevels(TJsonWriter& w, const TEngine& engine) {
  w.Key("ScanLevels").BeginArray();
  for (const auto& row : engine.ScanLevels) {
    w.BeginArray();
    for (const auto& level : row) w.Int(level.load());
    w.EndArray();
  }
  w.EndArray();
}

// The entries the engine stored: those of an active receiver inside the table (the session
// keeps the receiver events clear, so no entry is dropped for a busy display), each with the
// level it carried as the engine stores it; an index named twice ends with the later level.
void WriteTableEntries(TJsonWriter& w, const PacketRecord& record, const TEngine& engine) {
  const uint8_t* payload = record.Data;
  const int received = std::min(std::max(record.PayloadSize(), 0) / 4, kTableLevelEntries);
  w.Key("TableEntries").BeginArray();
  for (int i = 0; i < 2; ++i) {
    if (!engine.ReceiverActive[i]) continue;
    for (int e = 0; e < received; ++e) {
      const uint8_t* entry = payload + 4 * e;
      const int index = entry[1] | (entry[2] << 8);
      if ((entry[0] != 0 ? 1 : 0) != i || index >= kTableEntries) continue;
      w.BeginArray().Int(i).Int(index).Int(static_cast<int8_t>(entry[3])).EndArray();
    }
  }
  w.EndArray();
}

}  // namespace

void WritePacketMembers(TJsonWriter& w, const PacketRecord& record, const TEngine& engine,
                        const TInPlace& inPlace) {
  const int n = std::clamp(record.PayloadSize(), 0, kDataSize - 1);
  w.Key("type").UInt(record.Type);
  w.Key("length").Int(inPlace.Length >= 0 ? inPlace.Length : record.Length);
  if (inPlace.Payload != nullptr)
    w.Key("payload").Hex(inPlace.Payload, inPlace.PayloadSize);
  else
    w.Key("payload").Hex(record.Data, static_cast<size_t>(n));
  switch (record.Type) {
    case 0:
      WriteGps(w.Key("gps"), engine.Gps.Copy());
      break;
    case 1: {
      w.Key("ReceiverActive").BeginArray();
      w.UInt(engine.ReceiverActive[0].load()).UInt(engine.ReceiverActive[1].load()).EndArray();
      w.Key("Receivers").BeginArray();
      WriteReceiver(w, engine.Receiver(0));
      WriteReceiver(w, engine.Receiver(1));
      w.EndArray();
      break;
    }
    case 2:
    case 3:
      w.Key("receiver").Int(record.Type - 2);
      w.Key("SingleAverage").Int(engine.SingleAverage[record.Type - 2].load());
      w.Key("samples").Int(n);
      break;
    case 4:
      w.Key("ClockDateText").String(engine.ClockDateText());
      w.Key("ClockTimeText").String(engine.ClockTimeText());
      w.Key("MarkerNumber").Int(engine.MarkerNumber.load());
      break;
    case 5:
      WriteCurrent(w, engine);
      break;
    case 6:
      w.Key("ScanList").BeginArray();
      WriteScanList(w, engine.Receiver(0));
      WriteScanList(w, engine.Receiver(1));
      w.EndArray();
      WriteCurrent(w, engine);
      break;
    case 7:
      WriteScanLevels(w, engine);
      break;
    case 9:
      WriteTableEntries(w, record, engine);
      break;
    case 28:
      // Texts end at their first NUL, as the instrument's C strings do.
      if (inPlace.SerialNumber != nullptr)
        w.Key("SerialNumber").Latin1(inPlace.SerialNumber->c_str());
      else
        w.Key("SerialNumber").Latin1(engine.SerialNumber().c_str());
      break;
    default:
      break;
  }
}

void AppendPacketLine(std::string& out, const PacketRecord& record, const TEngine& engine) {
  TJsonWriter w(out);
  w.BeginObject();
  WritePacketMembers(w, record, engine);
  w.EndObject().LineEnd();
}

void AppendSummaryLine(std::string& out, uint64_t packets, uint64_t bytes, uint64_t badChecksum,
                       uint64_t badLength) {
  TJsonWriter w(out);
  w.BeginObject().Key("summary").BeginObject();
  w.Key("packets").UInt(packets).Key("bytes").UInt(bytes);
  w.Key("bad_checksum").UInt(badChecksum).Key("bad_length").UInt(badLength);
  w.EndObject().EndObject().LineEnd();
}

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
  if (OnRecord) OnRecord(record, Engine_);
  for (int i = 0; i < 2; ++i) {
    Engine_.ReceiverEvent[i].Reset();
    Engine_.SingleDataReady[i] = 0;
  }
  Engine_.ClockEvent.Reset();
  Engine_.GpsEvent.Reset();
}

void TDecodeSession::AppendSummary(std::string& out) const {
  AppendSummaryLine(out, Packets, Bytes, Framer_.BadChecksum, Framer_.BadLength);
}

}  // namespace vireon
