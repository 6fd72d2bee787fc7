#include "ExportWriters.h"

#include <QFile>
#include <QXmlStreamWriter>
#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

namespace vireon {

namespace {

constexpr const char* kColumns[] = {
    "instrument_date", "instrument_time", "gps_date", "gps_time", "latitude",
    "longitude",       "altitude_m",      "receiver", "mode",     "frequency_mhz",
    "channel",         "level_dbm",       "marker"};

std::string Number(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The row's values in column order, as text.
std::array<std::string, 13> Values(const TLevelRow& r) {
  return {r.ClockDate,
          r.ClockTime,
          r.GpsDate,
          r.GpsTime,
          Number("%.8f", r.Latitude),
          Number("%.8f", r.Longitude),
          Number("%.2f", r.AltitudeM),
          std::to_string(r.Receiver),
          r.Mode,
          Number("%.5f", r.FrequencyMHz),
          std::to_string(r.Channel),
          std::to_string(r.LevelDbm),
          std::to_string(r.Marker)};
}

class TCsvWriter final : public TExportWriter {
 public:
  explicit TCsvWriter(std::FILE* out) : Out(out) {
    std::string header;
    for (const char* column : kColumns) header += std::string(header.empty() ? "" : ",") + column;
    std::fprintf(Out, "%s\r\n", header.c_str());
  }
  void Row(const TLevelRow& row) override {
    std::string line;
    for (const std::string& value : Values(row))
      line += (line.empty() ? "" : ",") + CsvField(value);
    std::fprintf(Out, "%s\r\n", line.c_str());
  }
  bool Finish() override { return std::fflush(Out) == 0 && !std::ferror(Out); }

 private:
  std::FILE* Out;
};

class TGeoJsonWriter final : public TExportWriter {
 public:
  explicit TGeoJsonWriter(std::FILE* out) : Out(out) {
    std::fputs("{\"type\":\"FeatureCollection\",\"features\":[", Out);
  }
  void Row(const TLevelRow& r) override {
    const nlohmann::ordered_json feature = {
        {"type", "Feature"},
        {"geometry", {{"type", "Point"}, {"coordinates", {r.Longitude, r.Latitude, r.AltitudeM}}}},
        {"properties",
         {{"instrument_date", r.ClockDate},
          {"instrument_time", r.ClockTime},
          {"gps_date", r.GpsDate},
          {"gps_time", r.GpsTime},
          {"altitude_m", r.AltitudeM},
          {"receiver", r.Receiver},
          {"mode", r.Mode},
          {"frequency_mhz", r.FrequencyMHz},
          {"channel", r.Channel},
          {"level_dbm", r.LevelDbm},
          {"marker", r.Marker}}}};
    std::fprintf(Out, "%s\n%s", First ? "" : ",", feature.dump().c_str());
    First = false;
  }
  bool Finish() override {
    std::fputs("\n]}\n", Out);
    return std::fflush(Out) == 0 && !std::ferror(Out);
  }

 private:
  std::FILE* Out;
  bool First = true;
};

// Weak (blue) to strong (red) in eight steps across -120..-50 dBm, as KML's aabbggrr.
constexpr const char* kLevelColours[] = {"ffb67b2c", "ffcaa600", "ffbccc00", "ff9deb90",
                                         "ff8cffff", "ff57d0f9", "ff2e9ef2", "ff1c19d7"};
constexpr int kScaleLow = -120, kScaleHigh = -50;

int LevelStep(int dbm) {
  const int steps = static_cast<int>(std::size(kLevelColours));
  const int k = (dbm - kScaleLow) * steps / (kScaleHigh - kScaleLow);
  return std::clamp(k, 0, steps - 1);
}

class TKmlWriter final : public TExportWriter {
 public:
  explicit TKmlWriter(std::FILE* out) {
    File.open(out, QIODevice::WriteOnly);
    Xml.setDevice(&File);
    Xml.setAutoFormatting(true);
    Xml.writeStartDocument();
    Xml.writeStartElement("kml");
    Xml.writeDefaultNamespace("http://www.opengis.net/kml/2.2");
    Xml.writeStartElement("Document");
    Xml.writeTextElement("name", "Vireon survey");
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
    const auto values = Values(r);
    Xml.writeStartElement("Placemark");
    Xml.writeTextElement("name", QString("%1 dBm").arg(r.LevelDbm));
    Xml.writeTextElement("styleUrl", QString("#level%1").arg(LevelStep(r.LevelDbm)));
    Xml.writeStartElement("ExtendedData");
    for (size_t k = 0; k < values.size(); ++k) {
      Xml.writeStartElement("Data");
      Xml.writeAttribute("name", kColumns[k]);
      Xml.writeTextElement("value", QString::fromStdString(values[k]));
      Xml.writeEndElement();
    }
    Xml.writeEndElement();
    Xml.writeStartElement("Point");
    Xml.writeTextElement("coordinates",
                         QString::fromStdString(values[5] + "," + values[4] + "," + values[6]));
    Xml.writeEndElement();
    Xml.writeEndElement();
  }
  bool Finish() override {
    Xml.writeEndDocument();
    File.flush();
    return !Xml.hasError() && File.error() == QFileDevice::NoError;
  }

 private:
  QFile File;
  QXmlStreamWriter Xml;
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
