#include "shell/MainRouter.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>

#include "log/LogRouter.h"
#include "model/Engine.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"

namespace vireon {

QString RangeText(double value) {
  QLocale locale;  // the system's, unless the application chose another
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(value, 'g', 15);
}

QString MarkerText(int marker) {
  return QString("Mrkr #%1").arg(marker % 100);
}

TMain_Router::TMain_Router(TEngine& engine, TMain_Form& form) : Model(engine), Form(form) {}

TMain_Router::~TMain_Router() {
  RequestStop();
  Join();
}

void TMain_Router::Execute() {
  while (!StopRequested.load()) {
    switch (WaitAny({&StatusEvent, &Model.ClockEvent}, 1000)) {
      case 0:
        RunOnUiThread([this] { RefreshStatus(); });
        StatusEvent.Reset();
        break;
      case 1:
        RunOnUiThread([this] { RefreshClock(); });
        Model.ClockEvent.Reset();
        break;
      default:
        break;
    }
  }
}

void TMain_Router::RefreshStatus() {
  if (LogRouter != nullptr)
    Form.edFileSize->setText(QString::asprintf("%ld kB", long{LogRouter->FileSizeKB()}));
  Form.edSN->setText("SN: " + QString::fromLatin1(Model.SerialNumber().c_str()));
  QString status = QString::fromStdString(Model.StatusText());
  if (!Form.MapLinkNotice.isEmpty()) status += "  |  " + Form.MapLinkNotice;
  if (LogRouter != nullptr && Form.LogModeDown())
    status += "  |  Logging to " + QFile::decodeName(LogRouter->FileName.c_str());
  Form.sbarPanels[0]->setText(status);
  ShowLinkState(*Form.sbarPanels[0], Model.LinkDown.load());
  if (Model.ConfigChanged.load() != 0) {
    const TRF r1 = Model.Receiver(0);
    const TRF r2 = Model.Receiver(1);
    Form.edMin1->setText(RangeText(r1.LowEdgeMHz()));
    Form.edMax1->setText(RangeText(r1.HighEdgeMHz()));
    Form.edStep1->setText(RangeText(r1.StepKHz));
    Form.edMin2->setText(RangeText(r2.LowEdgeMHz()));
    Form.edMax2->setText(RangeText(r2.HighEdgeMHz()));
    Form.edStep2->setText(RangeText(r2.StepKHz));
    Model.ConfigChanged.store(0);
  }
}

// A link that is down must be hard to miss: the connection text on a warning colour.
void ShowLinkState(QLabel& panel, bool down) {
  if (panel.autoFillBackground() == down) return;
  QPalette p = QApplication::palette();
  if (down) {
    p.setColor(QPalette::Window, QColor(255, 255, 160));
    p.setColor(QPalette::WindowText, QColor(160, 0, 0));
  }
  panel.setPalette(p);
  panel.setAutoFillBackground(down);
}

void TMain_Router::RefreshClock() {
  Form.edRTCDate->setText(QString::fromLatin1(Model.ClockDateText().c_str()));
  Form.edRTCTime->setText(QString::fromLatin1(Model.ClockTimeText().c_str()));
  Form.edMarker->setText(MarkerText(Model.MarkerNumber.load()));
}

}  // namespace vireon
