// Arbitrary GPS payloads of any length, decoded and turned into every text the panel shows.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "gps/Gps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vireon::TGPSShared shared;
  shared.Decode(data, size);
  const vireon::TGPS g = shared.Copy();
  const size_t total = g.DateText().size() + g.TimeText().size() + g.FilLatitudeText().size() +
                       g.FilLongitudeText().size() + g.LatitudeText().size() +
                       g.LongitudeText().size() + g.HeadingText().size() + g.GMTText().size() +
                       g.FixStatusText().size() + g.AntennaStatusText().size();
  if (g.HeadingText().empty() || total == 0) std::abort();
  return 0;
}
