#include "log/KlfCheck.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "log/KlfFile.h"

namespace vireon {

namespace {

constexpr size_t kBlock = 1 << 20;
constexpr int64_t kSignatureSize = 23;  // six zero bytes and the identity record
constexpr int64_t kFixedHeaderSize = 63;

// Reads exactly n bytes at offset, false on a failure or an early end.
bool ReadAt(int fd, int64_t offset, uint8_t* to, size_t n, int& error) {
  while (n > 0) {
    const ssize_t r = ::pread(fd, to, n, offset);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      error = r < 0 ? errno : EIO;
      return false;
    }
    to += r;
    n -= static_cast<size_t>(r);
    offset += r;
  }
  return true;
}

// The first 23 bytes every log begins with: they do not depend on the instrument.
std::vector<uint8_t> Signature() {
  std::vector<uint8_t> header = BuildKlfHeader(TModelSnapshot{});
  header.resize(kSignatureSize);
  return header;
}

// A file whose last record is cut short at `at`; a header cut short carries no packet yet, so
// such a file starts again with a whole header.
TKlfCheck CutShort(int64_t at) {
  if (at < kFixedHeaderSize) return {TKlfCheck::TornHeader, 0, 0};
  return {TKlfCheck::TornTail, at, 0};
}

}  // namespace

TKlfCheck CheckKlfFile(int fd, int64_t size) {
  TKlfCheck check;
  const std::vector<uint8_t> signature = Signature();
  uint8_t start[kSignatureSize] = {};
  const size_t head = static_cast<size_t>(std::min(size, kSignatureSize));
  if (!ReadAt(fd, 0, start, head, check.Error)) return {TKlfCheck::Unreadable, 0, check.Error};
  if (std::memcmp(start, signature.data(), head) != 0) return {TKlfCheck::Foreign, 0, 0};
  if (size < kSignatureSize) return {TKlfCheck::TornHeader, 0, 0};

  // Records from the identity record on, read a block at a time; a record may cross blocks.
  std::vector<uint8_t> block(kBlock + kMaxLogRecord);
  int64_t at = 6;  // start of the record being looked at
  int64_t loaded = 6;
  size_t used = 0, filled = 0;
  for (;;) {
    if (filled - used < 2 || filled - used < static_cast<size_t>(kMaxLogRecord)) {
      std::memmove(block.data(), block.data() + used, filled - used);
      filled -= used;
      used = 0;
      const size_t n = static_cast<size_t>(std::min<int64_t>(kBlock, size - loaded));
      if (n > 0 && !ReadAt(fd, loaded, block.data() + filled, n, check.Error))
        return {TKlfCheck::Unreadable, at, check.Error};
      filled += n;
      loaded += static_cast<int64_t>(n);
    }
    const size_t left = filled - used;
    if (left == 0) break;
    if (left < 2) return CutShort(at);
    const int length = block[used] | (block[used + 1] << 8);
    if (length < 1 || length >= kDataSize) return {TKlfCheck::Damaged, at, 0};
    const size_t record = static_cast<size_t>(length) + 2;
    if (record > left) return CutShort(at);
    used += record;
    at += static_cast<int64_t>(record);
  }
  if (at < kFixedHeaderSize) return CutShort(at);
  check.WholeSize = at;
  return check;
}

}  // namespace vireon
