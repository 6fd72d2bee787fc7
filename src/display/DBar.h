#pragma once
// One receiver's RSSI bar graph: a plot with a horizontal grid and y-axis labels, captions
// around it and up to ten labelled bars at integer x positions. The grid lives in GridLayer and
// is rebuilt only when geometry or range change; BarLayer holds the grid with the bars of the
// last frame. ShowBars brings that layer to the new frame where the bars differ, from the grid,
// and shows it in one step, so the screen never shows a half-drawn frame. Setters draw the rest
// straight into a control-sized canvas; paintEvent copies the canvas around the plot and the
// layer last shown inside it.
// Pixel arithmetic truncates toward zero throughout: the picture is fixed to the pixel.

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vireon {

struct B_DMarkerStruct {
  bool Visible = false;
  QColor Color = QColor(0, 0, 0);
  double Value = 0.0;  // x value for markers 1 and 2, y value for markers 3 and 4
  QString Label;
};

struct TTracePoint {
  double X = 0.0;
  double Y = 0.0;
};

// A rectangle as (left, top, right, bottom); filling covers left..right-1 and top..bottom-1.
struct TEdges {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

class DBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kColumns = 2048;
  static constexpr int kTracePoints = 100;

  explicit DBar(QWidget* parent = nullptr);
  ~DBar() override;

  // Axis state.
  double XMin = 0.0;
  double XMax = 0.0;
  double YMin = 0.0;
  double YMax = 0.0;
  double RightMin = 0.0;
  double RightMax = 0.0;
  int16_t YDivisions = 10;
  double XScale = 1.0;
  double YScale = 1.0;
  bool ShowRightAxis = false;
  bool ShowXAxis = true;
  bool ShowXLabels = false;
  bool ShowScaledXLabels = false;
  int16_t XDecimals = 0;
  int16_t ScaledXDecimals = 0;

  // Bars.
  QColor BarColor = QColor(0, 0, 255);  // bars are solid: its alpha is not used
  // Levels no longer current (the link is down) are drawn in StaleColor instead.
  bool Stale = false;
  QColor StaleColor = QColor(170, 170, 170);
  QColor DrawnColor() const { return Stale ? StaleColor : BarColor; }
  int16_t BarWidthDivisor = 1;
  bool VerticalLabels = false;
  bool AlwaysShowLabels = true;
  std::array<int16_t, kColumns> ColumnUse{};
  int32_t MouseX = 0;
  int32_t MouseY = 0;

  // Markers, trace, mouse readout and zoom.
  std::array<B_DMarkerStruct, 4> Markers;
  bool ShowTrace = false;
  std::array<TTracePoint, kTracePoints> TracePoints{};
  int16_t TraceLast = 0;
  bool ShowMouseReadout = false;
  bool ZoomEnabled = true;
  double ZoomLow = 0.0;
  double ZoomHigh = 0.0;
  double ZoomMinSpan = 0.0;

  // One flag for every instance: a paint requested while another runs is dropped.
  static bool PaintBusy;

  // Geometry, computed by Paint.
  TEdges Outer;
  TEdges Plot;
  int PlotW = 0;
  int PlotH = 0;
  int OuterW = 0;
  int OuterH = 0;
  TEdges LeftLabelStrip;
  TEdges RightLabelStrip;
  TEdges XLabelStrip;
  TEdges MarkerLabelStrip;
  TEdges RightStrip;
  TEdges ReadoutStrip;

  const QString& Title() const { return TitleText; }
  const QString& YCaption() const { return YCaptionText; }
  const QString& RightCaption() const { return RightCaptionText; }
  const QString& Footer() const { return FooterText; }
  const QString& CornerText() const { return CornerTextText; }

  // The off-screen layers, for inspection.
  const QImage& GridLayer() const { return Grid; }
  const QImage& BarLayer() const { return Bars; }

  static void PlaceControl(DBar* control, int left, int top, int width, int height);

  void SetXMin(double value);
  void SetXMax(double value);
  void SetYMin(double value);
  void SetYMax(double value);

  // "." keeps the stored text and only redraws it.
  void SetTitle(const QString& text);
  void SetYCaption(const QString& text);
  void SetRightCaption(const QString& text);
  void SetFooter(const QString& text);
  void SetCornerText(const QString& text);

  void ClearBars();
  void AddBar(int16_t x, const QString& label, double value);
  void ShowBars(const QString& text);

  // Full redraw except bars: geometry, background, captions and axis labels.
  void Paint();
  void RebuildGrid();
  void DrawAxisLabels();
  void DrawMarkers();
  void DrawTrace();

  // axis 0 is x, 1 is y; -1 for any other axis.
  int ValueToPixel(int axis, double value) const;
  double PixelToValue(int axis, int pixel) const;

  // Mouse hooks, in control pixels; button 0 is left, 1 right.
  void MouseMove(int x, int y);
  void MouseUp(int button, int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void ComputeGeometry();
  void RecomputeScales();
  void FillOnCanvas(const TEdges& r, const QColor& color);
  // A title or footer fitted to the plot's width: its font and place.
  struct TCaptionFit {
    QString Text;
    int Left = 0;
    int Right = 0;
    int Space = -1;
    int Height = 0;
    int X = 0;
    QFont Font;
    // Where it was drawn last; cleared when anything else draws there. The footer is set on
    // every update, mostly to the same text, and shaping it each time was a large share.
    QRect Area;
    bool OnCanvas = false;
  };
  void DrawCentredCaption(TCaptionFit& fit, const QString& text, int stripTop, int space);
  void DrawXLabels();
  void AddBarLabel(int c, int top, const QString& label);
  // A bar label rendered once (rotated when labels are vertical) and blitted from then on: the
  // display redraws up to ten labels per packet, and shaping them each time dominated an update.
  const QImage& LabelImage(const QString& label);
  // Puts layer on the plot at the next repaint.
  void ShowLayer(const QImage& layer);
  // Draws on the canvas and marks the text's cell for the next repaint; returns the cell.
  QRect CanvasText(QPainter& p, int x, int y, const QString& text, int angle = 0);
  // The left axis labels' font, its height and the labels' left edge, as they will be drawn.
  int FitLeftLabels(QFont& font, int& fontHeight) const;
  // The y caption level, in lines above the axis labels; false when the margin cannot hold it.
  bool DrawLevelYCaption(QPainter& p, const QFontMetrics& fm, int labelHeight);
  // Marks a canvas area drawn: repainted next, and noted against the axis labels.
  void MarkDrawn(const QRect& r);
  // One bar or label of a frame. AddBar only records them and ShowBars draws them: consecutive
  // updates mostly repeat the same items, and only items that differ from the frame shown need
  // the grid put back under them, drawing and a repaint.
  struct TBarItem {
    QRect Area;
    QRgb Color = 0;
    QString Label;  // empty for a bar
    bool Vertical = false;
    QImage Image;  // the label's pixels
    bool SameAs(const TBarItem& other) const {
      return Area == other.Area && Color == other.Color && Label == other.Label &&
             Vertical == other.Vertical;
    }
  };
  void DrawItem(const TBarItem& item);
  // Brings the layer from the frame shown to this one; returns, in layer pixels, what changed.
  QRegion DrawFrameItems();
  static QRegion ChangedArea(const TBarItem* was, const TBarItem* now);
  static constexpr size_t kMaxShownItems = 1024;
  std::vector<TBarItem> ShownItems;
  std::vector<TBarItem> FrameItems;
  bool BarsCleared = false;    // ClearBars ran since the last ShowBars
  bool BarsMatchGrid = false;  // false once the grid changes: the next clear copies it whole
  bool BarsRepaintAll = false;

  struct TAxisLabelInputs {
    int PlotLeft, PlotTop, PlotRight, PlotBottom, OuterLeft;
    double YMin, YMax;
    int16_t YDivisions;
    double RightMin, RightMax;
    bool ShowRightAxis, ShowXAxis, ShowXLabels, ShowScaledXLabels;
    int16_t XDecimals, ScaledXDecimals;
    double XMin, XMax;
    bool operator==(const TAxisLabelInputs&) const = default;
  };
  std::optional<TAxisLabelInputs> AxisLabelsDrawn;
  QRect AxisLabelArea;
  QFont AxisLabelsFont;
  int AxisLabelsFontHeight = 0;
  bool DrawingAxisLabels = false;

  QString TitleText;
  QString YCaptionText;
  QString RightCaptionText;
  QString FooterText;
  QString CornerTextText;

  TCaptionFit TitleFit;
  TCaptionFit FooterFit;

  // The control's own font (bold Arial) and its height in pixels, which the right caption sets.
  QFont OwnFont;
  int OwnFontHeight = 11;
  // The font the canvas drew with last.
  QFont CanvasFont;
  int CanvasFontHeight = 11;

  QHash<QString, QImage> LabelCache;
  QRgb LabelCacheColor = 0;
  bool LabelCacheVertical = false;

  QImage Grid;
  QImage Bars;
  QImage CanvasImage;
  const QImage* PlotLayer = &Grid;
};

}  // namespace vireon
