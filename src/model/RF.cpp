#include "model/RF.h"

#include <cstring>

namespace vireon {

namespace {
constexpr double kKHzPerStepCode = 0.00390625;  // 1/256 kHz
constexpr int16_t kWrapBase = 990;              // wrapped channels start at 991
constexpr int16_t kWrapSplit = 34;              // in-range indexes 1..34 are channels 991..1024
}  // namespace

void TRF::LoadConfig(const uint8_t block[12]) {
  std::memcpy(&Config, block, sizeof Config);
  StepKHz = Config.StepCode * kKHzPerStepCode;
}

void TRF::LoadScanList(const uint8_t block[40]) {
  std::memcpy(ScanList, block, sizeof ScanList);
  Current = ScanList[0];
}

double TRF::CurrentMHz() const {
  return static_cast<double>(Current) * StepKHz * 0.001;
}

double TRF::LowEdgeMHz() const {
  return static_cast<double>(Config.LowEdge) * StepKHz * 0.001;
}

double TRF::HighEdgeMHz() const {
  return static_cast<double>(Config.HighEdge) * StepKHz * 0.001;
}

int16_t TRF::PositionOfChannel(int16_t channel) const {
  if (!IsWrapped()) return channel;
  if (channel >= kWrapBase + 1) return static_cast<int16_t>(channel - kWrapBase);
  return static_cast<int16_t>(channel + kWrapSplit);
}

int16_t TRF::ChannelOfStep(uint32_t position) const {
  // The instrument counts in 16 bits: only the low halves of position and edge take part.
  const auto index = static_cast<int16_t>(static_cast<uint16_t>(position) -
                                          static_cast<uint16_t>(Config.LowEdge) + 1);
  if (!IsWrapped()) return index;
  if (index > kWrapSplit) return static_cast<int16_t>(index - kWrapSplit);
  return static_cast<int16_t>(index + kWrapBase);
}

double TRF::FrequencyOfChannel(int16_t channel) const {
  const uint32_t step = static_cast<uint32_t>(PositionOfChannel(channel)) + Config.LowEdge - 1;
  return static_cast<double>(step) * StepKHz * 0.001;
}

double TRF::FrequencyOfStep(uint32_t position) const {
  return FrequencyOfChannel(ChannelOfStep(position));
}

}  // namespace vireon
