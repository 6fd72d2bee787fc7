#pragma once
// A child program for end-to-end tests: started with pipes on stdin, stdout and stderr, read
// line by line with generous time-outs, ended with a signal and reaped.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace vireon::test {

inline std::string BinDir() {
  const char* env = std::getenv("VIREON_BIN_DIR");
  return env != nullptr && *env != '\0' ? env : VIREON_BIN_DIR;
}

class TProcess {
 public:
  explicit TProcess(std::vector<std::string> args) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
      return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&Pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    In = in[1];
    Out = out[0];
    Err = err[0];
  }
  ~TProcess() {
    Signal(SIGKILL);
    Wait();
    for (int fd : {In, Out, Err})
      if (fd >= 0) close(fd);
  }

  bool Started() const { return Pid > 0; }
  void Write(const std::string& text) const {
    if (write(In, text.data(), text.size()) < 0) return;
  }
  void Signal(int sig) const {
    if (Pid > 0 && !Reaped) kill(Pid, sig);
  }
  // Exit status, or -1 if it did not end within 10 s.
  int Wait() {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Reaped && Pid > 0) {
      int status = 0;
      if (waitpid(Pid, &status, WNOHANG) == Pid) {
        Reaped = true;
        Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      } else if (std::chrono::steady_clock::now() > end) {
        return -1;
      } else {
        usleep(5000);
      }
    }
    return Status;
  }

  // The next line of stdout (false after 10 s or at its end).
  bool ReadLine(std::string& line) { return NextLine(Out, OutText, line); }
  bool ReadErrorLine(std::string& line) { return NextLine(Err, ErrText, line); }
  // Everything left on stdout once the program has ended.
  std::string RestOfOutput() {
    while (Drain(Out, OutText, 10000) > 0) {
    }
    std::string rest;
    rest.swap(OutText);
    return rest;
  }

 private:
  // 1 when bytes were read, 0 on time-out, -1 at the end of the stream.
  static int Drain(int fd, std::string& text, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return 0;
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return -1;
    text.append(buffer, static_cast<size_t>(n));
    return 1;
  }
  static bool NextLine(int fd, std::string& text, std::string& line) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      size_t nl = text.find('\n');
      if (nl != std::string::npos) {
        line = text.substr(0, nl);
        text.erase(0, nl + 1);
        return true;
      }
      if (std::chrono::steady_clock::now() > end || Drain(fd, text, 100) < 0) return false;
    }
  }

  pid_t Pid = -1;
  bool Reaped = false;
  int Status = -1;
  int In = -1, Out = -1, Err = -1;
  std::string OutText, ErrText;
};

// vireon-sim with its own link path; Pty holds the terminal's path after a good start.
struct TSim {
  explicit TSim(std::vector<std::string> options) : Process(Args(std::move(options))) {
    std::string link;
    if (Process.ReadLine(Pty)) Process.ReadLine(link);
  }
  ~TSim() { unlink(LinkPath().c_str()); }

  // The bytes the instrument received, from its log lines ("... received AA 02 ...").
  std::vector<uint8_t> ReceivedBytes(size_t atLeast) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string line;
    while (Received.size() < atLeast && std::chrono::steady_clock::now() < end) {
      if (!Process.ReadErrorLine(line)) continue;
      size_t at = line.find("received");
      if (at == std::string::npos) continue;
      for (size_t k = at + 8; k + 3 <= line.size(); k += 3)
        Received.push_back(
            static_cast<uint8_t>(std::strtoul(line.substr(k + 1, 2).c_str(), nullptr, 16)));
    }
    return Received;
  }

  static std::string LinkPath() {
    return "/tmp/vireon-e2e-link-" + std::to_string(getpid()) + ".tty";
  }
  static std::vector<std::string> Args(std::vector<std::string> options) {
    std::vector<std::string> args = {BinDir() + "/vireon-sim", "--verbose", "--link", LinkPath()};
    args.insert(args.end(), options.begin(), options.end());
    return args;
  }

  TProcess Process;
  std::string Pty;
  std::vector<uint8_t> Received;
};

}  // namespace vireon::test
