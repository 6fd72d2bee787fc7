#pragma once
// The hand-off between the communications thread and the log writer: a byte ring of fixed
// storage, allocated once, with one producer and one consumer. Push never waits and never
// allocates; a record that does not fit is refused and the caller counts it. Records are
// published whole, so the consumer only ever sees complete records.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vireon {

class TLogFifo {
 public:
  struct Span {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
  };

  explicit TLogFifo(size_t capacity);

  // Producer side. False when there is not room for all n bytes; nothing is stored then.
  bool Push(const uint8_t* data, size_t n);

  // Consumer side: the bytes pushed and not yet popped, as at most two contiguous spans
  // (the second is empty unless the bytes wrap around the end of the storage).
  std::array<Span, 2> Peek() const;
  void Pop(size_t n);

  size_t Capacity() const { return Size; }

 private:
  const size_t Size;
  std::unique_ptr<uint8_t[]> Storage;
  // Running byte counts; the difference is what the ring holds.
  alignas(64) std::atomic<uint64_t> Head{0};
  alignas(64) std::atomic<uint64_t> Tail{0};
};

}  // namespace vireon
