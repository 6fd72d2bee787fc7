#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "MapTestSupport.h"
#include "Process.h"
#include "display/RRouter.h"
#include "gps/GpsRouter.h"
#include "gps/MapRangeForm.h"
#include "link/ComRouter.h"
#include "model/Engine.h"
#include "platform/SharedMemory.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"
#include "shell/UiDispatcher.h"

namespace vireon::test {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "e2e_gps";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

// The logger as the port dialog's OK leaves it, on the simulator's terminal, minus the status
// thread: engine, main window with its display threads, map range dialog, communications and
// GPS threads, all reached through the process-wide pointers as in the program.
struct TLoggerUnderTest {
  explicit TLoggerUnderTest(const std::string& device, const std::string& blockName) {
    Engine = &Model;
    Gps = &GpsRecord;
    Model.LinkMode = 1;
    Model.PortNumber = 0;
    Rs232.SetDevicePath(device);
    Form = std::make_unique<TMain_Form>();
    Main_Form = Form.get();
    Range = std::make_unique<TMapRange_Form>();
    MapRange_Form = Range.get();
    Model.SetHost(Form.get());
    Com = std::make_unique<TCom_Router>(Model, Usb, Rs232);
    Router =
        std::make_unique<TGPS_Router>(Model, *Form, *Range, std::make_unique<TMapLink>(blockName));
    GpsRouter = Router.get();
  }
  ~TLoggerUnderTest() {
    Worker* workers[] = {Com.get(), ReceiverRouters[0], ReceiverRouters[1], Router.get()};
    for (Worker* w : workers) w->RequestStop();
    for (Worker* w : workers) w->Join();
    for (TR_Router*& r : ReceiverRouters) {
      delete r;
      r = nullptr;
    }
    GpsRouter = nullptr;
    MapRange_Form = nullptr;
    Main_Form = nullptr;
    Engine = nullptr;
    Gps = nullptr;
  }
  void Start() {
    Com->Start();
    Router->Start();
  }

  TGPSShared GpsRecord;
  TEngine Model{GpsRecord};
  TUSB Usb;
  TRS232 Rs232;
  std::unique_ptr<TMain_Form> Form;
  std::unique_ptr<TMapRange_Form> Range;
  std::unique_ptr<TCom_Router> Com;
  std::unique_ptr<TGPS_Router> Router;
};

// Reads the probe's next record while the UI thread keeps serving the workers.
bool NextRecord(ProbeProcess& probe, nlohmann::json& record) {
  std::string line;
  for (int i = 0; i < 1000; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (probe.NextRecord(line, 10)) {
      record = nlohmann::json::parse(line);
      return true;
    }
  }
  return false;
}

TEST(GpsWithSimulator, MapRecordsFollowTheSimulatorsTrackWithTheChosenRange) {
  App();
  QtUiDispatcher dispatcher;
  SetUiDispatcher(&dispatcher);
  PrivateBus bus;
  ASSERT_TRUE(bus.Start());
  const std::string blockName = "/vireon-e2e-" + std::to_string(getpid());
  {
    TSim sim({"--serial", "VS000042", "--mode", "scan", "--rate", "20"});
    ASSERT_FALSE(sim.Pty.empty());
    TLoggerUnderTest logger(sim.Pty, blockName);
    logger.Range->edRSSIMin->setText("-110");
    logger.Range->edRSSIMax->setText("-40");
    ProbeProcess probe;
    ASSERT_TRUE(probe.Start({"--count", "4", "--timeout", "120", "--name", blockName}));
    logger.Start();

    std::vector<nlohmann::json> records(4);
    for (nlohmann::json& r : records) ASSERT_TRUE(NextRecord(probe, r));
    for (const nlohmann::json& r : records) {
      EXPECT_NEAR(r["latitude"].get<double>(), 55.6761, 0.05);
      EXPECT_NEAR(r["longitude"].get<double>(), 12.5683, 0.05);
      EXPECT_EQ(r["range"]["min"], -110);
      EXPECT_EQ(r["range"]["max"], -40);
    }
    // The vehicle drives north-east: each report lies further on.
    for (size_t i = 1; i < records.size(); ++i) {
      EXPECT_GT(records[i]["latitude"].get<double>(), records[i - 1]["latitude"].get<double>());
      EXPECT_GT(records[i]["longitude"].get<double>(), records[i - 1]["longitude"].get<double>());
    }
    // By the last report the serial number is known and receiver 1's display has handed over
    // its strongest scan level.
    EXPECT_EQ(records.back()["serial"], "VS000042");
    int rssi = records.back()["rssi"];
    EXPECT_LE(rssi, -1);
    EXPECT_GE(rssi, -120);
    // The GPS screen shows the same report's filtered position.
    EXPECT_TRUE(logger.Form->edGPSLatitude->text().endsWith(" N"));
    EXPECT_TRUE(logger.Form->edGPSLongitude->text().endsWith(" E"));
    EXPECT_EQ(probe.ExitStatus(), 0);
  }
  SetUiDispatcher(nullptr);
  SharedMemory::Unlink(blockName);
}

}  // namespace
}  // namespace vireon::test
