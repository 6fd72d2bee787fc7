#pragma once
// The log warning dialog: shown each time logging is switched on, it tells the user how to make
// the instrument send its scan set-up so that it reaches the log. OK forgets the set-up seen so
// far; the close box leaves it.

#include <QDialog>

class QLabel;
class QPushButton;

namespace vireon {

class TEngine;

class TLogWarningForm : public QDialog {
  Q_OBJECT

 public:
  explicit TLogWarningForm(TEngine& engine, QWidget* parent = nullptr);

  QLabel* Label1;
  QLabel* Label4;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label5;
  QPushButton* Button1;

 public slots:
  void Button1Click();

 private:
  TEngine& Engine;
};

}  // namespace vireon
