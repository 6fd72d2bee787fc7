#pragma once
// The About box: program icon, title, version and a short description.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace vireon {

class TAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutDlg(QWidget* parent = nullptr);

  QFrame* Panel1;
  QLabel* ProgramIcon;
  QLabel* ProductName;
  QLabel* Version;
  QLabel* Comments1;
  QLabel* Comments2;
  QPushButton* OKButton;

 public slots:
  void OKBtnClick();
};

}  // namespace vireon
