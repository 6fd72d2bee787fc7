#include "GpsTrack.h"

#include <cmath>
#include <cstring>

namespace vireon::sim {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kMasPerDegree = 3600000.0;

void Put16(uint8_t* p, int v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void Put32(uint8_t* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(u >> (24 - 8 * i));
}

int32_t Mas(double degrees) {
  return static_cast<int32_t>(std::lround(degrees * kMasPerDegree));
}

}  // namespace

TGpsTrack::TGpsTrack(double latitude, double longitude)
    : Latitude(latitude), Longitude(longitude), Heading(35.0), Speed(13.0) {}

void TGpsTrack::Advance(double dt) {
  Elapsed += dt;
  // A road that bends one way and then the other; the speed breathes with the traffic.
  Heading = std::fmod(35.0 + 60.0 * std::sin(Elapsed / 90.0) + 360.0, 360.0);
  Speed = 13.0 + 4.0 * std::sin(Elapsed / 23.0);
  double rad = Heading * kPi / 180.0;
  double north = Speed * dt * std::cos(rad);
  double east = Speed * dt * std::sin(rad);
  Latitude += north / kMetresPerDegree;
  Longitude += east / (kMetresPerDegree * std::cos(Latitude * kPi / 180.0));
}

std::array<uint8_t, kGpsReportSize> TGpsTrack::Report(std::time_t utc) const {
  std::array<uint8_t, kGpsReportSize> r{};
  uint8_t* p = r.data();
  std::tm t{};
  gmtime_r(&utc, &t);
  p[4] = static_cast<uint8_t>(t.tm_mon + 1);
  p[5] = static_cast<uint8_t>(t.tm_mday);
  Put16(p + 6, t.tm_year + 1900);
  p[8] = static_cast<uint8_t>(t.tm_hour);
  p[9] = static_cast<uint8_t>(t.tm_min);
  p[10] = static_cast<uint8_t>(t.tm_sec);
  const int32_t heightCm = 4210 + static_cast<int32_t>(300 * std::sin(Elapsed / 60.0));
  const int32_t geoidCm = 3850;
  // Filtered and unfiltered fixes differ by the filter's few metres.
  Put32(p + 15, Mas(Latitude));
  Put32(p + 19, Mas(Longitude));
  Put32(p + 23, heightCm + geoidCm);
  Put32(p + 27, heightCm);
  Put32(p + 31, Mas(Latitude) + static_cast<int32_t>(90 * std::sin(Elapsed)));
  Put32(p + 35, Mas(Longitude) + static_cast<int32_t>(90 * std::cos(Elapsed)));
  Put32(p + 39, heightCm + geoidCm + 120);
  Put32(p + 43, heightCm + 120);
  const int speedCm = static_cast<int>(Speed * 100);
  Put16(p + 47, speedCm + 3);
  Put16(p + 49, speedCm);
  Put16(p + 51, static_cast<int>(Heading * 10) % 3600);
  Put16(p + 53, 14 + static_cast<int>(Elapsed) % 5);
  p[55] = 9;
  p[56] = 8;
  static const uint8_t kSatellites[12] = {2, 5, 7, 9, 13, 17, 20, 24, 28, 30, 0, 0};
  for (int c = 0; c < 12; ++c) {
    uint8_t* ch = p + 57 + 6 * c;
    const bool tracked = kSatellites[c] != 0 && c < 8;
    ch[0] = kSatellites[c];
    ch[1] = tracked ? 8 : 0;
    ch[2] = tracked ? static_cast<uint8_t>(38 + (c * 7 + static_cast<int>(Elapsed)) % 12) : 0;
    ch[3] = tracked ? static_cast<uint8_t>(40 + c) : 0;
    ch[4] = tracked ? 0x08 : 0x00;                         // time used
    ch[5] = tracked ? static_cast<uint8_t>(0x80 | 3) : 0;  // position fix used, accuracy 3
  }
  p[129] = 0xE0;               // 3D fix
  p[130] = 0x01;               // antenna OK, internal code
  Put16(p + 133, 212);         // clock bias, ns
  Put32(p + 135, 93421);       // oscillator offset, Hz
  Put16(p + 139, 2 * 31 + 1);  // 31.5 C in half degrees
  p[141] = 0xC0 | 18;          // UTC offset decoded, 18 s
  p[142] = 0;
  p[143] = 0;
  p[144] = 0;
  std::memcpy(p + 145, "VSGPS1", 6);
  return r;
}

}  // namespace vireon::sim
