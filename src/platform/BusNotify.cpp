#include "platform/BusNotify.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <atomic>
#include <cstdlib>

namespace vireon {

namespace {
// Each notifier owns a named connection, so several (tests) never share or close each other's.
std::string NextConnectionName() {
  static std::atomic<int> counter{0};
  return "vireon-notify-" + std::to_string(counter.fetch_add(1));
}
}  // namespace

BusNotify::BusNotify(std::string path, std::string interface, std::string name)
    : Path(std::move(path)),
      Interface(std::move(interface)),
      Name(std::move(name)),
      ConnectionName(NextConnectionName()) {}

BusNotify::~BusNotify() {
  if (Connected) QDBusConnection::disconnectFromBus(QString::fromStdString(ConnectionName));
}

bool BusNotify::Connect() {
  QString id = QString::fromStdString(ConnectionName);
  // The address is looked up afresh on each try: the bus library keeps the first one it saw.
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  QDBusConnection bus = address != nullptr && *address != '\0'
                            ? QDBusConnection::connectToBus(QString::fromLocal8Bit(address), id)
                            : QDBusConnection::connectToBus(QDBusConnection::SessionBus, id);
  if (!bus.isConnected()) {
    // A failed connection stays registered under its name; drop it so the next try is fresh.
    QDBusConnection::disconnectFromBus(id);
    return false;
  }
  Connected = true;
  ++Connects;
  return true;
}

bool BusNotify::Send() {
  QString id = QString::fromStdString(ConnectionName);
  if (Connected && !QDBusConnection(id).isConnected()) {
    QDBusConnection::disconnectFromBus(id);
    Connected = false;
  }
  if (!Connected && !Connect()) return false;
  QDBusMessage signal =
      QDBusMessage::createSignal(QString::fromStdString(Path), QString::fromStdString(Interface),
                                 QString::fromStdString(Name));
  if (!QDBusConnection(id).send(signal)) return false;
  ++Sent;
  return true;
}

}  // namespace vireon
