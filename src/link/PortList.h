#pragma once
// What is attached, as the port dialog lists it: every serial port the system knows, by its
// /dev/serial/by-id name when it has one (that name survives a re-plug under another ttyUSB
// number), with its description and serial number; then each FTDI bridge by its serial number.
// Each item's Name is what ParsePortName takes.

#include <string>
#include <vector>

namespace vireon {

struct TPortItem {
  std::string Shown;
  std::string Name;
};

struct TSerialPortFacts {
  std::string Location;  // /dev/ttyUSB0
  std::string ById;      // its /dev/serial/by-id link, or empty
  std::string Description;
  std::string SerialNumber;
};

TPortItem SerialPortItem(const TSerialPortFacts& port);
TPortItem UsbPortItem(const std::string& serialNumber);

// The link in byIdDir that leads to location, or empty.
std::string ByIdName(const std::string& location, const std::string& byIdDir);

// The serial ports (QSerialPortInfo) and FTDI bridges (libftdi) attached now.
std::vector<TPortItem> ListAttachedPorts();

}  // namespace vireon
