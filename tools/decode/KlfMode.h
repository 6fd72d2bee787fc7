#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "PacketJson.h"

namespace vireon {

// True for a name ending in ".KLF" (any case): such files are read as logs, not captures.
bool IsKlfName(const std::string& path);

struct TKlfSummary {
  uint64_t Records = 0;
  uint64_t Bytes = 0;
  uint64_t BadChecksum = 0;
  uint64_t Truncated = 0;
};

// What a walk through a KLF log finds: records to dispatch (a good packet record, or, with header
// set, the header's receivers as the configuration packet they repeat) and broken records (cut
// short, or with a failing checksum; type -1 when not even that byte is there).
struct TKlfHandlers {
  std::function<void(uint64_t offset, const PacketRecord& record, bool header)> Packet;
  std::function<void(uint64_t offset, size_t length, int type, bool whole)> Broken;
};

// Walks a KLF log record by record, each by its own length field; the six leading zero bytes of
// a log are its signature and no record.
TKlfSummary ReadKlf(std::FILE* in, const TKlfHandlers& handlers);

// Reads a KLF log record by record, each by its own length field, header records included, and
// hands one JSON object per record to sink: the offset, the engine's decoding of the record and
// "checksum_ok" (XOR of type through last byte is zero), or "header": true for the header's
// receiver record, which has no checksum. The six leading zero bytes of a log get no line.
TKlfSummary DecodeKlf(std::FILE* in, const TDecodeSession::TSink& sink);

// The KLF reading mode of vireon-decode; returns the exit code like RunFileMode.
int RunKlfMode(const std::string& path, bool summary);

}  // namespace vireon
