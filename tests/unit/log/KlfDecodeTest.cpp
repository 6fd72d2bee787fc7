#include <gtest/gtest.h>

#include "KlfMode.h"
#include "LogTestSupport.h"
#include "log/LogRouter.h"

namespace vireon {
namespace {

using test::Bytes;

TEST(KlfDecode, ReadsHeaderAndPacketRecordsByTheirLengthFields) {
  TGPSShared gps;
  TEngine engine{gps};
  test::TScratchDir dir;
  const std::string name = dir.File("read.KLF");
  const PacketRecord clock = test::Packet(4, {5, 4, 3, 2, 1, 26, 9});
  const PacketRecord serial = test::Packet(28, {'A', 'B', '1', '2', 0, 0, 0, 0});
  {
    TLog_Router writer(engine, name);
    writer.Start();
    writer.PostPacket(clock.LogBytes(), static_cast<int16_t>(clock.LogSize()));
    writer.PostPacket(serial.LogBytes(), static_cast<int16_t>(serial.LogSize()));
  }
  Bytes file = test::ReadAll(name);
  file.insert(file.end(), {0x09, 0x00, 0x07, 0x01});  // cut short by a crash
  test::WriteAll(name, file);

  std::vector<TJson> lines;
  std::FILE* in = std::fopen(name.c_str(), "rb");
  const TKlfSummary summary = DecodeKlf(in, [&](const TJson& j) { lines.push_back(j); });
  std::fclose(in);

  ASSERT_EQ(lines.size(), 9u);
  // The six leading zero bytes read as three empty records.
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(lines[k]["offset"], 2 * k);
    EXPECT_EQ(lines[k]["length"], 0);
    EXPECT_EQ(lines[k]["checksum_ok"], true);
  }
  EXPECT_EQ(lines[3]["offset"], 6);
  EXPECT_EQ(lines[3]["type"], 0x80);
  EXPECT_EQ(lines[3]["checksum_ok"], true);
  EXPECT_EQ(lines[4]["offset"], 23);
  EXPECT_EQ(lines[4]["type"], 0x81);
  EXPECT_EQ(lines[4]["checksum_ok"], true);
  // The receiver record carries no checksum: its last byte is configuration.
  EXPECT_EQ(lines[5]["offset"], 36);
  EXPECT_EQ(lines[5]["length"], 25);
  EXPECT_EQ(lines[5]["checksum_ok"], false);
  EXPECT_EQ(lines[6]["offset"], 63);
  EXPECT_EQ(lines[6]["type"], 4);
  EXPECT_EQ(lines[6]["checksum_ok"], true);
  EXPECT_EQ(lines[7]["type"], 28);
  EXPECT_EQ(lines[7]["checksum_ok"], true);
  EXPECT_EQ(lines[8]["truncated"], true);
  EXPECT_EQ(lines[8]["checksum_ok"], false);

  EXPECT_EQ(summary.Records, 9u);
  EXPECT_EQ(summary.Bytes, file.size());
  EXPECT_EQ(summary.BadChecksum, 2u);
  EXPECT_EQ(summary.Truncated, 1u);
}

}  // namespace
}  // namespace vireon
