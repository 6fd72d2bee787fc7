#include "link/UsbTty.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>

namespace vireon {

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Calls visit(dirfd, name) for each entry of the folder until it returns true. A folder that
// cannot be read (gone, or another user's) has no entries.
bool AnyEntry(const std::string& path, const std::function<bool(int, const std::string&)>& visit) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (!found) {
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name != "." && name != "..") found = visit(dirfd(dir), name);
  }
  closedir(dir);
  return found;
}

// The device number in /sys/class/tty/<tty>/dev ("188:0").
bool TtyDevice(const std::string& tty, const std::string& sysRoot, dev_t& device) {
  std::ifstream in(sysRoot + "/class/tty/" + tty + "/dev");
  std::string text;
  unsigned major = 0, minor = 0;
  if (!std::getline(in, text) || std::sscanf(text.c_str(), "%u:%u", &major, &minor) != 2)
    return false;
  device = makedev(major, minor);
  return true;
}

bool IsProcessId(const std::string& name) {
  return !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
}

// Whether a descriptor in this /proc/<pid>/fd is the character device `device`; stat follows
// each descriptor's link to the file it has open.
bool HoldsDevice(const std::string& fdDir, dev_t device) {
  return AnyEntry(fdDir, [device](int dir, const std::string& fd) {
    struct stat node {};
    return fstatat(dir, fd.c_str(), &node, 0) == 0 && S_ISCHR(node.st_mode) &&
           node.st_rdev == device;
  });
}

}  // namespace

std::string UsbSerialTty(const std::string& usbDevice, const std::string& sysRoot) {
  const std::string devices = sysRoot + "/bus/usb/devices/";
  std::string tty;
  // The first interface of whichever configuration is active: "1-2.3:1.0".
  AnyEntry(devices, [&](int, const std::string& name) {
    if (!StartsWith(name, usbDevice + ":") || !EndsWith(name, ".0")) return false;
    return AnyEntry(devices + name, [&tty](int, const std::string& port) {
      if (StartsWith(port, "ttyUSB")) tty = port;
      return !tty.empty();
    });
  });
  return tty;
}

bool TtyOpenElsewhere(const std::string& tty, const std::string& sysRoot,
                      const std::string& procRoot) {
  dev_t device = 0;
  if (!TtyDevice(tty, sysRoot, device)) return false;
  const std::string self = std::to_string(getpid());
  return AnyEntry(procRoot, [&](int, const std::string& pid) {
    return IsProcessId(pid) && pid != self && HoldsDevice(procRoot + "/" + pid + "/fd", device);
  });
}

}  // namespace vireon
