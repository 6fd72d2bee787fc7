#include "KmzWriter.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include <charconv>
#include <vector>

#include "Legend.h"
#include "LevelScale.h"
#include "SurveyMap.h"

namespace vireon {

namespace {

constexpr size_t kZipBlock = 1 << 20;
constexpr const char* kCellAlpha = "c8";  // a cell lets the map below show through a little

void Append(std::string& out, double value, int decimals) {
  char text[40];
  out.append(
      text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr);
}

void AppendTimeSpan(std::string& out, const std::optional<int64_t>& begin,
                    const std::optional<int64_t>& end) {
  if (!begin || !end) return;
  out += "<TimeSpan><begin>";
  AppendIsoTime(out, *begin, true);
  out += "</begin><end>";
  AppendIsoTime(out, *end, true);
  out += "</end></TimeSpan>";
}

std::string ChannelName(const TChannelInfo& c) {
  std::string name =
      "R" + std::to_string(c.Receiver) + " " + c.Mode + " channel " + std::to_string(c.Channel);
  if (c.FrequencyMHz) name += ", ", Append(name, *c.FrequencyMHz, 4), name += " MHz";
  return name;
}

struct TTrackPoint {
  double Longitude, Latitude, AltitudeM;
  std::optional<int64_t> Time;
  bool GapBefore;
};

class TKmzWriter final : public TMapExportWriter {
 public:
  TKmzWriter(const std::string& path, const TExportOptions& options)
      : Path(path),
        Map(
            options.CellM, options.MaxFixAgeS, [](const TGpsFix&, const TFixPoint&) {},
            [this](const TGpsFix&, const TGpsFix& to, bool gap) {
              Track.push_back({to.Longitude, to.Latitude, to.AltitudeM, to.GpsTime, gap});
            }) {}

  void Fix(const TGpsFix& fix) override {
    if (Track.empty())
      Track.push_back({fix.Longitude, fix.Latitude, fix.AltitudeM, fix.GpsTime, true});
    if (!Failed && !Map.Fix(fix, Error)) Failed = true;
  }
  void Row(const TLevelRow& row) override { Map.Level(row); }

  bool Finish() override {
    Map.Finish();
    if (Failed) return false;
    Zip = CPLCreateZip(Path.c_str(), nullptr);
    if (Zip == nullptr || CPLCreateFileInZip(Zip, "doc.kml", nullptr) != CE_None) return Fail();
    WriteHead();
    WriteTrack();
    WriteCells();
    Text += "</Document>\n</kml>\n";
    Flush(0);
    if (Failed || CPLCloseFileInZip(Zip) != CE_None) return Fail();
    const char* stored[] = {"COMPRESSED=NO", nullptr};
    if (CPLCreateFileInZip(Zip, "legend.png", const_cast<char**>(stored)) != CE_None ||
        CPLWriteFileInZip(Zip, kLegendPng, static_cast<int>(kLegendPngSize)) != CE_None ||
        CPLCloseFileInZip(Zip) != CE_None)
      return Fail();
    const CPLErr closed = CPLCloseZip(Zip);
    Zip = nullptr;
    return closed == CE_None || Fail();
  }

  ~TKmzWriter() override {
    if (Zip != nullptr) CPLCloseZip(Zip);
  }

  std::string Written() const override {
    return " into " + std::to_string(Map.Cells().CellCount()) + " cell(s)";
  }

 private:
  bool Fail() {
    if (!Failed) Error = CPLGetLastErrorMsg();
    Failed = true;
    return false;
  }

  // Hands the text on to the zip once it exceeds keep bytes.
  void Flush(size_t keep) {
    if (Failed || Text.size() <= keep) return;
    if (CPLWriteFileInZip(Zip, Text.data(), static_cast<int>(Text.size())) != CE_None) Fail();
    Text.clear();
  }

  void WriteHead() {
    Text +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n<name>Vireon survey</name>\n";
    for (int k = 0; k < kScaleSteps; ++k) {
      Text += "<Style id=\"level" + std::to_string(k) + "\"><PolyStyle><color>";
      Text += kCellAlpha + std::string(kScaleColours[k] + 2);
      Text += "</color><outline>0</outline></PolyStyle></Style>\n";
    }
    Text +=
        "<Style id=\"track\"><LineStyle><color>ff202020</color><width>2</width></LineStyle>"
        "</Style>\n"
        "<ScreenOverlay><name>Legend</name><Icon><href>legend.png</href></Icon>"
        "<overlayXY x=\"0\" y=\"0\" xunits=\"fraction\" yunits=\"fraction\"/>"
        "<screenXY x=\"10\" y=\"30\" xunits=\"pixels\" yunits=\"pixels\"/>"
        "<size x=\"0\" y=\"0\" xunits=\"pixels\" yunits=\"pixels\"/></ScreenOverlay>\n";
  }

  // One line per stretch of the drive between losses of the fix.
  void WriteTrack() {
    Text += "<Folder><name>Track</name>\n";
    for (size_t begin = 0; begin < Track.size();) {
      size_t end = begin + 1;
      while (end < Track.size() && !Track[end].GapBefore) ++end;
      if (end - begin >= 2) {
        Text += "<Placemark><name>Drive</name>";
        AppendTimeSpan(Text, Track[begin].Time, Track[end - 1].Time);
        Text += "<styleUrl>#track</styleUrl><LineString><tessellate>1</tessellate><coordinates>";
        for (size_t k = begin; k < end; ++k) {
          Append(Text, Track[k].Longitude, 7), Text += ',';
          Append(Text, Track[k].Latitude, 7), Text += ' ';
        }
        Text += "</coordinates></LineString></Placemark>\n";
        Flush(kZipBlock);
      }
      begin = end;
    }
    Text += "</Folder>\n";
  }

  void WriteCells() {
    const TCoverage& coverage = Map.Cells();
    std::optional<uint32_t> folder;
    for (const uint32_t number : coverage.SortedCells(false)) {
      const TCellKey* key = &coverage.Cell(number).first;
      const TCellLevels* levels = &coverage.Cell(number).second;
      if (folder != key->ChannelId) {
        if (folder) Text += "</Folder>\n";
        folder = key->ChannelId;
        Text += "<Folder><name>" + ChannelName(coverage.Channels()[key->ChannelId]) + "</name>\n";
      }
      Cell(*key, *levels);
      Flush(kZipBlock);
    }
    if (folder) Text += "</Folder>\n";
  }

  void Cell(const TCellKey& key, const TCellLevels& levels) {
    const TLevelStats& s = levels.Stats();
    Text += "<Placemark><name>" + std::to_string(s.Max()) + " dBm</name><description>max " +
            std::to_string(s.Max()) + " dBm, min " + std::to_string(s.Min()) + " dBm, mean ";
    Append(Text, s.MeanDbm(), 1);
    Text += " dBm, median ";
    Append(Text, levels.MedianDbm(), 1);
    Text += " dBm, " + std::to_string(s.Count()) + " level(s)</description>";
    AppendTimeSpan(Text, levels.FirstTime(), levels.LastTime());
    Text += "<styleUrl>#level" + std::to_string(ScaleStep(s.Max())) + "</styleUrl>";
    Text += "<Polygon><outerBoundaryIs><LinearRing><coordinates>";
    const auto corners = Map.Corners(key);
    for (int k = 0; k <= 4; ++k) {
      const auto& [x, y] = corners[static_cast<size_t>(k % 4)];
      const auto at = Map.Grid().Inverse(x, y);
      if (!at) continue;
      Append(Text, at->first, 7), Text += ',';
      Append(Text, at->second, 7), Text += ' ';
    }
    Text += "</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>\n";
  }

  std::string Path;
  TSurveyMap Map;
  std::vector<TTrackPoint> Track;
  void* Zip = nullptr;
  std::string Text;
  bool Failed = false;
};

}  // namespace

std::unique_ptr<TMapExportWriter> MakeKmzWriter(const std::string& path,
                                                const TExportOptions& options, std::string&) {
  return std::make_unique<TKmzWriter>(path, options);
}

}  // namespace vireon
