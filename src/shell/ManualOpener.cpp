#include "shell/ManualOpener.h"

#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QWidget>

#include "shell/MessageBox.h"

namespace vireon {

namespace {

// xdg-open's exit status 3: no program for the file's type was found.
constexpr int kNoOpenerForType = 3;

QString ReasonOf(QProcess::ExitStatus status, int code) {
  if (status == QProcess::CrashExit)
    return "The desktop's file opener, xdg-open, stopped abnormally.";
  if (code == kNoOpenerForType)
    return "No program to show PDF files is installed: install a PDF viewer, for example evince "
           "or okular.";
  // Desktops whose own opener finds no viewer end xdg-open with 4, as does a viewer that fails.
  return QString(
             "No PDF viewer could show it (xdg-open ended with status %1): install one, for "
             "example evince or okular.")
      .arg(code);
}

void ShowFailure(QWidget* owner, const QString& reason, const QString& path) {
  auto* box = new QMessageBox(QMessageBox::Information, MessageBoxCaption(0),
                              "Could Not Load User Manual!!!", QMessageBox::Ok, owner);
  box->setInformativeText(reason + "\n\nThe manual is the file " + path);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace

void OpenUserManual(QWidget* owner, const QString& path) {
  // No parent on purpose: destroying a running QProcess kills it, and a viewer that xdg-open runs
  // in its foreground must stay open after the logger closes. It has no pipes to lose either.
  auto* opener = new QProcess;
  opener->setStandardInputFile(QProcess::nullDevice());
  opener->setStandardOutputFile(QProcess::nullDevice());
  opener->setStandardErrorFile(QProcess::nullDevice());
  const QPointer<QWidget> parent(owner);
  QObject::connect(opener, &QProcess::errorOccurred, [=](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    ShowFailure(parent,
                "The desktop's file opener, xdg-open, is not installed (package xdg-utils).", path);
    opener->deleteLater();
  });
  QObject::connect(opener, &QProcess::finished, [=](int code, QProcess::ExitStatus status) {
    if (status != QProcess::NormalExit || code != 0)
      ShowFailure(parent, ReasonOf(status, code), path);
    opener->deleteLater();
  });
  opener->start("xdg-open", {path});
}

}  // namespace vireon
