#pragma once
// Serial transport: a tty (a COM port, a USB serial adapter or a pseudo-terminal) at 38400 8N1,
// without flow control, DTR low and RTS high.
//
// Built on termios rather than QSerialPort: FIONREAD tells exactly how many bytes are waiting, so
// a read takes just those and never waits, and poll() gives the communications thread its
// up-to-100 ms wait for data without an event loop in that thread. Line ioctls that a
// pseudo-terminal refuses (DTR, RTS) are not fatal; an advisory lock marks the port in use. Read
// returns the count read or -1 when nothing was read; Write returns n or kWriteFailed.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace vireon {

class TRS232 {
 public:
  static constexpr int kBufferSize = 4096;  // size of every buffer passed to Read
  static constexpr int32_t kWriteFailed = 65535;

  enum class TWait { Ready, Timeout, Failed };

  TRS232() = default;
  TRS232(const TRS232&) = delete;
  TRS232& operator=(const TRS232&) = delete;
  ~TRS232();

  // A device path typed by the user; when set it is opened instead of the numbered port.
  void SetDevicePath(std::string path);
  // Opens port `port` (1 to 4, the engine's PortNumber), or the device path when one is set.
  bool Open(int16_t port);
  int16_t Read(uint8_t* buffer);
  int32_t Write(const uint8_t* bytes, int n);
  // Waits up to ms for received bytes; Failed when the line has hung up or errs.
  TWait WaitForData(int ms);

  // What the user chose: the device path, else PortName. Used in status texts.
  std::string DisplayName() const;
  // The device "COM1:".."COM4:" stands for: $VIREON_COMn, else /dev/ttyS0..3; empty otherwise.
  static std::string DeviceOfPort(int port);

  char PortName[8] = {};
  std::atomic<int16_t> Port{0};

 private:
  mutable std::mutex PathMutex;
  std::string DevicePath;
  std::atomic<int> Handle{-1};
};

}  // namespace vireon
