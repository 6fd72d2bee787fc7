#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "../../unit/log/LogTestSupport.h"
#include "Process.h"
#include "RecordedLog.h"
#include "gps/Gps.h"
#include "link/ComRouter.h"
#include "log/LogRouter.h"
#include "model/Engine.h"

namespace vireon::test {
namespace {

bool WaitFor(const std::function<bool()>& done) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The logger's side of the line: engine, transports and communications thread on the sim's pty.
struct TLogger {
  TGPSShared Gps;
  TEngine Engine{Gps};
  TUSB Usb;
  TRS232 Rs232;
  std::unique_ptr<TCom_Router> Router;

  explicit TLogger(const std::string& device) {
    Engine.LinkMode = 1;
    Engine.PortNumber = 0;
    Rs232.SetDevicePath(device);
    Router = std::make_unique<TCom_Router>(Engine, Usb, Rs232);
  }
  // Plays the display threads' part: takes every update so new levels are stored.
  void TakeUpdates() {
    for (Event& e : Engine.ReceiverEvent) e.Reset();
  }
};

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) {
  return b;
}

TEST(LinkWithSimulator, TheInstrumentFirstHearsTheSerialNumberRequestAndIsIdentified) {
  TSim sim({"--serial", "VS123456", "--rate", "20"});
  ASSERT_FALSE(sim.Pty.empty());
  TLogger logger(sim.Pty);
  logger.Router->Start();
  std::vector<uint8_t> received = sim.ReceivedBytes(5);
  ASSERT_GE(received.size(), 5u);
  EXPECT_EQ(std::vector<uint8_t>(received.begin(), received.begin() + 5),
            Bytes({0xAA, 0x02, 0x00, 0x1C, 0x1C}));
  EXPECT_EQ(logger.Engine.StatusText(), "Connected via COM");
  // The serial number answer makes the engine ask for the configuration, which arrives too.
  ASSERT_TRUE(WaitFor([&] { return logger.Engine.SerialNumber() == "VS123456"; }));
  ASSERT_TRUE(WaitFor([&] { return logger.Engine.ReceiverActive[1].load() == 1; }));
  EXPECT_TRUE(logger.Engine.Receiver(0).IsWrapped());
  EXPECT_FALSE(logger.Engine.Receiver(1).IsWrapped());
}

// Records the order of packet types the engine hands to the log.
struct TTypeRecorder : TEngineHost, TLogSink {
  void PressMode(TMode) override {}
  bool LogModeDown() const override { return true; }
  void ShowScanWarning(const char*) override {}
  void PostPacket(const uint8_t* data, int16_t) override {
    std::lock_guard lock(M);
    Types.push_back(data[2]);
  }
  bool TuningAfterSerial() {
    std::lock_guard lock(M);
    auto serial = std::find(Types.begin(), Types.end(), 28);
    return std::find(serial, Types.end(), 5) != Types.end();
  }
  std::mutex M;
  std::vector<uint8_t> Types;
};

TEST(LinkWithSimulator, StartOnConnectSendsTheScanSetUpAfterTheSerialNumberAnswer) {
  TSim sim({"--rate", "5", "--start-on-connect"});
  TLogger logger(sim.Pty);
  TTypeRecorder recorder;
  logger.Engine.SetHost(&recorder);
  logger.Engine.SetLogSink(&recorder);
  logger.Router->Start();
  EXPECT_TRUE(WaitFor([&] { return recorder.TuningAfterSerial(); }));
  logger.Router->RequestStop();
  logger.Router->Join();
}

TEST(LinkWithSimulator, ClockGpsMarkerAndEveryModeReachTheEngine) {
  TSim sim({"--rate", "40", "--mode", "scan"});
  TLogger logger(sim.Pty);
  logger.Router->Start();
  ASSERT_TRUE(WaitFor([&] { return logger.Engine.ReceiverActive[0].load() == 1; }));

  sim.Process.Write("marker\nmarker\n");
  EXPECT_TRUE(WaitFor([&] { return logger.Engine.MarkerNumber.load() == 2; }));
  EXPECT_TRUE(WaitFor([&] { return std::fabs(logger.Gps.Copy().FilLatitude - 55.7) < 0.5; }));
  EXPECT_TRUE(WaitFor([&] {
    logger.TakeUpdates();
    return logger.Engine.ScanLevels[0][3].load() != kNoLevel;
  }));

  sim.Process.Write("table\n");
  EXPECT_TRUE(WaitFor([&] {
    logger.TakeUpdates();
    // The sweep goes on from wherever the last mode left it: any stored entry will do.
    for (const auto& level : logger.Engine.TableLevels[0])
      if (level.load() != 0) return true;
    return false;
  }));
  sim.Process.Write("single\n");
  EXPECT_TRUE(WaitFor([&] { return logger.Engine.SingleDataReady[1].load() == 1; }));
  EXPECT_GT(logger.Engine.SingleAverage[1].load(), -127);
}

TEST(LinkWithSimulator, ANoisyLineAtFullRateStillDeliversOnlyGoodPackets) {
  TSim sim({"--full-rate", "--noise", "0.3", "--seed", "7"});
  TLogger logger(sim.Pty);
  std::atomic<int> packets{0};
  std::atomic<int> strangers{0};
  logger.Router->SetPacketHandler([&](const PacketRecord& record) {
    static const std::set<int> kSent = {0, 1, 4, 5, 6, 7, 28};
    if (kSent.count(record.Type) == 0) ++strangers;
    ++packets;
    logger.Engine.Dispatch(record);
  });
  logger.Router->Start();
  ASSERT_TRUE(WaitFor([&] { return packets.load() >= 300; }));
  logger.Router->RequestStop();
  logger.Router->Join();
  EXPECT_EQ(strangers.load(), 0);
  EXPECT_GT(logger.Router->Framer.BadChecksum, 0u);
}

TEST(LinkWithSimulator, ConcurrentCommandsReachTheInstrumentAsWholeFrames) {
  TSim sim({"--full-rate"});
  TLogger logger(sim.Pty);
  logger.Router->Start();
  ASSERT_TRUE(WaitFor([&] { return logger.Engine.ReceiverActive[0].load() == 1; }));
  constexpr int kThreads = 4, kEach = 25;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([&] {
      for (int k = 0; k < kEach; ++k) logger.Engine.RequestConfig();
    });
  for (auto& s : senders) s.join();

  // Serial request, the configuration request it caused, then the hundred.
  constexpr size_t kFrames = 2 + kThreads * kEach;
  std::vector<uint8_t> wire = sim.ReceivedBytes(kFrames * 5);
  ASSERT_EQ(wire.size(), kFrames * 5);
  for (size_t f = 0; f < kFrames; ++f) {
    std::vector<uint8_t> frame(wire.begin() + static_cast<long>(5 * f),
                               wire.begin() + static_cast<long>(5 * f + 5));
    EXPECT_EQ(frame, f == 0 ? Bytes({0xAA, 0x02, 0x00, 0x1C, 0x1C})
                            : Bytes({0xAA, 0x02, 0x00, 0x01, 0x01}))
        << "frame " << f;
  }
}

TEST(LinkWithSimulator, AMissingPortEndsTheThreadWithItsName) {
  TLogger logger("/dev/vireon-no-such-tty");
  logger.Router->Start();
  ASSERT_TRUE(WaitFor([&] { return logger.Router->OpenFailed.load(); }));
  logger.Router->Join();
  EXPECT_EQ(logger.Engine.StatusText(), "Could not open /dev/vireon-no-such-tty: no such device");
}

size_t SerialRequests(const std::vector<uint8_t>& wire) {
  const std::vector<uint8_t> request = Bytes({0xAA, 0x02, 0x00, 0x1C, 0x1C});
  size_t n = 0;
  for (auto at = wire.begin();
       (at = std::search(at, wire.end(), request.begin(), request.end())) != wire.end(); ++at)
    ++n;
  return n;
}

// The cable pulled and put back: the sim's terminal goes and a new one, with another number,
// appears behind the same link, as an adapter does behind its /dev/serial/by-id name.
TEST(LinkWithSimulator, AnUnpluggedInstrumentIsShownLostThenFoundAgainAndTheLogGoesOnWhole) {
  test::TScratchDir dir;
  TSim sim({"--serial", "VS000777", "--rate", "20"});
  ASSERT_FALSE(sim.Pty.empty());
  TLogger logger(TSim::LinkPath());
  test::TCountingHost host;
  logger.Engine.SetHost(&host);
  TLog_Router writer(logger.Engine, dir.File("unplug.KLF"));
  writer.Start();
  logger.Engine.SetLogSink(&writer);
  logger.Router->Start();
  ASSERT_TRUE(WaitFor([&] { return logger.Engine.SerialNumber() == "VS000777"; }));
  ASSERT_EQ(SerialRequests(sim.ReceivedBytes(10)), 1u);

  sim.Process.Write("unplug\n");
  ASSERT_TRUE(WaitFor(
      [&] { return logger.Engine.StatusText() == "Connection lost: " + TSim::LinkPath(); }));
  sim.Process.Write("plug\n");
  std::string pty, link;
  ASSERT_TRUE(sim.Process.ReadLine(pty) && sim.Process.ReadLine(link));
  EXPECT_EQ(link, TSim::LinkPath());
  ASSERT_TRUE(WaitFor([&] { return logger.Engine.StatusText() == "Connected via COM"; }));
  EXPECT_EQ(SerialRequests(sim.ReceivedBytes(20)), 2u);
  const int16_t marker = logger.Engine.MarkerNumber.load();
  sim.Process.Write("marker\n");
  ASSERT_TRUE(WaitFor([&] { return logger.Engine.MarkerNumber.load() == marker + 1; }));
  std::this_thread::sleep_for(std::chrono::seconds(1));  // levels at 20 a second

  logger.Router->RequestStop();
  logger.Router->Join();
  logger.Engine.SetLogSink(nullptr);
  writer.RequestStop();
  writer.Join();
  EXPECT_FALSE(writer.Failed());
  EXPECT_GT(test::WholeKlfRecords(test::ReadAll(dir.File("unplug.KLF"))), 20);
}

TEST(LiveDecoder, PrintsEveryPacketUntilItsDurationEnds) {
  TSim sim({"--serial", "VS000999", "--rate", "20"});
  TProcess decode({BinDir() + "/vireon-decode", "--port", sim.Pty, "--duration", "2", "--summary"});
  ASSERT_TRUE(decode.Started());
  std::string out = decode.RestOfOutput();
  EXPECT_EQ(decode.Wait(), 0);
  EXPECT_NE(out.find("\"SerialNumber\":\"VS000999\""), std::string::npos);
  EXPECT_NE(out.find("\"type\":7"), std::string::npos);
  EXPECT_NE(out.find("{\"summary\":{\"packets\":"), std::string::npos);
  EXPECT_NE(out.find("\"bad_checksum\":0,\"bad_length\":0}}"), std::string::npos);
  std::vector<uint8_t> wire = sim.ReceivedBytes(5);
  ASSERT_GE(wire.size(), 5u);
  EXPECT_EQ(std::vector<uint8_t>(wire.begin(), wire.begin() + 5),
            Bytes({0xAA, 0x02, 0x00, 0x1C, 0x1C}));
}

TEST(LiveDecoder, SaysWhenTheLinkIsLostAndRestoredAndLogsAcrossTheGap) {
  test::TScratchDir dir;
  TSim sim({"--rate", "20"});
  const std::string log = dir.File("gap.KLF");
  TProcess decode(
      {BinDir() + "/vireon-decode", "--port", TSim::LinkPath(), "--log", log, "--duration", "6"});
  std::string line;
  ASSERT_TRUE(decode.ReadLine(line));
  sim.Process.Write("unplug\n");
  ASSERT_TRUE(decode.ReadErrorLine(line));
  EXPECT_NE(line.find("link lost"), std::string::npos) << line;
  EXPECT_NE(line.find(TSim::LinkPath() + ": the line hung up"), std::string::npos) << line;
  sim.Process.Write("plug\n");
  ASSERT_TRUE(decode.ReadErrorLine(line));
  EXPECT_NE(line.find("link restored"), std::string::npos) << line;
  const std::string out = decode.RestOfOutput();
  EXPECT_EQ(decode.Wait(), 0);
  EXPECT_NE(out.find("\"type\":4"), std::string::npos);
  EXPECT_GT(test::WholeKlfRecords(test::ReadAll(log)), 20);
}

// The session capture logged as the logger logs it, its header holding the serial number and
// receivers the capture announces first.
std::string RecordSession(const test::TScratchDir& dir) {
  const std::string name = dir.File("session.KLF");
  test::RecordLog(test::ReadAll(VIREON_TEST_DATA "/session.bin"), name, 2);
  return name;
}

// What vireon-decode reads from the log's packet records (not its header), without the log's
// own fields.
std::vector<nlohmann::json> LoggedPackets(const std::string& log) {
  TProcess decode({BinDir() + "/vireon-decode", log});
  std::vector<nlohmann::json> packets;
  std::string line;
  while (decode.ReadLine(line)) {
    nlohmann::json j = nlohmann::json::parse(line);
    const bool headerScan = j["offset"] == 63 && (j["type"] == 5 || j["type"] == 6);
    if (j.contains("header") || j["type"] == 0x80 || j["type"] == 0x81 || headerScan) continue;
    j.erase("offset");
    j.erase("checksum_ok");
    packets.push_back(j);
  }
  return packets;
}

TEST(LiveDecoder, ItsLogHoldsEveryPacketDecodedFromTheFirstBehindAHeaderOfTheAnswers) {
  test::TScratchDir dir;
  TSim sim({"--serial", "VS000321", "--rate", "20"});
  const std::string log = dir.File("headless.KLF");
  TProcess decode(
      {BinDir() + "/vireon-decode", "--port", sim.Pty, "--log", log, "--duration", "3"});
  std::vector<std::pair<int, std::string>> decoded;
  std::string line;
  while (decode.ReadLine(line)) {
    const nlohmann::json j = nlohmann::json::parse(line);
    decoded.emplace_back(j["type"], j["payload"]);
  }
  EXPECT_EQ(decode.Wait(), 0);
  std::vector<std::pair<int, std::string>> logged;
  for (const nlohmann::json& j : LoggedPackets(log)) logged.emplace_back(j["type"], j["payload"]);
  ASSERT_GT(decoded.size(), 20u);
  // Packets came before the serial-number answer that the header waited for; they are kept too.
  const auto answer = std::find_if(decoded.begin(), decoded.end(),
                                   [](const auto& packet) { return packet.first == 28; });
  ASSERT_NE(answer, decoded.end());
  EXPECT_GT(answer - decoded.begin(), 0);
  EXPECT_EQ(logged, decoded);
  const auto file = test::ReadAll(log);
  EXPECT_EQ(std::string(file.begin() + 26, file.begin() + 34), "VS000321");
}

TEST(Replay, ALogPlayedBackIsDecodedLiveExactlyAsItWasRecorded) {
  test::TScratchDir dir;
  const std::string log = RecordSession(dir);
  const std::vector<nlohmann::json> recorded = LoggedPackets(log);
  ASSERT_GT(recorded.size(), 100u);

  TSim sim({"--replay", log, "--speed", "0"});
  ASSERT_FALSE(sim.Pty.empty());
  TProcess decode({BinDir() + "/vireon-decode", "--port", sim.Pty});
  std::vector<nlohmann::json> live;
  std::string line;
  while (live.size() < recorded.size() + 2 && decode.ReadLine(line))
    live.push_back(nlohmann::json::parse(line));
  decode.Signal(SIGTERM);
  EXPECT_EQ(decode.Wait(), 0);
  ASSERT_EQ(live.size(), recorded.size() + 2);
  // First the answers to the decoder's two requests, from the log's header.
  EXPECT_EQ(live[0]["SerialNumber"], "VX123456");
  EXPECT_EQ(live[1]["type"], 1);
  EXPECT_EQ(live[1]["ReceiverActive"], nlohmann::json({1, 1}));
  for (size_t k = 0; k < recorded.size(); ++k)
    ASSERT_EQ(live[k + 2], recorded[k]) << "packet " << k;
}

TEST(Replay, AFileThatIsNoLogIsRefusedOnOneLine) {
  test::TScratchDir dir;
  test::WriteAll(dir.File("notes.KLF"), {'h', 'i', '\n'});
  TProcess sim({BinDir() + "/vireon-sim", "--replay", dir.File("notes.KLF")});
  std::string line, extra;
  ASSERT_TRUE(sim.ReadErrorLine(line));
  EXPECT_NE(line.find("is not a KLF log"), std::string::npos) << line;
  EXPECT_FALSE(sim.ReadErrorLine(extra));
  EXPECT_EQ(sim.Wait(), 2);
}

TEST(LiveDecoder, StopsCleanlyOnSigterm) {
  TSim sim({"--rate", "20"});
  TProcess decode({BinDir() + "/vireon-decode", "--port", sim.Pty, "--summary"});
  std::string line;
  ASSERT_TRUE(decode.ReadLine(line));
  decode.Signal(SIGTERM);
  std::string rest = decode.RestOfOutput();
  EXPECT_EQ(decode.Wait(), 0);
  EXPECT_NE(rest.find("{\"summary\":"), std::string::npos);
}

TEST(LiveDecoder, APortThatCannotBeOpenedIsNamedOnOneLineWithExitCodeTwo) {
  TProcess decode({BinDir() + "/vireon-decode", "--port", "/dev/vireon-no-such-tty"});
  std::string line, extra;
  ASSERT_TRUE(decode.ReadErrorLine(line));
  EXPECT_NE(line.find("Could not open /dev/vireon-no-such-tty: no such device"), std::string::npos);
  EXPECT_FALSE(decode.ReadErrorLine(extra));
  EXPECT_EQ(decode.Wait(), 2);
  EXPECT_TRUE(decode.RestOfOutput().empty());
}

}  // namespace
}  // namespace vireon::test
