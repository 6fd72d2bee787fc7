#include "link/Usb.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vireon {

TUSB::TUSB() : TUSB(MakeLibFtdiDriver()) {}

TUSB::TUSB(std::unique_ptr<TFtdiDriver> driver) : Driver(std::move(driver)) {}

bool TUSB::Open() {
  int count = 0;
  if (!Driver->CountDevices(count)) count = 0;
  if (static_cast<int16_t>(count) <= 0) return false;
  char serial[64] = {};
  if (!Driver->SerialNumber(0, serial, sizeof serial)) return false;
  if (!Driver->OpenDevice(0)) return false;
  return Driver->SetBaudRate(kBaudRate);
}

int16_t TUSB::Read(uint8_t* buffer) {
  uint32_t waiting = 0;
  // A failed status query pauses the caller like a failed read.
  if (!Driver->QueueStatus(waiting)) {
    std::memset(buffer, 0, 4);
    return -1;
  }
  if (waiting == 0) return 0;
  uint32_t got = 0;
  if (!Driver->Read(buffer, std::min<uint32_t>(waiting, kBufferSize), got)) {
    std::memset(buffer, 0, 4);
    return -1;
  }
  return static_cast<int16_t>(std::min<uint32_t>(got, kBufferSize));
}

int32_t TUSB::Write(const uint8_t* bytes, int n) {
  uint32_t written = 0;
  if (n < 0 || !Driver->Write(bytes, static_cast<uint32_t>(n), written)) return kWriteFailed;
  return static_cast<int32_t>(written);
}

}  // namespace vireon
