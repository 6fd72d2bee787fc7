#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWidget>

#include "ShellFixture.h"
#include "shell/ManualOpener.h"

namespace vireon {
namespace {

QMessageBox* OpenBox() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* b = qobject_cast<QMessageBox*>(w); b != nullptr && b->isVisible()) return b;
  return nullptr;
}

struct TOpenerCase {
  const char* Name;
  const char* Script;  // the xdg-open on PATH; none when null
  const char* Reason;  // in the box's informative text; no box when null
};

// The desktop as a fresh install may find it: no opener, an opener with no PDF viewer behind it,
// a viewer that fails, and one that shows the file.
const TOpenerCase kOpenerCases[] = {
    {"NoOpener", nullptr, "xdg-open, is not installed"},
    {"NoViewer", "exit 3", "No program to show PDF files is installed"},
    {"ViewerFails", "exit 4", "ended with status 4"},
    {"ViewerShowsIt", "exit 0", nullptr},
};

class ManualOpener : public ::testing::TestWithParam<TOpenerCase> {};

TEST_P(ManualOpener, FailureIsToldWithTheManualsPath) {
  const TOpenerCase& c = GetParam();
  QTemporaryDir bin;
  if (c.Script != nullptr) {
    QFile script(bin.filePath("xdg-open"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QByteArray("#!/bin/sh\n") + c.Script + "\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  }
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", bin.path().toLocal8Bit());
  QWidget owner;
  OpenUserManual(&owner, "/usr/share/doc/vireon-data-logger/Vireon1.0.pdf");
  const bool shown = WaitFor([] { return OpenBox() != nullptr; }, c.Reason ? 10000 : 1000);
  qputenv("PATH", path);

  ASSERT_EQ(shown, c.Reason != nullptr);
  if (!shown) return;
  QMessageBox* box = OpenBox();
  EXPECT_EQ(box->windowTitle(), "Information");
  EXPECT_EQ(box->text(), "Could Not Load User Manual!!!");
  EXPECT_TRUE(box->informativeText().contains(c.Reason)) << box->informativeText().toStdString();
  EXPECT_TRUE(box->informativeText().contains("/usr/share/doc/vireon-data-logger/Vireon1.0.pdf"));
  box->accept();
}

INSTANTIATE_TEST_SUITE_P(Desktop, ManualOpener, ::testing::ValuesIn(kOpenerCases),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vireon
