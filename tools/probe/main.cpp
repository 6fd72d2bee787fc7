// marlune-probe: stands in for the mapping program. It waits for the map update signal on the
// session bus and prints the record it then reads from the shared-memory block as one JSON line.
// Exit status: 0 after --count records (or never, without --count), 2 on a usage error or when
// there is no session bus, 1 when --timeout seconds pass before --count records.

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
#include "platform/CommandLine.h"
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

constexpr const char* kUsage =
    "Usage: marlune-probe [--count N] [--timeout SECONDS] [--name /BLOCK]\n"
    "Listens for the Vireon Data Logger's map updates (NDQ_MAP_UPDATE on the session bus) and\n"
    "prints the map record of each as one JSON line.\n"
    "\n"
    "  --count N          exit after N records\n"
    "  --timeout SECONDS  give up after SECONDS (exit status 1)\n"
    "  --name /BLOCK      the shared-memory block to read (default /NDQMARLUNE)\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Exit status: 0 success, 2 usage error or no session bus, 1 timed out.\n";

int main(int argc, char** argv) {
  if (auto code = vireon::AnswerStandardOption(argc, argv, "marlune-probe", kUsage)) return *code;
  QCoreApplication app(argc, argv);
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << kUsage;
    return vireon::kExitUsage;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::cerr << "marlune-probe: no session bus\n";
    return vireon::kExitUsage;
  }
  Probe probe(options);
  if (!bus.connect(QString(), vireon::kMapBusPath, vireon::kMapBusInterface, vireon::kMapBusSignal,
                   &probe, SLOT(MapUpdate()))) {
    std::cerr << "marlune-probe: cannot listen on the session bus\n";
    return vireon::kExitUsage;
  }
  // Tells a waiting test that notifications from now on will be seen.
  std::cerr << "marlune-probe: listening" << std::endl;
  if (options.TimeoutSeconds > 0)
    QTimer::singleShot(options.TimeoutSeconds * 1000, &app,
                       [] { QCoreApplication::exit(vireon::kExitFailure); });
  return app.exec();
}

#include "main.moc"
