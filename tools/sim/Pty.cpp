#include "Pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vireon::sim {

TPty::~TPty() {
  Close();
}

void TPty::Close() {
  if (!LinkPath.empty()) {
    // Remove the link only while it is still ours; another simulator may have taken it.
    char target[256] = {};
    ssize_t n = readlink(LinkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && SlavePath == std::string(target, static_cast<size_t>(n))) unlink(LinkPath.c_str());
  }
  if (Slave >= 0) close(Slave);
  if (Master >= 0) close(Master);
  Slave = Master = -1;
}

bool TPty::Create() {
  Close();
  Master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) {
    Error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[128] = {};
  if (ptsname_r(Master, name, sizeof name) != 0) {
    Error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  SlavePath = name;
  Slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  if (Slave < 0 || tcgetattr(Slave, &t) != 0) {
    Error = std::string("cannot open ") + name + ": " + std::strerror(errno);
    return false;
  }
  cfmakeraw(&t);
  cfsetispeed(&t, B38400);
  cfsetospeed(&t, B38400);
  tcsetattr(Slave, TCSANOW, &t);
  return true;
}

bool TPty::Link(const std::string& link) {
  std::string temp = link + ".new";
  unlink(temp.c_str());
  if (symlink(SlavePath.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), link.c_str()) != 0) {
    Error = "cannot link " + link + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  LinkPath = link;
  return true;
}

std::string DefaultLinkPath() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  std::string base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  return base + "/vireon-sim.tty";
}

}  // namespace vireon::sim
