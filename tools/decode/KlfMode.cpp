// Reading a KLF log back. The file has no framing beyond the length fields, so a record is what
// its length field says. A log begins with six zero bytes, its signature, which get no line; the
// identity and serial records say their texts; the header's receiver record, which has no
// checksum and lacks receiver 2's last byte, is decoded as the configuration packet it stands
// for with that byte 0, so later lines report the receivers as they were when logging began.
// Every other record is decoded only when its checksum holds. A record cut short at the end of
// the file is reported and counted; nothing stops the reading early.

#include "KlfMode.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "log/KlfFile.h"

namespace vireon {

namespace {

constexpr size_t kMaxBody = 1 + kDataSize;  // type + data, the most a packet record holds
constexpr size_t kSignatureSize = 6;
constexpr size_t kHeaderReceiverLength = 25;
constexpr int kHeaderReceiverIndex = 2;  // identity, serial, then the receivers

// True, with the file after them, when it begins with the six zero bytes; else back at its start.
bool SkipSignature(std::FILE* in, uint64_t& bytes) {
  uint8_t start[kSignatureSize] = {};
  const size_t got = std::fread(start, 1, sizeof start, in);
  if (got == sizeof start && std::all_of(start, start + got, [](uint8_t b) { return b == 0; })) {
    bytes += got;
    return true;
  }
  std::rewind(in);
  return false;
}

// The header's receiver record as the configuration packet it repeats: type 1, the flag byte and
// 23 configuration bytes, receiver 2's missing last byte 0, and a checksum of its own.
PacketRecord HeaderConfiguration(const std::vector<uint8_t>& body) {
  uint8_t payload[kHeaderReceiverLength] = {};
  std::memcpy(payload, body.data() + 1, kHeaderReceiverLength - 1);
  PacketRecord record;
  BuildFrame(record, 1, payload, sizeof payload);
  return record;
}

// Text fields of the header's own records, read from the record's payload.
void AddHeaderTexts(const PacketRecord& record, TJson& fields) {
  const size_t n = static_cast<size_t>(std::max(record.PayloadSize(), 0));
  const char* text = reinterpret_cast<const char*>(record.Data);
  if (record.Type == kIdentityType) {
    fields["Identity"] = Latin1(std::string(text, std::min<size_t>(n, 13)).c_str());
  } else if (record.Type == kSerialType) {
    char serial[9] = {};
    std::memcpy(serial, text, std::min<size_t>(n, 8));
    fields["SerialNumber"] = Latin1(serial);
  }
}

}  // namespace

bool IsKlfName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return ext == ".KLF";
}

TKlfSummary ReadKlf(std::FILE* in, const TKlfHandlers& handlers) {
  TKlfSummary summary;
  const bool isLog = SkipSignature(in, summary.Bytes);
  std::vector<uint8_t> body;
  uint8_t lengthBytes[2];
  PacketRecord record;
  for (int index = 0;; ++index) {
    const size_t got = std::fread(lengthBytes, 1, 2, in);
    if (got == 0) break;
    const uint64_t offset = summary.Bytes;
    summary.Bytes += got;
    const size_t length = got == 2 ? lengthBytes[0] | (lengthBytes[1] << 8) : 0;
    body.resize(length);
    const size_t bodyGot = length ? std::fread(body.data(), 1, length, in) : 0;
    summary.Bytes += bodyGot;
    ++summary.Records;
    const bool whole = got == 2 && bodyGot == length;
    if (!whole) ++summary.Truncated;
    if (whole && isLog && index == kHeaderReceiverIndex && length == kHeaderReceiverLength &&
        body[0] == 1) {
      handlers.Packet(offset, HeaderConfiguration(body), true);
      continue;
    }
    uint8_t sum = 0;
    for (size_t k = 0; k < bodyGot; ++k) sum ^= body[k];
    const bool checksumOk = whole && length > 0 && sum == 0;
    if (!checksumOk) ++summary.BadChecksum;
    if (!checksumOk || length > kMaxBody) {
      handlers.Broken(offset, length, bodyGot > 0 ? body[0] : -1, whole);
      continue;
    }
    record = PacketRecord{};
    record.Sync = kSync;
    record.Length = static_cast<int16_t>(length);
    std::memcpy(&record.Type, body.data(), length);
    handlers.Packet(offset, record, false);
  }
  return summary;
}

TKlfSummary DecodeKlf(std::FILE* in, const TDecodeSession::TSink& sink) {
  uint64_t at = 0;
  TJson fields;  // what the record adds to, or changes in, the engine's line
  TDecodeSession session([&](const TJson& decoded) {
    TJson line = {{"offset", at}};
    line.update(decoded);
    line.update(fields);
    sink(line);
  });
  TKlfHandlers handlers;
  handlers.Packet = [&](uint64_t offset, const PacketRecord& record, bool header) {
    at = offset;
    if (header) {
      fields = {{"length", kHeaderReceiverLength},
                {"payload", HexBytes(record.Data, kHeaderReceiverLength - 1)},
                {"header", true}};
    } else {
      fields = {{"checksum_ok", true}};
      AddHeaderTexts(record, fields);
    }
    session.Deliver(record);
  };
  handlers.Broken = [&](uint64_t offset, size_t length, int type, bool whole) {
    TJson line = {{"offset", offset}, {"length", length}};
    if (type >= 0) line["type"] = type;
    if (!whole) line["truncated"] = true;
    line["checksum_ok"] = false;
    sink(line);
  };
  return ReadKlf(in, handlers);
}

int RunKlfMode(const std::string& path, bool summary) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    std::cerr << "vireon-decode: cannot open " << path << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  const TKlfSummary counts = DecodeKlf(in, [](const TJson& j) { std::cout << j.dump() << '\n'; });
  const bool failed = std::ferror(in) != 0;
  const int error = errno;
  std::fclose(in);
  if (failed) {
    std::cout.flush();
    std::cerr << "vireon-decode: cannot read " << path << ": " << std::strerror(error) << "\n";
    return 2;
  }
  if (summary) {
    std::cout << TJson{{"summary",
                        {{"records", counts.Records},
                         {"bytes", counts.Bytes},
                         {"bad_checksum", counts.BadChecksum},
                         {"truncated", counts.Truncated}}}}
                     .dump()
              << '\n';
  }
  std::cout.flush();
  return 0;
}

}  // namespace vireon
