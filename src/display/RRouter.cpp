#include "display/RRouter.h"

#include <chrono>
#include <thread>

#include "display/DBar.h"
#include "model/Engine.h"
#include "model/RF.h"

namespace vireon {

namespace {
constexpr int kWaitMs = 1000;

// A bar's label: a frequency in MHz, or a channel number.
QString SlotLabel(bool frequency, double value) {
  return frequency ? QString::asprintf("%.4f", value) : QString::number(static_cast<int>(value));
}
}  // namespace

TTopTen RankTable(const std::atomic<int8_t>* levels, int count) {
  TTopTen ranked{};
  for (int n = 0; n < count; ++n) {
    const int16_t v = LevelOf(levels[n].load(std::memory_order_relaxed));
    // The list is sorted by descending level: nothing enters unless it beats the last slot.
    if (v <= ranked[9].Level) continue;
    int k = 0;
    while (ranked[k].Level >= v) ++k;
    for (int j = 9; j > k; --j) ranked[j] = ranked[j - 1];
    ranked[k] = {v, static_cast<int16_t>(n + 1)};
  }
  return ranked;
}

TR_Router::TR_Router(TEngine& engine, int16_t receiverIndex, TDisplayHost& host)
    : ReceiverIndex(receiverIndex), Engine(engine), Host(host) {
  Start();
}

TR_Router::~TR_Router() {
  RequestStop();
  Join();
}

void TR_Router::Execute() {
  using Clock = std::chrono::steady_clock;
  constexpr auto kFrame = std::chrono::microseconds(1000000 / kFramesPerSecond);
  Event& event = Engine.ReceiverEvent[ReceiverIndex];
  while (!StopRequested.load()) {
    if (!event.Wait(kWaitMs)) continue;
    if (StopRequested.load()) return;
    // Cleared before the redraw reads: levels stored meanwhile set it again for the next frame.
    event.Consume();
    RunOnUiThread([this] { UpdateDisplay(); });
    // Every display thread rests until the same frame boundary, so the graphs are drawn together
    // and the screen takes one repaint a frame for all of them.
    const auto now = Clock::now().time_since_epoch();
    std::this_thread::sleep_until(Clock::time_point(now - now % kFrame + kFrame));
  }
}

void TR_Router::UpdateDisplay() {
  DBar* bar = Host.Bar(ReceiverIndex);
  if (bar == nullptr) return;
  const TRF rf = Engine.Receiver(ReceiverIndex);
  ShowLinkState(*bar);
  UpdateRangeCaption(*bar, rf);
  const bool frequency = Host.FrequencyDown();
  if (Host.SingleModeDown())
    ShowSingle(*bar, rf, frequency);
  else if (Host.TableModeDown())
    ShowTable(*bar, rf, frequency);
  else
    ShowScan(*bar, rf, frequency);
}

void TR_Router::UpdateRangeCaption(DBar& bar, const TRF& rf) {
  if (Engine.RangeCaptionStale[ReceiverIndex].exchange(0) == 0) return;
  bar.SetTitle(QString::asprintf("R%d (%.5f-%.5f)MHz %.2f KHz Step", ReceiverIndex + 1,
                                 rf.LowEdgeMHz(), rf.HighEdgeMHz(), rf.StepKHz));
}

void TR_Router::ShowLinkState(DBar& bar) {
  bar.Stale = Engine.LinkDown.load();
}

void TR_Router::SetFooter(DBar& bar, const QString& text) {
  bar.SetFooter(bar.Stale ? text + QStringLiteral(" (link lost)") : text);
}

void TR_Router::ShowSingle(DBar& bar, const TRF& rf, bool frequency) {
  bar.SetXMax(2.0);
  bar.VerticalLabels = false;
  SetFooter(bar, frequency ? QString::asprintf("%.5f MHz", rf.CurrentMHz())
                           : QString::asprintf("Channel %d", rf.CurrentChannel()));
  bar.ClearBars();
  const int16_t level = Engine.SingleAverage[ReceiverIndex].load();
  bar.AddBar(1, QString::asprintf("%d dBm", level), level);
  bar.ShowBars(QString());
  HandToMap(level);
}

void TR_Router::ShowTable(DBar& bar, const TRF& rf, bool frequency) {
  bar.SetXMax(11.0);
  bar.VerticalLabels = true;
  SetFooter(bar, frequency ? QStringLiteral("Frequency") : QStringLiteral("Channel"));
  bar.ClearBars();
  const TTopTen ranked = RankTable(Engine.TableLevels[ReceiverIndex], kTableEntries);
  for (int k = 0; k < 10; ++k) {
    const TTableSlot& slot = ranked[k];
    QString label;
    if (slot.Level > kNoLevel)
      label =
          SlotLabel(frequency, frequency ? rf.FrequencyOfChannel(slot.Position) : slot.Position);
    bar.AddBar(static_cast<int16_t>(k + 1), label, slot.Level);
  }
  bar.ShowBars(QString());
  HandToMap(ranked[0].Level);
}

void TR_Router::ShowScan(DBar& bar, const TRF& rf, bool frequency) {
  bar.SetXMax(11.0);
  bar.VerticalLabels = true;
  SetFooter(bar, frequency ? QStringLiteral("Frequency") : QStringLiteral("Channel"));
  bar.ClearBars();
  int16_t strongest = kNoLevel;
  for (int k = 0; k < kScanEntries; ++k) {
    const int16_t v = LevelOf(Engine.ScanLevels[ReceiverIndex][k].load());
    if (v > strongest) strongest = v;
    QString label;
    if (v > kNoLevel)
      label = SlotLabel(frequency, frequency ? rf.FrequencyOfStep(rf.ScanList[k])
                                             : rf.ChannelOfStep(rf.ScanList[k]));
    bar.AddBar(static_cast<int16_t>(k + 1), label, v);
  }
  // The single-channel display shows entry 0, unconverted, until the next single block.
  Engine.SingleAverage[ReceiverIndex].store(Engine.ScanLevels[ReceiverIndex][0].load());
  bar.ShowBars(QString());
  HandToMap(strongest);
}

void TR_Router::HandToMap(int16_t level) {
  if (Host.MapUsesReceiver(ReceiverIndex)) Host.SetMapRSSI(level);
}

}  // namespace vireon
