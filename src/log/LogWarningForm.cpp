#include "log/LogWarningForm.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/Engine.h"

namespace vireon {

namespace {

constexpr int kWrapWidth = 480;

QLabel* MakeLabel(QWidget* parent, const char* text, int pixelSize, bool bold,
                  Qt::Alignment align) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  QFont font = label->font();
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  label->setFont(font);
  label->setWordWrap(true);
  label->setFixedWidth(kWrapWidth);
  label->setAlignment(align | Qt::AlignVCenter);
  // A box layout gives a wrapped label the height of its unwrapped hint, cutting lines off.
  label->setMinimumHeight(label->heightForWidth(kWrapWidth));
  return label;
}

}  // namespace

TLogWarningForm::TLogWarningForm(TEngine& engine, QWidget* parent)
    : QDialog(parent), Engine(engine) {
  setWindowTitle(QStringLiteral("VIREON LOG FILE WARNING"));
  setGeometry(281, 133, 522, 440);
  QFont formFont(QStringLiteral("MS Sans Serif"));
  setFont(formFont);

  Label1 = MakeLabel(this,
                     "WARNING!!! FAILURE TO PERFORM THE FOLLOWING STEPS CORRECTLY WILL RESULT IN "
                     "SCAN CHANNEL INFORMATION NOT BEING PLACED IN THE LOG FILE. IF THIS HAPPENS, "
                     "THE LOG FILE WILL NOT BE CONVERTED BY OSTRAVANE.",
                     16, true, Qt::AlignHCenter);
  Label1->setAutoFillBackground(true);
  QPalette warning = Label1->palette();
  warning.setColor(QPalette::Window, Qt::black);
  warning.setColor(QPalette::WindowText, Qt::red);
  Label1->setPalette(warning);

  Label4 = MakeLabel(this,
                     "Scan channel information is sent from the Vireon when the measurement mode "
                     "(single,list,table) is started from the Vireon. If a log file has not been "
                     "started by the user on the data logger, this information will not be "
                     "recorded. ",
                     13, false, Qt::AlignHCenter);
  Label2 = MakeLabel(this, "STEP 1: GO TO THE MAIN MENU ON THE VIREON (PRESS THE ESC KEY 3 TIMES).",
                     13, true, Qt::AlignLeft);
  Label3 =
      MakeLabel(this, "STEP 2 (READ STEP 3 BEFORE COMPLETING STEP 2): PRESS THE OK BUTTON BELOW.",
                13, true, Qt::AlignLeft);
  Label5 = MakeLabel(this, "STEP 3: START THE MEASUREMENT ON THE VIREON.", 13, true, Qt::AlignLeft);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setFixedSize(75, 25);
  QFont buttonFont = Button1->font();
  buttonFont.setBold(true);
  Button1->setFont(buttonFont);
  connect(Button1, &QPushButton::clicked, this, &TLogWarningForm::Button1Click);

  auto* layout = new QVBoxLayout(this);
  for (QLabel* label : {Label1, Label4, Label2, Label3, Label5}) {
    layout->addWidget(label, 0, Qt::AlignHCenter);
  }
  layout->addStretch();
  layout->addWidget(Button1, 0, Qt::AlignHCenter);
}

void TLogWarningForm::Button1Click() {
  Engine.ScanInfoCaptured.store(0);
  Engine.WarningCount.store(0);
  hide();
}

}  // namespace vireon
