#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vireon {

SharedMemory::~SharedMemory() {
  Release();
}

bool SharedMemory::StillNamed() const {
  const int fd = shm_open(Name.c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  struct stat st {};
  const bool same = fstat(fd, &st) == 0 && st.st_dev == Device && st.st_ino == Inode;
  close(fd);
  return same;
}

bool SharedMemory::Open(const std::string& name, size_t size, bool create) {
  if (Data != nullptr && name == Name && StillNamed()) return true;
  // Removed or replaced: the mapping is a copy the other side no longer sees.
  Unmap();
  Name = name;
  Refused.clear();
  int fd = create ? shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600) : -1;
  CreatedHere = fd >= 0;
  if (fd < 0 && (!create || errno == EEXIST)) fd = shm_open(name.c_str(), O_RDWR, 0);
  // A reader that finds no block yet has nothing to say; anything else is a refusal with a reason.
  if (fd < 0) return Refuse(create || errno != ENOENT ? "cannot be opened" : "", errno, -1);
  struct stat st {};
  if (fstat(fd, &st) != 0) return Refuse("cannot be examined", errno, fd);
  if (!CreatedHere && (st.st_uid != geteuid() || (st.st_mode & 077) != 0)) {
    char text[160];
    std::snprintf(text, sizeof text,
                  st.st_uid != geteuid() ? "%s belongs to another user"
                                         : "%s is open to other users (mode %04o)",
                  name.c_str(), static_cast<unsigned>(st.st_mode & 07777));
    Refused = text;
    close(fd);
    return false;
  }
  Device = st.st_dev;
  Inode = st.st_ino;
  // A fresh block has size 0 and reads as zeros once sized; a short one is grown the same way.
  if (static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0)
    return Refuse("cannot be sized", errno, fd);
  if (!Map(fd, size)) return Refuse("cannot be mapped", errno, fd);
  close(fd);
  return true;
}

bool SharedMemory::Refuse(const char* what, int error, int fd) {
  if (*what != 0) Refused = Name + " " + what + ": " + std::strerror(error);
  if (fd >= 0) close(fd);
  return false;
}

bool SharedMemory::Map(int fd, size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return false;
  Data = static_cast<uint8_t*>(p);
  Length = size;
  ++Opens;
  return true;
}

void SharedMemory::Unmap() {
  if (Data != nullptr) munmap(Data, Length);
  Data = nullptr;
  Length = 0;
}

void SharedMemory::Release() {
  // Only the block made here, and only while the name is still it: a later program's is left.
  if (Data != nullptr && CreatedHere && StillNamed()) Unlink(Name);
  Unmap();
  CreatedHere = false;
}

void SharedMemory::Unlink(const std::string& name) {
  shm_unlink(name.c_str());
}

}  // namespace vireon
