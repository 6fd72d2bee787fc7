#pragma once
// What the engine needs from around it, supplied by whoever runs it: the application's window,
// the communications thread, the log writer, or a tool.

#include <cstdint>

namespace vireon {

enum class TMode : uint8_t { Single, Scan, Table };

// The user-interface side. Every call returns at once: the engine runs on the communications
// thread and must never wait for the screen.
class TEngineHost {
 public:
  virtual ~TEngineHost() = default;
  // Press the matching measurement-mode indicator (queued to the UI thread).
  virtual void PressMode(TMode mode) = 0;
  // State of the "Log Data" button, mirrored for worker threads.
  virtual bool LogModeDown() const = 0;
  // The scan set-up warning; shown without blocking, one box at a time.
  virtual void ShowScanWarning(const char* text) = 0;
};

// Writes one whole outgoing frame; true when every byte was written.
class TPacketSender {
 public:
  virtual ~TPacketSender() = default;
  virtual bool WriteBytes(const uint8_t* bytes, int n) = 0;
};

// Takes a received packet for the log: count bytes from its length field on. Never blocks.
class TLogSink {
 public:
  virtual ~TLogSink() = default;
  virtual void PostPacket(const uint8_t* data, int16_t count) = 0;
};

}  // namespace vireon
