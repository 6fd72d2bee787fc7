#include "shell/Application.h"

#include <QMessageBox>
#include <QStyleFactory>
#include <exception>

#include "gps/Gps.h"
#include "gps/MapRangeForm.h"
#include "link/ComForm.h"
#include "link/Rs232.h"
#include "link/Usb.h"
#include "log/LogWarningForm.h"
#include "model/Engine.h"
#include "shell/AboutDlg.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"
#include "shell/UiDispatcher.h"

namespace vireon {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("NDQ Vireon DL");
  setStyle(QStyleFactory::create("Fusion"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(e.what());
  }
  return false;
}

void ShowException(const char* what) {
  QMessageBox::critical(nullptr, "NDQ Vireon DL", QString::fromLocal8Bit(what));
}

void CreateProcessObjects() {
  static QtUiDispatcher dispatcher;
  SetUiDispatcher(&dispatcher);
  Gps = new TGPSShared;
  Engine = new TEngine(*Gps);
  Usb = new TUSB;
  Rs232 = new TRS232;
}

void CreateForms() {
  Main_Form = new TMain_Form;
  Engine->SetHost(Main_Form);
  AboutDlg = new TAboutDlg;
  MapRange_Form = new TMapRange_Form;
  Com_Form = new TCom_Form;
  Com_Form->show();
  LogWarningForm = new TLogWarningForm(*Engine);
}

}  // namespace vireon
