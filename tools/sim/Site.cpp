#include "Site.h"

#include <algorithm>
#include <cmath>

namespace vireon::sim {

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr int kStrongChannels = 6;
}  // namespace

TSite::TSite(uint32_t seed, const int channels[2]) : Random(seed) {
  std::uniform_real_distribution<float> floor(-112.f, -104.f);
  std::uniform_real_distribution<float> strong(-78.f, -45.f);
  std::uniform_real_distribution<float> period(8.f, 40.f);
  std::uniform_real_distribution<float> phase(0.f, static_cast<float>(kTwoPi));
  for (int rx = 0; rx < 2; ++rx) {
    int n = std::max(channels[rx], 1);
    Channels[rx].resize(static_cast<size_t>(n));
    for (TChannel& c : Channels[rx]) c = {floor(Random), 2.f, period(Random), phase(Random)};
    std::uniform_int_distribution<int> pick(0, n - 1);
    for (int s = 0; s < kStrongChannels; ++s) {
      TChannel& c = Channels[rx][static_cast<size_t>(pick(Random))];
      c.Base = strong(Random);
      c.Depth = 8.f;
    }
  }
}

int8_t TSite::Level(int rx, int index, double t) {
  const std::vector<TChannel>& list = Channels[rx & 1];
  const TChannel& c = list[static_cast<size_t>(index) % list.size()];
  std::normal_distribution<float> jitter(0.f, 1.f);
  double level = c.Base + c.Depth * std::sin(kTwoPi * t / c.Period + c.Phase) + jitter(Random);
  return static_cast<int8_t>(std::clamp(std::lround(level), -127L, -20L));
}

}  // namespace vireon::sim
