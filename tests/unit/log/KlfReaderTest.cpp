#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <functional>

#include "LogTestSupport.h"
#include "log/KlfFile.h"
#include "log/KlfReader.h"

namespace vireon {
namespace {

using test::Bytes;

struct TLog {
  Bytes File;
  std::vector<int64_t> Offsets;  // of each packet record
  std::vector<int> Sizes;
};

// A whole log: the header of an instrument with a serial number, then eight packet records.
TLog BuildLog() {
  TGPSShared gps;
  TEngine engine{gps};
  engine.Dispatch(test::Packet(28, {'S', 'N', '0', '0', '0', '0', '4', '2'}));
  TLog log{BuildKlfHeader(engine.Snapshot()), {}, {}};
  for (int k = 0; k < 8; ++k) {
    Bytes payload(static_cast<size_t>(5 + 9 * k));
    for (size_t b = 0; b < payload.size(); ++b) payload[b] = static_cast<uint8_t>(k * 31 + b * 7);
    const Bytes record = test::LogBytes(test::Packet(static_cast<uint8_t>(k % 10), payload));
    log.Offsets.push_back(static_cast<int64_t>(log.File.size()));
    log.Sizes.push_back(static_cast<int>(record.size()));
    log.File.insert(log.File.end(), record.begin(), record.end());
  }
  return log;
}

struct TRead {
  std::vector<int64_t> Records;  // offsets, header included
  std::vector<std::pair<int64_t, int64_t>> Damage;
  TKlfSummary Summary;
};

TRead ReadFd(int fd, size_t block) {
  TRead read;
  TKlfReader reader(fd, block);
  for (TKlfReader::TItem item; (item = reader.Next()) != TKlfReader::TItem::End;) {
    if (item == TKlfReader::TItem::Damage)
      read.Damage.emplace_back(reader.Damage().Offset, reader.Damage().Skipped);
    else if (!reader.Record().Torn)
      read.Records.push_back(reader.Record().Offset);
  }
  EXPECT_EQ(reader.Next(), TKlfReader::TItem::End);
  read.Summary = reader.Summary();
  return read;
}

TRead Read(const Bytes& file, size_t block) {
  const int fd = ::memfd_create("klf", MFD_CLOEXEC);
  EXPECT_EQ(::write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
  TRead read = ReadFd(fd, block);
  ::close(fd);
  return read;
}

struct TCase {
  const char* Name;
  std::function<void(TLog&)> Mutate;
  TKlfSummary::TOutcome Outcome;
  // Expected, from the log as built: damaged ranges, whole records, bad checksums.
  std::function<std::vector<std::pair<int64_t, int64_t>>(const TLog&)> Damage;
  int Records;
  int BadChecksums;
};

const std::vector<std::pair<int64_t, int64_t>> kNone;

const TCase kCases[] = {
    {"Whole", [](TLog&) {}, TKlfSummary::Whole, [](const TLog&) { return kNone; }, 11, 0},
    {"Empty", [](TLog& l) { l.File.clear(); }, TKlfSummary::Empty,
     [](const TLog&) { return kNone; }, 0, 0},
    {"Foreign",
     [](TLog& l) {
       const std::string text = "time,level\n08:15:02,-71\n";
       l.File.assign(text.begin(), text.end());
     },
     TKlfSummary::NotALog, [](const TLog&) { return kNone; }, 0, 0},
    {"BadLengthMidFile",
     [](TLog& l) { l.File[l.Offsets[3]] = 0xFF, l.File[l.Offsets[3] + 1] = 0xFF; },
     TKlfSummary::Damaged,
     [](const TLog& l) {
       return std::vector{std::pair<int64_t, int64_t>{l.Offsets[3], l.Sizes[3]}};
     },
     10, 0},
    {"LengthThatFitsButDoesNotChain", [](TLog& l) { l.File[l.Offsets[3]] = 3; },
     TKlfSummary::Damaged,
     [](const TLog& l) {
       return std::vector{std::pair<int64_t, int64_t>{l.Offsets[3], l.Sizes[3]}};
     },
     10, 0},
    {"BadChecksumWithIntactLength", [](TLog& l) { l.File[l.Offsets[3] + 4] ^= 0x10; },
     TKlfSummary::Whole, [](const TLog&) { return kNone; }, 11, 1},
    {"GarbageBetweenRecords",
     [](TLog& l) {
       Bytes garbage(37);
       for (size_t b = 0; b < garbage.size(); ++b) garbage[b] = static_cast<uint8_t>(b * 73 + 11);
       l.File.insert(l.File.begin() + l.Offsets[5], garbage.begin(), garbage.end());
     },
     TKlfSummary::Damaged,
     [](const TLog& l) {
       return std::vector{std::pair<int64_t, int64_t>{l.Offsets[5], 37}};
     },
     11, 0},
    {"ZerosAtTheEnd", [](TLog& l) { l.File.resize(l.File.size() + 4096, 0); },
     TKlfSummary::TornTail, [](const TLog&) { return kNone; }, 11, 0},
    {"DamagedSerialRecord", [](TLog& l) { l.File[23] = 0x40; }, TKlfSummary::Damaged,
     [](const TLog&) {
       return std::vector{std::pair<int64_t, int64_t>{23, 40}};
     },
     9, 0},
};

class KlfReaderCase : public testing::TestWithParam<TCase> {};

TEST_P(KlfReaderCase, FindsTheRecordsAroundTheDamageWhateverTheBlockSize) {
  const TCase& c = GetParam();
  TLog log = BuildLog();
  const TLog built = log;
  c.Mutate(log);
  for (size_t block : {size_t{1}, size_t{5}, size_t{64}, TKlfReader::kBlock}) {
    SCOPED_TRACE(block);
    const TRead read = Read(log.File, block);
    EXPECT_EQ(read.Summary.Outcome, c.Outcome);
    EXPECT_EQ(read.Damage, c.Damage(built));
    EXPECT_EQ(read.Records.size(), static_cast<size_t>(c.Records));
    EXPECT_EQ(read.Summary.Records, static_cast<uint64_t>(c.Records));
    EXPECT_EQ(read.Summary.BadChecksums, static_cast<uint64_t>(c.BadChecksums));
    int64_t skipped = 0;
    for (const auto& range : read.Damage) skipped += range.second;
    EXPECT_EQ(read.Summary.BytesSkipped, skipped);
  }
}

INSTANTIATE_TEST_SUITE_P(Logs, KlfReaderCase, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(KlfReader, ACutAnywhereInTheHeaderIsATornHeaderWithNothingWhole) {
  const TLog log = BuildLog();
  for (size_t cut = 1; cut < 63; ++cut) {
    const TRead read = Read(Bytes(log.File.begin(), log.File.begin() + cut), 64);
    EXPECT_EQ(read.Summary.Outcome, TKlfSummary::TornHeader) << cut;
    EXPECT_EQ(read.Summary.WholeSize, 0) << cut;
  }
}

TEST(KlfReader, ACutAnywhereInTheLastRecordIsATornTailAfterTheWholeOnes) {
  const TLog log = BuildLog();
  const int64_t last = log.Offsets.back();
  for (int64_t cut = last + 1; cut < static_cast<int64_t>(log.File.size()); ++cut) {
    const TRead read = Read(Bytes(log.File.begin(), log.File.begin() + cut), 64);
    EXPECT_EQ(read.Summary.Outcome, TKlfSummary::TornTail) << cut;
    EXPECT_EQ(read.Summary.WholeSize, last) << cut;
    EXPECT_EQ(read.Summary.TornBytes, cut - last) << cut;
    EXPECT_EQ(read.Records.size(), 10u) << cut;
  }
}

TEST(KlfReader, AFailedReadIsUnreadableWithItsErrnoNeverAnEnd) {
  const TLog log = BuildLog();
  test::TScratchDir dir;
  const std::string name = dir.File("write-only.KLF");
  test::WriteAll(name, log.File);
  const int fd = ::open(name.c_str(), O_WRONLY);
  const TRead read = ReadFd(fd, TKlfReader::kBlock);
  ::close(fd);
  EXPECT_EQ(read.Summary.Outcome, TKlfSummary::Unreadable);
  EXPECT_EQ(read.Summary.Error, EBADF);
}

}  // namespace
}  // namespace vireon
