#include "shell/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/Worker.h"

namespace vireon {

namespace {
std::atomic<bool> Abandoned{false};

QMessageBox::Icon IconOf(int16_t kind) {
  switch (kind) {
    case 1:
      return QMessageBox::Warning;
    case 2:
      return QMessageBox::Critical;
    default:
      return QMessageBox::Information;
  }
}
}  // namespace

QString MessageBoxCaption(int16_t kind) {
  switch (kind) {
    case 1:
      return "Warning";
    case 2:
      return "Error";
    default:
      return "Information";
  }
}

int ShowMessageBox(int16_t kind, const char* format, ...) {
  char text[128];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);

  const QString message = QString::fromLocal8Bit(text);
  int result = 0;
  RunOnUiThreadAndWait(
      [&] {
        QMessageBox box(IconOf(kind), MessageBoxCaption(kind), message, QMessageBox::Ok,
                        QApplication::activeWindow());
        result = box.exec();
      },
      Abandoned);
  return result;
}

void AbandonMessageBoxes(bool abandon) {
  Abandoned.store(abandon);
}

}  // namespace vireon
