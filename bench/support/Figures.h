#pragma once
// What the live benchmarks measure with: this process's CPU time and latency percentiles.

#include <sys/resource.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace vireon::bench {

// User and system time of every thread of this process so far, in seconds.
inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The p-quantile (0..1) of v by the nearest lower rank; 0 for no samples.
inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

inline void PrintLatencies(const std::vector<double>& ms) {
  std::printf("  median %.3f ms  p90 %.3f ms  p99 %.3f ms  max %.3f ms\n", Percentile(ms, 0.5),
              Percentile(ms, 0.9), Percentile(ms, 0.99), Percentile(ms, 1.0));
}

}  // namespace vireon::bench
