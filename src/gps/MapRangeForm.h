#pragma once
// The map range dialog: which receiver's level goes to the mapping program, and the colour range
// it plots with. The GPS thread and the receiver display threads read the choices through the
// atomic mirrors below, refreshed whenever the user edits the dialog, so no worker touches a
// widget. A range that is not two whole numbers, the minimum below the maximum, is refused in
// place with the reason, and the range in force stays.

#include <QDialog>
#include <atomic>
#include <cstdint>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vireon {

class TMapRange_Form : public QDialog {
  Q_OBJECT

 public:
  explicit TMapRange_Form(QWidget* parent = nullptr);

  // Safe from any thread.
  int SelectedReceiver() const { return MapReceiver.load(); }  // 0 = "Receiver #1"
  bool UsesReceiver(int i) const { return (i != 0 ? 1 : 0) == MapReceiver.load(); }
  int16_t RSSIMin() const { return RSSIMinValue.load(); }
  int16_t RSSIMax() const { return RSSIMaxValue.load(); }

  QGroupBox* GroupBox1;
  QLabel* Label4;
  QGroupBox* GroupBox2;
  QLabel* Label3;
  QRadioButton* UseR1;
  QRadioButton* UseR2;
  QFrame* Bevel1;
  QLabel* Label6;
  QLabel* Label1;
  QLineEdit* edRSSIMax;
  QLabel* Label2;
  QLineEdit* edRSSIMin;
  QPushButton* OKBtn;

 public slots:
  void OKBtnClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void MirrorReceiver();
  void MirrorRange();
  // Why the range in the edits cannot be used; empty when it can.
  QString RangeProblem() const;

  std::atomic<int> MapReceiver{0};
  std::atomic<int16_t> RSSIMinValue{-120};
  std::atomic<int16_t> RSSIMaxValue{-50};
};

}  // namespace vireon
