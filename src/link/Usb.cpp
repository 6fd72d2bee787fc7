#include "link/Usb.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vireon {

namespace {

constexpr int kSerialSize = 64;

std::string SerialOf(TFtdiDriver& driver, int index) {
  char serial[kSerialSize] = {};
  if (!driver.SerialNumber(index, serial, sizeof serial)) return {};
  serial[kSerialSize - 1] = '\0';
  return serial;
}

}  // namespace

TUSB::TUSB() : TUSB(MakeLibFtdiDriver()) {}

TUSB::TUSB(std::unique_ptr<TFtdiDriver> driver) : Driver(std::move(driver)) {}

void TUSB::SetSerial(std::string serial) {
  std::lock_guard lock(M);
  Chosen = std::move(serial);
}

std::string TUSB::DisplayName() const {
  std::lock_guard lock(M);
  const std::string& serial = Chosen.empty() ? Picked : Chosen;
  return serial.empty() ? "USB" : "USB " + serial;
}

std::string TUSB::LastError() const {
  std::lock_guard lock(M);
  return Error;
}

bool TUSB::Fail(const std::string& what, const char* hint) {
  std::string reason = what;
  const std::string driverText = Driver->LastErrorString();
  if (!driverText.empty()) reason += ": " + driverText;
  if (hint != nullptr) reason += std::string(" (") + hint + ")";
  return Refuse(std::move(reason));
}

bool TUSB::Refuse(std::string reason) {
  std::lock_guard lock(M);
  Error = std::move(reason);
  return false;
}

int TUSB::FindSerial(const std::string& serial, int count) {
  for (int i = 0; i < count; ++i)
    if (SerialOf(*Driver, i) == serial) return i;
  return -1;
}

int TUSB::LowestSerial(int count, std::string& serial) {
  int lowest = 0;
  serial = SerialOf(*Driver, 0);
  for (int i = 1; i < count; ++i) {
    std::string other = SerialOf(*Driver, i);
    if (other.empty() || (!serial.empty() && other >= serial)) continue;
    lowest = i;
    serial = std::move(other);
  }
  return lowest;
}

bool TUSB::Open() {
  std::string wanted;
  {
    std::lock_guard lock(M);
    wanted = Chosen.empty() ? Remembered : Chosen;
  }
  int count = 0;
  if (!Driver->CountDevices(count)) count = 0;
  if (static_cast<int16_t>(count) <= 0) return Fail("no FTDI device found");
  // A bridge without a serial number string is still the instrument: its absence is no failure.
  std::string serial = wanted;
  const int index = wanted.empty() ? LowestSerial(count, serial) : FindSerial(wanted, count);
  if (index < 0) return Fail("no FTDI device with serial number " + wanted);
  // Opening would detach the kernel's driver and hang up the program using the port.
  const std::string held = Driver->HeldPort(index);
  if (!held.empty()) return Refuse("in use by another program as " + held);
  if (!Driver->OpenDevice(index)) {
    switch (Driver->LastFault()) {
      case TFtdiFault::Denied:
        return Fail("permission denied", "install the udev rule");
      case TFtdiFault::Busy:
        return Fail("in use by another program");
      default:
        return Fail("cannot open the FTDI device");
    }
  }
  if (!Driver->SetBaudRate(kBaudRate)) {
    Fail("cannot set 38400 baud");
    Driver->Close();
    return false;
  }
  std::lock_guard lock(M);
  if (Remembered.empty() && wanted.empty() && count > 1) Picked = serial;
  if (Remembered.empty()) Remembered = serial;
  Error.clear();
  return true;
}

void TUSB::Close() {
  Driver->Close();
}

int16_t TUSB::Read(uint8_t* buffer) {
  uint32_t waiting = 0;
  uint32_t got = 0;
  // A failed status query pauses the caller like a failed read.
  bool ok = Driver->QueueStatus(waiting);
  if (ok && waiting == 0) return 0;
  if (ok) ok = Driver->Read(buffer, std::min<uint32_t>(waiting, kBufferSize), got);
  if (ok) return static_cast<int16_t>(std::min<uint32_t>(got, kBufferSize));
  if (Driver->LastFault() == TFtdiFault::Gone) {
    Fail("the device is gone");
    return kLinkLost;
  }
  std::memset(buffer, 0, 4);
  return -1;
}

int32_t TUSB::Write(const uint8_t* bytes, int n) {
  uint32_t written = 0;
  if (n < 0 || !Driver->Write(bytes, static_cast<uint32_t>(n), written)) return kWriteFailed;
  return static_cast<int32_t>(written);
}

std::vector<std::string> FtdiSerialNumbers(TFtdiDriver& driver) {
  std::vector<std::string> serials;
  int count = 0;
  if (!driver.CountDevices(count)) return serials;
  for (int i = 0; i < count; ++i) {
    std::string serial = SerialOf(driver, i);
    if (!serial.empty()) serials.push_back(std::move(serial));
  }
  std::sort(serials.begin(), serials.end());
  return serials;
}

}  // namespace vireon
