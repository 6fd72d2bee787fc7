#pragma once
// Logging for the live decoder: the logger's own writer. Its header repeats what the instrument
// announced, so the writer is made once the instrument has answered (or after a wait); the
// packets decoded before that are kept by the caller and handed over first (PostHeld), so the
// file holds every packet from the link's opening, in order. The decoder has no screen: logging
// is always on, the scan set-up warning is printed once, and a log that cannot be written is
// reported on stderr and switched off while decoding goes on.

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

  // A packet decoded before this writer was made, handed over before any that follows.
  void PostHeld(const uint8_t* bytes, int16_t count) { Writer->PostPacket(bytes, count); }

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
