// The main window's handlers: tick, screen switching, tiling, menu and shutdown.
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolButton>

#include "display/DBar.h"
#include "display/RRouter.h"
#include "gps/MapRangeForm.h"
#include "link/ComForm.h"
#include "log/LogControl.h"
#include "model/Engine.h"
#include "shell/AboutDlg.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"
#include "shell/MainRouter.h"
#include "shell/ManualOpener.h"
#include "shell/MessageBox.h"
#include "shell/Shutdown.h"

namespace vireon {

namespace {
bool Shown(const QWidget* w) {
  return !w->isHidden();
}

// The system's long time format without the zone name Qt adds to it.
QString LongTimeFormat() {
  QString f = QLocale::system().timeFormat(QLocale::LongFormat);
  f.remove('t');
  return f.trimmed();
}
}  // namespace

void TMain_Form::FormCreate() {
  olClock->setParent(sbarVireon);
  olClock->setAutoFillBackground(true);
  // The system's colours, not the label's own: its palette already says maroon everywhere.
  const QPalette system = QApplication::palette();
  QPalette p = olClock->palette();
  p.setColor(QPalette::Window, system.color(QPalette::Button));
  p.setColor(QPalette::WindowText, system.color(QPalette::ButtonText));
  olClock->setPalette(p);
  olClock->show();
  sbarVireonDrawPanel();

  ReceiverPanels = {Receiver1Panel, Receiver2Panel};
  for (int i = 0; i < 2; ++i) ConfigureBar(i);
  ArrangeReceiverPanels();
}

void TMain_Form::ConfigureBar(int i) {
  ReceiverRouters[i] = new TR_Router(*Engine, static_cast<int16_t>(i));
  DBar* bar = new DBar(ReceiverPanels[i]);
  Bars[i] = bar;
  bar->ShowRightAxis = false;
  bar->ShowXLabels = false;
  bar->ShowScaledXLabels = false;
  bar->BarColor = QColor(128, 0, 0);
  bar->SetYCaption("RSSI (dBm)");
  bar->SetTitle("");
  bar->SetFooter("");
  bar->XDecimals = 0;
  bar->ScaledXDecimals = 0;
  bar->SetXMin(0.0);
  bar->SetXMax(2.0);
  bar->SetYMin(-120.0);
  bar->SetYMax(-30.0);
  bar->ZoomLow = 0.0;
  bar->ZoomHigh = 11.0;
  bar->ZoomMinSpan = 2.0;
  bar->ZoomEnabled = false;
  bar->Markers[2].Visible = false;
  bar->Markers[3].Visible = false;
  DBar::PlaceControl(bar, 0, 0, ReceiverPanels[i]->width(), ReceiverPanels[i]->height());
}

void TMain_Form::Timer1Timer() {
  olClock->setText(QTime::currentTime().toString(LongTimeFormat()));
  if (MainRouter != nullptr) MainRouter->StatusEvent.Set();
  for (int i = 0; i < 2; ++i) {
    if (Engine->SingleDataReady[i].load() == 1) {
      Engine->ReceiverEvent[i].Set();
      Engine->SingleDataReady[i].store(0);
    }
  }
}

void TMain_Form::sbarVireonDrawPanel() {
  olClock->setGeometry(sbarPanels[1]->geometry());
}

bool TMain_Form::eventFilter(QObject* watched, QEvent* event) {
  const bool geometry = event->type() == QEvent::Resize || event->type() == QEvent::Move;
  if (geometry && watched == sbarPanels[1]) sbarVireonDrawPanel();
  if (event->type() == QEvent::Resize && watched == Receiver1Panel) Receiver1PanelResize();
  if (event->type() == QEvent::Resize && watched == Receiver2Panel) Receiver2PanelResize();
  return QMainWindow::eventFilter(watched, event);
}

void TMain_Form::FormResize() {
  ArrangeReceiverPanels();
}

void TMain_Form::ArrangeReceiverPanels() {
  const int T = pnlStatus->y();
  const int L = pnlStatus->x() + pnlStatus->width();
  int W = pnlReceiverInfo->x() - pnlStatus->width();
  int H = pnlStatus->height();
  Engine->RangeCaptionStale[0].store(1);
  Engine->RangeCaptionStale[1].store(1);
  if (Shown(Receiver1Panel)) Receiver1Panel->move(L, T);
  if (Shown(Receiver1Panel) && Shown(Receiver2Panel)) {
    if (btnTileV->isChecked()) {
      H = H / 2;
      Receiver2Panel->move(L, Receiver1Panel->y() + H);
    } else {
      W = W / 2;
      Receiver2Panel->move(Receiver1Panel->x() + W, T);
    }
  } else if (Shown(Receiver2Panel)) {
    Receiver2Panel->move(L, T);
  }
  for (QFrame* panel : ReceiverPanels) {
    if (Shown(panel)) panel->resize(W + 2, H + 1);
  }
}

void TMain_Form::Receiver1PanelResize() {
  ReplaceBar(0);
}

void TMain_Form::Receiver2PanelResize() {
  ReplaceBar(1);
}

// A graph placed anew shows its grid alone: its display thread redraws it at once from the
// levels the engine already holds, rather than at the receiver's next packet. Until the
// instrument has said the receiver is there, it holds no levels and the graph stays empty.
void TMain_Form::ReplaceBar(int i) {
  if (Bars[i] == nullptr) return;
  DBar::PlaceControl(Bars[i], 0, 0, ReceiverPanels[i]->width(), ReceiverPanels[i]->height());
  if (Engine->ReceiverActive[i].load() != 0) Engine->ReceiverEvent[i].Set();
}

void TMain_Form::btnGPSPanelClick() {
  GPSPanel->show();
  Receiver1Panel->hide();
  Receiver2Panel->hide();
}

void TMain_Form::btnReceiverPanelsClick() {
  GPSPanel->hide();
  if (btnReceiver1->isChecked()) Receiver1Panel->show();
  if (btnReceiver2->isChecked()) Receiver2Panel->show();
  ArrangeReceiverPanels();
}

void TMain_Form::ReceiverButtonClick(int i, QToolButton* button) {
  QFrame* panel = ReceiverPanels[i];
  // The GPS screen is the chosen one, not merely the GPS panel lying beneath the receivers.
  if (button->isChecked() && btnGPSPanel->isChecked()) {
    ArrangeReceiverPanels();
    return;
  }
  panel->setVisible(button->isChecked());
  ArrangeReceiverPanels();
}

void TMain_Form::btnReceiver1Click() {
  ReceiverButtonClick(0, btnReceiver1);
}
void TMain_Form::btnReceiver2Click() {
  ReceiverButtonClick(1, btnReceiver2);
}
void TMain_Form::btnTileHClick() {
  ArrangeReceiverPanels();
}
void TMain_Form::btnTileVClick() {
  ArrangeReceiverPanels();
}

void TMain_Form::PortClick() {
  if (Com_Form == nullptr) return;
  Com_Form->show();
  Com_Form->raise();
  Com_Form->activateWindow();
}

void TMain_Form::MapClick() {
  if (MapRange_Form != nullptr) MapRange_Form->show();
}

void TMain_Form::AboutClick() {
  if (AboutDlg != nullptr) AboutDlg->show();
}

static QString UserManualPath() {
  // The current folder first, as the program always looked; then where the package put it.
  for (const QString& folder : {QString("."), QString(VIREON_DOC_DIR)}) {
    const QFileInfo manual(QDir(folder), "Vireon1.0.pdf");
    if (manual.exists()) return manual.absoluteFilePath();
  }
  return {};
}

void TMain_Form::UserManualClick() {
  const QString manual = UserManualPath();
  if (manual.isEmpty())
    ShowMessageBox(0, "Could Not Load User Manual!!!");
  else
    OpenUserManual(this, manual);
}

void TMain_Form::Exit1Click() {
  close();
}

TLogControl& TMain_Form::Logging() {
  if (!LogControl) {
    LogControl =
        std::make_unique<TLogControl>(*Engine, LogRouter, LogFile, btnLogMode, LogWarningForm);
    LogControl->SetFileButton(btnLogFile);
    LogControl->SetFileChooser([this]() -> std::optional<QString> {
      if (dlgOpenLog->exec() != QDialog::Accepted || dlgOpenLog->selectedFiles().isEmpty())
        return std::nullopt;
      return dlgOpenLog->selectedFiles().first();
    });
  }
  return *LogControl;
}

void TMain_Form::btnLogFileClick() {
  Logging().btnLogFileClick();
}
void TMain_Form::btnLogModeClick() {
  Logging().btnLogModeClick();
}

void TMain_Form::PressMode(TMode mode) {
  if (ModeMirror.load() == mode) return;
  QToolButton* button = mode == TMode::Single ? btnSingleMode
                        : mode == TMode::Scan ? btnScanMode
                                              : btnTableMode;
  QMetaObject::invokeMethod(
      button, [button] { button->setChecked(true); }, Qt::QueuedConnection);
}

void TMain_Form::ShowScanWarning(const char* text) {
  if (ScanWarningOpen.exchange(true)) return;
  const QString message = QString::fromLocal8Bit(text);
  QMetaObject::invokeMethod(
      this,
      [this, message] {
        auto* box =
            new QMessageBox(QMessageBox::Warning, "Warning", message, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        // Never modal: it comes back while the scan set-up is missing, and the user must still
        // reach the log button, the menus and the close button.
        box->setWindowModality(Qt::NonModal);
        connect(box, &QMessageBox::finished, this, [this] { ScanWarningOpen.store(false); });
        box->show();
      },
      Qt::QueuedConnection);
}

void TMain_Form::FormClose() {
  if (Closed) return;
  Closed = true;
  Timer1->stop();
  // Off the screen first: joining the workers takes up to a second, which must not look frozen.
  for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  StopWorkers();
  // After the communications thread: every writer writes what it was handed and closes its file.
  LogControl.reset();
}

void TMain_Form::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
  QMainWindow::closeEvent(event);
  // Other windows (map range, About) may still be open: closing this one ends the run.
  QCoreApplication::quit();
}

}  // namespace vireon
