// Decoding of the GPS receiver's 152-byte report. Every multi-byte field is big-endian; the
// report carries no checksum of its own (the framer checked the packet) and Decode validates
// nothing: values are stored as they come. A payload shorter than the report is taken as if
// zero-filled, so nothing past the received bytes is ever read.

#include "gps/Gps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace vireon {

static_assert(std::is_trivially_copyable_v<TGPS>, "a record is copied whole under the lock");

namespace {

// Divided, not multiplied by the reciprocal: 198000000 / 3600000 is exactly 55.0, while
// 198000000 * (1 / 3600000.0) is one bit short of it.
constexpr double kMasPerDegree = 3600000.0;

int16_t Be16(const uint8_t* p) {
  return static_cast<int16_t>((p[0] << 8) | p[1]);
}

int32_t Be32(const uint8_t* p) {
  return static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 24) |
                              (static_cast<uint32_t>(p[1]) << 16) |
                              (static_cast<uint32_t>(p[2]) << 8) | p[3]);
}

std::string Format(const char* format, auto... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string Hemisphere(double degrees, char positive, char negative) {
  return Format("%.4f %c", std::fabs(degrees), degrees > 0 ? positive : negative);
}

}  // namespace

const std::string TGPS::CompassText[20] = {"N",  "NNE", "NE", "ENE", "E",  "ESE",
                                           "SE", "SSE", "S",  "SSW", "SW", "WSW",
                                           "W",  "WNW", "NW", "NNW", "N"};
const std::string TGPS::FixText[8] = {
    "Reserved",      "Reserved",       "Bad Geometry", "Acquiring Satellites",
    "Position Hold", "Propogate Mode", "2D Fix",       "3D Fix"};
const std::string TGPS::AntennaText[4] = {"OK", "Overcurrent", "Undercurrent", "NV"};

void TGPS::Decode(const uint8_t* payload, size_t n) {
  std::memset(Raw, 0, sizeof Raw);
  if (payload != nullptr) std::memcpy(Raw, payload, std::min(n, sizeof Raw));
  const uint8_t* r = Raw;

  Month = r[4];
  Day = r[5];
  Year = Be16(r + 6);
  Hours = r[8];
  Minutes = r[9];
  Seconds = r[10];
  FilLatitude = Be32(r + 15) / kMasPerDegree;
  FilLongitude = Be32(r + 19) / kMasPerDegree;
  FilGPSHeight = Be32(r + 23);
  FilMSLHeight = Be32(r + 27);
  Latitude = Be32(r + 31) / kMasPerDegree;
  Longitude = Be32(r + 35) / kMasPerDegree;
  GPSHeight = Be32(r + 39);
  MSLHeight = Be32(r + 43);
  Speed3D = Be16(r + 47);
  Speed2D = Be16(r + 49);
  Heading = Be16(r + 51);
  DOP = Be16(r + 53);
  SatsVisible = r[55];
  SatsTracked = r[56];
  std::memcpy(Channels, r + 57, sizeof Channels);
  FixStatus = r[129];
  RecStatus[0] = r[129];
  RecStatus[1] = r[130];
  ClockBias = Be16(r + 133);
  OscOffset = Be32(r + 135);
  Temperature = static_cast<uint16_t>((r[139] << 8) | r[140]) / 2;
  UTCMode = (r[141] & 0x80) != 0;
  UTCOffsetDecoded = (r[141] & 0x40) != 0;
  UTCOffset = r[141] & 0x3F;
  GMTNegative = r[142] != 0;
  GMTHours = r[143];
  GMTMinutes = r[144];
  std::memcpy(IDTag, r + 145, 6);
  IDTag[6] = 0;
}

std::string TGPS::DateText() const {
  return Format("%02d/%02d/%04d", Month, Day, Year);
}

std::string TGPS::TimeText() const {
  return Format("%02d:%02d:%02d", Hours, Minutes, Seconds);
}

std::string TGPS::FilLatitudeText() const {
  return Hemisphere(FilLatitude, 'N', 'S');
}

std::string TGPS::FilLongitudeText() const {
  return Hemisphere(FilLongitude, 'E', 'W');
}

std::string TGPS::LatitudeText() const {
  return Hemisphere(Latitude, 'N', 'S');
}

std::string TGPS::LongitudeText() const {
  return Hemisphere(Longitude, 'E', 'W');
}

std::string TGPS::HeadingText() const {
  // A heading outside 0..3599 tenths is taken modulo a full turn, so the index stays among the
  // 17 compass points whatever the receiver sends.
  const int tenths = ((Heading % 3600) + 3600) % 3600;
  return CompassText[(tenths + 113) / 225];
}

std::string TGPS::GMTText() const {
  return Format("%c%02d:%02d", GMTNegative ? '-' : ' ', GMTHours, GMTMinutes);
}

std::string TGPS::FixStatusText() const {
  return FixText[FixCode()];
}

std::string TGPS::AntennaStatusText() const {
  return AntennaText[(RecStatus[1] >> 1) & 3];
}

void TGPSShared::Decode(const uint8_t* payload, size_t n) {
  std::lock_guard decoding(DecodeMutex);
  Scratch.Decode(payload, n);
  std::lock_guard lock(M);
  Record = Scratch;
}

TGPS TGPSShared::Copy() const {
  std::lock_guard lock(M);
  return Record;
}

}  // namespace vireon
