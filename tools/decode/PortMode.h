#pragma once

#include <string>

#include "HeadlessLog.h"

namespace vireon {

struct TPortOptions {
  std::string Port;     // "COM1:".."COM4:", "USB", "USB <serial number>" or a device path
  double Duration = 0;  // seconds; 0: until SIGINT or SIGTERM
  bool Summary = false;
  bool Wait = false;        // an absent instrument is waited for instead of exit 2
  bool Json = true;         // every packet on standard output
  THeadlessLogOptions Log;  // no File and no Dir: no log
};

// Live decoding through the logger's communications thread and transports: every packet as JSON
// Lines (unless Json is off) until the duration ends, SIGINT or SIGTERM, logged as Log says.
// Returns the exit code: 0; 2 after a one-line message when the port cannot be opened (without
// Wait) or the log folder cannot be made; 1 when a log of a fixed name could not be written.
int RunPortMode(const TPortOptions& options);

}  // namespace vireon
