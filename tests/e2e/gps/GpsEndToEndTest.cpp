#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "LoggerUnderTest.h"
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

// The logger with its map range dialog and GPS thread as well (no status thread).
struct TGpsLoggerUnderTest : TLoggerUnderTest {
  TGpsLoggerUnderTest(const std::string& device, const std::string& blockName)
      : TLoggerUnderTest(device) {
    Range = std::make_unique<TMapRange_Form>();
    MapRange_Form = Range.get();
    Router =
        std::make_unique<TGPS_Router>(Model, *Form, *Range, std::make_unique<TMapLink>(blockName));
    GpsRouter = Router.get();
  }
  ~TGpsLoggerUnderTest() {
    StopWorkers();
    GpsRouter = nullptr;
    MapRange_Form = nullptr;
  }
  void Start() {
    Com->Start();
    Router->Start();
  }

  std::unique_ptr<TMapRange_Form> Range;
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
  QtUiDispatcher dispatcher;
  SetUiDispatcher(&dispatcher);
  PrivateBus bus;
  ASSERT_TRUE(bus.Start());
  const std::string blockName = "/vireon-e2e-" + std::to_string(getpid());
  {
    TSim sim({"--serial", "VS000042", "--mode", "scan", "--rate", "20"});
    ASSERT_FALSE(sim.Pty.empty());
    TGpsLoggerUnderTest logger(sim.Pty, blockName);
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
