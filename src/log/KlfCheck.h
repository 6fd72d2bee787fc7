#pragma once
// What an existing file holds before a writer appends to it. Appending after a cut-short record
// (power loss, a full disk) would make every later record misread by a reader that follows the
// lengths, and appending to a file that is no log at all would spoil it; so the file is walked
// record by record first, reading it in blocks (a day's log is some hundred MB).
//
// A log begins with six zero bytes and the identity record; from there every record is its
// length field plus 2 bytes long (the header's receiver record too: it stands in 27 bytes, its
// length field says 25), each length 1 to 2047.

#include <cstdint>

namespace vireon {

struct TKlfCheck {
  enum Kind {
    Whole,       // whole records to the end
    TornTail,    // whole records up to WholeSize, then part of one
    TornHeader,  // a beginning of the header and nothing more: the file can start again
    Foreign,     // not a KLF log
    Damaged,     // a KLF log with an impossible length field at WholeSize
    Unreadable,  // reading failed (errno in Error)
  };
  Kind What = Whole;
  int64_t WholeSize = 0;  // bytes up to the end of the last whole record
  int Error = 0;
};

// Walks the first `size` bytes of the open file fd (read with pread; its offset is untouched).
TKlfCheck CheckKlfFile(int fd, int64_t size);

}  // namespace vireon
