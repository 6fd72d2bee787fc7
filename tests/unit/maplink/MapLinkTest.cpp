#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "MapTestSupport.h"
#include "gps/Gps.h"
#include "gps/MapLink.h"
#include "platform/SharedMemory.h"

namespace vireon {
namespace {

using Block = std::array<uint8_t, kMapBlockSize>;

std::vector<uint8_t> Bytes(const Block& b, size_t offset, size_t n) {
  return {b.begin() + offset, b.begin() + offset + n};
}

// A block name of this test process alone, removed at the end.
struct TestBlockName {
  TestBlockName() {
    static int n = 0;
    Name = "/vireon-test-" + std::to_string(getpid()) + "-" + std::to_string(n++);
  }
  ~TestBlockName() { SharedMemory::Unlink(Name); }
  std::string Name;
};

TEST(MapRecord, DefaultRangeAndConstantsSitAtTheirOffsetsLittleEndian) {
  Block b{};
  FillMapRecord(b.data(), TMapRecord{});
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data())), "NDQMARLUNE");
  EXPECT_EQ(Bytes(b, 12, 2), (std::vector<uint8_t>{0x64, 0x00}));
  EXPECT_EQ(Bytes(b, 32, 2), (std::vector<uint8_t>{0x01, 0x00}));
  EXPECT_EQ(Bytes(b, 292, 2), (std::vector<uint8_t>{0x88, 0xFF}));
  EXPECT_EQ(Bytes(b, 294, 2), (std::vector<uint8_t>{0xCE, 0xFF}));
  EXPECT_EQ(b[296], 1);
}

TEST(MapRecord, PositionLevelAndSerialAreWrittenByteForByte) {
  // The position as the GPS report gives it: 0B CD 3D 80 milliarcseconds is exactly 55 degrees.
  std::vector<uint8_t> report(152, 0);
  const uint8_t north[4] = {0x0B, 0xCD, 0x3D, 0x80}, west[4] = {0xFF, 0x92, 0x23, 0x00};
  std::copy(north, north + 4, report.begin() + 31);
  std::copy(west, west + 4, report.begin() + 35);
  TGPS gps;
  gps.Decode(report.data(), report.size());
  Block b{};
  TMapRecord r;
  r.Latitude = gps.Latitude;
  r.Longitude = gps.Longitude;
  r.RSSI = -75;
  r.SerialNumber = "VN123456";
  FillMapRecord(b.data(), r);
  EXPECT_EQ(Bytes(b, 16, 8), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0x80, 0x4B, 0x40}));
  EXPECT_EQ(Bytes(b, 24, 8), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0x00, 0xC0}));
  EXPECT_EQ(Bytes(b, 34, 2), (std::vector<uint8_t>{0xB5, 0xFF}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[297]), 8), "VN123456");
  EXPECT_EQ(b[305], 0);
}

TEST(MapRecord, BytesOutsideTheFieldsKeepWhatTheyHeld) {
  Block b;
  b.fill(0xAA);
  TMapRecord r;
  r.SerialNumber = "AB";
  FillMapRecord(b.data(), r);
  EXPECT_EQ(b[11], 0xAA);
  EXPECT_EQ(Bytes(b, 14, 2), (std::vector<uint8_t>{0xAA, 0xAA}));
  EXPECT_EQ(b[36], 0);
  EXPECT_EQ(b[37], 0xAA);
  EXPECT_EQ(b[291], 0xAA);
  EXPECT_EQ(b[299], 0);
  EXPECT_EQ(b[300], 0xAA);
  EXPECT_EQ(b[4095], 0xAA);
}

TEST(MapRecord, OverlongSerialIsCutToEightCharactersAndStillTerminated) {
  Block b;
  b.fill(0xAA);
  TMapRecord r;
  r.SerialNumber = "0123456789";
  FillMapRecord(b.data(), r);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[297])), "01234567");
  EXPECT_EQ(b[306], 0xAA);
}

TEST(MapRecord, ReadsBackWhatWasFilled) {
  Block b{};
  TMapRecord r{51.5, -0.125, -88, -110, -40, "SN42"};
  FillMapRecord(b.data(), r);
  TMapRecord back = ReadMapRecord(b.data());
  EXPECT_EQ(back.Latitude, r.Latitude);
  EXPECT_EQ(back.Longitude, r.Longitude);
  EXPECT_EQ(back.RSSI, r.RSSI);
  EXPECT_EQ(back.RSSIMin, r.RSSIMin);
  EXPECT_EQ(back.RSSIMax, r.RSSIMax);
  EXPECT_EQ(back.SerialNumber, r.SerialNumber);
}

TEST(MapRangeValue, EditTextsReadAsLeadingDecimalIntegersKeepingLow16Bits) {
  struct Case {
    const char* Text;
    int16_t Value;
  } cases[] = {
      {"-75dBm", -75}, {"abc", 0},        {"70000", 4464}, {"-120", -120},    {"  -50", -50},
      {"+12", 12},     {"", 0},           {"-", 0},        {"- 5", 0},        {"-70000", -4464},
      {"65536", 0},    {"32768", -32768}, {"12 34", 12},   {"4294967297", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(MapRangeValue(c.Text), c.Value) << '"' << c.Text << '"';
}

TEST(SharedMemoryBlock, IsCreatedZeroedWithOwnerOnlyAccess) {
  TestBlockName name;
  SharedMemory block;
  ASSERT_TRUE(block.Open(name.Name, kMapBlockSize));
  EXPECT_EQ(block.View()[4095], 0);
  struct stat st {};
  ASSERT_EQ(stat(("/dev/shm" + name.Name).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, static_cast<off_t>(kMapBlockSize));
}

TEST(SharedMemoryBlock, ABlockMadeSmallerByAnotherProgramIsGrownBeforeUse) {
  TestBlockName name;
  int fd = shm_open(name.Name.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 100), 0);
  close(fd);
  SharedMemory block;
  ASSERT_TRUE(block.Open(name.Name, kMapBlockSize));
  block.View()[4095] = 7;  // would fault on a 100-byte object
  EXPECT_EQ(block.View()[4095], 7);
}

TEST(MapLink, WritesTheRecordEvenWithoutABusAndNotifiesOnceTheBusIsThere) {
  TestBlockName name;
  test::PrivateBus bus;
  bus.Export();  // the address, but no daemon yet
  TMapLink link(name.Name);
  TMapRecord r;
  r.RSSI = -66;
  EXPECT_TRUE(link.Write(r));
  EXPECT_EQ(link.NotificationsSent(), 0);

  SharedMemory reader;
  ASSERT_TRUE(reader.Open(name.Name, kMapBlockSize));
  EXPECT_EQ(ReadMapRecord(reader.View()).RSSI, -66);

  ASSERT_TRUE(bus.Start());
  EXPECT_TRUE(link.Write(r));
  EXPECT_EQ(link.NotificationsSent(), 1);
}

// Without an address the user's bus is the socket in the runtime folder; where there is none the
// notification is skipped, and no bus daemon is launched for it (that is a process a second).
TEST(MapLink, WithoutABusAddressTheRuntimeFoldersBusIsUsedOrNone) {
  TestBlockName name;
  test::PrivateBus bus;
  ASSERT_TRUE(bus.Start());
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  TMapLink link(name.Name);
  TMapRecord r;
  for (const auto& [runtime, sent] :
       {std::pair{std::string("/nonexistent"), 0}, std::pair{bus.Dir, 1}}) {
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_TRUE(link.Write(r));
    EXPECT_EQ(link.NotificationsSent(), sent) << runtime;
  }
  unsetenv("XDG_RUNTIME_DIR");
}

TEST(MapLink, EveryWriteReachesTheProbeOverOneBlockAndOneConnection) {
  TestBlockName name;
  test::PrivateBus bus;
  ASSERT_TRUE(bus.Start());
  test::ProbeProcess probe;
  ASSERT_TRUE(probe.Start({"--count", "3", "--timeout", "60", "--name", name.Name}));

  TMapLink link(name.Name);
  TMapRecord r{55.0, 10.5, -70, -120, -50, "VN000001"};
  std::string line;
  for (int i = 0; i < 3; ++i) {
    // The level stays the same: every report is still a notification of its own.
    r.Latitude = 55.0 + i;
    ASSERT_TRUE(link.Write(r));
    ASSERT_TRUE(probe.NextRecord(line)) << "record " << i;
    auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["latitude"], 55.0 + i);
    EXPECT_EQ(j["longitude"], 10.5);
    EXPECT_EQ(j["rssi"], -70);
    EXPECT_EQ(j["range"]["min"], -120);
    EXPECT_EQ(j["range"]["max"], -50);
    EXPECT_EQ(j["serial"], "VN000001");
  }
  EXPECT_EQ(probe.ExitStatus(), 0);
  EXPECT_EQ(link.BlocksOpened(), 1);
  EXPECT_EQ(link.BusConnections(), 1);
  EXPECT_EQ(link.NotificationsSent(), 3);
}

// Another program's block, made before the logger's link looks for it.
int MakeForeignBlock(const std::string& name, mode_t mode, uid_t owner) {
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0 || ftruncate(fd, kMapBlockSize) != 0 || fchmod(fd, mode) != 0) return -1;
  if (owner != geteuid() && fchown(fd, owner, static_cast<gid_t>(-1)) != 0) return -1;
  return fd;
}

struct ForeignCase {
  const char* Name;
  mode_t Mode;
  bool OtherUser;  // needs root to arrange
  const char* Says;
};

class MapLinkForeignBlock : public testing::TestWithParam<ForeignCase> {};

TEST_P(MapLinkForeignBlock, IsRefusedSaidOnceAndNeverWritten) {
  const ForeignCase& c = GetParam();
  if (c.OtherUser && geteuid() != 0) GTEST_SKIP() << "only root can give a block to another user";
  TestBlockName name;
  const int fd = MakeForeignBlock(name.Name, c.Mode, c.OtherUser ? 65534 : geteuid());
  ASSERT_GE(fd, 0);
  TMapLink link(name.Name);
  TMapRecord r;
  r.Latitude = 55.0;
  EXPECT_FALSE(link.Write(r));
  EXPECT_NE(link.TakeRefusal().find(name.Name + " " + c.Says), std::string::npos);
  EXPECT_FALSE(link.Write(r));
  EXPECT_EQ(link.TakeRefusal(), "");
  // Nothing reached the block; and the logger leaves another's block where it is.
  void* view = mmap(nullptr, kMapBlockSize, PROT_READ, MAP_SHARED, fd, 0);
  ASSERT_NE(view, MAP_FAILED);
  EXPECT_EQ(static_cast<const uint8_t*>(view)[0], 0);
  munmap(view, kMapBlockSize);
  close(fd);
  link.Release();
  const int kept = shm_open(name.Name.c_str(), O_RDONLY, 0);
  EXPECT_GE(kept, 0);
  close(kept);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, MapLinkForeignBlock,
    testing::Values(ForeignCase{"OpenToAll", 0666, false, "is open to other users (mode 0666)"},
                    ForeignCase{"OpenToGroup", 0640, false, "is open to other users (mode 0640)"},
                    ForeignCase{"AnotherUsers", 0600, true, "belongs to another user"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MapLink, ABlockThatCannotBeOpenedIsRefusedWithTheSystemsReason) {
  TestBlockName name;
  // Another user's private block: made by root and opened as nobody, or made unreadable by us.
  const bool root = geteuid() == 0;
  const int fd = MakeForeignBlock(name.Name, root ? 0600 : 0000, geteuid());
  ASSERT_GE(fd, 0);
  const pid_t child = fork();
  if (child == 0) {
    if (root && setuid(65534) != 0) _exit(2);
    TMapLink link(name.Name);
    const bool refused = !link.Write(TMapRecord{}) &&
                         link.TakeRefusal() == name.Name + " cannot be opened: Permission denied";
    _exit(refused ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  close(fd);
}

TEST(MapLink, ABlockRemovedWhileLoggingIsMadeAfreshSoTheMappingProgramSeesTheRecord) {
  TestBlockName name;
  TMapLink link(name.Name);
  TMapRecord r;
  r.RSSI = -61;
  ASSERT_TRUE(link.Write(r));
  SharedMemory::Unlink(name.Name);
  r.RSSI = -62;
  ASSERT_TRUE(link.Write(r));
  SharedMemory reader;
  ASSERT_TRUE(reader.Open(name.Name, kMapBlockSize, false));
  EXPECT_EQ(ReadMapRecord(reader.View()).RSSI, -62);
  EXPECT_EQ(link.BlocksOpened(), 2);
}

TEST(MapLink, AnOrderlyEndRemovesTheBlockItMadeButNotOneItFound) {
  TestBlockName made, found;
  TMapLink maker(made.Name);
  ASSERT_TRUE(maker.Write(TMapRecord{}));
  maker.Release();
  EXPECT_LT(shm_open(made.Name.c_str(), O_RDONLY, 0), 0);

  const int fd = MakeForeignBlock(found.Name, 0600, geteuid());
  ASSERT_GE(fd, 0);
  close(fd);
  TMapLink user(found.Name);
  ASSERT_TRUE(user.Write(TMapRecord{}));
  user.Release();
  const int again = shm_open(found.Name.c_str(), O_RDONLY, 0);
  EXPECT_GE(again, 0);
  close(again);
}

}  // namespace
}  // namespace vireon
