#pragma once
// Small factories for the fixed-geometry controls of the logger's forms, so each form reads as a
// list of controls with their positions, texts and colours.

#include <QColor>
#include <QString>

class QFont;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;

namespace vireon {

// Colours of the forms, as RGB triples.
inline const QColor kMaroon{128, 0, 0};
inline const QColor kNavy{0, 0, 128};
inline const QColor kBlue{0, 0, 255};
inline const QColor kRed{255, 0, 0};
inline const QColor kGray{128, 128, 128};

// The forms' base face: "Arial" at 11 pixels, metric-compatible with the original 8-point face.
QFont FormFont();
QFont BoldFont(const QFont& base);

void SetTextColor(QWidget* w, const QColor& color);
// Places a top-level window at the centre of its screen's available area.
void CentreOnScreen(QWidget* w);
void SetBackColor(QWidget* w, const QColor& color);

// A checkable speed button; text may be empty when an icon is set by the caller.
QToolButton* MakeSpeedButton(QWidget* parent, int x, int y, int w, int h, const QString& text,
                             const QString& hint);
QLineEdit* MakeEdit(QWidget* parent, int x, int y, int w, const QString& text, bool readOnly);
QLabel* MakeLabel(QWidget* parent, int x, int y, int w, int h, const QString& text);
QGroupBox* MakeGroup(QWidget* parent, int x, int y, int w, int h, const QString& caption);
QFrame* MakeBevel(QWidget* parent, int x, int y, int w, int h);
QFrame* MakePanel(QWidget* parent, int x, int y, int w, int h);

}  // namespace vireon
