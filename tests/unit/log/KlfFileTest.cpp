#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "log/KlfFile.h"

namespace vireon {
namespace {

using test::Bytes;

const Bytes kLeadIn(6, 0);
const Bytes kIdentity = {0x0F, 0x00, 0x80, 'N', 'D', 'Q', 'V', 'I', 'R',
                         'E',  'O',  'N',  '0', '4', '0', '1', 0xD7};

struct TFreshEngine {
  TGPSShared Gps;
  TEngine Engine{Gps};
};

TEST(KlfHeader, FreshEngineGivesThe63ByteHeaderWithNoScanRecord) {
  TFreshEngine fresh;
  const Bytes serial = {0x0B, 0x00, 0x81, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x81};
  Bytes receivers = {0x19, 0x00, 0x01, 0x00};
  receivers.resize(27, 0);
  const Bytes expected = test::Concat({kLeadIn, kIdentity, serial, receivers});

  const Bytes header = BuildKlfHeader(fresh.Engine.Snapshot());

  ASSERT_EQ(header.size(), 63u);
  EXPECT_EQ(header, expected);
}

TEST(KlfHeader, BothReceiversActiveAndScanSetUpCaptured) {
  TFreshEngine fresh;
  Bytes config = {0x03};
  for (uint8_t b = 1; b <= 24; ++b) config.push_back(b);
  fresh.Engine.Dispatch(test::Packet(1, config));
  fresh.Engine.Dispatch(test::Packet(28, {'S', 'N', '1', '2', '3', '4', '5', '6', 'X'}));
  Bytes scanList(80);
  for (size_t k = 0; k < scanList.size(); ++k) scanList[k] = static_cast<uint8_t>(k * 3);
  const PacketRecord scan = test::Packet(6, scanList);
  fresh.Engine.Dispatch(scan);

  const Bytes header = BuildKlfHeader(fresh.Engine.Snapshot());

  const Bytes serial = {0x0B, 0x00, 0x81, 'S', 'N', '1', '2', '3', '4', '5', '6', 0, 0x9B};
  Bytes receivers = {0x19, 0x00, 0x01, 0x03};
  // Receiver 1's twelve bytes, then only eleven of receiver 2's: byte 24 never reaches the file.
  for (uint8_t b = 1; b <= 23; ++b) receivers.push_back(b);
  const Bytes expected =
      test::Concat({kLeadIn, kIdentity, serial, receivers, test::LogBytes(scan)});
  EXPECT_EQ(header, expected);
}

TEST(KlfHeader, InactiveReceiverBlockIsZeroEvenAfterAnEarlierConfiguration) {
  TFreshEngine fresh;
  Bytes config = {0x03};
  config.resize(25, 0x55);
  fresh.Engine.Dispatch(test::Packet(1, config));
  config[0] = 0x02;  // receiver 1 gone, receiver 2 still there
  fresh.Engine.Dispatch(test::Packet(1, config));

  const Bytes header = BuildKlfHeader(fresh.Engine.Snapshot());

  const Bytes receivers(header.begin() + 36, header.begin() + 63);
  EXPECT_EQ(receivers[3], 0x02);
  EXPECT_EQ(Bytes(receivers.begin() + 4, receivers.begin() + 16), Bytes(12, 0));
  EXPECT_EQ(Bytes(receivers.begin() + 16, receivers.end()), Bytes(11, 0x55));
}

TEST(KlfHeader, TableLevelsAloneCaptureTheSetUpButAddNoRecord) {
  TFreshEngine fresh;
  fresh.Engine.Dispatch(test::Packet(9, Bytes(16, 0)));
  ASSERT_EQ(fresh.Engine.ScanInfoCaptured.load(), 1);

  EXPECT_EQ(BuildKlfHeader(fresh.Engine.Snapshot()).size(), 63u);
}

struct TNameCase {
  std::string Text;
  std::optional<std::string> Name;
};

class KlfFileNameRule : public testing::TestWithParam<TNameCase> {};

TEST_P(KlfFileNameRule, CutsAtTheLastDotAndAppendsKlf) {
  EXPECT_EQ(KlfFileName(GetParam().Text), GetParam().Name);
}

INSTANTIATE_TEST_SUITE_P(
    Names, KlfFileNameRule,
    testing::Values(TNameCase{"Vireon", "Vireon.KLF"}, TNameCase{"run.1.data", "run.1.KLF"},
                    TNameCase{"/srv/logs.d/run", "/srv/logs.KLF"},
                    TNameCase{"/field/site7.KLF", "/field/site7.KLF"}, TNameCase{"", ".KLF"},
                    TNameCase{std::string(507, 'a'), std::string(507, 'a') + ".KLF"},
                    TNameCase{std::string(508, 'a'), std::nullopt},
                    TNameCase{std::string(512, 'a'), std::nullopt},
                    TNameCase{std::string(600, 'a') + ".x", std::nullopt}));

}  // namespace
}  // namespace vireon
