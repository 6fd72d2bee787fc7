#include <gtest/gtest.h>

#include <memory>

#include "FakeFtdi.h"
#include "link/Usb.h"

namespace vireon::test {
namespace {

struct UsbFixture : ::testing::Test {
  std::shared_ptr<TFtdiScript> Script = std::make_shared<TFtdiScript>();
  TUSB Usb{std::make_unique<TFakeFtdi>(Script)};
  uint8_t Buffer[TUSB::kBufferSize];
};

TEST_F(UsbFixture, OpenTakesDeviceZeroOfTwoAt38400Baud) {
  Script->Devices = 2;
  ASSERT_TRUE(Usb.Open());
  EXPECT_EQ(Script->Calls, (std::vector<std::string>{"count", "serial 0", "open 0", "baud 38400"}));
}

struct OpenFailure {
  const char* Name;
  void (*Break)(TFtdiScript&);
  size_t CallsMade;  // the sequence stops at the failing step
};

class UsbOpenFailure : public UsbFixture, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(UsbOpenFailure, FailsAtTheBrokenStepAndGoesNoFurther) {
  GetParam().Break(*Script);
  EXPECT_FALSE(Usb.Open());
  EXPECT_EQ(Script->Calls.size(), GetParam().CallsMade);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, UsbOpenFailure,
    ::testing::Values(OpenFailure{"NoDevice", [](TFtdiScript& s) { s.Devices = 0; }, 1},
                      OpenFailure{"CountFails", [](TFtdiScript& s) { s.FailCount = true; }, 1},
                      // The count is taken as a signed 16-bit value.
                      OpenFailure{"CountWraps", [](TFtdiScript& s) { s.Devices = 0x8000; }, 1},
                      OpenFailure{"SerialFails", [](TFtdiScript& s) { s.FailSerial = true; }, 2},
                      OpenFailure{"OpenFails", [](TFtdiScript& s) { s.FailOpen = true; }, 3},
                      OpenFailure{"BaudRefused", [](TFtdiScript& s) { s.FailBaud = true; }, 4}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(UsbFixture, ReadReturnsZeroForAnEmptyQueueAndTheQueuedBytesOtherwise) {
  ASSERT_TRUE(Usb.Open());
  EXPECT_EQ(Usb.Read(Buffer), 0);
  Script->Queue({0xAA, 0x02, 0x00, 0x1C, 0x1C});
  ASSERT_EQ(Usb.Read(Buffer), 5);
  EXPECT_EQ(Buffer[3], 0x1C);
  EXPECT_EQ(Usb.Read(Buffer), 0);
}

TEST_F(UsbFixture, ReadNeverAsksForMoreThanTheBuffer) {
  ASSERT_TRUE(Usb.Open());
  Script->Queue(std::vector<uint8_t>(6000, 0x55));
  EXPECT_EQ(Usb.Read(Buffer), TUSB::kBufferSize);
  EXPECT_EQ(Script->LastReadSize, static_cast<uint32_t>(TUSB::kBufferSize));
  EXPECT_EQ(Usb.Read(Buffer), 6000 - TUSB::kBufferSize);
}

TEST_F(UsbFixture, FailedReadOrStatusGivesMinusOneAndClearsTheBufferHead) {
  ASSERT_TRUE(Usb.Open());
  Script->Queue({1, 2, 3, 4, 5});
  Script->FailRead = true;
  std::fill_n(Buffer, 8, 0x77);
  EXPECT_EQ(Usb.Read(Buffer), -1);
  EXPECT_EQ(std::vector<uint8_t>(Buffer, Buffer + 5), (std::vector<uint8_t>{0, 0, 0, 0, 0x77}));
  Script->FailRead = false;
  Script->FailStatus = true;
  EXPECT_EQ(Usb.Read(Buffer), -1);
}

TEST_F(UsbFixture, WriteReportsTheDriversCountOrTheFailureValue) {
  ASSERT_TRUE(Usb.Open());
  const uint8_t frame[5] = {0xAA, 0x02, 0x00, 0x01, 0x01};
  EXPECT_EQ(Usb.Write(frame, 5), 5);
  Script->ShortWriteBy = 2;
  EXPECT_EQ(Usb.Write(frame, 5), 3);
  Script->FailWrite = true;
  EXPECT_EQ(Usb.Write(frame, 5), 65535);
}

}  // namespace
}  // namespace vireon::test
