#pragma once
// The radio site the simulated instrument measures: per receiver, a few strong channels over a
// noise floor, every level fading slowly. Deterministic for a given seed.

#include <cstdint>
#include <random>
#include <vector>

namespace vireon::sim {

class TSite {
 public:
  // channels[i]: number of channel positions receiver i covers.
  TSite(uint32_t seed, const int channels[2]);

  // Level in dBm of receiver rx at in-range index (0-based) at time t seconds, with a little
  // measurement jitter.
  int8_t Level(int rx, int index, double t);

 private:
  struct TChannel {
    float Base;    // dBm
    float Depth;   // fading depth, dB
    float Period;  // seconds
    float Phase;
  };
  std::vector<TChannel> Channels[2];
  std::mt19937 Random;
};

}  // namespace vireon::sim
