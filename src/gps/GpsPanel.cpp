#include "gps/GpsPanel.h"

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "gps/GpsRouter.h"
#include "shell/MainForm.h"

namespace vireon {

namespace {

struct TFlag {
  int Byte;
  uint8_t Mask;
  const char* Text;
};

constexpr TFlag kChannelFlags[] = {
    {0, 0x08, "(Time Used)"},    {0, 0x04, "(Diff. Corr.)"}, {0, 0x02, "(Invalid Data)"},
    {0, 0x01, "(Parity Error)"}, {1, 0x80, "(PosFix Used)"}, {1, 0x40, "(Mom Alert)"},
    {1, 0x20, "(Anti-Spoof)"},   {1, 0x10, "(Unhealthy)"},
};

// Line by line: the status byte (0 or 1) and the flags shown on it, in order.
constexpr TFlag kRecStatFlags[4][2] = {
    {{0, kFastAcqPosBit, "(Fast Acq. Pos.)"}, {0, kFilterResetBit, "(Filter Reset)"}},
    {{1, 0x80, "(Cold Start)"}, {1, 0x40, "(Diff. Fix)"}},
    {{1, 0x20, "(Pos. Lock)"}, {1, 0x10, "(Autosurvey)"}},
    {{1, 0x08, "(Insuff. Visible Sat's)"}, {1, 0, ""}},
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

void SetText(QLabel* label, const std::string& text) {
  label->setText(QString::fromLatin1(text.c_str()));
}

void SetText(QLineEdit* edit, const std::string& text) {
  edit->setText(QString::fromLatin1(text.c_str()));
}

std::string Meters(double cm) {
  return Format("%.0f M", cm * 0.01);
}

void PaintFixStatus(QLineEdit* edit, int fixCode) {
  QColor background(255, 0, 0);
  QColor font(Qt::white);
  if (fixCode == 6) {
    background = QColor(255, 255, 0);
    font = QColor(Qt::black);
  } else if (fixCode == 7) {
    background = QColor(0, 128, 0);
  }
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, background);
  palette.setColor(QPalette::Text, font);
  edit->setPalette(palette);
}

}  // namespace

std::string ChannelStatusText(const TGPSChannel& channel) {
  std::string text;
  for (const TFlag& flag : kChannelFlags)
    if (channel.ChannelStatus[flag.Byte] & flag.Mask) text += flag.Text;
  return text;
}

std::string ChannelRowText(int row, const TGPSChannel& c) {
  return Format("   %02d     %02d    %02d    %03d     %03d     %02d     %s", row, c.SVID, c.Mode,
                c.Signal, c.IODE, c.ChannelStatus[1] & 0x0F, ChannelStatusText(c).c_str());
}

std::string RecStatFlagsText(const TGPS& gps, int line) {
  std::string text;
  for (const TFlag& flag : kRecStatFlags[line])
    if (gps.RecStatus[flag.Byte] & flag.Mask) text += flag.Text;
  return text;
}

void TGPS_Router::UpdatePanel(const TGPS& gps) {
  TMain_Form& f = Form;
  SetText(f.edGPSDate, gps.DateText());
  SetText(f.edGPSTime, gps.TimeText());
  SetText(f.edGPSLatitude, gps.FilLatitudeText());
  SetText(f.edGPSLongitude, gps.FilLongitudeText());
  SetText(f.edGPSAltitude, Format("%.0f meters", gps.FilGPSHeight * 0.01));
  SetText(f.edGPSSpeed, Format("%d m/s", gps.Speed3D / 100));
  SetText(f.edGPSHeading, "Heading = " + gps.HeadingText());
  SetText(f.edGPSSats, Format("Sats = %d", gps.SatsTracked));
  PaintFixStatus(f.edGPSStatus, gps.FixCode());

  SetText(f.lblDateTime, gps.DateText() + "   " + gps.TimeText());
  SetText(f.lblFilLat, "Latitude  = " + gps.FilLatitudeText());
  SetText(f.lblFilLon, "Longitude = " + gps.FilLongitudeText());
  SetText(f.lblLat, "Latitude  = " + gps.LatitudeText());
  SetText(f.lblLon, "Longitude = " + gps.LongitudeText());
  SetText(f.lblFilGPSHeight, "GPS Height = " + Meters(gps.FilGPSHeight));
  SetText(f.lblGPSHeight, "GPS Height = " + Meters(gps.GPSHeight));
  SetText(f.lblFilMSLHeight, "MSL Height = " + Meters(gps.FilMSLHeight));
  SetText(f.lblMSLHeight, "MSL Height = " + Meters(gps.MSLHeight));
  SetText(f.lbl3DSpeed, Format("3D Speed = %d m/s", gps.Speed3D / 100));
  SetText(f.lbl2DSpeed, Format("2D Speed = %d m/s", gps.Speed2D / 100));
  SetText(f.lblHeading, "Heading = " + gps.HeadingText());
  SetText(f.lblClockBias, Format("Clock Bias = %d ns", gps.ClockBias));
  SetText(f.lblOscOffset, Format("Osc. Offset = %ld Hz", static_cast<long>(gps.OscOffset)));
  SetText(f.lblTemperature, Format("Temperature = %.1f C", gps.Temperature));
  SetText(f.lblSatData, Format("%d Visible, %d Tracked", gps.SatsVisible, gps.SatsTracked));
  SetText(f.lblUTCMode, Format("Mode = %s", gps.UTCMode ? "ENABLED" : "DISABLED"));
  SetText(f.lblUTCOffset, Format("Offset = %s", gps.UTCOffsetDecoded ? "DECODED" : "NOT DECODED"));
  SetText(f.lblUTCValue, Format("Offset Value = %d", gps.UTCOffset));
  SetText(f.lblGMT, gps.GMTText());
  SetText(f.lblID, std::string(gps.IDTag, strnlen(gps.IDTag, sizeof gps.IDTag)));
  SetText(f.lblRecStat1, gps.FixStatusText());
  QLabel* flagLines[4] = {f.lblRecStat2, f.lblRecStat3, f.lblRecStat4, f.lblRecStat5};
  for (int line = 0; line < 4; ++line) SetText(flagLines[line], RecStatFlagsText(gps, line));
  SetText(f.lblRecStat6, "Antenna: " + gps.AntennaStatusText());
  SetText(f.lblRecStat7,
          std::string("Code Location: ") + ((gps.RecStatus[1] & 0x01) ? "INTERNAL" : "EXTERNAL"));
  SetText(f.lblChannelHdr, "CHANNEL  SVID  MODE  SIGNAL  IODE  ACCURACY  STATUS");
  for (int k = 1; k <= 12; ++k)
    SetText(ChannelLabels[k - 1], ChannelRowText(k, gps.Channels[k - 1]));
  SetText(f.lblGeometry, Format("%.1f DOP", gps.DOP * 0.1));
}

}  // namespace vireon
