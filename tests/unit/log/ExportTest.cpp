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

std::string Iso(const std::optional<int64_t>& seconds, bool utc) {
  std::string text;
  if (seconds) AppendIsoTime(text, *seconds, utc);
  return text;
}

struct Survey : testing::Test {
  std::vector<TLevelRow> Rows;
  TLevelRows Levels{[this](const TLevelRow& r) { Rows.push_back(r); }, 5};
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
    EXPECT_EQ(Iso(r.InstrumentTime, false), "2026-12-03T07:08:09");
    EXPECT_EQ(Iso(r.GpsTime, true), "2026-12-08T14:00:05Z");
    EXPECT_FALSE(r.FixAgeS.has_value());  // the fix came before any clock packet
    EXPECT_DOUBLE_EQ(r.Latitude, (198000000 + 40 * 5) / 3600000.0);  // the unfiltered position
    EXPECT_DOUBLE_EQ(r.Longitude, (-12600000 - 20 * 5) / 3600000.0);
    EXPECT_DOUBLE_EQ(r.AltitudeM, 43.21);  // MSL, from centimetres
    EXPECT_DOUBLE_EQ(r.GpsHeightM, -2.5);  // above the ellipsoid
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
                  {1, "table", 850.2, 17, -100}};  // index 16 is channel 17, as on the screen
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(Rows[k].Receiver, expected[k].Receiver) << k;
    EXPECT_STREQ(Rows[k].Mode, expected[k].Mode) << k;
    EXPECT_NEAR(Rows[k].FrequencyMHz.value_or(0), expected[k].MHz, 1e-9) << k;
    EXPECT_EQ(Rows[k].Channel, expected[k].Channel) << k;
    EXPECT_EQ(Rows[k].LevelDbm, expected[k].Level) << k;
  }
}

// A clock packet for the given second of 08:15 on 10 Dec 2026.
Bytes ClockAt(int second) {
  return {static_cast<uint8_t>(second), 15, 8, 10, 12, 26, 0};
}

TEST_F(Survey, LevelsCarryTheirFixAgeAndThoseOfAnOldFixOrAnUnknownFrequencyAreCounted) {
  Feed(1, Configuration());
  Feed(4, ClockAt(0));
  Feed(0, capture::GpsReport(5));
  Feed(7, {0, 1, 0xA6});  // before any scan set-up: no frequency
  Feed(4, ClockAt(3));
  Feed(2, {0xB0});
  Bytes lost = capture::GpsReport(6);
  lost[129] = 0x20;  // no fix: the position stays the last fix's, and ages
  for (int second = 4; second <= 9; ++second) {
    Feed(0, lost);
    Feed(4, ClockAt(second));
  }
  Feed(2, {0xB0});  // the fix is 9 s old

  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_FALSE(Rows[0].FrequencyMHz.has_value());
  EXPECT_EQ(Rows[0].FixAgeS, 0);
  EXPECT_EQ(Rows[1].FixAgeS, 3);
  EXPECT_EQ(Iso(Rows[1].InstrumentTime, false), "2026-12-10T08:15:03");
  EXPECT_EQ(Levels.UnknownFrequency(), 1u);
  EXPECT_EQ(Levels.StaleFix(), 1u);
}

TEST_F(Survey, EveryFixIsToldBeforeItsRowsWithItsSpeedSatellitesAndWhetherTheFixWasLost) {
  std::vector<TGpsFix> fixes;
  std::vector<size_t> rowsBefore;
  Levels.OnFix([&](const TGpsFix& fix) {
    fixes.push_back(fix);
    rowsBefore.push_back(Rows.size());
  });
  Bytes lost = capture::GpsReport(6);
  lost[129] = 0x20;
  Feed(1, Configuration());
  Feed(0, capture::GpsReport(5));
  Feed(2, {0xB0});
  Feed(0, lost);  // no fix: nothing to tell
  Feed(0, capture::GpsReport(7));
  Feed(2, {0xB0});
  Feed(0, capture::GpsReport(8));

  ASSERT_EQ(fixes.size(), 3u);
  EXPECT_EQ(rowsBefore, (std::vector<size_t>{0, 1, 2}));
  EXPECT_EQ(std::vector<bool>({fixes[0].Lost, fixes[1].Lost, fixes[2].Lost}),
            (std::vector<bool>{false, true, false}));
  EXPECT_EQ(fixes[0].Satellites, 7);          // tracked, not visible
  EXPECT_DOUBLE_EQ(fixes[0].SpeedKmh, 43.2);  // 2D speed, 1200 cm/s
  EXPECT_DOUBLE_EQ(fixes[1].Latitude, Rows[1].Latitude);
  EXPECT_EQ(fixes[1].GpsTime, Rows[1].GpsTime);
}

TEST_F(Survey, GpsTimeBecomesUtcByTheOffsetItCarriesOrStaysAndIsFlagged) {
  const struct {
    uint8_t Utc;  // byte 141: mode, offset decoded, offset
    const char* Time;
    bool Flagged;
  } cases[] = {{0xC0 | 18, "2026-12-08T14:00:05Z", false},
               {0x40 | 18, "2026-12-08T13:59:47Z", false},
               {0x00 | 18, "2026-12-08T14:00:05Z", true}};
  for (const auto& c : cases) {
    Rows.clear();
    TLevelRows levels([this](const TLevelRow& r) { Rows.push_back(r); }, 5);
    Session.SetRecordHandler([&levels](const PacketRecord& record, const TEngine& engine) {
      levels.Take(record, engine);
    });
    Bytes report = capture::GpsReport(5);
    report[141] = c.Utc;
    Feed(1, Configuration());
    Feed(0, report);
    Feed(2, {0xB0});
    ASSERT_EQ(Rows.size(), 1u);
    EXPECT_EQ(Iso(Rows[0].GpsTime, true), c.Time);
    EXPECT_EQ(levels.GpsTimeNotUtc(), c.Flagged);
  }
}

}  // namespace
}  // namespace vireon
