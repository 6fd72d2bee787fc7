#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vireon {

SharedMemory::~SharedMemory() {
  if (Data != nullptr) munmap(Data, Length);
}

bool SharedMemory::Open(const std::string& name, size_t size) {
  if (Data != nullptr) return true;
  int fd = shm_open(name.c_str(), O_RDWR | O_CREAT, 0600);
  if (fd < 0) return false;
  struct stat st {};
  // A fresh block has size 0 and reads as zeros once sized; a short one is grown the same way.
  bool sized = fstat(fd, &st) == 0 && (static_cast<size_t>(st.st_size) >= size ||
                                       ftruncate(fd, static_cast<off_t>(size)) == 0);
  void* p = sized ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  close(fd);
  if (p == MAP_FAILED) return false;
  Data = static_cast<uint8_t*>(p);
  Length = size;
  ++Opens;
  return true;
}

void SharedMemory::Unlink(const std::string& name) {
  shm_unlink(name.c_str());
}

}  // namespace vireon
