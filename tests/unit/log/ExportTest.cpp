#include <gtest/gtest.h>

#include "Capture.h"
#include "ExportLevels.h"
#include "ExportWriters.h"
#include "LogTestSupport.h"
#include "PacketJson.h"

namespace vireon {
namespace {

using test::Bytes;

void PutLe(Bytes& b, uint32_t v, int n) {
  for (int k = 0; k < n; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// Receiver 1 at 12.5 kHz steps from 850 MHz, receiver 2 at 30 kHz steps from 869.04 MHz.
Bytes Configuration() {
  Bytes p = {3};
  PutLe(p, 68000, 4), PutLe(p, 69000, 4), PutLe(p, 3200, 2), p.push_back(0), p.push_back(0);
  PutLe(p, 28968, 4), PutLe(p, 29968, 4), PutLe(p, 7680, 2), p.push_back(0), p.push_back(0);
  return p;
}

struct Survey : testing::Test {
  std::vector<TLevelRow> Rows;
  TLevelRows Levels{[this](const TLevelRow& r) { Rows.push_back(r); }};
  TDecodeSession Session{nullptr};
  Survey() {
    Session.SetRecordHandler(
        [this](const PacketRecord& record, const TEngine& engine) { Levels.Take(record, engine); });
  }
  void Feed(uint8_t type, const Bytes& payload) { Session.Deliver(test::Packet(type, payload)); }
};

TEST_F(Survey, EveryStoredLevelIsARowAtTheLastFixAndLevelsBeforeAFixAreSkipped) {
  Feed(1, Configuration());
  Bytes tuning;
  PutLe(tuning, 68010, 4), PutLe(tuning, 28970, 4);
  Feed(5, tuning);
  Feed(2, {0xB0, 0xB0});  // no GPS report yet
  Bytes noFix = capture::GpsReport(4);
  noFix[129] = 0x80;  // position hold
  Feed(0, noFix);
  Feed(2, {0xB0, 0xB0});  // a report, but no fix
  Feed(0, capture::GpsReport(5));
  Feed(4, {9, 8, 7, 3, 12, 26, 42});
  Feed(2, {0xB0, 0xAE});
  Bytes list;
  for (int k = 0; k < 10; ++k) PutLe(list, 68000 + k, 4);
  for (int k = 0; k < 10; ++k) PutLe(list, 28970 + 3 * k, 4);
  Feed(6, list);
  Feed(7, {1, 2, 0xA6, 0, 12, 0xA0});  // an index outside the scan list stores nothing
  Feed(9, {0, 16, 0, 0x9C, 1, 0xFF, 0xFF, 0x9D});

  EXPECT_EQ(Levels.BeforeFirstFix(), 2u);
  ASSERT_EQ(Rows.size(), 3u);
  for (const TLevelRow& r : Rows) {
    EXPECT_EQ(r.ClockDate, "12/03/2026");
    EXPECT_EQ(r.ClockTime, "07:08:09");
    EXPECT_EQ(r.GpsDate, "12/08/2026");
    EXPECT_EQ(r.GpsTime, "14:00:05");
    EXPECT_DOUBLE_EQ(r.Latitude, (198000000 + 40 * 5) / 3600000.0);  // the unfiltered position
    EXPECT_DOUBLE_EQ(r.Longitude, (-12600000 - 20 * 5) / 3600000.0);
    EXPECT_DOUBLE_EQ(r.AltitudeM, 43.21);  // MSL, from centimetres
    EXPECT_EQ(r.Marker, 42);
  }
  const struct {
    int Receiver;
    const char* Mode;
    double MHz;
    int Channel;
    int Level;
  } expected[] = {{1, "single", 850.125, 11, -81},
                  {2, "scan", 869.28, 9, -90},
                  {1, "table", 850.1875, 16, -100}};
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(Rows[k].Receiver, expected[k].Receiver) << k;
    EXPECT_STREQ(Rows[k].Mode, expected[k].Mode) << k;
    EXPECT_NEAR(Rows[k].FrequencyMHz, expected[k].MHz, 1e-9) << k;
    EXPECT_EQ(Rows[k].Channel, expected[k].Channel) << k;
    EXPECT_EQ(Rows[k].LevelDbm, expected[k].Level) << k;
  }
}

TEST(SurveyCsv, FieldsAreQuotedOnlyWhenTheyNeedIt) {
  EXPECT_EQ(CsvField("12/08/2026"), "12/08/2026");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
}

}  // namespace
}  // namespace vireon
