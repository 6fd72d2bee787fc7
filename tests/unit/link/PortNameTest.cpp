#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "link/PortList.h"
#include "link/PortName.h"

namespace vireon::test {
namespace {

struct NameCase {
  const char* Name;
  int16_t LinkMode;
  int16_t PortNumber;
  const char* DevicePath;
  const char* UsbSerial;
};

class PortNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(PortNames, GiveLinkModePortNumberDeviceAndBridge) {
  const NameCase& c = GetParam();
  const TPortChoice choice = ParsePortName(c.Name);
  EXPECT_EQ(choice.LinkMode, c.LinkMode);
  EXPECT_EQ(choice.PortNumber, c.PortNumber);
  EXPECT_EQ(choice.DevicePath, c.DevicePath);
  EXPECT_EQ(choice.UsbSerial, c.UsbSerial);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortNames,
    ::testing::Values(NameCase{"COM1:", 1, 1, "", ""}, NameCase{"com3:", 1, 3, "", ""},
                      NameCase{"COM4:", 1, 4, "", ""}, NameCase{" usb ", 2, 0, "", ""},
                      NameCase{"USB FTX0417", 2, 0, "", "FTX0417"},
                      NameCase{" /dev/pts/7 ", 1, 0, "/dev/pts/7", ""},
                      // Names no port: kept as typed, so its failure can say what was asked for.
                      NameCase{"COM9:", 1, 0, "COM9:", ""}, NameCase{"USB2", 1, 0, "USB2", ""}));

TEST(PortItems, ASerialPortIsShownByItsByIdNameWithDescriptionAndSerialNumber) {
  const TPortItem plain = SerialPortItem({"/dev/ttyS0", "", "", ""});
  EXPECT_EQ(plain.Shown, "/dev/ttyS0");
  EXPECT_EQ(plain.Name, "/dev/ttyS0");
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A9XK3B2L-if00-port0";
  const TPortItem adapter = SerialPortItem({"/dev/ttyUSB1", byId, "FT232R USB UART", "A9XK3B2L"});
  EXPECT_EQ(adapter.Shown, byId + " — FT232R USB UART (A9XK3B2L)");
  EXPECT_EQ(adapter.Name, byId);
  EXPECT_EQ(UsbPortItem("FTX0417").Name, "USB FTX0417");
}

TEST(PortItems, TheByIdNameIsTheLinkThatLeadsToTheDevice) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vireon-by-id-" + std::to_string(getpid()));
  const fs::path dev = dir / "dev", byId = dir / "by-id";
  fs::create_directories(dev);
  fs::create_directories(byId);
  std::ofstream(dev / "ttyUSB0").put('x');
  std::ofstream(dev / "ttyUSB1").put('x');
  fs::create_symlink("/nonexistent", byId / "dangling");
  fs::create_symlink("../dev/ttyUSB0", byId / "usb-Prolific_0-if00-port0");
  fs::create_symlink("../dev/ttyUSB1", byId / "usb-FTDI_A9XK3B2L-if00-port0");
  EXPECT_EQ(ByIdName((dev / "ttyUSB1").string(), byId.string()),
            (byId / "usb-FTDI_A9XK3B2L-if00-port0").string());
  EXPECT_EQ(ByIdName((dev / "ttyUSB0").string(), (dir / "none").string()), "");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vireon::test
