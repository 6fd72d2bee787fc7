#pragma once
// The logging controls of the main window: choosing the file, switching logging on and off, and
// reacting to what the log writer reports. Runs on the UI thread only. Every start of logging
// makes a new writer; a stopped writer stays reachable through LogRouter, so its file's size is
// still shown, until the next start. While logging runs the file cannot be changed; a log that
// cannot be written switches logging off and closes the warning dialog it opened.

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "log/KlfFile.h"
#include "log/LogRouter.h"

class QAbstractButton;
class QLineEdit;
class QMessageBox;

namespace vireon {

class TEngine;
class TLogWarningForm;

class TLogControl : public QObject {
  Q_OBJECT

 public:
  // Message kinds as the rest of the program shows them: 0 information, 1 warning, 2 error.
  using Messenger = std::function<void(int kind, const QString& text)>;
  using FileChooser = std::function<std::optional<QString>()>;

  // logRouter is the process-wide pointer the status thread reads; it is kept current here.
  TLogControl(TEngine& engine, TLog_Router*& logRouter, QLineEdit* logFile,
              QAbstractButton* btnLogMode, TLogWarningForm* warningForm, QObject* parent = nullptr);
  // Stops every writer and waits until each has written what it was handed and closed its file.
  // The communications thread must be stopped first: it may be inside PostPacket.
  ~TLogControl() override;

  // Without these, a file dialog and non-blocking message boxes are used.
  void SetFileChooser(FileChooser chooser) { ChooseFile = std::move(chooser); }
  void SetMessenger(Messenger messenger) { ShowMessage = std::move(messenger); }
  // The button that chooses the file: it has no say while logging runs.
  void SetFileButton(QAbstractButton* button) { FileButton = button; }

  bool Logging() const;

 public slots:
  void btnLogFileClick();
  // Acts on btnLogMode's state after the click: down switches logging on, up switches it off.
  void btnLogModeClick();

 private:
  void StartLogging();
  void StopLogging();
  void SetFileChoice(bool enabled);
  void OnReport(uint64_t generation, const TLogReport& report);
  void ReleaseFinishedWriters();
  void DefaultMessage(int kind, const QString& text);

  TEngine& Engine;
  TLog_Router*& LogRouter;
  QLineEdit* LogFile;
  QAbstractButton* btnLogMode;
  QAbstractButton* FileButton = nullptr;
  TLogWarningForm* WarningForm;
  FileChooser ChooseFile;
  Messenger ShowMessage;
  std::vector<std::unique_ptr<TLog_Router>> Writers;
  uint64_t Generation = 0;  // of the current writer; reports from older ones never switch off
  std::map<int, QPointer<QMessageBox>> OpenBoxes;  // one box per kind at a time
};

}  // namespace vireon
