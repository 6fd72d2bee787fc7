#pragma once
// USB transport: the instrument's FTDI bridge, reached through the TFtdiDriver seam.
//
// Open takes the bridge with the chosen serial number or, with none chosen, the one with the
// lowest serial number (the driver's list follows the hub ports, not the bridges), at 38400 baud
// and nothing else. The first bridge opened is remembered by its serial number, so a reopen after
// the link was lost finds the same instrument wherever it now sits in the list. A bridge without a
// serial number opens all the same, when no other has one. A bridge that another program holds
// open as its ttyUSB port is refused, not taken from it.
//
// Read moves what the receive queue holds (at most the caller's buffer) and returns the count, 0
// when the queue is empty, -1 when the driver failed, kLinkLost once the device is gone; Write
// returns the count written or kWriteFailed. A failed Open leaves its reason in LastError: the
// kind of failure, the driver's own error string and a hint where one helps.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/Ftdi.h"

namespace vireon {

class TUSB {
 public:
  static constexpr int kBufferSize = 4096;  // size of every buffer passed to Read
  static constexpr int32_t kWriteFailed = 65535;
  static constexpr int16_t kLinkLost = -2;
  static constexpr int kBaudRate = 38400;

  TUSB();  // over libftdi
  explicit TUSB(std::unique_ptr<TFtdiDriver> driver);
  TUSB(const TUSB&) = delete;
  TUSB& operator=(const TUSB&) = delete;

  // The serial number of the bridge to open; empty for device 0.
  void SetSerial(std::string serial);
  bool Open();
  void Close();
  int16_t Read(uint8_t* buffer);
  int32_t Write(const uint8_t* bytes, int n);

  std::string LastError() const;
  // "USB", or "USB <serial>" when a bridge was chosen by its serial number, by the user or among
  // several by the lowest one.
  std::string DisplayName() const;

 private:
  // The reason with the driver's own words and the hint.
  bool Fail(const std::string& what, const char* hint = nullptr);
  bool Refuse(std::string reason);
  // Index of the bridge with this serial number among count, or -1.
  int FindSerial(const std::string& serial, int count);
  // Index of the bridge with the lowest serial number among count, and that number.
  int LowestSerial(int count, std::string& serial);

  std::unique_ptr<TFtdiDriver> Driver;
  mutable std::mutex M;
  std::string Chosen;      // as the user chose it
  std::string Remembered;  // the serial number of the bridge first opened
  std::string Picked;      // the serial number the lowest-number choice made among several
  std::string Error;
};

// The serial numbers of the attached bridges that have one, lowest first.
std::vector<std::string> FtdiSerialNumbers(TFtdiDriver& driver);

}  // namespace vireon
