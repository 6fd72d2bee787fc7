#include "link/Rs232.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vireon {

namespace {

// 38400 8N1, raw, no flow control of any kind; reads return at once (VMIN = VTIME = 0).
bool ApplyLineSettings(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  cfsetispeed(&t, B38400);
  cfsetospeed(&t, B38400);
  t.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~(IXON | IXOFF | IXANY);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

// DTR low, RTS high. A pseudo-terminal has no modem lines and refuses; that is not an error.
void SetModemLines(int fd) {
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &dtr);
  ioctl(fd, TIOCMBIS, &rts);
}

// The errors with which a tty says its line or device is gone for good.
bool IsLinkGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

std::string OpenFailure(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "no such device";
    case EACCES:
    case EPERM:
      return "permission denied (add your user to the dialout group)";
    case EBUSY:
    case EWOULDBLOCK:
      return "in use by another program";
    default:
      return std::strerror(error);
  }
}

}  // namespace

TRS232::~TRS232() {
  Close();
}

void TRS232::SetDevicePath(std::string path) {
  std::lock_guard lock(PathMutex);
  DevicePath = std::move(path);
}

std::string TRS232::DeviceOfPort(int port) {
  if (port < 1 || port > 4) return {};
  char name[16];
  std::snprintf(name, sizeof name, "VIREON_COM%d", port);
  const char* env = std::getenv(name);
  if (env != nullptr && *env != '\0') return env;
  std::snprintf(name, sizeof name, "/dev/ttyS%d", port - 1);
  return name;
}

std::string TRS232::DisplayName() const {
  std::lock_guard lock(PathMutex);
  if (!DevicePath.empty()) return DevicePath;
  return PortName;
}

std::string TRS232::LastError() const {
  std::lock_guard lock(PathMutex);
  return Error;
}

bool TRS232::Fail(std::string reason) {
  std::lock_guard lock(PathMutex);
  Error = std::move(reason);
  return false;
}

bool TRS232::Open(int16_t port) {
  std::string device;
  {
    std::lock_guard lock(PathMutex);
    Port = port;
    std::string name = "COM" + std::to_string(port) + ":";
    std::snprintf(PortName, sizeof PortName, "%s", name.c_str());
    device = DevicePath.empty() ? DeviceOfPort(port) : DevicePath;
  }
  if (device.empty() || device[0] != '/') return Fail("no such port");
  if (Handle.load() >= 0) return Fail("already open");

  // Non-blocking so a port waiting for carrier cannot hang the open; Write waits for room itself
  // so a frame still goes out whole.
  int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(OpenFailure(errno));
  struct stat node {};
  if (!isatty(fd) || fstat(fd, &node) != 0) {
    close(fd);
    return Fail("not a serial port");
  }
  // The lock marks the port in use for other programs; TIOCEXCL would outlive our close while a
  // peer (the simulator) holds the line open, and lock us out of reopening it.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    close(fd);
    return Fail(OpenFailure(error));
  }
  if (!ApplyLineSettings(fd)) {
    int error = errno;
    close(fd);
    return Fail(std::string("cannot set 38400 8N1: ") + std::strerror(error));
  }
  SetModemLines(fd);
  tcflush(fd, TCIOFLUSH);
  {
    std::lock_guard lock(PathMutex);
    OpenedName = device;
    OpenedDevice = node.st_rdev;
    Error.clear();
  }
  Handle = fd;
  return true;
}

int16_t TRS232::Lost() {
  Fail("the line hung up");
  return kLinkLost;
}

void TRS232::Close() {
  int fd = Handle.exchange(-1);
  if (fd >= 0) close(fd);
}

bool TRS232::NodeGone() {
  std::string name;
  dev_t device = 0;
  {
    std::lock_guard lock(PathMutex);
    name = OpenedName;
    device = OpenedDevice;
  }
  struct stat node {};
  const bool gone = stat(name.c_str(), &node) != 0
                        ? errno == ENOENT || errno == ENOTDIR
                        : !S_ISCHR(node.st_mode) || node.st_rdev != device;
  return gone && !Fail("the device was removed");
}

int16_t TRS232::Read(uint8_t* buffer) {
  int fd = Handle.load();
  int waiting = 0;
  if (fd >= 0 && ioctl(fd, FIONREAD, &waiting) != 0 && IsLinkGone(errno)) return Lost();
  if (fd >= 0 && waiting > 0) {
    if (waiting > kBufferSize) waiting = kBufferSize;
    ssize_t got = read(fd, buffer, static_cast<size_t>(waiting));
    if (got > 0) return static_cast<int16_t>(got);
    // Bytes were waiting, so an end of file here is a hang-up.
    if (got == 0 || IsLinkGone(errno)) return Lost();
  }
  std::memset(buffer, 0, 4);
  return -1;
}

int32_t TRS232::Write(const uint8_t* bytes, int n) {
  int fd = Handle.load();
  if (fd < 0 || n < 0) return kWriteFailed;
  int done = 0;
  while (done < n) {
    ssize_t w = write(fd, bytes + done, static_cast<size_t>(n - done));
    if (w > 0) {
      done += static_cast<int>(w);
    } else if (w < 0 && errno == EAGAIN) {
      // A line that takes nothing for a second fails the frame rather than hold SendMutex.
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 1000) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
    } else if (!(w < 0 && errno == EINTR)) {
      break;
    }
  }
  return done == n ? n : kWriteFailed;
}

TRS232::TWait TRS232::WaitForData(int ms) {
  int fd = Handle.load();
  pollfd p{fd, POLLIN, 0};
  int r = fd < 0 ? -1 : poll(&p, 1, ms);
  if (r == 0 || (r < 0 && errno == EINTR)) return TWait::Timeout;
  // A hung-up line also reports POLLIN while every read fails: it must not count as data.
  if (r < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    Lost();
    return TWait::Lost;
  }
  return TWait::Ready;
}

}  // namespace vireon
