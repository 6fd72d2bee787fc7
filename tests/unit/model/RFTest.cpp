#include <gtest/gtest.h>

#include <cstring>

#include "model/RF.h"

namespace vireon {
namespace {

TRF Model(uint32_t low, uint32_t high, uint16_t stepCode, uint8_t flags) {
  uint8_t block[12] = {};
  std::memcpy(block, &low, 4);
  std::memcpy(block + 4, &high, 4);
  std::memcpy(block + 8, &stepCode, 2);
  block[10] = flags;
  block[11] = 0xC3;
  TRF rf;
  rf.LoadConfig(block);
  return rf;
}

TEST(TRF, StepCodeIsInUnitsOf256thKHz) {
  EXPECT_DOUBLE_EQ(Model(0, 0, 7680, 0).StepKHz, 30.0);
  EXPECT_DOUBLE_EQ(Model(0, 0, 1, 0).StepKHz, 0.00390625);
}

TEST(TRF, ConfigurationBlockIsKeptByteForByte) {
  const uint8_t block[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xFE, 0xC3};
  TRF rf;
  rf.LoadConfig(block);
  EXPECT_EQ(std::memcmp(rf.ConfigBytes(), block, 12), 0);
  EXPECT_EQ(rf.Config.LowEdge, 0x04030201u);
  EXPECT_FALSE(rf.IsWrapped());
}

TEST(TRF, PlainChannelsCountFromTheLowerEdge) {
  const TRF rf = Model(28968, 29968, 7680, 0);
  EXPECT_NEAR(rf.LowEdgeMHz(), 869.04, 1e-9);
  EXPECT_NEAR(rf.FrequencyOfChannel(1), 869.04, 1e-9);
  EXPECT_NEAR(rf.FrequencyOfChannel(2), 869.07, 1e-9);
  EXPECT_EQ(rf.ChannelOfStep(28968), 1);
  EXPECT_EQ(rf.PositionOfChannel(7), 7);
}

TEST(TRF, WrappedChannelsRunFrom991To1024ThenFromOne) {
  const TRF rf = Model(28968, 29968, 7680, 1);
  EXPECT_NEAR(rf.FrequencyOfChannel(991), 869.04, 1e-9);
  EXPECT_NEAR(rf.FrequencyOfChannel(1023), 870.00, 1e-9);
  EXPECT_NEAR(rf.FrequencyOfChannel(1024), 870.03, 1e-9);
  EXPECT_NEAR(rf.FrequencyOfChannel(1), 870.06, 1e-9);
  EXPECT_EQ(rf.ChannelOfStep(28968 + 33), 1024);
  EXPECT_EQ(rf.ChannelOfStep(28968 + 34), 1);
  EXPECT_EQ(rf.PositionOfChannel(1024), 34);
  EXPECT_EQ(rf.PositionOfChannel(1), 35);
}

TEST(TRF, FrequencyOfStepIsThePositionTimesTheStepInsideTheRange) {
  for (uint8_t flags : {0, 1}) {
    const TRF rf = Model(28968, 29968, 7680, flags);
    for (uint32_t p = 28968; p <= 29968; ++p) {
      ASSERT_NEAR(rf.FrequencyOfStep(p), p * 30.0 * 0.001, 1e-9) << p << " flags " << int(flags);
    }
  }
}

TEST(TRF, ChannelArithmeticUsesTheLow16BitsOfPositions) {
  // 0x10005 and 0x00005 share their low halves, so they are the same channel.
  const TRF rf = Model(0x10000, 0x10100, 256, 0);
  EXPECT_EQ(rf.ChannelOfStep(0x10005), 6);
  EXPECT_EQ(rf.ChannelOfStep(0x00005), 6);
}

TEST(TRF, ScanListSetsTheCurrentPositionToItsFirstEntry) {
  uint32_t entries[10];
  for (uint32_t k = 0; k < 10; ++k) entries[k] = 100 * (k + 1);
  TRF rf = Model(0, 2000, 7680, 0);
  rf.LoadScanList(reinterpret_cast<const uint8_t*>(entries));
  EXPECT_EQ(rf.Current, 100u);
  EXPECT_EQ(rf.ScanList[9], 1000u);
  EXPECT_NEAR(rf.CurrentMHz(), 3.0, 1e-12);
  EXPECT_EQ(rf.CurrentChannel(), 101);
}

TEST(TRF, NewModelGivesZeroFrequencies) {
  const TRF rf;
  EXPECT_EQ(rf.LowEdgeMHz(), 0.0);
  EXPECT_EQ(rf.HighEdgeMHz(), 0.0);
  EXPECT_EQ(rf.CurrentMHz(), 0.0);
  EXPECT_EQ(rf.FrequencyOfChannel(5), 0.0);
}

}  // namespace
}  // namespace vireon
