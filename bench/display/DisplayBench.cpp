// Cost of the receiver display on the UI thread, offscreen: one bar update (ClearBars, ten
// AddBar, ShowBars) repeating the last frame (argument 0) or moving every bar (argument 1), the
// table's top-ten pass over 3072 levels, a whole table-mode UpdateDisplay, and for scale a full
// Paint, which an update never does.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <atomic>
#include <vector>

#include "display/DBar.h"
#include "display/RRouter.h"
#include "gps/Gps.h"
#include "model/Engine.h"

namespace vireon {
namespace {

struct TGraph {
  TGraph() {
    Panel.resize(343, 453);
    Bar = new DBar(&Panel);
    Bar->BarColor = QColor(128, 0, 0);
    Bar->SetYCaption(QStringLiteral("RSSI (dBm)"));
    Bar->SetXMin(0.0);
    Bar->SetXMax(11.0);
    Bar->SetYMin(-120.0);
    Bar->SetYMax(-30.0);
    Bar->VerticalLabels = true;
    DBar::PlaceControl(Bar, 0, 0, 343, 453);
  }
  QWidget Panel;
  DBar* Bar;
};

// Ten labelled bars; with moving set, every other update draws them all 3 dB lower.
void DrawTen(DBar& bar, bool moving, long update) {
  static const QString labels[10] = {"450.0125", "450.0250", "450.0375", "450.0500", "450.0625",
                                     "450.0750", "450.0875", "450.1000", "450.1125", "450.1250"};
  const double shift = moving && update % 2 != 0 ? 3.0 : 0.0;
  bar.ClearBars();
  for (int k = 0; k < 10; ++k)
    bar.AddBar(static_cast<int16_t>(k + 1), labels[k], -40.0 - 7 * k - shift);
  bar.ShowBars(QString());
}

void BM_BarUpdate(benchmark::State& state) {
  TGraph g;
  long update = 0;
  for (auto _ : state) DrawTen(*g.Bar, state.range(0) != 0, update++);
}
BENCHMARK(BM_BarUpdate)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same update on a shown graph, with the repaints it causes: at most one a screen frame.
void BM_BarUpdateRepainted(benchmark::State& state) {
  TGraph g;
  g.Panel.show();
  QCoreApplication::processEvents();
  long update = 0;
  for (auto _ : state) {
    DrawTen(*g.Bar, state.range(0) != 0, update++);
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_BarUpdateRepainted)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_FullPaint(benchmark::State& state) {
  TGraph g;
  for (auto _ : state) g.Bar->Paint();
}
BENCHMARK(BM_FullPaint)->Unit(benchmark::kMicrosecond);

std::vector<std::atomic<int8_t>> SpreadTable() {
  std::vector<std::atomic<int8_t>> table(kTableEntries);
  for (int n = 0; n < kTableEntries; ++n) table[n] = static_cast<int8_t>(-30 - (n * 37) % 98);
  return table;
}

void BM_TableTopTen(benchmark::State& state) {
  const auto table = SpreadTable();
  for (auto _ : state) benchmark::DoNotOptimize(RankTable(table.data(), kTableEntries));
}
BENCHMARK(BM_TableTopTen)->Unit(benchmark::kMicrosecond);

class TTableHost : public TDisplayHost {
 public:
  bool SingleModeDown() const override { return false; }
  bool TableModeDown() const override { return true; }
  bool FrequencyDown() const override { return true; }
  DBar* Bar(int16_t) const override { return Graph.Bar; }
  bool MapUsesReceiver(int16_t) const override { return true; }
  void SetMapRSSI(int16_t level) override { benchmark::DoNotOptimize(level); }
  TGraph Graph;
};

void BM_TableUpdateDisplay(benchmark::State& state) {
  TGPSShared gps;
  TEngine engine(gps);
  const auto table = SpreadTable();
  for (int n = 0; n < kTableEntries; ++n) engine.TableLevels[0][n] = table[n].load();
  TTableHost host;
  TR_Router router(engine, 0, host);
  for (auto _ : state) router.UpdateDisplay();
  router.RequestStop();
  engine.ReceiverEvent[0].Set();
}
BENCHMARK(BM_TableUpdateDisplay)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vireon

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
