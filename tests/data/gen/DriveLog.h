#pragma once
// A survey drive as the logger logs it, made offline from the simulated instrument: a second at a
// time, its clock, the simulator's GPS track and measurement packets filling what is left of the
// line at 38400 baud, its scan lists on the site's strongest channels. Each cycle measures in scan
// mode, then single-channel, then table mode, and loses the fix for a while in the middle of its
// scan. Written as it is made, so a day's log needs
// no more memory than a packet.

#include <string>

namespace vireon::capture {

struct TDrive {
  int Seconds = 600;
  int CycleSeconds = 240;
  double ScanShare = 0.75, SingleShare = 0.125;  // of a cycle; table mode has the rest
  int FixLostSeconds = 12;                       // per cycle
};

// False when the file cannot be written.
bool WriteDriveLog(const std::string& path, const TDrive& drive);

}  // namespace vireon::capture
