#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "Capture.h"
#include "gps/Gps.h"

namespace vireon {
namespace {

using Bytes = std::vector<uint8_t>;

void PutBe(Bytes& r, size_t at, uint32_t v, int width) {
  for (int k = 0; k < width; ++k) r[at + k] = static_cast<uint8_t>(v >> (8 * (width - 1 - k)));
}

TGPS Decoded(const Bytes& report) {
  TGPS g;
  g.Decode(report.data(), report.size());
  return g;
}

TEST(TGPS, LatitudeInMilliarcsecondsBecomesDegreesWithItsHemisphere) {
  Bytes r(152, 0);
  PutBe(r, 15, 0x0BCD3D80, 4);  // 198,000,000
  PutBe(r, 19, static_cast<uint32_t>(-198000000), 4);
  TGPS g = Decoded(r);
  // Bit for bit: a value one bit off would put the mapping program's record off too.
  EXPECT_EQ(std::bit_cast<uint64_t>(g.FilLatitude), std::bit_cast<uint64_t>(55.0));
  EXPECT_EQ(std::bit_cast<uint64_t>(g.FilLongitude), std::bit_cast<uint64_t>(-55.0));
  EXPECT_EQ(g.FilLatitudeText(), "55.0000 N");
  EXPECT_EQ(g.FilLongitudeText(), "55.0000 W");
  EXPECT_EQ(g.LatitudeText(), "0.0000 S");
  EXPECT_EQ(g.LongitudeText(), "0.0000 W");
  PutBe(r, 35, 0x0BCD3D80, 4);
  EXPECT_EQ(Decoded(r).LongitudeText(), "55.0000 E");
}

TEST(TGPS, EveryFieldIsReadAtItsOffset) {
  TGPS g = Decoded(capture::GpsReport(3));
  EXPECT_EQ(g.DateText(), "12/08/2026");
  EXPECT_EQ(g.TimeText(), "14:00:03");
  EXPECT_DOUBLE_EQ(g.FilGPSHeight, 12345);
  EXPECT_DOUBLE_EQ(g.GPSHeight, -250);
  EXPECT_EQ(g.Speed3D, 1250);
  EXPECT_EQ(g.Heading, 1350);
  EXPECT_EQ(g.DOP, 17);
  EXPECT_EQ(g.SatsVisible, 9);
  EXPECT_EQ(g.SatsTracked, 7);
  EXPECT_EQ(g.Channels[11].SVID, 12);
  EXPECT_EQ(g.Channels[11].ChannelStatus[1], 0x8B);
  EXPECT_EQ(g.FixStatus, 0xF0);
  EXPECT_EQ(g.RecStatus[1], 0x47);
  EXPECT_EQ(g.ClockBias, -321);
  EXPECT_EQ(g.OscOffset, 98765);
  EXPECT_DOUBLE_EQ(g.Temperature, 25.0);
  EXPECT_TRUE(g.UTCMode);
  EXPECT_TRUE(g.UTCOffsetDecoded);
  EXPECT_EQ(g.UTCOffset, 18);
  EXPECT_EQ(g.GMTText(), "-05:30");
  EXPECT_STREQ(g.IDTag, "VRN-01");
  EXPECT_EQ(g.Raw[151], 0x77);
}

TEST(TGPS, HeadingTakesTheNearestCompassPoint) {
  const std::pair<int, const char*> cases[] = {{0, "N"},    {111, "N"},  {112, "NNE"},
                                               {900, "E"},  {2700, "W"}, {3486, "NNW"},
                                               {3487, "N"}, {3599, "N"}};
  for (const auto& [tenths, text] : cases) {
    TGPS g;
    g.Heading = static_cast<int16_t>(tenths);
    EXPECT_EQ(g.HeadingText(), text) << tenths;
  }
}

TEST(TGPS, HeadingOutsideATurnStaysAmongTheCompassPoints) {
  const std::pair<int, const char*> cases[] = {{-1, "N"},   {-900, "W"},   {3600, "N"},
                                               {4500, "E"}, {32767, "NE"}, {-32768, "NW"}};
  for (const auto& [tenths, text] : cases) {
    TGPS g;
    g.Heading = static_cast<int16_t>(tenths);
    EXPECT_EQ(g.HeadingText(), text) << tenths;
  }
}

TEST(TGPS, StatusBytesNameFixAndAntenna) {
  const std::pair<uint8_t, const char*> fixes[] = {{0xE0, "3D Fix"},
                                                   {0xC0, "2D Fix"},
                                                   {0x00, "Reserved"},
                                                   {0x3F, "Reserved"},
                                                   {0x50, "Bad Geometry"}};
  for (const auto& [status, text] : fixes) {
    Bytes r(152, 0);
    r[129] = status;
    EXPECT_EQ(Decoded(r).FixStatusText(), text) << int(status);
  }
  Bytes r(152, 0);
  r[130] = 0x06;
  EXPECT_EQ(Decoded(r).AntennaStatusText(), "NV");
  r[130] = 0xF9;
  EXPECT_EQ(Decoded(r).AntennaStatusText(), "OK");
  r[130] = 0x04;
  EXPECT_EQ(Decoded(r).AntennaStatusText(), "Undercurrent");
}

TEST(TGPS, GmtOffsetShowsItsSignOrASpace) {
  Bytes r(152, 0);
  r[143] = 5;
  EXPECT_EQ(Decoded(r).GMTText(), " 05:00");
  r[142] = 0x80;
  EXPECT_EQ(Decoded(r).GMTText(), "-05:00");
}

TEST(TGPS, IdTagIsExactlyTheSixBytesOfTheReport) {
  Bytes r(152, 'Z');
  EXPECT_STREQ(Decoded(r).IDTag, "ZZZZZZ");
}

TEST(TGPS, TemperatureIsHalvedByIntegerDivision) {
  Bytes r(152, 0);
  PutBe(r, 139, 0x0033, 2);
  EXPECT_DOUBLE_EQ(Decoded(r).Temperature, 25.0);
  PutBe(r, 139, 0x0032, 2);
  EXPECT_DOUBLE_EQ(Decoded(r).Temperature, 25.0);
  PutBe(r, 139, 0xFFFF, 2);  // unsigned: no negative temperature
  EXPECT_DOUBLE_EQ(Decoded(r).Temperature, 32767.0);
}

TEST(TGPS, ShortReportReadsAsZerosAndReplacesTheWholeRecord) {
  TGPS g = Decoded(capture::GpsReport(3));
  // Exactly the received bytes on the heap, so reading past them would be caught.
  const Bytes full = capture::GpsReport(9);
  auto shortReport = std::make_unique<uint8_t[]>(12);
  std::copy_n(full.begin(), 12, shortReport.get());
  g.Decode(shortReport.get(), 12);
  EXPECT_EQ(g.Year, 2026);
  EXPECT_EQ(g.Seconds, 9);
  EXPECT_EQ(g.FilLatitude, 0.0);
  EXPECT_EQ(g.SatsVisible, 0);
  EXPECT_EQ(g.IDTag[0], 0);
  EXPECT_EQ(g.Raw[11], full[11]);
  EXPECT_EQ(g.Raw[12], 0);
  g.Decode(nullptr, 0);
  EXPECT_EQ(g.Year, 0);
}

TEST(TGPSShared, ReadersAlwaysSeeOneWholeReport) {
  TGPSShared shared;
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::vector<std::thread> readers;
  for (int k = 0; k < 2; ++k) {
    readers.emplace_back([&] {
      while (!done) {
        const TGPS g = shared.Copy();
        // Every report of the run has seconds equal to its minutes field.
        if (g.Seconds != g.Minutes) ++torn;
      }
    });
  }
  for (int t = 0; t < 2000; ++t) {
    Bytes r = capture::GpsReport(t % 60);
    r[9] = r[10];
    shared.Decode(r.data(), r.size());
  }
  done = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(shared.Copy().Year, 2026);
}

}  // namespace
}  // namespace vireon
