// The engine's side of logging: what it hands to the writer and when it warns that no scan
// set-up has reached the log.

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "log/KlfFile.h"
#include "log/LogRouter.h"

namespace vireon {
namespace {

using test::Bytes;

class EngineLogging : public testing::Test {
 protected:
  void SetUp() override {
    Engine.SetHost(&Host);
    Writer = std::make_unique<TLog_Router>(Engine, Dir.File("engine.KLF"));
    Writer->Start();
    Engine.SetLogSink(Writer.get());
  }
  void TearDown() override { Engine.SetLogSink(nullptr); }

  int DispatchLevels(int n) {
    for (int k = 0; k < n; ++k) {
      const PacketRecord p = test::Packet(7, Bytes(15, static_cast<uint8_t>(k)));
      Engine.Dispatch(p);
      Sent.push_back(test::LogBytes(p));
    }
    return Host.Warnings.load();
  }
  Bytes Logged() {
    Writer->RequestStop();
    Writer->Join();
    const Bytes file = test::ReadAll(Dir.File("engine.KLF"));
    return Bytes(file.begin() + 63, file.end());
  }

  TGPSShared Gps;
  TEngine Engine{Gps};
  test::TCountingHost Host;
  test::TScratchDir Dir;
  std::unique_ptr<TLog_Router> Writer;
  std::vector<Bytes> Sent;
};

TEST_F(EngineLogging, WarnsOnTheSixthAndTwelfthPacketWithoutScanSetUp) {
  EXPECT_EQ(DispatchLevels(5), 0);
  EXPECT_EQ(DispatchLevels(1), 1);
  EXPECT_EQ(DispatchLevels(5), 1);
  EXPECT_EQ(DispatchLevels(1), 2);
  EXPECT_EQ(Logged(), test::Concat(Sent));
}

TEST_F(EngineLogging, StaysSilentOnceAScanSetUpIsCaptured) {
  DispatchLevels(3);
  const PacketRecord tuning = test::Packet(5, Bytes(8, 1));
  Engine.Dispatch(tuning);
  EXPECT_EQ(DispatchLevels(30), 0);
  EXPECT_EQ(Engine.WarningCount.load(), 3);
}

TEST_F(EngineLogging, NothingIsHandedOverWhileTheLogButtonIsUp) {
  Host.LogOn = false;
  EXPECT_EQ(DispatchLevels(12), 0);
  EXPECT_TRUE(Logged().empty());
}

}  // namespace
}  // namespace vireon
