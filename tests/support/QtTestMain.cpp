// Tests that need a QApplication on the main thread, the UI thread the workers hand their calls
// to. It lives on main's stack: a static one is destroyed in the exit handlers, after the
// platform plugin's own clean-up, and crashes there under a real display. Offscreen unless
// QT_QPA_PLATFORM says otherwise, so a test can also be watched under Xvfb.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
