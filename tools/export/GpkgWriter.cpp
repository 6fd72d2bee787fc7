#include "GpkgWriter.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <malloc.h>
#include <ogrsf_frmts.h>

#include <chrono>
#include <cmath>
#include <optional>

#include "CellStyle.h"
#include "PackedRTree.h"
#include "SurveyMap.h"

namespace vireon {

namespace {

constexpr int kUtc = 100;  // OGR's time zone flag for UTC
constexpr int kNoZone = 0;
// Layers whose spatial index is packed once they are written; the levels, too many to sort in
// memory, are indexed by GDAL as they come.
const char* const kPackedLayers[] = {"fix_levels", "track", "cells"};

double Hundredths(double v) {
  return std::round(v * 100) / 100;
}

void SetTime(OGRFeature& f, const char* field, const std::optional<int64_t>& seconds, int zone) {
  if (!seconds) {
    f.SetFieldNull(f.GetFieldIndex(field));
    return;
  }
  using namespace std::chrono;
  const sys_seconds t{std::chrono::seconds{*seconds}};
  const sys_days day = floor<days>(t);
  const year_month_day date{day};
  const hh_mm_ss time{t - day};
  f.SetField(f.GetFieldIndex(field), static_cast<int>(date.year()),
             static_cast<int>(static_cast<unsigned>(date.month())),
             static_cast<int>(static_cast<unsigned>(date.day())),
             static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
             static_cast<float>(time.seconds().count()), zone);
}

void SetFrequency(OGRFeature& f, const std::optional<double>& mhz) {
  if (mhz)
    f.SetField("frequency_mhz", *mhz);
  else
    f.SetFieldNull(f.GetFieldIndex("frequency_mhz"));
}

void SetChannel(OGRFeature& f, const TChannelInfo& c) {
  f.SetField("receiver", c.Receiver);
  f.SetField("mode", c.Mode);
  f.SetField("channel", c.Channel);
  SetFrequency(f, c.FrequencyMHz);
}

struct TField {
  const char* Name;
  OGRFieldType Type;
  OGRFieldSubType Subtype = OFSTNone;
};

const TField kChannelFields[] = {{"receiver", OFTInteger},
                                 {"mode", OFTString},
                                 {"channel", OFTInteger},
                                 {"frequency_mhz", OFTReal}};

class TGpkgWriter final : public TMapExportWriter {
 public:
  TGpkgWriter(const std::string& path, const TExportOptions& options)
      : Path(path),
        Map(
            std::in_place, options.CellM, options.MaxFixAgeS,
            [this](const TGpsFix& fix, const TFixPoint& point) { FixPoint(fix, point); },
            [this](const TGpsFix& from, const TGpsFix& to, bool gap) { Segment(from, to, gap); }),
        WithLevels(options.Levels) {}

  bool Create() {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (driver == nullptr) return Fail("GDAL has no GeoPackage driver");
    Ds.reset(driver->Create(Path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!Ds) return Fail();
    const OGRSpatialReference wgs84 = Wgs84();
    FixLevels = Layer("fix_levels", &wgs84, wkbPoint25D, true,
                      {{"time", OFTDateTime},
                       {"receiver", OFTInteger},
                       {"mode", OFTString},
                       {"channel", OFTInteger},
                       {"frequency_mhz", OFTReal},
                       {"count", OFTInteger},
                       {"max_dbm", OFTInteger},
                       {"mean_dbm", OFTReal},
                       {"fix_age_s", OFTInteger},
                       {"satellites", OFTInteger}});
    Track =
        Layer("track", &wgs84, wkbLineString, true,
              {{"time", OFTDateTime}, {"speed_kmh", OFTReal}, {"gap", OFTInteger, OFSTBoolean}});
    if (WithLevels)
      Levels = Layer("levels", &wgs84, wkbPoint25D, false,
                     {{"instrument_time", OFTDateTime},
                      {"gps_time", OFTDateTime},
                      {"altitude_m", OFTReal},
                      {"receiver", OFTInteger},
                      {"mode", OFTString},
                      {"frequency_mhz", OFTReal},
                      {"channel", OFTInteger},
                      {"level_dbm", OFTInteger},
                      {"marker", OFTInteger},
                      {"fix_age_s", OFTInteger}});
    return !Failed && Ds->StartTransaction() == OGRERR_NONE ? true : Fail();
  }

  void Fix(const TGpsFix& fix) override {
    if (!Failed && !Map->Fix(fix, Error)) Failed = true;
  }

  void Row(const TLevelRow& row) override {
    Map->Level(row);
    if (Levels == nullptr || Failed) return;
    OGRFeature f(Levels->GetLayerDefn());
    SetTime(f, "instrument_time", row.InstrumentTime, kNoZone);
    SetTime(f, "gps_time", row.GpsTime, kUtc);
    f.SetField("altitude_m", row.AltitudeM);
    f.SetField("receiver", row.Receiver);
    f.SetField("mode", row.Mode);
    SetFrequency(f, row.FrequencyMHz);
    f.SetField("channel", row.Channel);
    f.SetField("level_dbm", row.LevelDbm);
    f.SetField("marker", row.Marker);
    SetAge(f, row.FixAgeS);
    f.SetGeometryDirectly(new OGRPoint(row.Longitude, row.Latitude, row.GpsHeightM));
    Write(Levels, f);
  }

  bool Finish() override {
    Map->Finish();
    if (Failed) return false;
    if (Ds->CommitTransaction() != OGRERR_NONE) return Fail();
    WriteCells();
    WriteChannels();
    WriteStyle();
    if (Failed) return false;
    Summary = " into " + std::to_string(Map->Cells().CellCount()) + " cell(s) and " +
              std::to_string(Map->Cells().FixPoints()) + " fix point(s)";
    // The cells are written: their memory goes to sorting the spatial indexes.
    Map.reset();
    malloc_trim(0);
    // Closing writes the levels' spatial index; GDAL reports a failure there only as an error.
    CPLErrorReset();
    Ds.reset();
    if (CPLGetLastErrorType() >= CE_Failure) return Fail();
    return IndexLayers();
  }

  std::string Written() const override { return Summary; }

  bool Fail(const std::string& why = "") {
    if (!Failed) Error = why.empty() ? std::string(CPLGetLastErrorMsg()) : why;
    Failed = true;
    return false;
  }

 private:
  OGRLayer* Layer(const char* name, const OGRSpatialReference* srs, OGRwkbGeometryType type,
                  bool indexLater, std::initializer_list<TField> fields) {
    if (Failed) return nullptr;
    OGRSpatialReference* crs = srs != nullptr ? srs->Clone() : nullptr;
    const char* later[] = {"SPATIAL_INDEX=NO", nullptr};
    OGRLayer* layer =
        Ds->CreateLayer(name, crs, type, indexLater ? const_cast<char**>(later) : nullptr);
    if (crs != nullptr) crs->Release();
    if (layer == nullptr) return Fail(), nullptr;
    for (const TField& field : fields) {
      OGRFieldDefn defn(field.Name, field.Type);
      defn.SetSubType(field.Subtype);
      if (layer->CreateField(&defn) != OGRERR_NONE) return Fail(), nullptr;
    }
    return layer;
  }

  void Write(OGRLayer* layer, OGRFeature& f) {
    if (layer->CreateFeature(&f) != OGRERR_NONE) Fail();
  }

  static void SetAge(OGRFeature& f, const std::optional<int64_t>& age) {
    if (age)
      f.SetField("fix_age_s", static_cast<GIntBig>(*age));
    else
      f.SetFieldNull(f.GetFieldIndex("fix_age_s"));
  }

  void FixPoint(const TGpsFix& fix, const TFixPoint& point) {
    if (Failed) return;
    OGRFeature f(FixLevels->GetLayerDefn());
    SetTime(f, "time", fix.GpsTime, kUtc);
    SetChannel(f, Map->Cells().Channels()[static_cast<size_t>(point.ChannelId)]);
    f.SetField("count", static_cast<int>(point.Levels.Count()));
    f.SetField("max_dbm", point.Levels.Max());
    f.SetField("mean_dbm", Hundredths(point.Levels.MeanDbm()));
    SetAge(f, point.FixAgeS);
    f.SetField("satellites", fix.Satellites);
    f.SetGeometryDirectly(new OGRPoint(fix.Longitude, fix.Latitude, fix.GpsHeightM));
    Write(FixLevels, f);
  }

  void Segment(const TGpsFix& from, const TGpsFix& to, bool gap) {
    if (Failed) return;
    OGRFeature f(Track->GetLayerDefn());
    SetTime(f, "time", from.GpsTime, kUtc);
    f.SetField("speed_kmh", Hundredths(from.SpeedKmh));
    f.SetField("gap", gap ? 1 : 0);
    auto* line = new OGRLineString;
    line->addPoint(from.Longitude, from.Latitude);
    line->addPoint(to.Longitude, to.Latitude);
    f.SetGeometryDirectly(line);
    Write(Track, f);
  }

  void WriteCells() {
    // Without a fix there is no zone; the empty layer is then in WGS 84.
    const OGRSpatialReference wgs84 = Wgs84();
    OGRLayer* cells =
        Layer("cells", Map->HaveGrid() ? &Map->Grid().Srs() : &wgs84, wkbPolygon, true,
              {{"receiver", OFTInteger},
               {"mode", OFTString},
               {"channel", OFTInteger},
               {"frequency_mhz", OFTReal},
               {"count", OFTInteger},
               {"max_dbm", OFTInteger},
               {"min_dbm", OFTInteger},
               {"mean_dbm", OFTReal},
               {"median_dbm", OFTReal},
               {"first_time", OFTDateTime},
               {"last_time", OFTDateTime}});
    if (Failed || Ds->StartTransaction() != OGRERR_NONE) return void(Fail());
    OGRFeature f(cells->GetLayerDefn());
    for (const uint32_t number : Map->Cells().SortedCells(true)) {
      const TCellKey* key = &Map->Cells().Cell(number).first;
      const TCellLevels* levels = &Map->Cells().Cell(number).second;
      f.SetFID(OGRNullFID);
      SetChannel(f, Map->Cells().Channels()[key->ChannelId]);
      const TLevelStats& s = levels->Stats();
      f.SetField("count", static_cast<int>(s.Count()));
      f.SetField("max_dbm", s.Max());
      f.SetField("min_dbm", s.Min());
      f.SetField("mean_dbm", Hundredths(s.MeanDbm()));
      f.SetField("median_dbm", levels->MedianDbm());
      SetTime(f, "first_time", levels->FirstTime(), kUtc);
      SetTime(f, "last_time", levels->LastTime(), kUtc);
      auto* ring = new OGRLinearRing;
      for (const auto& [x, y] : Map->Corners(*key)) ring->addPoint(x, y);
      ring->closeRings();
      auto* square = new OGRPolygon;
      square->addRingDirectly(ring);
      f.SetGeometryDirectly(square);
      Write(cells, f);
      if (Failed) return;
    }
    if (Ds->CommitTransaction() != OGRERR_NONE) Fail();
  }

  void WriteChannels() {
    OGRLayer* channels = Layer("channels", nullptr, wkbNone, false,
                               {{"receiver", OFTInteger},
                                {"mode", OFTString},
                                {"channel", OFTInteger},
                                {"frequency_mhz", OFTReal},
                                {"levels", OFTInteger64},
                                {"cells", OFTInteger64},
                                {"fix_points", OFTInteger64}});
    if (Failed) return;
    for (const TChannelInfo& c : Map->Cells().Channels()) {
      OGRFeature f(channels->GetLayerDefn());
      SetChannel(f, c);
      f.SetField("levels", static_cast<GIntBig>(c.Levels));
      f.SetField("cells", static_cast<GIntBig>(c.Cells));
      f.SetField("fix_points", static_cast<GIntBig>(c.FixPoints));
      Write(channels, f);
    }
  }

  // QGIS looks for a layer's default style in this table, by its own schema.
  void WriteStyle() {
    OGRLayer* styles = Layer("layer_styles", nullptr, wkbNone, false,
                             {{"f_table_catalog", OFTString},
                              {"f_table_schema", OFTString},
                              {"f_table_name", OFTString},
                              {"f_geometry_column", OFTString},
                              {"styleName", OFTString},
                              {"styleQML", OFTString},
                              {"styleSLD", OFTString},
                              {"useAsDefault", OFTInteger, OFSTBoolean},
                              {"description", OFTString},
                              {"owner", OFTString},
                              {"ui", OFTString},
                              {"update_time", OFTDateTime}});
    if (Failed) return;
    OGRFeature f(styles->GetLayerDefn());
    f.SetField("f_table_catalog", "");
    f.SetField("f_table_schema", "");
    f.SetField("f_table_name", "cells");
    f.SetField("f_geometry_column", "geom");
    f.SetField("styleName", "cells");
    f.SetField("styleQML", CellStyleQml().c_str());
    f.SetField("styleSLD", "");
    f.SetField("useAsDefault", 1);
    f.SetField("description", "Coverage by the strongest level of each cell");
    Write(styles, f);
  }

  // The file is opened again without GDAL to pack the spatial indexes into it.
  bool IndexLayers() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(Path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      Error = Path + ": " + sqlite3_errmsg(db);
      sqlite3_close(db);
      return false;
    }
    bool done = sqlite3_exec(db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN",
                             nullptr, nullptr, nullptr) == SQLITE_OK;
    for (const char* layer : kPackedLayers)
      done = done && AddPackedSpatialIndex(db, layer, "geom", Error);
    done = done && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!done && Error.empty()) Error = Path + ": " + sqlite3_errmsg(db);
    sqlite3_close(db);
    Failed = !done;
    return done;
  }

  std::string Path;
  std::optional<TSurveyMap> Map;
  std::string Summary;
  bool WithLevels;
  GDALDatasetUniquePtr Ds;
  OGRLayer* FixLevels = nullptr;
  OGRLayer* Track = nullptr;
  OGRLayer* Levels = nullptr;
  bool Failed = false;
};

}  // namespace

std::unique_ptr<TMapExportWriter> MakeGpkgWriter(const std::string& path,
                                                 const TExportOptions& options,
                                                 std::string& error) {
  auto writer = std::make_unique<TGpkgWriter>(path, options);
  if (writer->Create()) return writer;
  error = writer->Error;
  return nullptr;
}

}  // namespace vireon
