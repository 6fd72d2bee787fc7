#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "FakeFtdi.h"
#include "PtyPair.h"
#include "gps/Gps.h"
#include "link/ComRouter.h"
#include "model/Engine.h"

namespace vireon::test {
namespace {

bool WaitFor(const std::function<bool()>& done) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::vector<uint8_t> Frame(uint8_t type, std::vector<uint8_t> payload) {
  PacketRecord record;
  int n = BuildFrame(record, type, payload.data(), static_cast<int>(payload.size()));
  return std::vector<uint8_t>(record.FrameBytes(), record.FrameBytes() + n);
}

const std::vector<uint8_t> kSerialRequest = {0xAA, 0x02, 0x00, 0x1C, 0x1C};
const std::vector<uint8_t> kConfigRequest = {0xAA, 0x02, 0x00, 0x01, 0x01};

std::vector<uint8_t> SerialAnswer() {
  return Frame(28, {'V', 'S', '0', '0', '0', '4', '1', '7'});
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct RouterFixture : ::testing::Test {
  std::shared_ptr<TFtdiScript> Script = std::make_shared<TFtdiScript>();
  TGPSShared Gps;
  TEngine Engine{Gps};
  TUSB Usb{std::make_unique<TFakeFtdi>(Script)};
  TRS232 Rs232;

  std::unique_ptr<TCom_Router> Start(int16_t linkMode, int16_t port = 0) {
    Engine.LinkMode = linkMode;
    Engine.PortNumber = port;
    auto router = std::make_unique<TCom_Router>(Engine, Usb, Rs232);
    router->Start();
    return router;
  }
};

TEST_F(RouterFixture, UsbLinkAsksForTheSerialNumberFirstAndReportsTheConnection) {
  auto router = Start(2);
  ASSERT_TRUE(WaitFor([&] { return Script->WrittenBytes().size() >= 5; }));
  EXPECT_EQ(Script->WrittenBytes(), kSerialRequest);
  EXPECT_EQ(Engine.StatusText(), "Connected via USB");
}

TEST_F(RouterFixture, TheStatusTextNamesTheBridgeChosenAmongSeveral) {
  Script->Devices = 2;
  Script->Serials = {"FTB2", "FTA1"};
  auto router = Start(2);
  EXPECT_TRUE(WaitFor([&] { return Engine.StatusText() == "Connected via USB FTA1"; }))
      << Engine.StatusText();
}

TEST_F(RouterFixture, APacketSplitOverTwoPollsIsDeliveredOnceAfterTheSecond) {
  const std::vector<uint8_t> answer = SerialAnswer();
  auto router = Start(2);
  Script->Queue({answer.begin(), answer.begin() + 6});
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(Script->M);
    return Script->Chunks.empty() && Script->Visible.empty();
  }));
  EXPECT_EQ(Engine.SerialNumber(), "");
  Script->Queue({answer.begin() + 6, answer.end()});
  // A clock packet behind it shows when the loop has moved past the answer.
  Script->Queue(Frame(4, {1, 2, 3, 4, 5, 6, 42}));
  ASSERT_TRUE(WaitFor([&] { return Engine.MarkerNumber.load() == 42; }));
  EXPECT_EQ(Engine.SerialNumber(), "VS000417");
  // The engine answers each serial number with one configuration request.
  EXPECT_EQ(Script->WrittenBytes(), Concat(kSerialRequest, kConfigRequest));
}

TEST_F(RouterFixture, FailedReadsPauseAndTheLinkCarriesOn) {
  Script->FailStatus = true;
  auto router = Start(2);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  {
    std::lock_guard lock(Script->M);
    Script->FailStatus = false;
  }
  Script->Queue(Frame(4, {0, 0, 0, 1, 1, 26, 7}));
  EXPECT_TRUE(WaitFor([&] { return Engine.MarkerNumber.load() == 7; }));
}

struct MissingPort {
  const char* Name;
  int16_t LinkMode;
  int16_t Port;
  const char* DevicePath;
  const char* Status;
};

class RouterMissingPort : public RouterFixture,
                          public ::testing::WithParamInterface<MissingPort> {};

TEST_P(RouterMissingPort, EndsTheThreadAndSaysWhichPortFailed) {
  const MissingPort& p = GetParam();
  Script->Devices = 0;
  setenv("VIREON_COM3", "/nonexistent/ttyVIREON3", 1);
  if (p.DevicePath != nullptr) Rs232.SetDevicePath(p.DevicePath);
  auto router = Start(p.LinkMode, p.Port);
  ASSERT_TRUE(WaitFor([&] { return router->OpenFailed.load(); }));
  router->Join();
  EXPECT_EQ(Engine.StatusText(), p.Status);
  EXPECT_TRUE(Script->WrittenBytes().empty());
  unsetenv("VIREON_COM3");
}

INSTANTIATE_TEST_SUITE_P(
    Ports, RouterMissingPort,
    ::testing::Values(MissingPort{"Usb", 2, 0, nullptr, "Could not open USB: no FTDI device found"},
                      MissingPort{"Com3", 1, 3, nullptr, "Could not open COM3: no such device"},
                      MissingPort{"DevicePath", 1, 0, "/nonexistent/ttyX",
                                  "Could not open /nonexistent/ttyX: no such "
                                  "device"},
                      MissingPort{"Typed", 1, 0, "COM9", "Could not open COM9: no such port"}),
    [](const auto& info) { return std::string(info.param.Name); });

size_t Count(const std::vector<uint8_t>& wire, const std::vector<uint8_t>& frame) {
  size_t n = 0;
  for (auto at = wire.begin();
       (at = std::search(at, wire.end(), frame.begin(), frame.end())) != wire.end(); ++at)
    ++n;
  return n;
}

// The logger waits for a port it could not open, as for a lost one, and takes up another chosen
// meanwhile; either way the instrument is asked for its serial number once the port opens.
struct WaitedPort {
  const char* Name;
  std::function<void(RouterFixture&, TCom_Router&, TPtyPair&)> MakeItThere;
  bool Usb;
};

class RouterWaitsForPort : public RouterFixture,
                           public ::testing::WithParamInterface<WaitedPort> {};

TEST_P(RouterWaitsForPort, RetriesTheFailedFirstOpenAndConnectsOnceThePortIsThere) {
  const WaitedPort& p = GetParam();
  TPtyPair pty;
  Script->Devices = 0;
  Rs232.SetDevicePath("/nonexistent/ttyVIREON");
  Engine.LinkMode = p.Usb ? 2 : 1;
  std::vector<TCom_Router::TLinkChange> changes;
  std::mutex changesMutex;
  TCom_Router router(Engine, Usb, Rs232);
  router.SetWaitForPort(true);
  router.SetLinkHandler([&](TCom_Router::TLinkChange change, const std::string&) {
    std::lock_guard lock(changesMutex);
    changes.push_back(change);
  });
  router.Start();
  const std::string waiting =
      std::string("Could not open ") +
      (p.Usb ? "USB: no FTDI device found" : "/nonexistent/ttyVIREON: no such device") +
      " — retrying every second (File > Port... chooses another)";
  ASSERT_TRUE(WaitFor([&] { return Engine.StatusText() == waiting; })) << Engine.StatusText();
  EXPECT_TRUE(Engine.LinkDown.load());
  p.MakeItThere(*this, router, pty);
  ASSERT_TRUE(WaitFor([&] { return !Engine.LinkDown.load(); }));
  EXPECT_FALSE(router.OpenFailed.load());
  if (p.Usb)
    EXPECT_TRUE(WaitFor([&] { return Count(Script->WrittenBytes(), kSerialRequest) == 1; }));
  else
    EXPECT_EQ(pty.Receive(5), kSerialRequest);
  router.RequestStop();
  router.Join();
  std::lock_guard lock(changesMutex);
  EXPECT_EQ(changes,
            (std::vector{TCom_Router::TLinkChange::Waiting, TCom_Router::TLinkChange::Restored}));
}

INSTANTIATE_TEST_SUITE_P(
    Ports, RouterWaitsForPort,
    ::testing::Values(WaitedPort{"PluggedInLater",
                                 [](RouterFixture& f, TCom_Router&, TPtyPair&) {
                                   std::lock_guard lock(f.Script->M);
                                   f.Script->Devices = 1;
                                 },
                                 true},
                      WaitedPort{"AnotherChosen",
                                 [](RouterFixture&, TCom_Router& router, TPtyPair& pty) {
                                   router.SwitchPort(ParsePortName(pty.SlavePath));
                                 },
                                 false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(RouterFixture, AVanishedBridgeIsShownLostAndIsAskedForItsSerialNumberWhenBack) {
  std::vector<std::pair<TCom_Router::TLinkChange, std::string>> changes;
  std::mutex changesMutex;
  Engine.LinkMode = 2;
  Engine.ReceiverActive[0] = 1;
  TCom_Router router(Engine, Usb, Rs232);
  router.SetLinkHandler([&](TCom_Router::TLinkChange change, const std::string& reason) {
    std::lock_guard lock(changesMutex);
    changes.emplace_back(change, reason);
  });
  router.Start();
  ASSERT_TRUE(WaitFor([&] { return Script->WrittenBytes().size() >= 5; }));
  // Half a frame, then the cable goes: its rest must not be taken from the next connection.
  const std::vector<uint8_t> clock = Frame(4, {1, 2, 3, 4, 5, 6, 42});
  Script->Queue({clock.begin(), clock.begin() + 5});
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(Script->M);
    return Script->Chunks.empty() && Script->Visible.empty();
  }));
  Script->Set(&TFtdiScript::Unplugged, true);
  ASSERT_TRUE(WaitFor([&] { return Engine.StatusText() == "Connection lost: USB"; }));
  // The present receiver's graph is woken to show its levels stale.
  EXPECT_TRUE(Engine.ReceiverEvent[0].IsSet());
  EXPECT_FALSE(Engine.ReceiverEvent[1].IsSet());
  Script->Set(&TFtdiScript::Unplugged, false);
  Script->Queue({clock.begin() + 5, clock.end()});
  Script->Queue(Frame(4, {1, 2, 3, 4, 5, 6, 7}));
  ASSERT_TRUE(WaitFor([&] { return Engine.MarkerNumber.load() == 7; }));
  EXPECT_EQ(Engine.StatusText(), "Connected via USB");
  EXPECT_EQ(Count(Script->WrittenBytes(), kSerialRequest), 2u);
  router.RequestStop();
  router.Join();
  EXPECT_EQ(router.Framer.BadChecksum, 0u);
  const std::vector<std::string> calls = Script->CallsMade();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "close"), 1);
  // The bridge had a serial number: it was looked for by it, and found.
  EXPECT_EQ(calls.back(), "baud 38400");
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].first, TCom_Router::TLinkChange::Lost);
  EXPECT_EQ(changes[0].second, "the device is gone: scripted failure");
  EXPECT_EQ(changes[1].first, TCom_Router::TLinkChange::Restored);
}

TEST_F(RouterFixture, ASilentLinkSaysForHowLongUntilBytesArrive) {
  auto router = Start(2);
  ASSERT_TRUE(
      WaitFor([&] { return Engine.StatusText() == "Connected via USB — no data for 5 s"; }));
  Script->Queue(Frame(4, {1, 2, 3, 4, 5, 6, 9}));
  ASSERT_TRUE(WaitFor([&] { return Engine.MarkerNumber.load() == 9; }));
  EXPECT_EQ(Engine.StatusText(), "Connected via USB");
}

TEST_F(RouterFixture, ConcurrentCommandsGoOutAsWholeFrames) {
  Engine.LinkMode = 2;
  TCom_Router router(Engine, Usb, Rs232);
  ASSERT_TRUE(router.Connect());
  constexpr int kThreads = 4, kFrames = 100;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int k = 0; k < kFrames; ++k) {
        auto f = Frame(static_cast<uint8_t>(t), std::vector<uint8_t>(8, static_cast<uint8_t>(k)));
        EXPECT_TRUE(router.WriteBytes(f.data(), static_cast<int>(f.size())));
      }
    });
  }
  for (auto& s : senders) s.join();

  const std::vector<uint8_t> wire = Script->WrittenBytes();
  TPacket framer;
  int frames = 0;
  int next[kThreads] = {};
  for (uint8_t b : wire) {
    if (framer.Push(b) != 0) continue;
    ++frames;
    // Each sender's frames arrive whole and in its own order.
    int t = framer.Body()[0];
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(framer.Body()[1], next[t]++);
  }
  EXPECT_EQ(frames, kThreads * kFrames);
  EXPECT_EQ(wire.size(), static_cast<size_t>(kThreads * kFrames * 13));
  EXPECT_EQ(framer.BadChecksum + framer.BadLength, 0u);
}

TEST_F(RouterFixture, AFailedShortOrImpossibleFrameIsReportedAsFailure) {
  Engine.LinkMode = 2;
  TCom_Router router(Engine, Usb, Rs232);
  ASSERT_TRUE(router.Connect());
  PacketRecord record;
  BuildFrame(record, 1, nullptr, 0);
  EXPECT_TRUE(router.SendFrame(record));
  EXPECT_EQ(Script->WrittenBytes(), kConfigRequest);
  // A record whose length it cannot hold is refused, not sent from beyond its end.
  for (int16_t length : {int16_t{0}, int16_t{-3}, int16_t{kDataSize + 2}}) {
    PacketRecord bad = record;
    bad.Length = length;
    EXPECT_FALSE(router.SendFrame(bad));
  }
  EXPECT_EQ(Script->WrittenBytes(), kConfigRequest);
  Script->ShortWriteBy = 1;
  EXPECT_FALSE(router.SendFrame(record));
  Script->FailWrite = true;
  EXPECT_FALSE(router.SendFrame(record));
}

TEST_F(RouterFixture, SerialLinkOnAPseudoTerminalTalksBothWays) {
  TPtyPair pty;
  ASSERT_FALSE(pty.SlavePath.empty());
  Rs232.SetDevicePath(pty.SlavePath);
  auto router = Start(1);
  EXPECT_EQ(pty.Receive(5), kSerialRequest);
  EXPECT_EQ(Engine.StatusText(), "Connected via COM");
  const std::vector<uint8_t> answer = SerialAnswer();
  pty.Send({answer.begin(), answer.begin() + 4});
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // lets a poll see the first part
  pty.Send({answer.begin() + 4, answer.end()});
  EXPECT_EQ(pty.Receive(5), kConfigRequest);
  EXPECT_EQ(Engine.SerialNumber(), "VS000417");
  router->RequestStop();
  router->Join();
}

}  // namespace
}  // namespace vireon::test
