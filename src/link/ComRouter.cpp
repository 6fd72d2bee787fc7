#include "link/ComRouter.h"

namespace vireon {

static_assert(TUSB::kBufferSize == TRS232::kBufferSize);

namespace {
constexpr int kPauseMs = 100;
constexpr int16_t kLinkUsb = 2;
}  // namespace

TCom_Router::TCom_Router(TEngine& engine, TUSB& usb, TRS232& rs232)
    : Engine(engine), Usb(usb), Rs232(rs232) {
  Engine.SetSender(this);
}

TCom_Router::~TCom_Router() {
  // Stop and join here: the thread body uses members that die before the base destructor runs.
  RequestStop();
  Join();
  Engine.SetSender(nullptr);
}

std::string TCom_Router::PortText() const {
  if (Engine.LinkMode.load() == kLinkUsb) return "USB";
  std::string name = Rs232.DisplayName();
  if (!name.empty()) return name;
  // Not opened yet: the name the port number stands for.
  return "COM" + std::to_string(Engine.PortNumber.load()) + ":";
}

bool TCom_Router::Connect() {
  if (Engine.LinkMode.load() == kLinkUsb) {
    if (!Usb.Open()) return false;
    Engine.SetStatusText("Connected via USB");
    return true;
  }
  if (!Rs232.Open(Engine.PortNumber.load())) return false;
  Engine.SetStatusText("Connected via COM");
  return true;
}

bool TCom_Router::SendFrame(const PacketRecord& record) {
  PacketRecord copy = record;
  // A length the record cannot hold would send bytes from beyond it.
  if (copy.Length < 1 || copy.FrameSize() > static_cast<int>(sizeof copy)) return false;
  return WriteBytes(copy.FrameBytes(), copy.FrameSize());
}

bool TCom_Router::WriteBytes(const uint8_t* bytes, int n) {
  std::lock_guard lock(SendMutex);
  int32_t written =
      Engine.LinkMode.load() == kLinkUsb ? Usb.Write(bytes, n) : Rs232.Write(bytes, n);
  return written == n;
}

void TCom_Router::Execute() {
  if (!Connect()) {
    Engine.SetStatusText("Could not open " + PortText());
    OpenFailed = true;
    return;
  }
  Engine.RequestSerial();
  ReadLoop();
}

int16_t TCom_Router::Poll(uint8_t* buffer) {
  return Engine.LinkMode.load() == kLinkUsb ? Usb.Read(buffer) : Rs232.Read(buffer);
}

void TCom_Router::PauseAfterFailedRead() {
  // On a serial port the pause ends as soon as bytes arrive; a hung-up line still pauses fully.
  if (Engine.LinkMode.load() != kLinkUsb && Rs232.WaitForData(kPauseMs) != TRS232::TWait::Failed)
    return;
  CommEvent.Wait(kPauseMs);
}

void TCom_Router::ReadLoop() {
  uint8_t buffer[TUSB::kBufferSize] = {};
  while (!StopRequested.load()) {
    int16_t count = Poll(buffer);
    if (count == -1) {
      PauseAfterFailedRead();
      continue;
    }
    if (count <= 0) continue;
    const auto n = static_cast<size_t>(count);
    BytesRead += n;
    size_t used = 0;
    for (size_t at = 0; at < n; at += used) {
      if (Framer.PushBlock(buffer + at, n - at, used) != 0) continue;
      if (Handler)
        Handler(Framer.Record());
      else
        Engine.Dispatch(Framer.Record());
    }
  }
}

}  // namespace vireon
