#pragma once
// The status thread: wakes on the main window's one-second tick (StatusEvent) or on a clock
// packet (the engine's ClockEvent) and has the UI thread rewrite the status fields. When both
// are signalled the tick is served first and the clock on the next pass. It reports nothing;
// values that have not arrived show their empty forms.

#include <QString>

#include "platform/Event.h"
#include "platform/Worker.h"

class QLabel;

namespace vireon {

class TEngine;
class TMain_Form;

// Receiver range as the status fields show it: shortest form, at most 15 significant digits.
QString RangeText(double value);
// "Mrkr #" and the marker number modulo 100.
QString MarkerText(int marker);
// Status panel 0 on a warning colour while the link is down, in the system's colours otherwise.
void ShowLinkState(QLabel& panel, bool down);

class TMain_Router : public Worker {
 public:
  TMain_Router(TEngine& engine, TMain_Form& form);
  ~TMain_Router() override;

  // UI thread only.
  void RefreshStatus();
  void RefreshClock();

  Event StatusEvent;

 protected:
  void Execute() override;

 private:
  TEngine& Model;
  TMain_Form& Form;
};

}  // namespace vireon
