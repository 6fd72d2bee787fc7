// The export mode of vireon-decode: every packet of the input goes through the logger's engine,
// and each level it stores becomes a row of the chosen format as soon as it is decoded, so a
// day's log streams through in constant memory. On a terminal one line of stderr, rewritten in
// place, shows how far it is; the end says what was written, what was skipped and why, and where
// a damaged log was damaged.

#include "ExportMode.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "DecodeInput.h"
#include "ExportOutput.h"
#include "platform/CommandLine.h"

namespace vireon {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDamageLinesShown = 10;

// "export 42% · 1.2 M levels/s · 0:35 left", rewritten in place on a terminal; nothing elsewhere.
class TProgress {
 public:
  TProgress(int64_t size, const TLevelRows& rows)
      : Size(size), Rows(rows), Shown(::isatty(STDERR_FILENO) == 1), Start(Clock::now()) {}
  ~TProgress() {
    if (Drawn) std::fputs("\r\033[K", stderr);
  }
  void At(int64_t read) {
    if (!Shown) return;
    const double seconds = std::chrono::duration<double>(Clock::now() - Start).count();
    if (seconds <= 0) return;
    const double perSecond = static_cast<double>(Rows.Rows()) / seconds;
    if (Size > 0 && read > 0) {
      const double share = static_cast<double>(read) / static_cast<double>(Size);
      const int left = static_cast<int>(seconds * (1 - share) / share);
      std::fprintf(stderr, "\r\033[Kvireon-decode: export %d%% · %.1f k levels/s · %d:%02d left",
                   static_cast<int>(100 * share), perSecond / 1000, left / 60, left % 60);
    } else {
      std::fprintf(stderr, "\r\033[Kvireon-decode: export %lld MB read · %.1f k levels/s",
                   static_cast<long long>(read >> 20), perSecond / 1000);
    }
    Drawn = true;
  }

 private:
  int64_t Size;
  const TLevelRows& Rows;
  bool Shown;
  bool Drawn = false;
  Clock::time_point Start;
};

std::string ClosingLine(const TLevelRows& rows, const TDecodeInput& in, double maxAge,
                        const std::string& map) {
  char text[512];
  std::snprintf(text, sizeof text,
                "vireon-decode: exported %llu level(s)%s; %llu before the first GPS fix and %llu "
                "with a fix older than %g s skipped",
                static_cast<unsigned long long>(rows.Rows()), map.c_str(),
                static_cast<unsigned long long>(rows.BeforeFirstFix()),
                static_cast<unsigned long long>(rows.StaleFix()), maxAge);
  std::string line = text;
  const TKlfSummary& log = in.LogSummary();
  if (in.IsLog() && log.DamagedRanges > 0) {
    std::snprintf(text, sizeof text, "; %llu damaged range(s), %lld byte(s) skipped",
                  static_cast<unsigned long long>(log.DamagedRanges),
                  static_cast<long long>(log.BytesSkipped));
    line += text;
  }
  if (in.IsLog() && log.Outcome == TKlfSummary::TornTail) {
    line += "; the log ends in a cut-short record";
  }
  return line + "\n";
}

void Warn(const TLevelRows& rows) {
  if (rows.UnknownFrequency() > 0)
    std::fprintf(stderr,
                 "vireon-decode: warning: %llu scan level(s) came before the scan set-up; their "
                 "frequency is unknown and left empty\n",
                 static_cast<unsigned long long>(rows.UnknownFrequency()));
  if (rows.GpsTimeNotUtc())
    std::fputs(
        "vireon-decode: warning: the GPS reports give GPS time without its offset to UTC; "
        "gps_time is that GPS time\n",
        stderr);
}

// A text format streams to a descriptor; a map format (make set) writes a file by its name.
int Run(const TExportOptions& options, const TMapWriterMaker* make) {
  TDecodeInput in;
  if (!in.Open(options.Input)) {
    std::fprintf(stderr, "vireon-decode: %s\n", in.Error.c_str());
    return kExitUsage;
  }
  TExportTarget target;
  const bool opened = make != nullptr ? target.OpenForName(options.Out, in.Stat())
                                      : options.Out.empty() || target.Open(options.Out, in.Stat());
  if (!opened) {
    std::fprintf(stderr, "vireon-decode: %s\n", target.Error.c_str());
    return kExitUsage;
  }
  TOutput out(options.Out.empty() ? STDOUT_FILENO : target.Fd());
  std::unique_ptr<TExportWriter> text;
  std::unique_ptr<TMapExportWriter> map;
  if (make != nullptr) {
    std::string why;
    if (!(map = (*make)(target.TempPath(), why))) {
      std::fprintf(stderr, "vireon-decode: cannot create %s: %s\n", options.Out.c_str(),
                   why.c_str());
      return kExitFailure;
    }
  } else {
    text = MakeExportWriter(options.Format, out);
  }
  TLevelRows rows(
      [&](const TLevelRow& row) {
        if (map)
          map->Row(row);
        else
          text->Row(row);
      },
      options.MaxFixAgeS);
  if (map) rows.OnFix([&map](const TGpsFix& fix) { map->Fix(fix); });
  int damageLines = 0;
  in.OnDamage = [&](const TKlfDamage& damage) {
    if (++damageLines > kDamageLinesShown) return;
    std::fprintf(stderr, "vireon-decode: %s is damaged at byte %lld: %lld byte(s) skipped\n",
                 options.Input.c_str(), static_cast<long long>(damage.Offset),
                 static_cast<long long>(damage.Skipped));
  };
  TDecodeSession session(nullptr);
  session.SetRecordHandler(
      [&rows](const PacketRecord& record, const TEngine& engine) { rows.Take(record, engine); });
  bool read;
  {
    TProgress progress(S_ISREG(in.Stat().st_mode) ? in.Stat().st_size : 0, rows);
    read = in.ReadInto(session, [&progress](int64_t at) { progress.At(at); });
  }
  if (!read) {
    std::fprintf(stderr, "vireon-decode: %s\n", in.Error.c_str());
    return kExitFailure;
  }
  if (const std::string why = in.NothingToRead(); !why.empty()) {
    std::fprintf(stderr, "vireon-decode: %s %s; nothing was exported\n", options.Input.c_str(),
                 why.c_str());
    return kExitUsage;
  }
  const std::string where = options.Out.empty() ? "standard output" : options.Out;
  std::string failure;
  if (map && !map->Finish())
    failure = "cannot write " + where + ": " + map->Error;
  else if (text && !text->Finish())
    failure = "cannot write " + where + ": " + std::strerror(out.Error());
  else if (!options.Out.empty() && !target.Commit())
    failure = target.Error;
  if (!failure.empty()) {
    std::fprintf(stderr, "vireon-decode: %s\n", failure.c_str());
    return kExitFailure;
  }
  Warn(rows);
  std::fputs(ClosingLine(rows, in, options.MaxFixAgeS, map ? map->Written() : "").c_str(), stderr);
  return kExitOk;
}

}  // namespace

int RunExportMode(const TExportOptions& options) {
  return Run(options, nullptr);
}

int RunMapExportMode(const TExportOptions& options, const TMapWriterMaker& make) {
  return Run(options, &make);
}

}  // namespace vireon
