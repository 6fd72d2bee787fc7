#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <array>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "display/RRouter.h"
#include "gps/Gps.h"
#include "gps/GpsRouter.h"
#include "gps/MapRangeForm.h"
#include "model/Engine.h"
#include "platform/SharedMemory.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"

namespace vireon {
namespace {

// A GPS report payload built field by field, big-endian as the instrument sends it.
struct Report {
  std::array<uint8_t, kGpsReportSize> Bytes{};
  Report& Put16(int offset, int v) {
    Bytes[offset] = static_cast<uint8_t>(v >> 8);
    Bytes[offset + 1] = static_cast<uint8_t>(v);
    return *this;
  }
  Report& Put32(int offset, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) Bytes[offset + i] = static_cast<uint8_t>(u >> (24 - 8 * i));
    return *this;
  }
  Report& Put8(int offset, int v) {
    Bytes[offset] = static_cast<uint8_t>(v);
    return *this;
  }
  Report& Channel(int row, std::array<uint8_t, 6> c) {
    for (int i = 0; i < 6; ++i) Bytes[57 + (row - 1) * 6 + i] = c[i];
    return *this;
  }
  TGPS Decoded() const {
    TGPS gps;
    gps.Decode(Bytes.data(), Bytes.size());
    return gps;
  }
};

constexpr int32_t kMasPerDegree = 3600000;

std::string Text(const QLabel* l) {
  return l->text().toStdString();
}
std::string Text(const QLineEdit* e) {
  return e->text().toStdString();
}

class GpsPanel : public ::testing::Test {
 protected:
  GpsPanel()
      : BlockName("/vireon-ui-test-" + std::to_string(getpid())),
        Model(GpsRecord),
        Router(Model, Form, Range, std::make_unique<TMapLink>(BlockName)) {}
  ~GpsPanel() override { SharedMemory::Unlink(BlockName); }

  // The main window's own display threads find the engine through the process-wide pointer.
  struct Publish {
    explicit Publish(TEngine& e) { Engine = &e; }
    ~Publish() { Engine = nullptr; }
  };
  // The window starts them and leaves them to the process; a test ends them with the engine.
  struct StopDisplayThreads {
    ~StopDisplayThreads() {
      for (TR_Router*& r : ReceiverRouters) {
        delete r;
        r = nullptr;
      }
    }
  };

  void Show(const Report& r) { Router.UpdatePanel(r.Decoded()); }

  std::string BlockName;
  TGPSShared GpsRecord;
  TEngine Model;
  Publish Published{Model};
  TMain_Form Form;
  StopDisplayThreads Stopper;
  TMapRange_Form Range;
  TGPS_Router Router;
};

TEST_F(GpsPanel, ChannelRowsLineUpUnderTheHeaderWithTheirStatusTexts) {
  Show(Report().Channel(3, {5, 8, 42, 7, 0x08, 0x83}).Channel(12, {32, 2, 255, 1, 0x0F, 0xFF}));
  EXPECT_EQ(Text(Form.lblChannelHdr), "CHANNEL  SVID  MODE  SIGNAL  IODE  ACCURACY  STATUS");
  EXPECT_EQ(Text(Form.lblChannel3),
            "   03     05    08    042     007     03     (Time Used)(PosFix Used)");
  // Empty channel records are rewritten too.
  EXPECT_EQ(Text(Form.lblChannel1), "   01     00    00    000     000     00     ");
  EXPECT_EQ(Text(Form.lblChannel12),
            "   12     32    02    255     001     15     (Time Used)(Diff. Corr.)(Invalid Data)"
            "(Parity Error)(PosFix Used)(Mom Alert)(Anti-Spoof)(Unhealthy)");
  for (int k = 0; k < 12; ++k)
    EXPECT_EQ(Router.ChannelLabels[k]->text().left(5),
              QString("   %1").arg(k + 1, 2, 10, QChar('0')));
}

TEST_F(GpsPanel, FixStatusFieldIsColouredByFixCodeAndKeepsItsText) {
  struct Case {
    int FixCode;
    QColor Background, Font;
  } cases[] = {
      {7, QColor(0, 128, 0), Qt::white},
      {6, QColor(255, 255, 0), Qt::black},
      {3, QColor(255, 0, 0), Qt::white},
      {0, QColor(255, 0, 0), Qt::white},
  };
  Form.edGPSStatus->setText("GPS");
  for (const Case& c : cases) {
    Show(Report().Put8(129, c.FixCode << 5));
    QPalette p = Form.edGPSStatus->palette();
    EXPECT_EQ(p.color(QPalette::Base), c.Background) << "fix " << c.FixCode;
    EXPECT_EQ(p.color(QPalette::Text), QColor(c.Font)) << "fix " << c.FixCode;
    QImage shot = Form.edGPSStatus->grab().toImage();
    EXPECT_EQ(shot.pixelColor(shot.width() - 5, shot.height() / 2), c.Background)
        << "fix " << c.FixCode;
    EXPECT_EQ(Text(Form.edGPSStatus), "GPS");
  }
}

TEST_F(GpsPanel, SpeedsHeightsAndGeometryAreScaledAndTruncated) {
  Show(Report()
           .Put16(47, 199)
           .Put16(49, -250)
           .Put32(23, 12345)
           .Put32(27, -5049)
           .Put32(39, 100049)
           .Put32(43, 50)
           .Put16(53, 25));
  EXPECT_EQ(Text(Form.edGPSSpeed), "1 m/s");
  EXPECT_EQ(Text(Form.lbl3DSpeed), "3D Speed = 1 m/s");
  EXPECT_EQ(Text(Form.lbl2DSpeed), "2D Speed = -2 m/s");
  EXPECT_EQ(Text(Form.edGPSAltitude), "123 meters");
  EXPECT_EQ(Text(Form.lblFilGPSHeight), "GPS Height = 123 M");
  EXPECT_EQ(Text(Form.lblFilMSLHeight), "MSL Height = -50 M");
  EXPECT_EQ(Text(Form.lblGPSHeight), "GPS Height = 1000 M");
  EXPECT_EQ(Text(Form.lblMSLHeight), "MSL Height = 0 M");
  EXPECT_EQ(Text(Form.lblGeometry), "2.5 DOP");
}

TEST_F(GpsPanel, PositionsShowTheirHemispheres) {
  Show(Report()
           .Put32(15, 55 * kMasPerDegree)
           .Put32(19, -2 * kMasPerDegree - kMasPerDegree / 4)
           .Put32(31, -33 * kMasPerDegree)
           .Put32(35, 151 * kMasPerDegree));
  EXPECT_EQ(Text(Form.edGPSLatitude), "55.0000 N");
  EXPECT_EQ(Text(Form.edGPSLongitude), "2.2500 W");
  EXPECT_EQ(Text(Form.lblFilLat), "Latitude  = 55.0000 N");
  EXPECT_EQ(Text(Form.lblFilLon), "Longitude = 2.2500 W");
  EXPECT_EQ(Text(Form.lblLat), "Latitude  = 33.0000 S");
  EXPECT_EQ(Text(Form.lblLon), "Longitude = 151.0000 E");
}

TEST_F(GpsPanel, ReceiverStatusLinesListTheirFlagsOrStayEmpty) {
  Show(Report().Put8(129, (6 << 5) | 0x18).Put8(130, 0xFF));
  EXPECT_EQ(Text(Form.lblRecStat1), "2D Fix");
  EXPECT_EQ(Text(Form.lblRecStat2), "(Fast Acq. Pos.)(Filter Reset)");
  EXPECT_EQ(Text(Form.lblRecStat3), "(Cold Start)(Diff. Fix)");
  EXPECT_EQ(Text(Form.lblRecStat4), "(Pos. Lock)(Autosurvey)");
  EXPECT_EQ(Text(Form.lblRecStat5), "(Insuff. Visible Sat's)");
  EXPECT_EQ(Text(Form.lblRecStat6), "Antenna: NV");
  EXPECT_EQ(Text(Form.lblRecStat7), "Code Location: INTERNAL");

  Show(Report().Put8(129, 3 << 5).Put8(130, 0x02));
  EXPECT_EQ(Text(Form.lblRecStat1), "Acquiring Satellites");
  for (QLabel* l : {Form.lblRecStat2, Form.lblRecStat3, Form.lblRecStat4, Form.lblRecStat5})
    EXPECT_EQ(Text(l), "");
  EXPECT_EQ(Text(Form.lblRecStat6), "Antenna: Overcurrent");
  EXPECT_EQ(Text(Form.lblRecStat7), "Code Location: EXTERNAL");
}

TEST_F(GpsPanel, ClockTimeAndIdentityTextsFollowTheirFormats) {
  Report r;
  r.Put8(4, 7).Put8(5, 4).Put16(6, 2026).Put8(8, 9).Put8(9, 5).Put8(10, 3);
  r.Put16(51, 900).Put8(55, 11).Put8(56, 8).Put16(133, -42).Put32(135, -123456);
  r.Put16(139, 51).Put8(141, 0xC0 | 13).Put8(142, 1).Put8(143, 5).Put8(144, 30);
  for (int i = 0; i < 6; ++i) r.Put8(145 + i, "RX-007"[i]);
  Show(r);
  EXPECT_EQ(Text(Form.edGPSDate), "07/04/2026");
  EXPECT_EQ(Text(Form.edGPSTime), "09:05:03");
  EXPECT_EQ(Text(Form.lblDateTime), "07/04/2026   09:05:03");
  EXPECT_EQ(Text(Form.edGPSHeading), "Heading = E");
  EXPECT_EQ(Text(Form.lblHeading), "Heading = E");
  EXPECT_EQ(Text(Form.edGPSSats), "Sats = 8");
  EXPECT_EQ(Text(Form.lblSatData), "11 Visible, 8 Tracked");
  EXPECT_EQ(Text(Form.lblClockBias), "Clock Bias = -42 ns");
  EXPECT_EQ(Text(Form.lblOscOffset), "Osc. Offset = -123456 Hz");
  EXPECT_EQ(Text(Form.lblTemperature), "Temperature = 25.0 C");
  EXPECT_EQ(Text(Form.lblUTCMode), "Mode = ENABLED");
  EXPECT_EQ(Text(Form.lblUTCOffset), "Offset = DECODED");
  EXPECT_EQ(Text(Form.lblUTCValue), "Offset Value = 13");
  EXPECT_EQ(Text(Form.lblGMT), "-05:30");
  EXPECT_EQ(Text(Form.lblID), "RX-007");

  Show(Report());
  EXPECT_EQ(Text(Form.lblUTCMode), "Mode = DISABLED");
  EXPECT_EQ(Text(Form.lblUTCOffset), "Offset = NOT DECODED");
  EXPECT_EQ(Text(Form.lblGMT), " 00:00");
}

TEST_F(GpsPanel, MapRecordTakesTheDialogsRangeTheLevelAndTheUnfilteredPosition) {
  Range.edRSSIMin->setText("-75dBm");
  Range.edRSSIMax->setText("0");
  Router.SetMapRSSI(-64);
  Router.WriteMapRecord(Report()
                            .Put32(15, 10 * kMasPerDegree)
                            .Put32(31, 55 * kMasPerDegree)
                            .Put32(35, -3 * kMasPerDegree)
                            .Decoded());
  SharedMemory block;
  ASSERT_TRUE(block.Open(BlockName, kMapBlockSize));
  TMapRecord r = ReadMapRecord(block.View());
  EXPECT_DOUBLE_EQ(r.Latitude, 55.0);
  EXPECT_DOUBLE_EQ(r.Longitude, -3.0);
  EXPECT_EQ(r.RSSI, -64);
  EXPECT_EQ(r.RSSIMin, -75);
  EXPECT_EQ(r.RSSIMax, 0);
}

TEST_F(GpsPanel, ABlockOthersMayOpenIsRefusedAndTheStatusBarSaysSo) {
  const int fd = shm_open(BlockName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fchmod(fd, 0666), 0);
  close(fd);
  Router.WriteMapRecord(Report().Decoded());
  EXPECT_EQ(Form.MapLinkNotice.toStdString(),
            "Map link off: " + BlockName + " is open to other users (mode 0666)");
  EXPECT_EQ(Router.MapLink().RecordsWritten(), 0);
}

TEST_F(GpsPanel, OnlyTheReceiverChosenInTheDialogFeedsTheMapLevel) {
  struct Wire {
    Wire(TMain_Form& form, TMapRange_Form& range, TGPS_Router& router) {
      Main_Form = &form;
      MapRange_Form = &range;
      GpsRouter = &router;
    }
    ~Wire() {
      Main_Form = nullptr;
      MapRange_Form = nullptr;
      GpsRouter = nullptr;
    }
  } wire(Form, Range, Router);
  Form.btnScanMode->setChecked(true);
  Model.ScanLevels[0][2].store(-40);
  Model.ScanLevels[1][5].store(-90);

  Range.UseR2->click();
  ReceiverRouters[0]->UpdateDisplay();
  EXPECT_EQ(Router.MapRSSI.load(), 0);
  ReceiverRouters[1]->UpdateDisplay();
  EXPECT_EQ(Router.MapRSSI.load(), -90);

  Range.UseR1->click();
  ReceiverRouters[1]->UpdateDisplay();
  EXPECT_EQ(Router.MapRSSI.load(), -90);
  ReceiverRouters[0]->UpdateDisplay();
  EXPECT_EQ(Router.MapRSSI.load(), -40);
}

// Runs posted routines only when the test says so, to hold the GPS thread inside an update.
class HeldDispatcher : public UiDispatcher {
 public:
  void Post(std::function<void()> fn) override {
    std::lock_guard lock(M);
    Queue.push_back(std::move(fn));
  }
  bool IsUiThread() const override { return std::this_thread::get_id() == UiThread; }
  size_t Pending() const {
    std::lock_guard lock(M);
    return Queue.size();
  }
  void RunOne() {
    std::function<void()> fn;
    {
      std::lock_guard lock(M);
      fn = std::move(Queue.front());
      Queue.pop_front();
    }
    fn();
  }

 private:
  std::thread::id UiThread = std::this_thread::get_id();
  mutable std::mutex M;
  std::deque<std::function<void()>> Queue;
};

template <typename Predicate>
bool WaitFor(Predicate done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

class GpsThread : public GpsPanel {
 protected:
  GpsThread() { SetUiDispatcher(&Dispatcher); }
  ~GpsThread() override {
    Router.RequestStop();
    Router.Join();
    SetUiDispatcher(nullptr);
  }
  void Arrive(const Report& r) {
    GpsRecord.Decode(r.Bytes.data(), r.Bytes.size());
    Model.GpsEvent.Set();
  }
  HeldDispatcher Dispatcher;
};

TEST_F(GpsThread, ReportsArrivingDuringAnUpdateCauseNoUpdateOfTheirOwn) {
  Router.Start();
  Arrive(Report().Put8(56, 4));
  ASSERT_TRUE(WaitFor([&] { return Dispatcher.Pending() == 1; }));
  Arrive(Report().Put8(56, 5));
  Arrive(Report().Put8(56, 6));
  Dispatcher.RunOne();
  ASSERT_TRUE(WaitFor([&] { return Router.MapLink().RecordsWritten() == 1; }));
  ASSERT_TRUE(WaitFor([&] { return !Model.GpsEvent.IsSet(); }));
  EXPECT_EQ(Text(Form.edGPSSats), "Sats = 6");  // the update read the latest report
  // Longer than one wait of the loop: nothing further is asked of the UI thread.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(Dispatcher.Pending(), 0u);

  Arrive(Report().Put8(56, 7));
  ASSERT_TRUE(WaitFor([&] { return Dispatcher.Pending() == 1; }));
  Dispatcher.RunOne();
  ASSERT_TRUE(WaitFor([&] { return Router.MapLink().RecordsWritten() == 2; }));
  EXPECT_EQ(Text(Form.edGPSSats), "Sats = 7");
}

TEST_F(GpsThread, StopWhileWaitingEndsTheLoopWithoutTouchingTheScreen) {
  Router.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Router.RequestStop();
  Router.Join();
  EXPECT_EQ(Dispatcher.Pending(), 0u);
  EXPECT_EQ(Router.MapLink().RecordsWritten(), 0);
}

TEST_F(GpsThread, StopDuringAnUpdateLeavesTheRecordUnwritten) {
  Router.Start();
  Arrive(Report());
  ASSERT_TRUE(WaitFor([&] { return Dispatcher.Pending() == 1; }));
  Router.RequestStop();
  Router.Join();
  EXPECT_EQ(Router.MapLink().RecordsWritten(), 0);
}

TEST(MapRangeDialog, HasItsCaptionSizeTextsAndDefaults) {
  TMapRange_Form form;
  EXPECT_EQ(form.windowTitle(), "Mapping Range Settings");
  EXPECT_EQ(form.size(), QSize(313, 317));
  EXPECT_EQ(form.Label4->text(),
            "These settings re used when the NDQ Marlune is running for real-time mapping "
            "capabilities. The data is sent from the Vireon to the Marlune for plotting on a map.");
  EXPECT_TRUE(form.Label4->wordWrap());
  EXPECT_EQ(form.Label3->text(), "Use Data From:");
  EXPECT_TRUE(form.Label3->font().bold());
  EXPECT_EQ(form.UseR1->text(), "Receiver #1");
  EXPECT_EQ(form.UseR2->text(), "Receiver #2");
  EXPECT_TRUE(form.UseR1->isChecked());
  EXPECT_EQ(form.Label6->text(), "Range of Values for RSSI Data");
  EXPECT_EQ(form.Label1->text(), "Maximum Value for Color Range");
  EXPECT_EQ(form.Label2->text(), "Minimum Value for Color Range");
  EXPECT_EQ(form.edRSSIMax->text(), "-50");
  EXPECT_EQ(form.edRSSIMin->text(), "-120");
  EXPECT_EQ(form.OKBtn->text(), "OK");
  EXPECT_TRUE(form.OKBtn->isDefault());
  // Controls run top to bottom inside the client area.
  EXPECT_LT(form.GroupBox1->geometry().bottom(), form.GroupBox2->geometry().top());
  EXPECT_LT(form.GroupBox2->geometry().bottom(), form.Bevel1->geometry().top());
  EXPECT_LT(form.Bevel1->geometry().bottom(), form.OKBtn->geometry().top());
  EXPECT_LE(form.OKBtn->geometry().bottom(), 317);
}

TEST(MapRangeDialog, MirrorsTheUsersChoicesForTheWorkerThreads) {
  TMapRange_Form form;
  EXPECT_EQ(form.SelectedReceiver(), 0);
  EXPECT_TRUE(form.UsesReceiver(0));
  EXPECT_FALSE(form.UsesReceiver(1));
  EXPECT_EQ(form.RSSIMin(), -120);
  EXPECT_EQ(form.RSSIMax(), -50);

  form.UseR2->click();
  EXPECT_EQ(form.SelectedReceiver(), 1);
  EXPECT_FALSE(form.UsesReceiver(0));
  EXPECT_TRUE(form.UsesReceiver(1));
  const struct {
    const char* Min;
    const char* Max;
    int16_t InForceMin, InForceMax;
    const char* Caption;
  } edits[] = {{"-100", "  -30 dBm", -100, -30, "Range of Values for RSSI Data"},
               {"-100", "abc", -100, -30, "The maximum must be a whole number of dBm"},
               {"70000", "-30", -100, -30, "The minimum must be a whole number of dBm"},
               {"-20", "-30", -100, -30, "The minimum must be below the maximum"},
               {"-90", "-40", -90, -40, "Range of Values for RSSI Data"}};
  for (const auto& e : edits) {
    form.edRSSIMin->setText(e.Min);
    form.edRSSIMax->setText(e.Max);
    EXPECT_EQ(form.RSSIMin(), e.InForceMin) << e.Min << " " << e.Max;
    EXPECT_EQ(form.RSSIMax(), e.InForceMax) << e.Min << " " << e.Max;
    EXPECT_EQ(form.Label6->text(), e.Caption) << e.Min << " " << e.Max;
  }
}

TEST(MapRangeDialog, OkKeepsTheDialogOpenWhileTheRangeCannotBeUsed) {
  TMapRange_Form form;
  form.show();
  form.edRSSIMin->setText("-40");
  form.edRSSIMax->setText("-60");
  form.OKBtn->click();
  EXPECT_TRUE(form.isVisible());
  form.edRSSIMax->setText("-10");
  form.OKBtn->click();
  EXPECT_FALSE(form.isVisible());
}

TEST(MapRangeDialog, OkClosesTheDialogWithResultOne) {
  TMapRange_Form form;
  form.show();
  ASSERT_TRUE(form.isVisible());
  form.OKBtn->click();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), 1);
}

}  // namespace
}  // namespace vireon
