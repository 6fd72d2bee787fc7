#pragma once
// An input of vireon-decode: a KLF log, read by the one KLF reader, or a captured byte stream
// (standard input for "-") framed as the link frames it. A file is a log when its name ends in
// ".KLF" (any case) or when it begins with a log's signature.
//
// What reaches the engine from a log: every whole packet record whose checksum holds, and the
// header's receiver record as the configuration packet it repeats, so levels are placed on the
// receivers as they were when logging began. Damage is skipped by the reader and counted in its
// summary; a read error ends the reading and is kept with its errno.

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>

#include "PacketJson.h"
#include "log/KlfReader.h"

namespace vireon {

// True for a name ending in ".KLF" (any case).
bool IsKlfName(const std::string& path);
// True for a file read as a log: so named, or a regular file that begins as a log does.
bool IsKlfInput(const std::string& path);

class TDecodeInput {
 public:
  TDecodeInput() = default;
  TDecodeInput(const TDecodeInput&) = delete;
  TDecodeInput& operator=(const TDecodeInput&) = delete;
  ~TDecodeInput();

  // False, with Error, when the input cannot be opened or is a folder.
  bool Open(const std::string& path);
  const struct stat& Stat() const { return Info; }
  bool IsLog() const { return Log; }
  int Fd() const { return Fd_; }

  // Delivers every packet to session; told of the bytes read so far now and then. False, with
  // Error, when reading failed.
  bool ReadInto(TDecodeSession& session, const std::function<void(int64_t)>& progress);
  // When the input holds nothing to read (an empty file, text, a log's header cut short): why.
  std::string NothingToRead() const;
  // After ReadInto, for a log.
  const TKlfSummary& LogSummary() const { return Summary; }
  uint64_t Packets() const { return Delivered; }

  // Told of each damaged range of a log as the reading passes it.
  std::function<void(const TKlfDamage&)> OnDamage;
  std::string Error;

 private:
  bool ReadLog(TDecodeSession& session, const std::function<void(int64_t)>& progress);
  bool ReadCapture(TDecodeSession& session, const std::function<void(int64_t)>& progress);

  std::string Name;
  int Fd_ = -1;
  bool OwnFd = false;
  bool Log = false;
  struct stat Info {};
  TKlfSummary Summary;
  uint64_t Delivered = 0;
};

}  // namespace vireon
