#include "link/PortList.h"

#include <QSerialPortInfo>
#include <filesystem>
#include <system_error>

#include "link/Ftdi.h"
#include "link/Usb.h"

namespace vireon {

namespace fs = std::filesystem;

TPortItem SerialPortItem(const TSerialPortFacts& port) {
  TPortItem item;
  item.Name = port.ById.empty() ? port.Location : port.ById;
  item.Shown = item.Name;
  if (!port.Description.empty()) item.Shown += " — " + port.Description;
  if (!port.SerialNumber.empty()) item.Shown += " (" + port.SerialNumber + ")";
  return item;
}

TPortItem UsbPortItem(const std::string& serialNumber) {
  return {"USB " + serialNumber, "USB " + serialNumber};
}

std::string ByIdName(const std::string& location, const std::string& byIdDir) {
  std::error_code error;
  const fs::path device = fs::canonical(location, error);
  if (error) return {};
  for (const fs::directory_entry& entry : fs::directory_iterator(byIdDir, error)) {
    std::error_code ignored;
    if (fs::canonical(entry.path(), ignored) == device) return entry.path().string();
  }
  return {};
}

std::vector<TPortItem> ListAttachedPorts() {
  std::vector<TPortItem> items;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    TSerialPortFacts port;
    port.Location = info.systemLocation().toStdString();
    port.ById = ByIdName(port.Location, "/dev/serial/by-id");
    port.Description = info.description().toStdString();
    port.SerialNumber = info.serialNumber().toStdString();
    items.push_back(SerialPortItem(port));
  }
  // A driver of its own: the port dialog lists before the communications thread exists, and a
  // listing must never disturb the transport's open device.
  std::unique_ptr<TFtdiDriver> driver = MakeLibFtdiDriver();
  for (const std::string& serial : FtdiSerialNumbers(*driver)) items.push_back(UsbPortItem(serial));
  return items;
}

}  // namespace vireon
