#include "platform/BusNotify.h"

#include <sys/stat.h>

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
// The session bus's address, looked up afresh on each try (the bus library keeps the first one it
// saw): the environment's, else the user's bus socket in the runtime folder. Empty when neither
// exists: asking the library for the session bus then would have it launch a bus daemon, a
// process started and failing for every notification.
std::string SessionBusAddress() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return address;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') return {};
  const std::string socket = std::string(runtime) + "/bus";
  struct stat node {};
  if (stat(socket.c_str(), &node) != 0 || !S_ISSOCK(node.st_mode)) return {};
  return "unix:path=" + socket;
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
  const std::string address = SessionBusAddress();
  if (address.empty()) return false;
  QString id = QString::fromStdString(ConnectionName);
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), id);
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
