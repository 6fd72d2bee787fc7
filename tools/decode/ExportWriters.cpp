#include "ExportWriters.h"

#include <QBuffer>
#include <QStringList>
#include <QXmlStreamWriter>
#include <algorithm>
#include <bit>
#include <optional>

#include "JsonText.h"

namespace vireon {

namespace {

constexpr const char* kColumns[] = {"instrument_time", "gps_time",  "latitude", "longitude",
                                    "altitude_m",      "receiver",  "mode",     "frequency_mhz",
                                    "channel",         "level_dbm", "marker",   "fix_age_s"};
constexpr size_t kLevelColumn = 9;

// The last value written, kept as text: the rows of one packet share their times and the rows of
// one fix its place, and formatting them again costs more than the rest of the row. Values are
// told apart bit for bit, so -0.0 is written with its sign.
template <typename TValue>
class TLastText {
 public:
  using TFormat = void (*)(std::string&, TValue);
  explicit TLastText(TFormat format) : Format(format) {}
  void Append(std::string& out, TValue value) {
    const auto key = std::bit_cast<uint64_t>(value);
    if (Text.empty() || key != Key) {
      Text.clear();
      Format(Text, value);
      Key = key;
    }
    out += Text;
  }

 private:
  TFormat Format;
  uint64_t Key = 0;
  std::string Text;
};

template <bool Utc>
void AppendTime(std::string& out, int64_t seconds) {
  AppendIsoTime(out, seconds, Utc);
}

template <int Decimals>
void AppendDecimals(std::string& out, double value) {
  AppendFixed(out, value, Decimals);
}

// What the rows of a packet and a fix share, as text.
struct TRowCache {
  TLastText<int64_t> Instrument{AppendTime<false>}, Gps{AppendTime<true>};
  TLastText<double> Latitude{AppendDecimals<8>}, Longitude{AppendDecimals<8>},
      Altitude{AppendDecimals<2>}, GpsHeight{AppendDecimals<2>};
};

void AppendValues(std::string& out, const TLevelRow& r, char separator, TRowCache& shared) {
  if (r.InstrumentTime) shared.Instrument.Append(out, *r.InstrumentTime);
  out += separator;
  if (r.GpsTime) shared.Gps.Append(out, *r.GpsTime);
  out += separator;
  shared.Latitude.Append(out, r.Latitude), out += separator;
  shared.Longitude.Append(out, r.Longitude), out += separator;
  shared.Altitude.Append(out, r.AltitudeM), out += separator;
  AppendInt(out, r.Receiver), out += separator;
  out += r.Mode, out += separator;
  if (r.FrequencyMHz) AppendFixed(out, *r.FrequencyMHz, 5);
  out += separator;
  AppendInt(out, r.Channel), out += separator;
  AppendInt(out, r.LevelDbm), out += separator;
  AppendInt(out, r.Marker), out += separator;
  if (r.FixAgeS) AppendInt(out, *r.FixAgeS);
}

class TCsvWriter final : public TExportWriter {
 public:
  explicit TCsvWriter(TOutput& out) : Out(out) {
    std::string& text = Out.Buffer();
    for (const char* column : kColumns) text += std::string(text.empty() ? "" : ",") + column;
    text += "\r\n";
  }
  void Row(const TLevelRow& row) override {
    AppendValues(Out.Buffer(), row, ',', Shared);
    Out.Buffer() += "\r\n";
    Out.Wrote();
  }
  bool Finish() override { return Out.Flush(); }

 private:
  TOutput& Out;
  TRowCache Shared;
};

// A JSON string or null.
void AppendJsonTime(std::string& out, const std::optional<int64_t>& seconds,
                    TLastText<int64_t>& text) {
  if (!seconds) {
    out += "null";
    return;
  }
  out += '"';
  text.Append(out, *seconds);
  out += '"';
}

// Written out field by field: the texts are times and the mode's name, which need no escaping.
class TGeoJsonWriter final : public TExportWriter {
 public:
  explicit TGeoJsonWriter(TOutput& out) : Out(out) {
    Out.Buffer() += R"({"type":"FeatureCollection","features":[)";
  }
  void Row(const TLevelRow& r) override {
    std::string& line = Out.Buffer();
    line += First ? "\n" : ",\n";
    First = false;
    line += R"({"type":"Feature","geometry":{"type":"Point","coordinates":[)";
    Shared.Longitude.Append(line, r.Longitude), line += ',';
    Shared.Latitude.Append(line, r.Latitude), line += ',';
    Shared.GpsHeight.Append(line, r.GpsHeightM);
    line += R"(]},"properties":{"instrument_time":)",
        AppendJsonTime(line, r.InstrumentTime, Shared.Instrument);
    line += R"(,"gps_time":)", AppendJsonTime(line, r.GpsTime, Shared.Gps);
    line += R"(,"altitude_m":)", Shared.Altitude.Append(line, r.AltitudeM);
    line += R"(,"receiver":)", AppendInt(line, r.Receiver);
    line += R"(,"mode":")", line += r.Mode;
    line += R"(","frequency_mhz":)";
    if (r.FrequencyMHz)
      AppendFixed(line, *r.FrequencyMHz, 5);
    else
      line += "null";
    line += R"(,"channel":)", AppendInt(line, r.Channel);
    line += R"(,"level_dbm":)", AppendInt(line, r.LevelDbm);
    line += R"(,"marker":)", AppendInt(line, r.Marker);
    line += R"(,"fix_age_s":)";
    if (r.FixAgeS)
      AppendInt(line, *r.FixAgeS);
    else
      line += "null";
    line += "}}";
    Out.Wrote();
  }
  bool Finish() override {
    Out.Buffer() += "\n]}\n";
    return Out.Flush();
  }

 private:
  TOutput& Out;
  bool First = true;
  TRowCache Shared;
};

// Weak (blue) to strong (red) in eight steps across -120..-50 dBm, as KML's aabbggrr.
constexpr const char* kLevelColours[] = {"ffb67b2c", "ffcaa600", "ffbccc00", "ff9deb90",
                                         "ff8cffff", "ff57d0f9", "ff2e9ef2", "ff1c19d7"};
constexpr int kScaleLow = -120, kScaleHigh = -50;

const QStringList kStyleNames = {"#level0", "#level1", "#level2", "#level3",
                                 "#level4", "#level5", "#level6", "#level7"};

int LevelStep(int dbm) {
  const int steps = static_cast<int>(std::size(kLevelColours));
  const int k = (dbm - kScaleLow) * steps / (kScaleHigh - kScaleLow);
  return std::clamp(k, 0, steps - 1);
}

class TKmlWriter final : public TExportWriter {
 public:
  // The writer fills a buffer that goes to the file every so often: writing each token through a
  // device costs many times the document's own work.
  explicit TKmlWriter(TOutput& out) : Out(out) {
    Buffer.open(QIODevice::WriteOnly);
    Xml.setDevice(&Buffer);
    // Indenting a file of a million placemarks costs more than it helps: one a line instead.
    Xml.setAutoFormatting(false);
    Xml.writeStartDocument();
    Xml.writeStartElement("kml");
    Xml.writeDefaultNamespace("http://www.opengis.net/kml/2.2");
    Xml.writeStartElement("Document");
    Xml.writeTextElement("name", "Vireon survey");
    Xml.writeCharacters("\n");
    for (size_t k = 0; k < std::size(kLevelColours); ++k) {
      Xml.writeStartElement("Style");
      Xml.writeAttribute("id", QString("level%1").arg(k));
      Xml.writeStartElement("IconStyle");
      Xml.writeTextElement("color", kLevelColours[k]);
      Xml.writeTextElement("scale", "0.6");
      Xml.writeStartElement("Icon");
      Xml.writeTextElement("href", "http://maps.google.com/mapfiles/kml/shapes/shaded_dot.png");
      Xml.writeEndElement();
      Xml.writeEndElement();
      Xml.writeEndElement();
    }
  }
  void Row(const TLevelRow& r) override {
    Text.clear();
    AppendValues(Text, r, '\t', Shared);
    const QStringList values = QString::fromLatin1(Text.data(), Text.size()).split('\t');
    // Names made once: the writer would otherwise convert each from UTF-8 for every placemark.
    static const QString kPlacemark = "Placemark", kName = "name", kStyleUrl = "styleUrl",
                         kTimeStamp = "TimeStamp", kWhen = "when", kExtendedData = "ExtendedData",
                         kData = "Data", kValue = "value", kPoint = "Point",
                         kCoordinates = "coordinates";
    static const QStringList kColumnNames = [] {
      QStringList names;
      for (const char* column : kColumns) names << column;
      return names;
    }();
    Xml.writeStartElement(kPlacemark);
    Xml.writeTextElement(kName, values[kLevelColumn] + " dBm");
    Xml.writeTextElement(kStyleUrl, kStyleNames[LevelStep(r.LevelDbm)]);
    if (r.GpsTime) {
      Xml.writeStartElement(kTimeStamp);
      Xml.writeTextElement(kWhen, values[1]);
      Xml.writeEndElement();
    }
    Xml.writeStartElement(kExtendedData);
    for (qsizetype k = 0; k < values.size(); ++k) {
      Xml.writeStartElement(kData);
      Xml.writeAttribute(kName, kColumnNames[k]);
      Xml.writeTextElement(kValue, values[k]);
      Xml.writeEndElement();
    }
    Xml.writeEndElement();
    Xml.writeStartElement(kPoint);
    Xml.writeTextElement(kCoordinates, values[3] + ',' + values[2] + ',' + values[4]);
    Xml.writeEndElement();
    Xml.writeEndElement();
    Xml.writeCharacters("\n");
    if (Buffer.size() >= kFlushBytes) Flush();
  }
  bool Finish() override {
    Xml.writeEndDocument();
    Flush();
    return !Xml.hasError() && Out.Flush();
  }

 private:
  static constexpr qsizetype kFlushBytes = 1 << 16;
  void Flush() {
    Out.Buffer().append(Buffer.data().constData(), static_cast<size_t>(Buffer.size()));
    Out.Wrote();
    Buffer.buffer().clear();
    Buffer.seek(0);
  }

  TOutput& Out;
  QBuffer Buffer;
  QXmlStreamWriter Xml;
  std::string Text;
  TRowCache Shared;
};

}  // namespace

bool ParseExportFormat(const std::string& name, TExportFormat& format) {
  if (name == "csv")
    format = TExportFormat::Csv;
  else if (name == "geojson")
    format = TExportFormat::GeoJson;
  else if (name == "kml")
    format = TExportFormat::Kml;
  else
    return false;
  return true;
}

std::unique_ptr<TExportWriter> MakeExportWriter(TExportFormat format, TOutput& out) {
  switch (format) {
    case TExportFormat::Csv:
      return std::make_unique<TCsvWriter>(out);
    case TExportFormat::GeoJson:
      return std::make_unique<TGeoJsonWriter>(out);
    case TExportFormat::Kml:
      return std::make_unique<TKmlWriter>(out);
  }
  return nullptr;
}

}  // namespace vireon
