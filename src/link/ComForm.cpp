#include "link/ComForm.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gps/GpsRouter.h"
#include "gps/MapRangeForm.h"
#include "link/ComRouter.h"
#include "model/Engine.h"
#include "shell/Controls.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"
#include "shell/MainRouter.h"

namespace vireon {

namespace {
constexpr int kFixedItems = 5;
const char* const kItems[] = {"COM1:", "COM2:", "COM3:", "COM4:", "USB"};
}  // namespace

void TPortCombo::showPopup() {
  if (BeforePopup) BeforePopup();
  // Attached ports have long names: the list may be wider than the box.
  view()->setMinimumWidth(view()->sizeHintForColumn(0) + 8);
  QComboBox::showPopup();
}

TCom_Form::TCom_Form(QWidget* parent, TPortLister lister)
    : QDialog(parent), Lister(std::move(lister)) {
  setWindowTitle("Select Communications Port");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowStaysOnTopHint);
  setFont(FormFont());
  setFixedSize(313, 216);

  Bevel1 = MakePanel(this, 8, 8, 297, 161);
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Label2 = MakeLabel(this, 16, 16, 281, 84,
                     "REMEMBER TO HAVE VIREON IN MAIN MENU WHEN STARTING THIS APPLICATION!!!");
  QFont warning = BoldFont(font());
  warning.setPixelSize(19);
  Label2->setFont(warning);
  Label2->setAlignment(Qt::AlignCenter);
  Label2->setWordWrap(true);
  SetTextColor(Label2, kRed);

  Label1 = MakeLabel(this, 24, 122, 100, 24, "CONNECT TO:");
  Label1->setFont(BoldFont(font()));
  SetTextColor(Label1, kNavy);

  PortChoice = new TPortCombo(this);
  PortChoice->setGeometry(128, 122, 161, 24);
  PortChoice->setEditable(true);
  PortChoice->setInsertPolicy(QComboBox::NoInsert);
  PortChoice->setFont(BoldFont(font()));
  SetTextColor(PortChoice, kRed);
  for (const char* item : kItems) PortChoice->addItem(item);
  PortChoice->BeforePopup = [this] { RefreshPorts(); };

  OKBtn = new QPushButton("OK", this);
  OKBtn->setGeometry(119, 180, 75, 25);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &TCom_Form::OKBtnClick);
  CentreOnScreen(this);
  FormCreate();
}

void TCom_Form::FormCreate() {
  PortChoice->setCurrentIndex(0);
}

void TCom_Form::RefreshPorts() {
  const QString text = PortChoice->currentText();
  while (PortChoice->count() > kFixedItems) PortChoice->removeItem(kFixedItems);
  for (const TPortItem& item : Lister())
    PortChoice->addItem(QString::fromStdString(item.Shown), QString::fromStdString(item.Name));
  const int index = PortChoice->findText(text, Qt::MatchFixedString);
  if (index >= 0)
    PortChoice->setCurrentIndex(index);
  else
    PortChoice->setEditText(text);
}

// An item stands for its name (attached ports carry it as data); typed text for itself.
TPortChoice TCom_Form::Choice() const {
  const QString text = PortChoice->currentText();
  const int index = PortChoice->findText(text, Qt::MatchFixedString);
  const QString name = index >= kFixedItems ? PortChoice->itemData(index).toString() : text;
  return ParsePortName(name.toStdString());
}

void TCom_Form::OKBtnClick() {
  if (ComRouter != nullptr) {
    ComRouter->SwitchPort(Choice());
    hide();
    return;
  }
  ApplyPortChoice(Choice(), *Engine, *Rs232, *Usb);

  ComRouter = new TCom_Router(*Engine, *Usb, *Rs232);
  // An instrument plugged in after the logger started is found as after a pulled cable.
  ComRouter->SetWaitForPort(true);
  ComRouter->Start();
  MainRouter = new TMain_Router(*Engine, *Main_Form);
  MainRouter->Start();
  GpsRouter = new TGPS_Router(*Engine, *Main_Form, *MapRange_Form);
  GpsRouter->Start();

  Main_Form->showNormal();
  Main_Form->activateWindow();
  hide();
}

void TCom_Form::showEvent(QShowEvent* event) {
  RefreshPorts();
  QDialog::showEvent(event);
}

// No port chosen, nothing started: the program ends as if it had never been asked. Once the
// run has begun, the port in use stays.
void TCom_Form::reject() {
  hide();
  if (ComRouter == nullptr) QCoreApplication::quit();
}

}  // namespace vireon
