#include "shell/Application.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>
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
  setDesktopFileName(kApplicationId);
  setWindowIcon(QIcon(":/icons/vireon.svg"));
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
  // Transient for the main window, so it is never buried behind it.
  LogWarningForm = new TLogWarningForm(*Engine, Main_Form);
}

namespace {
int StopSignalPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  // Only async-signal-safe work here; the event loop does the rest.
  if (::write(StopSignalPipe[1], &byte, 1) < 0) return;
}
}  // namespace

void CloseOnStopSignals() {
  if (::pipe2(StopSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(StopSignalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
    char byte;
    while (::read(StopSignalPipe[0], &byte, 1) > 0) {
    }
    if (Main_Form != nullptr && Main_Form->isVisible())
      Main_Form->close();
    else
      QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace vireon
