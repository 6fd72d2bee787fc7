// Framing, full decode (framer + Dispatch) of a realistic session stream, and GPS decoding, each
// beside memcpy of the same bytes. Compare bytes_per_second within one run:
//   bench_core --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "Capture.h"
#include "gps/Gps.h"
#include "link/Packet.h"
#include "model/Engine.h"

namespace {

using namespace vireon;

const capture::Bytes& Session() {
  static const capture::Bytes stream = capture::SessionStream(60);
  return stream;
}

void CopyBytes(benchmark::State& state, const capture::Bytes& bytes) {
  std::vector<uint8_t> target(bytes.size());
  for (auto _ : state) {
    std::memcpy(target.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_MemcpySession(benchmark::State& state) {
  CopyBytes(state, Session());
}

void BM_FramingSession(benchmark::State& state) {
  const auto& bytes = Session();
  TPacket framer;
  int16_t length = 0;
  for (auto _ : state) {
    size_t used = 0;
    for (size_t at = 0; at < bytes.size(); at += used) {
      if (framer.PushBlock(bytes.data() + at, bytes.size() - at, used) == 0)
        length = framer.Record().Length;
    }
    benchmark::DoNotOptimize(length);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// The framer fed one byte at a time, as its simplest callers do.
void BM_FramingSessionBytewise(benchmark::State& state) {
  const auto& bytes = Session();
  TPacket framer;
  int16_t length = 0;
  for (auto _ : state) {
    for (uint8_t b : bytes) {
      if (framer.Push(b) == 0) length = framer.Record().Length;
    }
    benchmark::DoNotOptimize(length);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// Every packet is decoded: the display is assumed to keep up, the costliest case.
void BM_FullDecodeSession(benchmark::State& state) {
  const auto& bytes = Session();
  TGPSShared gps;
  TEngine engine(gps);
  TPacket framer;
  for (auto _ : state) {
    size_t used = 0;
    for (size_t at = 0; at < bytes.size(); at += used) {
      if (framer.PushBlock(bytes.data() + at, bytes.size() - at, used) != 0) continue;
      engine.Dispatch(framer.Record());
      engine.ReceiverEvent[0].Reset();
      engine.ReceiverEvent[1].Reset();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

const capture::Bytes& Report() {
  static const capture::Bytes report = capture::GpsReport(17);
  return report;
}

void BM_MemcpyGpsReport(benchmark::State& state) {
  CopyBytes(state, Report());
}

void BM_GpsDecode(benchmark::State& state) {
  TGPSShared gps;
  for (auto _ : state) gps.Decode(Report().data(), Report().size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Report().size()));
}

BENCHMARK(BM_MemcpySession);
BENCHMARK(BM_FramingSession);
BENCHMARK(BM_FramingSessionBytewise);
BENCHMARK(BM_FullDecodeSession);
BENCHMARK(BM_MemcpyGpsReport);
BENCHMARK(BM_GpsDecode);

}  // namespace

BENCHMARK_MAIN();
