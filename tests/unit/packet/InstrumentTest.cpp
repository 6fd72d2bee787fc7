#include <gtest/gtest.h>

#include <set>

#include "Instrument.h"
#include "gps/Gps.h"
#include "model/Engine.h"

namespace vireon::sim {
namespace {

void Dispatch(TEngine& engine, const TFrame& frame) {
  TPacket framer;
  for (uint8_t b : frame)
    if (framer.Push(b) == 0) engine.Dispatch(framer.Record());
}

TEST(SimulatedInstrument, ATableSweepNamesEveryChannelOfEachReceiverWithinItsRange) {
  TInstrument instrument("VS000001", 1);
  TGPSShared gps;
  TEngine engine{gps};
  Dispatch(engine, instrument.Answer(1).front());
  instrument.StartMeasurement(TMeasureMode::Table);
  std::set<int> indexes[2];
  for (int k = 0; k < 1000; ++k) {
    const TFrame frame = instrument.NextLevels(k);
    for (size_t e = 4; e + 4 <= frame.size() - 1; e += 4)
      indexes[frame[e] != 0 ? 1 : 0].insert(frame[e + 1] | (frame[e + 2] << 8));
  }
  for (int i = 0; i < 2; ++i) {
    const TRF rf = engine.Receiver(i);
    const int channels = static_cast<int>(rf.Config.HighEdge - rf.Config.LowEdge) + 1;
    EXPECT_EQ(indexes[i].size(), static_cast<size_t>(channels)) << i;
    for (int index : indexes[i]) {
      const double mhz = rf.FrequencyOfChannel(static_cast<int16_t>(index + 1));
      EXPECT_GE(mhz, rf.LowEdgeMHz() - 1e-9) << i << " " << index;
      EXPECT_LE(mhz, rf.HighEdgeMHz() + 1e-9) << i << " " << index;
    }
  }
}

}  // namespace
}  // namespace vireon::sim
