#include "shell/Controls.h"

#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QToolButton>

namespace vireon {

QFont FormFont() {
  QFont f("Arial");
  f.setPixelSize(11);
  return f;
}

QFont BoldFont(const QFont& base) {
  // "Arial Bold" as a family silently falls back to a regular face: ask for the weight instead.
  QFont f(base);
  f.setWeight(QFont::Bold);
  return f;
}

namespace {
void CentreFrame(QWidget* w) {
  if (QScreen* screen = w->screen()) {
    QRect frame = w->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    w->move(frame.topLeft());
  }
}

// Before a window is on screen its frame is unknown (it is the client area alone), so it would
// be centred a title bar too low. This centres it again once the window manager has framed it.
class TCentreOnceFramed : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* w = static_cast<QWidget*>(watched);
    const bool placed = event->type() == QEvent::Move || event->type() == QEvent::Show;
    if (placed && w->frameGeometry() != w->geometry()) {
      deleteLater();  // before the move: the move sends another event here
      w->removeEventFilter(this);
      CentreFrame(w);
    }
    return false;
  }
};
}  // namespace

void CentreOnScreen(QWidget* w) {
  CentreFrame(w);
  if (!w->isVisible()) w->installEventFilter(new TCentreOnceFramed(w));
}

void SetTextColor(QWidget* w, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, color);
  p.setColor(QPalette::ButtonText, color);
  p.setColor(QPalette::Text, color);
  w->setPalette(p);
}

void SetBackColor(QWidget* w, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, color);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

QToolButton* MakeSpeedButton(QWidget* parent, int x, int y, int w, int h, const QString& text,
                             const QString& hint) {
  auto* b = new QToolButton(parent);
  b->setGeometry(x, y, w, h);
  b->setCheckable(true);
  b->setAutoRaise(false);
  b->setFocusPolicy(Qt::NoFocus);
  b->setText(text);
  b->setToolTip(hint);
  // Down must read as down at a glance: sunk, darker, with a dark edge.
  b->setStyleSheet(
      "QToolButton { border: 1px solid #9a9a9a; border-radius: 2px; background: #efefef; }"
      "QToolButton:hover { background: #f8f8f8; }"
      "QToolButton:checked { background: #a8a8a8; border: 2px inset #505050; }");
  return b;
}

QLineEdit* MakeEdit(QWidget* parent, int x, int y, int w, const QString& text, bool readOnly) {
  auto* e = new QLineEdit(text, parent);
  e->setGeometry(x, y, w, 21);
  e->setReadOnly(readOnly);
  if (readOnly) {
    // Read-only fields take the button face so they do not look editable.
    QPalette p = e->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Button));
    e->setPalette(p);
    e->setFocusPolicy(Qt::NoFocus);
  }
  return e;
}

QLabel* MakeLabel(QWidget* parent, int x, int y, int w, int h, const QString& text) {
  auto* l = new QLabel(text, parent);
  l->setGeometry(x, y, w, h);
  return l;
}

namespace {
// The classic etched group frame: its line runs through the middle of the caption, so contents
// placed from the caption's height on stay clear of it, and its two tones are taken from the
// panel beneath, so the frame shows on a grey panel as on a light one.
class TEtchedGroupBox : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QFontMetrics fm(font());
    const QColor panel = parentWidget() != nullptr
                             ? parentWidget()->palette().color(parentWidget()->backgroundRole())
                             : palette().color(QPalette::Window);
    const QRect frame = rect().adjusted(0, fm.height() / 2, -2, -2);
    p.setPen(panel.darker(170));
    p.drawRect(frame);
    p.setPen(panel.lighter(170));
    p.drawRect(frame.translated(1, 1));
    if (title().isEmpty()) return;
    const QRect caption(6, 0, fm.horizontalAdvance(title()) + 4, fm.height());
    p.fillRect(caption, panel);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(caption, Qt::AlignCenter, title());
  }
};
}  // namespace

QGroupBox* MakeGroup(QWidget* parent, int x, int y, int w, int h, const QString& caption) {
  auto* g = new TEtchedGroupBox(caption, parent);
  g->setGeometry(x, y, w, h);
  return g;
}

QFrame* MakeBevel(QWidget* parent, int x, int y, int w, int h) {
  auto* f = new QFrame(parent);
  f->setGeometry(x, y, w, h);
  f->setFrameShape(w <= h ? QFrame::VLine : QFrame::HLine);
  f->setFrameShadow(QFrame::Sunken);
  return f;
}

QFrame* MakePanel(QWidget* parent, int x, int y, int w, int h) {
  auto* f = new QFrame(parent);
  f->setGeometry(x, y, w, h);
  return f;
}

}  // namespace vireon
