#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "Capture.h"
#include "link/Packet.h"

namespace vireon {
namespace {

using Bytes = std::vector<uint8_t>;

struct Delivered {
  int Type;
  Bytes Payload;
  bool operator==(const Delivered&) const = default;
};

// Pushes every byte, collecting what the framer delivers.
std::vector<Delivered> PushAll(TPacket& framer, const Bytes& bytes) {
  std::vector<Delivered> out;
  for (uint8_t b : bytes) {
    if (framer.Push(b) != 0) continue;
    const PacketRecord& record = framer.Record();
    const int n = record.Length >= 2 ? record.Length - 2 : 0;
    out.push_back({record.Type, Bytes(record.Data, record.Data + n)});
  }
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const Bytes kSerialRequest{0xAA, 0x02, 0x00, 0x1C, 0x1C};

TEST(BuildFrame, SmallestCommandsAreFiveBytes) {
  EXPECT_EQ(capture::Frame(28, {}), kSerialRequest);
  EXPECT_EQ(capture::Frame(1, {}), (Bytes{0xAA, 0x02, 0x00, 0x01, 0x01}));
}

TEST(BuildFrame, ChecksumMakesTheBodyXorZero) {
  PacketRecord record;
  const uint8_t payload[] = {0x12, 0x34, 0xAA};
  EXPECT_EQ(BuildFrame(record, 7, payload, 3), 8);
  EXPECT_EQ(record.FrameSize(), 8);
  EXPECT_EQ(record.Data[3], 7 ^ 0x12 ^ 0x34 ^ 0xAA);
}

TEST(TPacket, GarbageBeforeAFrameIsSkipped) {
  TPacket framer;
  const auto got = PushAll(framer, Cat({{0x00, 0x55, 0x1C, 0x02}, kSerialRequest}));
  EXPECT_EQ(got, (std::vector<Delivered>{{28, {}}}));
}

TEST(TPacket, FrameSplitAcrossReadsIsDeliveredOnce) {
  const Bytes frame = capture::Frame(4, {1, 2, 3, 4, 5, 6, 7});
  for (size_t split = 1; split < frame.size(); ++split) {
    TPacket framer;
    auto got = PushAll(framer, Bytes(frame.begin(), frame.begin() + split));
    EXPECT_TRUE(got.empty()) << "split at " << split;
    got = PushAll(framer, Bytes(frame.begin() + split, frame.end()));
    EXPECT_EQ(got, (std::vector<Delivered>{{4, {1, 2, 3, 4, 5, 6, 7}}})) << "split at " << split;
  }
}

TEST(TPacket, TwoFramesInOneBlockAreDeliveredInOrder) {
  TPacket framer;
  const auto got = PushAll(framer, Cat({capture::Frame(5, {9}), capture::Frame(6, {8})}));
  EXPECT_EQ(got, (std::vector<Delivered>{{5, {9}}, {6, {8}}}));
}

TEST(TPacket, SyncByteInsideABodyIsOrdinaryData) {
  TPacket framer;
  const Bytes payload{0xAA, 0x02, 0x00, 0x1C, 0x1C};
  const auto got = PushAll(framer, capture::Frame(8, payload));
  EXPECT_EQ(got, (std::vector<Delivered>{{8, payload}}));
}

// Each bad length is abandoned at its second byte; hunting resumes with the next byte.
TEST(TPacket, BadLengthsAreAbandonedAtTheSecondLengthByte) {
  const std::vector<Bytes> badLengths = {{0x00, 0x00}, {0x00, 0x08}, {0x34, 0x80}, {0xFF, 0xFF}};
  for (const auto& length : badLengths) {
    TPacket framer;
    const auto got = PushAll(framer, Cat({{0xAA}, length, kSerialRequest}));
    EXPECT_EQ(got.size(), 1u) << int(length[0]) << " " << int(length[1]);
    EXPECT_EQ(framer.BadLength, 1u);
    EXPECT_EQ(framer.State, TPacket::Hunting);
  }
}

TEST(TPacket, HighLengthByteIsNotTakenAgainAsASyncByte) {
  TPacket framer;
  // AA 00 AA: the length 0xAA00 is refused; the AA that made it is not a new frame's start.
  const auto got = PushAll(framer, {0xAA, 0x00, 0xAA, 0x02, 0x00, 0x1C, 0x1C});
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(framer.BadLength, 1u);
}

TEST(TPacket, LongestLengthFillsTheBody) {
  TPacket framer;
  const Bytes payload(2045, 0x5A);
  const auto got = PushAll(framer, capture::Frame(27, payload));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(framer.Length, 2047);
  EXPECT_EQ(got[0].Payload, payload);
}

TEST(TPacket, LengthOneIsDeliveredOnlyWhenItsByteIsZero) {
  TPacket framer;
  const auto got = PushAll(framer, {0xAA, 0x01, 0x00, 0x05, 0xAA, 0x01, 0x00, 0x00});
  EXPECT_EQ(got, (std::vector<Delivered>{{0, {}}}));
  EXPECT_EQ(framer.BadChecksum, 1u);
}

TEST(TPacket, WrongChecksumDeliversNothingAndTheNextSyncStartsAFrame) {
  TPacket framer;
  const auto got = PushAll(framer, Cat({{0xAA, 0x03, 0x00, 0x07, 0x01, 0x07}, kSerialRequest}));
  EXPECT_EQ(got, (std::vector<Delivered>{{28, {}}}));
  EXPECT_EQ(framer.BadChecksum, 1u);
  EXPECT_EQ(framer.BadLength, 0u);
}

// Block pushes must deliver exactly what byte pushes deliver, wherever the blocks are cut.
TEST(TPacket, BlockPushDeliversWhatBytePushDelivers) {
  for (const auto& capture : capture::AllCaptures()) {
    TPacket bytewise;
    const auto expected = PushAll(bytewise, capture.Stream);
    for (unsigned seed = 1; seed <= 20; ++seed) {
      std::mt19937 random(seed);
      TPacket framer;
      std::vector<Delivered> got;
      size_t used = 0;
      for (size_t at = 0; at < capture.Stream.size(); at += used) {
        const size_t block = std::min<size_t>(random() % 64 + 1, capture.Stream.size() - at);
        if (framer.PushBlock(capture.Stream.data() + at, block, used) != 0) continue;
        ASSERT_GT(used, 0u);
        const PacketRecord& record = framer.Record();
        got.push_back(
            {record.Type, Bytes(record.Data, record.Data + std::max(record.Length - 2, 0))});
      }
      EXPECT_EQ(got, expected) << capture.Name << " seed " << seed;
      EXPECT_EQ(framer.BadLength, bytewise.BadLength);
      EXPECT_EQ(framer.BadChecksum, bytewise.BadChecksum);
      EXPECT_EQ(framer.State, bytewise.State);
      EXPECT_EQ(framer.Count, bytewise.Count);
    }
  }
}

}  // namespace
}  // namespace vireon
