// TFtdiDriver over libftdi1, with libusb (which libftdi runs on) for the device list.
//
// The list is every device of vendor 0x0403 whatever its product id (libftdi's own search knows
// only a few), plus the VID:PID that $VIREON_USB_ID names for a re-badged bridge. Opening asks
// libftdi to attach the kernel's ftdi_sio driver again when the device is closed, so its
// /dev/ttyUSBn comes back for other programs; while another program has that port open, the
// device is not taken from it (see UsbTty.h).
//
// libftdi has no receive-queue query, so QueueStatus reads ahead and reports what it got; Read
// drains that. ftdi_read_data first serves what libftdi's own buffer holds, then issues bulk
// transfers of up to 4096 bytes, each ending at the bridge's first short packet (one its latency
// timer, 16 ms by default, forces out), until the request is filled or a transfer brings nothing
// but the two status bytes. Asking for one byte therefore returns after one transfer, within
// about 16 ms, with nothing or with a byte whose transfer's rest stays in libftdi's buffer
// (readbuffer_remaining) and is taken next without waiting; a 4096-byte request on a busy line
// would wait until it is full, about a second at 3840 bytes/s. A failed transfer returns libusb's
// error code: "no device" and I/O errors mean the bridge is gone. Only the communications thread
// reads, so the read-ahead needs no lock; writes use the other endpoint meanwhile.

#include <libftdi1/ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "link/Ftdi.h"
#include "link/Usb.h"
#include "link/UsbTty.h"

namespace vireon {

namespace {

constexpr int kFtdiVendor = 0x0403;
constexpr int kNoUsbDevice = -666;  // libftdi: the context has no open device

// The VID:PID of $VIREON_USB_ID (hexadecimal), or false when it is unset or malformed.
bool ExtraUsbId(int& vendor, int& product) {
  const char* text = std::getenv("VIREON_USB_ID");
  unsigned v = 0, p = 0;
  if (text == nullptr || std::sscanf(text, "%x:%x", &v, &p) != 2) return false;
  vendor = static_cast<int>(v);
  product = static_cast<int>(p);
  return true;
}

bool IsBridge(const libusb_device_descriptor& d) {
  int vendor = 0, product = 0;
  if (d.idVendor == kFtdiVendor) return true;
  return ExtraUsbId(vendor, product) && d.idVendor == vendor && d.idProduct == product;
}

// The device's name in sysfs: bus, then the hub ports from the root ("1-2.3").
std::string SysfsName(libusb_device* dev) {
  uint8_t ports[8] = {};
  const int depth = libusb_get_port_numbers(dev, ports, sizeof ports);
  std::string name = std::to_string(libusb_get_bus_number(dev));
  for (int i = 0; i < depth; ++i) name += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
  return name;
}

TFtdiFault FaultOfUsb(int code) {
  switch (code) {
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_IO:
    case LIBUSB_ERROR_NOT_FOUND:
    case kNoUsbDevice:
      return TFtdiFault::Gone;
    case LIBUSB_ERROR_ACCESS:
      return TFtdiFault::Denied;
    case LIBUSB_ERROR_BUSY:
      return TFtdiFault::Busy;
    default:
      return TFtdiFault::Failed;
  }
}

class TLibFtdiDriver final : public TFtdiDriver {
 public:
  TLibFtdiDriver() : Context(ftdi_new()) {}
  ~TLibFtdiDriver() override {
    Close();
    ReleaseDevices();
    if (Context != nullptr) ftdi_free(Context);
  }

  bool CountDevices(int& count) override {
    if (Context == nullptr) return Failed(TFtdiFault::Failed, "libusb could not start");
    ReleaseDevices();
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(Context->usb_ctx, &list);
    if (n < 0) return Failed(FaultOfUsb(static_cast<int>(n)), libusb_strerror(static_cast<int>(n)));
    for (ssize_t i = 0; i < n; ++i) {
      libusb_device_descriptor d{};
      if (libusb_get_device_descriptor(list[i], &d) == 0 && IsBridge(d))
        Devices.push_back(libusb_ref_device(list[i]));
    }
    libusb_free_device_list(list, 1);
    count = static_cast<int>(Devices.size());
    return true;
  }

  bool SerialNumber(int index, char* text, int size) override {
    libusb_device* dev = Entry(index);
    libusb_device_descriptor d{};
    if (dev == nullptr || libusb_get_device_descriptor(dev, &d) != 0 || d.iSerialNumber == 0)
      return false;
    libusb_device_handle* handle = nullptr;
    int r = libusb_open(dev, &handle);
    if (r != 0) return Failed(FaultOfUsb(r), libusb_strerror(r));
    r = libusb_get_string_descriptor_ascii(handle, d.iSerialNumber,
                                           reinterpret_cast<unsigned char*>(text), size);
    libusb_close(handle);
    return r >= 0;
  }

  std::string HeldPort(int index) override {
    libusb_device* dev = Entry(index);
    if (dev == nullptr) return {};
    const std::string tty = UsbSerialTty(SysfsName(dev));
    return !tty.empty() && TtyOpenElsewhere(tty) ? "/dev/" + tty : std::string();
  }

  bool OpenDevice(int index) override {
    libusb_device* dev = Entry(index);
    if (dev == nullptr) return Failed(TFtdiFault::Gone, "device not found");
    // libftdi reports any open failure of libusb as one code; this probe keeps the reason.
    libusb_device_handle* probe = nullptr;
    int r = libusb_open(dev, &probe);
    if (r != 0) return Failed(FaultOfUsb(r), libusb_strerror(r));
    libusb_close(probe);
    Context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    r = ftdi_usb_open_dev(Context, dev);
    if (r == 0) {
      Opened = true;
      return true;
    }
    const TFtdiFault fault = r == -5   ? TFtdiFault::Busy
                             : r == -8 ? TFtdiFault::Denied
                                       : TFtdiFault::Failed;
    return Failed(fault, ftdi_get_error_string(Context));
  }

  void Close() override {
    if (Opened) ftdi_usb_close(Context);
    Opened = false;
    Fill = 0;
  }

  bool SetBaudRate(int baud) override {
    if (!Opened) return Failed(TFtdiFault::Gone, "device not open");
    return ftdi_set_baudrate(Context, baud) == 0 ||
           Failed(TFtdiFault::Failed, ftdi_get_error_string(Context));
  }

  bool QueueStatus(uint32_t& waiting) override {
    if (!Opened) return Failed(TFtdiFault::Gone, "device not open");
    if (Fill == 0) {
      int got = ftdi_read_data(Context, Ahead, 1);
      if (got < 0) return Failed(FaultOfUsb(got), ftdi_get_error_string(Context));
      Fill = static_cast<uint32_t>(got);
      int rest =
          static_cast<int>(std::min<unsigned>(Context->readbuffer_remaining, sizeof Ahead - 1));
      if (got == 1 && rest > 0) {
        got = ftdi_read_data(Context, Ahead + 1, rest);
        if (got > 0) Fill += static_cast<uint32_t>(got);
      }
    }
    waiting = Fill;
    return true;
  }

  bool Read(uint8_t* buffer, uint32_t n, uint32_t& got) override {
    if (!Opened) return Failed(TFtdiFault::Gone, "device not open");
    got = std::min(n, Fill);
    std::memcpy(buffer, Ahead, got);
    std::memmove(Ahead, Ahead + got, Fill - got);
    Fill -= got;
    return true;
  }

  bool Write(const uint8_t* bytes, uint32_t n, uint32_t& written) override {
    if (!Opened) return Failed(TFtdiFault::Gone, "device not open");
    int done = ftdi_write_data(Context, bytes, static_cast<int>(n));
    if (done < 0) return Failed(TFtdiFault::Failed, ftdi_get_error_string(Context));
    written = static_cast<uint32_t>(done);
    return true;
  }

  // The reader and, under the send mutex, a writer may fail at the same time.
  TFtdiFault LastFault() const override {
    std::lock_guard lock(FaultMutex);
    return Fault;
  }
  std::string LastErrorString() const override {
    std::lock_guard lock(FaultMutex);
    return ErrorText;
  }

 private:
  bool Failed(TFtdiFault fault, const char* text) {
    std::lock_guard lock(FaultMutex);
    Fault = fault;
    ErrorText = text != nullptr ? text : "";
    return false;
  }
  libusb_device* Entry(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= Devices.size()) return nullptr;
    return Devices[static_cast<size_t>(index)];
  }
  void ReleaseDevices() {
    for (libusb_device* dev : Devices) libusb_unref_device(dev);
    Devices.clear();
  }

  ftdi_context* Context;
  std::vector<libusb_device*> Devices;
  bool Opened = false;
  mutable std::mutex FaultMutex;
  TFtdiFault Fault = TFtdiFault::None;
  std::string ErrorText;
  uint8_t Ahead[TUSB::kBufferSize] = {};
  uint32_t Fill = 0;
};

}  // namespace

std::unique_ptr<TFtdiDriver> MakeLibFtdiDriver() {
  return std::make_unique<TLibFtdiDriver>();
}

}  // namespace vireon
