// Reading a KLF log back. The file has no framing beyond the length fields, so a record is what
// its length field says; the six leading zero bytes of a header read as three empty records, and
// the header's receiver record (no checksum of its own) usually reads as a bad checksum. A record
// cut short at the end of the file is reported and counted; nothing stops the reading early.

#include "KlfMode.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace vireon {

namespace {

constexpr size_t kMaxBody = 1 + kDataSize;  // type + data, the most a packet record holds

}  // namespace

bool IsKlfName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return ext == ".KLF";
}

TKlfSummary DecodeKlf(std::FILE* in, const TDecodeSession::TSink& sink) {
  TKlfSummary summary;
  TJson extra;
  TDecodeSession session([&](const TJson& decoded) {
    TJson line = {{"offset", extra["offset"]}};
    line.update(decoded);
    line["checksum_ok"] = extra["checksum_ok"];
    sink(line);
  });
  PacketRecord record;
  std::vector<uint8_t> body;
  uint8_t lengthBytes[2];
  for (;;) {
    const size_t got = std::fread(lengthBytes, 1, 2, in);
    if (got == 0) break;
    const uint64_t offset = summary.Bytes;
    summary.Bytes += got;
    const size_t length = got == 2 ? lengthBytes[0] | (lengthBytes[1] << 8) : 0;
    body.resize(length);
    const size_t bodyGot = length ? std::fread(body.data(), 1, length, in) : 0;
    summary.Bytes += bodyGot;
    ++summary.Records;
    uint8_t sum = 0;
    for (size_t k = 0; k < bodyGot; ++k) sum ^= body[k];
    const bool whole = got == 2 && bodyGot == length;
    const bool checksumOk = whole && sum == 0;
    if (!whole) ++summary.Truncated;
    if (!checksumOk) ++summary.BadChecksum;
    if (!whole || length == 0 || length > kMaxBody) {
      TJson line = {{"offset", offset}, {"length", length}};
      if (!whole) line["truncated"] = true;
      line["checksum_ok"] = checksumOk;
      sink(line);
      continue;
    }
    record = PacketRecord{};
    record.Sync = kSync;
    record.Length = static_cast<int16_t>(length);
    std::memcpy(&record.Type, body.data(), length);
    extra = {{"offset", offset}, {"checksum_ok", checksumOk}};
    session.Deliver(record);
  }
  return summary;
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
