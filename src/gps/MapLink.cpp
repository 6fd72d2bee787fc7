#include "gps/MapLink.h"

#include <strings.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vireon {

namespace {
static_assert(std::endian::native == std::endian::little, "the map record is little-endian");

constexpr size_t kOffName = 0;
constexpr size_t kOffVersion = 12;
constexpr size_t kOffLatitude = 16;
constexpr size_t kOffLongitude = 24;
constexpr size_t kOffRSSIKind = 32;
constexpr size_t kOffRSSI = 34;
constexpr size_t kOffLabel = 36;
constexpr size_t kOffRSSIMin = 292;
constexpr size_t kOffRSSIMax = 294;
constexpr size_t kOffSerialKind = 296;
constexpr size_t kOffSerial = 297;
constexpr size_t kSerialMax = 8;

template <typename T>
void Put(uint8_t* block, size_t offset, T value) {
  std::memcpy(block + offset, &value, sizeof value);
}

template <typename T>
T Get(const uint8_t* block, size_t offset) {
  T value;
  std::memcpy(&value, block + offset, sizeof value);
  return value;
}
}  // namespace

void FillMapRecord(uint8_t* block, const TMapRecord& record) {
  std::memcpy(block + kOffName, "NDQMARLUNE", 11);
  Put<uint16_t>(block, kOffVersion, 100);
  Put<double>(block, kOffLatitude, record.Latitude);
  Put<double>(block, kOffLongitude, record.Longitude);
  Put<uint16_t>(block, kOffRSSIKind, 1);
  Put<int16_t>(block, kOffRSSI, record.RSSI);
  block[kOffLabel] = 0;
  Put<int16_t>(block, kOffRSSIMin, record.RSSIMin);
  Put<int16_t>(block, kOffRSSIMax, record.RSSIMax);
  block[kOffSerialKind] = 1;
  size_t n = std::min(record.SerialNumber.size(), kSerialMax);
  // The serial number ends at its first zero byte, as the reader sees it.
  n = std::min(n, std::strlen(record.SerialNumber.c_str()));
  std::memcpy(block + kOffSerial, record.SerialNumber.data(), n);
  block[kOffSerial + n] = 0;
}

TMapRecord ReadMapRecord(const uint8_t* block) {
  TMapRecord record;
  record.Latitude = Get<double>(block, kOffLatitude);
  record.Longitude = Get<double>(block, kOffLongitude);
  record.RSSI = Get<int16_t>(block, kOffRSSI);
  record.RSSIMin = Get<int16_t>(block, kOffRSSIMin);
  record.RSSIMax = Get<int16_t>(block, kOffRSSIMax);
  const char* serial = reinterpret_cast<const char*>(block + kOffSerial);
  record.SerialNumber.assign(serial, strnlen(serial, kSerialMax));
  return record;
}

int16_t MapRangeValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Unsigned arithmetic wraps modulo 2^16, which keeps exactly the value's low 16 bits.
  uint16_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    value = static_cast<uint16_t>(value * 10u + static_cast<unsigned>(text[i] - '0'));
  if (negative) value = static_cast<uint16_t>(0u - value);
  return static_cast<int16_t>(value);
}

namespace {
// A whole number that fits the record's 16 bits, blanks around it and a "dBm" after it allowed.
bool WholeNumber(std::string text) {
  size_t end = text.find_last_not_of(' ');
  if (end != std::string::npos && end >= 2 && strncasecmp(&text[end - 2], "dBm", 3) == 0)
    text.resize(end - 2);
  size_t i = text.find_first_not_of(' ');
  end = text.find_last_not_of(' ');
  if (i == std::string::npos) return false;
  if (text[i] == '-' || text[i] == '+') ++i;
  if (i > end || end - i > 5) return false;
  for (size_t k = i; k <= end; ++k)
    if (!std::isdigit(static_cast<unsigned char>(text[k]))) return false;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  return value >= INT16_MIN && value <= INT16_MAX;
}
}  // namespace

std::string MapRangeProblem(const std::string& minText, const std::string& maxText) {
  if (!WholeNumber(maxText)) return "The maximum must be a whole number of dBm";
  if (!WholeNumber(minText)) return "The minimum must be a whole number of dBm";
  if (MapRangeValue(minText) >= MapRangeValue(maxText))
    return "The minimum must be below the maximum";
  return {};
}

TMapLink::TMapLink(std::string blockName)
    : BlockName(std::move(blockName)), Bus(kMapBusPath, kMapBusInterface, kMapBusSignal) {}

std::string TMapLink::TakeRefusal() {
  if (RefusalSaid || Block.Refusal().empty()) return {};
  RefusalSaid = true;
  return Block.Refusal();
}

bool TMapLink::Write(const TMapRecord& record) {
  if (!Block.Open(BlockName, kMapBlockSize)) return false;
  FillMapRecord(Block.View(), record);
  ++Written;
  Bus.Send();
  return true;
}

}  // namespace vireon
