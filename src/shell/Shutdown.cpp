#include "shell/Shutdown.h"

#include "display/RRouter.h"
#include "gps/GpsRouter.h"
#include "link/ComRouter.h"
#include "log/LogRouter.h"
#include "shell/Globals.h"
#include "shell/MainRouter.h"
#include "shell/MessageBox.h"

namespace vireon {

void StopWorkers() {
  // Asked for USB links too, so that no thread outlives the run.
  Worker* workers[] = {ComRouter, ReceiverRouters[0], ReceiverRouters[1], GpsRouter, MainRouter};
  for (Worker* w : workers) {
    if (w != nullptr) w->RequestStop();
  }
  AbandonMessageBoxes();
  // The log writer finishes what it was handed, then closes its file.
  if (LogRouter != nullptr) LogRouter->RequestStop();
  for (Worker* w : workers) {
    if (w != nullptr) w->Join();
  }
  if (LogRouter != nullptr) LogRouter->Join();
}

}  // namespace vireon
