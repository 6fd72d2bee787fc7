#pragma once
// The narrow seam between the USB transport and the FTDI bridge's driver. The transport speaks
// only to this interface, so tests can script a device list, queued bytes and failures; the
// program uses the libftdi implementation. Every call reports success as true.

#include <cstdint>
#include <memory>

namespace vireon {

class TFtdiDriver {
 public:
  virtual ~TFtdiDriver() = default;
  // Number of FTDI bridges attached (vendor 0x0403, the usual product ids).
  virtual bool CountDevices(int& count) = 0;
  // Serial number string of device `index`, zero-terminated within size bytes.
  virtual bool SerialNumber(int index, char* text, int size) = 0;
  virtual bool OpenDevice(int index) = 0;
  virtual bool SetBaudRate(int baud) = 0;
  // Bytes waiting in the receive queue.
  virtual bool QueueStatus(uint32_t& waiting) = 0;
  virtual bool Read(uint8_t* buffer, uint32_t n, uint32_t& got) = 0;
  virtual bool Write(const uint8_t* bytes, uint32_t n, uint32_t& written) = 0;
};

// The driver over libftdi1. A missing USB subsystem or a device without permission shows as an
// ordinary failure of the call that meets it.
std::unique_ptr<TFtdiDriver> MakeLibFtdiDriver();

}  // namespace vireon
