#include "link/Packet.h"

#include <algorithm>
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
      AcceptLength();
      return 1;
    default:  // Collecting
      Body()[Count++] = b;
      Checksum ^= b;
      if (Count != Length) return 1;
      State = Hunting;
      if (Checksum == 0) return 0;
      ++BadChecksum;
      return 1;
  }
}

void TPacket::AcceptLength() {
  if (!IsFrameLength(Length)) {
    ++BadLength;
    State = Hunting;  // the high length byte is not looked at again as a sync byte
    return;
  }
  Count = 0;
  Checksum = 0;
  State = Collecting;
  Frame.Sync = kSync;
  Frame.Length = Length;
}

namespace {

// Copies a run of body bytes and returns their XOR, eight bytes at a time. Bodies are mostly
// short, so the last part is one word ending at the run's end, its already counted bytes shifted
// out of the checksum (little-endian), rather than a byte loop.
uint8_t CopyXor(uint8_t* __restrict to, const uint8_t* __restrict from, size_t n) {
  if (n < 8) {
    uint8_t sum = 0;
    for (size_t k = 0; k < n; ++k) {
      to[k] = from[k];
      sum ^= from[k];
    }
    return sum;
  }
  uint64_t wide = 0;
  size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    uint64_t word;
    std::memcpy(&word, from + k, 8);
    std::memcpy(to + k, &word, 8);
    wide ^= word;
  }
  if (k < n) {
    uint64_t last;
    std::memcpy(&last, from + n - 8, 8);
    std::memcpy(to + n - 8, &last, 8);
    wide ^= last >> (8 * (8 - (n - k)));
  }
  for (int shift = 32; shift >= 8; shift /= 2) wide ^= wide >> shift;
  return static_cast<uint8_t>(wide);
}

}  // namespace

int16_t TPacket::PushBlock(const uint8_t* bytes, size_t n, size_t& used) {
  size_t k = 0;
  while (k < n) {
    if (State == Hunting) {
      // Frames usually follow each other directly: try the next byte before searching.
      if (bytes[k] != kSync) {
        const void* sync = std::memchr(bytes + k, kSync, n - k);
        if (sync == nullptr) break;
        k = static_cast<size_t>(static_cast<const uint8_t*>(sync) - bytes);
      }
      if (TakeWholeFrame(bytes + k, n - k)) {
        k += 3 + static_cast<size_t>(Length);
        if (Checksum == 0) {
          used = k;
          return 0;
        }
        ++BadChecksum;
        continue;
      }
      ++k;
      State = LengthLow;
      if (k + 2 <= n) {  // both length bytes at hand
        Length = static_cast<int16_t>(bytes[k] | (bytes[k + 1] << 8));
        k += 2;
        AcceptLength();
      }
    } else if (State == Collecting) {
      const size_t take = std::min(static_cast<size_t>(Length - Count), n - k);
      Checksum ^= CopyXor(Body() + Count, bytes + k, take);
      Count = static_cast<int16_t>(Count + take);
      k += take;
      if (Count == Length) {
        State = Hunting;
        if (Checksum == 0) {
          used = k;
          return 0;
        }
        ++BadChecksum;
      }
    } else {
      Push(bytes[k++]);  // a length byte never completes a frame
    }
  }
  used = n;
  return 1;
}

// A frame that lies whole in the block, as nearly every one does, is collected in one step,
// leaving the framer as byte-by-byte pushing would: hunting, with Length, Count and Checksum set.
bool TPacket::TakeWholeFrame(const uint8_t* frame, size_t n) {
  if (n < 3) return false;
  const int length = frame[1] | (frame[2] << 8);
  if (!IsFrameLength(length) || static_cast<size_t>(length) + 3 > n) return false;
  Length = static_cast<int16_t>(length);
  Frame.Sync = kSync;
  Frame.Length = Length;
  Checksum = CopyXor(Body(), frame + 3, static_cast<size_t>(length));
  Count = Length;
  return true;
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
