#pragma once
// The last GPS report from the instrument's GPS receiver, verbatim and converted.
// The report is 152 bytes, every multi-byte field big-endian. Decode validates nothing (the
// framer checked the checksum); a shorter payload is zero-filled, never read past.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace vireon {

constexpr int kGpsReportSize = 152;

struct TGPSChannel {
  uint8_t SVID = 0;
  uint8_t Mode = 0;
  uint8_t Signal = 0;
  uint8_t IODE = 0;
  uint8_t ChannelStatus[2] = {0, 0};
};

struct TGPS {
  uint8_t Raw[kGpsReportSize] = {};
  // The text tables are the same for every record, so copying a record copies no text.
  static const std::string CompassText[20];
  static const std::string FixText[8];
  static const std::string AntennaText[4];
  int16_t Month = 0, Day = 0, Year = 0, Hours = 0, Minutes = 0, Seconds = 0;
  int16_t DOP = 0;
  int16_t Heading = 0;
  int16_t Speed3D = 0, Speed2D = 0;
  int16_t ClockBias = 0;
  bool GMTNegative = false;
  int16_t GMTHours = 0, GMTMinutes = 0;
  char IDTag[7] = {};
  double FilLatitude = 0, FilLongitude = 0;
  double FilGPSHeight = 0, FilMSLHeight = 0;
  double Latitude = 0, Longitude = 0;
  double GPSHeight = 0, MSLHeight = 0;
  double Temperature = 0;
  uint8_t FixStatus = 0;
  int16_t SatsVisible = 0, SatsTracked = 0;
  int32_t OscOffset = 0;
  uint8_t RecStatus[2] = {0, 0};
  TGPSChannel Channels[12];
  bool UTCMode = false, UTCOffsetDecoded = false;
  int16_t UTCOffset = 0;

  // n is the payload size; bytes past it read as zero.
  void Decode(const uint8_t* payload, size_t n);

  std::string DateText() const;
  std::string TimeText() const;
  std::string FilLatitudeText() const;
  std::string FilLongitudeText() const;
  std::string LatitudeText() const;
  std::string LongitudeText() const;
  std::string HeadingText() const;
  std::string GMTText() const;
  int FixCode() const { return FixStatus >> 5; }
  std::string FixStatusText() const;
  std::string AntennaStatusText() const;
};

// The process-wide record: the communications thread decodes into it, the GPS panel and the map
// link read consistent copies.
class TGPSShared {
 public:
  void Decode(const uint8_t* payload, size_t n);
  TGPS Copy() const;

 private:
  mutable std::mutex M;
  TGPS Record;
  // Decoded outside M and copied in, so readers wait for a copy, never for a decode.
  std::mutex DecodeMutex;
  TGPS Scratch;
};

}  // namespace vireon
