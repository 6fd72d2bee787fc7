#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cstdio>
#include <memory>

#include "LoggerUnderTest.h"
#include "Process.h"
#include "display/DBar.h"
#include "display/RRouter.h"
#include "link/ComRouter.h"
#include "model/Engine.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"
#include "shell/UiDispatcher.h"

namespace vireon::test {
namespace {

// Maroon bar pixels along the plot's bottom row.
int BarPixels(DBar& bar) {
  const QImage img = bar.grab().toImage();
  int n = 0;
  const int row = bar.Plot.Bottom - 2;
  for (int x = bar.Plot.Left; x < bar.Plot.Right; ++x)
    n += QColor(img.pixel(x, row)) == QColor(128, 0, 0) ? 1 : 0;
  return n;
}

// Serves the UI thread, asleep between events, until done() holds or 30 s pass.
bool ServeUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  QTimer tick;
  tick.start(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

struct TModeCase {
  const char* Mode;
  QToolButton* TMain_Form::*Button;
  double XMax;
  bool Vertical;
};

class DisplayWithSimulator : public ::testing::TestWithParam<TModeCase> {};

TEST_P(DisplayWithSimulator, BothGraphsDrawBarsInTheInstrumentsMode) {
  const TModeCase& c = GetParam();
  QtUiDispatcher dispatcher;
  SetUiDispatcher(&dispatcher);
  {
    TSim sim({"--mode", c.Mode, "--rate", "20"});
    ASSERT_FALSE(sim.Pty.empty());
    TLoggerUnderTest logger(sim.Pty);
    logger.Form->show();
    logger.Com->Start();
    TMain_Form& form = *logger.Form;
    // The first display update after the configuration packet also draws the range caption.
    ASSERT_TRUE(ServeUntil([&] {
      return (form.*c.Button)->isChecked() && BarPixels(*form.Bars[0]) > 0 &&
             BarPixels(*form.Bars[1]) > 0 && !form.Bars[0]->Title().isEmpty();
    }));
    for (DBar* bar : form.Bars) {
      EXPECT_EQ(bar->XMax, c.XMax);
      EXPECT_EQ(bar->VerticalLabels, c.Vertical);
      EXPECT_TRUE(bar->Title().endsWith(QStringLiteral("KHz Step"))) << bar->Title().toStdString();
      EXPECT_FALSE(bar->Footer().isEmpty());
    }
    EXPECT_TRUE(form.Bars[0]->Title().startsWith(QStringLiteral("R1 (")));
    EXPECT_TRUE(form.Bars[1]->Title().startsWith(QStringLiteral("R2 (")));

    // Once the instrument reports its tuning, the single-channel footer shows a frequency
    // inside the receiver's range.
    if (c.XMax == 2.0) {
      sim.Process.Write("start\n");
      double low = 0;
      double high = 0;
      const QByteArray title = form.Bars[0]->Title().toLatin1();
      ASSERT_EQ(std::sscanf(title.constData(), "R1 (%lf-%lf)", &low, &high), 2);
      ASSERT_TRUE(ServeUntil([&] {
        const double mhz = form.Bars[0]->Footer().section(' ', 0, 0).toDouble();
        return mhz >= low && mhz <= high;
      })) << form.Bars[0]->Footer().toStdString();
    }
    // For looking at: VIREON_SCREENSHOT_DIR=<dir> keeps a picture of the window per mode, as
    // the screen shows it once the repaints pending have run.
    const QString shots = qEnvironmentVariable("VIREON_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
      const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
      ServeUntil([&] { return std::chrono::steady_clock::now() > settle; });
      form.screen()->grabWindow(form.winId()).save(shots + "/display-" + c.Mode + ".png");
    }
  }
  SetUiDispatcher(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DisplayWithSimulator,
    ::testing::Values(TModeCase{"single", &TMain_Form::btnSingleMode, 2.0, false},
                      TModeCase{"scan", &TMain_Form::btnScanMode, 11.0, true},
                      TModeCase{"table", &TMain_Form::btnTableMode, 11.0, true}),
    [](const auto& info) { return std::string(info.param.Mode); });

}  // namespace
}  // namespace vireon::test
