#pragma once

#include <functional>
#include <string>

#include "PacketJson.h"
#include "log/KlfReader.h"

namespace vireon {

// Reads a KLF log with the one KLF reader and appends one line of JSON per record to out, calling
// wrote() after each, header records included: the offset, the engine's decoding of the record and
// "checksum_ok" (XOR of type through last byte is zero), or "header": true for the header's
// receiver record, which has no checksum. The six leading zero bytes of a log get no line; a
// damaged range gets one line with its offset and the bytes skipped. Returns the reader's summary.
TKlfSummary DecodeKlf(int fd, std::string& out, const std::function<void()>& wrote);

// The KLF reading mode of vireon-decode; returns the exit code like RunFileMode.
int RunKlfMode(const std::string& path, bool summary);

}  // namespace vireon
