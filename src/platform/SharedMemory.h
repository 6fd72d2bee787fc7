#pragma once
// A named POSIX shared-memory block mapped read-write: created with mode 0600 (or opened if
// another program made it) and kept mapped until this object goes. An existing block smaller
// than asked for is grown first, so a write can never land past its end.

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

  // Maps name ("/NAME") with size bytes; true when mapped (at once if already mapped).
  bool Open(const std::string& name, size_t size);
  uint8_t* View() const { return Data; }
  size_t Size() const { return Length; }
  int OpenCount() const { return Opens; }

  // Removes the name; the mapping itself stays valid for whoever holds it.
  static void Unlink(const std::string& name);

 private:
  uint8_t* Data = nullptr;
  size_t Length = 0;
  int Opens = 0;
};

}  // namespace vireon
