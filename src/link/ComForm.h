#pragma once
// The port dialog: the first window of a run. It asks how the instrument is attached, records
// the choice in the engine and starts the communications, status and GPS threads. Its list holds
// the five fixed items, then what is attached, found again whenever the dialog opens and each
// time the list drops down. Escape (or closing it) ends the program: no port, no run. Shown
// again later (File > Port...), its OK hands the new choice to the one communications thread
// and Escape merely closes it.

#include <QComboBox>
#include <QDialog>
#include <functional>
#include <vector>

#include "link/PortList.h"
#include "link/PortName.h"

class QFrame;
class QLabel;
class QPushButton;

namespace vireon {

// A combo box that is told just before its list drops down.
class TPortCombo : public QComboBox {
 public:
  using QComboBox::QComboBox;
  std::function<void()> BeforePopup;
  void showPopup() override;
};

class TCom_Form : public QDialog {
  Q_OBJECT

 public:
  using TPortLister = std::function<std::vector<TPortItem>()>;
  explicit TCom_Form(QWidget* parent = nullptr, TPortLister lister = ListAttachedPorts);

  QFrame* Bevel1;
  QLabel* Label2;
  QLabel* Label1;
  TPortCombo* PortChoice;
  QPushButton* OKBtn;

  TPortChoice Choice() const;
  // Lists what is attached after the fixed items, keeping what the user typed or chose.
  void RefreshPorts();

 public slots:
  void FormCreate();
  void OKBtnClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  TPortLister Lister;
};

}  // namespace vireon
