#pragma once
// The logger's main window: top bar, status bar, the side panels with the status fields, the GPS
// screen and the two receiver panels with their bar graphs. Every control is public so the
// status, display and GPS threads can have the UI thread write them. Geometry is fixed.
// The engine must exist before the window is created: creating it starts the display threads.

#include <QMainWindow>
#include <array>
#include <atomic>
#include <memory>

#include "model/EngineHost.h"

class QAction;
class QButtonGroup;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QStatusBar;
class QTimer;
class QToolButton;

namespace vireon {

class DBar;
class TLogControl;

class TMain_Form : public QMainWindow, public TEngineHost {
  Q_OBJECT

 public:
  explicit TMain_Form(QWidget* parent = nullptr);
  ~TMain_Form() override;

  // TEngineHost: called from the communications thread.
  void PressMode(TMode mode) override;
  bool LogModeDown() const override { return LogModeMirror.load(); }
  void ShowScanWarning(const char* text) override;

  void ArrangeReceiverPanels();

  // Top bar.
  QFrame* pnlScroll;
  QToolButton* btnGPSPanel;
  QToolButton* btnReceiverPanels;
  QLineEdit* LogFile;
  QToolButton* btnLogFile;
  QLineEdit* edFileSize;
  QToolButton* btnLogMode;
  QToolButton* btnSingleMode;
  QToolButton* btnScanMode;
  QToolButton* btnTableMode;
  QToolButton* btnReceiver1;
  QToolButton* btnReceiver2;
  QToolButton* btnTileV;
  QToolButton* btnTileH;
  QToolButton* sbFrequency;
  QToolButton* sbChannel;
  std::array<QFrame*, 4> Bevels;
  QButtonGroup* grpScreen;    // group 1
  QButtonGroup* grpMode;      // group 3
  QButtonGroup* grpTile;      // group 6
  QButtonGroup* grpXCaption;  // group 8

  // Status bar: panel 0 the connection text, panel 1 under the clock label.
  QStatusBar* sbarVireon;
  std::array<QLabel*, 2> sbarPanels;
  // Shown after the connection text once the map link has refused its block (UI thread only).
  QString MapLinkNotice;

  // Left panel.
  QFrame* pnlStatus;
  QGroupBox* gbSerial;
  QLineEdit* edSN;
  QGroupBox* gbRTC;
  QLineEdit* edRTCDate;
  QLineEdit* edRTCTime;
  QLineEdit* edMarker;
  QGroupBox* gbGPSData;
  QLineEdit* edGPSDate;
  QLineEdit* edGPSTime;
  QLineEdit* edGPSLatitude;
  QLineEdit* edGPSLongitude;
  QLineEdit* edGPSAltitude;
  QLineEdit* edGPSSpeed;
  QLineEdit* edGPSHeading;
  QLineEdit* edGPSSats;
  QLineEdit* edGPSStatus;
  QLabel* olClock;
  QLabel* olGPS;
  QLabel* olVireon;

  // Right panel.
  QFrame* pnlReceiverInfo;
  QGroupBox* gbReceiver1;
  QLineEdit* edMin1;
  QLineEdit* edMax1;
  QLineEdit* edStep1;
  QGroupBox* gbReceiver2;
  QLineEdit* edMin2;
  QLineEdit* edMax2;
  QLineEdit* edStep2;

  // Centre.
  QFrame* GPSPanel;
  QFrame* Receiver1Panel;
  QFrame* Receiver2Panel;
  std::array<QFrame*, 2> ReceiverPanels;
  std::array<DBar*, 2> Bars{nullptr, nullptr};

  // GPS screen.
  QGroupBox* gbDateTime;
  QLabel* lblDateTime;
  QGroupBox* gbSatData;
  QLabel* lblSatData;
  QGroupBox* gbUTC;
  QLabel* lblUTCMode;
  QLabel* lblUTCOffset;
  QLabel* lblUTCValue;
  QGroupBox* gbGMT;
  QLabel* lblGMT;
  QGroupBox* gbID;
  QLabel* lblID;
  QGroupBox* gbGeometry;
  QLabel* lblGeometry;
  QGroupBox* gbFiltered;
  QLabel* lblFilLat;
  QLabel* lblFilLon;
  QLabel* lblFilGPSHeight;
  QLabel* lblFilMSLHeight;
  QGroupBox* gbUnfiltered;
  QLabel* lblLat;
  QLabel* lblLon;
  QLabel* lblGPSHeight;
  QLabel* lblMSLHeight;
  QGroupBox* gbRecStat;
  QLabel* lblRecStat1;
  QLabel* lblRecStat2;
  QLabel* lblRecStat3;
  QLabel* lblRecStat4;
  QLabel* lblRecStat5;
  QLabel* lblRecStat6;
  QLabel* lblRecStat7;
  QGroupBox* gbOscillator;
  QLabel* lblClockBias;
  QLabel* lblOscOffset;
  QLabel* lblTemperature;
  QGroupBox* gbVelocity;
  QLabel* lbl3DSpeed;
  QLabel* lbl2DSpeed;
  QLabel* lblHeading;
  QGroupBox* gbChannel;
  QLabel* lblChannelHdr;
  QLabel* lblChannel1;
  QLabel* lblChannel2;
  QLabel* lblChannel3;
  QLabel* lblChannel4;
  QLabel* lblChannel5;
  QLabel* lblChannel6;
  QLabel* lblChannel7;
  QLabel* lblChannel8;
  QLabel* lblChannel9;
  QLabel* lblChannel10;
  QLabel* lblChannel11;
  QLabel* lblChannel12;

  // Main menu.
  QMenu* File1;
  QAction* Port1;
  QAction* Exit1;
  QAction* Map;
  QMenu* Help1;
  QAction* UserManual;
  QAction* About;

  QFileDialog* dlgOpenLog;
  QTimer* Timer1;

 public slots:
  void FormCreate();
  void FormClose();
  void FormResize();
  void Timer1Timer();
  void sbarVireonDrawPanel();
  void btnGPSPanelClick();
  void btnReceiverPanelsClick();
  void btnReceiver1Click();
  void btnReceiver2Click();
  void btnTileHClick();
  void btnTileVClick();
  void Receiver1PanelResize();
  void Receiver2PanelResize();
  void ReplaceBar(int i);
  void PortClick();
  void MapClick();
  void AboutClick();
  void UserManualClick();
  void Exit1Click();
  void btnLogFileClick();
  void btnLogModeClick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenu();
  void BuildTopBar(QWidget* client);
  void BuildStatusBar();
  void BuildStatusPanel(QWidget* client);
  void BuildReceiverInfo(QWidget* client);
  void BuildGPSPanel(QWidget* client);
  void BuildReceiverPanels(QWidget* client);
  void ReceiverButtonClick(int i, QToolButton* button);
  void ConfigureBar(int i);
  // Created at the first logging click: the log warning dialog is made after this window.
  TLogControl& Logging();

  std::atomic<bool> LogModeMirror{false};
  // The mode button that is down, for PressMode on the communications thread: every level
  // packet presses its mode, and only a change is worth waking the UI thread for.
  std::atomic<TMode> ModeMirror{TMode::Single};
  std::atomic<bool> ScanWarningOpen{false};
  bool Closed = false;
  std::unique_ptr<TLogControl> LogControl;
};

}  // namespace vireon
