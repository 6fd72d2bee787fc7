#pragma once
// JSON of received packets as the logger's engine decodes them, for every way the decoder gets
// its packets (a capture, a live port, a log file).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>

#include "gps/Gps.h"
#include "link/Packet.h"
#include "model/Engine.h"

namespace vireon {

using TJson = nlohmann::ordered_json;

// One packet after engine.Dispatch(record): "type", "length", "payload" and the fields the
// packet changed, read back from the engine and its GPS record.
TJson PacketJson(const PacketRecord& record, const TEngine& engine);

// Lowercase hex of n bytes.
std::string HexBytes(const uint8_t* bytes, int n);
// An 8-bit text as JSON takes it: each byte becomes the code point of the same value.
std::string Latin1(const char* text);

// An engine with a display that takes every update at once: after each packet the receiver
// events and single-sample flags are cleared, so nothing is dropped for a busy receiver.
class TDecodeSession {
 public:
  using TSink = std::function<void(const TJson&)>;
  // Told of each packet after the engine has dispatched it, for readers that need no JSON.
  using TRecordHandler = std::function<void(const PacketRecord&, const TEngine&)>;
  // An empty sink makes no JSON at all.
  explicit TDecodeSession(TSink sink);
  void SetRecordHandler(TRecordHandler handler) { OnRecord = std::move(handler); }

  // Frames the bytes and delivers every complete packet; the framer's state carries over.
  void Feed(const uint8_t* bytes, size_t n);
  // Dispatches one packet and hands its JSON to the sink.
  void Deliver(const PacketRecord& record);
  // {"summary": {"packets", "bytes", "bad_checksum", "bad_length"}}
  TJson Summary() const;

  uint64_t PacketCount() const { return Packets; }
  TEngine& Engine() { return Engine_; }
  const TPacket& Framer() const { return Framer_; }

 private:
  TSink Sink;
  TRecordHandler OnRecord;
  TGPSShared Gps;
  TEngine Engine_{Gps};
  TPacket Framer_;
  uint64_t Packets = 0;
  uint64_t Bytes = 0;
};

}  // namespace vireon
