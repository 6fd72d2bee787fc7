#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <vector>

#include "DisplayTestSupport.h"

namespace vireon::test {
namespace {

// A 343 x 453 panel: Plot = (51, 67, 291, 385), PlotW 240, PlotH 318.
constexpr int kLeft = 51;
constexpr int kTop = 67;
constexpr int kRight = 291;
constexpr int kBottom = 385;

TEST(DBarGeometry, PlotKeepsATruncatedFifteenPercentMarginAndStripsFollowIt) {
  TPanel p;
  const DBar& b = *p.Bar;
  EXPECT_EQ(b.Plot.Left, kLeft);
  EXPECT_EQ(b.Plot.Top, kTop);
  EXPECT_EQ(b.Plot.Right, kRight);
  EXPECT_EQ(b.Plot.Bottom, kBottom);
  EXPECT_EQ(b.PlotW, 240);
  EXPECT_EQ(b.PlotH, 318);
  EXPECT_EQ(b.LeftLabelStrip.Left, 25);
  EXPECT_EQ(b.LeftLabelStrip.Top, 67 - 15);
  EXPECT_EQ(b.XLabelStrip.Bottom, (385 + 453) / 2 + 3);
  EXPECT_EQ(b.GridLayer().size(), QSize(240, 318));
  EXPECT_EQ(b.BarLayer().size(), QSize(240, 318));
  EXPECT_DOUBLE_EQ(b.XScale, 2.0 / 240);
  EXPECT_DOUBLE_EQ(b.YScale, -90.0 / 318);
}

TEST(DBarGeometry, ConversionsTruncateAndPixelToValueClampsToTheAxis) {
  TPanel p;
  const DBar& b = *p.Bar;
  EXPECT_EQ(b.ValueToPixel(0, 1.0), kLeft + 120);
  EXPECT_EQ(b.ValueToPixel(0, 0.0), kLeft);
  EXPECT_EQ(b.ValueToPixel(0, 3.0), kLeft + 360);  // not clamped
  EXPECT_EQ(b.ValueToPixel(1, -30.0), kTop);
  EXPECT_NEAR(b.ValueToPixel(1, -120.0), kBottom, 1);
  EXPECT_NEAR(b.ValueToPixel(1, -75.0), kTop + 159, 1);
  EXPECT_EQ(b.ValueToPixel(2, 1.0), -1);
  EXPECT_DOUBLE_EQ(b.PixelToValue(0, kLeft + 120), 1.0);
  EXPECT_DOUBLE_EQ(b.PixelToValue(0, 0), 0.0);
  EXPECT_DOUBLE_EQ(b.PixelToValue(0, 1000), 2.0);
  EXPECT_DOUBLE_EQ(b.PixelToValue(1, 0), -30.0);
  EXPECT_DOUBLE_EQ(b.PixelToValue(1, 1000), -120.0);
  EXPECT_DOUBLE_EQ(b.PixelToValue(7, 10), -1.0);
}

TEST(DBarBars, OneBarAtOneOnZeroToTwoStandsInTheMiddleAThirdOfThePlotWide) {
  TPanel p;
  DBar& b = *p.Bar;
  b.ClearBars();
  b.AddBar(1, QString(), -75);
  b.ShowBars(QString());
  const QImage img = p.Grab();
  const int c = kLeft + 120;
  const int w = 240 / 6;
  const int row = kBottom - 2;
  EXPECT_TRUE(Is(img, c - w, row, kMaroon));
  EXPECT_TRUE(Is(img, c + w - 1, row, kMaroon));
  EXPECT_FALSE(Is(img, c - w - 1, row, kMaroon));
  EXPECT_FALSE(Is(img, c + w, row, kMaroon));
  const int top = b.ValueToPixel(1, -75);
  EXPECT_TRUE(Is(img, c, top, kMaroon));
  EXPECT_FALSE(Is(img, c, top - 1, kMaroon));
}

TEST(DBarBars, TenBarsOnZeroToElevenAreEvenlySpacedWithNarrowGaps) {
  TPanel p;
  DBar& b = *p.Bar;
  b.SetXMax(11.0);
  b.ClearBars();
  for (int k = 1; k <= 10; ++k) b.AddBar(static_cast<int16_t>(k), QString(), -40);
  b.ShowBars(QString());
  const QImage img = p.Grab();
  const int w = 240 / 24;
  const int row = kBottom - 2;
  int previousRight = -1;
  for (int k = 1; k <= 10; ++k) {
    const int c = kLeft + k * 240 / 11;
    SCOPED_TRACE(k);
    EXPECT_TRUE(Is(img, c - w, row, kMaroon));
    EXPECT_TRUE(Is(img, c + w - 1, row, kMaroon));
    EXPECT_FALSE(Is(img, c + w, row, kMaroon));  // the gap to the next bar
    if (previousRight >= 0) {
      EXPECT_GE(c - w - previousRight, 2);  // at least one white column between bars
      EXPECT_LE(c - w - previousRight, 3);
    }
    previousRight = c + w - 1;
  }
}

TEST(DBarBars, SharedColumnsShiftRightThenLeft) {
  TPanel p;
  DBar& b = *p.Bar;
  // One x unit per pixel: x = 0 is layer column 100 and x = 5 column 105. Bars are 2 wide.
  b.SetXMin(-100.0);
  b.SetXMax(140.0);
  b.ClearBars();
  b.AddBar(0, QString(), -100);  // column 100
  b.AddBar(0, QString(), -50);   // shifted to 105 and counted there
  EXPECT_EQ(b.ColumnUse[100], 1);
  EXPECT_EQ(b.ColumnUse[105], 1);
  b.AddBar(0, QString(), -60);  // column 100 still counts one: lands on the second
  EXPECT_EQ(b.ColumnUse[105], 2);
  b.AddBar(5, QString(), -35);  // its own column counts two: drawn 5 to the left, at 100
  b.ShowBars(QString());
  const QImage img = p.Grab();
  const int at50 = b.ValueToPixel(1, -50) + 1;
  const int at35 = b.ValueToPixel(1, -35) + 1;
  EXPECT_TRUE(Is(img, kLeft + 105, at50, kMaroon));
  EXPECT_TRUE(Is(img, kLeft + 104, at50, kMaroon));
  EXPECT_FALSE(Is(img, kLeft + 105, at35, kMaroon));
  EXPECT_TRUE(Is(img, kLeft + 100, at35, kMaroon));
  EXPECT_TRUE(Is(img, kLeft + 99, at35, kMaroon));
  EXPECT_FALSE(Is(img, kLeft + 101, at35, kMaroon));
}

TEST(DBarBars, ValuesOutsideTheAxisAreClampedAndBarsOffTheAxisDropped) {
  TPanel p;
  DBar& b = *p.Bar;
  b.SetXMax(11.0);
  b.ClearBars();
  b.AddBar(2, QStringLiteral("-10"), -10);    // above YMax: full height, label kept inside
  b.AddBar(5, QStringLiteral("-120"), -120);  // at YMin: (almost) no bar, label 20 above
  b.AddBar(8, QString(), -200);               // below YMin: nothing
  b.AddBar(12, QString(), -40);               // beyond XMax: dropped
  b.ShowBars(QString());
  const QImage img = p.Grab();
  const int c2 = kLeft + 2 * 240 / 11;
  const int c5 = kLeft + 5 * 240 / 11;
  const int c8 = kLeft + 8 * 240 / 11;
  EXPECT_TRUE(Is(img, c2, kBottom - 1, kMaroon));
  EXPECT_EQ(Count(img, QRect(c2 - 30, kTop - 40, 60, 40), kMaroon), 0);
  // The label that would stand above the plot stands at its top, on white over the bar.
  EXPECT_GT(Count(img, QRect(c2 - 10, kTop, 20, 14), kWhite), 0);
  EXPECT_GT(CountIf(img, QRect(c2 - 10, kTop, 20, 14), Reddish), 0);
  EXPECT_EQ(CountIf(img, QRect(c5 - 10, kTop, 20, kBottom - 20 - kTop), Reddish), 0);
  EXPECT_GT(CountIf(img, QRect(c5 - 15, kBottom - 20, 30, 14), Reddish), 0);  // its label
  EXPECT_EQ(Count(img, QRect(c5 - 10, kBottom - 6, 20, 5), kMaroon), 0);
  EXPECT_EQ(Count(img, QRect(c8 - 10, kTop, 20, kBottom - kTop), kMaroon), 0);
  EXPECT_EQ(Count(img, QRect(kRight, kTop, 10, kBottom - kTop), kMaroon), 0);
}

TEST(DBarLabels, AxisLabelsSitLevelWithTheirGridLines) {
  TPanel p(684, 453);
  const DBar& b = *p.Bar;
  const QImage img = p.Grab();
  const int step = b.PlotH / 10;
  for (int i = 0; i <= 10; ++i) {
    SCOPED_TRACE(i);
    const int y = b.Plot.Top + i * b.PlotH / 10;
    const QRect strip(b.LeftLabelStrip.Left, y - step / 2, b.Plot.Left - b.LeftLabelStrip.Left,
                      step);
    const QRect text = Bounds(img, strip, Dark);
    ASSERT_TRUE(text.isValid());
    EXPECT_NEAR(text.center().y(), y, 3);
    EXPECT_LT(text.right(), b.Plot.Left);
    if (i < 10) {  // the last line falls just below the layer
      EXPECT_TRUE(Is(img, b.Plot.Left + 5, y, kGrey));
      EXPECT_TRUE(Is(img, b.Plot.Left + 5, y + step / 2, kWhite));
    }
  }
}

TEST(DBarLabels, UprightLabelsSitAboveTheBarAndRotatedOnesStandOnIt) {
  for (const bool vertical : {false, true}) {
    SCOPED_TRACE(vertical);
    TPanel p;
    DBar& b = *p.Bar;
    b.VerticalLabels = vertical;
    b.ClearBars();
    b.AddBar(1, QStringLiteral("450.0125"), -90);
    b.ShowBars(QString());
    const QImage img = p.Grab();
    const int c = kLeft + 120;
    const int top = b.ValueToPixel(1, -90);
    const QRect label = Bounds(img, QRect(kLeft, kTop, 240, top - kTop), Reddish);
    ASSERT_TRUE(label.isValid());
    EXPECT_NEAR(label.center().x(), c, 4);
    if (vertical) {
      EXPECT_GT(label.height(), 2 * label.width());
      EXPECT_LE(label.bottom(), top - 20);
      EXPECT_GE(label.bottom(), top - 24);
    } else {
      EXPECT_GT(label.width(), 2 * label.height());
      EXPECT_GE(label.top(), top - 20);
      EXPECT_LT(label.bottom(), top);
    }
  }
}

TEST(DBarLabels, WithoutAlwaysShowLabelsOnlyTheBarUnderTheMouseIsLabelled) {
  TPanel p;
  DBar& b = *p.Bar;
  b.AlwaysShowLabels = false;
  b.SetXMax(11.0);
  const int c3 = kLeft + 3 * 240 / 11;
  const int c7 = kLeft + 7 * 240 / 11;
  QMouseEvent move(QEvent::MouseMove, QPointF(c3, kBottom - 5), QPointF(c3, kBottom - 5),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&b, &move);
  EXPECT_EQ(b.MouseX, c3 - kLeft);
  EXPECT_EQ(b.MouseY, kBottom - 5 - kTop);
  b.ClearBars();
  b.AddBar(3, QStringLiteral("33"), -60);
  b.AddBar(7, QStringLiteral("77"), -60);
  b.ShowBars(QString());
  const QImage img = p.Grab();
  const int labelTop = b.ValueToPixel(1, -60) - 20;
  auto labelPixels = [&](int c) { return CountIf(img, QRect(c - 10, labelTop, 20, 14), Reddish); };
  EXPECT_GT(labelPixels(c3), 0);
  EXPECT_EQ(labelPixels(c7), 0);
}

// At the main window's default tiling the margin's arithmetic would put the turned caption over
// the axis labels; it must overprint nothing there.
TEST(DBarCaptions, TheYCaptionNeverOverprintsTheAxisLabels) {
  for (int width : {343, 686}) {
    TPanel bare(width);
    bare.Bar->SetYCaption(QString());
    DBar::PlaceControl(bare.Bar, 0, 0, width, 453);
    TPanel captioned(width);
    const QImage without = bare.Grab(), with = captioned.Grab();
    const int margin = captioned.Bar->Plot.Left;
    int caption = 0, overprinted = 0;
    for (int y = 0; y < with.height(); ++y) {
      for (int x = 0; x < margin; ++x) {
        if (!Dark(with.pixel(x, y)) || Dark(without.pixel(x, y))) continue;
        ++caption;
        // A caption pixel right beside a label's pixel would make one text of the two.
        for (int dx = -1; dx <= 1; ++dx)
          for (int dy = -1; dy <= 1; ++dy)
            overprinted +=
                without.rect().contains(x + dx, y + dy) && Dark(without.pixel(x + dx, y + dy));
      }
    }
    EXPECT_GT(caption, 50) << width;
    EXPECT_EQ(overprinted, 0) << width;
  }
}

TEST(DBarCaptions, ALongTitleShrinksToFitAndFooterDotRedrawsTheStoredText) {
  TPanel p;
  DBar& b = *p.Bar;
  // Without the y caption, which stands above the axis labels in a margin this narrow.
  b.SetYCaption(QString());
  DBar::PlaceControl(&b, 0, 0, 343, 453);
  const QRect titleStrip(0, 0, 343, 55);  // above the top axis label
  b.SetTitle(QStringLiteral("R1"));
  const QRect shortTitle = Bounds(p.Grab(), titleStrip, Dark);
  b.SetTitle(QStringLiteral("R1 (450.00000-470.00000)MHz 12.50 KHz Step"));
  const QRect longTitle = Bounds(p.Grab(), titleStrip, Dark);
  ASSERT_TRUE(shortTitle.isValid() && longTitle.isValid());
  EXPECT_LT(longTitle.height(), shortTitle.height());
  EXPECT_GE(longTitle.left(), kLeft);
  EXPECT_LE(longTitle.right(), kRight);
  EXPECT_NEAR(longTitle.center().x(), (kLeft + kRight) / 2, 3);

  // Past the 5-pixel floor the title is drawn anyway, overflowing the plot's width.
  b.SetTitle(QString(120, QChar('W')));
  const QRect overflowing = Bounds(p.Grab(), titleStrip, Dark);
  EXPECT_LT(overflowing.left(), kLeft);

  const QRect footerStrip(kLeft, kBottom + 10, 240, 453 - kBottom - 10);
  b.SetFooter(QStringLiteral("Channel 17"));
  const QRect footer = Bounds(p.Grab(), footerStrip, Dark);
  b.SetFooter(QStringLiteral("."));
  EXPECT_EQ(b.Footer(), QStringLiteral("Channel 17"));
  EXPECT_EQ(Bounds(p.Grab(), footerStrip, Dark), footer);
  b.SetFooter(QString());
  EXPECT_FALSE(Bounds(p.Grab(), footerStrip, Dark).isValid());
}

// An unchanged footer is not drawn again, unless something has drawn over it since.
TEST(DBarCaptions, AnUnchangedFooterComesBackAfterBeingDrawnOver) {
  TPanel p;
  DBar& b = *p.Bar;
  const QRect footerStrip(kLeft, kBottom + 10, 240, 453 - kBottom - 10);
  b.SetFooter(QStringLiteral("Frequency"));
  const QRect footer = Bounds(p.Grab(), footerStrip, Dark);
  ASSERT_TRUE(footer.isValid());

  b.ShowXAxis = false;
  b.ClearBars();  // without an x axis, clears a strip across the footer's
  ASSERT_NE(Bounds(p.Grab(), footerStrip, Dark), footer);
  b.SetFooter(QStringLiteral("Frequency"));
  EXPECT_EQ(Bounds(p.Grab(), footerStrip, Dark), footer);

  b.ShowXAxis = true;
  DBar::PlaceControl(&b, 0, 0, 343, 453);  // a full redraw clears the canvas first
  EXPECT_EQ(Bounds(p.Grab(), footerStrip, Dark), footer);
  b.SetFooter(QStringLiteral("Frequency"));
  EXPECT_EQ(Bounds(p.Grab(), footerStrip, Dark), footer);
}

TEST(DBarCaptions, YCaptionReadsUpwardInTheLeftMargin) {
  TPanel p(684, 453);
  p.Bar->Paint();  // the steady state: the right caption has set the control's font height
  const QImage img = p.Grab();
  const QRect caption = Bounds(img, QRect(0, kTop, 45, kBottom - kTop), Dark);
  ASSERT_TRUE(caption.isValid());
  EXPECT_GT(caption.height(), 3 * caption.width());
  EXPECT_NEAR(caption.center().y(), 453 / 2, 4);
}

TEST(DBarPaint, AResizeShowsGridAndLabelsWithoutBarsUntilTheNextUpdate) {
  TPanel p;
  DBar& b = *p.Bar;
  b.ClearBars();
  b.AddBar(1, QStringLiteral("-75 dBm"), -75);
  b.ShowBars(QString());
  DBar::PlaceControl(&b, 0, 0, 684, 453);
  QImage img = p.Grab();
  EXPECT_EQ(Count(img, img.rect(), kMaroon), 0);
  EXPECT_EQ(b.PlotW, 479);
  b.ClearBars();
  b.AddBar(1, QStringLiteral("-75 dBm"), -75);
  b.ShowBars(QString());
  img = p.Grab();
  EXPECT_GT(Count(img, img.rect(), kMaroon), 0);
}

// Repaints are gathered to at most one a frame; the last update of a burst must still reach the
// screen, with no further update to bring it.
TEST(DBarPaint, TheLastUpdateOfABurstIsRepainted) {
  struct TPaints : QObject {
    int Count = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++Count;
      return false;
    }
  } paints;
  TPanel p;
  DBar& b = *p.Bar;
  b.installEventFilter(&paints);
  for (int k = 0; k < 20; ++k) {
    if (k > 0) QApplication::processEvents();
    b.ClearBars();
    b.AddBar(1, QStringLiteral("-75 dBm"), -40 - k);
    b.ShowBars(QString());
  }
  paints.Count = 0;
  EXPECT_TRUE(PumpUntil([&] { return paints.Count > 0; }));
}

// An update restores and repaints only the bars and labels that differ from the last frame, so
// after any run of updates both the layer and the screen must match a graph that drew only the
// last frame.
struct TBarSpec {
  int16_t X;
  const char* Label;
  double Value;
};

void DrawFrame(DBar& b, bool vertical, const std::vector<TBarSpec>& bars) {
  b.VerticalLabels = vertical;
  for (const TBarSpec& bar : bars) b.AddBar(bar.X, QString::fromLatin1(bar.Label), bar.Value);
}

QImage OnScreen(const TPanel& p) {
  return p.Panel.screen()
      ->grabWindow(p.Panel.winId())
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

TEST(DBarPaint, SuccessiveUpdatesLeaveLayerAndScreenAsAFreshGraphDrawsTheLastFrame) {
  const std::vector<TBarSpec> ten = {{1, "1", -50}, {2, "2", -55},  {3, "3", -60}, {4, "4", -65},
                                     {5, "5", -70}, {6, "6", -75},  {7, "7", -80}, {8, "8", -85},
                                     {9, "9", -90}, {10, "10", -95}};
  std::vector<TBarSpec> moved = ten;
  moved[2] = {3, "3", -40};    // taller
  moved[5] = {6, "6", -110};   // shorter
  moved[7] = {8, "800", -85};  // same bar, other label
  const std::vector<TBarSpec> fewer(ten.begin(), ten.begin() + 4);
  const std::vector<TBarSpec> shared = {{4, "a", -60}, {4, "b", -70}, {4, "c", -80}};
  // b shrinks: putting the grid back under it uncovers a, which did not change.
  const std::vector<TBarSpec> sharedShorter = {{4, "a", -60}, {4, "b", -90}, {4, "c", -80}};
  struct TStep {
    bool Vertical;
    std::vector<TBarSpec> Bars;
    bool Discard;  // draw a frame, clear it and draw this one before showing
  };
  const std::vector<TStep> steps = {{true, ten, false},     {true, ten, false},
                                    {true, moved, false},   {true, fewer, false},
                                    {true, ten, false},     {false, ten, false},
                                    {false, shared, false}, {false, sharedShorter, false},
                                    {false, fewer, true},   {false, {}, false},
                                    {true, moved, false}};
  TPanel p;
  DBar& b = *p.Bar;
  b.SetXMax(11.0);
  for (size_t k = 0; k < steps.size(); ++k) {
    SCOPED_TRACE(k);
    const TStep& step = steps[k];
    if (step.Discard) {
      b.ClearBars();
      DrawFrame(b, !step.Vertical, moved);
    }
    b.ClearBars();
    DrawFrame(b, step.Vertical, step.Bars);
    b.ShowBars(QString());

    TPanel fresh;
    fresh.Bar->SetXMax(11.0);
    fresh.Bar->ClearBars();
    DrawFrame(*fresh.Bar, step.Vertical, step.Bars);
    fresh.Bar->ShowBars(QString());
    ASSERT_EQ(b.BarLayer(), fresh.Bar->BarLayer());
    const QImage expected = p.Grab();
    ASSERT_TRUE(PumpUntil([&] { return OnScreen(p) == expected; }));
  }
  // Bars added without a clear stack on the frame shown.
  DrawFrame(b, true, fewer);
  b.ShowBars(QString());
  TPanel fresh;
  fresh.Bar->SetXMax(11.0);
  fresh.Bar->ClearBars();
  DrawFrame(*fresh.Bar, true, moved);
  DrawFrame(*fresh.Bar, true, fewer);
  fresh.Bar->ShowBars(QString());
  EXPECT_EQ(b.BarLayer(), fresh.Bar->BarLayer());
}

TEST(DBarMarkers, MarkersOutsideTheAxesAreDrawnOnThePlotEdges) {
  TPanel p;
  DBar& b = *p.Bar;
  const QColor red(255, 0, 0);
  const QColor green(0, 255, 0);
  b.Markers[0] = {true, red, -5.0, QStringLiteral("A")};
  b.Markers[2] = {true, green, 0.0, QStringLiteral("B")};  // above YMax
  b.Paint();
  const QImage img = p.Grab();
  EXPECT_GT(Count(img, QRect(kLeft, kTop, 1, 318), red), 100);
  EXPECT_EQ(Count(img, QRect(kLeft + 1, kTop, 239, 318), red), 0);
  EXPECT_GT(Count(img, QRect(kLeft, kTop, 240, 1), green), 100);
  EXPECT_EQ(Count(img, QRect(kLeft, kTop + 1, 240, 317), green), 0);
  // Markers live in the background: a bar update keeps them.
  b.ClearBars();
  b.AddBar(1, QString(), -100);
  b.ShowBars(QString());
  EXPECT_GT(Count(p.Grab(), QRect(kLeft, kTop, 1, 100), red), 20);
}

TEST(DBarMarkers, TraceIsDrawnInMaroonAndASinglePointDrawsNothing) {
  TPanel p;
  DBar& b = *p.Bar;
  b.ShowTrace = true;
  b.TracePoints[0] = {0.0, -50.0};
  b.TracePoints[1] = {2.0, -50.0};
  b.TraceLast = 0;
  b.Paint();
  EXPECT_EQ(Count(p.Grab(), QRect(kLeft, kTop, 240, 318), kMaroon), 0);
  b.TraceLast = 1;
  b.Paint();
  const int row = b.ValueToPixel(1, -50.0);
  EXPECT_GE(Count(p.Grab(), QRect(kLeft, row, 240, 1), kMaroon), 239);
}

void Click(DBar& b, Qt::MouseButton button, double xValue) {
  int x = b.Plot.Left;
  while (b.PixelToValue(0, x) < xValue - 1e-9) ++x;
  const QPointF at(x, b.Plot.Top + 10);
  QMouseEvent release(QEvent::MouseButtonRelease, at, at, button, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&b, &release);
}

TEST(DBarZoom, ClicksHalveAndDoubleTheSpanWithinTheLimits) {
  TPanel p;
  DBar& b = *p.Bar;
  b.SetXMax(11.0);
  Click(b, Qt::LeftButton, 5.5);  // switched off by the main window
  EXPECT_DOUBLE_EQ(b.XMax, 11.0);

  b.ZoomEnabled = true;
  Click(b, Qt::LeftButton, 5.5);
  EXPECT_NEAR(b.XMin, 2.75, 1e-9);
  EXPECT_NEAR(b.XMax, 8.25, 1e-9);
  Click(b, Qt::RightButton, 5.5);
  EXPECT_NEAR(b.XMin, 0.0, 1e-9);
  EXPECT_NEAR(b.XMax, 11.0, 1e-9);
  Click(b, Qt::MiddleButton, 5.5);
  EXPECT_NEAR(b.XMax, 11.0, 1e-9);

  b.SetXMin(0.0);
  b.SetXMax(3.8);  // halving would give 1.9, under the 2.0 minimum
  Click(b, Qt::LeftButton, 1.9);
  EXPECT_DOUBLE_EQ(b.XMin, 0.0);
  EXPECT_DOUBLE_EQ(b.XMax, 3.8);
}

// Settings no caller of this program makes, which must still not corrupt memory or stop it.
TEST(DBarRobustness, OddSettingsAreDrawnSafely) {
  TPanel p(3400, 453);  // a plot wider than the column counters
  DBar& b = *p.Bar;
  b.SetXMax(11.0);
  b.ClearBars();
  for (int k = 0; k < 3; ++k) b.AddBar(11, QStringLiteral("right"), -60);
  b.ShowBars(QString());
  EXPECT_GT(Count(p.Grab(), QRect(b.Plot.Right - 200, b.Plot.Top, 240, b.PlotH), kMaroon), 0);

  b.YDivisions = 0;
  b.TraceLast = 5000;
  b.ShowTrace = true;
  b.BarWidthDivisor = 0;
  b.Paint();
  EXPECT_EQ(b.YDivisions, 10);
  b.ClearBars();
  b.AddBar(5, QStringLiteral("x"), 1e300);
  b.ShowBars(QString());
}

}  // namespace
}  // namespace vireon::test
