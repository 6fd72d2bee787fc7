// vireon-drive-log FILE.KLF [SECONDS [CYCLE_SECONDS [SCAN_SHARE SINGLE_SHARE]]]: writes a
// simulated survey drive as a log (see DriveLog.h), for the map export's tests, its benchmark and
// the README's picture.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "DriveLog.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(
        "Usage: vireon-drive-log FILE.KLF [SECONDS [CYCLE_SECONDS [SCAN_SHARE SINGLE_SHARE]]]\n",
        stderr);
    return 2;
  }
  vireon::capture::TDrive drive;
  if (argc > 2) drive.Seconds = std::atoi(argv[2]);
  if (argc > 3) drive.CycleSeconds = std::max(8, std::atoi(argv[3]));
  if (argc > 5) drive.ScanShare = std::atof(argv[4]), drive.SingleShare = std::atof(argv[5]);
  if (vireon::capture::WriteDriveLog(argv[1], drive)) return 0;
  std::perror(argv[1]);
  return 1;
}
