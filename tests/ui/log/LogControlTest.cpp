#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <filesystem>

#include "../../unit/log/LogTestSupport.h"
#include "log/LogControl.h"
#include "log/LogWarningForm.h"

namespace vireon {
namespace {

using test::Bytes;

class TFrameCatcher : public TPacketSender {
 public:
  bool WriteBytes(const uint8_t* bytes, int n) override {
    std::lock_guard lock(M);
    Frames.emplace_back(bytes, bytes + n);
    return true;
  }
  std::vector<Bytes> Taken() {
    std::lock_guard lock(M);
    return Frames;
  }

 private:
  std::mutex M;
  std::vector<Bytes> Frames;
};

template <typename Pred>
bool ProcessEventsUntil(Pred pred) {
  return test::WaitFor([&] {
    QCoreApplication::processEvents();
    return pred();
  });
}

class LogControlFlow : public testing::Test {
 protected:
  LogControlFlow() {
    LogFile.setText(QString::fromStdString(Dir.File("run.1.data")));
    btnLogMode.setCheckable(true);
    Engine.SetSender(&Sender);
    Engine.SetHost(&Host);
    Control.SetFileButton(&btnLogFile);
    Control.SetMessenger([this](int kind, const QString& text) {
      Messages.push_back({kind, text.toStdString()});
    });
  }

  void Click(bool down) {
    btnLogMode.setChecked(down);
    Control.btnLogModeClick();
  }
  void Log(uint8_t type, const Bytes& payload) {
    const PacketRecord p = test::Packet(type, payload);
    Engine.Dispatch(p);
    Sent.push_back(test::LogBytes(p));
  }

  test::TScratchDir Dir;
  TGPSShared Gps;
  TEngine Engine{Gps};
  TFrameCatcher Sender;
  test::TCountingHost Host;
  TLog_Router* Router = nullptr;
  QLineEdit LogFile;
  QToolButton btnLogMode;
  QToolButton btnLogFile;
  TLogWarningForm Warning{Engine};
  TLogControl Control{Engine, Router, &LogFile, &btnLogMode, &Warning};
  std::vector<std::pair<int, std::string>> Messages;
  std::vector<Bytes> Sent;
};

TEST_F(LogControlFlow, SwitchingOnStartsAWriterShowsTheWarningAndAsksForTheConfiguration) {
  Click(true);

  ASSERT_NE(Router, nullptr);
  EXPECT_EQ(Router->FileName, Dir.File("run.1.KLF"));
  EXPECT_EQ(Engine.GetLogSink(), Router);
  EXPECT_TRUE(Warning.isVisible());
  EXPECT_FALSE(LogFile.isEnabled());
  EXPECT_FALSE(btnLogFile.isEnabled());
  // The running writer keeps its file, whatever reaches the chooser.
  Control.SetFileChooser([] { return std::optional<QString>(QStringLiteral("/elsewhere.KLF")); });
  Control.btnLogFileClick();
  EXPECT_EQ(LogFile.text(), QString::fromStdString(Dir.File("run.1.data")));
  ASSERT_EQ(Sender.Taken().size(), 1u);
  EXPECT_EQ(Sender.Taken()[0], (Bytes{0xAA, 0x02, 0x00, 0x01, 0x01}));
}

TEST_F(LogControlFlow, OffAndOnWithTheSameNameAppendsToOneFileAndKeepsTheStoppedWriter) {
  Click(true);
  Log(7, Bytes(15, 1));
  Click(false);
  TLog_Router* stopped = Router;
  EXPECT_TRUE(LogFile.isEnabled());
  EXPECT_EQ(Engine.GetLogSink(), nullptr);
  Log(7, Bytes(15, 2));  // logging is off: not in the file
  Sent.pop_back();
  Click(true);
  EXPECT_NE(Router, stopped);
  Log(7, Bytes(15, 3));
  Click(false);
  ASSERT_TRUE(ProcessEventsUntil([&] { return Router->Finished(); }));

  const Bytes file = test::ReadAll(Dir.File("run.1.KLF"));
  ASSERT_GE(file.size(), 63u);
  EXPECT_EQ(Bytes(file.begin() + 63, file.end()), test::Concat(Sent));
  EXPECT_EQ(Router->FileSizeKB(), 0);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(LogControlFlow, DesignTextLogsToVireonKlfInTheCurrentFolder) {
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(Dir.Path);
  LogFile.setText(QStringLiteral("Vireon"));
  Click(true);
  Click(false);
  ASSERT_TRUE(ProcessEventsUntil([&] { return Router->Finished(); }));
  std::filesystem::current_path(saved);
  EXPECT_EQ(Router->FileName, "Vireon.KLF");
  EXPECT_EQ(test::ReadAll(Dir.File("Vireon.KLF")).size(), 63u);
}

TEST_F(LogControlFlow, FileThatCannotBeCreatedSwitchesLoggingOffWithAnError) {
  test::WriteAll(Dir.File("plain"), {1});
  LogFile.setText(QString::fromStdString(Dir.File("plain/run")));
  Click(true);

  ASSERT_TRUE(ProcessEventsUntil([&] { return !Messages.empty(); }));
  EXPECT_FALSE(btnLogMode.isChecked());
  EXPECT_TRUE(LogFile.isEnabled());
  EXPECT_TRUE(btnLogFile.isEnabled());
  EXPECT_FALSE(Warning.isVisible());  // its steps are for a log that is not being written
  EXPECT_EQ(Engine.GetLogSink(), nullptr);
  EXPECT_EQ(Messages[0].first, 2);
  EXPECT_NE(Messages[0].second.find(Dir.File("plain/run.KLF")), std::string::npos);
}

TEST_F(LogControlFlow, ARemovedLogFileIsToldWithAWarningAndLoggingStaysOn) {
  Click(true);
  ASSERT_TRUE(test::WaitFor([&] { return std::filesystem::exists(Dir.File("run.1.KLF")); }));
  std::filesystem::remove(Dir.File("run.1.KLF"));
  ASSERT_TRUE(ProcessEventsUntil([&] { return !Messages.empty(); }));
  EXPECT_EQ(Messages[0].first, 1);
  EXPECT_NE(Messages[0].second.find(Dir.File("run.1.KLF")), std::string::npos);
  EXPECT_TRUE(btnLogMode.isChecked());
  EXPECT_EQ(Engine.GetLogSink(), Router);
  EXPECT_TRUE(test::WaitFor([&] { return std::filesystem::exists(Dir.File("run.1.KLF")); }));
}

TEST_F(LogControlFlow, NameOverTheLimitIsRefusedAndLoggingStaysOff) {
  LogFile.setText(QString(520, QLatin1Char('x')));
  Click(true);

  EXPECT_FALSE(btnLogMode.isChecked());
  EXPECT_EQ(Router, nullptr);
  EXPECT_TRUE(LogFile.isEnabled());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].first, 2);
}

TEST_F(LogControlFlow, FileDialogChoiceFillsTheNameAndCancelKeepsIt) {
  Control.SetFileChooser([] { return std::optional<QString>(QStringLiteral("/field/site7.KLF")); });
  Control.btnLogFileClick();
  EXPECT_EQ(LogFile.text(), QStringLiteral("/field/site7.KLF"));
  EXPECT_EQ(KlfFileName(LogFile.text().toStdString()), "/field/site7.KLF");
  Control.SetFileChooser([] { return std::optional<QString>(); });
  Control.btnLogFileClick();
  EXPECT_EQ(LogFile.text(), QStringLiteral("/field/site7.KLF"));
}

class LogWarningDialog : public testing::Test {
 protected:
  TGPSShared Gps;
  TEngine Engine{Gps};
  TLogWarningForm Form{Engine};
};

TEST_F(LogWarningDialog, CaptionGeometryAndTextsAreAsDesigned) {
  EXPECT_EQ(Form.windowTitle(), QStringLiteral("VIREON LOG FILE WARNING"));
  EXPECT_EQ(Form.geometry(), QRect(281, 133, 522, 440));
  EXPECT_EQ(
      Form.Label1->text(),
      QStringLiteral("WARNING!!! FAILURE TO PERFORM THE FOLLOWING STEPS CORRECTLY WILL RESULT "
                     "IN SCAN CHANNEL INFORMATION NOT BEING PLACED IN THE LOG FILE. IF THIS "
                     "HAPPENS, THE LOG FILE WILL NOT BE CONVERTED BY OSTRAVANE."));
  EXPECT_EQ(Form.Label4->text(),
            QStringLiteral("Scan channel information is sent from the Vireon when the measurement "
                           "mode (single,list,table) is started from the Vireon. If a log file has "
                           "not been started by the user on the data logger, this information will "
                           "not be recorded. "));
  EXPECT_EQ(
      Form.Label2->text(),
      QStringLiteral("STEP 1: GO TO THE MAIN MENU ON THE VIREON (PRESS THE ESC KEY 3 TIMES)."));
  EXPECT_EQ(Form.Label3->text(), QStringLiteral("STEP 2 (READ STEP 3 BEFORE COMPLETING STEP 2): "
                                                "PRESS THE OK BUTTON BELOW."));
  EXPECT_EQ(Form.Label5->text(), QStringLiteral("STEP 3: START THE MEASUREMENT ON THE VIREON."));
  EXPECT_EQ(Form.Button1->text(), QStringLiteral("OK"));
  EXPECT_EQ(Form.Button1->size(), QSize(75, 25));
}

TEST_F(LogWarningDialog, StylesAndOrderFollowTheDesign) {
  Form.show();
  ASSERT_TRUE(ProcessEventsUntil([&] { return Form.isVisible(); }));
  EXPECT_EQ(Form.Label1->font().pixelSize(), 16);
  EXPECT_TRUE(Form.Label1->font().bold());
  EXPECT_TRUE(Form.Label1->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(Form.Label1->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_EQ(Form.Label1->palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_FALSE(Form.Label4->font().bold());
  EXPECT_TRUE(Form.Label4->alignment() & Qt::AlignHCenter);
  for (QLabel* step : {Form.Label2, Form.Label3, Form.Label5}) {
    EXPECT_EQ(step->font().pixelSize(), 13);
    EXPECT_TRUE(step->font().bold());
    EXPECT_TRUE(step->wordWrap());
  }
  EXPECT_TRUE(Form.Button1->font().bold());
  // Top to bottom: Label1, Label4, Label2, Label3, Label5, then the button near the bottom.
  const QWidget* order[] = {Form.Label1, Form.Label4, Form.Label2,
                            Form.Label3, Form.Label5, Form.Button1};
  for (int k = 1; k < 6; ++k) EXPECT_GT(order[k]->y(), order[k - 1]->y());
  // Every wrapped text shows whole: no label is shorter than its wrapped lines.
  for (int k = 0; k < 5; ++k) {
    auto* label = static_cast<const QLabel*>(order[k]);
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << k;
  }
  EXPECT_GT(Form.Button1->y(), Form.height() / 2);
  EXPECT_LE(Form.Label5->geometry().bottom(), Form.Button1->y());
  // The red text on black is really painted.
  const QImage shot = Form.Label1->grab().toImage();
  EXPECT_EQ(shot.pixelColor(1, 1), QColor(Qt::black));
}

TEST_F(LogWarningDialog, OkForgetsTheScanSetUpButTheCloseBoxDoesNot) {
  Engine.ScanInfoCaptured = 1;
  Engine.WarningCount = 4;
  Form.show();
  Form.close();
  EXPECT_EQ(Engine.ScanInfoCaptured.load(), 1);
  EXPECT_EQ(Engine.WarningCount.load(), 4);

  Form.show();
  Form.Button1->click();
  EXPECT_FALSE(Form.isVisible());
  EXPECT_EQ(Engine.ScanInfoCaptured.load(), 0);
  EXPECT_EQ(Engine.WarningCount.load(), 0);
}

}  // namespace
}  // namespace vireon

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
