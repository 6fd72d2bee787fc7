// vireon-decode --log-dir, as the logging service runs it: started before the instrument is
// there, one whole log per period, no packet lost or repeated across the files, a full disk that
// stops the writing and space that lets it go on.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "../../unit/log/LogTestSupport.h"
#include "Process.h"
#include "RecordedLog.h"
#include "log/KlfReader.h"

namespace vireon::test {
namespace {

namespace fs = std::filesystem;
using Records = std::vector<Bytes>;

Bytes Frame(uint8_t type, Bytes payload) {
  PacketRecord record;
  const int n = BuildFrame(record, type, payload.data(), static_cast<int>(payload.size()));
  return Bytes(record.FrameBytes(), record.FrameBytes() + n);
}

// A log whose header names an instrument and whose records are numbered packets of a type the
// engine ignores, so each record is told apart and none is a scan set-up a header repeats.
std::string NumberedLog(const TScratchDir& dir, int records) {
  Bytes stream = Frame(28, {'V', 'S', '0', '0', '0', '0', '2', '6'});
  const Bytes config = Frame(1, Bytes(25, 0));
  stream.insert(stream.end(), config.begin(), config.end());
  for (int k = 0; k < records; ++k) {
    const Bytes packet = Frame(8, {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8), 1, 2, 3,
                                   4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    stream.insert(stream.end(), packet.begin(), packet.end());
  }
  const std::string name = dir.File("numbered.KLF");
  RecordLog(stream, name, 2);
  return name;
}

// The packet records of a log (not its header), and whether it is whole.
Records PacketRecords(const std::string& log, bool& whole) {
  const int fd = ::open(log.c_str(), O_RDONLY);
  TKlfReader reader(fd);
  Records records;
  while (reader.Next() == TKlfReader::TItem::Record) {
    const TKlfRecord& r = reader.Record();
    if (r.Kind == TKlfRecord::Packet) records.emplace_back(r.Bytes, r.Bytes + r.Size);
  }
  whole = reader.Summary().Outcome == TKlfSummary::Whole;
  ::close(fd);
  return records;
}

std::vector<std::string> LogsIn(const std::string& dir) {
  std::vector<std::string> logs;
  for (const auto& entry : fs::directory_iterator(dir)) logs.push_back(entry.path().string());
  std::sort(logs.begin(), logs.end());
  return logs;
}

bool WaitForLine(TProcess& process, const std::string& text, bool errors = true) {
  std::string line;
  while (errors ? process.ReadErrorLine(line) : process.ReadLine(line))
    if (line.find(text) != std::string::npos) return true;
  return false;
}

TEST(UnattendedLogging, StartedBeforeTheInstrumentItRotatesWithoutLosingOrRepeatingAPacket) {
  TScratchDir dir;
  const std::string source = NumberedLog(dir, 900);  // about 6 s at the link's rate
  const std::string logs = dir.File("logs");
  TProcess decode({BinDir() + "/vireon-decode", "--port", TSim::LinkPath(), "--log-dir", logs,
                   "--rotate", "2"});
  ASSERT_TRUE(WaitForLine(decode, "waiting for " + TSim::LinkPath()));
  TSim sim({"--replay", source, "--speed", "1"});
  ASSERT_FALSE(sim.Pty.empty());
  ASSERT_TRUE(WaitForLine(decode, "connected to " + TSim::LinkPath()));
  std::string line;
  auto finished = [&] {
    for (int k = 0; k < 3; ++k)
      while (sim.Process.ReadErrorLine(line))
        if (line.find("replay finished") != std::string::npos) return true;
    return false;
  };
  ASSERT_TRUE(finished());
  sleep(1);
  decode.Signal(SIGTERM);
  EXPECT_EQ(decode.Wait(), 0);

  bool whole = false;
  const Records sent = PacketRecords(source, whole);
  Records logged;
  const std::vector<std::string> files = LogsIn(logs);
  EXPECT_GE(files.size(), 3u);
  for (const std::string& file : files) {
    EXPECT_TRUE(
        std::regex_match(fs::path(file).filename().string(), std::regex(R"(\d{8}T\d{6}Z\.KLF)")))
        << file;
    const Records records = PacketRecords(file, whole);
    EXPECT_TRUE(whole) << file;
    EXPECT_EQ(ReadAll(file)[26], 'V') << file;  // each file's own header names the instrument
    logged.insert(logged.end(), records.begin(), records.end());
  }
  // The replay's answers to the two requests come first, then the stream it plays.
  ASSERT_GE(logged.size(), 2u);
  EXPECT_EQ(logged[0][2], 28);
  EXPECT_EQ(logged[1][2], 1);
  EXPECT_EQ(Records(logged.begin() + 2, logged.end()), sent);
}

TEST(UnattendedLogging, TheServicesCommandLineRunsAgainstTheSimulator) {
  std::ifstream unit(VIREON_TEST_DATA "/../../packaging/vireon-log@.service");
  std::string line, exec;
  while (std::getline(unit, line))
    if (line.rfind("ExecStart=", 0) == 0) exec = line.substr(10);
  ASSERT_NE(exec, "");
  TScratchDir dir;
  TSim sim({"--rate", "20", "--serial", "FT000042"});
  // The port the udev start names by the bridge's serial number is the simulator's here.
  exec = std::regex_replace(exec, std::regex(R"("USB %i")"), sim.Pty);
  exec = std::regex_replace(exec, std::regex("/var/lib/vireon/logs/%i"), dir.File("logs"));
  exec = std::regex_replace(exec, std::regex("^/usr/bin"), BinDir());
  TProcess service({"/bin/sh", "-c", "exec " + exec});
  ASSERT_TRUE(WaitForLine(service, "logging to " + dir.File("logs/")));
  sleep(1);
  service.Signal(SIGTERM);
  EXPECT_EQ(service.Wait(), 0);
  ASSERT_EQ(LogsIn(dir.File("logs")).size(), 1u);
  bool whole = false;
  EXPECT_GT(PacketRecords(LogsIn(dir.File("logs"))[0], whole).size(), 5u);
  EXPECT_TRUE(whole);
}

TEST(UnattendedLogging, AFullDiskStopsTheWritingAndSpaceReturningLetsItGoOnInANewFile) {
  TScratchDir dir;
  const std::string disk = dir.File("disk");
  fs::create_directory(disk);
  if (::mount("vireon-test", disk.c_str(), "tmpfs", 0, "size=4m") != 0)
    GTEST_SKIP() << "a small filesystem needs a tmpfs mount, which needs root: "
                 << std::strerror(errno);
  TSim sim({"--full-rate"});
  TProcess decode(
      {BinDir() + "/vireon-decode", "--port", sim.Pty, "--log-dir", disk, "--min-free", "2"});
  EXPECT_TRUE(WaitForLine(decode, "logging to"));
  {
    std::ofstream filler(disk + "/filler", std::ios::binary);
    filler << std::string(3 << 20, 'x');
  }
  EXPECT_TRUE(WaitForLine(decode, "disk low"));
  fs::remove(disk + "/filler");
  EXPECT_TRUE(WaitForLine(decode, "disk space is back"));
  EXPECT_TRUE(WaitForLine(decode, "logging to"));
  decode.Signal(SIGTERM);
  EXPECT_EQ(decode.Wait(), 0);
  const std::vector<std::string> files = LogsIn(disk);
  EXPECT_EQ(files.size(), 2u);
  for (const std::string& file : files) {
    bool whole = false;
    EXPECT_GT(PacketRecords(file, whole).size(), 0u) << file;
    EXPECT_TRUE(whole) << file;
  }
  ::umount(disk.c_str());
}

}  // namespace
}  // namespace vireon::test
