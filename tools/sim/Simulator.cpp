#include "Simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace vireon::sim {

namespace {
constexpr int kTickMs = 4;                // pacing step while bytes wait for the line
constexpr int kIdleMs = 20;               // longest sleep of an idle line
constexpr size_t kMaxPending = 8 * 1024;  // about 2 s of line time
constexpr double kMaxCredit = 64;         // bytes: an idle line does not bank a burst
constexpr size_t kReplayAhead = 2048;     // bytes of the replay queued ahead of the line
constexpr double kReplayLeadIn = 0.5;     // seconds between a reader's first request and playback
}  // namespace

TSimulator::TSimulator(const TOptions& options, TPty& pty, TReplay* replay)
    : Options(options),
      Pty(pty),
      Replay(replay),
      Instrument(options.Serial, options.Seed),
      Random(options.Seed) {}

double TSimulator::Seconds(Clock::time_point t) const {
  return std::chrono::duration<double>(t - Start).count();
}

void TSimulator::Queue(const TFrame& frame, bool good) {
  if (Pty.Master < 0) return;  // unplugged: the instrument talks into a dead cable
  std::bernoulli_distribution noisy(std::clamp(Options.Noise, 0.0, 1.0));
  if (good && noisy(Random)) {
    std::uniform_int_distribution<int> count(1, 8), value(0, 254);
    TFrame garbage;
    for (int n = count(Random); n > 0; --n) {
      int b = value(Random);
      garbage.push_back(static_cast<uint8_t>(b >= kSync ? b + 1 : b));
    }
    Pending.push_back({garbage, false});
    PendingBytes += garbage.size();
    if (frame.size() > 4) {
      TFrame bad = frame;
      bad[3 + static_cast<size_t>(value(Random)) % (bad.size() - 3)] ^= 0x5A;
      Queue(bad, false);
    }
  }
  Pending.push_back({frame, good});
  PendingBytes += frame.size();
  DropOldest();
}

void TSimulator::DropOldest() {
  // The first frame may be partly on the line already: it stays, so the line never tears it.
  auto at = Pending.begin() + (FrontSent > 0 ? 1 : 0);
  while (PendingBytes > kMaxPending && at != Pending.end() && at + 1 != Pending.end()) {
    PendingBytes -= at->Bytes.size();
    at = Pending.erase(at);
  }
}

void TSimulator::Unplug() {
  Pty.Close();
  Pending.clear();
  PendingBytes = FrontSent = 0;
  Framer.Reset();
}

void TSimulator::Plug() {
  if (Pty.Master >= 0) return;
  const std::string link = Pty.LinkPath;
  if (!Pty.Create() || !Pty.Link(link)) {
    std::fprintf(stderr, "vireon-sim: %s\n", Pty.Error.c_str());
    return;
  }
  std::printf("%s\n%s\n", Pty.SlavePath.c_str(), Pty.LinkPath.c_str());
  std::fflush(stdout);
}

void TSimulator::QueueAll(const std::vector<TFrame>& frames) {
  for (const TFrame& f : frames) Queue(f, true);
}

bool TSimulator::Command(const std::string& line) {
  if (line == "single" || line == "scan" || line == "table") {
    TMeasureMode mode = line == "single" ? TMeasureMode::Single
                        : line == "scan" ? TMeasureMode::Scan
                                         : TMeasureMode::Table;
    QueueAll(Instrument.StartMeasurement(mode));
  } else if (line == "start") {
    QueueAll(Instrument.StartMeasurement(Instrument.Mode));
  } else if (line == "marker") {
    ++Instrument.Marker;
  } else if (line == "pause" || line == "resume") {
    Pause(line == "pause", Seconds(Clock::now()));
  } else if (line == "unplug") {
    Unplug();
  } else if (line == "plug") {
    Plug();
  } else if (line == "quit") {
    Quit = true;
  } else {
    return false;
  }
  return true;
}

void TSimulator::Pause(bool on, double t) {
  if (on == Paused) return;
  Paused = on;
  // A replay resumes where it stopped, not where the clock has got to meanwhile.
  if (on)
    PausedAt = t;
  else
    PlayStart += t - PausedAt;
}

void TSimulator::ScheduleReplay(double t) {
  double due = 0;
  while (PendingBytes < kReplayAhead) {
    const TFrame* frame = Replay->Next(due);
    if (frame == nullptr) {
      if (!ReplayDone) std::fprintf(stderr, "vireon-sim: replay finished\n");
      ReplayDone = true;
      return;
    }
    if (PlayStart + due > t) return;
    Queue(*frame, true);
    Replay->Pop();
  }
}

void TSimulator::Schedule(Clock::time_point now) {
  if (Paused) return;
  if (Replay != nullptr) {
    if (Playing) ScheduleReplay(Seconds(now));
    return;
  }
  std::time_t second = std::time(nullptr);
  if (second != LastSecond) {
    double dt = LastSecond == 0 ? 0 : static_cast<double>(second - LastSecond);
    LastSecond = second;
    Queue(Instrument.ClockFrame(second), true);
    Queue(Instrument.GpsFrame(second, dt), true);
  }
  double t = Seconds(now);
  if (Options.FullRate) {
    while (Pty.Master >= 0 && PendingBytes < 64) Queue(Instrument.NextLevels(t), true);
  } else if (Options.Rate > 0) {
    for (int burst = 0; t >= NextLevels && burst < 100; ++burst) {
      Queue(Instrument.NextLevels(t), true);
      NextLevels += 1.0 / Options.Rate;
    }
    NextLevels = std::max(NextLevels, t - 1.0);
  }
}

void TSimulator::Send(Clock::time_point now) {
  double dt = std::chrono::duration<double>(now - LastPace).count();
  LastPace = now;
  Credit = std::min(Credit + dt * LineRate(), Pending.empty() ? kMaxCredit : 4096.0);
  size_t n = std::min(PendingBytes, static_cast<size_t>(Credit));
  if (n == 0 || Pty.Master < 0) return;
  uint8_t chunk[4096];
  size_t filled = 0;
  size_t offset = FrontSent;
  for (auto f = Pending.begin(); filled < n; ++f, offset = 0) {
    size_t take = std::min(n - filled, f->Bytes.size() - offset);
    std::copy_n(f->Bytes.begin() + static_cast<long>(offset), take, chunk + filled);
    filled += take;
  }
  ssize_t w = write(Pty.Master, chunk, n);
  if (w <= 0) return;  // the line is full: try again next tick
  PendingBytes -= static_cast<size_t>(w);
  Credit -= static_cast<double>(w);
  Clock::time_point written = Clock::now();
  size_t done = FrontSent + static_cast<size_t>(w);
  while (!Pending.empty() && done >= Pending.front().Bytes.size()) {
    done -= Pending.front().Bytes.size();
    if (Pending.front().Good && OnFrameSent) OnFrameSent(written);
    Pending.pop_front();
  }
  FrontSent = done;
}

// A replay at speed X runs the line X times as fast, at speed 0 as fast as the reader takes it.
double TSimulator::LineRate() const {
  if (Replay == nullptr) return kBytesPerSecond;
  return Options.Speed > 0 ? kBytesPerSecond * std::max(1.0, Options.Speed) : 1e9;
}

void TSimulator::Receive() {
  uint8_t buffer[512];
  ssize_t n = read(Pty.Master, buffer, sizeof buffer);
  if (n <= 0) return;
  if (Options.Verbose) {
    std::fprintf(stderr, "vireon-sim: received");
    for (ssize_t i = 0; i < n; ++i) std::fprintf(stderr, " %02X", buffer[i]);
    std::fprintf(stderr, "\n");
  }
  for (ssize_t i = 0; i < n; ++i) {
    if (Framer.Push(buffer[i]) != 0) continue;
    const PacketRecord& record = Framer.Record();
    if (Replay != nullptr) {
      AnswerFromLog(record.Type);
      continue;
    }
    QueueAll(Instrument.Answer(record.Type));
    if (record.Type == 28 && Options.StartOnConnect)
      QueueAll(Instrument.StartMeasurement(Instrument.Mode));
  }
}

void TSimulator::AnswerFromLog(uint8_t type) {
  // Once playback has begun the log's own records speak for the instrument, its answers to the
  // requests of the recorded session among them; answering again would add packets to it.
  const double now = Seconds(Clock::now());
  if (Playing && now >= PlayStart) return;
  if (type == 1) Queue(Replay->ConfigAnswer(), true);
  if (type != 28) return;
  Queue(Replay->SerialAnswer(), true);
  // Playback begins when a reader attaches, once it has had time to ask for the configuration.
  if (!Playing) PlayStart = now + kReplayLeadIn;
  Playing = true;
}

bool TSimulator::ReadCommands(int fd) {
  char buffer[256];
  ssize_t n = read(fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) return false;
  for (ssize_t i = 0; i < n; ++i) {
    if (buffer[i] != '\n') {
      CommandLine += buffer[i];
      continue;
    }
    if (!CommandLine.empty() && !Command(CommandLine))
      std::fprintf(stderr, "vireon-sim: unknown command '%s'\n", CommandLine.c_str());
    CommandLine.clear();
  }
  return true;
}

int TSimulator::SleepMs(Clock::time_point now) const {
  if (!Pending.empty() || Options.FullRate) return kTickMs;
  if (Replay != nullptr) return Playing && !ReplayDone ? kTickMs : kIdleMs;
  if (Options.Rate <= 0) return kIdleMs;
  double untilLevels = (NextLevels - Seconds(now)) * 1000;
  return std::clamp(static_cast<int>(untilLevels) + 1, 1, kIdleMs);
}

void TSimulator::Run(const std::atomic<bool>& stop, int commandFd) {
  Start = LastPace = Clock::now();
  if (Replay == nullptr) QueueAll(Instrument.StartMeasurement(Options.Mode));
  while (!stop.load() && !Quit) {
    Clock::time_point now = Clock::now();
    if (Options.Duration > 0 && Seconds(now) >= Options.Duration) break;
    Schedule(now);
    Send(now);
    // poll() skips a negative descriptor: an unplugged line still takes commands.
    pollfd fds[2] = {{Pty.Master, POLLIN, 0}, {commandFd, POLLIN, 0}};
    int count = commandFd >= 0 ? 2 : 1;
    if (poll(fds, static_cast<nfds_t>(count), SleepMs(now)) <= 0) continue;
    if ((fds[0].revents & POLLIN) != 0) Receive();
    // Once the command source ends the simulator carries on without it.
    if (count == 2 && fds[1].revents != 0 && !ReadCommands(commandFd)) commandFd = -1;
  }
}

}  // namespace vireon::sim
