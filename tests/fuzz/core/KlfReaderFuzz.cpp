// Arbitrary files read as KLF logs, in a block size the input chooses: every byte of a log is
// accounted for exactly once, in file order (a record, a skipped range or a torn tail), whatever
// the damage.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "log/KlfReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t block = 1 + data[0] * 97u;
  const int fd = ::memfd_create("klf", MFD_CLOEXEC);
  if (fd < 0 || ::write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) std::abort();
  vireon::TKlfReader reader(fd, block);
  int64_t at = 6;  // the six zero bytes before the identity record
  for (vireon::TKlfReader::TItem item; (item = reader.Next()) != vireon::TKlfReader::TItem::End;) {
    if (item == vireon::TKlfReader::TItem::Damage) {
      if (reader.Damage().Offset != at || reader.Damage().Skipped <= 0) std::abort();
      at += reader.Damage().Skipped;
      continue;
    }
    const vireon::TKlfRecord& record = reader.Record();
    if (record.Offset != at || record.Size <= 0) std::abort();
    if (!record.Torn && (record.Size != record.Length() + 2 || record.Length() < 1)) std::abort();
    if (record.Kind == vireon::TKlfRecord::Packet && !record.Torn) {
      const vireon::PacketRecord packet = record.ToPacket();
      if (packet.LogSize() != record.Size) std::abort();
    }
    at += record.Size;
  }
  const vireon::TKlfSummary& summary = reader.Summary();
  const bool log = summary.Outcome != vireon::TKlfSummary::Empty &&
                   summary.Outcome != vireon::TKlfSummary::NotALog &&
                   !(summary.Outcome == vireon::TKlfSummary::TornHeader && summary.Records == 0 &&
                     summary.TornBytes == 0);
  if (log && at != summary.Size) std::abort();
  if (summary.WholeSize > summary.Size) std::abort();
  ::close(fd);
  return 0;
}
