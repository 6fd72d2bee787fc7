#include <gtest/gtest.h>

#include <vector>

#include "model/Engine.h"

namespace vireon {
namespace {

using Bytes = std::vector<uint8_t>;

struct FakeHost : TEngineHost {
  void PressMode(TMode mode) override { Modes.push_back(mode); }
  bool LogModeDown() const override { return LogDown; }
  void ShowScanWarning(const char* text) override { Warnings.push_back(text); }
  std::vector<TMode> Modes;
  bool LogDown = false;
  std::vector<std::string> Warnings;
};

struct FakeSender : TPacketSender {
  bool WriteBytes(const uint8_t* bytes, int n) override {
    Frames.emplace_back(bytes, bytes + n);
    return true;
  }
  std::vector<Bytes> Frames;
};

struct FakeSink : TLogSink {
  void PostPacket(const uint8_t* data, int16_t count) override {
    Packets.emplace_back(data, data + count);
  }
  std::vector<Bytes> Packets;
};

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    Engine.SetHost(&Host);
    Engine.SetSender(&Sender);
  }

  // Delivers one packet through the same record, as the communications thread reuses its own.
  void Dispatch(uint8_t type, const Bytes& payload) {
    BuildFrame(Record, type, payload.data(), static_cast<int>(payload.size()));
    Engine.Dispatch(Record);
  }

  void ConfigureBoth() {
    Bytes config(25, 0);
    config[0] = 3;
    Dispatch(1, config);
  }

  TGPSShared Gps;
  TEngine Engine{Gps};
  FakeHost Host;
  FakeSender Sender;
  FakeSink Sink;
  PacketRecord Record;
};

TEST_F(EngineTest, StartsWithNoReadingsAndNothingCaptured) {
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Engine.SingleAverage[i], -120);
    EXPECT_EQ(Engine.ReceiverActive[i], 0);
    for (const auto& level : Engine.ScanLevels[i]) EXPECT_EQ(level, -120);
    EXPECT_EQ(Engine.TableLevels[i][0], 0);
    EXPECT_EQ(Engine.TableLevels[i][kTableEntries - 1], 0);
  }
  EXPECT_EQ(Engine.PortNumber, 1);
  EXPECT_EQ(Engine.LinkMode, 0);
  EXPECT_EQ(Engine.SerialNumber(), "");
  EXPECT_EQ(Engine.ScanInfoCaptured, 0);
  EXPECT_TRUE(Engine.Snapshot().ScanInfoRecord.empty());
}

TEST_F(EngineTest, ConfigurationUpdatesOnlyThePresentReceiverFromItsFixedBlock) {
  Bytes config(25, 0);
  config[0] = 3;
  config[1] = 0x11;   // receiver 0 LowEdge
  config[13] = 0x22;  // receiver 1 LowEdge
  Dispatch(1, config);
  Engine.RangeCaptionStale[0] = 0;
  Engine.RangeCaptionStale[1] = 0;
  Engine.ConfigChanged = 0;

  config[0] = 0b10;
  config[1] = 0x33;
  config[13] = 0x44;
  Dispatch(1, config);
  EXPECT_EQ(Engine.ReceiverActive[0], 0);
  EXPECT_EQ(Engine.ReceiverActive[1], 1);
  EXPECT_EQ(Engine.Receiver(0).Config.LowEdge, 0x11u);
  EXPECT_EQ(Engine.Receiver(1).Config.LowEdge, 0x44u);
  EXPECT_EQ(Engine.RangeCaptionStale[0], 0);
  EXPECT_EQ(Engine.RangeCaptionStale[1], 1);
  EXPECT_EQ(Engine.ConfigChanged, 1);
}

TEST_F(EngineTest, ShortPacketNeverDecodesStaleBytesOfTheReusedRecord) {
  Bytes filler(100, 0x77);
  Dispatch(8, filler);
  Dispatch(1, {0b01});  // presence byte only: the block reads as zeros
  EXPECT_EQ(Engine.Receiver(0).Config.LowEdge, 0u);
  EXPECT_EQ(Engine.Receiver(0).Config.StepCode, 0u);

  Dispatch(8, filler);
  Dispatch(28, {'A', 'B'});
  EXPECT_EQ(Engine.SerialNumber(), "AB");
}

TEST_F(EngineTest, SingleSampleMeanIsTruncatedTowardZero) {
  struct Case {
    Bytes Samples;
    int16_t Mean;
  };
  const Case cases[] = {{{0x88, 0x87, 0x87}, -120},  // -362 / 3
                        {{0xFF, 0xFE}, -1},          // -3 / 2
                        {{0x05, 0x02}, 3},
                        {{}, -120}};
  for (const auto& c : cases) {
    Dispatch(3, c.Samples);
    EXPECT_EQ(Engine.SingleAverage[1], c.Mean);
    EXPECT_EQ(Engine.SingleDataReady[1], 1);
    Engine.SingleDataReady[1] = 0;
  }
  Dispatch(2, {0x90, 0x91});
  EXPECT_EQ(Engine.SampleBuffer[0][1], 0x91);
  EXPECT_EQ(Engine.SingleAverage[0], -111);
}

// A display that has not drawn the last change yet must still get every level that follows.
TEST_F(EngineTest, AReceiverNotYetRedrawnStillStoresEveryLevel) {
  ConfigureBoth();
  for (Event& e : Engine.ReceiverEvent) e.Set();
  Dispatch(2, {0x90});
  Dispatch(7, {0, 2, 0xB0, 1, 9, 0xA8});
  Dispatch(9, {0, 0x05, 0x00, 0x90, 1, 0xFF, 0x0B, 0x91});
  EXPECT_EQ(Engine.SingleAverage[0], -112);
  EXPECT_EQ(Engine.SingleDataReady[0], 1);
  EXPECT_EQ(Engine.ScanLevels[0][2], -80);
  EXPECT_EQ(Engine.ScanLevels[1][9], -88);
  EXPECT_EQ(Engine.TableLevels[0][5], -112);
  EXPECT_EQ(Engine.TableLevels[1][3071], -111);
  EXPECT_EQ(Host.Modes, (std::vector<TMode>{TMode::Single, TMode::Scan, TMode::Table}));
}

TEST_F(EngineTest, ScanLevelsGoToTheReceiverNamedByEachEntry) {
  ConfigureBoth();
  Dispatch(7, {0, 0, 0xB0, 1, 1, 0xA8, 2, 9, 0x90, 0xFF, 2, 0xA0, 0, 3, 0xC4});
  EXPECT_EQ(Engine.ScanLevels[0][0], -80);
  EXPECT_EQ(Engine.ScanLevels[0][3], -60);
  EXPECT_EQ(Engine.ScanLevels[1][1], -88);
  EXPECT_EQ(Engine.ScanLevels[1][9], -112);
  EXPECT_EQ(Engine.ScanLevels[1][2], -96);
  EXPECT_TRUE(Engine.ReceiverEvent[0].IsSet());
  EXPECT_TRUE(Engine.ReceiverEvent[1].IsSet());
}

TEST_F(EngineTest, ScanLevelsForAnInactiveReceiverAreIgnored) {
  Dispatch(1, Bytes{0b01});
  Dispatch(7, {1, 0, 0xB0, 1, 1, 0xB0, 1, 2, 0xB0, 1, 3, 0xB0, 1, 4, 0xB0});
  for (const auto& level : Engine.ScanLevels[1]) EXPECT_EQ(level, -120);
  EXPECT_FALSE(Engine.ReceiverEvent[1].IsSet());
  EXPECT_FALSE(Engine.ReceiverEvent[0].IsSet());
  EXPECT_EQ(Host.Modes, std::vector<TMode>{TMode::Scan});
}

TEST_F(EngineTest, LevelsOutsideTheArraysOrCutShortAreDiscarded) {
  ConfigureBoth();
  Dispatch(7, {0, 10, 0xB0, 0, 255, 0xB0});
  EXPECT_FALSE(Engine.ReceiverEvent[0].IsSet());
  Dispatch(9, {0, 0x00, 0x0C, 0x90, 1, 0xFF, 0xFF, 0x91});
  EXPECT_FALSE(Engine.ReceiverEvent[0].IsSet());
  EXPECT_FALSE(Engine.ReceiverEvent[1].IsSet());
  // Two whole entries and part of a third: the missing bytes are no entry at receiver 0 index 0.
  Dispatch(7, {1, 4, 0xB0, 1, 5, 0xB1, 0});
  EXPECT_EQ(Engine.ScanLevels[0][0], -120);
  EXPECT_EQ(Engine.ScanLevels[1][5], -79);
  Engine.ReceiverEvent[1].Reset();
  Dispatch(9, {1, 7, 0, 0xB2, 0});
  EXPECT_EQ(Engine.TableLevels[0][0], 0);
  EXPECT_EQ(Engine.TableLevels[1][7], -78);
}

TEST_F(EngineTest, TableIndexIsLittleEndianUpTo3071) {
  ConfigureBoth();
  Dispatch(9, {0, 0xFF, 0x0B, 0x88, 5, 0x01, 0x01, 0x89});
  EXPECT_EQ(Engine.TableLevels[0][3071], -120);
  EXPECT_EQ(Engine.TableLevels[1][257], -119);
  EXPECT_EQ(Engine.ScanInfoCaptured, 1);
  EXPECT_EQ(Host.Modes, std::vector<TMode>({TMode::Table}));
}

TEST_F(EngineTest, ClockPacketGivesDateTimeAndMarker) {
  Dispatch(4, {5, 4, 3, 2, 1, 26, 200});
  EXPECT_EQ(Engine.ClockDateText(), "01/02/2026");
  EXPECT_EQ(Engine.ClockTimeText(), "03:04:05");
  EXPECT_EQ(Engine.MarkerNumber, 200);
  EXPECT_TRUE(Engine.ClockEvent.IsSet());
}

TEST_F(EngineTest, TuningAndScanListBecomeTheStoredScanSetUp) {
  Dispatch(5, {0x10, 0, 0, 0, 0x20, 0, 0, 0});
  EXPECT_EQ(Engine.Receiver(0).Current, 0x10u);
  EXPECT_EQ(Engine.Receiver(1).Current, 0x20u);
  auto snapshot = Engine.Snapshot();
  EXPECT_EQ(snapshot.ScanInfoRecord, (Bytes{10, 0, 5, 0x10, 0, 0, 0, 0x20, 0, 0, 0, 0x35}));
  EXPECT_EQ(snapshot.ScanInfoCaptured, 1);

  Bytes lists(80, 0);
  lists[0] = 7;
  lists[40] = 9;
  Engine.ScanLevels[0][4] = -50;
  Dispatch(6, lists);
  snapshot = Engine.Snapshot();
  ASSERT_EQ(snapshot.ScanInfoRecord.size(), 84u);
  EXPECT_EQ(snapshot.ScanInfoRecord[2], 6);
  EXPECT_EQ(snapshot.Receivers[0].Current, 7u);
  EXPECT_EQ(snapshot.Receivers[1].Current, 9u);
  EXPECT_EQ(Engine.ScanLevels[0][4], -120);
}

TEST_F(EngineTest, SerialNumberKeepsAtMostEightCharactersAndAsksForTheConfiguration) {
  Dispatch(28, {'1', '2', '3', '4', '5', '6', '7', '8', '9', 'X'});
  EXPECT_EQ(Engine.SerialNumber(), "12345678");
  Dispatch(28, {'A', 'B', 'C', 0, 'E', 'F', 'G', 'H'});
  EXPECT_EQ(Engine.SerialNumber(), "ABC");
  const Bytes request{0xAA, 0x02, 0x00, 0x01, 0x01};
  EXPECT_EQ(Sender.Frames, std::vector<Bytes>({request, request}));
}

TEST_F(EngineTest, RequestSerialWritesTheSerialCommand) {
  EXPECT_TRUE(Engine.RequestSerial());
  EXPECT_EQ(Sender.Frames, std::vector<Bytes>({{0xAA, 0x02, 0x00, 0x1C, 0x1C}}));
  Engine.SetSender(nullptr);
  EXPECT_TRUE(Engine.RequestConfig());
}

TEST_F(EngineTest, EmptyGpsFrameIsDecodedAsZerosAndWakesTheGpsThread) {
  const Bytes report(152, 0x11);
  Dispatch(0, report);
  // Length 1: the body is the type byte alone.
  Record.Length = 1;
  Record.Type = 0;
  Engine.GpsEvent.Reset();
  Engine.Dispatch(Record);
  EXPECT_TRUE(Engine.GpsEvent.IsSet());
  EXPECT_EQ(Gps.Copy().Year, 0);
}

TEST_F(EngineTest, RecordWithALengthTheFramerNeverDeliversIsIgnored) {
  Host.LogDown = true;
  Engine.SetLogSink(&Sink);
  for (int16_t length : {0, -5, 2048, 32767}) {
    Record.Length = length;
    Record.Type = 6;
    Engine.Dispatch(Record);
  }
  EXPECT_TRUE(Sink.Packets.empty());
  EXPECT_EQ(Engine.ScanInfoCaptured, 0);
}

TEST_F(EngineTest, ScanWarningComesOnEverySixthLoggedPacketWithoutASetUp) {
  Host.LogDown = true;
  Engine.SetLogSink(&Sink);
  std::vector<int> warnedAt;
  for (int k = 1; k <= 12; ++k) {
    Dispatch(8, {static_cast<uint8_t>(k)});
    if (Host.Warnings.size() > warnedAt.size()) warnedAt.push_back(k);
  }
  EXPECT_EQ(warnedAt, (std::vector<int>{6, 12}));
  EXPECT_EQ(Host.Warnings[0], kScanWarningText);
  EXPECT_EQ(Sink.Packets.size(), 12u);
  EXPECT_EQ(Sink.Packets[0], (Bytes{3, 0, 8, 1, 9}));
}

TEST_F(EngineTest, LoggingNeedsTheButtonDownAndAWriter) {
  Dispatch(8, {1});
  Engine.SetLogSink(&Sink);
  Dispatch(8, {2});
  EXPECT_TRUE(Sink.Packets.empty());
  Host.LogDown = true;
  Engine.SetLogSink(nullptr);
  Dispatch(8, {3});
  Engine.SetHost(nullptr);
  Engine.SetLogSink(&Sink);
  Dispatch(8, {4});
  EXPECT_TRUE(Sink.Packets.empty());
}

TEST_F(EngineTest, CapturedSetUpSilencesTheWarning) {
  Host.LogDown = true;
  Engine.SetLogSink(&Sink);
  Dispatch(5, Bytes(8, 0));
  for (int k = 0; k < 20; ++k) Dispatch(7, Bytes(15, 0));
  EXPECT_TRUE(Host.Warnings.empty());
  EXPECT_EQ(Sink.Packets.size(), 21u);
}

}  // namespace
}  // namespace vireon
