#pragma once
// Logging for the live decoder: the logger's own writer, attached to the engine before the link
// opens so every packet reaches the file. The decoder has no screen: logging is always on, the
// scan set-up warning is printed once, and a log that cannot be written is reported on stderr
// and switched off while decoding goes on.

#include <atomic>
#include <memory>
#include <string>

#include "log/LogRouter.h"
#include "model/Engine.h"
#include "model/EngineHost.h"

namespace vireon {

class TKlfLogging : public TEngineHost {
 public:
  // The name is used as given. The header comes from the engine's state now.
  TKlfLogging(TEngine& engine, const std::string& fileName);
  // Writes everything handed over and closes the file.
  ~TKlfLogging() override;

  void PressMode(TMode) override {}
  bool LogModeDown() const override { return !Failed.load(); }
  void ShowScanWarning(const char* text) override;

  // False once the log could not be opened or written.
  bool Ok() const { return !Failed.load(); }
  uint64_t LostPackets() const { return Writer->LostPackets(); }

 private:
  TEngine& Engine;
  std::unique_ptr<TLog_Router> Writer;
  std::atomic<bool> Failed{false};
  std::atomic<bool> Warned{false};
};

}  // namespace vireon
