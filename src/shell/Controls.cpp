#include "shell/Controls.h"

#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
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

void CentreOnScreen(QWidget* w) {
  if (QScreen* screen = w->screen()) {
    QRect frame = w->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    w->move(frame.topLeft());
  }
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

QGroupBox* MakeGroup(QWidget* parent, int x, int y, int w, int h, const QString& caption) {
  auto* g = new QGroupBox(caption, parent);
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
