#include "log/LogFifo.h"

#include <cstring>

namespace vireon {

// Not value-initialised: the pages are only touched as records arrive.
TLogFifo::TLogFifo(size_t capacity) : Size(capacity), Storage(new uint8_t[capacity]) {}

bool TLogFifo::Push(const uint8_t* data, size_t n) {
  const uint64_t head = Head.load(std::memory_order_relaxed);
  const uint64_t tail = Tail.load(std::memory_order_acquire);
  if (Size - (head - tail) < n) return false;
  const size_t at = head % Size;
  const size_t first = std::min(n, Size - at);
  std::memcpy(&Storage[at], data, first);
  std::memcpy(&Storage[0], data + first, n - first);
  Head.store(head + n, std::memory_order_release);
  return true;
}

std::array<TLogFifo::Span, 2> TLogFifo::Peek() const {
  const uint64_t tail = Tail.load(std::memory_order_relaxed);
  const uint64_t head = Head.load(std::memory_order_acquire);
  const size_t n = head - tail;
  const size_t at = tail % Size;
  const size_t first = std::min(n, Size - at);
  return {Span{&Storage[at], first}, Span{&Storage[0], n - first}};
}

void TLogFifo::Pop(size_t n) {
  Tail.store(Tail.load(std::memory_order_relaxed) + n, std::memory_order_release);
}

}  // namespace vireon
