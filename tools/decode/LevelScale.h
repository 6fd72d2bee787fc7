#pragma once
// The colour scale of the survey maps: weak (blue) to strong (red) in eight steps across the map
// range's default scale, -120..-50 dBm; a level outside it takes the colour of the nearer end.

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace vireon {

// As KML writes colours: aabbggrr.
inline constexpr const char* kScaleColours[] = {"ffb67b2c", "ffcaa600", "ffbccc00", "ff9deb90",
                                                "ff8cffff", "ff57d0f9", "ff2e9ef2", "ff1c19d7"};
inline constexpr int kScaleSteps = static_cast<int>(std::size(kScaleColours));
inline constexpr int kScaleLow = -120, kScaleHigh = -50;

constexpr int ScaleStep(int dbm) {
  return std::clamp((dbm - kScaleLow) * kScaleSteps / (kScaleHigh - kScaleLow), 0, kScaleSteps - 1);
}

// The lowest whole dBm of step k, 1 <= k < kScaleSteps (step 0 has no lower end).
constexpr int ScaleStepLow(int k) {
  const int span = kScaleHigh - kScaleLow;
  return kScaleLow + (span * k + kScaleSteps - 1) / kScaleSteps;
}

struct TRgb {
  uint8_t R, G, B;
};

constexpr TRgb ScaleRgb(int k) {
  auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  auto byte = [&](int at) {
    return static_cast<uint8_t>(hex(kScaleColours[k][at]) * 16 + hex(kScaleColours[k][at + 1]));
  };
  return {byte(6), byte(4), byte(2)};
}

}  // namespace vireon
