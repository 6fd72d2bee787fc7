// The GPS screen of the main window: group boxes and labels with the texts shown before the
// first GPS report. The GPS thread writes every label afterwards.
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>

#include "shell/Controls.h"
#include "shell/MainForm.h"

namespace vireon {

namespace {
constexpr int kLine = 15;
constexpr int kChannelLine = 14;  // thirteen rows fit the channel box

QGroupBox* NavyGroup(QWidget* parent, int x, int y, int w, int h, const QString& caption) {
  QGroupBox* g = MakeGroup(parent, x, y, w, h, caption);
  g->setFont(BoldFont(parent->font()));
  SetTextColor(g, kNavy);
  return g;
}

// Label line `row` of a group box, bold maroon.
QLabel* Line(QGroupBox* g, int row, const QString& text) {
  QLabel* l = MakeLabel(g, 8, 17 + row * kLine, g->width() - 16, kLine - 1, text);
  SetTextColor(l, kMaroon);
  return l;
}
}  // namespace

void TMain_Form::BuildGPSPanel(QWidget* client) {
  GPSPanel = MakePanel(client, 105, 33, 682, 452);
  SetBackColor(GPSPanel, kGray);
  QWidget* p = GPSPanel;

  gbDateTime = NavyGroup(p, 4, 2, 186, 38, "Date/Time");
  lblDateTime = Line(gbDateTime, 0, "MM/DD/YYYY     HH:MM:SS");
  gbSatData = NavyGroup(p, 194, 2, 150, 38, "Satellite Data");
  lblSatData = Line(gbSatData, 0, "0 Visible, 0 Tracked");
  gbGMT = NavyGroup(p, 348, 2, 110, 38, "GMT Offset");
  lblGMT = Line(gbGMT, 0, "");
  gbID = NavyGroup(p, 462, 2, 110, 38, "ID Tag");
  lblID = Line(gbID, 0, "");
  gbGeometry = NavyGroup(p, 576, 2, 102, 38, "Geometry");
  lblGeometry = Line(gbGeometry, 0, "0.0 DOP");

  gbUTC = NavyGroup(p, 4, 42, 186, 68, "UTC Parms");
  lblUTCMode = Line(gbUTC, 0, "Mode = ENABLED");
  lblUTCOffset = Line(gbUTC, 1, "Offset = NOT DECODED");
  lblUTCValue = Line(gbUTC, 2, "Offset Value = 0");
  gbFiltered = NavyGroup(p, 194, 42, 240, 80, "Filtered Position");
  lblFilLat = Line(gbFiltered, 0, "");
  lblFilLon = Line(gbFiltered, 1, "");
  lblFilGPSHeight = Line(gbFiltered, 2, "GPS Height = 0 cm");
  lblFilMSLHeight = Line(gbFiltered, 3, "MSL Height = 0 cm");
  gbUnfiltered = NavyGroup(p, 438, 42, 240, 80, "Unfiltered Position");
  lblLat = Line(gbUnfiltered, 0, "");
  lblLon = Line(gbUnfiltered, 1, "");
  lblGPSHeight = Line(gbUnfiltered, 2, "");
  lblMSLHeight = Line(gbUnfiltered, 3, "");

  gbRecStat = NavyGroup(p, 4, 112, 186, 126, "Receiver Status");
  QLabel** recStat[] = {&lblRecStat1, &lblRecStat2, &lblRecStat3, &lblRecStat4,
                        &lblRecStat5, &lblRecStat6, &lblRecStat7};
  for (int row = 0; row < 7; ++row) *recStat[row] = Line(gbRecStat, row, "");
  gbOscillator = NavyGroup(p, 194, 124, 240, 66, "Oscillator/Clock");
  lblClockBias = Line(gbOscillator, 0, "Bias = 0 ns");
  lblOscOffset = Line(gbOscillator, 1, "Osc. Offset = 0 Hz");
  lblTemperature = Line(gbOscillator, 2, "Temp. = 0.0 C");
  gbVelocity = NavyGroup(p, 438, 124, 240, 66, "Velocity");
  lbl3DSpeed = Line(gbVelocity, 0, "3D = 0 cm/s");
  lbl2DSpeed = Line(gbVelocity, 1, "2D = 0 cm/s");
  lblHeading = Line(gbVelocity, 2, "Heading = N");

  gbChannel = NavyGroup(p, 4, 242, 674, 206, "Channel Information");
  QFont courier("Courier New");
  courier.setPixelSize(12);
  courier.setWeight(QFont::Bold);
  courier.setUnderline(true);
  QLabel** channel[] = {&lblChannelHdr, &lblChannel1,  &lblChannel2, &lblChannel3, &lblChannel4,
                        &lblChannel5,   &lblChannel6,  &lblChannel7, &lblChannel8, &lblChannel9,
                        &lblChannel10,  &lblChannel11, &lblChannel12};
  for (int row = 0; row < 13; ++row) {
    QLabel* l = MakeLabel(gbChannel, 8, 17 + row * kChannelLine, 630, kChannelLine - 1, "");
    l->setFont(courier);
    SetTextColor(l, kMaroon);
    *channel[row] = l;
  }
}

}  // namespace vireon
