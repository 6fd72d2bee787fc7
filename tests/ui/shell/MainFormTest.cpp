#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <thread>

#include "ShellFixture.h"
#include "display/DBar.h"
#include "display/RRouter.h"
#include "shell/Globals.h"
#include "shell/MainRouter.h"

namespace vireon {
namespace {

QRect Geo(const QWidget* w) {
  return w->geometry();
}

using MainWindowLayout = ShellTest;

TEST_F(MainWindowLayout, ClientAreaAndRegionsHaveTheFormsFixedSizes) {
  EXPECT_EQ(Form->windowTitle(), "Vireon Data Logger");
  EXPECT_EQ(Form->centralWidget()->size(), QSize(892, 504 - 19));
  EXPECT_EQ(Form->sbarVireon->height(), 19);
  EXPECT_EQ(Geo(Form->pnlScroll), QRect(0, 0, 892, 33));
  EXPECT_EQ(Geo(Form->pnlStatus), QRect(0, 33, 105, 452));
  EXPECT_EQ(Geo(Form->pnlReceiverInfo), QRect(787, 33, 105, 452));
  EXPECT_EQ(Geo(Form->GPSPanel), QRect(105, 33, 682, 452));
  EXPECT_EQ(Form->minimumSize(), Form->maximumSize());
  EXPECT_EQ(Form->olClock->parentWidget(), Form->sbarVireon);
  EXPECT_EQ(Geo(Form->olClock), Geo(Form->sbarPanels[1]));
}

TEST_F(MainWindowLayout, TheStatusBarClockIsInTheSystemsButtonColoursNotMaroon) {
  Form->olClock->setText("12:34:56");
  const QImage clock = Form->olClock->grab().toImage();
  const QColor text = QApplication::palette().color(QPalette::ButtonText);
  int textPixels = 0, maroonPixels = 0;
  for (int y = 0; y < clock.height(); ++y)
    for (int x = 0; x < clock.width(); ++x) {
      const QColor c = clock.pixelColor(x, y);
      textPixels += c == text;
      maroonPixels += c.red() > 100 && c.green() < 40 && c.blue() < 40;
    }
  EXPECT_GT(textPixels, 20);
  EXPECT_EQ(maroonPixels, 0);
}

TEST_F(MainWindowLayout, TopBarButtonsStartInTheirGroupsStates) {
  EXPECT_TRUE(Form->btnReceiverPanels->isChecked());
  EXPECT_FALSE(Form->btnGPSPanel->isChecked());
  EXPECT_FALSE(Form->btnLogMode->isChecked());
  EXPECT_FALSE(Form->LogModeDown());
  EXPECT_TRUE(Form->btnSingleMode->isChecked());
  EXPECT_TRUE(Form->btnReceiver1->isChecked());
  EXPECT_TRUE(Form->btnReceiver2->isChecked());
  EXPECT_TRUE(Form->btnTileH->isChecked());
  EXPECT_TRUE(Form->sbFrequency->isChecked());
  EXPECT_EQ(Form->btnTileV->toolTip(), "Tile Receiver Panels Vertically");
  EXPECT_EQ(Form->sbChannel->toolTip(), "ShowChannels");
  EXPECT_EQ(Form->LogFile->text(), "Vireon");
  EXPECT_EQ(Form->edFileSize->text(), "0 kB");

  // Receiver buttons are toggles of their own: both may be up.
  Form->btnReceiver1->click();
  Form->btnReceiver2->click();
  EXPECT_FALSE(Form->btnReceiver1->isChecked());
  EXPECT_FALSE(Form->btnReceiver2->isChecked());
  // Tiling buttons exclude each other.
  Form->btnTileV->click();
  EXPECT_FALSE(Form->btnTileH->isChecked());
  // The log button's state reaches worker threads through its mirror.
  Form->btnLogMode->setChecked(true);
  EXPECT_TRUE(Form->LogModeDown());
}

TEST_F(MainWindowLayout, PanelsTileSideBySideByDefault) {
  EXPECT_EQ(Geo(Form->Receiver1Panel), QRect(105, 33, 343, 453));
  EXPECT_EQ(Geo(Form->Receiver2Panel), QRect(105 + 341, 33, 343, 453));
  EXPECT_EQ(Form->Bars[0]->geometry(), QRect(0, 0, 343, 453));
  EXPECT_EQ(Form->Bars[1]->parentWidget(), Form->Receiver2Panel);
}

TEST_F(MainWindowLayout, VerticalTilingStacksThePanels) {
  Form->showNormal();  // as the port dialog does; a hidden window defers its resize events
  Engine->RangeCaptionStale[0] = 0;
  Engine->RangeCaptionStale[1] = 0;
  Form->btnTileV->click();
  EXPECT_EQ(Geo(Form->Receiver1Panel), QRect(105, 33, 684, 227));
  EXPECT_EQ(Geo(Form->Receiver2Panel), QRect(105, 33 + 226, 684, 227));
  EXPECT_EQ(Form->Bars[1]->size(), QSize(684, 227));
  EXPECT_EQ(Engine->RangeCaptionStale[0], 1);
  EXPECT_EQ(Engine->RangeCaptionStale[1], 1);
  Form->btnTileH->click();
  EXPECT_EQ(Geo(Form->Receiver2Panel), QRect(105 + 341, 33, 343, 453));
}

TEST_F(MainWindowLayout, OnePanelAloneFillsTheCentre) {
  Form->btnReceiver1->click();
  EXPECT_TRUE(Form->Receiver1Panel->isHidden());
  EXPECT_EQ(Geo(Form->Receiver2Panel), QRect(105, 33, 684, 453));
  Form->btnReceiver1->click();
  Form->btnReceiver2->click();
  EXPECT_EQ(Geo(Form->Receiver1Panel), QRect(105, 33, 684, 453));
}

using ScreenSwitching = ShellTest;

TEST_F(ScreenSwitching, GpsPanelShowsBeneathUntilTheReceiverScreenIsChosen) {
  Form->btnReceiver1->click();
  Form->btnReceiver2->click();
  EXPECT_TRUE(Form->Receiver1Panel->isHidden());
  EXPECT_TRUE(Form->Receiver2Panel->isHidden());
  EXPECT_FALSE(Form->GPSPanel->isHidden());

  Form->btnReceiverPanels->click();
  EXPECT_TRUE(Form->GPSPanel->isHidden());
  EXPECT_TRUE(Form->Receiver1Panel->isHidden());
  EXPECT_TRUE(Form->Receiver2Panel->isHidden());
}

TEST_F(ScreenSwitching, ReceiverShownAgainOnTheReceiverScreenBeforeGpsWasChosen) {
  // The GPS panel lies visible beneath the receivers from start; that is not the GPS screen.
  Form->btnReceiver1->click();
  Form->btnReceiver1->click();
  EXPECT_FALSE(Form->Receiver1Panel->isHidden());
  EXPECT_EQ(Geo(Form->Receiver1Panel), QRect(105, 33, 343, 453));
}

TEST_F(ScreenSwitching, ReceiverButtonOnGpsScreenWaitsForTheReceiverScreen) {
  Form->btnGPSPanel->click();
  EXPECT_FALSE(Form->GPSPanel->isHidden());
  EXPECT_TRUE(Form->Receiver1Panel->isHidden());
  EXPECT_TRUE(Form->Receiver2Panel->isHidden());

  Form->btnReceiver1->click();  // up
  Form->btnReceiver1->click();  // down again, still on the GPS screen
  EXPECT_TRUE(Form->Receiver1Panel->isHidden());

  Form->btnReceiverPanels->click();
  EXPECT_TRUE(Form->GPSPanel->isHidden());
  EXPECT_FALSE(Form->Receiver1Panel->isHidden());
  EXPECT_FALSE(Form->Receiver2Panel->isHidden());
  EXPECT_EQ(Geo(Form->Receiver2Panel), QRect(105 + 341, 33, 343, 453));
}

TEST_F(ScreenSwitching, ReceiverScreenShowsOnlyTheChosenReceivers) {
  Form->btnGPSPanel->click();
  Form->btnReceiver2->click();
  Form->btnReceiverPanels->click();
  EXPECT_FALSE(Form->Receiver1Panel->isHidden());
  EXPECT_TRUE(Form->Receiver2Panel->isHidden());
  EXPECT_EQ(Geo(Form->Receiver1Panel), QRect(105, 33, 684, 453));
}

using Tick = ShellTest;

TEST_F(Tick, TwoSingleChannelPacketsInOneTickWakeTheDisplayOnce) {
  Form->Timer1->stop();
  const std::vector<uint8_t> samples(16, 0xC0);
  Feed(*Engine, 2, samples);
  Feed(*Engine, 2, samples);
  EXPECT_FALSE(Engine->ReceiverEvent[0].IsSet());
  EXPECT_EQ(Engine->SingleDataReady[0], 1);

  Form->Timer1Timer();
  EXPECT_EQ(Engine->SingleDataReady[0], 0);
  EXPECT_FALSE(Engine->ReceiverEvent[1].IsSet());

  // The display thread takes the wake-up; a tick without new samples sets nothing.
  ASSERT_TRUE(WaitFor([&] { return !Engine->ReceiverEvent[0].IsSet(); }));
  Form->Timer1Timer();
  EXPECT_FALSE(Engine->ReceiverEvent[0].IsSet());
}

TEST_F(Tick, AGraphPlacedBeforeTheInstrumentAnsweredShowsNoReadingUntilItDoes) {
  Form->ReplaceBar(0);
  Serve(200);
  EXPECT_EQ(Form->Bars[0]->Title(), "");  // no made-up "R1 (0.00000-0.00000)MHz"
  Feed(*Engine, 1, ConfigPayload(1, 68000, 69000, 3200, 0, 0, 0));
  Form->ReplaceBar(0);
  EXPECT_TRUE(WaitFor([&] { return Form->Bars[0]->Title().startsWith("R1 (850.00000"); }));
}

TEST_F(Tick, TickWritesTheClockAndSignalsTheStatusThread) {
  Form->Timer1->stop();
  Form->Timer1Timer();
  EXPECT_NE(Form->olClock->text(), "HH:MM:SS");
  EXPECT_FALSE(Form->olClock->text().isEmpty());

  MainRouter = new TMain_Router(*Engine, *Form);
  Form->Timer1Timer();
  EXPECT_TRUE(MainRouter->StatusEvent.IsSet());
}

using EngineHostCalls = ShellTest;

TEST_F(EngineHostCalls, ModeIndicatorIsPressedOnTheUiThread) {
  std::thread([this] { Form->PressMode(TMode::Table); }).join();
  EXPECT_TRUE(WaitFor([&] { return Form->btnTableMode->isChecked(); }));
  EXPECT_FALSE(Form->btnSingleMode->isChecked());
  Feed(*Engine, 7, {0, 0, 0xB0});
  EXPECT_TRUE(WaitFor([&] { return Form->btnScanMode->isChecked(); }));

  // A click on another mode button does not stick: the next packet presses its own mode again.
  Form->btnSingleMode->click();
  ASSERT_TRUE(Form->btnSingleMode->isChecked());
  Feed(*Engine, 7, {0, 0, 0xB0});
  EXPECT_TRUE(WaitFor([&] { return Form->btnScanMode->isChecked(); }));
}

TEST_F(EngineHostCalls, ScanWarningNeverBlocksNorIsModalAndShowsOneBoxAtATime) {
  std::thread([this] {
    Form->ShowScanWarning("first");
    Form->ShowScanWarning("second");
  }).join();
  auto boxes = [] {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<QMessageBox*>(w) != nullptr && w->isVisible()) ++n;
    return n;
  };
  ASSERT_TRUE(WaitFor([&] { return boxes() == 1; }));
  QMessageBox* box = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* b = qobject_cast<QMessageBox*>(w); b != nullptr && b->isVisible()) box = b;
  EXPECT_EQ(box->windowTitle(), "Warning");
  EXPECT_EQ(box->text(), "first");
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  // Not even window-modal: the log button, the menus and the close button stay within reach.
  EXPECT_EQ(box->windowModality(), Qt::NonModal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  box->accept();
  ASSERT_TRUE(WaitFor([&] { return boxes() == 0; }));

  Form->ShowScanWarning("third");
  EXPECT_TRUE(WaitFor([&] { return boxes() == 1; }));
}

using Closing = ShellTest;

TEST_F(Closing, CloseJoinsWorkersEvenWhileOneWaitsForTheUiThread) {
  MainRouter = new TMain_Router(*Engine, *Form);
  MainRouter->StatusEvent.Set();
  MainRouter->Start();
  // No events are served here: the status thread stays blocked in its refresh call.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Form->FormClose();
  EXPECT_FALSE(MainRouter->Running());
  EXPECT_FALSE(ReceiverRouters[0]->Running());
  EXPECT_FALSE(ReceiverRouters[1]->Running());
  EXPECT_FALSE(Form->Timer1->isActive());
}

}  // namespace
}  // namespace vireon
