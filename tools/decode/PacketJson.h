#pragma once
// JSON of received packets as the logger's engine decodes them, for every way the decoder gets
// its packets (a capture, a live port, a log file), written straight into an output buffer.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "JsonText.h"
#include "gps/Gps.h"
#include "link/Packet.h"
#include "model/Engine.h"

namespace vireon {

// What a log's own record shows in place of the packet's members: the header's receiver record
// its length and payload, the serial record its text where the packet names a serial number.
struct TInPlace {
  int Length = -1;  // -1: the packet's own
  const uint8_t* Payload = nullptr;
  size_t PayloadSize = 0;
  const std::string* SerialNumber = nullptr;
};

// The members of one packet after engine.Dispatch(record), into an object w has open: "type",
// "length", "payload" and the fields the packet changed, read back from the engine and its GPS
// record.
void WritePacketMembers(TJsonWriter& w, const PacketRecord& record, const TEngine& engine,
                        const TInPlace& inPlace = {});
// The packet as one line of JSON Lines.
void AppendPacketLine(std::string& out, const PacketRecord& record, const TEngine& engine);
// {"summary":{"packets","bytes","bad_checksum","bad_length"}} and a line end.
void AppendSummaryLine(std::string& out, uint64_t packets, uint64_t bytes, uint64_t badChecksum,
                       uint64_t badLength);

// An engine with a display that takes every update at once: after each packet the receiver
// events and single-sample flags are cleared, so nothing is dropped for a busy receiver.
class TDecodeSession {
 public:
  // Told of each packet after the engine has dispatched it.
  using TRecordHandler = std::function<void(const PacketRecord&, const TEngine&)>;
  explicit TDecodeSession(TRecordHandler handler = nullptr) : OnRecord(std::move(handler)) {}
  void SetRecordHandler(TRecordHandler handler) { OnRecord = std::move(handler); }

  // Frames the bytes and delivers every complete packet; the framer's state carries over.
  void Feed(const uint8_t* bytes, size_t n);
  // Dispatches one packet and tells the handler.
  void Deliver(const PacketRecord& record);
  // The summary line of what was fed.
  void AppendSummary(std::string& out) const;

  uint64_t PacketCount() const { return Packets; }
  TEngine& Engine() { return Engine_; }
  const TPacket& Framer() const { return Framer_; }

 private:
  TRecordHandler OnRecord;
  TGPSShared Gps;
  TEngine Engine_{Gps};
  TPacket Framer_;
  uint64_t Packets = 0;
  uint64_t Bytes = 0;
};

}  // namespace vireon
