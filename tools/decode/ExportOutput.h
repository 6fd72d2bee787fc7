#pragma once
// Where an export goes. Reading a survey must never harm it, and an export cut short must never
// look finished. So a file output is written to a temporary file beside it, made durable, and only
// then renamed over the final name; a failure, SIGINT, SIGTERM or SIGHUP removes the temporary and
// leaves the final name as it was. An output that is the input, or any KLF log, is refused before
// anything is written; a device or a pipe (/dev/null, /dev/stdout) is written as it is. Every
// failure keeps the system's reason. A library that writes a file by its name gets a private
// folder beside the output to write it in, removed the same way.

#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace vireon {

// Buffered output to a descriptor, written in large blocks; remembers the first failure's errno.
class TOutput {
 public:
  explicit TOutput(int fd) : Fd(fd) {}
  // Text is appended to Buffer(); Wrote() passes it on once enough has gathered.
  std::string& Buffer() { return Pending; }
  void Wrote() {
    if (Pending.size() >= kFlushAt) Flush();
  }
  // Writes what is pending; false once any write has failed.
  bool Flush();
  int Error() const { return Failure; }

 private:
  static constexpr size_t kFlushAt = 1 << 16;
  int Fd;
  std::string Pending;
  int Failure = 0;
};

class TExportTarget {
 public:
  TExportTarget() = default;
  TExportTarget(const TExportTarget&) = delete;
  TExportTarget& operator=(const TExportTarget&) = delete;
  // Removes a temporary that was not committed.
  ~TExportTarget();

  // Makes the temporary beside path. False, with Error, when path is the input (same device and
  // inode), an existing KLF log or a folder, or when the temporary cannot be made.
  bool Open(const std::string& path, const struct stat& input);
  // As Open, but for a writer that creates the file itself at TempPath(), inside a private folder
  // beside path; Commit once it has closed the file.
  bool OpenForName(const std::string& path, const struct stat& input);
  int Fd() const { return TempFd; }
  const std::string& TempPath() const { return Temp; }
  // Makes the temporary durable and renames it over the final name; false with Error.
  bool Commit();
  // Removes the temporary; the final name stays as it was.
  void Abandon();

  std::string Error;

 private:
  // For a device or a pipe: written straight, with no temporary.
  bool OpenDirect(const std::string& path);
  // The refusals both ways of opening share; false with Error. special: path is a device or a
  // pipe.
  bool Refused(const std::string& path, const struct stat& input, bool& special);

  std::string Path;
  std::string Temp;    // empty when writing straight to Path
  std::string Folder;  // the private folder of OpenForName, else empty
  int TempFd = -1;
};

}  // namespace vireon
