#pragma once
// The ttyUSB port the kernel's USB serial driver (ftdi_sio) makes of a bridge, and whether
// another program has it open. Taking the bridge over USB detaches that driver and hangs up
// whoever holds the port, so an open port is a reason to refuse.
//
// The port is found in sysfs from the bridge's bus and port path. Whether it is open is read from
// /proc/<pid>/fd: the kernel shows no open count of a tty to an unprivileged process, advisory
// locks and TIOCEXCL catch only the programs that set them, and the programs that meet the bridge
// in practice (a terminal program, a second logger, a script) run as the user, whose descriptors
// need no root to read. Other users' processes hide theirs and are not seen.

#include <string>

namespace vireon {

// "ttyUSB0" for the USB device with the sysfs name `usbDevice` ("1-2.3") while a serial driver
// is bound to its first interface; empty otherwise.
std::string UsbSerialTty(const std::string& usbDevice, const std::string& sysRoot = "/sys");

// Whether a process other than this one holds the tty `tty` ("ttyUSB0") open.
bool TtyOpenElsewhere(const std::string& tty, const std::string& sysRoot = "/sys",
                      const std::string& procRoot = "/proc");

}  // namespace vireon
