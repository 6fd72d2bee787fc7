// The logger's own start-up and port dialog against vireon-sim on a pseudo-terminal, offscreen.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>

#include "Process.h"
#include "gps/GpsRouter.h"
#include "link/ComForm.h"
#include "link/ComRouter.h"
#include "model/Engine.h"
#include "shell/Application.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"
#include "shell/MainRouter.h"

namespace vireon {
namespace {

// Serves the event loop for ms milliseconds, sleeping while there is nothing to do.
void Serve(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool WaitFor(const std::function<bool()>& cond, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!cond()) {
    if (t.elapsed() > ms) return false;
    Serve(20);
  }
  return true;
}

// With VIREON_SHOT_DIR set, the windows are saved there for a look by eye.
void SaveShot(QWidget* w, const char* name) {
  const char* dir = std::getenv("VIREON_SHOT_DIR");
  if (dir != nullptr) w->grab().save(QString(dir) + "/" + name);
}

TEST(LoggerAgainstSimulator, ConnectsViaComAndShowsSerialNumberRangesAndClock) {
  test::TSim sim({"--mode", "scan"});
  ASSERT_FALSE(sim.Pty.empty());
  setenv("VIREON_COM1", test::TSim::LinkPath().c_str(), 1);

  CreateProcessObjects();
  CreateForms();
  EXPECT_TRUE(Com_Form->isVisible());
  EXPECT_FALSE(Main_Form->isVisible());

  SaveShot(Com_Form, "port-dialog.png");
  Com_Form->PortChoice->setCurrentIndex(0);
  Com_Form->OKBtn->click();
  EXPECT_EQ(Engine->LinkMode, 1);
  EXPECT_EQ(Engine->PortNumber, 1);
  EXPECT_TRUE(Main_Form->isVisible());
  EXPECT_FALSE(Com_Form->isVisible());
  ASSERT_NE(ComRouter, nullptr);
  ASSERT_NE(MainRouter, nullptr);
  ASSERT_NE(GpsRouter, nullptr);

  TMain_Form& form = *Main_Form;
  EXPECT_TRUE(WaitFor([&] { return form.sbarPanels[0]->text() == "Connected via COM"; }))
      << form.sbarPanels[0]->text().toStdString();
  EXPECT_TRUE(WaitFor([&] { return form.edSN->text() == "SN: VS000417"; }));
  EXPECT_TRUE(WaitFor([&] { return form.edStep2->text() == "12.5"; }));
  EXPECT_EQ(form.edMin1->text(), "869.04");
  EXPECT_EQ(form.edMax1->text(), "894");
  EXPECT_EQ(form.edStep1->text(), "30");
  EXPECT_EQ(form.edMin2->text(), "851.0125");
  EXPECT_EQ(form.edMax2->text(), "860.9875");
  EXPECT_TRUE(WaitFor([&] { return form.edMarker->text().startsWith("Mrkr #"); }));
  EXPECT_EQ(form.edRTCDate->text().size(), 10);
  EXPECT_TRUE(WaitFor([&] { return form.btnScanMode->isChecked(); }));

  SaveShot(&form, "main-window.png");
  form.btnGPSPanel->click();
  SaveShot(&form, "gps-screen.png");

  form.close();
  EXPECT_FALSE(ComRouter->Running());
  EXPECT_FALSE(MainRouter->Running());
  EXPECT_FALSE(GpsRouter->Running());
}

}  // namespace
}  // namespace vireon

int main(int argc, char** argv) {
  vireon::TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
