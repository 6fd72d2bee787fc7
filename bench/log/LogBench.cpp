// The log writer's costs: packets per second through the hand-off, the FIFO and the flushed
// file (compared with the most the link can deliver at 38400 baud), how long the engine's
// thread spends in one PostPacket while the writer is busy, and what making the records
// durable (fdatasync about once a second) costs at the link's full rate.

#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/Packet.h"
#include "log/LogRouter.h"

namespace vireon {
namespace {

// 38400 baud 8N1 carries 3840 bytes/s; the shortest frame (sync, length, type) is 4 bytes.
constexpr double kLinkMaxPacketsPerSecond = 3840.0 / 4;
constexpr int kPackets = 200000;

std::string ScratchFile() {
  return (std::filesystem::temp_directory_path() /
          ("vireon-log-bench-" + std::to_string(::getpid()) + ".KLF"))
      .string();
}

// A scan-levels packet (the instrument's commonest), its first payload bytes a sequence number.
PacketRecord LevelsPacket(int k) {
  uint8_t payload[15] = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8)};
  PacketRecord record;
  BuildFrame(record, 7, payload, sizeof payload);
  return record;
}

struct TBenchWriter {
  TGPSShared Gps;
  TEngine Engine{Gps};
  std::string Name = ScratchFile();
  std::unique_ptr<TLog_Router> Writer;

  TBenchWriter() {
    std::filesystem::remove(Name);
    Writer = std::make_unique<TLog_Router>(Engine, Name);
    Writer->Start();
  }
  ~TBenchWriter() { std::filesystem::remove(Name); }
  // Stops the writer once it has written everything; returns the packets lost.
  uint64_t Finish() {
    Writer->RequestStop();
    Writer->Join();
    return Writer->LostPackets();
  }
};

// Time from the first hand-off until the last record is in the file and the file is closed.
void BM_SustainedLogging(benchmark::State& state) {
  std::vector<PacketRecord> packets;
  for (int k = 0; k < 1000; ++k) packets.push_back(LevelsPacket(k));
  uint64_t lost = 0;
  double seconds = 0;
  for (auto _ : state) {
    TBenchWriter bench;
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < kPackets; ++k) {
      const PacketRecord& p = packets[k % packets.size()];
      bench.Writer->PostPacket(p.LogBytes(), static_cast<int16_t>(p.LogSize()));
    }
    lost += bench.Finish();
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    seconds += t;
    state.SetIterationTime(t);
  }
  state.SetItemsProcessed(state.iterations() * kPackets);
  // How many times the link's largest packet rate the writer sustains.
  state.counters["x_link_max_rate"] =
      static_cast<double>(state.iterations()) * kPackets / seconds / kLinkMaxPacketsPerSecond;
  state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(BM_SustainedLogging)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

// Each PostPacket timed alone while the writer drains and writes concurrently.
void BM_PostPacketTime(benchmark::State& state) {
  std::vector<double> ns(kPackets);
  const PacketRecord p = LevelsPacket(1);
  double longest = 0, p50 = 0, p99 = 0, p9999 = 0;
  for (auto _ : state) {
    TBenchWriter bench;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < kPackets; ++k) {
      const auto t0 = std::chrono::steady_clock::now();
      bench.Writer->PostPacket(p.LogBytes(), static_cast<int16_t>(p.LogSize()));
      ns[k] =
          std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    bench.Finish();
    std::sort(ns.begin(), ns.end());
    longest = std::max(longest, ns.back());
    p50 = ns[ns.size() / 2];
    p99 = ns[ns.size() * 99 / 100];
    p9999 = ns[ns.size() * 9999 / 10000];
  }
  state.SetItemsProcessed(state.iterations() * kPackets);
  state.counters["median_ns"] = p50;
  state.counters["p99_ns"] = p99;
  state.counters["p99.99_ns"] = p9999;
  // Includes the thread being descheduled by the system, which no code here can avoid.
  state.counters["longest_ns"] = longest;
}
BENCHMARK(BM_PostPacketTime)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// Times every fdatasync; with `real` false it only counts, as a writer that never syncs.
class TTimedDisk : public TLogDisk {
 public:
  explicit TTimedDisk(bool real) : Real(real) {}
  int Fdatasync(int fd) override {
    if (!Real) return 0;
    const auto t0 = std::chrono::steady_clock::now();
    const int r = TLogDisk::Fdatasync(fd);
    Ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    return r;
  }
  bool Real;
  std::vector<double> Ms;  // written on the writer's thread, read after it has ended
};

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Five seconds of packets at the link's full byte rate (19-byte records, 3840 bytes/s), the
// writer syncing (arg 1) or not (arg 0): the process's CPU share and the sync's own time.
void BM_DurabilityAtLinkRate(benchmark::State& state) {
  const bool real = state.range(0) != 0;
  constexpr int kSeconds = 5;
  constexpr int kPerSecond = 3840 / 19;
  const PacketRecord p = LevelsPacket(3);
  double cpu = 0, syncs = 0, median = 0, longest = 0;
  for (auto _ : state) {
    TGPSShared gps;
    TEngine engine{gps};
    const std::string name = ScratchFile();
    std::filesystem::remove(name);
    TTimedDisk disk(real);
    TLog_Router writer(engine, name);
    writer.SetDisk(&disk);
    writer.Start();
    const double cpu0 = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < kSeconds * kPerSecond; ++k) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * k / kPerSecond));
      writer.PostPacket(p.LogBytes(), static_cast<int16_t>(p.LogSize()));
    }
    writer.RequestStop();
    writer.Join();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
    state.SetIterationTime(wall);
    syncs = static_cast<double>(disk.Ms.size()) / wall;
    std::sort(disk.Ms.begin(), disk.Ms.end());
    median = disk.Ms.empty() ? 0 : disk.Ms[disk.Ms.size() / 2];
    longest = disk.Ms.empty() ? 0 : disk.Ms.back();
    std::filesystem::remove(name);
  }
  state.counters["cpu_pct"] = cpu;
  state.counters["syncs_per_s"] = syncs;
  state.counters["sync_median_ms"] = median;
  state.counters["sync_longest_ms"] = longest;
}
BENCHMARK(BM_DurabilityAtLinkRate)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

}  // namespace
}  // namespace vireon

BENCHMARK_MAIN();
