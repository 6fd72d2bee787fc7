#include "shell/UiDispatcher.h"

#include <QCoreApplication>
#include <QThread>

namespace vireon {

QtUiDispatcher::QtUiDispatcher() = default;

void QtUiDispatcher::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
}

bool QtUiDispatcher::IsUiThread() const {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace vireon
