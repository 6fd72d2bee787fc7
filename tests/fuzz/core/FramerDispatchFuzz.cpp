// Arbitrary bytes through the framer and the engine, with logging on and a sender attached, so
// every decoder, the log hand-off and the serial-number reply run on hostile input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "link/Packet.h"
#include "model/Engine.h"

namespace {

using namespace vireon;

struct Host : TEngineHost {
  void PressMode(TMode) override {}
  bool LogModeDown() const override { return true; }
  void ShowScanWarning(const char*) override {}
};

struct Sink : TLogSink {
  void PostPacket(const uint8_t* data, int16_t count) override {
    if (count < 3 || count > kDataSize + 1) std::abort();
    Sum += data[0] + data[count - 1];
  }
  unsigned Sum = 0;
};

struct Sender : TPacketSender {
  bool WriteBytes(const uint8_t* bytes, int n) override {
    if (n != 5 || bytes[0] != kSync) std::abort();
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static TGPSShared gps;
  static TEngine engine(gps);
  static Host host;
  static Sink sink;
  static Sender sender;
  engine.SetHost(&host);
  engine.SetLogSink(&sink);
  engine.SetSender(&sender);

  // The first byte decides whether the display keeps up (events cleared after each packet).
  const bool displayKeepsUp = (data[0] & 1) != 0;
  // A second framer fed in blocks must keep step with the byte-by-byte one.
  TPacket framer;
  TPacket blockFramer;
  size_t blockAt = 1;
  for (size_t k = 1; k < size; ++k) {
    if (framer.Push(data[k]) != 0) continue;
    if (framer.Length < 1 || framer.Length >= kDataSize) std::abort();
    size_t used = 0;
    if (blockFramer.PushBlock(data + blockAt, k + 1 - blockAt, used) != 0 ||
        used != k + 1 - blockAt || blockFramer.Length != framer.Length ||
        std::memcmp(blockFramer.Body(), framer.Body(), static_cast<size_t>(framer.Length)) != 0) {
      std::abort();
    }
    blockAt = k + 1;
    engine.Dispatch(framer.Record());
    if (displayKeepsUp) {
      engine.ReceiverEvent[0].Reset();
      engine.ReceiverEvent[1].Reset();
    }
  }
  size_t used = 0;
  if (blockAt < size && blockFramer.PushBlock(data + blockAt, size - blockAt, used) == 0)
    std::abort();
  if (blockFramer.State != framer.State || blockFramer.BadChecksum != framer.BadChecksum ||
      blockFramer.BadLength != framer.BadLength) {
    std::abort();
  }
  engine.ResetScanLevels(0);
  engine.ResetScanLevels(1);
  return 0;
}
