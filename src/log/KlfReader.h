#pragma once
// Reading a KLF log back: the one walk through the format for every program that opens a log (the
// writer's append check, the decoder and exporter, the simulator's replay).
//
// A log begins with six zero bytes and the identity record (its signature), then the serial and
// receiver records; from there every record is its length field plus 2 bytes long (the header's
// receiver record too: its length field says 25, 27 bytes stand, and it has no checksum). A
// packet record's body (type to checksum) XORs to zero.
//
// Error policy: the file has no sync byte, so after an impossible length field, or a record that
// fails its checksum and does not chain, the reader steps one byte at a time to the first offset
// from which three records chain (or the chain reaches the end of the file) and reports the range
// it skipped. A length that runs past the end, or zeros to the end, is a torn tail: the writer
// died there. A failed read is never taken for an end: it ends the walk as Unreadable with its
// errno. The file is read in large pread blocks up to the size it had when the reader began, so
// a log cut short or grown underneath is read consistently and the descriptor's offset is left
// alone.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/Packet.h"

namespace vireon {

struct TKlfRecord {
  enum TKind : uint8_t { Identity, Serial, Receivers, Packet };
  int64_t Offset = 0;  // of its length field
  // Size bytes from the length field on, valid until the next Next(); of a torn record only the
  // first three (or fewer) are there.
  const uint8_t* Bytes = nullptr;
  int Size = 0;  // length field + 2, or the bytes the file holds of a torn record
  TKind Kind = Packet;
  bool ChecksumOk = false;  // body XORs to zero; never for the header's receiver record
  bool Torn = false;        // the file ends inside this record

  // The length field, 0 when not even it is whole.
  int Length() const { return Size >= 2 ? Bytes[0] | (Bytes[1] << 8) : 0; }
  // The type byte, -1 when the record is cut short before it.
  int Type() const { return Size >= 3 ? Bytes[2] : -1; }
  // A whole record as the framer would have delivered it.
  PacketRecord ToPacket() const;
};

struct TKlfDamage {
  int64_t Offset = 0;   // first byte skipped
  int64_t Skipped = 0;  // bytes skipped
};

struct TKlfSummary {
  enum TOutcome { Whole, Empty, NotALog, TornHeader, TornTail, Damaged, Unreadable };
  TOutcome Outcome = Whole;
  int Error = 0;          // errno, when Unreadable
  int64_t Size = 0;       // bytes in the file when the reading began
  int64_t WholeSize = 0;  // up to the end of the last whole record before any damage or tail
  uint64_t Records = 0;   // whole records, the header's included
  uint64_t DamagedRanges = 0;
  int64_t BytesSkipped = 0;
  uint64_t BadChecksums = 0;  // whole records that fail their checksum yet chain
  int64_t TornBytes = 0;      // of a record cut short at the end
};

// The header's receiver record as the configuration packet it repeats: type 1, the flag byte and
// 23 configuration bytes, receiver 2's unwritten last byte 0, with a checksum of its own.
PacketRecord ReceiversAsConfiguration(const TKlfRecord& receivers);

// True when the file begins with a KLF log's signature (read at offset 0; its offset untouched).
bool BeginsWithKlfSignature(int fd);

// Why a file is not read as a log, for messages: "is empty", "is not a KLF log", ...; empty for
// an outcome that is a log.
std::string KlfOutcomeText(const TKlfSummary& summary);

class TKlfReader {
 public:
  static constexpr size_t kBlock = 1 << 20;
  enum class TItem { Record, Damage, End };

  // Reads fd (left open, its offset untouched) from its start.
  explicit TKlfReader(int fd, size_t block = kBlock);

  // The next record or damaged range in file order, or the end; after the end, the end again.
  TItem Next();
  const TKlfRecord& Record() const { return Current; }
  const TKlfDamage& Damage() const { return LastDamage; }
  const TKlfSummary& Summary() const { return Result; }

 private:
  enum class TState { Signature, Header, Packets, Done };

  TItem ReadSignature();
  TItem ReadHeaderRecord();
  TItem ReadPacketRecord();
  // Makes the n bytes from `at` loaded; how many of them the file has (fewer at its end).
  int64_t Load(int64_t at, size_t n);
  const uint8_t* At(int64_t offset) const;
  bool ZerosToEnd(int64_t from);
  // A whole record at `at` with a good checksum: its size, else 0.
  int WholeRecordAt(int64_t at);
  // True when whole records chain from `at` three times, or at least `atLeast` of them run into
  // the end of the file or its torn tail.
  bool ChainsFrom(int64_t at, int atLeast);
  TItem Emit(int64_t at, int size, TKlfRecord::TKind kind, bool checksumOk);
  TItem EmitTorn(int64_t at, TKlfRecord::TKind kind);
  // Skips from a damaged record to the next offset from which records chain.
  TItem Resynchronise(int64_t from);
  TItem Finish(TKlfSummary::TOutcome outcome);
  TItem Fail(int error);

  int Fd;
  size_t Block;
  TState State = TState::Signature;
  int HeaderIndex = 0;   // records of the header read so far
  int64_t Position = 0;  // next byte to look at
  int64_t Keep = 0;      // the oldest byte the buffer must still hold
  std::vector<uint8_t> Buffer;
  int64_t BufferStart = 0;  // file offset of Buffer[0]
  int64_t BufferEnd = 0;    // file offset after the last loaded byte
  bool ReadFailed = false;
  int ReadError = 0;
  uint8_t TornBytes[3] = {};  // the beginning of a torn record, which may not stay loaded
  TKlfRecord Current;
  TKlfDamage LastDamage;
  TKlfSummary Result;
};

}  // namespace vireon
