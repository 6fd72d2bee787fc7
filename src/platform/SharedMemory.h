#pragma once
// A named POSIX shared-memory block mapped read-write: created with mode 0600, or opened when
// this user already made it. An existing block smaller than asked for is grown first, so a
// write can never land past its end.
//
// The name is looked up again at every Open: when it was removed or now names another object,
// the old mapping (which nobody else can see any more) is dropped and the block made afresh.
// An existing object that belongs to another user, or that group or others may open, is refused:
// any local user could read or spoof what goes through it. A block that cannot be opened, sized
// or mapped is refused with the system's reason. The name is removed at Release (or
// destruction) when this object created it and it still names that block.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vireon {

class SharedMemory {
 public:
  SharedMemory() = default;
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;
  ~SharedMemory();

  // Maps name ("/NAME") with size bytes; true when mapped and the name still names the block.
  // False when unavailable or refused (then Refusal says why). A reader that must not make the
  // block passes create = false.
  bool Open(const std::string& name, size_t size, bool create = true);
  // Unmaps, removing the name when this object created the block it still names.
  void Release();
  uint8_t* View() const { return Data; }
  size_t Size() const { return Length; }
  int OpenCount() const { return Opens; }
  // Why the last Open refused an existing object; empty when it did not.
  const std::string& Refusal() const { return Refused; }

  // Removes the name; the mapping itself stays valid for whoever holds it.
  static void Unlink(const std::string& name);

 private:
  bool StillNamed() const;
  // Keeps "<name> <what>: <reason>" as the refusal (none for an empty what), closes fd; false.
  bool Refuse(const char* what, int error, int fd);
  bool Map(int fd, size_t size);
  void Unmap();

  std::string Name;
  uint8_t* Data = nullptr;
  size_t Length = 0;
  dev_t Device = 0;
  ino_t Inode = 0;
  bool CreatedHere = false;
  int Opens = 0;
  std::string Refused;
};

}  // namespace vireon
