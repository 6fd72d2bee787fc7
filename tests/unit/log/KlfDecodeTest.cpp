#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "KlfMode.h"
#include "LogTestSupport.h"
#include "log/LogRouter.h"

namespace vireon {
namespace {

using test::Bytes;
using TJson = nlohmann::ordered_json;

std::vector<TJson> ParseLines(const std::string& text) {
  std::vector<TJson> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(TJson::parse(line));
  return lines;
}

std::string Hex(const Bytes& bytes) {
  std::string text;
  for (uint8_t b : bytes) text += "0123456789abcdef"[b >> 4], text += "0123456789abcdef"[b & 15];
  return text;
}

// Receiver configuration: mask, then per receiver LowEdge, HighEdge (LE32), StepCode (LE16),
// Flags and a reserved byte.
Bytes Configuration(uint8_t mask) {
  Bytes p = {mask};
  const Bytes rx1 = {0x40, 0x42, 0x0F, 0x00, 0x80, 0x84, 0x1E, 0x00, 0x02, 0x00, 0x01, 0x00};
  const Bytes rx2 = {0x10, 0x27, 0x00, 0x00, 0x20, 0x4E, 0x00, 0x00, 0x03, 0x00, 0x04, 0x5A};
  p.insert(p.end(), rx1.begin(), rx1.end());
  p.insert(p.end(), rx2.begin(), rx2.end());
  return p;
}

std::vector<TJson> ReadBack(const std::string& name, TKlfSummary& summary) {
  std::string text;
  const int fd = ::open(name.c_str(), O_RDONLY);
  summary = DecodeKlf(fd, text, [] {});
  ::close(fd);
  return ParseLines(text);
}

struct HeaderCase {
  const char* Name;
  bool Full;  // serial number and both receivers known when logging began
};

class KlfDecode : public testing::TestWithParam<HeaderCase> {};

TEST_P(KlfDecode, ReadsTheHeaderAsWhatItRepeatsThenEveryRecordByItsLength) {
  const bool full = GetParam().Full;
  TGPSShared gps;
  TEngine engine{gps};
  if (full) {
    engine.Dispatch(test::Packet(28, {'A', 'B', '1', '2', '3', '4', '5', '6'}));
    engine.Dispatch(test::Packet(1, Configuration(3)));
  }
  test::TScratchDir dir;
  const std::string name = dir.File("read.KLF");
  const PacketRecord clock = test::Packet(4, {5, 4, 3, 2, 1, 26, 9});
  const PacketRecord broken = [] {
    PacketRecord p = test::Packet(4, {5, 4, 3, 2, 1, 26, 9});
    p.Data[2] ^= 0x40;
    return p;
  }();
  {
    TLog_Router writer(engine, name);
    writer.Start();
    for (const PacketRecord* p : {&clock, &broken})
      writer.PostPacket(p->LogBytes(), static_cast<int16_t>(p->LogSize()));
  }
  Bytes file = test::ReadAll(name);
  file.insert(file.end(), {0x09, 0x00, 0x07, 0x01});  // cut short by a crash
  test::WriteAll(name, file);

  TKlfSummary summary;
  const std::vector<TJson> lines = ReadBack(name, summary);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0]["offset"], 6);  // the six zero bytes are the signature: no line
  EXPECT_EQ(lines[0]["type"], 0x80);
  EXPECT_EQ(lines[0]["Identity"], "NDQVIREON0401");
  EXPECT_EQ(lines[0]["checksum_ok"], true);
  EXPECT_EQ(lines[1]["offset"], 23);
  EXPECT_EQ(lines[1]["SerialNumber"], full ? "AB123456" : "");
  EXPECT_EQ(lines[1]["checksum_ok"], true);

  const TJson& receivers = lines[2];
  EXPECT_EQ(receivers["offset"], 36);
  EXPECT_EQ(receivers["length"], 25);
  EXPECT_EQ(receivers["header"], true);
  EXPECT_FALSE(receivers.contains("checksum_ok"));
  const Bytes config = Configuration(full ? 3 : 0);
  const Bytes shown = full ? Bytes(config.begin(), config.end() - 1) : Bytes(24, 0);
  EXPECT_EQ(receivers["payload"], Hex(shown));
  EXPECT_EQ(receivers["ReceiverActive"], full ? TJson({1, 1}) : TJson({0, 0}));
  if (full) {
    EXPECT_EQ(receivers["Receivers"][0]["HighEdge"], 2000000);
    EXPECT_EQ(receivers["Receivers"][1]["HighEdge"], 20000);
    EXPECT_EQ(receivers["Receivers"][1]["Flags"], 4);
  }

  EXPECT_EQ(lines[3]["offset"], 63);
  EXPECT_EQ(lines[3]["MarkerNumber"], 9);
  EXPECT_EQ(lines[3]["checksum_ok"], true);
  // A record whose checksum fails is shown, not decoded.
  EXPECT_EQ(lines[4]["checksum_ok"], false);
  EXPECT_FALSE(lines[4].contains("MarkerNumber"));
  EXPECT_EQ(lines[5]["truncated"], true);

  EXPECT_EQ(summary.Outcome, TKlfSummary::TornTail);
  EXPECT_EQ(summary.Records, 5u);
  EXPECT_EQ(summary.Size, static_cast<int64_t>(file.size()));
  EXPECT_EQ(summary.BadChecksums, 1u);  // the broken record, not the header's receiver record
  EXPECT_EQ(summary.TornBytes, 4);
}

INSTANTIATE_TEST_SUITE_P(Headers, KlfDecode,
                         testing::Values(HeaderCase{"Empty", false}, HeaderCase{"Full", true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(TableDecode, AnIndexNamedTwiceInOnePacketReportsEachEntrysOwnLevel) {
  std::string text;
  TDecodeSession session([&](const PacketRecord& record, const TEngine& engine) {
    AppendPacketLine(text, record, engine);
  });
  session.Deliver(test::Packet(1, Configuration(1)));
  session.Deliver(test::Packet(9, {0, 5, 0, 0xA0, 0, 5, 0, 0xB0, 0, 6, 0, 0xC0}));
  const std::vector<TJson> lines = ParseLines(text);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1]["TableEntries"], TJson({{0, 5, -96}, {0, 5, -80}, {0, 6, -64}}));
  EXPECT_EQ(session.Engine().TableLevels[0][5].load(), -80);  // the model keeps the last
}

}  // namespace
}  // namespace vireon
