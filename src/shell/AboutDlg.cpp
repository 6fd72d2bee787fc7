#include "shell/AboutDlg.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "shell/Controls.h"

namespace vireon {

TAboutDlg::TAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFont(FormFont());
  setFixedSize(369, 170);

  Panel1 = MakePanel(this, 8, 8, 353, 118);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ProgramIcon = MakeLabel(Panel1, 10, 10, 32, 32, "");
  ProgramIcon->setPixmap(QIcon(":/icons/vireon.svg").pixmap(32, 32));

  ProductName = MakeLabel(Panel1, 56, 10, 285, 24, "Vireon Data Logger");
  QFont title = BoldFont(font());
  title.setPixelSize(19);
  ProductName->setFont(title);
  SetTextColor(ProductName, kMaroon);
  Version = MakeLabel(Panel1, 56, 40, 285, 16, "Version 4.14");
  Comments1 = MakeLabel(Panel1, 56, 64, 285, 16, "Live display and logging of Vireon readings.");
  Comments2 = MakeLabel(Panel1, 56, 84, 285, 16, "Positions go to the mapping program.");

  OKButton = new QPushButton("OK", this);
  OKButton->setGeometry(147, 136, 75, 25);
  OKButton->setFont(BoldFont(font()));
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &TAboutDlg::OKBtnClick);
  CentreOnScreen(this);
}

void TAboutDlg::OKBtnClick() {
  done(1);
}

}  // namespace vireon
