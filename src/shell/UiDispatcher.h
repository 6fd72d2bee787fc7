#pragma once
// The Qt side of RunOnUiThread: routines posted from workers run in the application's event loop.

#include "platform/Worker.h"

namespace vireon {

class QtUiDispatcher : public UiDispatcher {
 public:
  // Call on the UI thread, after the QApplication exists.
  QtUiDispatcher();
  void Post(std::function<void()> fn) override;
  bool IsUiThread() const override;
};

}  // namespace vireon
