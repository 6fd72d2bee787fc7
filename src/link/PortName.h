#pragma once
// The names a user gives a port, in the port dialog or on a tool's command line, and what they
// stand for: "COM1:".."COM4:", "USB", "USB <serial number>", or a device path. Any other text
// names no port; opening it fails and says so with the text itself.

#include <cstdint>
#include <string>

namespace vireon {

class TEngine;
class TRS232;
class TUSB;

struct TPortChoice {
  int16_t LinkMode = 1;    // 1 COM port, 2 USB
  int16_t PortNumber = 0;  // 1-4 for the numbered ports, 0 otherwise
  std::string DevicePath;  // COM link: a device path, or the text that names no port
  std::string UsbSerial;   // USB link: the bridge's serial number; empty for device 0
};

// Case and surrounding blanks aside.
TPortChoice ParsePortName(const std::string& name);

// Records the choice in the engine (LinkMode, PortNumber) and the transports.
void ApplyPortChoice(const TPortChoice& choice, TEngine& engine, TRS232& rs232, TUSB& usb);

}  // namespace vireon
