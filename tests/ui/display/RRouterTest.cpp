#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "DisplayTestSupport.h"
#include "display/RRouter.h"
#include "gps/Gps.h"
#include "link/Packet.h"
#include "model/Engine.h"

namespace vireon::test {
namespace {

TEST(TableRanking, TenStrongestByDescendingLevelWithTiesInTableOrder) {
  std::vector<std::atomic<int8_t>> table(kTableEntries);
  for (auto& v : table) v = 0;  // -256
  TTopTen top = RankTable(table.data(), kTableEntries);
  for (const TTableSlot& s : top) {
    EXPECT_EQ(s.Level, -120);
    EXPECT_EQ(s.Position, 0);
  }

  table[6] = -50;   // position 7
  table[2] = -50;   // position 3
  table[0] = -60;   // position 1
  table[9] = -120;  // never enters
  table[3071] = -119;
  top = RankTable(table.data(), kTableEntries);
  const TTableSlot expected[] = {{-50, 3}, {-50, 7}, {-60, 1}, {-119, 3072}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(top[k].Level, expected[k].Level) << k;
    EXPECT_EQ(top[k].Position, expected[k].Position) << k;
  }
  EXPECT_EQ(top[4].Level, -120);

  // Twelve strong entries: the weakest two drop out, equal levels keep table order.
  // Entries 111, 110 | 109, 108 | ... | 101, 100 read -20, -21, ... -25, in pairs.
  for (int n = 111; n >= 100; --n) table[n] = static_cast<int8_t>(-20 - (111 - n) / 2);
  top = RankTable(table.data(), kTableEntries);
  EXPECT_EQ(top[0].Level, -20);
  EXPECT_EQ(top[0].Position, 111);
  EXPECT_EQ(top[1].Position, 112);
  EXPECT_EQ(top[9].Level, -24);
  EXPECT_EQ(top[9].Position, 104);
}

TEST(LevelConversion, StoredBytesReadAsTheUnsignedValueMinus256) {
  const struct {
    int8_t Stored;
    int16_t Level;
  } cases[] = {{0, -256}, {16, -240}, {127, -129}, {-128, -128}, {-75, -75}, {-1, -1}};
  for (const auto& c : cases) EXPECT_EQ(LevelOf(c.Stored), c.Level) << int{c.Stored};
}

// Stands in for the main window's buttons and the map link. Touched on the UI thread only.
class TFakeHost : public TDisplayHost {
 public:
  bool SingleModeDown() const override { return Single; }
  bool TableModeDown() const override { return Table; }
  bool FrequencyDown() const override { return Frequency; }
  // Every update starts here.
  DBar* Bar(int16_t i) const override {
    ++Updates[i];
    return Bars[i];
  }
  bool MapUsesReceiver(int16_t i) const override { return i == MapReceiver; }
  void SetMapRSSI(int16_t level) override { MapLevels.push_back(level); }

  bool Single = true;
  bool Table = false;
  bool Frequency = true;
  int16_t MapReceiver = 0;
  std::vector<int16_t> MapLevels;
  DBar* Bars[2] = {nullptr, nullptr};
  mutable int Updates[2] = {0, 0};
};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// Receiver i: 450.000 to 470.000 MHz in 12.5 kHz steps (positions 36000..37600), tuned to
// channel 17 (450.2 MHz).
class DisplayThread : public ::testing::Test {
 protected:
  DisplayThread() {
    SetUiDispatcher(&Dispatcher);
    for (int i = 0; i < 2; ++i) Host.Bars[i] = Panels[i].Bar;
    Configure(false);
    Send(6, [] {
      std::vector<uint8_t> p;
      for (int i = 0; i < 2; ++i)
        for (uint32_t k = 0; k < 10; ++k) Put32(p, 36004 + k);
      return p;
    }());
    Send(5, [] {
      std::vector<uint8_t> p;
      Put32(p, 36016);
      Put32(p, 36016);
      return p;
    }());
    for (int i = 0; i < 2; ++i)
      Routers[i] = std::make_unique<TR_Router>(Engine, static_cast<int16_t>(i), Host);
  }
  ~DisplayThread() override {
    // A thread woken while asked to stop ends at once.
    for (int i = 0; i < 2; ++i) {
      Routers[i]->RequestStop();
      Engine.ReceiverEvent[i].Set();
    }
    for (auto& r : Routers) r.reset();
    SetUiDispatcher(nullptr);
  }

  void Send(uint8_t type, const std::vector<uint8_t>& payload) {
    PacketRecord record;
    BuildFrame(record, type, payload.data(), static_cast<int>(payload.size()));
    Engine.Dispatch(record);
  }

  void Configure(bool wrapped) {
    std::vector<uint8_t> p{3};
    for (int i = 0; i < 2; ++i) {
      Put32(p, 36000);
      Put32(p, 37600);
      p.push_back(3200 & 0xFF);  // 12.5 kHz in 1/256 kHz
      p.push_back(3200 >> 8);
      p.push_back(wrapped ? 1 : 0);
      p.push_back(0);
    }
    Send(1, p);
  }

  void SendTable(int receiver, std::initializer_list<std::pair<int, int8_t>> entries) {
    std::vector<uint8_t> p;
    for (const auto& [index, level] : entries) {
      p.push_back(static_cast<uint8_t>(receiver));
      p.push_back(static_cast<uint8_t>(index & 0xFF));
      p.push_back(static_cast<uint8_t>(index >> 8));
      p.push_back(static_cast<uint8_t>(level));
    }
    Send(9, p);
  }

  void SendScan(int receiver, std::initializer_list<std::pair<int, int8_t>> entries) {
    std::vector<uint8_t> p;
    for (const auto& [entry, level] : entries) {
      p.push_back(static_cast<uint8_t>(receiver));
      p.push_back(static_cast<uint8_t>(entry));
      p.push_back(static_cast<uint8_t>(level));
    }
    Send(7, p);
  }

  // Runs the UI thread until receiver i's display thread has redrawn once more.
  void AwaitUpdate(int i) {
    const int before = Host.Updates[i];
    ASSERT_TRUE(PumpUntil([&] { return Host.Updates[i] > before; }));
  }

  void Mode(TMode mode) {
    Host.Single = mode == TMode::Single;
    Host.Table = mode == TMode::Table;
  }

  // What the bar layer looks like after exactly these bars on a graph of the same size.
  static QImage Drawn(double xMax, bool vertical,
                      const std::vector<std::pair<QString, double>>& bars) {
    TPanel expected;
    expected.Bar->SetXMax(xMax);
    expected.Bar->VerticalLabels = vertical;
    expected.Bar->ClearBars();
    int16_t x = 1;
    for (const auto& [label, value] : bars) expected.Bar->AddBar(x++, label, value);
    expected.Bar->ShowBars(QString());
    return expected.Bar->BarLayer();
  }

  TQtDispatcher Dispatcher;
  TGPSShared Gps;
  TEngine Engine{Gps};
  TPanel Panels[2];
  TFakeHost Host;
  std::unique_ptr<TR_Router> Routers[2];
};

std::vector<std::pair<QString, double>> Blank(std::vector<std::pair<QString, double>> bars) {
  while (bars.size() < 10) bars.emplace_back(QString(), -120);
  return bars;
}

TEST_F(DisplayThread, TableModeShowsTheTenStrongestAndHandsTheStrongestToTheMap) {
  Mode(TMode::Table);
  Host.Frequency = false;
  SendTable(0, {{6, -50}, {2, -50}, {0, -60}, {9, -120}});
  AwaitUpdate(0);
  const DBar& bar = *Panels[0].Bar;
  EXPECT_EQ(bar.XMax, 11.0);
  EXPECT_TRUE(bar.VerticalLabels);
  EXPECT_EQ(bar.Footer(), QStringLiteral("Channel"));
  EXPECT_EQ(bar.BarLayer(), Drawn(11.0, true, Blank({{"3", -50}, {"7", -50}, {"1", -60}})));
  EXPECT_EQ(Host.MapLevels, std::vector<int16_t>{-50});
}

// Two sweeps of the whole table sent faster than any screen draws, the UI thread busy meanwhile:
// the ten strong channels of the first sweep are weak in the second, and ten others strong.
// The graph must show the second sweep's ten, at their levels.
TEST_F(DisplayThread, ATableSweepFasterThanTheScreenLeavesEveryBarAtItsLastLevel) {
  Mode(TMode::Table);
  Host.Frequency = false;
  auto strong = [](int sweep, int index) { return index % 300 == 7 + 100 * sweep; };
  for (int sweep = 0; sweep < 2; ++sweep) {
    for (int index = 0; index < kTableEntries; index += 4) {
      std::vector<uint8_t> p;
      for (int n = index; n < index + 4; ++n) {
        const int level = strong(sweep, n) ? -40 - n / 300 : -110;
        p.insert(p.end(), {0, static_cast<uint8_t>(n & 0xFF), static_cast<uint8_t>(n >> 8),
                           static_cast<uint8_t>(level)});
      }
      Send(9, p);
    }
  }
  AwaitUpdate(0);
  std::vector<std::pair<QString, double>> expected;
  for (int n = 107; n < 3000; n += 300)
    expected.emplace_back(QString::number(n + 1), -40 - n / 300);
  EXPECT_EQ(Panels[0].Bar->BarLayer(), Drawn(11.0, true, expected));
}

TEST_F(DisplayThread, AnEmptyTableShowsTenBlankBarsAndHandsOverMinus120) {
  Mode(TMode::Table);
  SendTable(0, {{5, 0}});
  AwaitUpdate(0);
  EXPECT_EQ(Panels[0].Bar->BarLayer(), Drawn(11.0, true, Blank({})));
  EXPECT_EQ(Host.MapLevels, std::vector<int16_t>{-120});
}

struct TLabelCase {
  bool Wrapped;
  bool Frequency;
  const char* TableLabel;  // table position 3
  const char* ScanLabel;   // scan entry 0: position 36004
  const char* ScanLabelInTheOtherUnit;
};

class DisplayLabels : public DisplayThread, public ::testing::WithParamInterface<TLabelCase> {};

TEST_P(DisplayLabels, FollowTheUnitButtonAndTheWrapFlag) {
  const TLabelCase& c = GetParam();
  Configure(c.Wrapped);
  Host.Frequency = c.Frequency;
  const QString footer = c.Frequency ? QStringLiteral("Frequency") : QStringLiteral("Channel");

  Mode(TMode::Table);
  SendTable(0, {{2, -70}});
  AwaitUpdate(0);
  EXPECT_EQ(Panels[0].Bar->Footer(), footer);
  EXPECT_EQ(Panels[0].Bar->BarLayer(), Drawn(11.0, true, Blank({{c.TableLabel, -70}})));

  Mode(TMode::Scan);
  SendScan(0, {{0, -70}});
  AwaitUpdate(0);
  EXPECT_EQ(Panels[0].Bar->Footer(), footer);
  EXPECT_EQ(Panels[0].Bar->BarLayer(), Drawn(11.0, true, Blank({{c.ScanLabel, -70}})));

  // The same entry again, with the other unit button down.
  Host.Frequency = !c.Frequency;
  SendScan(0, {{0, -70}});
  AwaitUpdate(0);
  EXPECT_EQ(Panels[0].Bar->BarLayer(),
            Drawn(11.0, true, Blank({{c.ScanLabelInTheOtherUnit, -70}})));
}

INSTANTIATE_TEST_SUITE_P(Units, DisplayLabels,
                         ::testing::Values(TLabelCase{false, false, "3", "5", "450.0500"},
                                           TLabelCase{false, true, "450.0250", "450.0500", "5"},
                                           TLabelCase{true, false, "3", "995", "450.0500"},
                                           TLabelCase{true, true, "450.4500", "450.0500", "995"}));

TEST_F(DisplayThread, ScanModeConvertsLevelsButCopiesEntryZeroAsASignedByte) {
  Mode(TMode::Scan);
  Host.Frequency = false;
  SendScan(0, {{0, 16}, {1, -80}, {2, -119}, {3, -120}});
  AwaitUpdate(0);
  EXPECT_EQ(Panels[0].Bar->BarLayer(),
            Drawn(11.0, true, Blank({{"", -240}, {"6", -80}, {"7", -119}})));
  EXPECT_EQ(Engine.SingleAverage[0].load(), 16);
  EXPECT_EQ(Host.MapLevels, std::vector<int16_t>{-80});
}

TEST_F(DisplayThread, SingleModeShowsOneUprightBarWithTheCurrentChannelOrFrequency) {
  Mode(TMode::Table);
  SendTable(0, {{1, -40}});
  AwaitUpdate(0);

  // A block of samples averaging -75; the main window's timer signals the event.
  Mode(TMode::Single);
  Host.Frequency = false;
  Send(2, std::vector<uint8_t>(64, static_cast<uint8_t>(-75)));
  ASSERT_EQ(Engine.SingleDataReady[0].load(), 1);
  Engine.ReceiverEvent[0].Set();
  AwaitUpdate(0);
  const DBar& bar = *Panels[0].Bar;
  EXPECT_EQ(bar.XMax, 2.0);
  EXPECT_FALSE(bar.VerticalLabels);
  EXPECT_EQ(bar.Footer(), QStringLiteral("Channel 17"));
  EXPECT_EQ(bar.BarLayer(), Drawn(2.0, false, {{"-75 dBm", -75}}));

  Host.Frequency = true;
  Engine.ReceiverEvent[0].Set();
  AwaitUpdate(0);
  EXPECT_EQ(bar.Footer(), QStringLiteral("450.20000 MHz"));
  EXPECT_EQ(Host.MapLevels, (std::vector<int16_t>{-40, -75, -75}));
}

TEST_F(DisplayThread, RangeCaptionIsRedrawnOnlyWhileStale) {
  Mode(TMode::Scan);
  SendScan(1, {{0, -60}});
  AwaitUpdate(1);
  EXPECT_EQ(Panels[1].Bar->Title(), QStringLiteral("R2 (450.00000-470.00000)MHz 12.50 KHz Step"));
  EXPECT_EQ(Engine.RangeCaptionStale[1].load(), 0);
  EXPECT_EQ(Engine.RangeCaptionStale[0].load(), 1);  // receiver 1 has not updated yet

  Panels[1].Bar->SetTitle(QStringLiteral("kept"));
  SendScan(1, {{0, -61}});
  AwaitUpdate(1);
  EXPECT_EQ(Panels[1].Bar->Title(), QStringLiteral("kept"));
}

// While the link is down the graph keeps the last levels, grey and marked; the next levels after
// it is back are drawn as usual.
TEST_F(DisplayThread, LevelsShownWhileTheLinkIsDownAreMarkedStaleUntilNewOnesArrive) {
  Mode(TMode::Scan);
  Host.Frequency = false;
  SendScan(0, {{1, -70}});
  AwaitUpdate(0);
  const QImage live = Panels[0].Bar->BarLayer();

  Engine.LinkDown.store(true);
  Engine.ReceiverEvent[0].Set();
  AwaitUpdate(0);
  const DBar& bar = *Panels[0].Bar;
  EXPECT_TRUE(bar.Stale);
  EXPECT_EQ(bar.Footer(), QStringLiteral("Channel (link lost)"));
  EXPECT_NE(bar.BarLayer(), live);

  Engine.LinkDown.store(false);
  SendScan(0, {{1, -70}});
  AwaitUpdate(0);
  EXPECT_FALSE(bar.Stale);
  EXPECT_EQ(bar.Footer(), QStringLiteral("Channel"));
  EXPECT_EQ(bar.BarLayer(), live);
}

TEST_F(DisplayThread, OnlyTheReceiverChosenForTheMapHandsItsLevelOver) {
  Mode(TMode::Scan);
  SendScan(1, {{0, -60}});
  AwaitUpdate(1);
  EXPECT_TRUE(Host.MapLevels.empty());

  Host.MapReceiver = 1;
  SendScan(1, {{0, -55}});
  AwaitUpdate(1);
  SendScan(0, {{0, -30}});
  AwaitUpdate(0);
  EXPECT_EQ(Host.MapLevels, std::vector<int16_t>{-55});
}

}  // namespace
}  // namespace vireon::test
