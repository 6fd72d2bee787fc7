#pragma once
// Receiver model: tuning range, step, channel numbering, current position and scan list of one
// of the instrument's two receivers. Positions are counted in steps; channels are a 1-based
// numbering of the positions in range, optionally wrapped (991..1024, then 1..).

#include <cstdint>

namespace vireon {

class TRF {
 public:
  // The configuration block exactly as received (little-endian), so it can be copied back out.
#pragma pack(push, 1)
  struct ConfigBlock {
    uint32_t LowEdge = 0;
    uint32_t HighEdge = 0;
    uint16_t StepCode = 0;  // 1/256 kHz
    uint8_t Flags = 0;      // bit 0: wrapped channel numbering
    uint8_t Reserved = 0;
  };
#pragma pack(pop)
  static_assert(sizeof(ConfigBlock) == 12);

  ConfigBlock Config;
  uint32_t ScanList[10] = {};
  uint32_t Current = 0;
  double StepKHz = 0.0;

  void LoadConfig(const uint8_t block[12]);
  void SetCurrent(uint32_t position) {
    Current = position;
  }
  void LoadScanList(const uint8_t block[40]);
  // The raw 12 configuration bytes, for the log header.
  const uint8_t* ConfigBytes() const {
    return reinterpret_cast<const uint8_t*>(&Config);
  }
  static int16_t ConfigSize() {
    return 12;
  }

  bool IsWrapped() const {
    return (Config.Flags & 1) != 0;
  }
  double CurrentMHz() const;
  double LowEdgeMHz() const;
  double HighEdgeMHz() const;
  int16_t PositionOfChannel(int16_t channel) const;
  int16_t ChannelOfStep(uint32_t position) const;
  int16_t CurrentChannel() const {
    return ChannelOfStep(Current);
  }
  double FrequencyOfChannel(int16_t channel) const;
  double FrequencyOfStep(uint32_t position) const;
};

}  // namespace vireon
