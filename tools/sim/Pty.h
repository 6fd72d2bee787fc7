#pragma once
// The simulator's end of the serial line: a pseudo-terminal master, its slave kept open in raw
// mode (so nothing is echoed back and the line survives a logger that closes and reopens it),
// and a stable symlink to the slave. Close is the cable pulled: the terminal goes away (its
// reader sees a hang-up) and so does the link; Create and Link again plug a new one in.

#include <string>

namespace vireon::sim {

class TPty {
 public:
  TPty() = default;
  TPty(const TPty&) = delete;
  TPty& operator=(const TPty&) = delete;
  ~TPty();

  // False with a message in Error when no pseudo-terminal could be made.
  bool Create();
  // Closes the terminal and removes the link while it is still ours.
  void Close();
  // Points link at the slave, replacing whatever link was there; false when that failed.
  bool Link(const std::string& link);

  int Master = -1;
  std::string SlavePath;
  std::string LinkPath;
  std::string Error;

 private:
  int Slave = -1;
};

// $XDG_RUNTIME_DIR/vireon-sim.tty, else /tmp/vireon-sim.tty.
std::string DefaultLinkPath();

}  // namespace vireon::sim
