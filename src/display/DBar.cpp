#include "display/DBar.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace vireon {

bool DBar::PaintBusy = false;

namespace {

const QColor kPanel(128, 128, 128);
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kTrace(128, 0, 0);

// Cell height of the bar labels: the layer's default font, about 8 points.
constexpr int kLabelCellHeight = 13;

// Real to pixel, truncating toward zero; values no screen can show are held where int can
// carry them instead of overflowing.
int Trunc(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::clamp(v, -1e9, 1e9));
}

// Fonts are asked for by cell height (ascent + descent); Arial's cell is 2288/2048 of its em.
// Text is not antialiased: labels are redrawn over themselves where no strip clears them, and
// only solid glyphs stay the same under that. Solid glyphs want full hinting: with the desktop's
// usual slight hinting each glyph lands on the pixel nearest its fractional place, so bold
// neighbours such as "(8" touch while others stand apart.
QFont ArialOfHeight(int height, bool bold) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(std::max(1, (height * 2048 + 1144) / 2288));
  font.setBold(bold);
  font.setStyleStrategy(QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

int TextWidth(const QFont& font, const QString& text) {
  return QFontMetrics(font).horizontalAdvance(text);
}

// Draws text with its cell's top-left corner at (x, y), turned angle degrees counter-clockwise
// about that corner; an opaque background fills the text's cell first. Returns the cell.
QRect TextOut(QPainter& p, int x, int y, const QString& text, int angle = 0,
              const QColor* background = nullptr) {
  if (text.isEmpty()) return QRect();
  const QFontMetrics fm(p.font());
  const QRect cell(0, 0, fm.horizontalAdvance(text), fm.height());
  QTransform at;
  at.translate(x, y);
  at.rotate(-angle);
  p.save();
  p.setTransform(at, true);
  if (background != nullptr) p.fillRect(cell, *background);
  p.drawText(0, fm.ascent(), text);
  p.restore();
  return at.mapRect(cell);
}

// Pixel work on the RGB32 layers without a QPainter: an update fills ten bars and copies ten
// labels, and starting a painter for each cost more than the drawing. Whatever falls outside
// the target image is left out, as a painter would clip it.
void FillPixels(QImage& image, const QRect& r, QRgb color) {
  const QRect area = r & image.rect();
  if (area.isEmpty()) return;
  const qsizetype line = image.bytesPerLine();
  uchar* row = image.bits() + area.top() * line + area.left() * 4;  // detaches once, not per row
  for (int y = area.top(); y <= area.bottom(); ++y, row += line)
    std::fill_n(reinterpret_cast<QRgb*>(row), area.width(), color);
}

// Copies the pixels of r in from to the same-sized area at target in to.
void CopyPixels(const QImage& from, const QRect& r, QImage& to, QPoint target) {
  const QPoint shift = target - r.topLeft();
  const QRect area = (r & from.rect()).translated(shift) & to.rect();
  if (area.isEmpty()) return;
  const size_t bytes = static_cast<size_t>(area.width()) * 4;
  const qsizetype fromLine = from.bytesPerLine();
  const qsizetype toLine = to.bytesPerLine();
  const uchar* source =
      from.constBits() + (area.top() - shift.y()) * fromLine + (area.left() - shift.x()) * 4;
  uchar* into = to.bits() + area.top() * toLine + area.left() * 4;
  for (int y = area.top(); y <= area.bottom(); ++y, source += fromLine, into += toLine)
    std::memcpy(into, source, bytes);
}

QRect ToRect(const TEdges& r) {
  return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

}  // namespace

DBar::DBar(QWidget* parent) : QWidget(parent) {
  OwnFont = ArialOfHeight(OwnFontHeight, true);
  CanvasFont = OwnFont;
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

DBar::~DBar() = default;

void DBar::PlaceControl(DBar* control, int left, int top, int width, int height) {
  control->move(left, top);
  control->resize(width, height);
  control->Paint();
}

// ---- Geometry and conversions ----

void DBar::ComputeGeometry() {
  Outer = {x(), y(), width() - x(), height() - y()};
  OuterW = Outer.Right - Outer.Left;
  OuterH = Outer.Bottom - Outer.Top;
  Plot = {Trunc(Outer.Left + 0.15 * OuterW), Trunc(Outer.Top + 0.15 * OuterH),
          Trunc(Outer.Right - 0.15 * OuterW), Trunc(Outer.Bottom - 0.15 * OuterH)};
  PlotW = Plot.Right - Plot.Left;
  PlotH = Plot.Bottom - Plot.Top;
  LeftLabelStrip = {(Outer.Left + Plot.Left) / 2, Plot.Top - PlotH / 20, Plot.Left - 1,
                    Plot.Bottom + PlotH / 20};
  RightLabelStrip = {Plot.Right + 1, Plot.Top - PlotH / 20, (Outer.Right + Plot.Right) / 2,
                     Plot.Bottom + PlotH / 20};
  XLabelStrip = {Plot.Left - PlotW / 10, Plot.Bottom + 8, Plot.Right + PlotW / 10,
                 (Plot.Bottom + Outer.Bottom) / 2 + 3};
  MarkerLabelStrip = {Plot.Left - 10, Plot.Top - PlotH / 20, Plot.Right + 10, Plot.Top - 1};
  RightStrip = {Plot.Right + 1, Plot.Top - 1, Outer.Right, Plot.Bottom + 1};
  ReadoutStrip = {Plot.Left, Plot.Top - (Plot.Top - Outer.Top) / 4 + 1, Plot.Right, Plot.Top - 1};
}

void DBar::RecomputeScales() {
  XScale = PlotW != 0 ? (XMax - XMin) / PlotW : 1.0;
  YScale = PlotH != 0 ? (YMin - YMax) / PlotH : 1.0;
}

int DBar::ValueToPixel(int axis, double value) const {
  if (axis == 0) return XScale == 0 ? Plot.Left : Trunc((value - XMin) / XScale + Plot.Left);
  if (axis == 1) return YScale == 0 ? Plot.Top : Trunc((value - YMax) / YScale + Plot.Top);
  return -1;
}

double DBar::PixelToValue(int axis, int pixel) const {
  if (axis == 0) {
    if (XScale == 0) return XMin;
    return std::min(std::max(XMin + XScale * (pixel - Plot.Left), XMin), XMax);
  }
  if (axis == 1) {
    if (YScale == 0) return YMax;
    return std::min(std::max(YMax + YScale * (pixel - Plot.Top), YMin), YMax);
  }
  return -1.0;
}

void DBar::SetXMin(double value) {
  XMin = value;
  RecomputeScales();
  DrawAxisLabels();
}

void DBar::SetXMax(double value) {
  XMax = value;
  RecomputeScales();
  DrawAxisLabels();
}

void DBar::SetYMin(double value) {
  YMin = value;
  RecomputeScales();
  DrawAxisLabels();
}

void DBar::SetYMax(double value) {
  YMax = value;
  RecomputeScales();
  DrawAxisLabels();
}

// ---- Background ----

void DBar::Paint() {
  if (PaintBusy) return;
  PaintBusy = true;
  ComputeGeometry();
  RecomputeScales();
  // The parent panel shows through wherever the control draws nothing.
  if (CanvasImage.size() != size()) CanvasImage = QImage(size(), QImage::Format_RGB32);
  if (!CanvasImage.isNull()) CanvasImage.fill(kPanel);
  AxisLabelsDrawn.reset();
  TitleFit.OnCanvas = false;
  FooterFit.OnCanvas = false;
  RebuildGrid();
  const QString same = QStringLiteral(".");
  SetTitle(same);
  SetYCaption(same);
  SetRightCaption(same);
  SetFooter(same);
  SetCornerText(same);
  DrawAxisLabels();
  PaintBusy = false;
  update();
}

void DBar::RebuildGrid() {
  const QSize layerSize(std::max(0, PlotW), std::max(0, PlotH));
  if (Grid.size() != layerSize) {
    Grid = QImage(layerSize, QImage::Format_RGB32);
    Bars = QImage(layerSize, QImage::Format_RGB32);
  }
  if (!Grid.isNull()) {
    Grid.fill(kWhite);
    QPainter p(&Grid);
    p.setPen(QPen(kPanel, 0));
    // A stored 0 means ten, as for the labels; dividing by it would stop the program.
    const int divisions = YDivisions != 0 ? YDivisions : 10;
    for (int i = 0; i <= divisions; ++i) {
      const int y = i * Grid.height() / divisions;
      p.drawLine(0, y, Grid.width(), y);
    }
  }
  DrawMarkers();
  DrawTrace();
  BarsMatchGrid = false;
  ShowLayer(Grid);
}

void DBar::DrawMarkers() {
  FillOnCanvas(MarkerLabelStrip, kPanel);
  FillOnCanvas(RightStrip, kPanel);
  if (Grid.isNull() || CanvasImage.isNull()) return;
  QPainter g(&Grid);
  QPainter canvas(&CanvasImage);
  const QFont labelFont = ArialOfHeight(PlotH / 22, true);
  const int labelHeight = PlotH / 22;
  canvas.setPen(kBlack);
  for (int m = 0; m < 4; ++m) {
    const B_DMarkerStruct& marker = Markers[m];
    if (!marker.Visible) continue;
    g.setPen(QPen(marker.Color, 0, Qt::DashLine));
    if (m < 2) {
      const int c = std::clamp(ValueToPixel(0, marker.Value), Plot.Left, Plot.Right) - Plot.Left;
      g.drawLine(c, 0, c, PlotH);
      const int width = TextWidth(CanvasFont, marker.Label);
      canvas.setFont(labelFont);
      CanvasText(canvas, c + Plot.Left - width / 2, Plot.Top - labelHeight - 3, marker.Label);
    } else {
      const int r = std::clamp(ValueToPixel(1, marker.Value), Plot.Top, Plot.Bottom) - Plot.Top;
      g.drawLine(0, r, PlotW, r);
      canvas.setFont(labelFont);
      CanvasText(canvas, Plot.Right + 5, r + Plot.Top, marker.Label);
    }
    CanvasFont = labelFont;
    CanvasFontHeight = labelHeight;
  }
}

void DBar::DrawTrace() {
  if (!ShowTrace || Grid.isNull()) return;
  QPainter g(&Grid);
  g.setPen(QPen(kTrace, 0));
  // Points beyond the last slot do not exist; a larger TraceLast stops at the last one.
  const int last = std::min<int>(TraceLast, kTracePoints - 1);
  QPoint previous;
  for (int i = 0; i <= last; ++i) {
    const int px = std::clamp(ValueToPixel(0, TracePoints[i].X), Plot.Left, Plot.Right);
    const int py = std::clamp(ValueToPixel(1, TracePoints[i].Y), Plot.Top, Plot.Bottom);
    const QPoint point(px - Plot.Left, py - Plot.Top);
    if (i > 0) g.drawLine(previous, point);
    previous = point;
  }
}

// ---- Labels and captions on the canvas ----

int DBar::FitLeftLabels(QFont& font, int& fontHeight) const {
  const QString a = QString::asprintf("%.1f", YMax);
  const QString b = QString::asprintf("%.1f", YMin);
  int x = 0;
  for (int d = 12; d <= 22; d += 2) {
    fontHeight = PlotH / d;
    font = ArialOfHeight(fontHeight, true);
    x = Plot.Left - std::max(TextWidth(font, a), TextWidth(font, b)) - 4;
    if (x >= (Plot.Left + Outer.Left) / 2) break;
  }
  return x;
}

void DBar::DrawAxisLabels() {
  if (CanvasImage.isNull()) return;
  if (YDivisions == 0) YDivisions = 10;
  // Every display update sets the x range; when nothing the labels depend on has changed and
  // nothing has drawn over them, redrawing would give the same pixels.
  const bool xLabels = ShowXAxis && (ShowXLabels || ShowScaledXLabels);
  const TAxisLabelInputs inputs{Plot.Left,
                                Plot.Top,
                                Plot.Right,
                                Plot.Bottom,
                                Outer.Left,
                                YMin,
                                YMax,
                                YDivisions,
                                RightMin,
                                RightMax,
                                ShowRightAxis,
                                ShowXAxis,
                                ShowXLabels,
                                ShowScaledXLabels,
                                XDecimals,
                                ScaledXDecimals,
                                xLabels ? XMin : 0.0,
                                xLabels ? XMax : 0.0};
  if (AxisLabelsDrawn && *AxisLabelsDrawn == inputs) {
    CanvasFont = AxisLabelsFont;
    CanvasFontHeight = AxisLabelsFontHeight;
    return;
  }
  AxisLabelsDrawn.reset();
  AxisLabelArea = QRect();
  DrawingAxisLabels = true;
  int fontHeight = 0;
  QFont font;
  const int x = FitLeftLabels(font, fontHeight);
  const int y0 = Plot.Top - fontHeight / 2;
  FillOnCanvas(LeftLabelStrip, kPanel);

  QPainter p(&CanvasImage);
  p.setFont(font);
  p.setPen(kBlack);
  for (int i = 0; i <= YDivisions; ++i) {
    const double v = YMax - i * (YMax - YMin) / YDivisions;
    CanvasText(p, x, i * PlotH / YDivisions + y0, QString::asprintf("%.0f", v));
  }
  CanvasFont = font;
  CanvasFontHeight = fontHeight;

  if (ShowRightAxis) {
    const QFont right = ArialOfHeight(PlotH / 12, true);
    p.setFont(right);
    p.setPen(kBlue);
    p.fillRect(ToRect(RightLabelStrip), kPanel);
    MarkDrawn(ToRect(RightLabelStrip));
    for (int i = 0; i <= YDivisions; ++i) {
      const double v = RightMax - i * (RightMax - RightMin) / YDivisions;
      CanvasText(p, Plot.Right + 2, i * PlotH / YDivisions + y0, QString::asprintf("%.1f", v));
    }
    CanvasFont = right;
    CanvasFontHeight = PlotH / 12;
  }
  p.end();
  DrawXLabels();
  DrawingAxisLabels = false;
  AxisLabelsDrawn = inputs;
  AxisLabelsFont = CanvasFont;
  AxisLabelsFontHeight = CanvasFontHeight;
}

void DBar::DrawXLabels() {
  if (!ShowXAxis) return;
  QPainter p(&CanvasImage);
  p.setFont(CanvasFont);
  const int y = Plot.Bottom + 8;
  if (ShowXLabels) {
    p.setPen(kBlack);
    p.fillRect(ToRect(XLabelStrip), kPanel);
    MarkDrawn(ToRect(XLabelStrip));
    for (int i = 0; i <= 8; ++i) {
      const double v = XMin + i * (XMax - XMin) * 0.125;
      const QString text = QString::asprintf("%.*f", int{XDecimals}, v);
      CanvasText(p, Plot.Left + i * PlotW / 8 - TextWidth(CanvasFont, text) / 2, y, text);
    }
  }
  if (ShowScaledXLabels) {
    p.setPen(kBlue);
    const int y2 = y + CanvasFontHeight + 1;
    for (int i = 0; i <= 8; ++i) {
      const double v = (XMin + i * (XMax - XMin) * 0.125) * 0.0078125;
      CanvasText(p, Plot.Left + i * PlotW / 8 - 4, y2,
                 QString::asprintf("%.*f", int{ScaledXDecimals}, v));
    }
  }
}

void DBar::FillOnCanvas(const TEdges& r, const QColor& color) {
  if (CanvasImage.isNull()) return;
  QPainter p(&CanvasImage);
  p.fillRect(ToRect(r), color);
  MarkDrawn(ToRect(r));
}

// Title and footer: centred over the plot in the middle half of their margin, shrinking until
// the text fits the plot's width or the font is 5 pixels high.
void DBar::DrawCentredCaption(TCaptionFit& fit, const QString& text, int stripTop, int space) {
  const bool fitted =
      fit.Text == text && fit.Left == Plot.Left && fit.Right == Plot.Right && fit.Space == space;
  if (fitted && fit.OnCanvas) {
    CanvasFont = fit.Font;
    CanvasFontHeight = fit.Height;
    return;
  }
  fit.OnCanvas = false;
  const TEdges strip{Plot.Left, stripTop + space / 4, Plot.Right, stripTop + 3 * space / 4};
  FillOnCanvas(strip, kPanel);
  if (CanvasImage.isNull()) return;
  if (!fitted) {
    int height = space / 2;
    QFont font = ArialOfHeight(height, true);
    int x = (Plot.Left + Plot.Right) / 2 - TextWidth(font, text) / 2;
    while (x < Plot.Left && height > 5) {
      --height;
      font = ArialOfHeight(height, true);
      x = (Plot.Left + Plot.Right) / 2 - TextWidth(font, text) / 2;
    }
    fit = {text, Plot.Left, Plot.Right, space, height, x, font, QRect(), false};
  }
  QPainter p(&CanvasImage);
  // Smoothed: the strip is cleared before every draw, and solid bold glyphs at caption sizes
  // crowd ("(8" and ")M" touch) however they are hinted.
  QFont smooth = fit.Font;
  smooth.setStyleStrategy(QFont::PreferAntialias);
  p.setFont(smooth);
  p.setPen(kBlack);
  fit.Area = ToRect(strip) | CanvasText(p, fit.X, stripTop + space / 2 - fit.Height / 2, text);
  fit.OnCanvas = true;
  CanvasFont = fit.Font;
  CanvasFontHeight = fit.Height;
}

void DBar::SetTitle(const QString& text) {
  if (text != QLatin1String(".")) TitleText = text;
  DrawCentredCaption(TitleFit, TitleText, Outer.Top, Plot.Top - Outer.Top);
}

void DBar::SetFooter(const QString& text) {
  if (text != QLatin1String(".")) FooterText = text;
  DrawCentredCaption(FooterFit, FooterText, Plot.Bottom, Outer.Bottom - Plot.Bottom);
}

void DBar::SetYCaption(const QString& text) {
  if (text != QLatin1String(".")) YCaptionText = text;
  if (CanvasImage.isNull()) return;
  QFont font = OwnFont;
  font.setPixelSize(ArialOfHeight(14, true).pixelSize());
  const int width = TextWidth(font, YCaptionText);
  QPainter p(&CanvasImage);
  p.setFont(font);
  p.setPen(kBlack);
  // Turned upright the caption is a cell's height wide. Where the margin's arithmetic puts it
  // over the axis labels (or into their strip, which they clear), it moves left, just clear of
  // both; where the margin has no such room it stands level above the labels instead, broken at
  // its last space. Nothing else moves.
  QFont labelFont;
  int labelHeight = 0;
  const int clear = std::min(FitLeftLabels(labelFont, labelHeight), LeftLabelStrip.Left) - 1;
  const QFontMetrics fm(font);
  const int x = Outer.Left + (Plot.Left - Outer.Left) / 4 - OwnFontHeight / 2;
  if (x + fm.height() <= clear) {
    CanvasText(p, x, OuterH / 2 + width / 2, YCaptionText, 90);
  } else if (clear - fm.height() >= Outer.Left || !DrawLevelYCaption(p, fm, labelHeight)) {
    CanvasText(p, std::max(Outer.Left, clear - fm.height()), OuterH / 2 + width / 2, YCaptionText,
               90);
  }
  CanvasFont = font;
  CanvasFontHeight = 14;
}

bool DBar::DrawLevelYCaption(QPainter& p, const QFontMetrics& fm, int labelHeight) {
  const qsizetype space = YCaptionText.lastIndexOf(' ');
  const QStringList lines =
      space < 0 ? QStringList{YCaptionText}
                : QStringList{YCaptionText.left(space), YCaptionText.mid(space + 1)};
  const int bottom = std::min(Plot.Top - labelHeight / 2, LeftLabelStrip.Top) - 1;
  const int top = bottom - static_cast<int>(lines.size()) * fm.height();
  int widest = 0;
  for (const QString& line : lines) widest = std::max(widest, fm.horizontalAdvance(line));
  if (top < Outer.Top || widest > Plot.Left - Outer.Left) return false;
  for (qsizetype k = 0; k < lines.size(); ++k) {
    const int w = fm.horizontalAdvance(lines[k]);
    CanvasText(p, Outer.Left + (Plot.Left - Outer.Left - w) / 2,
               top + static_cast<int>(k) * fm.height(), lines[k]);
  }
  return true;
}

void DBar::SetRightCaption(const QString& text) {
  if (text != QLatin1String(".")) RightCaptionText = text;
  OwnFontHeight = (Plot.Left - Outer.Left) / 3;
  OwnFont.setPixelSize(ArialOfHeight(OwnFontHeight, true).pixelSize());
  if (CanvasImage.isNull()) return;
  const int width = TextWidth(OwnFont, RightCaptionText);
  QPainter p(&CanvasImage);
  p.setFont(OwnFont);
  p.setPen(kBlue);
  CanvasText(p, Outer.Right - (Outer.Right - Plot.Right) / 4 + OwnFontHeight / 2,
             OuterH / 2 - width / 2, RightCaptionText, 270);
  CanvasFont = OwnFont;
  CanvasFontHeight = OwnFontHeight;
}

void DBar::SetCornerText(const QString& text) {
  if (text != QLatin1String(".")) CornerTextText = text;
  if (CanvasImage.isNull()) return;
  const int height = (Outer.Bottom - Plot.Bottom) / 3;
  const QFont font = ArialOfHeight(height, true);
  QPainter p(&CanvasImage);
  p.setFont(font);
  p.setPen(kBlue);
  CanvasText(p, 3 * OuterW / 4 - TextWidth(font, CornerTextText) / 2, Outer.Bottom - height - 3,
             CornerTextText);
  CanvasFont = font;
  CanvasFontHeight = height;
}

QRect DBar::CanvasText(QPainter& p, int x, int y, const QString& text, int angle) {
  const QRect cell = TextOut(p, x, y, text, angle);
  MarkDrawn(cell);
  return cell;
}

void DBar::MarkDrawn(const QRect& r) {
  update(r);
  if (DrawingAxisLabels)
    AxisLabelArea |= r;
  else if (r.intersects(AxisLabelArea))
    AxisLabelsDrawn.reset();
  for (TCaptionFit* fit : {&TitleFit, &FooterFit}) {
    if (fit->OnCanvas && r.intersects(fit->Area)) fit->OnCanvas = false;
  }
}

// ---- Bars ----

void DBar::ClearBars() {
  ColumnUse.fill(0);
  if (!BarsMatchGrid || Bars.size() != Grid.size()) {
    Bars = Grid.copy();
    ShownItems.clear();
    BarsMatchGrid = true;
    BarsRepaintAll = true;
  }
  FrameItems.clear();
  BarsCleared = true;
  if (!ShowXAxis)
    FillOnCanvas({Plot.Left, Plot.Bottom + 5, Plot.Left + PlotW, Plot.Bottom + 35}, kPanel);
}

void DBar::AddBar(int16_t x, const QString& label, double value) {
  if (PlotW <= 0 || PlotH <= 0 || Bars.isNull()) return;
  const int px = ValueToPixel(0, x);
  if (px < Plot.Left || px > Plot.Right) return;
  const int py = std::clamp(ValueToPixel(1, value), Plot.Top, Plot.Bottom);
  int c = px - Plot.Left;
  const int top = py - Plot.Top;

  // A second bar in a column steps 5 pixels right, a bar in a column already holding two
  // steps 5 left. Columns beyond the counters are not shared rather than written past them.
  if (c < kColumns) {
    if (ColumnUse[c] == 0) {
      ColumnUse[c] = 1;
    } else if (ColumnUse[c] == 1) {
      c += 5;
      if (c < kColumns) ++ColumnUse[c];
    } else {
      c -= 5;
    }
  }

  int w = static_cast<int16_t>(Trunc(PlotW / (2.0 * BarWidthDivisor * (XMax + 1.0))));
  if (w == 0) w = 1;
  if (w > 0 && top < PlotH)
    FrameItems.push_back(
        {QRect(c - w, top, 2 * w, PlotH - top), DrawnColor().rgb(), {}, false, {}});

  const bool underMouse = MouseX >= c - w && MouseX <= c + w && MouseY >= top && MouseY <= PlotH;
  if (AlwaysShowLabels || underMouse) AddBarLabel(c, top, label);
}

// Upright labels sit centred above the bar; rotated ones stand on its centre line and read
// upward. Both start 20 pixels above the bar's top, in the bar colour on white. A label that
// would leave the plot at the top (the strongest bar's, most often) is kept inside it, over the
// bar: the most useful label must not be the one cut off.
void DBar::AddBarLabel(int c, int top, const QString& label) {
  if (label.isEmpty()) return;
  const QImage& image = LabelImage(label);
  // Rotated, the cell's top-left corner stands at (x, top - 20) and the text runs upward.
  const int x = c - image.width() / 2;
  const int y = std::max(0, VerticalLabels ? top - 20 - image.height() : top - 20);
  FrameItems.push_back(
      {QRect(QPoint(x, y), image.size()), DrawnColor().rgb(), label, VerticalLabels, image});
}

void DBar::DrawItem(const TBarItem& item) {
  if (item.Label.isEmpty())
    FillPixels(Bars, item.Area, item.Color);
  else
    CopyPixels(item.Image, item.Image.rect(), Bars, item.Area.topLeft());
}

const QImage& DBar::LabelImage(const QString& label) {
  const QColor color = DrawnColor();
  if (LabelCacheColor != color.rgb() || LabelCacheVertical != VerticalLabels ||
      LabelCache.size() > 512) {
    LabelCache.clear();
    LabelCacheColor = color.rgb();
    LabelCacheVertical = VerticalLabels;
  }
  auto found = LabelCache.constFind(label);
  if (found != LabelCache.constEnd()) return *found;
  const QFont font = ArialOfHeight(kLabelCellHeight, false);
  const QFontMetrics fm(font);
  QImage cell(fm.horizontalAdvance(label), fm.height(), QImage::Format_RGB32);
  cell.fill(kWhite);
  {
    QPainter p(&cell);
    p.setFont(font);
    p.setPen(color);
    p.drawText(0, fm.ascent(), label);
  }
  if (VerticalLabels) cell = cell.transformed(QTransform().rotate(-90));
  cell.convertTo(QImage::Format_RGB32);  // copied into the layer pixel for pixel
  return *LabelCache.insert(label, cell);
}

void DBar::ShowBars(const QString& text) {
  if (!ShowXAxis && !CanvasImage.isNull()) {
    QPainter p(&CanvasImage);
    p.setFont(CanvasFont);
    p.setPen(kBlack);
    CanvasText(p, Plot.Left + PlotW / 2 - TextWidth(CanvasFont, text) / 2, Plot.Bottom + 5, text);
  }
  const QRegion changed = DrawFrameItems();
  if (PlotLayer != &Bars || BarsRepaintAll) {
    BarsRepaintAll = false;
    ShowLayer(Bars);
  } else if (!changed.isEmpty()) {
    update(changed.translated(Plot.Left, Plot.Top));
  }
}

// Puts the grid back under every shown item that differs from the item drawn in its place, then
// draws this frame's items from the first that differs or overlaps a restored area, in order, so
// each pixel ends with the last item over it. A pixel under no differing item, in either frame,
// is under the same items in the same order in both, so it did not change.
QRegion DBar::DrawFrameItems() {
  QRegion changed;
  if (!BarsCleared) {  // added over the frame shown
    for (const TBarItem& item : FrameItems) {
      DrawItem(item);
      changed += item.Area;
    }
    ShownItems.insert(ShownItems.end(), FrameItems.begin(), FrameItems.end());
    // A caller that never clears would grow the list without end; a whole copy at its next
    // clear costs less than tracking that many.
    if (ShownItems.size() > kMaxShownItems) {
      ShownItems.clear();
      BarsMatchGrid = false;
    }
  } else {
    std::vector<QRect> restored;
    size_t first = FrameItems.size();
    for (size_t k = 0; k < std::max(ShownItems.size(), FrameItems.size()); ++k) {
      const bool was = k < ShownItems.size();
      const bool now = k < FrameItems.size();
      if (was && now && ShownItems[k].SameAs(FrameItems[k])) continue;
      if (was) {
        CopyPixels(Grid, ShownItems[k].Area, Bars, ShownItems[k].Area.topLeft());
        restored.push_back(ShownItems[k].Area);
      }
      if (now) first = std::min(first, k);
      changed += ChangedArea(was ? &ShownItems[k] : nullptr, now ? &FrameItems[k] : nullptr);
    }
    for (size_t k = 0; k < first; ++k) {
      const QRect& area = FrameItems[k].Area;
      if (std::any_of(restored.begin(), restored.end(),
                      [&](const QRect& r) { return r.intersects(area); }))
        first = k;
    }
    for (size_t k = first; k < FrameItems.size(); ++k) DrawItem(FrameItems[k]);
    ShownItems.swap(FrameItems);
  }
  FrameItems.clear();
  BarsCleared = false;
  return changed & Bars.rect();
}

// Where the screen differs once item was is replaced by item now: a bar that only grew or shrank
// changed between its old and new top alone, and that is all that needs a repaint.
QRegion DBar::ChangedArea(const TBarItem* was, const TBarItem* now) {
  if (was == nullptr || now == nullptr) return QRegion((was != nullptr ? was : now)->Area);
  const bool bars = was->Label.isEmpty() && now->Label.isEmpty() && was->Color == now->Color;
  if (bars) return QRegion(was->Area).xored(QRegion(now->Area));
  return QRegion(was->Area).united(now->Area);
}

// The layer goes to the screen straight from where it was drawn: copying it into the canvas
// first was one more whole-plot copy per update.
void DBar::ShowLayer(const QImage& layer) {
  PlotLayer = &layer;
  MarkDrawn(QRect(Plot.Left, Plot.Top, layer.width(), layer.height()));
}

// ---- Mouse ----

void DBar::MouseMove(int x, int y) {
  MouseX = x - Plot.Left;
  MouseY = y - Plot.Top;
  if (!ShowMouseReadout || CanvasImage.isNull()) return;
  const QString text =
      QString::asprintf("MOUSE POSITION = (%.0f)(%.2f)", PixelToValue(0, x), PixelToValue(1, y));
  FillOnCanvas(ReadoutStrip, kPanel);
  const int margin = Plot.Top - Outer.Top;
  const int height = margin / 5;
  const QFont font = ArialOfHeight(height, true);
  QPainter p(&CanvasImage);
  p.setFont(font);
  p.setPen(kRed);
  CanvasText(p, OuterW / 2 - TextWidth(font, text) / 2, Outer.Top + 4 * margin / 5 - height / 8,
             text);
  CanvasFont = font;
  CanvasFontHeight = height;
}

// Left click halves the x span around the clicked value, right click doubles it, both kept
// within ZoomLow..ZoomHigh; a result narrower than ZoomMinSpan is refused.
void DBar::MouseUp(int button, int x, int y) {
  if (!ZoomEnabled || x < Plot.Left || x > Plot.Right || y < Plot.Top || y > Plot.Bottom) return;
  const double span = XMax - XMin;
  const double c = PixelToValue(0, x);
  double lo = 0;
  double hi = 0;
  if (button == 0) {
    lo = std::max(ZoomLow, c - span / 4);
    hi = std::min(ZoomHigh, c + span / 4);
  } else if (button == 1) {
    lo = std::max(ZoomLow, c - span);
    hi = std::min(ZoomHigh, c + span);
  } else {
    return;
  }
  if (hi - lo < ZoomMinSpan) return;
  SetXMin(lo);
  SetXMax(hi);
  RebuildGrid();
}

// ---- Qt events ----

// Only what changed is copied: an update repaints the plot and the strips it redrew. The plot
// comes from the layer last shown, the rest from the canvas.
void DBar::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  if (CanvasImage.size() != size()) p.fillRect(rect(), kPanel);
  const QRect plot(QPoint(Plot.Left, Plot.Top), PlotLayer->size());
  for (const QRect& r : event->region() - plot) p.drawImage(r.topLeft(), CanvasImage, r);
  for (const QRect& r : event->region() & plot)
    p.drawImage(r.topLeft(), *PlotLayer, r.translated(-plot.topLeft()));
}

void DBar::resizeEvent(QResizeEvent*) {
  Paint();
}

void DBar::showEvent(QShowEvent*) {
  Paint();
}

void DBar::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  MouseMove(at.x(), at.y());
}

void DBar::mouseReleaseEvent(QMouseEvent* event) {
  int button = 2;
  if (event->button() == Qt::LeftButton) button = 0;
  if (event->button() == Qt::RightButton) button = 1;
  const QPoint at = event->position().toPoint();
  MouseUp(button, at.x(), at.y());
}

}  // namespace vireon
