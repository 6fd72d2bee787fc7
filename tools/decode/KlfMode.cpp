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
#include "ExportOutput.h"
#include "log/KlfFile.h"
#include "platform/CommandLine.h"

namespace vireon {

namespace {

constexpr int kHeaderReceiverLength = 25;

// A text of the header's own records, read from the record's payload up to its first NUL.
std::string HeaderText(const TKlfRecord& record, size_t longest) {
  const size_t n = std::min(static_cast<size_t>(std::max(record.Length() - 2, 0)), longest);
  const char* text = reinterpret_cast<const char*>(record.Bytes + 3);
  return std::string(text, strnlen(text, n));
}

// A record shown but not decoded: cut short, or failing its checksum.
void AppendBrokenLine(std::string& out, const TKlfRecord& record) {
  TJsonWriter w(out);
  w.BeginObject().Key("offset").Int(record.Offset).Key("length").Int(record.Length());
  if (record.Type() >= 0) w.Key("type").Int(record.Type());
  if (record.Torn) w.Key("truncated").Bool(true);
  w.Key("checksum_ok").Bool(false).EndObject().LineEnd();
}

void AppendDamageLine(std::string& out, const TKlfDamage& damage) {
  TJsonWriter w(out);
  w.BeginObject().Key("offset").Int(damage.Offset).Key("damaged").Bool(true);
  w.Key("skipped").Int(damage.Skipped).EndObject().LineEnd();
}

// A decoded record: the engine's line with the log's own fields; text is the header record's.
void AppendRecordLine(std::string& out, const TKlfRecord& record, const PacketRecord& packet,
                      const TEngine& engine, const TInPlace& inPlace, const std::string& text) {
  TJsonWriter w(out);
  w.BeginObject().Key("offset").Int(record.Offset);
  WritePacketMembers(w, packet, engine, inPlace);
  if (record.Kind == TKlfRecord::Receivers) {
    w.Key("header").Bool(true);
  } else {
    w.Key("checksum_ok").Bool(true);
    if (record.Kind == TKlfRecord::Identity) w.Key("Identity").Latin1(text);
    if (record.Kind == TKlfRecord::Serial && packet.Type != 28) w.Key("SerialNumber").Latin1(text);
  }
  w.EndObject().LineEnd();
}

void AppendSummary(std::string& out, const TKlfSummary& counts) {
  // A record cut short at the end counts as a record with a failing checksum, as it always has.
  const uint64_t torn = counts.TornBytes > 0 ? 1 : 0;
  TJsonWriter w(out);
  w.BeginObject().Key("summary").BeginObject();
  w.Key("records").UInt(counts.Records + torn).Key("bytes").Int(counts.Size);
  w.Key("bad_checksum").UInt(counts.BadChecksums + torn).Key("truncated").UInt(torn);
  if (counts.DamagedRanges > 0) {
    w.Key("damaged_ranges").UInt(counts.DamagedRanges);
    w.Key("bytes_skipped").Int(counts.BytesSkipped);
  }
  w.EndObject().EndObject().LineEnd();
}

}  // namespace

TKlfSummary DecodeKlf(int fd, std::string& out, const std::function<void()>& wrote) {
  // What the record being decoded shows beside, or in place of, the engine's line.
  const TKlfRecord* record = nullptr;
  TInPlace inPlace;
  std::string text;
  TDecodeSession session([&](const PacketRecord& packet, const TEngine& engine) {
    AppendRecordLine(out, *record, packet, engine, inPlace, text);
    wrote();
  });
  TKlfReader reader(fd);
  for (TKlfReader::TItem item; (item = reader.Next()) != TKlfReader::TItem::End;) {
    if (item == TKlfReader::TItem::Damage) {
      AppendDamageLine(out, reader.Damage());
      wrote();
      continue;
    }
    record = &reader.Record();
    inPlace = {};
    if (record->Kind == TKlfRecord::Receivers) {
      const PacketRecord configuration = ReceiversAsConfiguration(*record);
      inPlace.Length = kHeaderReceiverLength;
      inPlace.Payload = configuration.Data;
      inPlace.PayloadSize = kHeaderReceiverLength - 1;
      session.Deliver(configuration);
    } else if (record->ChecksumOk) {
      if (record->Kind == TKlfRecord::Identity) text = HeaderText(*record, 13);
      if (record->Kind == TKlfRecord::Serial) {
        text = HeaderText(*record, 8);
        inPlace.SerialNumber = &text;
      }
      session.Deliver(record->ToPacket());
    } else {
      AppendBrokenLine(out, *record);
      wrote();
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
  TOutput out(STDOUT_FILENO);
  const TKlfSummary counts = DecodeKlf(fd, out.Buffer(), [&out] { out.Wrote(); });
  ::close(fd);
  const std::string why = KlfOutcomeText(counts);
  const bool unusable = !why.empty() && counts.Outcome != TKlfSummary::TornHeader;
  if (!unusable && summary) AppendSummary(out.Buffer(), counts);
  if (!out.Flush()) {
    std::cerr << "vireon-decode: cannot write standard output: " << std::strerror(out.Error())
              << "\n";
    return kExitFailure;
  }
  if (unusable) {
    std::cerr << "vireon-decode: " << path << " " << why << "\n";
    return counts.Outcome == TKlfSummary::Unreadable && counts.Records > 0 ? kExitFailure
                                                                           : kExitUsage;
  }
  return kExitOk;
}

}  // namespace vireon
