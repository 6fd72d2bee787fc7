#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "link/UsbTty.h"

namespace vireon::test {
namespace {

namespace fs = std::filesystem;

// A sysfs and a /proc of our own making. The ports' device number is /dev/null's, so a
// descriptor link to /dev/null in the fake /proc is an open port.
struct FakeKernel : ::testing::Test {
  fs::path Root = fs::temp_directory_path() / ("vireon-usbtty-" + std::to_string(getpid()));
  std::string Sys = (Root / "sys").string();
  std::string Proc = (Root / "proc").string();

  FakeKernel() {
    fs::remove_all(Root);
    fs::create_directories(Root / "proc");
  }
  ~FakeKernel() override { fs::remove_all(Root); }

  void Interface(const std::string& name, const std::string& port = "") {
    fs::create_directories(Root / "sys/bus/usb/devices" / name / port);
  }
  void Tty(const std::string& tty) {
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    fs::create_directories(Root / "sys/class/tty" / tty);
    std::ofstream(Root / "sys/class/tty" / tty / "dev")
        << major(null.st_rdev) << ":" << minor(null.st_rdev) << "\n";
  }
  void Holds(const std::string& pid, const std::string& fd, const std::string& target) {
    fs::create_directories(Root / "proc" / pid / "fd");
    fs::create_symlink(target, Root / "proc" / pid / "fd" / fd);
  }
};

TEST_F(FakeKernel, TheTtyIsTheOneOnTheDevicesFirstInterface) {
  Interface("1-2:1.0", "ttyUSB3");
  Interface("1-2.1:1.0", "ttyUSB4");
  Interface("1-3:1.1", "ttyUSB5");
  Interface("1-4:1.0", "power");
  Interface("2-1:2.0", "ttyUSB6");
  const struct {
    const char* Device;
    const char* Tty;
  } cases[] = {{"1-2", "ttyUSB3"}, {"1-2.1", "ttyUSB4"}, {"1-3", ""},
               {"1-4", ""},        {"2-1", "ttyUSB6"},   {"1-9", ""}};
  for (const auto& c : cases) EXPECT_EQ(UsbSerialTty(c.Device, Sys), c.Tty) << c.Device;
  EXPECT_EQ(UsbSerialTty("1-2", (Root / "nowhere").string()), "");
}

TEST_F(FakeKernel, OnlyAnotherProcessWithTheDeviceOpenHoldsTheTty) {
  Tty("ttyUSB0");
  const std::string self = std::to_string(getpid());
  const std::string file = (Root / "plain").string();
  std::ofstream(file) << "x";
  EXPECT_FALSE(TtyOpenElsewhere("ttyUSB0", Sys, Proc)) << "nobody";
  Holds(self, "5", "/dev/null");
  Holds("self", "5", "/dev/null");
  Holds("4242", "0", file);
  Holds("4242", "1", "/nonexistent");
  Holds("4243", "fd-gone", "/dev/zero");
  EXPECT_FALSE(TtyOpenElsewhere("ttyUSB0", Sys, Proc)) << "this process, a file, another device";
  EXPECT_FALSE(TtyOpenElsewhere("ttyUSB9", Sys, Proc)) << "a tty sysfs does not know";
  Holds("4244", "7", "/dev/null");
  EXPECT_TRUE(TtyOpenElsewhere("ttyUSB0", Sys, Proc));
}

}  // namespace
}  // namespace vireon::test
