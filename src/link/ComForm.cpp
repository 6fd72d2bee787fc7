#include "link/ComForm.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>

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
constexpr int kUsbItem = 4;
const char* const kItems[] = {"COM1:", "COM2:", "COM3:", "COM4:", "USB"};
}  // namespace

TPortChoice PortChoiceOf(int itemIndex, const QString& text, const QString& itemDevice) {
  TPortChoice c;
  if (itemIndex == kUsbItem) {
    c.LinkMode = 2;
    return c;
  }
  if (itemIndex >= 0 && itemIndex < kUsbItem) {
    c.PortNumber = static_cast<int16_t>(itemIndex + 1);
  } else if (itemIndex > kUsbItem) {
    c.DevicePath = itemDevice;
  } else if (text.trimmed().startsWith('/')) {
    c.DevicePath = text.trimmed();
  }
  // Any other text names no port: port number 0, whose open fails and says so.
  return c;
}

TCom_Form::TCom_Form(QWidget* parent) : QDialog(parent) {
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

  PortChoice = new QComboBox(this);
  PortChoice->setGeometry(128, 122, 161, 24);
  PortChoice->setEditable(true);
  PortChoice->setInsertPolicy(QComboBox::NoInsert);
  PortChoice->setFont(BoldFont(font()));
  SetTextColor(PortChoice, kRed);
  for (const char* item : kItems) PortChoice->addItem(item);
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
    const QString shown = port.description().isEmpty()
                              ? port.systemLocation()
                              : port.systemLocation() + " - " + port.description();
    PortChoice->addItem(shown, port.systemLocation());
  }

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

TPortChoice TCom_Form::Choice() const {
  const QString text = PortChoice->currentText();
  const int index = PortChoice->findText(text, Qt::MatchFixedString);
  const QString device = index >= 0 ? PortChoice->itemData(index).toString() : QString();
  return PortChoiceOf(index, text, device);
}

void TCom_Form::OKBtnClick() {
  const TPortChoice choice = Choice();
  Engine->LinkMode.store(choice.LinkMode);
  Engine->PortNumber.store(choice.PortNumber);
  Rs232->SetDevicePath(choice.DevicePath.toStdString());

  ComRouter = new TCom_Router(*Engine, *Usb, *Rs232);
  ComRouter->Start();
  MainRouter = new TMain_Router(*Engine, *Main_Form);
  MainRouter->Start();
  GpsRouter = new TGPS_Router(*Engine, *Main_Form, *MapRange_Form);
  GpsRouter->Start();

  Main_Form->showNormal();
  Main_Form->activateWindow();
  hide();
}

// The dialog has no cancel: Escape leaves it open rather than leave a run with no window.
void TCom_Form::reject() {}

}  // namespace vireon
