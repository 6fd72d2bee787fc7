#include "link/ComRouter.h"

#include <thread>

namespace vireon {

static_assert(TUSB::kBufferSize == TRS232::kBufferSize);
static_assert(TUSB::kLinkLost == TRS232::kLinkLost);

namespace {
constexpr int kPauseMs = 100;
constexpr int kRetryMs = 1000;
// At the line's full rate a few bytes arrive every few milliseconds. Letting them gather this long
// after each read wakes the thread a fraction as often, for a delay no screen frame shows.
constexpr auto kGatherFor = std::chrono::milliseconds(5);
constexpr auto kSilentAfter = std::chrono::seconds(5);
constexpr auto kNodeCheckEvery = std::chrono::seconds(1);
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

bool TCom_Router::UsesUsb() const {
  return Engine.LinkMode.load() == kLinkUsb;
}

std::string TCom_Router::PortText() const {
  if (UsesUsb()) return Usb.DisplayName();
  std::string name = Rs232.DisplayName();
  if (!name.empty()) return name;
  // Not opened yet: the name the port number stands for.
  return "COM" + std::to_string(Engine.PortNumber.load()) + ":";
}

std::string TCom_Router::LinkError() const {
  return UsesUsb() ? Usb.LastError() : Rs232.LastError();
}

std::string TCom_Router::OpenFailureText() const {
  // "COM3:" ends in its own colon.
  const std::string port = PortText();
  const char* colon = !port.empty() && port.back() == ':' ? " " : ": ";
  return "Could not open " + port + colon + LinkError();
}

std::string TCom_Router::ConnectedText() const {
  return UsesUsb() ? "Connected via " + Usb.DisplayName() : "Connected via COM";
}

bool TCom_Router::OpenTransport() {
  return UsesUsb() ? Usb.Open() : Rs232.Open(Engine.PortNumber.load());
}

void TCom_Router::CloseTransport() {
  // Under the send mutex: a writer on another thread must not meet a closed (or reused) handle.
  std::lock_guard lock(SendMutex);
  if (UsesUsb())
    Usb.Close();
  else
    Rs232.Close();
}

bool TCom_Router::Connect() {
  if (!OpenTransport()) return false;
  Engine.SetStatusText(ConnectedText());
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
  int32_t written = UsesUsb() ? Usb.Write(bytes, n) : Rs232.Write(bytes, n);
  return written == n;
}

void TCom_Router::Tell(TLinkChange change, const std::string& reason) {
  if (LinkHandler) LinkHandler(change, reason);
}

void TCom_Router::SwitchPort(const TPortChoice& choice) {
  std::lock_guard lock(SwitchMutex);
  Switch = choice;
  SwitchPending.store(true);
  CommEvent.Set();  // ends a pause between reopen attempts at once
}

void TCom_Router::TakeSwitch() {
  TPortChoice choice;
  {
    std::lock_guard lock(SwitchMutex);
    choice = Switch;
    SwitchPending.store(false);
    CommEvent.Reset();
  }
  // Under the send mutex: a writer on another thread reads the link mode and the transports.
  std::lock_guard lock(SendMutex);
  ApplyPortChoice(choice, Engine, Rs232, Usb);
}

std::string TCom_Router::WaitingText() const {
  return OpenFailureText() + " — retrying every second (File > Port... chooses another)";
}

void TCom_Router::Execute() {
  if (!Connect()) {
    Engine.SetStatusText(OpenFailureText());
    if (!WaitForPort) {
      OpenFailed = true;
      return;
    }
    MarkLinkDown();
    Engine.SetStatusText(WaitingText());
    Tell(TLinkChange::Waiting, LinkError());
    if (!OpenWhenThere(false)) return;
  }
  Engine.RequestSerial();
  for (;;) {
    const TEnd end = ReadLoop();
    if (end == TEnd::Stopped) return;
    CloseTransport();
    MarkLinkDown();
    if (end == TEnd::Lost) {
      Engine.SetStatusText("Connection lost: " + PortText());
      Tell(TLinkChange::Lost, LinkError());
    }
    if (!OpenWhenThere(end == TEnd::Lost)) return;
    Engine.RequestSerial();
  }
}

void TCom_Router::MarkLinkDown() {
  Engine.LinkDown.store(true);
  for (int i = 0; i < 2; ++i) {
    if (Engine.ReceiverActive[i].load() != 0) Engine.ReceiverEvent[i].Set();
  }
}

bool TCom_Router::OpenWhenThere(bool lost) {
  while (!StopRequested.load()) {
    if (SwitchPending.load()) {
      CloseTransport();
      TakeSwitch();
      lost = false;
    } else {
      CommEvent.Wait(kRetryMs);
      if (StopRequested.load() || SwitchPending.load()) continue;
    }
    if (OpenTransport()) {
      // Bytes of a frame cut short by the loss must not be completed by the new connection's.
      Framer.Reset();
      Engine.SetStatusText(ConnectedText());
      Engine.LinkDown.store(false);
      Tell(TLinkChange::Restored, {});
      return true;
    }
    Engine.SetStatusText(lost ? "Connection lost: " + PortText() : WaitingText());
  }
  return false;
}

int16_t TCom_Router::Poll(uint8_t* buffer) {
  return UsesUsb() ? Usb.Read(buffer) : Rs232.Read(buffer);
}

bool TCom_Router::PauseAfterFailedRead() {
  // On a serial port the pause ends as soon as bytes arrive.
  if (!UsesUsb()) return Rs232.WaitForData(kPauseMs) != TRS232::TWait::Lost;
  CommEvent.Wait(kPauseMs);
  return true;
}

bool TCom_Router::CheckIdleLink(Clock::time_point now) {
  const auto silent = now - LastData;
  if (silent >= kSilentAfter) {
    const int seconds =
        static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(silent).count());
    if (seconds != SilentSeconds) {
      SilentSeconds = seconds;
      Engine.SetStatusText(ConnectedText() + " — no data for " + std::to_string(seconds) + " s");
    }
  }
  // A serial device can vanish without hanging its line up; the name it was opened by tells.
  if (UsesUsb() || now < NextNodeCheck) return false;
  NextNodeCheck = now + kNodeCheckEvery;
  return Rs232.NodeGone();
}

void TCom_Router::DataArrived() {
  LastData = Clock::now();
  if (SilentSeconds == 0) return;
  SilentSeconds = 0;
  Engine.SetStatusText(ConnectedText());
}

TCom_Router::TEnd TCom_Router::ReadLoop() {
  uint8_t buffer[TUSB::kBufferSize] = {};
  LastData = Clock::now();
  NextNodeCheck = LastData + kNodeCheckEvery;
  SilentSeconds = 0;
  while (!StopRequested.load()) {
    if (SwitchPending.load()) return TEnd::Switched;
    int16_t count = Poll(buffer);
    if (count == TUSB::kLinkLost) return TEnd::Lost;
    if (count == -1 && !PauseAfterFailedRead()) return TEnd::Lost;
    if (count <= 0) {
      if (CheckIdleLink(Clock::now())) return TEnd::Lost;
      continue;
    }
    DataArrived();
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
    if (BlockHandler) BlockHandler();
    // Right after a read a serial port has rarely more waiting: sleep until it has, rather than
    // ask it once more first.
    if (UsesUsb()) continue;
    std::this_thread::sleep_for(kGatherFor);
    if (Rs232.WaitForData(kPauseMs) == TRS232::TWait::Lost) return TEnd::Lost;
  }
  return TEnd::Stopped;
}

}  // namespace vireon
