#pragma once
// The simulated instrument's packets: answers to the PC's two commands, the scan set-up sent when
// a measurement starts, and the measurement stream of the current mode. Each method returns
// whole frames ready for the wire; pacing and noise are the link's business.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "GpsTrack.h"
#include "Site.h"

namespace vireon::sim {

enum class TMeasureMode { Single, Scan, Table };

using TFrame = std::vector<uint8_t>;

struct TReceiverSetup {
  uint32_t LowEdge;
  uint32_t HighEdge;
  uint16_t StepCode;
  uint8_t Flags;
  uint32_t ScanList[10];
};

class TInstrument {
 public:
  TInstrument(std::string serial, uint32_t seed);

  // Frames answering one received command packet (types 28 and 1; others get none).
  std::vector<TFrame> Answer(uint8_t type) const;
  // Tuning then scan list: what the instrument sends when a measurement starts.
  std::vector<TFrame> StartMeasurement(TMeasureMode mode);
  // The next measurement packet of the current mode, for time t seconds.
  TFrame NextLevels(double t);
  TFrame ClockFrame(std::time_t utc) const;
  TFrame GpsFrame(std::time_t utc, double dt);

  TMeasureMode Mode = TMeasureMode::Scan;
  uint8_t Marker = 0;
  TReceiverSetup Receivers[2];

 private:
  TFrame SerialFrame() const;
  TFrame ConfigFrame() const;
  TFrame SingleFrame(int rx, double t);
  TFrame ScanFrame(double t);
  TFrame TableFrame(double t);
  int Channels(int rx) const;

  std::string Serial;
  TSite Site;
  TGpsTrack Track;
  uint32_t Sequence = 0;
};

TFrame MakeFrame(uint8_t type, const uint8_t* payload, int n);

}  // namespace vireon::sim
