// The logger's communications thread, engine, logging controls and log writer against the
// simulator with line noise: the log must hold, byte for byte and in order, every good frame the
// simulator sent from the moment logging began, and read back cleanly with vireon-decode.

#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QLineEdit>
#include <QToolButton>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "../../unit/log/LogTestSupport.h"
#include "../link/Process.h"
#include "PtyRelay.h"
#include "link/ComRouter.h"
#include "log/KlfFile.h"
#include "log/LogControl.h"
#include "log/LogWarningForm.h"

namespace vireon {
namespace {

using test::Bytes;
using Frames = std::vector<Bytes>;

// Packet records of a log after its 63 fixed header bytes.
Frames RecordsAfterFixedHeader(const Bytes& file) {
  Frames records;
  size_t k = 63;
  while (k + 2 <= file.size()) {
    const size_t size = (file[k] | (file[k + 1] << 8)) + 2u;
    records.emplace_back(file.begin() + k, file.begin() + std::min(k + size, file.size()));
    k += size;
  }
  return records;
}

std::string Output(const std::string& command) {
  std::string out;
  if (std::FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

TEST(LogEndToEnd, LogHoldsEveryGoodFrameSentAfterLoggingBegan) {
  test::TScratchDir dir;
  test::TSim sim({"--noise", "0.2", "--rate", "40", "--seed", "7", "--serial", "E2E00042"});
  ASSERT_FALSE(sim.Pty.empty());
  test::TPtyRelay relay(sim.Pty);
  ASSERT_TRUE(relay.Ok());

  TGPSShared gps;
  TEngine engine{gps};
  test::TCountingHost host;
  host.LogOn = false;
  engine.SetHost(&host);
  engine.LinkMode = 1;
  engine.PortNumber = 0;
  TUSB usb;
  TRS232 rs232;
  rs232.SetDevicePath(relay.LoggerPath);
  std::atomic<size_t> dispatched{0};
  TCom_Router com(engine, usb, rs232);
  com.SetPacketHandler([&](const PacketRecord& record) {
    engine.Dispatch(record);
    ++dispatched;
  });

  TLog_Router* router = nullptr;
  QLineEdit logFile(QString::fromStdString(dir.File("field.run")));
  QToolButton btnLogMode;
  btnLogMode.setCheckable(true);
  QObject::connect(&btnLogMode, &QToolButton::toggled, [&](bool on) { host.LogOn = on; });
  TLogWarningForm warning(engine);
  TLogControl control(engine, router, &logFile, &btnLogMode, &warning);
  std::vector<std::string> messages;
  control.SetMessenger([&](int, const QString& text) { messages.push_back(text.toStdString()); });

  com.Start();
  ASSERT_TRUE(test::WaitFor([&] { return !engine.StatusText().empty(); }));
  relay.Start();
  ASSERT_TRUE(test::WaitFor([&] { return dispatched >= 20 && !engine.SerialNumber().empty(); }));

  // Frames dispatched before the click cannot be in the log; frames the relay passes on after
  // the click has returned must all be there.
  const size_t dispatchedBefore = dispatched;
  btnLogMode.setChecked(true);
  control.btnLogModeClick();
  const size_t before = test::GoodFrames(relay.SimBytes()).size();
  ASSERT_TRUE(test::WaitFor([&] { return dispatched >= before + 60; }, 30));
  sim.Process.Write("quit\n");
  ASSERT_TRUE(test::WaitFor([&] { return relay.SimEnded(); }));
  const Frames sent = test::GoodFrames(relay.SimBytes());
  ASSERT_TRUE(test::WaitFor([&] { return dispatched == sent.size(); }))
      << dispatched << " of " << sent.size();
  btnLogMode.setChecked(false);
  control.btnLogModeClick();
  ASSERT_TRUE(test::WaitFor([&] { return router->Finished(); }));
  com.RequestStop();
  com.Join();

  const Bytes file = test::ReadAll(dir.File("field.KLF"));
  ASSERT_GT(file.size(), 63u);
  const Bytes serialRecord(file.begin() + 23, file.begin() + 36);
  EXPECT_EQ(Bytes(serialRecord.begin() + 3, serialRecord.begin() + 11),
            (Bytes{'E', '2', 'E', '0', '0', '0', '4', '2'}));
  Frames logged = RecordsAfterFixedHeader(file);
  ASSERT_FALSE(logged.empty());
  // The header's scan record, when present, repeats a set-up packet seen before logging began.
  const size_t tailSize = std::min(logged.size(), sent.size());
  Frames tail(sent.end() - static_cast<std::ptrdiff_t>(tailSize), sent.end());
  if (Frames(logged.end() - static_cast<std::ptrdiff_t>(tailSize), logged.end()) != tail ||
      logged.size() != tailSize) {
    ASSERT_TRUE(logged[0][2] == 5 || logged[0][2] == 6) << "unexpected leading record";
    logged.erase(logged.begin());
  }
  ASSERT_LE(logged.size(), sent.size());
  const size_t first = sent.size() - logged.size();
  EXPECT_GE(first, dispatchedBefore);
  EXPECT_LE(first, before);
  EXPECT_TRUE(std::equal(logged.begin(), logged.end(), sent.begin() + first))
      << "the log is not the run of frames sent from index " << first;
  EXPECT_EQ(router->LostPackets(), 0u);
  EXPECT_TRUE(messages.empty());

  const std::string decoded =
      Output(test::BinDir() + "/vireon-decode --summary '" + dir.File("field.KLF") + "'");
  const std::string last = decoded.substr(decoded.rfind('\n', decoded.size() - 2) + 1);
  const auto summary = nlohmann::json::parse(last)["summary"];
  EXPECT_EQ(summary["bytes"], file.size());
  EXPECT_EQ(summary["truncated"], 0);
  EXPECT_EQ(summary["bad_checksum"], 0);  // the header's receiver record is not a bad checksum
}

TEST(LogEndToEnd, HeadlessLogsHeaderCarriesTheIdentityAndItsRecordsEveryPacketDecoded) {
  test::TScratchDir dir;
  test::TSim sim({"--noise", "0.2", "--rate", "40", "--seed", "9", "--serial", "E2E00077"});
  ASSERT_FALSE(sim.Pty.empty());
  const std::string log = dir.File("headless.log");  // the name is used as given

  const std::string out = Output(test::BinDir() + "/vireon-decode --port " + sim.Pty + " --log '" +
                                 log + "' --duration 3 --summary");

  const auto summary = nlohmann::json::parse(out.substr(out.rfind('\n', out.size() - 2) + 1));
  const long packets = summary["summary"]["packets"];
  const Bytes file = test::ReadAll(log);
  ASSERT_GE(file.size(), 63u);
  EXPECT_EQ(Bytes(file.begin() + 26, file.begin() + 34),
            (Bytes{'E', '2', 'E', '0', '0', '0', '7', '7'}));
  EXPECT_EQ(file[39], 3);  // both receivers active, as the configuration answer said
  const long records = test::WholeKlfRecords(file);
  EXPECT_GT(records, 10);
  // Every packet, and the scan set-up the header may repeat as its last record.
  EXPECT_GE(records, packets);
  EXPECT_LE(records, packets + 1);
}

// Exit codes and stderr of one headless run; the log's name as given.
struct TRun {
  int Status;
  std::string Errors;
};
TRun RunDecoder(const std::string& prefix, const std::string& pty, const std::string& log,
                const std::string& duration) {
  test::TProcess decode({"/bin/sh", "-c",
                         prefix + "exec '" + test::BinDir() + "/vireon-decode' --port " + pty +
                             " --log '" + log + "' --duration " + duration + " >/dev/null"});
  std::string line, errors;
  while (decode.ReadErrorLine(line)) errors += line + "\n";
  return {decode.Wait(), errors};
}

// A disk that fills (here a file size limit) and a kill -9 at full rate: the log left behind
// reads back whole once logging starts again on it.
TEST(LogEndToEnd, ALogCutShortByAFullDiskOrAKillReadsBackWholeWhenLoggingStartsAgain) {
  test::TScratchDir dir;
  test::TSim sim({"--full-rate"});
  ASSERT_FALSE(sim.Pty.empty());

  const std::string full = dir.File("full.KLF");
  const TRun limited = RunDecoder("trap '' XFSZ; ulimit -f 4; ", sim.Pty, full, "2");
  EXPECT_EQ(limited.Status, 1);
  EXPECT_NE(limited.Errors.find("could not be written"), std::string::npos) << limited.Errors;
  const long before = test::WholeKlfRecords(test::ReadAll(full));
  EXPECT_GT(before, 0);
  EXPECT_EQ(RunDecoder("", sim.Pty, full, "1").Status, 0);
  EXPECT_GT(test::WholeKlfRecords(test::ReadAll(full)), before);

  const std::string killed = dir.File("killed.KLF");
  {
    test::TProcess decode({test::BinDir() + "/vireon-decode", "--port", sim.Pty, "--log", killed});
    std::string line;
    for (int k = 0; k < 300 && decode.ReadLine(line); ++k) {
    }
    decode.Signal(SIGKILL);
    EXPECT_EQ(decode.Wait(), 128 + SIGKILL);
  }
  const size_t left = test::ReadAll(killed).size();
  ASSERT_GT(left, 63u);
  const TRun again = RunDecoder("", sim.Pty, killed, "1");
  EXPECT_EQ(again.Status, 0) << again.Errors;
  const Bytes file = test::ReadAll(killed);
  EXPECT_GT(file.size(), left);
  EXPECT_GT(test::WholeKlfRecords(file), 0) << again.Errors;
}

}  // namespace
}  // namespace vireon

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
