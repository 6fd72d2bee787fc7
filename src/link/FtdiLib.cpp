// TFtdiDriver over libftdi1.
//
// libftdi has no receive-queue query, so QueueStatus reads ahead and reports what it got; Read
// drains that. A large ftdi_read_data keeps collecting USB packets until it is full, which on a
// busy line takes about a second; asking for one byte returns with the first packet (or with
// nothing once the bridge's latency timer, 16 ms by default, sends an empty one), and the rest of
// that packet is then taken from libftdi's own buffer without waiting. Only the communications
// thread reads, so the read-ahead needs no lock; writes use the other endpoint meanwhile.

#include <libftdi1/ftdi.h>

#include <algorithm>
#include <cstring>

#include "link/Ftdi.h"
#include "link/Usb.h"

namespace vireon {

namespace {

class TLibFtdiDriver final : public TFtdiDriver {
 public:
  TLibFtdiDriver() : Context(ftdi_new()) {}
  ~TLibFtdiDriver() override {
    if (Devices != nullptr) ftdi_list_free(&Devices);
    if (Context == nullptr) return;
    if (Opened) ftdi_usb_close(Context);
    ftdi_free(Context);
  }

  bool CountDevices(int& count) override {
    if (Context == nullptr) return false;
    if (Devices != nullptr) ftdi_list_free(&Devices);
    // Vendor and product 0 search 0x0403 with the usual FTDI product ids.
    int found = ftdi_usb_find_all(Context, &Devices, 0, 0);
    if (found < 0) return false;
    count = found;
    return true;
  }

  bool SerialNumber(int index, char* text, int size) override {
    ftdi_device_list* entry = Entry(index);
    if (entry == nullptr) return false;
    return ftdi_usb_get_strings(Context, entry->dev, nullptr, 0, nullptr, 0, text, size) == 0;
  }

  bool OpenDevice(int index) override {
    ftdi_device_list* entry = Entry(index);
    if (entry == nullptr) return false;
    Opened = ftdi_usb_open_dev(Context, entry->dev) == 0;
    return Opened;
  }

  bool SetBaudRate(int baud) override { return Opened && ftdi_set_baudrate(Context, baud) == 0; }

  bool QueueStatus(uint32_t& waiting) override {
    if (!Opened) return false;
    if (Fill == 0) {
      int got = ftdi_read_data(Context, Ahead, 1);
      if (got < 0) return false;
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
    if (!Opened) return false;
    got = std::min(n, Fill);
    std::memcpy(buffer, Ahead, got);
    std::memmove(Ahead, Ahead + got, Fill - got);
    Fill -= got;
    return true;
  }

  bool Write(const uint8_t* bytes, uint32_t n, uint32_t& written) override {
    if (!Opened) return false;
    int done = ftdi_write_data(Context, bytes, static_cast<int>(n));
    if (done < 0) return false;
    written = static_cast<uint32_t>(done);
    return true;
  }

 private:
  ftdi_device_list* Entry(int index) {
    ftdi_device_list* entry = Devices;
    for (int i = 0; entry != nullptr && i < index; ++i) entry = entry->next;
    return entry;
  }

  ftdi_context* Context;
  ftdi_device_list* Devices = nullptr;
  bool Opened = false;
  uint8_t Ahead[TUSB::kBufferSize] = {};
  uint32_t Fill = 0;
};

}  // namespace

std::unique_ptr<TFtdiDriver> MakeLibFtdiDriver() {
  return std::make_unique<TLibFtdiDriver>();
}

}  // namespace vireon
