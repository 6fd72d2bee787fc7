#include "ExportWriters.h"

#include <QBuffer>
#include <QStringList>
#include <QXmlStreamWriter>
#include <algorithm>
#include <charconv>

namespace vireon {

namespace {

constexpr const char* kColumns[] = {
    "instrument_date", "instrument_time", "gps_date", "gps_time", "latitude",
    "longitude",       "altitude_m",      "receiver", "mode",     "frequency_mhz",
    "channel",         "level_dbm",       "marker"};

// Appends value with `decimals` digits after the point; integers with none.
void Append(std::string& out, double value, int decimals) {
  char text[40];
  const auto end =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  out.append(text, end.ptr);
}
void Append(std::string& out, int value) {
  char text[16];
  const auto end = std::to_chars(text, text + sizeof text, value);
  out.append(text, end.ptr);
}

// The row's values in column order, each followed by `separator` but the last.
void AppendValues(std::string& out, const TLevelRow& r, char separator, bool quoteTexts) {
  const auto text = [&](const std::string& value) {
    out += quoteTexts ? CsvField(value) : value;
    out += separator;
  };
  text(r.ClockDate);
  text(r.ClockTime);
  text(r.GpsDate);
  text(r.GpsTime);
  Append(out, r.Latitude, 8), out += separator;
  Append(out, r.Longitude, 8), out += separator;
  Append(out, r.AltitudeM, 2), out += separator;
  Append(out, r.Receiver), out += separator;
  out += r.Mode, out += separator;
  Append(out, r.FrequencyMHz, 5), out += separator;
  Append(out, r.Channel), out += separator;
  Append(out, r.LevelDbm), out += separator;
  Append(out, r.Marker);
}

class TCsvWriter final : public TExportWriter {
 public:
  explicit TCsvWriter(std::FILE* out) : Out(out) {
    std::string header;
    for (const char* column : kColumns) header += std::string(header.empty() ? "" : ",") + column;
    std::fprintf(Out, "%s\r\n", header.c_str());
  }
  void Row(const TLevelRow& row) override {
    Line.clear();
    AppendValues(Line, row, ',', true);
    Line += "\r\n";
    std::fwrite(Line.data(), 1, Line.size(), Out);
  }
  bool Finish() override { return std::fflush(Out) == 0 && !std::ferror(Out); }

 private:
  std::FILE* Out;
  std::string Line;
};

// Written out field by field: the texts are the instrument's dates and times and the mode's
// name, digits and punctuation that need no JSON escaping.
class TGeoJsonWriter final : public TExportWriter {
 public:
  explicit TGeoJsonWriter(std::FILE* out) : Out(out) {
    std::fputs(R"({"type":"FeatureCollection","features":[)", Out);
  }
  void Row(const TLevelRow& r) override {
    Line.assign(First ? "\n" : ",\n");
    First = false;
    Line += R"({"type":"Feature","geometry":{"type":"Point","coordinates":[)";
    Append(Line, r.Longitude, 8), Line += ',';
    Append(Line, r.Latitude, 8), Line += ',';
    Append(Line, r.AltitudeM, 2);
    Line += R"(]},"properties":{"instrument_date":")" + r.ClockDate;
    Line += R"(","instrument_time":")" + r.ClockTime;
    Line += R"(","gps_date":")" + r.GpsDate;
    Line += R"(","gps_time":")" + r.GpsTime;
    Line += R"(","altitude_m":)", Append(Line, r.AltitudeM, 2);
    Line += R"(,"receiver":)", Append(Line, r.Receiver);
    Line += R"(,"mode":")", Line += r.Mode;
    Line += R"(","frequency_mhz":)", Append(Line, r.FrequencyMHz, 5);
    Line += R"(,"channel":)", Append(Line, r.Channel);
    Line += R"(,"level_dbm":)", Append(Line, r.LevelDbm);
    Line += R"(,"marker":)", Append(Line, r.Marker);
    Line += "}}";
    std::fwrite(Line.data(), 1, Line.size(), Out);
  }
  bool Finish() override {
    std::fputs("\n]}\n", Out);
    return std::fflush(Out) == 0 && !std::ferror(Out);
  }

 private:
  std::FILE* Out;
  std::string Line;
  bool First = true;
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
  explicit TKmlWriter(std::FILE* out) : Out(out) {
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
    AppendValues(Text, r, '\t', false);
    const QStringList values = QString::fromLatin1(Text.data(), Text.size()).split('\t');
    // Names made once: the writer would otherwise convert each from UTF-8 for every placemark.
    static const QString kPlacemark = "Placemark", kName = "name", kStyleUrl = "styleUrl",
                         kExtendedData = "ExtendedData", kData = "Data", kValue = "value",
                         kPoint = "Point", kCoordinates = "coordinates";
    static const QStringList kColumnNames = [] {
      QStringList names;
      for (const char* column : kColumns) names << column;
      return names;
    }();
    Xml.writeStartElement(kPlacemark);
    Xml.writeTextElement(kName, values[11] + " dBm");
    Xml.writeTextElement(kStyleUrl, kStyleNames[LevelStep(r.LevelDbm)]);
    Xml.writeStartElement(kExtendedData);
    for (qsizetype k = 0; k < values.size(); ++k) {
      Xml.writeStartElement(kData);
      Xml.writeAttribute(kName, kColumnNames[k]);
      Xml.writeTextElement(kValue, values[k]);
      Xml.writeEndElement();
    }
    Xml.writeEndElement();
    Xml.writeStartElement(kPoint);
    Xml.writeTextElement(kCoordinates, values[5] + ',' + values[4] + ',' + values[6]);
    Xml.writeEndElement();
    Xml.writeEndElement();
    Xml.writeCharacters("\n");
    if (Buffer.size() >= kFlushBytes) Flush();
  }
  bool Finish() override {
    Xml.writeEndDocument();
    Flush();
    return !Xml.hasError() && std::fflush(Out) == 0 && !std::ferror(Out);
  }

 private:
  static constexpr qsizetype kFlushBytes = 1 << 16;
  void Flush() {
    std::fwrite(Buffer.data().constData(), 1, static_cast<size_t>(Buffer.size()), Out);
    Buffer.buffer().clear();
    Buffer.seek(0);
  }

  std::FILE* Out;
  QBuffer Buffer;
  QXmlStreamWriter Xml;
  std::string Text;
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

std::unique_ptr<TExportWriter> MakeExportWriter(TExportFormat format, std::FILE* out) {
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

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace vireon
