// Reading a KLF log back as JSON. The identity and serial records say their texts; the header's
// receiver record, which has no checksum and lacks receiver 2's last byte, is decoded as the
// configuration packet it stands for with that byte 0, so later lines report the receivers as
// they were when logging began. Every other record is decoded only when its checksum holds. A
// record cut short at the end of the file and each damaged range the reader skipped are reported
// and counted; nothing stops the reading early but a failed read.

#include "KlfMode.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "DecodeInput.h"
#include "log/KlfFile.h"
#include "platform/CommandLine.h"

namespace vireon {

namespace {

constexpr int kHeaderReceiverLength = 25;

// Text fields of the header's own records, read from the record's payload.
void AddHeaderTexts(const TKlfRecord& record, TJson& fields) {
  const size_t n = static_cast<size_t>(std::max(record.Length() - 2, 0));
  const char* text = reinterpret_cast<const char*>(record.Bytes + 3);
  if (record.Kind == TKlfRecord::Identity) {
    fields["Identity"] = Latin1(std::string(text, std::min<size_t>(n, 13)).c_str());
  } else if (record.Kind == TKlfRecord::Serial) {
    char serial[9] = {};
    std::memcpy(serial, text, std::min<size_t>(n, 8));
    fields["SerialNumber"] = Latin1(serial);
  }
}

// A record shown but not decoded: cut short, or failing its checksum.
TJson BrokenLine(const TKlfRecord& record) {
  TJson line = {{"offset", record.Offset}, {"length", record.Length()}};
  if (record.Type() >= 0) line["type"] = record.Type();
  if (record.Torn) line["truncated"] = true;
  line["checksum_ok"] = false;
  return line;
}

}  // namespace

TKlfSummary DecodeKlf(int fd, const TDecodeSession::TSink& sink) {
  int64_t at = 0;
  TJson fields;  // what the record adds to, or changes in, the engine's line
  TDecodeSession session([&](const TJson& decoded) {
    TJson line = {{"offset", at}};
    line.update(decoded);
    line.update(fields);
    sink(line);
  });
  TKlfReader reader(fd);
  for (TKlfReader::TItem item; (item = reader.Next()) != TKlfReader::TItem::End;) {
    if (item == TKlfReader::TItem::Damage) {
      sink({{"offset", reader.Damage().Offset},
            {"damaged", true},
            {"skipped", reader.Damage().Skipped}});
      continue;
    }
    const TKlfRecord& record = reader.Record();
    at = record.Offset;
    if (record.Kind == TKlfRecord::Receivers) {
      const PacketRecord configuration = ReceiversAsConfiguration(record);
      fields = {{"length", kHeaderReceiverLength},
                {"payload", HexBytes(configuration.Data, kHeaderReceiverLength - 1)},
                {"header", true}};
      session.Deliver(configuration);
    } else if (record.ChecksumOk) {
      fields = {{"checksum_ok", true}};
      AddHeaderTexts(record, fields);
      session.Deliver(record.ToPacket());
    } else {
      sink(BrokenLine(record));
    }
  }
  return reader.Summary();
}

int RunKlfMode(const std::string& path, bool summary) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::cerr << "vireon-decode: cannot open " << path << ": " << std::strerror(errno) << "\n";
    return kExitUsage;
  }
  const TKlfSummary counts = DecodeKlf(fd, [](const TJson& j) { std::cout << j.dump() << '\n'; });
  ::close(fd);
  std::cout.flush();
  const std::string why = KlfOutcomeText(counts);
  if (!why.empty() && counts.Outcome != TKlfSummary::TornHeader) {
    std::cerr << "vireon-decode: " << path << " " << why << "\n";
    return counts.Outcome == TKlfSummary::Unreadable && counts.Records > 0 ? kExitFailure
                                                                           : kExitUsage;
  }
  if (summary) {
    // A record cut short at the end counts as a record with a failing checksum, as it always has.
    const uint64_t torn = counts.TornBytes > 0 ? 1 : 0;
    TJson line = {{"records", counts.Records + torn},
                  {"bytes", counts.Size},
                  {"bad_checksum", counts.BadChecksums + torn},
                  {"truncated", torn}};
    if (counts.DamagedRanges > 0) {
      line["damaged_ranges"] = counts.DamagedRanges;
      line["bytes_skipped"] = counts.BytesSkipped;
    }
    std::cout << TJson{{"summary", line}}.dump() << '\n';
  }
  std::cout.flush();
  return kExitOk;
}

}  // namespace vireon
