// Figures for the logger as a whole, built from the program's own start-up code:
//   - time from exec to the port dialog exposed on screen (five fresh processes, median),
//   - resident memory and CPU share after running connected to vireon-sim --full-rate,
//   - with "lost": CPU share and wake-ups per second while the instrument is unplugged and the
//     logger retries, beside a logger whose port never opened (no link at all).
// Usage: bench_shell [seconds=60] [single|scan|table|lost]; run under a display (xvfb-run) or
// QT_QPA_PLATFORM=offscreen.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Figures.h"
#include "Process.h"
#include "link/ComForm.h"
#include "platform/Worker.h"
#include "shell/Application.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"

namespace {

using Clock = std::chrono::steady_clock;

long StatusKB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
  return -1;
}

// Serves the event loop for ms milliseconds, sleeping while there is nothing to do.
void Serve(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void WaitUntil(const std::function<bool()>& cond, int ms) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms) Serve(std::min<int>(5, ms));
}

bool DialogExposed() {
  using namespace vireon;
  return Com_Form != nullptr && Com_Form->windowHandle() != nullptr &&
         Com_Form->windowHandle()->isExposed();
}

// Child mode: start like the logger, exit as soon as the port dialog is exposed.
int ChildToDialog(int argc, char** argv) {
  vireon::TApplication app(argc, argv);
  vireon::CreateProcessObjects();
  vireon::CreateForms();
  WaitUntil(DialogExposed, 10000);
  std::_Exit(DialogExposed() ? 0 : 1);
}

double MedianLaunchSeconds(const char* self) {
  std::vector<double> runs;
  for (int k = 0; k < 5; ++k) {
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      execl(self, self, "--to-dialog", static_cast<char*>(nullptr));
      std::_Exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    runs.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

// Counts the calls worker threads hand to the UI thread: nearly all are display updates, and a
// cheaper update lets the engine store, and so draw, more of the packets it would drop.
class CountingDispatcher : public vireon::UiDispatcher {
 public:
  explicit CountingDispatcher(vireon::UiDispatcher* inner) : Inner(inner) {}
  void Post(std::function<void()> fn) override {
    ++Posted;
    Inner->Post(std::move(fn));
  }
  bool IsUiThread() const override { return Inner->IsUiThread(); }
  std::atomic<long> Posted{0};

 private:
  vireon::UiDispatcher* Inner;
};

// CPU time of each thread of this process, to show where a high share goes.
void PrintThreadShares(double wall) {
  const long ticks = sysconf(_SC_CLK_TCK);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(entry.path() / "stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int k = 3; k <= 15 && rest >> field; ++k) {
      if (k == 14) utime = std::atol(field.c_str());
      if (k == 15) stime = std::atol(field.c_str());
    }
    const double share = 100.0 * (utime + stime) / ticks / wall;
    if (share >= 0.5)
      std::printf("  thread %s: %.1f %% since start\n", entry.path().filename().c_str(), share);
  }
}

// Context switches of every thread of this process so far: each is a thread waking up.
long WakeUps() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_nvcsw + u.ru_nivcsw;
}

// Serves the event loop for `seconds` and prints this process's CPU share and wake-up rate.
void PrintIdleFigures(const char* state, int seconds) {
  const double cpu0 = vireon::bench::CpuSeconds();
  const long wake0 = WakeUps();
  const auto wall0 = Clock::now();
  Serve(seconds * 1000);
  const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
  std::printf("%s, %d s: CPU %.3f %% of one core, %.1f wake-ups/s, status \"%s\"\n", state, seconds,
              100.0 * (vireon::bench::CpuSeconds() - cpu0) / wall,
              static_cast<double>(WakeUps() - wake0) / wall,
              vireon::Main_Form->sbarPanels[0]->text().toStdString().c_str());
  std::fflush(stdout);
}

// Starts like the logger and presses OK on "COM1:".
void StartLogger() {
  vireon::CreateProcessObjects();
  vireon::CreateForms();
  WaitUntil(DialogExposed, 10000);
  vireon::Com_Form->OKBtn->click();
}

// Child mode: a logger whose port does not exist, so it has no link at all.
int ChildWithoutLink(int argc, char** argv, int seconds) {
  setenv("VIREON_COM1", "/nonexistent/vireon-bench-tty", 1);
  vireon::TApplication app(argc, argv);
  StartLogger();
  Serve(2000);
  PrintIdleFigures("no link (port never opened)", seconds);
  vireon::Main_Form->close();
  return 0;
}

int LostLink(int argc, char** argv, int seconds) {
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/proc/self/exe", "/proc/self/exe", "--no-link", std::to_string(seconds).c_str(),
          static_cast<char*>(nullptr));
    std::_Exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);

  vireon::test::TSim sim({});
  if (sim.Pty.empty()) return 1;
  setenv("VIREON_COM1", vireon::test::TSim::LinkPath().c_str(), 1);
  vireon::TApplication app(argc, argv);
  StartLogger();
  Serve(3000);
  sim.Process.Write("unplug\n");
  Serve(2000);  // noticed, closed, first reopen attempts
  PrintIdleFigures("link lost (instrument unplugged, reopening once a second)", seconds);
  vireon::Main_Form->close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--to-dialog") return ChildToDialog(argc, argv);
  if (argc > 2 && std::string(argv[1]) == "--no-link")
    return ChildWithoutLink(argc, argv, std::atoi(argv[2]));
  if (argc > 2 && std::string(argv[2]) == "lost") return LostLink(argc, argv, std::atoi(argv[1]));
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const std::string mode = argc > 2 ? argv[2] : "single";

  const double launch = MedianLaunchSeconds("/proc/self/exe");
  std::printf("launch to port dialog exposed: median %.3f s of 5 (target < 0.5 s)\n", launch);
  std::fflush(stdout);

  vireon::test::TSim sim({"--full-rate", "--mode", mode});
  if (sim.Pty.empty()) {
    std::fprintf(stderr, "bench_shell: vireon-sim did not start\n");
    return 1;
  }
  setenv("VIREON_COM1", vireon::test::TSim::LinkPath().c_str(), 1);
  vireon::TApplication app(argc, argv);
  vireon::CreateProcessObjects();
  CountingDispatcher counting(vireon::GetUiDispatcher());
  vireon::SetUiDispatcher(&counting);
  vireon::CreateForms();
  WaitUntil(DialogExposed, 10000);
  vireon::Com_Form->OKBtn->click();
  Serve(5000);  // settle: connection, configuration, first redraws

  const double cpu0 = vireon::bench::CpuSeconds();
  const long posted0 = counting.Posted;
  const auto wall0 = Clock::now();
  Serve(seconds * 1000);
  const double cpu = vireon::bench::CpuSeconds() - cpu0;
  const long posted = counting.Posted - posted0;
  const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();

  std::printf("connected %d s at --full-rate, %s mode: status \"%s\"\n", seconds, mode.c_str(),
              vireon::Main_Form->sbarPanels[0]->text().toStdString().c_str());
  std::printf("resident memory: %ld kB now, %ld kB peak (target < 80 MB)\n", StatusKB("VmRSS:"),
              StatusKB("VmHWM:"));
  // Single mode has a target of its own, table mode (ten bars per level packet) a higher one.
  const char* target = mode == "single"  ? " (target < 2 %)"
                       : mode == "table" ? " (target < 5 %)"
                                         : "";
  std::printf("CPU share: %.2f %% of one core%s\n", 100.0 * cpu / wall, target);
  std::printf("UI calls from workers: %.1f /s, %.1f us of CPU each\n", posted / wall,
              posted > 0 ? 1e6 * cpu / posted : 0.0);
  PrintThreadShares(wall);
  vireon::Main_Form->close();
  return 0;
}
