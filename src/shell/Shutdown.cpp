#include "shell/Shutdown.h"

#include "display/RRouter.h"
#include "gps/GpsRouter.h"
#include "link/ComRouter.h"
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
  for (Worker* w : workers) {
    if (w != nullptr) w->Join();
  }
}

}  // namespace vireon
