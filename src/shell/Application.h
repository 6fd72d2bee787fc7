#pragma once
// The logger's start-up, shared by the program and its end-to-end test: the process-wide
// objects, then the five forms in their fixed order.

#include <QApplication>

namespace vireon {

// Shows an exception escaping an event handler and carries on, as the run loop of the original
// toolkit does; the exception never unwinds through Qt's event loop.
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

void ShowException(const char* what);

// The engine, the GPS record, both transports and the UI dispatcher. Once per process.
void CreateProcessObjects();
// Main window, About box, map range dialog, port dialog (on screen), log warning dialog.
void CreateForms();
// SIGTERM (a session ending) and SIGINT close the program as File, Exit does, so the log is
// completed; before a port is chosen they end it at once.
void CloseOnStopSignals();

// The desktop's name for the program: its desktop entry, icon and metainfo.
constexpr const char* kApplicationId = "com.ndq.VireonDataLogger";

}  // namespace vireon
