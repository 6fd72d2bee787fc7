#pragma once
// The narrow seam between the USB transport and the FTDI bridge's driver. The transport speaks
// only to this interface, so tests can script a device list, queued bytes and failures; the
// program uses the libftdi implementation. Every call reports success as true; after a failure
// LastFault says what kind it was and LastErrorString gives the driver's own words.

#include <cstdint>
#include <memory>
#include <string>

namespace vireon {

enum class TFtdiFault {
  None,
  Failed,  // a failure that may pass (a time-out, a refused setting)
  Gone,    // the device is no longer there: unplugged, or the bus reset it
  Denied,  // no permission to open the device
  Busy,    // claimed by another program or driver
};

class TFtdiDriver {
 public:
  virtual ~TFtdiDriver() = default;
  // Refreshes the list of FTDI bridges: every device of vendor 0x0403, whatever its product id,
  // and the VID:PID in $VIREON_USB_ID for a re-badged bridge.
  virtual bool CountDevices(int& count) = 0;
  // Serial number string of device `index`, zero-terminated within size bytes; false when the
  // device has none or it cannot be read.
  virtual bool SerialNumber(int index, char* text, int size) = 0;
  // The device name ("/dev/ttyUSB0") by which another program has device `index` open through
  // the kernel's serial driver, which opening the device would take from it; empty when none has.
  virtual std::string HeldPort(int index) = 0;
  virtual bool OpenDevice(int index) = 0;
  // Releases the open device (its kernel serial driver is attached again); harmless when closed.
  virtual void Close() = 0;
  virtual bool SetBaudRate(int baud) = 0;
  // Bytes waiting in the receive queue.
  virtual bool QueueStatus(uint32_t& waiting) = 0;
  virtual bool Read(uint8_t* buffer, uint32_t n, uint32_t& got) = 0;
  virtual bool Write(const uint8_t* bytes, uint32_t n, uint32_t& written) = 0;

  virtual TFtdiFault LastFault() const = 0;
  virtual std::string LastErrorString() const = 0;
};

// The driver over libftdi1. A missing USB subsystem or a device without permission shows as an
// ordinary failure of the call that meets it.
std::unique_ptr<TFtdiDriver> MakeLibFtdiDriver();

}  // namespace vireon
