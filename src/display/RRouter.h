#pragma once
// The receiver display thread: one per receiver. It sleeps on the engine's ReceiverEvent for its
// receiver, which the engine sets when it has stored new levels, clears it, and has the UI thread
// redraw that receiver's bar graph from the newest levels. It then rests until the next screen
// frame, so however fast packets arrive a graph is drawn at most kFramesPerSecond times a second,
// and not at all while nothing changed. A wait that times out only leads to the next wait.

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>

#include "platform/Worker.h"

namespace vireon {

class DBar;
class TEngine;
class TRF;

// What a display update reads and feeds outside the engine: the main window's mode and unit
// buttons and bar graphs, and the map link. UI thread only.
class TDisplayHost {
 public:
  virtual ~TDisplayHost() = default;
  virtual bool SingleModeDown() const = 0;  // btnSingleMode
  virtual bool TableModeDown() const = 0;   // btnTableMode
  virtual bool FrequencyDown() const = 0;   // sbFrequency
  virtual DBar* Bar(int16_t receiverIndex) const = 0;
  // The map range dialog chose this receiver (UseR1 for 0, UseR2 for 1).
  virtual bool MapUsesReceiver(int16_t receiverIndex) const = 0;
  virtual void SetMapRSSI(int16_t level) = 0;
};

// The application's host: Main_Form's buttons and Bars, MapRange_Form, and GpsRouter while it
// exists. UI thread only.
TDisplayHost& ApplicationDisplayHost();

// One entry of the table ranking: a level in dBm and its 1-based table position.
struct TTableSlot {
  int16_t Level = -120;
  int16_t Position = 0;
};
using TTopTen = std::array<TTableSlot, 10>;

// The ten strongest of count levels, by descending level; equal levels keep table order and
// levels of -120 or lower never enter.
TTopTen RankTable(const std::atomic<int8_t>* levels, int count);

class TR_Router : public Worker {
 public:
  static constexpr int kFramesPerSecond = 25;

  // Both start at once; the first serves the application's main window and map link.
  TR_Router(TEngine& engine, int16_t receiverIndex);
  TR_Router(TEngine& engine, int16_t receiverIndex, TDisplayHost& host);
  ~TR_Router() override;

  const int16_t ReceiverIndex;

  // The redraw for one wake-up; UI thread only.
  void UpdateDisplay();

 protected:
  void Execute() override;

 private:
  void UpdateRangeCaption(DBar& bar, const TRF& rf);
  // Levels drawn while the link is down are the last ones received: grey, and the footer says so.
  void ShowLinkState(DBar& bar);
  void SetFooter(DBar& bar, const QString& text);
  void ShowSingle(DBar& bar, const TRF& rf, bool frequency);
  void ShowTable(DBar& bar, const TRF& rf, bool frequency);
  void ShowScan(DBar& bar, const TRF& rf, bool frequency);
  void HandToMap(int16_t level);

  TEngine& Engine;
  TDisplayHost& Host;
};

}  // namespace vireon
