#include "gps/MapRangeForm.h"

#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "gps/MapLink.h"

namespace vireon {

namespace {
const char* const kRangeCaption = "Range of Values for RSSI Data";

QLabel* BoldLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}
}  // namespace

TMapRange_Form::TMapRange_Form(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Mapping Range Settings");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(313, 317);
  // The forms' 8-point sans face, as in the main window, so the texts fit their places.
  QFont font("Arial");
  font.setPixelSize(11);
  setFont(font);

  GroupBox1 = new QGroupBox(this);
  GroupBox1->setGeometry(8, 4, 297, 89);
  Label4 = new QLabel(
      "These settings re used when the NDQ Marlune is running for real-time mapping "
      "capabilities. The data is sent from the Vireon to the Marlune for plotting on a map.",
      GroupBox1);
  Label4->setWordWrap(true);
  Label4->setGeometry(10, 12, 277, 70);

  GroupBox2 = new QGroupBox(this);
  GroupBox2->setGeometry(8, 98, 297, 69);
  Label3 = BoldLabel("Use Data From:", GroupBox2);
  Label3->setGeometry(12, 14, 110, 17);
  UseR1 = new QRadioButton("Receiver #1", GroupBox2);
  UseR1->setGeometry(136, 12, 140, 21);
  UseR1->setChecked(true);
  UseR2 = new QRadioButton("Receiver #2", GroupBox2);
  UseR2->setGeometry(136, 38, 140, 21);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Bevel1->setGeometry(8, 174, 297, 95);
  Label6 = BoldLabel(kRangeCaption, this);
  Label6->setAlignment(Qt::AlignCenter);
  Label6->setGeometry(12, 180, 289, 17);
  Label1 = new QLabel("Maximum Value for Color Range", this);
  Label1->setGeometry(18, 208, 192, 17);
  edRSSIMax = new QLineEdit("-50", this);
  edRSSIMax->setGeometry(216, 205, 81, 22);
  Label2 = new QLabel("Minimum Value for Color Range", this);
  Label2->setGeometry(18, 240, 192, 17);
  edRSSIMin = new QLineEdit("-120", this);
  edRSSIMin->setGeometry(216, 237, 81, 22);

  OKBtn = new QPushButton("OK", this);
  OKBtn->setGeometry(119, 281, 75, 25);
  OKBtn->setDefault(true);

  connect(OKBtn, &QPushButton::clicked, this, &TMapRange_Form::OKBtnClick);
  connect(UseR1, &QRadioButton::toggled, this, [this] { MirrorReceiver(); });
  connect(edRSSIMin, &QLineEdit::textChanged, this, [this] { MirrorRange(); });
  connect(edRSSIMax, &QLineEdit::textChanged, this, [this] { MirrorRange(); });
  MirrorReceiver();
  MirrorRange();
}

void TMapRange_Form::OKBtnClick() {
  if (!RangeProblem().isEmpty()) return;  // the reason stands in the dialog already
  done(1);
}

QString TMapRange_Form::RangeProblem() const {
  return QString::fromStdString(
      MapRangeProblem(edRSSIMin->text().toStdString(), edRSSIMax->text().toStdString()));
}

void TMapRange_Form::showEvent(QShowEvent* event) {
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
  QDialog::showEvent(event);
}

void TMapRange_Form::MirrorReceiver() {
  MapReceiver.store(UseR2->isChecked() ? 1 : 0);
}

// Only a usable range reaches the mapping program; otherwise the last one stays in force and
// the caption above the edits says what is wrong.
void TMapRange_Form::MirrorRange() {
  const QString problem = RangeProblem();
  Label6->setText(problem.isEmpty() ? kRangeCaption : problem);
  QPalette p = palette();
  if (!problem.isEmpty()) p.setColor(QPalette::WindowText, Qt::red);
  Label6->setPalette(p);
  if (!problem.isEmpty()) return;
  RSSIMinValue.store(MapRangeValue(edRSSIMin->text().toStdString()));
  RSSIMaxValue.store(MapRangeValue(edRSSIMax->text().toStdString()));
}

}  // namespace vireon
