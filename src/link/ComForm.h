#pragma once
// The port dialog: the first window of a run. It asks how the instrument is attached, records
// the choice in the engine and starts the communications, status and GPS threads.

#include <QDialog>
#include <cstdint>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace vireon {

// Item indexes 0-3 are "COM1:".."COM4:", 4 is "USB"; later items and typed text are devices.
struct TPortChoice {
  int16_t LinkMode = 1;    // 1 COM port, 2 USB
  int16_t PortNumber = 0;  // 1-4 for the numbered ports, 0 otherwise
  QString DevicePath;      // a device to open instead of the numbered port
};
TPortChoice PortChoiceOf(int itemIndex, const QString& text, const QString& itemDevice);

class TCom_Form : public QDialog {
  Q_OBJECT

 public:
  explicit TCom_Form(QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Label2;
  QLabel* Label1;
  QComboBox* PortChoice;
  QPushButton* OKBtn;

  TPortChoice Choice() const;

 public slots:
  void FormCreate();
  void OKBtnClick();

 protected:
  void reject() override;
};

}  // namespace vireon
