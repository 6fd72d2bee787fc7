#pragma once
// Serial transport: a tty (a COM port, a USB serial adapter or a pseudo-terminal) at 38400 8N1,
// without flow control, DTR low and RTS high.
//
// Built on termios rather than QSerialPort: FIONREAD tells exactly how many bytes are waiting, so
// a read takes just those and never waits, and poll() gives the communications thread its
// up-to-100 ms wait for data without an event loop in that thread. Line ioctls that a
// pseudo-terminal refuses (DTR, RTS) are not fatal; an advisory lock marks the port in use.
//
// Error policy: Read returns the count read, -1 when nothing was read, or kLinkLost once the line
// has hung up or the device has gone (EIO, ENXIO, ENODEV, end of file); WaitForData says Lost for
// the same. Write returns n or kWriteFailed. A failed Open leaves its reason in LastError, with a
// hint where one helps. The port is opened by the name the user chose at every Open, so a symlink
// (/dev/serial/by-id/...) or $VIREON_COMn is resolved afresh when the link is reopened.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace vireon {

class TRS232 {
 public:
  static constexpr int kBufferSize = 4096;  // size of every buffer passed to Read
  static constexpr int32_t kWriteFailed = 65535;
  static constexpr int16_t kLinkLost = -2;

  enum class TWait { Ready, Timeout, Lost };

  TRS232() = default;
  TRS232(const TRS232&) = delete;
  TRS232& operator=(const TRS232&) = delete;
  ~TRS232();

  // What the user chose when it is not a numbered port: a device path, or a text that names no
  // port (its open fails and says so). Empty: the numbered port.
  void SetDevicePath(std::string path);
  // Opens port `port` (1 to 4, the engine's PortNumber), or the device path when one is set.
  bool Open(int16_t port);
  void Close();
  int16_t Read(uint8_t* buffer);
  int32_t Write(const uint8_t* bytes, int n);
  // Waits up to ms for received bytes; Lost when the line has hung up or errs.
  TWait WaitForData(int ms);
  // True when the name opened no longer leads to the device that is open (removed or replaced).
  bool NodeGone();

  // Why the last Open failed or the link was lost, for "Could not open <port>: <reason>".
  std::string LastError() const;
  // What the user chose: the device path, else PortName. Used in status texts.
  std::string DisplayName() const;
  // The device "COM1:".."COM4:" stands for: $VIREON_COMn, else /dev/ttyS0..3; empty otherwise.
  static std::string DeviceOfPort(int port);

  char PortName[8] = {};
  std::atomic<int16_t> Port{0};

 private:
  bool Fail(std::string reason);
  int16_t Lost();

  mutable std::mutex PathMutex;
  std::string DevicePath;
  std::string OpenedName;  // the name Open used, checked by NodeGone
  std::string Error;
  dev_t OpenedDevice = 0;
  std::atomic<int> Handle{-1};
};

}  // namespace vireon
