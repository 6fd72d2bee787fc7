#include "log/LogControl.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <algorithm>

#include "log/LogWarningForm.h"
#include "model/Engine.h"

namespace vireon {

TLogControl::TLogControl(TEngine& engine, TLog_Router*& logRouter, QLineEdit* logFile,
                         QAbstractButton* btnLogMode, TLogWarningForm* warningForm, QObject* parent)
    : QObject(parent),
      Engine(engine),
      LogRouter(logRouter),
      LogFile(logFile),
      btnLogMode(btnLogMode),
      WarningForm(warningForm) {}

TLogControl::~TLogControl() {
  Engine.SetLogSink(nullptr);
  LogRouter = nullptr;
  for (auto& writer : Writers) writer->RequestStop();
  Writers.clear();
}

bool TLogControl::Logging() const {
  return btnLogMode->isChecked();
}

void TLogControl::btnLogFileClick() {
  if (Logging()) return;  // the running writer keeps its file
  std::optional<QString> chosen;
  if (ChooseFile) {
    chosen = ChooseFile();
  } else {
    QFileDialog dialog(LogFile->window());
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      chosen = dialog.selectedFiles().first();
    }
  }
  if (chosen) LogFile->setText(*chosen);
}

void TLogControl::btnLogModeClick() {
  if (btnLogMode->isChecked()) {
    StartLogging();
  } else {
    StopLogging();
  }
}

void TLogControl::StartLogging() {
  const std::optional<std::string> name =
      KlfFileName(QFile::encodeName(LogFile->text()).toStdString());
  if (!name) {
    btnLogMode->setChecked(false);
    ShowMessage ? ShowMessage(2, tr("The log file name is longer than 511 characters."))
                : DefaultMessage(2, tr("The log file name is longer than 511 characters."));
    return;
  }
  WarningForm->show();
  ReleaseFinishedWriters();
  auto writer = std::make_unique<TLog_Router>(Engine, *name);
  const uint64_t generation = ++Generation;
  // The writer's thread only queues the report; the UI acts on it in its own time.
  writer->SetReportHandler([this, generation](const TLogReport& report) {
    QMetaObject::invokeMethod(
        this, [this, generation, report] { OnReport(generation, report); }, Qt::QueuedConnection);
  });
  writer->Start();
  Engine.SetLogSink(writer.get());
  LogRouter = writer.get();
  Writers.push_back(std::move(writer));
  // Only now: the instrument's answer must find the writer in place.
  Engine.RequestConfig();
  SetFileChoice(false);
}

void TLogControl::StopLogging() {
  // Detached first, so nothing reaches the writer after its stop; LogRouter keeps pointing at
  // it for the file size.
  Engine.SetLogSink(nullptr);
  if (LogRouter != nullptr) LogRouter->RequestStop();
  SetFileChoice(true);
}

void TLogControl::SetFileChoice(bool enabled) {
  LogFile->setEnabled(enabled);
  if (FileButton != nullptr) FileButton->setEnabled(enabled);
}

void TLogControl::OnReport(uint64_t generation, const TLogReport& report) {
  if (report.Fatal() && generation == Generation && btnLogMode->isChecked()) {
    btnLogMode->setChecked(false);
    StopLogging();
    // Its steps are for a log that is being written; there is none.
    WarningForm->hide();
  }
  const int kind = report.Fatal() ? 2 : report.What == TLogReport::Repaired ? 0 : 1;
  const QString text = QString::fromLocal8Bit(report.Text.c_str());
  ShowMessage ? ShowMessage(kind, text) : DefaultMessage(kind, text);
}

// A writer detached at the previous switch-off may still be inside a PostPacket the engine began
// before the detach; only writers stopped before that one are released.
void TLogControl::ReleaseFinishedWriters() {
  std::erase_if(Writers, [this](const std::unique_ptr<TLog_Router>& writer) {
    return writer.get() != LogRouter && writer->Finished();
  });
}

void TLogControl::DefaultMessage(int kind, const QString& text) {
  QPointer<QMessageBox>& box = OpenBoxes[kind];
  if (box) {
    box->setText(text);
    return;
  }
  const QMessageBox::Icon icons[] = {QMessageBox::Information, QMessageBox::Warning,
                                     QMessageBox::Critical};
  const char* captions[] = {"Information", "Warning", "Error"};
  box = new QMessageBox(icons[kind], captions[kind], text, QMessageBox::Ok, LogFile->window());
  box->setAttribute(Qt::WA_DeleteOnClose);
  // Never modal: the log button must stay within reach while the user reads.
  box->setWindowModality(Qt::NonModal);
  box->show();
}

}  // namespace vireon
