// The export mode of vireon-decode: every packet of the input goes through the logger's engine,
// and each level it stores becomes a row of the chosen format as soon as it is decoded, so a
// day's log streams through in constant memory. A large input reports its progress on stderr;
// the end says how many levels were written and how many came before the first GPS fix.

#include "ExportMode.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "KlfMode.h"
#include "PacketJson.h"
#include "platform/CommandLine.h"

namespace vireon {

namespace {

constexpr long long kProgressFrom = 16LL << 20;  // inputs smaller than this say nothing

// Tells how far through the input the reading is, in tenths.
class TProgress {
 public:
  TProgress(std::FILE* in, long long size) : In(in), Size(size) {}
  void Check() {
    if (Size < kProgressFrom || ++Calls % 4096 != 0) return;
    const long long at = std::ftell(In);
    const int tenth = static_cast<int>(at * 10 / Size);
    if (tenth <= Shown) return;
    Shown = tenth;
    std::fprintf(stderr, "vireon-decode: export %d%% (%lld of %lld MB)\n", tenth * 10, at >> 20,
                 Size >> 20);
  }

 private:
  std::FILE* In;
  long long Size;
  long long Calls = 0;
  int Shown = 0;
};

long long SizeOf(std::FILE* in) {
  struct stat st {};
  return fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
}

}  // namespace

int RunExportMode(TExportFormat format, const std::string& input, const std::string& outFile) {
  const bool fromStdin = input == "-";
  std::FILE* in = fromStdin ? stdin : std::fopen(input.c_str(), "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "vireon-decode: cannot open %s: %s\n", input.c_str(),
                 std::strerror(errno));
    return kExitUsage;
  }
  std::FILE* out = outFile.empty() ? stdout : std::fopen(outFile.c_str(), "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "vireon-decode: cannot create %s: %s\n", outFile.c_str(),
                 std::strerror(errno));
    if (!fromStdin) std::fclose(in);
    return kExitUsage;
  }

  std::unique_ptr<TExportWriter> writer = MakeExportWriter(format, out);
  TLevelRows rows([&writer](const TLevelRow& row) { writer->Row(row); });
  TProgress progress(in, SizeOf(in));
  TDecodeSession session(nullptr);
  session.SetRecordHandler([&](const PacketRecord& record, const TEngine& engine) {
    rows.Take(record, engine);
    progress.Check();
  });
  if (!fromStdin && IsKlfName(input)) {
    TKlfHandlers handlers;
    handlers.Packet = [&session](uint64_t, const PacketRecord& record, bool) {
      session.Deliver(record);
    };
    handlers.Broken = [](uint64_t, size_t, int, bool) {};
    ReadKlf(in, handlers);
  } else {
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) session.Feed(block, got);
  }
  const bool readFailed = std::ferror(in) != 0;
  if (!fromStdin) std::fclose(in);
  const bool written = writer->Finish() && (out == stdout || std::fclose(out) == 0);

  std::fprintf(stderr,
               "vireon-decode: exported %llu level(s); %llu before the first GPS fix skipped\n",
               static_cast<unsigned long long>(rows.Rows()),
               static_cast<unsigned long long>(rows.BeforeFirstFix()));
  if (readFailed) {
    std::fprintf(stderr, "vireon-decode: cannot read %s\n", input.c_str());
    return kExitUsage;
  }
  if (!written) {
    std::fprintf(stderr, "vireon-decode: could not write the export\n");
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace vireon
