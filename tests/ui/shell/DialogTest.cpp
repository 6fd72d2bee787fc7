#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "ShellFixture.h"
#include "link/ComForm.h"
#include "shell/AboutDlg.h"
#include "shell/MessageBox.h"

namespace vireon {
namespace {

QMessageBox* OpenBox() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* b = qobject_cast<QMessageBox*>(w); b != nullptr && b->isVisible()) return b;
  return nullptr;
}

// What is attached, as a lister reports it; each call may find something new.
struct TFakePorts {
  std::vector<TPortItem> Items;
  int Calls = 0;
  TCom_Form::TPortLister Lister() {
    return [this] {
      ++Calls;
      return Items;
    };
  }
};

TEST(PortDialog, ShowsItsItemsAndMapsWhatIsTyped) {
  TFakePorts ports;
  TCom_Form form(nullptr, ports.Lister());
  EXPECT_EQ(form.windowTitle(), "Select Communications Port");
  EXPECT_EQ(form.size(), QSize(313, 216));
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  const char* items[] = {"COM1:", "COM2:", "COM3:", "COM4:", "USB"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(form.PortChoice->itemText(i), items[i]);
  EXPECT_EQ(form.PortChoice->currentText(), "COM1:");
  EXPECT_EQ(form.Choice().PortNumber, 1);
  EXPECT_EQ(form.OKBtn->text(), "OK");

  form.PortChoice->setCurrentIndex(2);
  EXPECT_EQ(form.Choice().PortNumber, 3);
  // Typed text is matched against the items as the user sees them, case aside.
  form.PortChoice->setEditText("usb");
  EXPECT_EQ(form.Choice().LinkMode, 2);
  form.PortChoice->setEditText("/dev/ttyACM0");
  EXPECT_EQ(form.Choice().DevicePath, "/dev/ttyACM0");
  EXPECT_EQ(form.Choice().PortNumber, 0);
}

TEST(PortDialog, ListsWhatIsAttachedWhenItOpensAndAtEveryDropDown) {
  TFakePorts ports;
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A9XK3B2L-if00-port0";
  ports.Items = {{byId + " — FT232R USB UART (A9XK3B2L)", byId}};
  TCom_Form form(nullptr, ports.Lister());
  form.show();
  EXPECT_EQ(ports.Calls, 1);
  ASSERT_EQ(form.PortChoice->count(), 6);
  form.PortChoice->setCurrentIndex(5);
  EXPECT_EQ(form.Choice().DevicePath, byId);
  EXPECT_EQ(form.Choice().LinkMode, 1);

  // Re-plugged with a bridge of its own beside it: the list follows, the choice stays.
  ports.Items.push_back({"USB FTX0417", "USB FTX0417"});
  form.PortChoice->showPopup();
  form.PortChoice->hidePopup();
  EXPECT_EQ(ports.Calls, 2);
  ASSERT_EQ(form.PortChoice->count(), 7);
  EXPECT_EQ(form.Choice().DevicePath, byId);
  form.PortChoice->setCurrentIndex(6);
  EXPECT_EQ(form.Choice().LinkMode, 2);
  EXPECT_EQ(form.Choice().UsbSerial, "FTX0417");

  ports.Items.clear();
  form.PortChoice->setEditText("/dev/pts/9");
  form.PortChoice->showPopup();
  form.PortChoice->hidePopup();
  EXPECT_EQ(form.PortChoice->count(), 5);
  EXPECT_EQ(form.PortChoice->currentText(), "/dev/pts/9");
}

TEST(PortDialog, EscapeEndsTheProgramCleanly) {
  TFakePorts ports;
  TCom_Form form(nullptr, ports.Lister());
  form.show();
  QTimer::singleShot(0, &form, [&] {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&form, &escape);
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  watchdog.start(10000);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(form.isVisible());
}

TEST(MessageBoxes, CaptionsAndIconsFollowTheKind) {
  EXPECT_EQ(MessageBoxCaption(0), "Information");
  EXPECT_EQ(MessageBoxCaption(1), "Warning");
  EXPECT_EQ(MessageBoxCaption(2), "Error");
  EXPECT_EQ(MessageBoxCaption(7), "Information");

  const QMessageBox::Icon icons[] = {QMessageBox::Information, QMessageBox::Warning,
                                     QMessageBox::Critical};
  for (int16_t kind = 0; kind < 3; ++kind) {
    QMessageBox::Icon seen = QMessageBox::NoIcon;
    QString text;
    QTimer::singleShot(0, [&] {
      QMessageBox* box = OpenBox();
      ASSERT_NE(box, nullptr);
      seen = box->icon();
      text = box->text();
      box->accept();
    });
    ShowMessageBox(kind, "kind %d of %s", kind, "three");
    EXPECT_EQ(seen, icons[kind]);
    EXPECT_EQ(text, QString("kind %1 of three").arg(kind));
  }
}

TEST(MessageBoxes, WorkerWaitsUntilTheUserDismissesTheBox) {
  std::atomic<bool> returned{false};
  bool returnedWhileOpen = true;
  QString caption;
  qsizetype length = 0;
  // The box runs its own loop on this thread: inspect and dismiss it from a timer.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QMessageBox* box = OpenBox()) {
      caption = box->windowTitle();
      length = box->text().size();
      returnedWhileOpen = returned.load();
      box->accept();
    }
  });
  poll.start(50);
  std::thread worker([&] {
    ShowMessageBox(2, "%s", std::string(300, 'x').c_str());  // cut to 127 characters
    returned = true;
  });
  EXPECT_TRUE(WaitFor([&] { return returned.load(); }));
  worker.join();
  EXPECT_EQ(caption, "Error");
  EXPECT_EQ(length, 127);
  EXPECT_FALSE(returnedWhileOpen);
}

TEST(AboutBox, ShowsTitleAndVersion) {
  TAboutDlg about;
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(about.size(), QSize(369, 170));
  EXPECT_EQ(about.ProductName->text(), "Vireon Data Logger");
  EXPECT_EQ(about.Version->text(), "Version 4.14");
  EXPECT_FALSE(about.ProgramIcon->pixmap().isNull());
  QTimer::singleShot(0, &about, [&] { about.OKButton->click(); });
  EXPECT_EQ(about.exec(), 1);
}

class Thrower : public QObject {
 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("handler failed");
    return QObject::event(e);
  }
};

TEST(ExceptionDisplay, ExceptionInAHandlerIsShownAndTheLoopCarriesOn) {
  Thrower thrower;
  QString text;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QMessageBox* box = OpenBox()) {
      text = box->text();
      box->accept();
    }
  });
  poll.start(50);
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  EXPECT_TRUE(WaitFor([&] { return !text.isEmpty(); }));
  EXPECT_EQ(text, "handler failed");
}

using UserManualMenu = ShellTest;

TEST_F(UserManualMenu, MissingManualIsReported) {
  QTemporaryDir empty;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(empty.path());
  QString caption;
  QString text;
  QTimer::singleShot(0, [&] {
    QMessageBox* box = OpenBox();
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle();
    text = box->text();
    box->accept();
  });
  Form->UserManualClick();
  QDir::setCurrent(previous);
  EXPECT_EQ(caption, "Information");
  EXPECT_EQ(text, "Could Not Load User Manual!!!");
}

}  // namespace
}  // namespace vireon
