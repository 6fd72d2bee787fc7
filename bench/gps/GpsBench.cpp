// Figure for the map link, printed as text: the time from the last byte of a GPS report frame
// written on the pseudo-terminal to the map update signal arriving at a listener on a private
// session bus. On the way: the communications thread, the engine's decode, the GPS thread, the
// GPS screen update on the UI thread (offscreen), the map record and the bus. The listener is a
// second bus connection in this process, so both ends share one clock.
// Usage: bench_gps [reports, default 50]

#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QObject>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "MapTestSupport.h"
#include "Pty.h"
#include "display/RRouter.h"
#include "gps/GpsRouter.h"
#include "gps/MapRangeForm.h"
#include "link/ComRouter.h"
#include "link/Packet.h"
#include "model/Engine.h"
#include "platform/SharedMemory.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"
#include "shell/UiDispatcher.h"

namespace {

using Clock = std::chrono::steady_clock;

class Listener : public QObject {
  Q_OBJECT

 public:
  Clock::time_point Arrived;
  int Count = 0;

 public slots:
  void MapUpdate() {
    Arrived = Clock::now();
    ++Count;
  }
};

// A report from a receiver on the move: only the position changes between reports.
std::vector<uint8_t> Report(int i) {
  std::vector<uint8_t> payload(vireon::kGpsReportSize, 0);
  int32_t lat = 198000000 + i * 100;
  for (int k = 0; k < 4; ++k) {
    payload[31 + k] = static_cast<uint8_t>(static_cast<uint32_t>(lat) >> (24 - 8 * k));
    payload[15 + k] = payload[31 + k];
  }
  payload[129] = 7 << 5;
  return payload;
}

bool WaitUntil(const std::function<bool()>& done) {
  auto end = Clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vireon;
  const int reports = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  test::PrivateBus bus;
  if (!bus.Start()) {
    std::fprintf(stderr, "bench_gps: cannot start dbus-daemon\n");
    return 1;
  }
  QApplication app(argc, argv);
  QtUiDispatcher dispatcher;
  SetUiDispatcher(&dispatcher);

  sim::TPty pty;
  if (!pty.Create()) {
    std::fprintf(stderr, "bench_gps: %s\n", pty.Error.c_str());
    return 1;
  }
  const std::string block = "/vireon-bench-" + std::to_string(getpid());
  TGPSShared gps;
  TEngine engine(gps);
  Engine = &engine;
  engine.LinkMode = 1;
  TUSB usb;
  TRS232 rs232;
  rs232.SetDevicePath(pty.SlavePath);
  TMain_Form form;
  TMapRange_Form range;
  TCom_Router com(engine, usb, rs232);
  TGPS_Router router(engine, form, range, std::make_unique<TMapLink>(block));

  Listener listener;
  QDBusConnection listen = QDBusConnection::connectToBus(bus.Address.c_str(), "bench-listener");
  listen.connect(QString(), kMapBusPath, kMapBusInterface, kMapBusSignal, &listener,
                 SLOT(MapUpdate()));
  com.Start();
  router.Start();
  // Opening the port discards what was waiting on the line: start once the link is up.
  if (!WaitUntil([&] { return engine.StatusText().rfind("Connected", 0) == 0; })) {
    std::fprintf(stderr, "bench_gps: the link did not open\n");
    return 1;
  }

  std::vector<double> ms;
  SharedMemory reader;
  for (int i = 0; i < reports; ++i) {
    // Start each report with the GPS thread idle, as at the instrument's once-a-second pace.
    WaitUntil([&] { return !engine.GpsEvent.IsSet(); });
    std::vector<uint8_t> payload = Report(i);
    PacketRecord frame;
    int n = BuildFrame(frame, 0, payload.data(), static_cast<int>(payload.size()));
    const int before = listener.Count;
    if (write(pty.Master, &frame, static_cast<size_t>(n)) != n) break;
    Clock::time_point sent = Clock::now();
    if (!WaitUntil([&] { return listener.Count > before; })) break;
    // A notification that does not carry this report's position would be a wrong figure.
    if (!reader.Open(block, kMapBlockSize) ||
        ReadMapRecord(reader.View()).Latitude != gps.Copy().Latitude ||
        std::abs(gps.Copy().Latitude * 3600000 - (198000000 + i * 100)) > 0.5) {
      std::fprintf(stderr, "bench_gps: report %d: the record holds another position\n", i);
      return 1;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(listener.Arrived - sent).count());
  }

  for (Worker* w :
       std::initializer_list<Worker*>{&com, &router, ReceiverRouters[0], ReceiverRouters[1]})
    w->RequestStop();
  for (Worker* w :
       std::initializer_list<Worker*>{&com, &router, ReceiverRouters[0], ReceiverRouters[1]})
    w->Join();
  SharedMemory::Unlink(block);
  if (ms.empty()) {
    std::fprintf(stderr, "bench_gps: no notification arrived\n");
    return 1;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("GPS frame last byte -> map notification at a bus listener, %zu reports\n",
              ms.size());
  std::printf("  median %.2f ms, p90 %.2f ms, min %.2f ms, max %.2f ms (target < 20 ms)\n",
              ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.front(), ms.back());
  return 0;
}

#include "GpsBench.moc"
