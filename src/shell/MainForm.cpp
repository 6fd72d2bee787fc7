#include "shell/MainForm.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <utility>

#include "log/LogControl.h"
#include "shell/Controls.h"

// Icons live in a static library: their resource must be registered by hand, outside any
// namespace.
static void InitShellResources() {
  Q_INIT_RESOURCE(icons);
}

namespace vireon {

namespace {
constexpr int kClientWidth = 892;
constexpr int kClientHeight = 504;
constexpr int kTopBarHeight = 33;
constexpr int kStatusBarHeight = 19;
constexpr int kSidePanelWidth = 105;
constexpr int kCentreHeight = kClientHeight - kTopBarHeight - kStatusBarHeight;

QButtonGroup* Group(QObject* owner, std::initializer_list<QToolButton*> buttons) {
  auto* g = new QButtonGroup(owner);
  g->setExclusive(true);
  for (QToolButton* b : buttons) g->addButton(b);
  return g;
}
}  // namespace

TMain_Form::TMain_Form(QWidget* parent) : QMainWindow(parent) {
  InitShellResources();
  setWindowTitle("Vireon Data Logger");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(FormFont());

  // The client area below the menu, minus the status bar: every region has fixed coordinates.
  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
  setCentralWidget(client);

  BuildMenu();
  BuildTopBar(client);
  BuildStatusPanel(client);
  BuildReceiverInfo(client);
  BuildGPSPanel(client);
  BuildReceiverPanels(client);
  BuildStatusBar();

  dlgOpenLog = new QFileDialog(this);
  Timer1 = new QTimer(this);
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TMain_Form::Timer1Timer);

  setFixedSize(sizeHint());
  CentreOnScreen(this);
  FormCreate();
  Timer1->start();
}

TMain_Form::~TMain_Form() = default;

void TMain_Form::BuildMenu() {
  File1 = menuBar()->addMenu("&File");
  Port1 = File1->addAction("&Port...", this, &TMain_Form::PortClick);
  File1->addSeparator();
  Exit1 = File1->addAction("E&xit", this, &TMain_Form::Exit1Click);
  Map = menuBar()->addAction("&Map", this, &TMain_Form::MapClick);
  Help1 = menuBar()->addMenu("&Help");
  UserManual = Help1->addAction("&User Manual", this, &TMain_Form::UserManualClick);
  Help1->addSeparator();
  About = Help1->addAction("&About", this, &TMain_Form::AboutClick);
}

void TMain_Form::BuildTopBar(QWidget* client) {
  pnlScroll = MakePanel(client, 0, 0, kClientWidth, kTopBarHeight);
  pnlScroll->setFrameStyle(QFrame::Box | QFrame::Plain);
  QFrame* bar = pnlScroll;
  const QFont bold = BoldFont(font());

  btnGPSPanel = MakeSpeedButton(bar, 4, 4, 125, 25, "GPS Screen", "GPS Panel");
  btnReceiverPanels = MakeSpeedButton(bar, 129, 4, 125, 25, "Receiver Screen", "Receiver Panel");
  btnGPSPanel->setFont(bold);
  btnReceiverPanels->setFont(bold);
  btnReceiverPanels->setChecked(true);
  Bevels[0] = MakeBevel(bar, 258, 2, 4, 29);

  LogFile = MakeEdit(bar, 266, 6, 155, "Vireon", false);
  btnLogFile = MakeSpeedButton(bar, 423, 4, 25, 25, "", "Select Log File");
  btnLogFile->setCheckable(false);
  btnLogFile->setIcon(QIcon(":/icons/folder.svg"));
  edFileSize = MakeEdit(bar, 450, 6, 59, "0 kB", true);
  edFileSize->setToolTip("File Size");
  btnLogMode = MakeSpeedButton(bar, 511, 4, 25, 25, "", "Log Data");
  btnLogMode->setIcon(QIcon(":/icons/record.svg"));
  Bevels[1] = MakeBevel(bar, 540, 2, 4, 29);

  btnSingleMode = MakeSpeedButton(bar, 548, 4, 25, 25, "", "Single Channel Mode");
  btnScanMode = MakeSpeedButton(bar, 573, 4, 25, 25, "", "Scan Mode");
  btnTableMode = MakeSpeedButton(bar, 598, 4, 25, 25, "", "");
  btnSingleMode->setIcon(QIcon(":/icons/single.svg"));
  btnScanMode->setIcon(QIcon(":/icons/scan.svg"));
  btnTableMode->setIcon(QIcon(":/icons/table.svg"));
  btnSingleMode->setChecked(true);
  grpMode = Group(this, {btnSingleMode, btnScanMode, btnTableMode});
  Bevels[2] = MakeBevel(bar, 627, 2, 4, 29);

  btnReceiver1 = MakeSpeedButton(bar, 635, 4, 25, 25, "R1", "Receiver 1 Display");
  btnReceiver2 = MakeSpeedButton(bar, 660, 4, 25, 25, "R2", "Receiver 2 Display");
  btnReceiver1->setFont(bold);
  btnReceiver2->setFont(bold);
  SetTextColor(btnReceiver1, kBlue);
  SetTextColor(btnReceiver2, Qt::black);
  btnReceiver1->setChecked(true);
  btnReceiver2->setChecked(true);
  btnTileV = MakeSpeedButton(bar, 685, 4, 25, 25, "", "Tile Receiver Panels Vertically");
  btnTileH = MakeSpeedButton(bar, 710, 4, 25, 25, "", "Tile Receiver Panels Horizontally");
  btnTileV->setIcon(QIcon(":/icons/tilev.svg"));
  btnTileH->setIcon(QIcon(":/icons/tileh.svg"));
  btnTileH->setChecked(true);
  grpTile = Group(this, {btnTileV, btnTileH});
  Bevels[3] = MakeBevel(bar, 739, 2, 4, 29);

  sbFrequency = MakeSpeedButton(bar, 747, 4, 25, 25, "F", "Show Frequencies");
  sbChannel = MakeSpeedButton(bar, 772, 4, 25, 25, "C", "ShowChannels");
  for (QToolButton* b : {sbFrequency, sbChannel}) {
    b->setFont(bold);
    SetTextColor(b, kNavy);
  }
  sbFrequency->setChecked(true);
  grpXCaption = Group(this, {sbFrequency, sbChannel});
  grpScreen = Group(this, {btnGPSPanel, btnReceiverPanels});

  connect(btnGPSPanel, &QToolButton::clicked, this, &TMain_Form::btnGPSPanelClick);
  connect(btnReceiverPanels, &QToolButton::clicked, this, &TMain_Form::btnReceiverPanelsClick);
  connect(btnLogFile, &QToolButton::clicked, this, &TMain_Form::btnLogFileClick);
  connect(btnLogMode, &QToolButton::toggled, this, [this](bool on) { LogModeMirror.store(on); });
  for (auto [button, mode] :
       {std::pair{btnSingleMode, TMode::Single}, std::pair{btnScanMode, TMode::Scan},
        std::pair{btnTableMode, TMode::Table}}) {
    connect(button, &QToolButton::toggled, this, [this, mode](bool on) {
      if (on) ModeMirror.store(mode);
    });
  }
  connect(btnLogMode, &QToolButton::clicked, this, &TMain_Form::btnLogModeClick);
  connect(btnReceiver1, &QToolButton::clicked, this, &TMain_Form::btnReceiver1Click);
  connect(btnReceiver2, &QToolButton::clicked, this, &TMain_Form::btnReceiver2Click);
  connect(btnTileV, &QToolButton::clicked, this, &TMain_Form::btnTileVClick);
  connect(btnTileH, &QToolButton::clicked, this, &TMain_Form::btnTileHClick);
}

void TMain_Form::BuildStatusPanel(QWidget* client) {
  // Drawn first so the left panel covers them, as on the original form.
  const QFont bold = BoldFont(font());
  olGPS = MakeLabel(client, 7, 446, 86, 13, "GPS Status");
  olVireon = MakeLabel(client, 7, 466, 86, 13, "Vireon Status");
  for (QLabel* l : {olGPS, olVireon}) {
    l->setFont(bold);
    l->setAlignment(Qt::AlignCenter);
  }
  SetTextColor(olGPS, Qt::white);
  SetBackColor(olGPS, kRed);
  SetTextColor(olVireon, kMaroon);
  SetBackColor(olVireon, Qt::white);

  pnlStatus = MakePanel(client, 0, kTopBarHeight, kSidePanelWidth, kCentreHeight);
  pnlStatus->setAutoFillBackground(true);
  gbSerial = MakeGroup(pnlStatus, 2, 2, 101, 46, "Serial Number");
  edSN = MakeEdit(gbSerial, 5, 18, 90, "", true);
  gbRTC = MakeGroup(pnlStatus, 2, 50, 101, 92, "RTC/Marker");
  edRTCDate = MakeEdit(gbRTC, 5, 18, 90, "", true);
  edRTCTime = MakeEdit(gbRTC, 5, 42, 90, "", true);
  edMarker = MakeEdit(gbRTC, 5, 66, 90, "", true);
  gbGPSData = MakeGroup(pnlStatus, 2, 144, 101, 236, "GPS Data");
  QLineEdit** gpsEdits[] = {&edGPSDate,      &edGPSTime,     &edGPSLatitude,
                            &edGPSLongitude, &edGPSAltitude, &edGPSSpeed,
                            &edGPSHeading,   &edGPSSats,     &edGPSStatus};
  int y = 18;
  for (QLineEdit** e : gpsEdits) {
    *e = MakeEdit(gbGPSData, 5, y, 90, "", true);
    y += 24;
  }
  olClock = MakeLabel(pnlStatus, 8, 390, 90, 16, "HH:MM:SS");
  olClock->setFont(bold);
  olClock->setAlignment(Qt::AlignCenter);
  SetTextColor(olClock, kMaroon);
}

void TMain_Form::BuildReceiverInfo(QWidget* client) {
  pnlReceiverInfo = MakePanel(client, kClientWidth - kSidePanelWidth, kTopBarHeight,
                              kSidePanelWidth, kCentreHeight);
  pnlReceiverInfo->setAutoFillBackground(true);
  auto build = [this](int top, const QString& caption, QLineEdit** min, QLineEdit** max,
                      QLineEdit** step) {
    QGroupBox* g = MakeGroup(pnlReceiverInfo, 2, top, 101, 140, caption);
    MakeLabel(g, 5, 16, 92, 14, "Minimum (MHz)");
    *min = MakeEdit(g, 5, 30, 90, "", true);
    MakeLabel(g, 5, 56, 92, 14, "Maximum (MHz)");
    *max = MakeEdit(g, 5, 70, 90, "", true);
    MakeLabel(g, 5, 96, 92, 14, "Step Size (kHz)");
    *step = MakeEdit(g, 5, 110, 90, "", true);
    return g;
  };
  gbReceiver1 = build(2, "Receiver #1", &edMin1, &edMax1, &edStep1);
  gbReceiver2 = build(146, "Receiver #2", &edMin2, &edMax2, &edStep2);
}

void TMain_Form::BuildReceiverPanels(QWidget* client) {
  Receiver1Panel = MakePanel(client, kSidePanelWidth, kTopBarHeight, 343, kCentreHeight + 1);
  Receiver2Panel = MakePanel(client, kSidePanelWidth + 341, kTopBarHeight, 343, kCentreHeight + 1);
  for (QFrame* p : {Receiver1Panel, Receiver2Panel}) {
    SetBackColor(p, kGray);
    p->setFrameStyle(QFrame::Panel | QFrame::Raised);
    p->installEventFilter(this);
  }
  ReceiverPanels = {Receiver1Panel, Receiver2Panel};
}

void TMain_Form::BuildStatusBar() {
  sbarVireon = new QStatusBar(this);
  sbarVireon->setSizeGripEnabled(false);
  sbarVireon->setFixedHeight(kStatusBarHeight);
  setStatusBar(sbarVireon);
  // Absolute panels, as the original draws them; panel 1 is clipped by the window's edge.
  sbarPanels[0] = MakeLabel(sbarVireon, 0, 0, 800, kStatusBarHeight, "");
  sbarPanels[1] = MakeLabel(sbarVireon, 802, 0, 100, kStatusBarHeight, "PC Clock");
  for (QLabel* p : sbarPanels) p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  sbarPanels[1]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  sbarPanels[1]->installEventFilter(this);
}

}  // namespace vireon
