#pragma once
// Test support for the map link: a private session bus (a dbus-daemon on a socket of its own,
// killed at the end) and marlune-probe run as a child with its output read line by line.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace vireon::test {

class PrivateBus {
 public:
  PrivateBus() {
    char dir[] = "/tmp/vireon-bus-XXXXXX";
    Dir = mkdtemp(dir) ? dir : "";
    Address = "unix:path=" + Dir + "/bus";
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;
  ~PrivateBus() {
    Stop();
    std::filesystem::remove_all(Dir);
  }

  // Points the environment at the bus address, whether or not the daemon runs yet.
  void Export() const { setenv("DBUS_SESSION_BUS_ADDRESS", Address.c_str(), 1); }

  // True once the daemon accepts connections (polls up to 10 s).
  bool Start() {
    Export();
    // Everything the child needs is built before fork: only exec may follow it.
    std::string arg = "--address=" + Address;
    Pid = fork();
    if (Pid == 0) {
      // The daemon's complaints about fd limits are noise in a test log.
      int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, 2);
      execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", arg.c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    std::string socket = Dir + "/bus";
    for (int i = 0; i < 1000 && Pid > 0; ++i) {
      if (std::filesystem::exists(socket)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  void Stop() {
    if (Pid <= 0) return;
    kill(Pid, SIGTERM);
    waitpid(Pid, nullptr, 0);
    Pid = -1;
    std::filesystem::remove(Dir + "/bus");
  }

  std::string Address;
  std::string Dir;  // holds the socket "bus", as a user's runtime folder does

 private:
  pid_t Pid = -1;
};

// marlune-probe as a child process; lines are read with a time-out so a test never hangs.
class ProbeProcess {
 public:
  ProbeProcess() = default;
  ProbeProcess(const ProbeProcess&) = delete;
  ProbeProcess& operator=(const ProbeProcess&) = delete;
  ~ProbeProcess() {
    if (Pid > 0) {
      kill(Pid, SIGTERM);
      waitpid(Pid, nullptr, 0);
    }
    if (Out >= 0) close(Out);
    if (Err >= 0) close(Err);
  }

  // Runs bin/marlune-probe with args; true once it says it is listening (within 10 s).
  bool Start(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return false;
    std::string path = std::string(VIREON_BIN_DIR) + "/marlune-probe";
    std::vector<std::string> copy = args;
    std::vector<char*> argv{path.data()};
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    Pid = fork();
    if (Pid == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(err[0]);
      execv(path.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    Out = out[0];
    Err = err[0];
    std::string line;
    while (ReadLine(Err, ErrBuffer, line, 10000))
      if (line.find("listening") != std::string::npos) return true;
    return false;
  }

  // The next line of the probe's output, or false after ms milliseconds.
  bool NextRecord(std::string& line, int ms = 10000) { return ReadLine(Out, OutBuffer, line, ms); }

  // Exit status once the probe ends by itself (waits up to 10 s), or -1.
  int ExitStatus() {
    for (int i = 0; i < 1000 && Pid > 0; ++i) {
      int status = 0;
      if (waitpid(Pid, &status, WNOHANG) == Pid) {
        Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

 private:
  static bool ReadLine(int fd, std::string& buffer, std::string& line, int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      size_t nl = buffer.find('\n');
      if (nl != std::string::npos) {
        line = buffer.substr(0, nl);
        buffer.erase(0, nl + 1);
        return true;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char chunk[512];
      ssize_t n = read(fd, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer.append(chunk, static_cast<size_t>(n));
    }
  }

  pid_t Pid = -1;
  int Out = -1, Err = -1;
  std::string OutBuffer, ErrBuffer;
};

}  // namespace vireon::test
