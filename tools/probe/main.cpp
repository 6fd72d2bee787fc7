// marlune-probe: stands in for the mapping program. It waits for the map update signal on the
// session bus and prints the record it then reads from the shared-memory block as one JSON line.
// Exit status: 0 after --count records (or never, without --count), 1 on a usage error, 2 when
// there is no session bus, 3 when --timeout seconds pass before --count records.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "gps/MapLink.h"
#include "platform/SharedMemory.h"

namespace {

struct Options {
  long Count = 0;  // 0: run until killed
  long TimeoutSeconds = 0;
  std::string BlockName = vireon::kMapBlockName;
};

class Probe : public QObject {
  Q_OBJECT

 public:
  explicit Probe(Options options) : Opts(std::move(options)) {}

 public slots:
  void MapUpdate() {
    // Looked up by name at every notification: the logger makes the block afresh when it was
    // removed, and removes it when it ends.
    if (!Block.Open(Opts.BlockName, vireon::kMapBlockSize, false)) return;
    vireon::TMapRecord r = vireon::ReadMapRecord(Block.View());
    nlohmann::json line = {{"latitude", r.Latitude},
                           {"longitude", r.Longitude},
                           {"rssi", r.RSSI},
                           {"range", {{"min", r.RSSIMin}, {"max", r.RSSIMax}}},
                           {"serial", r.SerialNumber}};
    std::cout << line.dump() << std::endl;
    if (Opts.Count > 0 && ++Seen >= Opts.Count) QCoreApplication::exit(0);
  }

 private:
  Options Opts;
  vireon::SharedMemory Block;
  long Seen = 0;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    char* end = nullptr;
    if (arg == "--count") {
      options.Count = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || options.Count < 1) return false;
    } else if (arg == "--timeout") {
      options.TimeoutSeconds = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || options.TimeoutSeconds < 1) return false;
    } else if (arg == "--name") {
      options.BlockName = argv[++i];
      if (options.BlockName.size() < 2 || options.BlockName[0] != '/') return false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << "usage: marlune-probe [--count N] [--timeout SECONDS] [--name /BLOCK]\n";
    return 1;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::cerr << "marlune-probe: no session bus\n";
    return 2;
  }
  Probe probe(options);
  if (!bus.connect(QString(), vireon::kMapBusPath, vireon::kMapBusInterface, vireon::kMapBusSignal,
                   &probe, SLOT(MapUpdate()))) {
    std::cerr << "marlune-probe: cannot listen on the session bus\n";
    return 2;
  }
  // Tells a waiting test that notifications from now on will be seen.
  std::cerr << "marlune-probe: listening" << std::endl;
  if (options.TimeoutSeconds > 0)
    QTimer::singleShot(options.TimeoutSeconds * 1000, &app, [] { QCoreApplication::exit(3); });
  return app.exec();
}

#include "main.moc"
