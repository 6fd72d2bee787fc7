// Figures for the instrument link, printed as text:
//  - latency from the last byte of a frame written on the pseudo-terminal to its Dispatch, with
//    the simulated instrument filling the 38400-baud line (in-process, so both ends share one
//    clock);
//  - CPU time of this process per second of link, with a separate vireon-sim at full rate and
//    with an idle line.
// Usage: bench_link [seconds per phase, default 10]

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Figures.h"
#include "Process.h"
#include "Pty.h"
#include "Simulator.h"
#include "gps/Gps.h"
#include "link/ComRouter.h"
#include "model/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;
using vireon::PacketRecord;

struct TLogger {
  vireon::TGPSShared Gps;
  vireon::TEngine Engine{Gps};
  vireon::TUSB Usb;
  vireon::TRS232 Rs232;
  vireon::TCom_Router Router{Engine, Usb, Rs232};

  explicit TLogger(const std::string& device) {
    Engine.LinkMode = 1;
    Engine.PortNumber = 0;
    Rs232.SetDevicePath(device);
  }
  bool WaitConnected() {
    for (int i = 0; i < 1000; ++i) {
      if (Engine.StatusText() == "Connected via COM") return true;
      if (Router.OpenFailed.load()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
};

void Latency(int seconds) {
  vireon::sim::TPty pty;
  if (!pty.Create()) {
    std::fprintf(stderr, "bench_link: %s\n", pty.Error.c_str());
    return;
  }
  TLogger logger(pty.SlavePath);
  std::vector<Clock::time_point> dispatched;
  dispatched.reserve(200000);
  logger.Router.SetPacketHandler([&](const PacketRecord& record) {
    logger.Engine.Dispatch(record);
    dispatched.push_back(Clock::now());
  });
  logger.Router.Start();
  if (!logger.WaitConnected()) return;

  vireon::sim::TOptions options;
  options.FullRate = true;
  options.Duration = seconds;
  vireon::sim::TSimulator simulator(options, pty);
  std::vector<Clock::time_point> sent;
  sent.reserve(200000);
  simulator.OnFrameSent = [&](Clock::time_point t) { sent.push_back(t); };
  std::atomic<bool> stop{false};
  std::thread instrument([&] { simulator.Run(stop, -1); });
  instrument.join();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the last frames land
  logger.Router.RequestStop();
  logger.Router.Join();

  size_t n = std::min(sent.size(), dispatched.size());
  std::vector<double> ms;
  for (size_t k = 0; k < n; ++k)
    ms.push_back(std::chrono::duration<double, std::milli>(dispatched[k] - sent[k]).count());
  std::printf("latency, last byte written -> Dispatch, full rate, %d s\n", seconds);
  std::printf("  frames sent %zu, dispatched %zu\n", sent.size(), dispatched.size());
  vireon::bench::PrintLatencies(ms);
}

// CPU share of one core that this process spends receiving for `seconds` on device.
double CpuShare(const std::string& device, int seconds) {
  TLogger logger(device);
  logger.Router.Start();
  if (!logger.WaitConnected()) return -1;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  double cpu0 = vireon::bench::CpuSeconds();
  auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  double cpu = vireon::bench::CpuSeconds() - cpu0;
  double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  logger.Router.RequestStop();
  logger.Router.Join();
  return 100.0 * cpu / wall;
}

void BusyCpu(int seconds) {
  vireon::test::TSim sim({"--full-rate"});
  if (sim.Pty.empty()) {
    std::fprintf(stderr, "bench_link: vireon-sim did not start\n");
    return;
  }
  double share = CpuShare(sim.Pty, seconds);
  std::printf(
      "CPU of the receiving process, busy link (vireon-sim --full-rate): %.3f %% of a core\n",
      share);
}

void IdleCpu(int seconds) {
  vireon::sim::TPty pty;
  if (!pty.Create()) return;
  std::printf("CPU of the receiving process, idle link: %.3f %% of a core\n",
              CpuShare(pty.SlavePath, seconds));
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  Latency(seconds);
  BusyCpu(seconds);
  IdleCpu(seconds);
  return 0;
}
