#include "HeadlessLog.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <ctime>

namespace vireon {

namespace {
constexpr auto kAnswerWait = std::chrono::seconds(2);
constexpr auto kDiskCheckEvery = std::chrono::seconds(1);
constexpr auto kRetryEvery = std::chrono::seconds(10);

void Say(const std::string& text) {
  std::fprintf(stderr, "vireon-decode: %s\n", text.c_str());
}
}  // namespace

THeadlessLog::THeadlessLog(TEngine& engine, TDecodeSession& session, THeadlessLogOptions options)
    : Engine(engine), Session(session), Options(std::move(options)) {
  Engine.SetHost(this);
}

THeadlessLog::~THeadlessLog() {
  {
    std::lock_guard lock(M);
    // Packets kept while no file was open yet are written all the same.
    if (State == TState::Holding && !Held.empty()) Open(std::time(nullptr));
    Detach();
  }
  Retire();
  Engine.SetHost(nullptr);
}

void THeadlessLog::Packet(const PacketRecord& record) {
  std::lock_guard lock(M);
  if (State == TState::Holding) {
    if (Held.empty()) FirstPacket = Clock::now();
    Held.emplace_back(record.LogBytes(), record.LogBytes() + record.LogSize());
  } else if (State == TState::Paused) {
    ++NotLogged;
  }
  Session.Deliver(record);  // the engine hands it to the open file, if there is one
  if (State == TState::Writing) ++Current.Packets;
}

bool THeadlessLog::Answered() const {
  return !Engine.SerialNumber().empty() && Engine.ConfigChanged.load() != 0;
}

void THeadlessLog::Tick() {
  {
    std::lock_guard lock(M);
    const auto steady = Clock::now();
    const std::time_t now = std::time(nullptr);
    if (WriterFailed.exchange(false)) {
      FileFailed.store(Options.Dir.empty());
      Pause(steady + kRetryEvery);
    }
    if (!Options.Dir.empty() && steady >= NextDiskCheck) {
      NextDiskCheck = steady + kDiskCheckEvery;
      Low = DiskLow();
      if (Low && State != TState::Paused) Pause(steady);
    }
    switch (State) {
      case TState::Paused:
        if (!Low && !FileFailed.load() && steady >= RetryAt) State = TState::Holding;
        break;
      case TState::Holding:
        if (!Held.empty() && (Answered() || steady - FirstPacket >= kAnswerWait)) Open(now);
        break;
      case TState::Writing:
        if (!Options.Dir.empty() && now >= PeriodEnd) Detach();
        break;
    }
  }
  Retire();
}

std::string THeadlessLog::PeriodName(std::time_t start) const {
  std::tm t{};
  gmtime_r(&start, &t);
  char name[32];
  std::strftime(name, sizeof name, "%Y%m%dT%H%M%SZ.KLF", &t);
  return Options.Dir + "/" + name;
}

void THeadlessLog::Open(std::time_t now) {
  const std::string name = Options.Dir.empty() ? Options.File : PeriodName(now);
  auto writer = std::make_unique<TLog_Router>(Engine, name);
  writer->SetReportHandler([this](const TLogReport& report) {
    if (report.Fatal()) WriterFailed.store(true);
    Say(report.Text);
  });
  writer->Start();
  if (NotLogged > 0) Say(std::to_string(NotLogged) + " packet(s) could not be logged meanwhile");
  NotLogged = 0;
  Say("logging to " + name);
  for (const auto& bytes : Held)
    writer->PostPacket(bytes.data(), static_cast<int16_t>(bytes.size()));
  Engine.SetLogSink(writer.get());
  Current = {std::move(writer), name, Held.size()};
  Held.clear();
  State = TState::Writing;
  const std::time_t period = Options.RotateSeconds;
  PeriodEnd = (now / period + 1) * period;
}

void THeadlessLog::Pause(Clock::time_point retryAt) {
  Detach();
  State = TState::Paused;
  RetryAt = retryAt;
}

void THeadlessLog::Detach() {
  if (!Current.Writer) return;
  Engine.SetLogSink(nullptr);
  State = TState::Holding;
  Current.Writer->RequestStop();
  Retiring.push_back(std::move(Current));
  Current = {};
}

void THeadlessLog::Retire() {
  std::vector<TOpenFile> done;
  {
    std::lock_guard lock(M);
    done.swap(Retiring);
  }
  for (TOpenFile& file : done) {
    file.Writer->Join();
    std::string line = "closed " + file.Name + ": " + std::to_string(file.Packets) + " packet(s)";
    if (file.Writer->LostPackets() > 0)
      line += ", " + std::to_string(file.Writer->LostPackets()) + " lost in the writer's queue";
    Say(line);
  }
}

bool THeadlessLog::DiskLow() {
  struct statvfs fs {};
  if (::statvfs(Options.Dir.c_str(), &fs) != 0) return false;  // cannot tell: carry on
  const auto free = static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
  // A little above the reserve before resuming, so a disk at the edge does not make a new file
  // every second.
  const int64_t limit =
      Low ? Options.MinFreeBytes + Options.MinFreeBytes / 20 : Options.MinFreeBytes;
  if ((free < limit) != Low)
    Say(free < limit ? "disk low: " + std::to_string(free >> 20) + " MB free in " + Options.Dir +
                           ", below the reserve of " + std::to_string(Options.MinFreeBytes >> 20) +
                           " MB; logging stops until space returns"
                     : "disk space is back: " + std::to_string(free >> 20) + " MB free in " +
                           Options.Dir + "; logging goes on in a new file");
  return free < limit;
}

void THeadlessLog::ShowScanWarning(const char* text) {
  if (!Warned.exchange(true)) Say(std::string("warning: ") + text);
}

}  // namespace vireon
