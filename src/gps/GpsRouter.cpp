#include "gps/GpsRouter.h"

#include <cstdio>

#include "gps/MapRangeForm.h"
#include "model/Engine.h"
#include "shell/MainForm.h"

namespace vireon {

TGPS_Router::TGPS_Router(TEngine& engine, TMain_Form& form, const TMapRange_Form& range,
                         std::unique_ptr<TMapLink> link)
    : ChannelLabels{form.lblChannel1, form.lblChannel2,  form.lblChannel3,  form.lblChannel4,
                    form.lblChannel5, form.lblChannel6,  form.lblChannel7,  form.lblChannel8,
                    form.lblChannel9, form.lblChannel10, form.lblChannel11, form.lblChannel12},
      Engine(engine),
      Form(form),
      Range(range),
      Link(link ? std::move(link) : std::make_unique<TMapLink>()) {}

TGPS_Router::~TGPS_Router() {
  RequestStop();
  Join();
}

void TGPS_Router::Execute() {
  while (!StopRequested.load()) {
    if (!Engine.GpsEvent.Wait(1000)) continue;
    if (StopRequested.load()) break;
    // One copy, taken when the screen is redrawn, serves the screen and the map record alike.
    TGPS report;
    if (!RunOnUiThread([this, &report] {
          report = Engine.Gps.Copy();
          UpdatePanel(report);
        }))
      break;
    WriteMapRecord(report);
    Engine.GpsEvent.Reset();
  }
  // An orderly end: a mapping program started later must not take the last fix for a live one.
  Link->Release();
}

void TGPS_Router::WriteMapRecord(const TGPS& gps) {
  TMapRecord record;
  record.Latitude = gps.Latitude;
  record.Longitude = gps.Longitude;
  record.RSSI = MapRSSI.load();
  record.RSSIMin = Range.RSSIMin();
  record.RSSIMax = Range.RSSIMax();
  record.SerialNumber = Engine.SerialNumber();
  if (Link->Write(record)) return;
  const std::string refusal = Link->TakeRefusal();
  if (refusal.empty()) return;
  std::fprintf(stderr, "vireon-logger: map link off: %s\n", refusal.c_str());
  const QString notice = "Map link off: " + QString::fromStdString(refusal);
  RunOnUiThread([this, notice] { Form.MapLinkNotice = notice; });
}

}  // namespace vireon
