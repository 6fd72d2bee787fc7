#pragma once
// A capture logged as the logger logs a new file, for replay tests and benchmarks: the first
// `announced` packets go through an engine first, so the header holds what they announce (serial
// number, receivers); then every packet of the capture follows as a record. Written straight to
// the file as it is framed, so a capture of any size needs no more memory than one packet.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "gps/Gps.h"
#include "link/Packet.h"
#include "log/KlfFile.h"
#include "model/Engine.h"

namespace vireon::test {

inline void RecordLog(const std::vector<uint8_t>& capture, const std::string& file,
                      size_t announced) {
  TGPSShared gps;
  TEngine engine{gps};
  TPacket framer;
  size_t seen = 0;
  for (size_t k = 0; k < capture.size() && seen < announced; ++k)
    if (framer.Push(capture[k]) == 0) engine.Dispatch(framer.Record()), ++seen;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  const std::vector<uint8_t> header = BuildKlfHeader(engine.Snapshot());
  out.write(reinterpret_cast<const char*>(header.data()),
            static_cast<std::streamsize>(header.size()));
  TPacket again;
  for (uint8_t b : capture) {
    if (again.Push(b) != 0) continue;
    const PacketRecord& r = again.Record();
    out.write(reinterpret_cast<const char*>(r.LogBytes()), r.LogSize());
  }
}

}  // namespace vireon::test
