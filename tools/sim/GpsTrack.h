#pragma once
// The simulated GPS receiver: a vehicle driving a gently curving road, reported once a second in
// the receiver's 152-byte big-endian report (3D fix, satellites, 12 channel records, status).

#include <array>
#include <cstdint>
#include <ctime>

namespace vireon::sim {

constexpr int kGpsReportSize = 152;

class TGpsTrack {
 public:
  TGpsTrack(double latitude, double longitude);

  // Moves the vehicle on by dt seconds.
  void Advance(double dt);
  std::array<uint8_t, kGpsReportSize> Report(std::time_t utc) const;

  double Latitude;   // degrees
  double Longitude;  // degrees
  double Heading;    // degrees from north
  double Speed;      // m/s
  double Elapsed = 0;
};

}  // namespace vireon::sim
