#pragma once

#include <string>

namespace vireon {

// Live decoding: opens port ("COM1:".."COM4:", "USB" or a device path) through the logger's
// communications thread and transports, and prints every packet as JSON Lines until duration
// seconds have passed (0: no limit), SIGINT or SIGTERM. Returns the exit code: 0, or 2 after a
// one-line message when the port cannot be opened. With logFile, every packet is also logged to
// that KLF file (the name as given); 1 when the log could not be written.
int RunPortMode(const std::string& port, double duration, bool summary,
                const std::string& logFile = "");

}  // namespace vireon
