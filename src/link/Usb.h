#pragma once
// USB transport: the instrument's FTDI bridge, reached through the TFtdiDriver seam.
//
// Open takes device 0 of the driver's list at 38400 baud and nothing else. Read moves what the
// receive queue holds (at most the caller's buffer) and returns the count, 0 when the queue is
// empty, -1 when the driver failed; Write returns the count written or kWriteFailed. Nothing is
// closed on a failed step: the handle lives until the process ends.

#include <cstdint>
#include <memory>

#include "link/Ftdi.h"

namespace vireon {

class TUSB {
 public:
  static constexpr int kBufferSize = 4096;  // size of every buffer passed to Read
  static constexpr int32_t kWriteFailed = 65535;
  static constexpr int kBaudRate = 38400;

  TUSB();  // over libftdi
  explicit TUSB(std::unique_ptr<TFtdiDriver> driver);
  TUSB(const TUSB&) = delete;
  TUSB& operator=(const TUSB&) = delete;

  bool Open();
  int16_t Read(uint8_t* buffer);
  int32_t Write(const uint8_t* bytes, int n);

 private:
  std::unique_ptr<TFtdiDriver> Driver;
};

}  // namespace vireon
