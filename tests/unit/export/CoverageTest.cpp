#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <regex>
#include <set>
#include <vector>

#include "CellStyle.h"
#include "Coverage.h"
#include "Legend.h"
#include "LevelScale.h"
#include "PackedRTree.h"
#include "UtmGrid.h"

namespace vireon {
namespace {

double MeanOfPower(const std::vector<int>& dbm) {
  double mw = 0;
  for (int v : dbm) mw += std::pow(10.0, v / 10.0);
  return 10 * std::log10(mw / static_cast<double>(dbm.size()));
}

TEST(CellLevels, StatsAndMedianAgreeWithTheLevelsInAnyOrder) {
  const struct {
    std::vector<int> Levels;
    double Median;
  } cases[] = {
      {{-80}, -80},
      {{-80, -80, -80}, -80},                   // never widened: no histogram
      {{-80, -70}, -75},                        // even count: the mean of the middle two
      {{-70, -90, -80}, -80},                   // widened above, then below
      {{-60, -61, -100, -100, -100}, -100},     // most levels at the low end
      {{-256, -1, -128, -2}, -65},              // the whole stored range
      {{-50, -52, -51, -50, -49, -90}, -50.5},  // a late low extreme shifts the histogram
  };
  for (const auto& c : cases) {
    TCellLevels cell;
    for (size_t k = 0; k < c.Levels.size(); ++k) cell.Add(c.Levels[k], 1000 + 7 * int64_t(k % 3));
    const auto [low, high] = std::minmax_element(c.Levels.begin(), c.Levels.end());
    EXPECT_EQ(cell.Stats().Count(), c.Levels.size());
    EXPECT_EQ(cell.Stats().Max(), *high);
    EXPECT_EQ(cell.Stats().Min(), *low);
    EXPECT_NEAR(cell.Stats().MeanDbm(), MeanOfPower(c.Levels), 1e-9);
    EXPECT_DOUBLE_EQ(cell.MedianDbm(), c.Median) << c.Levels.size();
    EXPECT_EQ(cell.FirstTime(), 1000);
    EXPECT_EQ(cell.LastTime(),
              c.Levels.size() > 2 ? 1014 : 1000 + 7 * int64_t(c.Levels.size() - 1));
  }
}

TLevelRow Row(int receiver, const char* mode, int channel, std::optional<double> mhz, int dbm,
              std::optional<int64_t> age = 0) {
  TLevelRow r;
  r.Receiver = receiver, r.Mode = mode, r.Channel = channel, r.FrequencyMHz = mhz;
  r.LevelDbm = dbm, r.FixAgeS = age, r.GpsTime = 5000;
  return r;
}

struct Gathered {
  std::vector<std::pair<int64_t, TFixPoint>> Points;  // with the fix's time
  TCoverage Coverage{
      25, [this](const TGpsFix& fix, const TFixPoint& p) { Points.emplace_back(*fix.GpsTime, p); }};
  void Fix(int64_t time, std::optional<std::pair<double, double>> at) {
    TGpsFix fix;
    fix.GpsTime = time;
    Coverage.Fix(fix, at);
  }
  const TCellLevels* Cell(uint32_t channel, int32_t column, int32_t row) const {
    for (const uint32_t number : Coverage.SortedCells(false))
      if (Coverage.Cell(number).first == TCellKey{channel, column, row})
        return &Coverage.Cell(number).second;
    return nullptr;
  }
};

TEST(Coverage, LevelsGoToTheCellOfTheirFixPerChannelAndMakeOnePointPerFixAndChannel) {
  Gathered g;
  g.Coverage.Level(Row(1, "scan", 7, 851.0, -60));  // before any fix: nowhere
  g.Fix(100, std::pair{24.9, -0.1});                // column 0, row -1
  g.Coverage.Level(Row(1, "scan", 7, 851.0, -60, 0));
  g.Coverage.Level(Row(1, "scan", 7, 851.0, -70, 2));
  g.Coverage.Level(Row(1, "scan", 7, std::nullopt, -90));  // same channel, frequency unknown
  g.Coverage.Level(Row(2, "scan", 7, 851.0, -80));         // the other receiver
  g.Coverage.Level(Row(1, "table", 7, 851.0, -85));        // the same number in table mode
  g.Fix(101, std::pair{25.0, -25.0});                      // column 1, row -1
  g.Coverage.Level(Row(1, "scan", 7, 851.0, -65, 1));
  g.Fix(102, std::nullopt);  // not projected: fix points only
  g.Coverage.Level(Row(1, "scan", 7, 851.0, -66, 0));
  g.Coverage.Finish();

  const auto& channels = g.Coverage.Channels();
  ASSERT_EQ(channels.size(), 4u);
  EXPECT_EQ(channels[0].Levels, 4u);
  EXPECT_EQ(channels[0].Cells, 2u);
  EXPECT_EQ(channels[0].FixPoints, 3u);
  EXPECT_FALSE(channels[1].FrequencyMHz.has_value());
  EXPECT_STREQ(channels[3].Mode, "table");

  ASSERT_NE(g.Cell(0, 0, -1), nullptr);
  EXPECT_EQ(g.Cell(0, 0, -1)->Stats().Count(), 2u);
  EXPECT_EQ(g.Cell(0, 1, -1)->Stats().Max(), -65);
  EXPECT_EQ(g.Coverage.CellCount(), 5u);
  EXPECT_EQ(g.Coverage.Unplaced(), 1u);

  ASSERT_EQ(g.Points.size(), 6u);  // four channels at the first fix, one at each of the others
  EXPECT_EQ(g.Points[0].first, 100);
  EXPECT_EQ(g.Points[0].second.Levels.Count(), 2u);
  EXPECT_EQ(g.Points[0].second.FixAgeS, 2);  // the oldest of its levels
  EXPECT_EQ(g.Points[4].first, 101);
  EXPECT_EQ(g.Points[5].first, 102);
}

TEST(UtmGrid, ZonesFollowTheGridIncludingItsNorwegianExceptions) {
  const struct {
    double Latitude, Longitude;
    int Epsg;
  } cases[] = {{55.68, 12.57, 32633}, {60.39, 5.32, 32632}, {60.39, 2.5, 32631},
               {78.22, 15.65, 32633}, {78.0, 8.9, 32631},   {-33.87, 151.21, 32756},
               {0.0, -180.0, 32601},  {0.0, 179.99, 32660}, {-0.01, 0.0, 32731}};
  for (const auto& c : cases)
    EXPECT_EQ(UtmZoneEpsg(c.Latitude, c.Longitude), c.Epsg) << c.Latitude << " " << c.Longitude;

  TUtmGrid grid;
  std::string error;
  ASSERT_TRUE(grid.Open(32633, error)) << error;
  const auto at = grid.Forward(15.0, 0.0);  // on the zone's central meridian
  ASSERT_TRUE(at.has_value());
  EXPECT_NEAR(at->first, 500000, 1e-3);
  const auto back = grid.Inverse(at->first, at->second);
  EXPECT_NEAR(back->first, 15.0, 1e-9);
}

// The QGIS classes give every whole level the colour the KML steps give it, and the legend shows
// every colour of the scale.
TEST(CellStyle, ClassesAndLegendFollowTheScaleSteps) {
  const std::string qml = CellStyleQml();
  const std::regex range(R"re(<range lower="([-0-9.]+)" upper="([-0-9.]+)" symbol="(\d+)")re");
  std::vector<std::tuple<double, double, int>> classes;
  for (auto m = std::sregex_iterator(qml.begin(), qml.end(), range); m != std::sregex_iterator();
       ++m)
    classes.emplace_back(std::stod((*m)[1]), std::stod((*m)[2]), std::stoi((*m)[3]));
  ASSERT_EQ(classes.size(), static_cast<size_t>(kScaleSteps));
  for (int dbm = -256; dbm <= 127; ++dbm) {
    int matched = 0, symbol = -1;
    for (const auto& [lower, upper, s] : classes)
      if (lower <= dbm && dbm <= upper) ++matched, symbol = s;
    EXPECT_EQ(matched, 1) << dbm;
    EXPECT_EQ(symbol, ScaleStep(dbm)) << dbm;
  }
  for (int k = 0; k < kScaleSteps; ++k) {
    const TRgb c = ScaleRgb(k);
    const std::string colour =
        std::to_string(c.R) + "," + std::to_string(c.G) + "," + std::to_string(c.B) + ",255";
    EXPECT_NE(qml.find("value=\"" + colour + "\""), std::string::npos) << k;
  }

  GDALRegister_PNG();
  VSILFILE* png = VSIFileFromMemBuffer("/vsimem/legend.png", const_cast<GByte*>(kLegendPng),
                                       kLegendPngSize, false);
  VSIFCloseL(png);
  GDALDatasetUniquePtr image(GDALDataset::Open("/vsimem/legend.png", GDAL_OF_RASTER));
  ASSERT_TRUE(image) << CPLGetLastErrorMsg();
  const int w = image->GetRasterXSize(), h = image->GetRasterYSize();
  std::vector<uint8_t> rgb(static_cast<size_t>(3 * w * h));
  int bands[] = {1, 2, 3};
  ASSERT_EQ(image->RasterIO(GF_Read, 0, 0, w, h, rgb.data(), w, h, GDT_Byte, 3, bands, 3, 3 * w, 1,
                            nullptr),
            CE_None);
  std::set<int> shown;
  for (size_t p = 0; p < rgb.size(); p += 3)
    for (int k = 0; k < kScaleSteps; ++k)
      if (const TRgb c = ScaleRgb(k); rgb[p] == c.R && rgb[p + 1] == c.G && rgb[p + 2] == c.B)
        shown.insert(k);
  EXPECT_EQ(shown.size(), static_cast<size_t>(kScaleSteps));
  VSIUnlink("/vsimem/legend.png");
}

TEST(PackedRTree, EveryBoxInOneFullLeafUnderNodesThatHoldTheirChildren) {
  for (const auto& [count, capacity] :
       {std::pair<size_t, size_t>{1, 51}, {51, 51}, {52, 51}, {1000, 4}, {2601, 51}, {2700, 51}}) {
    std::vector<TIndexBox> boxes;
    for (size_t k = 0; k < count; ++k) {
      const auto x = static_cast<float>((k * 7919) % 1000), y = static_cast<float>(k % 37);
      boxes.push_back({static_cast<int64_t>(k + 1), x, x + 1, y, y + 2});
    }
    const TPackedRTree tree = PackRTree(boxes, capacity);
    SCOPED_TRACE(testing::Message() << count << " boxes by " << capacity);
    ASSERT_LE(tree.Levels.back().size(), capacity);
    std::set<int64_t> ids, numbers;
    for (const TIndexBox& box : tree.Levels[0]) ids.insert(box.Id);
    EXPECT_EQ(ids.size(), count);
    for (size_t h = 0; h < tree.Levels.size(); ++h) {
      const auto& level = tree.Levels[h];
      // Only a height's last node may be short.
      EXPECT_EQ(tree.Nodes(h), (level.size() + capacity - 1) / capacity);
      for (size_t n = 0; n < tree.Nodes(h); ++n) numbers.insert(tree.NodeNumber(h, n));
      if (h == 0) continue;
      const auto& below = tree.Levels[h - 1];
      for (const TIndexBox& node : level)
        for (size_t k = static_cast<size_t>(node.Id) * capacity;
             k < std::min(below.size(), static_cast<size_t>(node.Id + 1) * capacity); ++k) {
          EXPECT_LE(node.MinX, below[k].MinX);
          EXPECT_GE(node.MaxX, below[k].MaxX);
          EXPECT_LE(node.MinY, below[k].MinY);
          EXPECT_GE(node.MaxY, below[k].MaxY);
        }
    }
    EXPECT_EQ(tree.NodeNumber(tree.Levels.size() - 1, 0), 1);
    EXPECT_EQ(*numbers.rbegin(), static_cast<int64_t>(numbers.size()));
  }
}

}  // namespace
}  // namespace vireon
