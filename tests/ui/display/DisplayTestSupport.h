#pragma once
// Shared by the display tests: a bar graph configured as the main window configures it, pixel
// helpers on grabbed images, and a UI dispatcher over the Qt event loop.

#include <QApplication>
#include <QImage>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

#include "display/DBar.h"
#include "platform/Worker.h"

inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

namespace vireon::test {

inline const QColor kMaroon(128, 0, 0);
inline const QColor kWhite(255, 255, 255);
inline const QColor kGrey(128, 128, 128);

// The configuration the main window applies to each of its two graphs.
inline void ConfigureAsMainWindow(DBar& bar) {
  bar.ShowRightAxis = false;
  bar.ShowXLabels = false;
  bar.ShowScaledXLabels = false;
  bar.BarColor = kMaroon;
  bar.SetYCaption(QStringLiteral("RSSI (dBm)"));
  bar.SetTitle(QString());
  bar.SetFooter(QString());
  bar.XDecimals = 0;
  bar.ScaledXDecimals = 0;
  bar.SetXMin(0.0);
  bar.SetXMax(2.0);
  bar.SetYMin(-120.0);
  bar.SetYMax(-30.0);
  bar.ZoomLow = 0.0;
  bar.ZoomHigh = 11.0;
  bar.ZoomMinSpan = 2.0;
  bar.ZoomEnabled = false;
  bar.Markers[2].Visible = false;
  bar.Markers[3].Visible = false;
}

// A receiver panel with its graph filling it, as on the main window.
struct TPanel {
  explicit TPanel(int width = 343, int height = 453) {
    Panel.resize(width, height);
    Bar = new DBar(&Panel);
    ConfigureAsMainWindow(*Bar);
    DBar::PlaceControl(Bar, 0, 0, width, height);
    Panel.show();
    QApplication::processEvents();
  }
  QImage Grab() const { return Bar->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  QWidget Panel;
  DBar* Bar;
};

inline bool Is(const QImage& image, int x, int y, const QColor& color) {
  return QColor(image.pixel(x, y)) == color;
}

// Pixels of one colour inside a rectangle of the image, and their bounding box.
inline int Count(const QImage& image, const QRect& area, const QColor& color) {
  int n = 0;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += Is(image, x, y, color) ? 1 : 0;
  return n;
}

inline int CountIf(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& in) {
  int n = 0;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += in(image.pixel(x, y)) ? 1 : 0;
  return n;
}

inline QRect Bounds(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& in) {
  QRect box;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (in(image.pixel(x, y))) box = box.united(QRect(x, y, 1, 1));
  return box;
}

inline bool Dark(QRgb p) {
  return qGray(p) < 100 && qRed(p) < 100;
}
// Maroon, or maroon text blended into white.
inline bool Reddish(QRgb p) {
  return qRed(p) - qGreen(p) > 40 && qAbs(qGreen(p) - qBlue(p)) < 10;
}

// Runs posted routines through the Qt event loop of the main thread.
class TQtDispatcher : public UiDispatcher {
 public:
  void Post(std::function<void()> fn) override {
    QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
  }
  bool IsUiThread() const override { return QThread::currentThread() == qApp->thread(); }
};

// Serves the event loop until done() holds or ten seconds pass.
inline bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  QTimer tick;
  tick.start(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

}  // namespace vireon::test
