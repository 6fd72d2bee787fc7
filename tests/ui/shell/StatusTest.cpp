#include <QLabel>
#include <QLineEdit>
#include <QLocale>

#include "ShellFixture.h"
#include "shell/Globals.h"
#include "shell/MainRouter.h"

namespace vireon {
namespace {

class StatusFields : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    QLocale::setDefault(QLocale::c());
    MainRouter = new TMain_Router(*Engine, *Form);
  }
  void Refresh() {
    MainRouter->RefreshStatus();
    MainRouter->RefreshClock();
  }
  void Clock(uint8_t marker) { Feed(*Engine, 4, {9, 5, 14, 8, 12, 26, marker}); }
};

TEST_F(StatusFields, ShowEmptyFormsBeforeAnyPacket) {
  MainRouter->RefreshStatus();
  EXPECT_EQ(Form->sbarPanels[0]->text(), "");
  EXPECT_EQ(Form->edSN->text(), "SN: ");
  EXPECT_EQ(Form->edFileSize->text(), "0 kB");
  for (QLineEdit* e : {Form->edMin1, Form->edMax1, Form->edStep1, Form->edMin2, Form->edMax2,
                       Form->edStep2, Form->edRTCDate, Form->edRTCTime, Form->edMarker})
    EXPECT_EQ(e->text(), "") << e->objectName().toStdString();
}

TEST_F(StatusFields, ShowWhatTheEngineDecoded) {
  Engine->SetStatusText("Connected via COM");
  Feed(*Engine, 28, {'V', '1', '2', '3', '4', '5', '6', '7'});
  // Receiver 1: 30 to 869.04 MHz in 10 kHz steps; receiver 2: 30 to 45 MHz in 12.5 kHz steps.
  Feed(*Engine, 1, ConfigPayload(3, 3000, 86904, 2560, 2400, 3600, 3200));
  Clock(7);
  Refresh();
  EXPECT_EQ(Form->sbarPanels[0]->text(), "Connected via COM");
  EXPECT_EQ(Form->edSN->text(), "SN: V1234567");
  EXPECT_EQ(Form->edMin1->text(), "30");
  EXPECT_EQ(Form->edMax1->text(), "869.04");
  EXPECT_EQ(Form->edStep1->text(), "10");
  EXPECT_EQ(Form->edMin2->text(), "30");
  EXPECT_EQ(Form->edMax2->text(), "45");
  EXPECT_EQ(Form->edStep2->text(), "12.5");
  EXPECT_EQ(Engine->ConfigChanged, 0);
  EXPECT_EQ(Form->edRTCDate->text(), "12/08/2026");
  EXPECT_EQ(Form->edRTCTime->text(), "14:05:09");
  EXPECT_EQ(Form->edMarker->text(), "Mrkr #7");
}

TEST_F(StatusFields, ConfigurationOfOneReceiverRefreshesAllSixRanges) {
  Feed(*Engine, 1, ConfigPayload(1, 2400, 3600, 3200, 9, 9, 9));
  MainRouter->RefreshStatus();
  EXPECT_EQ(Form->edMax1->text(), "45");
  EXPECT_EQ(Form->edMin2->text(), "0");
  EXPECT_EQ(Form->edMax2->text(), "0");
  EXPECT_EQ(Form->edStep2->text(), "0");

  // Untouched edits stay as they are until the next configuration.
  Form->edMin1->setText("stale");
  MainRouter->RefreshStatus();
  EXPECT_EQ(Form->edMin1->text(), "stale");
}

TEST_F(StatusFields, MarkerShowsItsLastTwoDigits) {
  Clock(100);
  MainRouter->RefreshClock();
  EXPECT_EQ(Form->edMarker->text(), "Mrkr #0");
  Clock(123);
  MainRouter->RefreshClock();
  EXPECT_EQ(Form->edMarker->text(), "Mrkr #23");
}

TEST(RangeText, ShortestFormWithFifteenSignificantDigits) {
  QLocale::setDefault(QLocale::c());
  EXPECT_EQ(RangeText(869.04), "869.04");
  EXPECT_EQ(RangeText(30.0), "30");
  EXPECT_EQ(RangeText(12.5), "12.5");
  EXPECT_EQ(RangeText(1000.0), "1000");
  EXPECT_EQ(RangeText(0.1 + 0.2), "0.3");
  EXPECT_EQ(RangeText(2500.0125), "2500.0125");
}

TEST_F(StatusFields, StatusThreadRefreshesOnTickAndOnClockPacket) {
  Engine->SetStatusText("Connected via USB");
  MainRouter->Start();
  Form->Timer1Timer();
  EXPECT_TRUE(WaitFor([&] { return Form->sbarPanels[0]->text() == "Connected via USB"; }));
  Clock(42);
  EXPECT_TRUE(WaitFor([&] { return Form->edMarker->text() == "Mrkr #42"; }));
  EXPECT_TRUE(WaitFor([&] { return !Engine->ClockEvent.IsSet(); }));
}

}  // namespace
}  // namespace vireon
