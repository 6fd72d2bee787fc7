#include "Instrument.h"

#include <cstring>

#include "link/Packet.h"
#include "model/RF.h"

namespace vireon::sim {

namespace {

// Receiver 0: 869.04-894.00 MHz in 30 kHz steps, wrapped channel numbering (991..1023, 1..799).
// Receiver 1: 851.0125-860.9875 MHz in 12.5 kHz steps, plain numbering.
const TReceiverSetup kDefaultSetup[2] = {
    {28968, 29800, 7680, 1, {28975, 29010, 29050, 29101, 29160, 29233, 29310, 29400, 29555, 29700}},
    {68081, 68879, 3200, 0, {68090, 68120, 68200, 68255, 68301, 68400, 68512, 68600, 68700, 68850}},
};

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The receiver's 12-byte configuration block, as the configuration packet carries it.
void PutConfigBlock(uint8_t* b, const TReceiverSetup& r) {
  PutLe32(b, r.LowEdge);
  PutLe32(b + 4, r.HighEdge);
  b[8] = static_cast<uint8_t>(r.StepCode);
  b[9] = static_cast<uint8_t>(r.StepCode >> 8);
  b[10] = r.Flags;
}

// The table index the instrument reports for the position `offset` steps above the lower edge:
// index n stands for channel n + 1, in the receiver's own (maybe wrapped) numbering.
int TableIndex(const TReceiverSetup& r, int offset) {
  uint8_t block[12] = {};
  PutConfigBlock(block, r);
  TRF rf;
  rf.LoadConfig(block);
  return rf.ChannelOfStep(r.LowEdge + static_cast<uint32_t>(offset)) - 1;
}

int ChannelCount(const TReceiverSetup& r) {
  return static_cast<int>(r.HighEdge - r.LowEdge) + 1;
}

const int* DefaultChannelCounts() {
  static const int counts[2] = {ChannelCount(kDefaultSetup[0]), ChannelCount(kDefaultSetup[1])};
  return counts;
}

constexpr int kSamplesPerBlock = 32;
constexpr int kScanEntriesPerPacket = 5;
constexpr int kTableEntriesPerPacket = 4;

}  // namespace

TFrame MakeFrame(uint8_t type, const uint8_t* payload, int n) {
  PacketRecord record;
  int size = BuildFrame(record, type, payload, n);
  return TFrame(record.FrameBytes(), record.FrameBytes() + size);
}

TInstrument::TInstrument(std::string serial, uint32_t seed)
    : Receivers{kDefaultSetup[0], kDefaultSetup[1]},
      Serial(std::move(serial)),
      Site(seed, DefaultChannelCounts()),
      Track(55.6761, 12.5683) {}

int TInstrument::Channels(int rx) const {
  return ChannelCount(Receivers[rx]);
}

std::vector<TFrame> TInstrument::Answer(uint8_t type) const {
  if (type == 28) return {SerialFrame()};
  if (type == 1) return {ConfigFrame()};
  return {};
}

TFrame TInstrument::SerialFrame() const {
  uint8_t text[8] = {};
  std::memcpy(text, Serial.data(), std::min<size_t>(Serial.size(), sizeof text));
  return MakeFrame(28, text, sizeof text);
}

TFrame TInstrument::ConfigFrame() const {
  uint8_t p[25] = {0x03};
  for (int rx = 0; rx < 2; ++rx) PutConfigBlock(p + 1 + 12 * rx, Receivers[rx]);
  return MakeFrame(1, p, sizeof p);
}

std::vector<TFrame> TInstrument::StartMeasurement(TMeasureMode mode) {
  Mode = mode;
  Sequence = 0;
  uint8_t tuning[8];
  uint8_t list[80];
  for (int rx = 0; rx < 2; ++rx) {
    PutLe32(tuning + 4 * rx, Receivers[rx].ScanList[0]);
    for (int k = 0; k < 10; ++k) PutLe32(list + 40 * rx + 4 * k, Receivers[rx].ScanList[k]);
  }
  return {MakeFrame(5, tuning, sizeof tuning), MakeFrame(6, list, sizeof list)};
}

TFrame TInstrument::NextLevels(double t) {
  switch (Mode) {
    case TMeasureMode::Single:
      return SingleFrame(static_cast<int>(Sequence++ & 1), t);
    case TMeasureMode::Scan:
      return ScanFrame(t);
    default:
      return TableFrame(t);
  }
}

TFrame TInstrument::SingleFrame(int rx, double t) {
  const TReceiverSetup& r = Receivers[rx];
  int index = static_cast<int>(r.ScanList[0] - r.LowEdge);
  uint8_t samples[kSamplesPerBlock];
  for (uint8_t& s : samples) s = static_cast<uint8_t>(Site.Level(rx, index, t));
  return MakeFrame(static_cast<uint8_t>(2 + rx), samples, sizeof samples);
}

TFrame TInstrument::ScanFrame(double t) {
  // 20 (receiver, entry) pairs, five per packet: receiver 0 entries 0-4, 5-9, then receiver 1.
  uint8_t p[3 * kScanEntriesPerPacket];
  uint32_t block = Sequence++ % 4;
  int rx = static_cast<int>(block / 2);
  const TReceiverSetup& r = Receivers[rx];
  for (int e = 0; e < kScanEntriesPerPacket; ++e) {
    int k = static_cast<int>(block % 2) * kScanEntriesPerPacket + e;
    p[3 * e] = static_cast<uint8_t>(rx);
    p[3 * e + 1] = static_cast<uint8_t>(k);
    p[3 * e + 2] =
        static_cast<uint8_t>(Site.Level(rx, static_cast<int>(r.ScanList[k] - r.LowEdge), t));
  }
  return MakeFrame(7, p, sizeof p);
}

TFrame TInstrument::TableFrame(double t) {
  // Sweeps receiver 0's whole range, then receiver 1's, four indexes per packet.
  const int total = Channels(0) + Channels(1);
  uint8_t p[4 * kTableEntriesPerPacket];
  for (int e = 0; e < kTableEntriesPerPacket; ++e) {
    int n = static_cast<int>(Sequence++ % static_cast<uint32_t>(total));
    int rx = n < Channels(0) ? 0 : 1;
    int offset = rx == 0 ? n : n - Channels(0);
    int index = TableIndex(Receivers[rx], offset);
    p[4 * e] = static_cast<uint8_t>(rx);
    p[4 * e + 1] = static_cast<uint8_t>(index);
    p[4 * e + 2] = static_cast<uint8_t>(index >> 8);
    p[4 * e + 3] = static_cast<uint8_t>(Site.Level(rx, offset, t));
  }
  return MakeFrame(9, p, sizeof p);
}

TFrame TInstrument::ClockFrame(std::time_t utc) const {
  std::tm t{};
  gmtime_r(&utc, &t);
  const uint8_t p[7] = {static_cast<uint8_t>(t.tm_sec),
                        static_cast<uint8_t>(t.tm_min),
                        static_cast<uint8_t>(t.tm_hour),
                        static_cast<uint8_t>(t.tm_mday),
                        static_cast<uint8_t>(t.tm_mon + 1),
                        static_cast<uint8_t>(t.tm_year - 100),
                        Marker};
  return MakeFrame(4, p, sizeof p);
}

TFrame TInstrument::GpsFrame(std::time_t utc, double dt) {
  Track.Advance(dt);
  auto report = Track.Report(utc);
  return MakeFrame(0, report.data(), static_cast<int>(report.size()));
}

}  // namespace vireon::sim
