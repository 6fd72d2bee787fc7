#pragma once
// Synthetic instrument byte streams for the replay tests and the benchmarks: every packet type,
// garbage, frames split and damaged in the ways a serial line damages them.

#include <cstdint>
#include <string>
#include <vector>

namespace vireon::capture {

using Bytes = std::vector<uint8_t>;

// One well-formed frame.
Bytes Frame(uint8_t type, const Bytes& payload);

// A 152-byte GPS report; t varies the time, position and status fields.
Bytes GpsReport(int t);

// Every packet type once or more, with garbage between frames.
Bytes MixedStream();
// Bad lengths, bad checksums, sync bytes inside bodies, short payloads, out-of-range entries and
// a frame cut off at the end.
Bytes DamagedStream();
// A measuring session as the instrument sends it: identity and set-up, then per second a clock,
// a GPS report, scan levels and single-channel samples.
Bytes SessionStream(int seconds);

// A log with damage the reader must resynchronise after (a spoiled length, line garbage over a
// record) and a last record cut short.
Bytes DamagedLog(Bytes log);

struct Named {
  std::string Name;
  Bytes Stream;
};
// The captures checked in under tests/data, by file name without extension.
std::vector<Named> AllCaptures();

}  // namespace vireon::capture
