#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <thread>

#include "PtyPair.h"
#include "link/Rs232.h"

namespace vireon::test {
namespace {

// Reads until n bytes arrived or 10 s passed; every read must fit the buffer.
std::vector<uint8_t> ReadAll(TRS232& port, size_t n) {
  std::vector<uint8_t> got;
  uint8_t buffer[TRS232::kBufferSize];
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (got.size() < n && std::chrono::steady_clock::now() < end) {
    if (port.WaitForData(100) != TRS232::TWait::Ready) continue;
    int16_t r = port.Read(buffer);
    EXPECT_LE(r, TRS232::kBufferSize);
    if (r > 0) got.insert(got.end(), buffer, buffer + r);
  }
  return got;
}

TEST(Rs232Names, NumberedPortsMapToTtySUnlessTheEnvironmentNamesADevice) {
  unsetenv("VIREON_COM2");
  EXPECT_EQ(TRS232::DeviceOfPort(1), "/dev/ttyS0");
  EXPECT_EQ(TRS232::DeviceOfPort(4), "/dev/ttyS3");
  EXPECT_EQ(TRS232::DeviceOfPort(0), "");
  EXPECT_EQ(TRS232::DeviceOfPort(5), "");
  setenv("VIREON_COM2", "/dev/pts/77", 1);
  EXPECT_EQ(TRS232::DeviceOfPort(2), "/dev/pts/77");
  unsetenv("VIREON_COM2");
}

TEST(Rs232Names, PortThreeIsNamedCom3AndAMissingDeviceFailsToOpen) {
  setenv("VIREON_COM3", "/nonexistent/ttyVIREON", 1);
  TRS232 port;
  EXPECT_FALSE(port.Open(3));
  EXPECT_STREQ(port.PortName, "COM3:");
  EXPECT_EQ(port.Port.load(), 3);
  EXPECT_EQ(port.DisplayName(), "COM3:");
  unsetenv("VIREON_COM3");
}

TEST(Rs232Open, RefusesWhatIsNoSerialPortAndSaysWhy) {
  char file[] = "/tmp/vireon-rs232-XXXXXX";
  int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  close(fd);
  const struct {
    const char* Path;
    const char* Reason;
  } cases[] = {{"/nonexistent/ttyVIREON", "no such device"},
               {file, "not a serial port"},
               {"COM9:", "no such port"},
               {"", "no such port"}};
  for (const auto& c : cases) {
    TRS232 port;
    port.SetDevicePath(c.Path);
    EXPECT_FALSE(port.Open(0)) << c.Path;
    EXPECT_EQ(port.LastError(), c.Reason) << c.Path;
    if (*c.Path != '\0') EXPECT_EQ(port.DisplayName(), c.Path);
  }
  unlink(file);
}

struct Rs232OnPty : ::testing::Test {
  TPtyPair Pty;
  TRS232 Port;
  void SetUp() override {
    ASSERT_FALSE(Pty.SlavePath.empty());
    Port.SetDevicePath(Pty.SlavePath);
    ASSERT_TRUE(Port.Open(0));
  }
};

TEST_F(Rs232OnPty, NothingWaitingReadsMinusOneWithAClearedBufferHead) {
  uint8_t buffer[TRS232::kBufferSize];
  std::fill_n(buffer, 6, 0x77);
  EXPECT_EQ(Port.Read(buffer), -1);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 5), (std::vector<uint8_t>{0, 0, 0, 0, 0x77}));
  EXPECT_EQ(Port.WaitForData(10), TRS232::TWait::Timeout);
}

TEST_F(Rs232OnPty, EveryByteValuePassesUnchangedBothWays) {
  // Line editing, CR/LF translation or XON/XOFF would alter some of these.
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  Pty.Send(all);
  EXPECT_EQ(ReadAll(Port, all.size()), all);
  EXPECT_EQ(Port.Write(all.data(), static_cast<int>(all.size())), 256);
  EXPECT_EQ(Pty.Receive(all.size()), all);
}

TEST_F(Rs232OnPty, ALongBurstArrivesWholeInBufferSizedReads) {
  std::vector<uint8_t> burst(12000);
  for (size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<uint8_t>(i * 7);
  std::thread writer([&] { Pty.Send(burst); });
  std::vector<uint8_t> got = ReadAll(Port, burst.size());
  writer.join();
  EXPECT_EQ(got, burst);
}

TEST_F(Rs232OnPty, APortInUseCannotBeOpenedAgain) {
  TRS232 second;
  second.SetDevicePath(Pty.SlavePath);
  EXPECT_FALSE(second.Open(0));
  EXPECT_EQ(second.LastError(), "in use by another program");
}

TEST_F(Rs232OnPty, AHungUpLineIsReportedAsLostNotAsData) {
  Pty.CloseMaster();
  EXPECT_EQ(Port.WaitForData(1000), TRS232::TWait::Lost);
  uint8_t buffer[TRS232::kBufferSize];
  EXPECT_EQ(Port.Read(buffer), TRS232::kLinkLost);
  EXPECT_EQ(Port.LastError(), "the line hung up");
  const uint8_t frame[5] = {0xAA, 0x02, 0x00, 0x1C, 0x1C};
  EXPECT_EQ(Port.Write(frame, 5), 65535);
}

// As /dev/serial/by-id names an adapter that comes back under another ttyUSB number.
TEST(Rs232Reopen, TheChosenNameIsFollowedAfreshToTheDeviceNowBehindIt) {
  const std::string link = "/tmp/vireon-rs232-link-" + std::to_string(getpid());
  auto first = std::make_unique<TPtyPair>();
  TPtyPair second;
  ASSERT_EQ(symlink(first->SlavePath.c_str(), link.c_str()), 0);
  TRS232 port;
  port.SetDevicePath(link);
  ASSERT_TRUE(port.Open(0));
  EXPECT_FALSE(port.NodeGone());

  first.reset();  // unplugged: the terminal and its node go
  EXPECT_TRUE(port.NodeGone());
  EXPECT_EQ(port.LastError(), "the device was removed");
  port.Close();
  unlink(link.c_str());
  ASSERT_EQ(symlink(second.SlavePath.c_str(), link.c_str()), 0);
  ASSERT_TRUE(port.Open(0));
  const uint8_t frame[5] = {0xAA, 0x02, 0x00, 0x1C, 0x1C};
  EXPECT_EQ(port.Write(frame, 5), 5);
  EXPECT_EQ(second.Receive(5), std::vector<uint8_t>(frame, frame + 5));
  EXPECT_EQ(port.DisplayName(), link);
  unlink(link.c_str());
}

}  // namespace
}  // namespace vireon::test
