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

TEST_F(UsbFixture, OpenAsksWhetherThePortIsHeldThenOpensAt38400Baud) {
  ASSERT_TRUE(Usb.Open());
  EXPECT_EQ(Script->Calls,
            (std::vector<std::string>{"count", "serial 0", "held 0", "open 0", "baud 38400"}));
}

struct Choice {
  const char* Name;
  std::vector<std::string> Serials;  // by index, as the driver lists them
  std::vector<std::string> HeldPorts;
  const char* Chosen;
  int Opened;
  const char* Shown;
};

class UsbChoice : public UsbFixture, public ::testing::WithParamInterface<Choice> {};

TEST_P(UsbChoice, PlainUsbOpensTheLowestSerialNumberAndNamesItAmongSeveral) {
  const Choice& c = GetParam();
  Script->Devices = static_cast<int>(c.Serials.size());
  Script->Serials = c.Serials;
  Script->HeldPorts = c.HeldPorts;
  Usb.SetSerial(c.Chosen);
  ASSERT_TRUE(Usb.Open()) << Usb.LastError();
  EXPECT_EQ(Script->OpenedIndex, c.Opened);
  EXPECT_EQ(Usb.DisplayName(), c.Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Bridges, UsbChoice,
    ::testing::Values(Choice{"One", {"FTB2"}, {}, "", 0, "USB"},
                      Choice{"LowestListedLast", {"FTB2", "FTA1"}, {}, "", 1, "USB FTA1"},
                      Choice{"LowestInTheMiddle", {"FT3", "FT1", "FT2"}, {}, "", 1, "USB FT1"},
                      Choice{"OnlyOneHasASerial", {"", "FTB2"}, {}, "", 1, "USB FTB2"},
                      Choice{"NoneHasASerial", {"", ""}, {}, "", 0, "USB"},
                      Choice{"ChosenByTheUser", {"FTA1", "FTB2"}, {}, "FTB2", 1, "USB FTB2"},
                      // Only the bridge to be opened matters.
                      Choice{
                          "AnotherIsHeld", {"FTB2", "FTA1"}, {"/dev/ttyUSB0"}, "", 1, "USB FTA1"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct OpenFailure {
  const char* Name;
  void (*Break)(TFtdiScript&);
  size_t CallsMade;  // the sequence stops at the failing step
  const char* Reason;
};

class UsbOpenFailure : public UsbFixture, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(UsbOpenFailure, FailsAtTheBrokenStepGoesNoFurtherAndSaysWhy) {
  GetParam().Break(*Script);
  EXPECT_FALSE(Usb.Open());
  EXPECT_EQ(Script->Calls.size(), GetParam().CallsMade);
  EXPECT_EQ(Usb.LastError().rfind(GetParam().Reason, 0), 0u) << Usb.LastError();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, UsbOpenFailure,
    ::testing::Values(
        OpenFailure{"NoDevice", [](TFtdiScript& s) { s.Devices = 0; }, 1, "no FTDI device found"},
        OpenFailure{"CountFails", [](TFtdiScript& s) { s.FailCount = true; }, 1,
                    "no FTDI device found"},
        // The count is taken as a signed 16-bit value.
        OpenFailure{"CountWraps", [](TFtdiScript& s) { s.Devices = 0x8000; }, 1,
                    "no FTDI device found"},
        OpenFailure{"OpenFails", [](TFtdiScript& s) { s.FailOpen = true; }, 4,
                    "cannot open the FTDI device: scripted failure"},
        OpenFailure{"Denied",
                    [](TFtdiScript& s) {
                      s.FailOpen = true;
                      s.OpenFault = TFtdiFault::Denied;
                    },
                    4, "permission denied: scripted failure (install the udev rule)"},
        OpenFailure{"Busy",
                    [](TFtdiScript& s) {
                      s.FailOpen = true;
                      s.OpenFault = TFtdiFault::Busy;
                    },
                    4, "in use by another program"},
        // Opening would detach ftdi_sio and hang up the program using the port.
        OpenFailure{"HeldAsTtyUsb", [](TFtdiScript& s) { s.HeldPorts = {"/dev/ttyUSB0"}; }, 3,
                    "in use by another program as /dev/ttyUSB0"},
        // A refused baud rate closes the device again, so a later open can take it.
        OpenFailure{"BaudRefused", [](TFtdiScript& s) { s.FailBaud = true; }, 6,
                    "cannot set 38400 baud"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(UsbFixture, ABridgeWithoutASerialNumberStillOpens) {
  Script->FailSerial = true;
  EXPECT_TRUE(Usb.Open());
  EXPECT_EQ(Script->Calls,
            (std::vector<std::string>{"count", "serial 0", "held 0", "open 0", "baud 38400"}));
}

TEST_F(UsbFixture, AGoneBridgeIsFoundAgainByItsSerialNumberWhereverItNowSits) {
  Script->Devices = 2;
  Script->Serials = {"FTA1", "FTB2"};
  ASSERT_TRUE(Usb.Open());
  EXPECT_EQ(Script->OpenedIndex, 0);
  Script->Unplugged = true;
  EXPECT_EQ(Usb.Read(Buffer), TUSB::kLinkLost);
  EXPECT_EQ(Usb.LastError(), "the device is gone: scripted failure");
  Usb.Close();
  EXPECT_FALSE(Usb.Open());
  // Back on another hub port, listed after a stranger with a lower serial number.
  Script->Unplugged = false;
  Script->Serials = {"FT0C", "FTA1"};
  ASSERT_TRUE(Usb.Open());
  EXPECT_EQ(Script->OpenedIndex, 1);

  TUSB chosen{std::make_unique<TFakeFtdi>(Script)};
  chosen.SetSerial("FTZ9");
  EXPECT_EQ(chosen.DisplayName(), "USB FTZ9");
  EXPECT_FALSE(chosen.Open());
  EXPECT_EQ(chosen.LastError(), "no FTDI device with serial number FTZ9");
  chosen.SetSerial("FT0C");
  ASSERT_TRUE(chosen.Open());
  EXPECT_EQ(Script->OpenedIndex, 0);
}

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
