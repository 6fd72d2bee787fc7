#include "ExportOutput.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "log/KlfReader.h"

namespace vireon {

namespace {

// The temporary a stop signal must remove, and the private folder around it when there is one;
// written before the handlers can see them.
char gTemp[PATH_MAX];
char gFolder[PATH_MAX];
volatile sig_atomic_t gHaveTemp = 0;

void RemoveTempAndStop(int signal) {
  if (gHaveTemp) {
    ::unlink(gTemp);
    if (gFolder[0] != '\0') ::rmdir(gFolder);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void GuardTemp(const std::string& temp, const std::string& folder) {
  std::memcpy(gTemp, temp.c_str(), temp.size() + 1);
  std::memcpy(gFolder, folder.c_str(), folder.size() + 1);
  gHaveTemp = 1;
  struct sigaction action {};
  action.sa_handler = RemoveTempAndStop;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  // Past a file-size limit a write then fails with EFBIG, which is reported, instead of the
  // signal killing the export with its temporary left behind.
  std::signal(SIGXFSZ, SIG_IGN);
}

std::string Reason(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// True when the file at path begins as a KLF log does.
bool IsKlfLog(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  const bool log = BeginsWithKlfSignature(fd);
  ::close(fd);
  return log;
}

// Empties and removes the private folder a writer made its files in, whatever it named them.
void RemoveFolder(const std::string& folder) {
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir))
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    ::closedir(dir);
  }
  ::rmdir(folder.c_str());
}

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return ok;
}

}  // namespace

bool TOutput::Flush() {
  size_t done = 0;
  while (done < Pending.size() && Failure == 0) {
    const ssize_t n = ::write(Fd, Pending.data() + done, Pending.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Failure = errno;
    if (n > 0) done += static_cast<size_t>(n);
  }
  Pending.clear();
  return Failure == 0;
}

TExportTarget::~TExportTarget() {
  Abandon();
}

bool TExportTarget::Refused(const std::string& path, const struct stat& input, bool& special) {
  special = false;
  struct stat existing {};
  if (::stat(path.c_str(), &existing) != 0) return false;
  if (existing.st_dev == input.st_dev && existing.st_ino == input.st_ino) {
    Error = path + " is the input; the export would destroy it";
    return true;
  }
  if (S_ISDIR(existing.st_mode)) {
    Error = path + " is a folder";
    return true;
  }
  if (IsKlfLog(path)) {
    Error = path + " is a KLF log; choose another output name";
    return true;
  }
  special = !S_ISREG(existing.st_mode);
  return false;
}

bool TExportTarget::OpenForName(const std::string& path, const struct stat& input) {
  bool special = false;
  if (Refused(path, input, special)) return false;
  // Renaming over a device would replace the device itself.
  if (special) {
    Error = path + " is a device or a pipe; this format needs a file";
    return false;
  }
  Path = path;
  const size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string folder = FolderOf(path) + "/." + base + ".XXXXXX";
  if (folder.size() + base.size() + 1 >= PATH_MAX) {
    Error = Reason("cannot create " + path, ENAMETOOLONG);
    return false;
  }
  if (::mkdtemp(folder.data()) == nullptr) {
    Error = Reason("cannot create " + path, errno);
    return false;
  }
  Folder = folder;
  Temp = folder + "/" + base;
  GuardTemp(Temp, Folder);
  return true;
}

bool TExportTarget::Open(const std::string& path, const struct stat& input) {
  bool special = false;
  if (Refused(path, input, special)) return false;
  // A device or a pipe is written as it is: it cannot be replaced, and nothing there is
  // mistaken for a finished file.
  if (special) return OpenDirect(path);
  Path = path;
  const size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = FolderOf(path) + "/." + base + ".XXXXXX";
  if (temp.size() >= PATH_MAX) {
    Error = Reason("cannot create " + path, ENAMETOOLONG);
    return false;
  }
  TempFd = ::mkstemp(temp.data());
  if (TempFd < 0) {
    Error = Reason("cannot create " + path, errno);
    return false;
  }
  Temp = temp;
  GuardTemp(Temp, "");
  // mkstemp makes the file private; the export gets the usual mode of a new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(TempFd, 0666 & ~mask);
  return true;
}

bool TExportTarget::OpenDirect(const std::string& path) {
  Path = path;
  TempFd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (TempFd < 0) {
    Error = Reason("cannot open " + path, errno);
    return false;
  }
  std::signal(SIGXFSZ, SIG_IGN);
  return true;
}

bool TExportTarget::Commit() {
  if (!Folder.empty()) {
    TempFd = ::open(Temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (TempFd < 0) {
      Error = Reason("cannot write " + Path, errno);
      return false;
    }
  }
  if (Temp.empty()) {
    const int closed = ::close(TempFd);
    TempFd = -1;
    if (closed != 0) Error = Reason("cannot write " + Path, errno);
    return closed == 0;
  }
  if (::fsync(TempFd) != 0) {
    Error = Reason("cannot write " + Path, errno);
    return false;
  }
  const int closed = ::close(TempFd);
  TempFd = -1;
  if (closed != 0) {
    Error = Reason("cannot write " + Path, errno);
    return false;
  }
  if (::rename(Temp.c_str(), Path.c_str()) != 0) {
    Error = Reason("cannot rename the export to " + Path, errno);
    return false;
  }
  gHaveTemp = 0;
  Temp.clear();
  if (!Folder.empty()) RemoveFolder(Folder);
  Folder.clear();
  if (!SyncFolder(FolderOf(Path))) {
    Error = Reason("cannot make " + Path + " durable", errno);
    return false;
  }
  return true;
}

void TExportTarget::Abandon() {
  if (TempFd >= 0) ::close(TempFd);
  TempFd = -1;
  if (Temp.empty()) return;
  gHaveTemp = 0;
  ::unlink(Temp.c_str());
  if (!Folder.empty()) RemoveFolder(Folder);
  Temp.clear();
  Folder.clear();
}

}  // namespace vireon
