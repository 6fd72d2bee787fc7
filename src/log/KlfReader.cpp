#include "log/KlfReader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "log/KlfFile.h"

namespace vireon {

namespace {

constexpr int64_t kSignatureSize = 23;  // six zero bytes and the identity record
constexpr int64_t kIdentityOffset = 6;
constexpr int kChainLength = 3;
// Room beyond a block for the record being read and the three that must chain after it.
constexpr size_t kLookahead = (kChainLength + 1) * kMaxLogRecord + 16;

struct THeaderRecord {
  TKlfRecord::TKind Kind;
  int Length;
  uint8_t Type;
};
constexpr THeaderRecord kHeaderRecords[] = {{TKlfRecord::Serial, 11, kSerialType},
                                            {TKlfRecord::Receivers, 25, 1}};

const std::vector<uint8_t>& Signature() {
  static const std::vector<uint8_t> signature = [] {
    std::vector<uint8_t> header = BuildKlfHeader(TModelSnapshot{});
    header.resize(kSignatureSize);
    return header;
  }();
  return signature;
}

bool ValidLength(int length) {
  return length >= 1 && length < kDataSize;
}

bool BodyXorsToZero(const uint8_t* record, int size) {
  uint8_t sum = 0;
  for (int k = 2; k < size; ++k) sum ^= record[k];
  return sum == 0;
}

}  // namespace

PacketRecord TKlfRecord::ToPacket() const {
  PacketRecord record;
  record.Sync = kSync;
  record.Length = static_cast<int16_t>(Length());
  std::memcpy(&record.Type, Bytes + 2, static_cast<size_t>(Length()));
  return record;
}

PacketRecord ReceiversAsConfiguration(const TKlfRecord& receivers) {
  uint8_t payload[25] = {};
  std::memcpy(payload, receivers.Bytes + 3, sizeof payload - 1);
  PacketRecord record;
  BuildFrame(record, 1, payload, sizeof payload);
  return record;
}

bool BeginsWithKlfSignature(int fd) {
  uint8_t start[kSignatureSize];
  ssize_t got;
  do {
    got = ::pread(fd, start, sizeof start, 0);
  } while (got < 0 && errno == EINTR);
  return got == kSignatureSize && std::memcmp(start, Signature().data(), sizeof start) == 0;
}

std::string KlfOutcomeText(const TKlfSummary& summary) {
  switch (summary.Outcome) {
    case TKlfSummary::Empty:
      return "is empty";
    case TKlfSummary::NotALog:
      return "is not a KLF log";
    case TKlfSummary::TornHeader:
      return "holds only the beginning of a KLF log's header";
    case TKlfSummary::Unreadable:
      return std::string("cannot be read: ") + std::strerror(summary.Error);
    default:
      return {};
  }
}

TKlfReader::TKlfReader(int fd, size_t block)
    : Fd(fd), Block(std::max<size_t>(block, 1)), Buffer(Block + kLookahead) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ReadFailed = true;
    ReadError = errno;
  } else if (S_ISDIR(st.st_mode)) {
    ReadFailed = true;
    ReadError = EISDIR;
  }
  Result.Size = st.st_size;
}

TKlfReader::TItem TKlfReader::Next() {
  if (State != TState::Done && ReadFailed) return Fail(ReadError);
  switch (State) {
    case TState::Signature:
      return ReadSignature();
    case TState::Header:
      return ReadHeaderRecord();
    case TState::Packets:
      return ReadPacketRecord();
    case TState::Done:
      break;
  }
  return TItem::End;
}

int64_t TKlfReader::Load(int64_t at, size_t n) {
  const int64_t end = std::min<int64_t>(at + static_cast<int64_t>(n), Result.Size);
  if (at >= BufferStart && end <= BufferEnd) return std::max<int64_t>(end - at, 0);
  // Everything from the oldest byte still wanted stays; what lies before it goes.
  const int64_t keep = std::min(at, Keep);
  if (keep >= BufferEnd) {
    BufferStart = BufferEnd = keep;
  } else if (keep > BufferStart) {
    std::memmove(Buffer.data(), At(keep), static_cast<size_t>(BufferEnd - keep));
    BufferStart = keep;
  }
  while (BufferEnd < end) {
    const size_t room = Buffer.size() - static_cast<size_t>(BufferEnd - BufferStart);
    const size_t want =
        std::min<size_t>({room, Block, static_cast<size_t>(Result.Size - BufferEnd)});
    if (want == 0) break;
    const ssize_t got = ::pread(Fd, Buffer.data() + (BufferEnd - BufferStart), want, BufferEnd);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ReadFailed = true;
      ReadError = errno;
      break;
    }
    if (got == 0) {
      Result.Size = BufferEnd;  // cut short underneath: it ends here
      break;
    }
    BufferEnd += got;
  }
  return std::max<int64_t>(std::min(end, BufferEnd) - at, 0);
}

const uint8_t* TKlfReader::At(int64_t offset) const {
  return Buffer.data() + (offset - BufferStart);
}

bool TKlfReader::ZerosToEnd(int64_t from) {
  uint8_t block[1 << 16];
  for (int64_t at = from; at < Result.Size;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(sizeof block, Result.Size - at));
    const ssize_t got = ::pread(Fd, block, want, at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ReadFailed = true;
      ReadError = errno;
      return false;
    }
    if (got == 0) return true;
    if (std::any_of(block, block + got, [](uint8_t b) { return b != 0; })) return false;
    at += got;
  }
  return true;
}

int TKlfReader::WholeRecordAt(int64_t at) {
  if (Load(at, 2) < 2) return -1;
  const int length = At(at)[0] | (At(at)[1] << 8);
  if (!ValidLength(length)) return 0;
  const int size = length + 2;
  if (Load(at, static_cast<size_t>(size)) < size) return -1;
  return BodyXorsToZero(At(at), size) ? size : 0;
}

bool TKlfReader::ChainsFrom(int64_t at, int atLeast) {
  for (int k = 0; k < kChainLength; ++k) {
    if (at == Result.Size) return k >= atLeast;
    const int size = WholeRecordAt(at);
    if (ReadFailed) return false;
    // A torn last record, or zeros to the end, after whole ones: the chain ran into the tail.
    if (size < 0) return k >= atLeast;
    if (size == 0) return k >= atLeast && ZerosToEnd(at);
    at += size;
  }
  return true;
}

TKlfReader::TItem TKlfReader::ReadSignature() {
  if (Result.Size == 0) return Finish(TKlfSummary::Empty);
  const int64_t n = Load(0, kSignatureSize);
  if (ReadFailed) return Fail(ReadError);
  if (std::memcmp(At(0), Signature().data(), static_cast<size_t>(n)) != 0)
    return Finish(TKlfSummary::NotALog);
  if (n <= kIdentityOffset) return Finish(TKlfSummary::TornHeader);
  if (n < kSignatureSize) return EmitTorn(kIdentityOffset, TKlfRecord::Identity);
  State = TState::Header;
  return Emit(kIdentityOffset, static_cast<int>(kSignatureSize - kIdentityOffset),
              TKlfRecord::Identity, true);
}

TKlfReader::TItem TKlfReader::ReadHeaderRecord() {
  const THeaderRecord& expected = kHeaderRecords[HeaderIndex];
  const int size = expected.Length + 2;
  Keep = Position;
  const int64_t n = Load(Position, static_cast<size_t>(size));
  if (ReadFailed) return Fail(ReadError);
  if (n == 0) {
    Result.WholeSize = 0;
    return Finish(TKlfSummary::TornHeader);
  }
  if (++HeaderIndex == static_cast<int>(std::size(kHeaderRecords))) State = TState::Packets;
  const uint8_t* record = At(Position);
  const bool fits = n < 2 || (record[0] | (record[1] << 8)) == expected.Length;
  if (fits && n < size) return EmitTorn(Position, expected.Kind);
  if (!fits || record[2] != expected.Type) {
    State = TState::Packets;
    return Resynchronise(Position);
  }
  const bool checksummed = expected.Kind != TKlfRecord::Receivers;
  const bool ok = checksummed && BodyXorsToZero(record, size);
  if (checksummed && !ok) ++Result.BadChecksums;
  return Emit(Position, size, expected.Kind, ok);
}

TKlfReader::TItem TKlfReader::ReadPacketRecord() {
  if (Position >= Result.Size) return Finish(TKlfSummary::Whole);
  Keep = Position;
  const int64_t n = Load(Position, 2);
  if (ReadFailed) return Fail(ReadError);
  if (n < 2) return EmitTorn(Position, TKlfRecord::Packet);
  const int length = At(Position)[0] | (At(Position)[1] << 8);
  if (!ValidLength(length)) {
    if (ZerosToEnd(Position)) return EmitTorn(Position, TKlfRecord::Packet);
    if (ReadFailed) return Fail(ReadError);
    return Resynchronise(Position);
  }
  const int size = length + 2;
  const int64_t whole = Load(Position, static_cast<size_t>(size));
  if (ReadFailed) return Fail(ReadError);
  if (whole < size) return EmitTorn(Position, TKlfRecord::Packet);
  if (BodyXorsToZero(At(Position), size)) return Emit(Position, size, TKlfRecord::Packet, true);
  // A failing checksum between records that chain is that record's fault, not a lost position.
  const bool chains = ChainsFrom(Position + size, 0);
  if (ReadFailed) return Fail(ReadError);
  if (!chains) return Resynchronise(Position);
  ++Result.BadChecksums;
  return Emit(Position, size, TKlfRecord::Packet, false);
}

TKlfReader::TItem TKlfReader::Resynchronise(int64_t from) {
  int64_t at = from + 1;
  for (; at < Result.Size; ++at) {
    Keep = at;
    if (ChainsFrom(at, 1)) break;
    if (ReadFailed) return Fail(ReadError);
  }
  LastDamage = {from, at - from};
  ++Result.DamagedRanges;
  Result.BytesSkipped += at - from;
  Position = at;
  return TItem::Damage;
}

TKlfReader::TItem TKlfReader::Emit(int64_t at, int size, TKlfRecord::TKind kind, bool checksumOk) {
  Current = {at, At(at), size, kind, checksumOk, false};
  ++Result.Records;
  Position = at + size;
  if (Result.DamagedRanges == 0) Result.WholeSize = Position;
  return TItem::Record;
}

TKlfReader::TItem TKlfReader::EmitTorn(int64_t at, TKlfRecord::TKind kind) {
  const int64_t left = Result.Size - at;
  std::memset(TornBytes, 0, sizeof TornBytes);
  const int64_t loaded = std::min<int64_t>({left, BufferEnd - at, sizeof TornBytes});
  std::memcpy(TornBytes, At(at), static_cast<size_t>(std::max<int64_t>(loaded, 0)));
  Current = {at,   TornBytes, static_cast<int>(std::min<int64_t>(left, INT32_MAX)),
             kind, false,     true};
  Position = Result.Size;
  Result.TornBytes = left;
  const bool header = kind != TKlfRecord::Packet;
  if (header) Result.WholeSize = 0;
  Finish(header ? TKlfSummary::TornHeader : TKlfSummary::TornTail);
  return TItem::Record;
}

TKlfReader::TItem TKlfReader::Finish(TKlfSummary::TOutcome outcome) {
  State = TState::Done;
  const bool log = outcome == TKlfSummary::Whole || outcome == TKlfSummary::TornTail ||
                   outcome == TKlfSummary::TornHeader;
  Result.Outcome = log && Result.DamagedRanges > 0 ? TKlfSummary::Damaged : outcome;
  return TItem::End;
}

TKlfReader::TItem TKlfReader::Fail(int error) {
  State = TState::Done;
  Result.Outcome = TKlfSummary::Unreadable;
  Result.Error = error;
  return TItem::End;
}

}  // namespace vireon
