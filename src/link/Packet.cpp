#include "link/Packet.h"

#include <cassert>
#include <cstring>

namespace vireon {

int16_t TPacket::Push(uint8_t b) {
  switch (State) {
    case Hunting:
      if (b == kSync) State = LengthLow;
      return 1;
    case LengthLow:
      Length = b;
      State = LengthHigh;
      return 1;
    case LengthHigh:
      Length = static_cast<int16_t>(static_cast<uint16_t>(Length) + b * 256);
      if (Length <= 0 || Length >= kDataSize) {
        ++BadLength;
        State = Hunting;  // this byte is not looked at again as a sync byte
        return 1;
      }
      Count = 0;
      Checksum = 0;
      State = Collecting;
      return 1;
    default:  // Collecting
      Body[Count++] = b;
      Checksum ^= b;
      if (Count != Length) return 1;
      State = Hunting;
      if (Checksum == 0) return 0;
      ++BadChecksum;
      return 1;
  }
}

void TPacket::CopyTo(PacketRecord& record) const {
  record.Length = Length;
  // Type, payload and checksum are contiguous in the record, as in the body.
  std::memcpy(&record.Type, Body, static_cast<size_t>(Length));
}

int BuildFrame(PacketRecord& record, uint8_t type, const uint8_t* payload, int n) {
  assert(n >= 0 && n < kDataSize);
  record.Sync = kSync;
  record.Length = static_cast<int16_t>(n + 2);
  record.Type = type;
  uint8_t sum = type;
  for (int i = 0; i < n; ++i) {
    record.Data[i] = payload[i];
    sum ^= payload[i];
  }
  record.Data[n] = sum;
  return record.FrameSize();
}

}  // namespace vireon
