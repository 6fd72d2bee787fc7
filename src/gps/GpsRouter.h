#pragma once
// The GPS thread: on each GPS report it has the UI thread rewrite the GPS screen and the
// "GPS Data" fields, then writes the map record and notifies the mapping program from its own
// thread, and only then re-arms. Reports that arrive during an update cause no update of their
// own. Both steps read one consistent copy of the report. The map link fails silently: no block
// or no bus means that report is skipped and the next one tries again.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "gps/Gps.h"
#include "gps/MapLink.h"
#include "platform/Worker.h"

class QLabel;

namespace vireon {

class TEngine;
class TMain_Form;
class TMapRange_Form;

class TGPS_Router : public Worker {
 public:
  // link: where the map record goes; null means the mapping program's block and the session bus.
  TGPS_Router(TEngine& engine, TMain_Form& form, const TMapRange_Form& range,
              std::unique_ptr<TMapLink> link = nullptr);
  ~TGPS_Router() override;

  // Row k of the channel table is ChannelLabels[k - 1].
  std::array<QLabel*, 12> ChannelLabels;
  // Last level handed over by a receiver display, dBm; 0 until the first hand-over.
  std::atomic<int16_t> MapRSSI{0};

  // Any thread (the receiver displays call it from the UI thread).
  void SetMapRSSI(int16_t level) { MapRSSI.store(level); }

  // UI thread only.
  void UpdatePanel(const TGPS& gps);
  // GPS thread (or a test's thread): fills the map record from gps and notifies.
  void WriteMapRecord(const TGPS& gps);

  const TMapLink& MapLink() const { return *Link; }

 protected:
  void Execute() override;

 private:
  TEngine& Engine;
  TMain_Form& Form;
  const TMapRange_Form& Range;
  std::unique_ptr<TMapLink> Link;
};

}  // namespace vireon
