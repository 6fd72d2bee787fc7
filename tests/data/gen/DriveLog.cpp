#include "DriveLog.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <numeric>

#include "GpsTrack.h"
#include "Instrument.h"
#include "Site.h"
#include "gps/Gps.h"
#include "link/Packet.h"
#include "log/KlfFile.h"
#include "model/Engine.h"

namespace vireon::capture {

namespace {

constexpr double kLineBytesPerSecond = 3840;
constexpr std::time_t kStart = 1796896800;  // 2026-12-10 10:00:00 UTC
constexpr uint8_t kNoFix = 0x20;
constexpr uint32_t kSeed = 7;

// The scan lists take the site's strongest channels, so that a map of the drive shows more than
// the noise floor: the same seed and channel counts give the instrument the same site.
void ScanTheStrongest(sim::TInstrument& instrument) {
  int counts[2];
  for (int rx = 0; rx < 2; ++rx)
    counts[rx] =
        static_cast<int>(instrument.Receivers[rx].HighEdge - instrument.Receivers[rx].LowEdge) + 1;
  sim::TSite site(kSeed, counts);
  for (int rx = 0; rx < 2; ++rx) {
    std::vector<int> index(static_cast<size_t>(counts[rx]));
    std::iota(index.begin(), index.end(), 0);
    std::vector<int> level(index.size());
    for (int k : index) level[static_cast<size_t>(k)] = site.Level(rx, k, 0);
    std::stable_sort(index.begin(), index.end(), [&](int a, int b) {
      return level[static_cast<size_t>(a)] > level[static_cast<size_t>(b)];
    });
    sim::TReceiverSetup& setup = instrument.Receivers[rx];
    for (int k = 0; k < 10; ++k)
      setup.ScanList[k] = setup.LowEdge + static_cast<uint32_t>(index[static_cast<size_t>(k)]);
  }
}

class TLogOut {
 public:
  explicit TLogOut(const std::string& path) : Out(path, std::ios::binary | std::ios::trunc) {}
  // Writes the frame as a log record; its size on the line.
  size_t Write(const sim::TFrame& frame) {
    for (uint8_t b : frame) {
      if (Framer.Push(b) != 0) continue;
      const PacketRecord& r = Framer.Record();
      Out.write(reinterpret_cast<const char*>(r.LogBytes()), r.LogSize());
    }
    return frame.size();
  }
  void Raw(const std::vector<uint8_t>& bytes) {
    Out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  bool Good() const { return Out.good(); }

 private:
  std::ofstream Out;
  TPacket Framer;
};

sim::TMeasureMode ModeAt(int second, const TDrive& drive) {
  const double at = static_cast<double>(second % drive.CycleSeconds) / drive.CycleSeconds;
  if (at < drive.ScanShare) return sim::TMeasureMode::Scan;
  return at < drive.ScanShare + drive.SingleShare ? sim::TMeasureMode::Single
                                                  : sim::TMeasureMode::Table;
}

bool FixLostAt(int second, const TDrive& drive) {
  const int at =
      second % drive.CycleSeconds - static_cast<int>(drive.CycleSeconds * drive.ScanShare / 2);
  return at >= 0 && at < drive.FixLostSeconds;
}

}  // namespace

bool WriteDriveLog(const std::string& path, const TDrive& drive) {
  sim::TInstrument instrument("VD000417", kSeed);
  ScanTheStrongest(instrument);
  sim::TGpsTrack track(55.6761, 12.5683);
  TGPSShared gps;
  TEngine engine{gps};
  std::vector<sim::TFrame> opening = instrument.Answer(28);
  opening.push_back(instrument.Answer(1).front());
  TPacket framer;
  for (const sim::TFrame& frame : opening)
    for (uint8_t b : frame)
      if (framer.Push(b) == 0) engine.Dispatch(framer.Record());
  TLogOut out(path);
  out.Raw(BuildKlfHeader(engine.Snapshot()));
  for (const sim::TFrame& frame : opening) out.Write(frame);
  std::optional<sim::TMeasureMode> mode;
  double credit = 0;
  for (int second = 0; second < drive.Seconds; ++second) {
    const std::time_t utc = kStart + second;
    credit += kLineBytesPerSecond - static_cast<double>(out.Write(instrument.ClockFrame(utc)));
    if (second > 0) track.Advance(1);
    auto report = track.Report(utc);
    if (FixLostAt(second, drive)) report[129] = kNoFix;
    credit -= static_cast<double>(
        out.Write(sim::MakeFrame(0, report.data(), static_cast<int>(report.size()))));
    if (const sim::TMeasureMode now = ModeAt(second, drive); mode != now) {
      mode = now;
      for (const sim::TFrame& frame : instrument.StartMeasurement(now))
        credit -= static_cast<double>(out.Write(frame));
    }
    for (int k = 0; credit > 0; ++k)
      credit -= static_cast<double>(out.Write(instrument.NextLevels(second + k / 200.0)));
  }
  return out.Good();
}

}  // namespace vireon::capture
