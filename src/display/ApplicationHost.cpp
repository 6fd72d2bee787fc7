// The display threads' view of the running application: the main window's buttons and bar
// graphs, the map range dialog's choice and the GPS thread's map level.

#include <QToolButton>

#include "display/DBar.h"
#include "display/RRouter.h"
#include "gps/GpsRouter.h"
#include "gps/MapRangeForm.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"

namespace vireon {

namespace {

class TApplicationHost : public TDisplayHost {
 public:
  bool SingleModeDown() const override { return Down(&TMain_Form::btnSingleMode); }
  bool TableModeDown() const override { return Down(&TMain_Form::btnTableMode); }
  bool FrequencyDown() const override { return Down(&TMain_Form::sbFrequency); }
  DBar* Bar(int16_t i) const override {
    return Main_Form != nullptr ? Main_Form->Bars[i] : nullptr;
  }
  bool MapUsesReceiver(int16_t i) const override {
    // Receiver 1 is the dialog's choice until the dialog exists.
    return MapRange_Form != nullptr ? MapRange_Form->UsesReceiver(i) : i == 0;
  }
  // Skipped while the GPS thread does not exist yet.
  void SetMapRSSI(int16_t level) override {
    if (GpsRouter != nullptr) GpsRouter->SetMapRSSI(level);
  }

 private:
  static bool Down(QToolButton* TMain_Form::*button) {
    return Main_Form != nullptr && (Main_Form->*button) != nullptr &&
           (Main_Form->*button)->isChecked();
  }
};

}  // namespace

TDisplayHost& ApplicationDisplayHost() {
  static TApplicationHost host;
  return host;
}

TR_Router::TR_Router(TEngine& engine, int16_t receiverIndex)
    : TR_Router(engine, receiverIndex, ApplicationDisplayHost()) {}

}  // namespace vireon
