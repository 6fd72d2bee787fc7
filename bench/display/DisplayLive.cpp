// Figures for the receiver display against a simulated instrument at full line rate, printed as
// text:
//  - latency from the last byte of the scan or table frame that woke a display thread, written
//    on the pseudo-terminal, to the end of that thread's ShowBars (in-process simulator, so both
//    ends share one clock);
//  - CPU time per second of this process running the logger's main window, display threads and
//    communications thread in table mode, with a separate vireon-sim --full-rate.
// Usage: bench_display_live [seconds per phase, default 10] [latency|cpu, default both]

#include <unistd.h>

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Figures.h"
#include "LoggerUnderTest.h"
#include "Process.h"
#include "Pty.h"
#include "Simulator.h"
#include "display/DBar.h"
#include "display/RRouter.h"
#include "gps/Gps.h"
#include "link/ComRouter.h"
#include "model/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace vireon;

class TDispatcher : public UiDispatcher {
 public:
  void Post(std::function<void()> fn) override {
    QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
  }
  bool IsUiThread() const override { return QThread::currentThread() == qApp->thread(); }
};

// Runs the UI thread's event loop as the program does, asleep while there is nothing to do.
void Serve(double seconds) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
}

// Two graphs in the given mode; the map hand-over, which follows ShowBars in every mode, marks
// the end of each update.
class TTimedHost : public TDisplayHost {
 public:
  explicit TTimedHost(bool table) : Table(table) {
    for (int i = 0; i < 2; ++i) {
      Panels[i].resize(343, 453);
      Bars[i] = new DBar(&Panels[i]);
      Bars[i]->SetYMin(-120.0);
      Bars[i]->SetYMax(-30.0);
      DBar::PlaceControl(Bars[i], 0, 0, 343, 453);
    }
  }
  bool SingleModeDown() const override { return false; }
  bool TableModeDown() const override { return Table; }
  bool FrequencyDown() const override { return true; }
  DBar* Bar(int16_t i) const override { return Bars[i]; }
  bool MapUsesReceiver(int16_t i) const override {
    Updating = i;
    return true;
  }
  void SetMapRSSI(int16_t) override { Shown.push_back({WokenBy[Updating].load(), Clock::now()}); }

  bool Table;
  QWidget Panels[2];
  DBar* Bars[2];
  mutable int16_t Updating = 0;
  // Index among dispatched frames of the frame that last set each receiver's event.
  std::atomic<size_t> WokenBy[2] = {0, 0};
  std::vector<std::pair<size_t, Clock::time_point>> Shown;
};

void Latency(sim::TMeasureMode mode, const char* name, int seconds) {
  sim::TPty pty;
  if (!pty.Create()) return;
  TGPSShared gps;
  TEngine engine(gps);
  TUSB usb;
  TRS232 rs232;
  engine.LinkMode = 1;
  engine.PortNumber = 0;
  rs232.SetDevicePath(pty.SlavePath);
  TTimedHost host(mode == sim::TMeasureMode::Table);
  TCom_Router com(engine, usb, rs232);
  size_t dispatched = 0;
  com.SetPacketHandler([&](const PacketRecord& record) {
    bool before[2] = {engine.ReceiverEvent[0].IsSet(), engine.ReceiverEvent[1].IsSet()};
    engine.Dispatch(record);
    for (int i = 0; i < 2; ++i)
      if (!before[i] && engine.ReceiverEvent[i].IsSet()) host.WokenBy[i].store(dispatched);
    ++dispatched;
  });
  TR_Router r0(engine, 0, host);
  TR_Router r1(engine, 1, host);
  com.Start();
  for (int i = 0; i < 500 && engine.StatusText().empty(); ++i) Serve(0.01);

  sim::TOptions options;
  options.Mode = mode;
  options.FullRate = true;
  options.Duration = seconds;
  sim::TSimulator simulator(options, pty);
  std::vector<Clock::time_point> sent;
  sent.reserve(1000000);
  simulator.OnFrameSent = [&](Clock::time_point t) { sent.push_back(t); };
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  std::thread instrument([&] {
    simulator.Command(name);
    simulator.Run(stop, -1);
    done = true;
  });
  while (!done.load()) Serve(0.05);
  instrument.join();
  Serve(0.5);
  for (Worker* w :
       {static_cast<Worker*>(&com), static_cast<Worker*>(&r0), static_cast<Worker*>(&r1)})
    w->RequestStop();
  for (int i = 0; i < 2; ++i) engine.ReceiverEvent[i].Set();
  com.Join();
  r0.Join();
  r1.Join();

  std::vector<double> ms;
  for (const auto& [frame, at] : host.Shown)
    if (frame > 0 && frame < sent.size())
      ms.push_back(std::chrono::duration<double, std::milli>(at - sent[frame]).count());
  std::printf("%s mode, last byte of the waking frame -> end of ShowBars, full rate, %d s\n", name,
              seconds);
  std::printf("  frames %zu, display updates %zu\n", sent.size(), ms.size());
  bench::PrintLatencies(ms);
}

// The logger's own objects as after the port dialog's OK, minus the status and GPS threads.
void TableCpu(int seconds) {
  test::TSim sim({"--full-rate", "--mode", "table"});
  if (sim.Pty.empty()) {
    std::fprintf(stderr, "bench_display_live: vireon-sim did not start\n");
    return;
  }

  double share = -1;
  {
    test::TLoggerUnderTest logger(sim.Pty);
    logger.Form->show();
    logger.Com->Start();
    Serve(2.0);
    const double cpu0 = bench::CpuSeconds();
    const auto t0 = Clock::now();
    Serve(seconds);
    const double cpu = bench::CpuSeconds() - cpu0;
    share = 100.0 * cpu / std::chrono::duration<double>(Clock::now() - t0).count();
  }
  std::printf("CPU of the logger in table mode (vireon-sim --full-rate), %d s: %.2f %% of a core\n",
              seconds, share);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TDispatcher dispatcher;
  SetUiDispatcher(&dispatcher);
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const std::string phase = argc > 2 ? argv[2] : "";
  if (phase != "cpu") {
    Latency(sim::TMeasureMode::Table, "table", seconds);
    Latency(sim::TMeasureMode::Scan, "scan", seconds);
  }
  if (phase != "latency") TableCpu(seconds);
  SetUiDispatcher(nullptr);
  return 0;
}
