// The streaming JSON text against the document model the decoder's output was first written with:
// every number and string must come out byte for byte as its dump() writes it.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>

#include "JsonText.h"
#include "PacketJson.h"

namespace vireon {
namespace {

using TJson = nlohmann::ordered_json;

// What the writer makes of one value.
template <typename Write>
std::string Written(Write write) {
  std::string out;
  {
    TJsonWriter w(out);
    write(w);
  }  // the string has its true size once the writer is gone
  return out;
}

std::string Double(double v) {
  return Written([v](TJsonWriter& w) { w.Double(v); });
}

TEST(JsonText, DoublesAreWrittenAsTheDocumentModelWritesThem) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double cases[] = {30.0, 0.0, -0.0, 1e-5, 1e-4, 0.0001234, 1e15, 1e16, 1e21,
                          123456789012345.0, 1.5e300, 5e-324, std::numeric_limits<double>::max(),
                          0.1, 869.04, -120.5, 12.5, 0.00390625,
                          // Where the shortest round trip and Grisu2 part: 280.5095666666667
                          // against 280.50956666666667.
                          1009834440 / 3600000.0, 6508.2125000000005};
  for (const double v : cases) EXPECT_EQ(Double(v), TJson(v).dump()) << v;
  EXPECT_EQ(Double(30.0), "30.0");
  EXPECT_EQ(Double(1e-5), "1e-05");
  EXPECT_EQ(Double(1009834440 / 3600000.0), "280.50956666666667");
  for (const double v : {std::nan(""), kInf, -kInf}) EXPECT_EQ(Double(v), "null");
}

// The values the decoder writes: angles (milliarcseconds / 3600000), whole numbers, steps of
// 1/256 kHz and the band edges made of them.
TEST(JsonText, TheDecodersDoublesMatchOverTheirWholeRange) {
  std::mt19937 random(11);
  int differ = 0;
  auto check = [&](double v) { differ += Double(v) != TJson(v).dump(); };
  for (int k = 0; k < 300000; ++k) {
    check(static_cast<int32_t>(random()) / 3600000.0);
    check(static_cast<double>(static_cast<int32_t>(random())));
    const double stepKHz = static_cast<uint16_t>(random()) * 0.00390625;
    check(stepKHz);
    check(static_cast<double>(random()) * stepKHz * 0.001);
  }
  EXPECT_EQ(differ, 0);
}

std::string Fixed(double v, int decimals) {
  std::string out;
  AppendFixed(out, v, decimals);
  return out;
}

std::string FixedByLibrary(double v, int decimals) {
  char text[400];
  return {text, std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals).ptr};
}

// The exports' fixed decimals round as std::to_chars does: half to even on the exact value.
TEST(JsonText, FixedDecimalsRoundAsTheLibraryDoes) {
  const std::pair<double, int> cases[] = {
      {0.125, 2},         {0.375, 2},        {2.5, 0},
      {-0.0, 2},          {-1e-12, 8},       {1e-300, 8},
      {1e9, 2},           {1e300, 2},        {-55.0, 8},
      {0.5e-8, 8},        {1.5e-8, 8},       {869.04, 5},
      {-179.99999999, 8}, {4294967295.0, 5}, {std::numeric_limits<double>::quiet_NaN(), 2}};
  for (const auto& [v, decimals] : cases)
    EXPECT_EQ(Fixed(v, decimals), FixedByLibrary(v, decimals)) << v << " " << decimals;
  std::mt19937 random(5);
  int differ = 0;
  for (int k = 0; k < 200000; ++k) {
    const double angle = static_cast<int32_t>(random()) / 3600000.0;
    const double height = static_cast<int32_t>(random()) / 100.0;
    const double mhz = static_cast<double>(random() >> 8) * 0.00390625 * 0.001;
    differ += Fixed(angle, 8) != FixedByLibrary(angle, 8);
    differ += Fixed(height, 2) != FixedByLibrary(height, 2);
    differ += Fixed(mhz, 5) != FixedByLibrary(mhz, 5);
  }
  EXPECT_EQ(differ, 0);
}

TEST(JsonText, IntegersKeepEveryDigitAndSign) {
  for (const int64_t v :
       {int64_t{0}, int64_t{-1}, int64_t{-128}, int64_t{999}, int64_t{-999}, int64_t{1000},
        int64_t{-1000}, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()}) {
    EXPECT_EQ(Written([v](TJsonWriter& w) { w.Int(v); }), TJson(v).dump());
    std::string out;
    AppendInt(out, v);
    EXPECT_EQ(out, TJson(v).dump());
  }
  for (const uint64_t v :
       {uint64_t{0}, uint64_t{999}, uint64_t{1000}, std::numeric_limits<uint64_t>::max()})
    EXPECT_EQ(Written([v](TJsonWriter& w) { w.UInt(v); }), TJson(v).dump());
}

TEST(JsonText, StringsEscapeAsTheDocumentModelDoes) {
  std::string controls;
  for (char c = 0; c < 0x20; ++c) controls += c;
  const std::string cases[] = {"",
                               "VX123456",
                               "\"quoted\" \\ back/slash",
                               controls,
                               "\x7f del",
                               "N 55\xc2\xb0 30' \xe2\x82\xac \xf0\x9f\x98\x80",  // UTF-8 as it is
                               std::string("nul\0inside", 10)};
  for (const std::string& text : cases)
    EXPECT_EQ(Written([&text](TJsonWriter& w) { w.String(text); }), TJson(text).dump()) << text;
  EXPECT_EQ(Written([](TJsonWriter& w) { w.String("\x01\x1f\n"); }), R"("\u0001\u001f\n")");
}

TEST(JsonText, Latin1TextBecomesTheCodePointsOfItsBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "\"plain\""},
      {"\xe9t\xe9", "\"\xc3\xa9t\xc3\xa9\""},
      {"\x80\xbf\xc0\xff", "\"\xc2\x80\xc2\xbf\xc3\x80\xc3\xbf\""},
      {"\"\t\xb0", "\"\\\"\\t\xc2\xb0\""}};
  for (const auto& [text, json] : cases) {
    const std::string out = Written([&text](TJsonWriter& w) { w.Latin1(text); });
    EXPECT_EQ(out, json);
    EXPECT_EQ(TJson::parse(out).dump(), out);
  }
}

TEST(JsonText, TheWriterPutsCommasWhereTheDocumentModelDoes) {
  const uint8_t bytes[] = {0x00, 0xab, 0xff};
  const std::string out = Written([&bytes](TJsonWriter& w) {
    w.BeginObject().Key("a").Int(1).Key("b").BeginArray().EndArray();
    w.Key("c").BeginArray().BeginArray().UInt(2).Bool(false).EndArray().BeginObject().EndObject();
    w.Double(0.5).EndArray().Key("d").BeginObject().Key("e").Hex(bytes, 3).EndObject();
    w.Key("f").String("x").EndObject();
  });
  const TJson expected = {{"a", 1},
                          {"b", TJson::array()},
                          {"c", {{2, false}, TJson::object(), 0.5}},
                          {"d", {{"e", "00abff"}}},
                          {"f", "x"}};
  EXPECT_EQ(out, expected.dump());
}

// The decoder writes the GPS record's texts itself, for speed: they must stay TGPS's own, whatever
// the report holds (negative and out-of-range fields included).
TEST(JsonText, TheGpsLineHasTheTextsOfTheGpsRecord) {
  std::mt19937 random(3);
  TDecodeSession session;
  for (int report = 0; report < 3000; ++report) {
    uint8_t payload[kGpsReportSize];
    for (uint8_t& b : payload) b = static_cast<uint8_t>(random());
    if (report % 3 == 0)
      for (int k = 0; k < 12; ++k) payload[k] = static_cast<uint8_t>(random() % 60);
    std::string line;
    session.SetRecordHandler([&line](const PacketRecord& record, const TEngine& engine) {
      AppendPacketLine(line, record, engine);
    });
    PacketRecord record;
    BuildFrame(record, 0, payload, kGpsReportSize);
    session.Deliver(record);
    const TGPS g = session.Engine().Gps.Copy();
    const TJson gps = TJson::parse(line)["gps"];
    EXPECT_EQ(gps["DateText"], g.DateText());
    EXPECT_EQ(gps["TimeText"], g.TimeText());
    EXPECT_EQ(gps["FilLatitudeText"], g.FilLatitudeText());
    EXPECT_EQ(gps["FilLongitudeText"], g.FilLongitudeText());
    EXPECT_EQ(gps["LatitudeText"], g.LatitudeText());
    EXPECT_EQ(gps["LongitudeText"], g.LongitudeText());
    EXPECT_EQ(gps["GMTText"], g.GMTText());
  }
}

}  // namespace
}  // namespace vireon
