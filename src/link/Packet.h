#pragma once
// Packet framing: the frame on the wire is AA, a little-endian 16-bit length, then `length`
// body bytes (type, payload, checksum). The checksum makes the XOR of the body zero.
//
// TPacket recognises frames one byte at a time and is never reset: its state carries across
// read blocks for the whole connection. Bad lengths and bad checksums are dropped silently and
// hunting resumes with the next byte; the two counters beside Push only count them.

#include <cstddef>
#include <cstdint>

namespace vireon {

constexpr uint8_t kSync = 0xAA;
constexpr int kDataSize = 2048;

// One packet laid out exactly like its frame.
#pragma pack(push, 1)
struct PacketRecord {
  uint8_t Sync = 0;
  int16_t Length = 0;  // little-endian on every supported host
  uint8_t Type = 0;
  uint8_t Data[kDataSize] = {};  // payload, then the checksum

  int PayloadSize() const { return Length - 2; }
  // The bytes a log stores for a received packet: Length + 2 bytes from the length field on.
  const uint8_t* LogBytes() const { return reinterpret_cast<const uint8_t*>(&Length); }
  int LogSize() const { return Length + 2; }
  // The frame to send for an outgoing record: Length + 3 bytes from Sync on.
  const uint8_t* FrameBytes() const { return &Sync; }
  int FrameSize() const { return Length + 3; }
};
#pragma pack(pop)
static_assert(sizeof(PacketRecord) == 4 + kDataSize);

// A frame length a record can hold: 1 (type only) to 2047.
constexpr bool IsFrameLength(int length) {
  return length > 0 && length < kDataSize;
}

class TPacket {
 public:
  enum : int16_t { Hunting = 10, LengthLow = 80, LengthHigh = 90, Collecting = 100 };

  // 0 when b completed a frame with a good checksum, 1 in every other case.
  int16_t Push(uint8_t b);
  // The same as pushing bytes one at a time, a block at once: stops after the byte that
  // completes a good frame (returns 0) or when the block is used up (returns 1). used tells how
  // many bytes were taken; the rest of the block goes in the next call.
  int16_t PushBlock(const uint8_t* bytes, size_t n, size_t& used);
  // Drops a frame begun but not finished (its bytes came from a link since lost) and hunts for
  // the next sync byte; the diagnostics stay.
  void Reset() { State = Hunting; }
  // After Push returned 0, until the next Push: the frame as a record. The body is collected in
  // place, so the engine and the log read it without another copy.
  const PacketRecord& Record() const { return Frame; }
  // The bytes after the length field: type, payload, checksum.
  uint8_t* Body() { return reinterpret_cast<uint8_t*>(&Frame) + kBodyOffset; }
  const uint8_t* Body() const { return reinterpret_cast<const uint8_t*>(&Frame) + kBodyOffset; }

  uint8_t Checksum = 0;
  int16_t Length = 0;
  int16_t State = Hunting;
  int16_t Count = 0;

  // Diagnostics beside Push; they do not change what Push does.
  uint64_t BadLength = 0;
  uint64_t BadChecksum = 0;

 private:
  static constexpr size_t kBodyOffset = offsetof(PacketRecord, Type);
  PacketRecord Frame;

  // At a sync byte: a good length and the whole frame within n bytes are taken at once.
  bool TakeWholeFrame(const uint8_t* frame, size_t n);
  // After both length bytes: start collecting, or drop a length outside 1..2047.
  void AcceptLength();
};

// Fills record as an outgoing frame: AA, n + 2, type, the n payload bytes, XOR checksum.
// n is at most kDataSize - 1; returns the frame size (n + 5).
int BuildFrame(PacketRecord& record, uint8_t type, const uint8_t* payload, int n);

}  // namespace vireon
