#pragma once
// A capture logged as the logger logs it, for replay tests and benchmarks: the first `announced`
// packets go through an engine first, so the header holds what they announce (serial number,
// receivers); then every packet of the capture is written as a record.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gps/Gps.h"
#include "link/Packet.h"
#include "log/LogRouter.h"
#include "model/Engine.h"

namespace vireon::test {

inline void RecordLog(const std::vector<uint8_t>& capture, const std::string& file,
                      size_t announced) {
  std::vector<PacketRecord> records;
  TPacket framer;
  for (uint8_t b : capture)
    if (framer.Push(b) == 0) records.push_back(framer.Record());
  TGPSShared gps;
  TEngine engine{gps};
  for (size_t k = 0; k < announced && k < records.size(); ++k) engine.Dispatch(records[k]);
  TLog_Router writer(engine, file);
  writer.Start();
  for (const PacketRecord& r : records)
    writer.PostPacket(r.LogBytes(), static_cast<int16_t>(r.LogSize()));
  writer.RequestStop();
  writer.Join();
}

}  // namespace vireon::test
