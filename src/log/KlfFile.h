#pragma once
// The KLF log file: an optional header repeating what the instrument announced before logging
// began, then one record per received packet (the frame without its sync byte). The layout is
// read by another program and stays exactly as it is, quirks included: six leading zero bytes,
// and a receiver record whose length field says 25 while 27 bytes stand, with no checksum.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/Engine.h"

namespace vireon {

constexpr int kMaxLogFileName = 511;  // characters, without the terminator
constexpr int kMinLogRecord = 3;      // length field 1: the type byte alone
constexpr int kMaxLogRecord = 2049;   // length field 2047, the framer's largest
constexpr uint8_t kIdentityType = 0x80;
constexpr uint8_t kSerialType = 0x81;
constexpr char kIdentityText[] = "NDQVIREON0401";

// The header of a new file built from the engine's state: 63 bytes, plus the stored scan
// set-up record when one has been captured.
std::vector<uint8_t> BuildKlfHeader(const TModelSnapshot& state);

// The log file name for the text of the file name edit: cut at the last '.', even when that dot
// belongs to a folder name, then ".KLF" appended. Empty when the result would not fit in
// kMaxLogFileName characters.
std::optional<std::string> KlfFileName(const std::string& text);

// File size as shown to the user: whole kB, truncated.
inline int32_t SizeInKB(int64_t bytes) {
  return static_cast<int32_t>(bytes / 1024);
}

}  // namespace vireon
