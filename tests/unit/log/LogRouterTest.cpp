#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <thread>

#include "LogTestSupport.h"
#include "log/KlfFile.h"
#include "log/LogRouter.h"

namespace vireon {
namespace {

using test::Bytes;

class LogWriter : public testing::Test {
 protected:
  TGPSShared Gps;
  TEngine Engine{Gps};
  test::TScratchDir Dir;

  // A started writer with its reports collected.
  std::unique_ptr<TLog_Router> Writer(const std::string& name, size_t fifo = kLogFifoBytes) {
    auto w = std::make_unique<TLog_Router>(Engine, name, fifo);
    w->SetReportHandler([this](const TLogReport& r) {
      std::lock_guard lock(M);
      Reports.push_back(r);
    });
    w->Start();
    return w;
  }
  static void Post(TLog_Router& w, const PacketRecord& p) {
    w.PostPacket(p.LogBytes(), static_cast<int16_t>(p.LogSize()));
  }
  static void Finish(TLog_Router& w) {
    w.RequestStop();
    w.Join();
  }
  std::vector<TLogReport> TakeReports() {
    std::lock_guard lock(M);
    return Reports;
  }
  Bytes EmptyHeader() { return BuildKlfHeader(Engine.Snapshot()); }

  std::mutex M;
  std::vector<TLogReport> Reports;
};

TEST_F(LogWriter, NewFileHoldsHeaderThenEveryRecordWholeAndInOrder) {
  const std::string name = Dir.File("run.KLF");
  PacketRecord typeOnly;  // length 1: the type byte is its own checksum
  typeOnly.Length = 1;
  const PacketRecord largest = test::Packet(3, Bytes(2045, 0xA5));
  const PacketRecord levels =
      test::Packet(7, {0, 1, 0x90, 1, 2, 0x91, 0, 3, 0x92, 1, 4, 0x93, 0, 5, 0x94});
  ASSERT_EQ(largest.LogSize(), 2049);

  auto w = Writer(name);
  Post(*w, typeOnly);
  Post(*w, largest);
  Post(*w, levels);
  Finish(*w);

  const Bytes file = test::ReadAll(name);
  const Bytes header = EmptyHeader();
  ASSERT_EQ(file.size(), header.size() + 3 + 2049 + levels.LogSize());
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 63), header);
  EXPECT_EQ(Bytes(file.begin() + 63, file.begin() + 66), (Bytes{0x01, 0x00, 0x00}));
  EXPECT_EQ(Bytes(file.begin() + 66, file.begin() + 66 + 2049), test::LogBytes(largest));
  EXPECT_EQ(Bytes(file.end() - levels.LogSize(), file.end()), test::LogBytes(levels));
  EXPECT_TRUE(TakeReports().empty());
  EXPECT_EQ(w->LostPackets(), 0u);
}

TEST_F(LogWriter, ExistingFileIsAppendedWithoutSecondHeader) {
  const std::string name = Dir.File("again.KLF");
  const PacketRecord first = test::Packet(4, {1, 2, 3, 4, 5, 6, 7});
  const PacketRecord second = test::Packet(28, {'A', 'B', 'C', 0});
  auto a = Writer(name);
  Post(*a, first);
  Finish(*a);
  auto b = Writer(name);
  Post(*b, second);
  Finish(*b);

  EXPECT_EQ(test::ReadAll(name),
            test::Concat({EmptyHeader(), test::LogBytes(first), test::LogBytes(second)}));
}

TEST_F(LogWriter, SwitchingOffAndOnQuicklyKeepsBothWritersRecordsInOrder) {
  const std::string name = Dir.File("quick.KLF");
  std::vector<Bytes> expected = {EmptyHeader()};
  auto a = Writer(name);
  for (uint8_t k = 0; k < 50; ++k) {
    const PacketRecord p = test::Packet(2, Bytes(k + 1, k));
    Post(*a, p);
    expected.push_back(test::LogBytes(p));
  }
  a->RequestStop();  // not joined: b starts while a may still be writing and closing
  auto b = Writer(name);
  for (uint8_t k = 0; k < 50; ++k) {
    const PacketRecord p = test::Packet(3, Bytes(k + 1, k));
    Post(*b, p);
    expected.push_back(test::LogBytes(p));
  }
  Finish(*b);
  a->Join();

  EXPECT_EQ(test::ReadAll(name), test::Concat(expected));
}

TEST_F(LogWriter, ConstructionDetachesTheEnginesLogSink) {
  auto previous = Writer(Dir.File("old.KLF"));
  Engine.SetLogSink(previous.get());
  auto w = Writer(Dir.File("new.KLF"));
  EXPECT_EQ(Engine.GetLogSink(), nullptr);
}

TEST_F(LogWriter, FileSizeIsReadAnewInWholeKilobytes) {
  const std::string name = Dir.File("size.KLF");
  test::WriteAll(name, Bytes(1023, 0));
  auto w = Writer(name);
  EXPECT_EQ(w->FileSizeKB(), 0);
  test::WriteAll(name, Bytes(2047, 0));
  EXPECT_EQ(w->FileSizeKB(), 1);
  EXPECT_EQ(w->SizeKB.load(), 1);
  Finish(*w);
  std::filesystem::remove(name);
  EXPECT_EQ(w->FileSizeKB(), 0);
}

TEST_F(LogWriter, FileThatCannotBeCreatedIsReportedWithNameAndReason) {
  test::WriteAll(Dir.File("plain"), {1});
  const std::string name = Dir.File("plain/run.KLF");  // a folder that is a file
  auto w = Writer(name);
  ASSERT_TRUE(test::WaitFor([&] { return w->Finished(); }));
  Post(*w, test::Packet(7, Bytes(15, 0)));

  const auto reports = TakeReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].What, TLogReport::OpenFailed);
  EXPECT_NE(reports[0].Text.find(name), std::string::npos);
  EXPECT_NE(reports[0].Text.find("Not a directory"), std::string::npos);
  EXPECT_TRUE(w->Failed());
  EXPECT_EQ(w->FileSizeKB(), 0);
}

TEST_F(LogWriter, NameOverTheLimitIsRefusedNotTruncated) {
  const std::string name = Dir.File(std::string(600, 'n') + ".KLF");
  auto w = Writer(name);
  ASSERT_TRUE(test::WaitFor([&] { return w->Finished(); }));
  ASSERT_EQ(TakeReports().size(), 1u);
  EXPECT_EQ(TakeReports()[0].What, TLogReport::OpenFailed);
  EXPECT_TRUE(std::filesystem::is_empty(Dir.Path));
}

// A file size limit makes the kernel stop a write part way through a record.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &Saved);
    rlimit limit = Saved;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &Saved); }

 private:
  rlimit Saved{};
};

TEST_F(LogWriter, FailedWriteKeepsOnlyWholeRecordsAndIsReported) {
  const std::string name = Dir.File("full.KLF");
  const PacketRecord p = test::Packet(7, Bytes(15, 0x11));  // 19-byte records
  auto w = std::make_unique<TLog_Router>(Engine, name);
  w->SetReportHandler([this](const TLogReport& r) {
    std::lock_guard lock(M);
    Reports.push_back(r);
  });
  for (int k = 0; k < 20; ++k) Post(*w, p);
  {
    FileSizeLimit limit(63 + 19 * 5 + 7);  // room for five records and part of a sixth
    w->Start();
    ASSERT_TRUE(test::WaitFor([&] { return w->Finished(); }));
  }

  const Bytes file = test::ReadAll(name);
  std::vector<Bytes> expected = {EmptyHeader()};
  for (int k = 0; k < 5; ++k) expected.push_back(test::LogBytes(p));
  EXPECT_EQ(file, test::Concat(expected));
  const auto reports = TakeReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].What, TLogReport::WriteFailed);
  EXPECT_NE(reports[0].Text.find(name), std::string::npos);
}

TEST_F(LogWriter, OverflowAndMalformedHandOversAreCountedAndReported) {
  auto w = std::make_unique<TLog_Router>(Engine, Dir.File("small.KLF"), 64);
  w->SetReportHandler([this](const TLogReport& r) {
    std::lock_guard lock(M);
    Reports.push_back(r);
  });
  const PacketRecord p = test::Packet(7, Bytes(15, 0));  // 19 bytes: three fit in 64
  for (int k = 0; k < 5; ++k) Post(*w, p);
  w->PostPacket(p.LogBytes(), 7);  // count does not match the record's length field
  EXPECT_EQ(w->LostPackets(), 3u);
  w->Start();
  Finish(*w);

  EXPECT_EQ(test::ReadAll(Dir.File("small.KLF")).size(), 63u + 3 * 19);
  const auto reports = TakeReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].What, TLogReport::PacketsLost);
  EXPECT_EQ(reports[0].Text.rfind("3 packet", 0), 0u);
}

TEST_F(LogWriter, BurstOfPacketsHandedOverAtFullSpeedIsWrittenCompletelyInOrder) {
  const std::string name = Dir.File("burst.KLF");
  constexpr int kPackets = 200000;
  auto w = Writer(name);
  PacketRecord p = test::Packet(7, Bytes(15, 0));
  std::vector<Bytes> expected = {EmptyHeader()};
  for (int k = 0; k < kPackets; ++k) {
    // Sequence number in the payload so order is checked, and an occasional long record.
    const Bytes payload = k % 1000 == 0 ? Bytes(1500, static_cast<uint8_t>(k))
                                        : Bytes{static_cast<uint8_t>(k),
                                                static_cast<uint8_t>(k >> 8),
                                                static_cast<uint8_t>(k >> 16),
                                                7,
                                                7,
                                                7,
                                                7,
                                                7,
                                                7,
                                                7,
                                                7,
                                                7,
                                                7,
                                                7,
                                                7};
    p = test::Packet(7, payload);
    Post(*w, p);
    expected.push_back(test::LogBytes(p));
  }
  Finish(*w);

  EXPECT_EQ(w->LostPackets(), 0u);
  EXPECT_TRUE(TakeReports().empty());
  const Bytes file = test::ReadAll(name);
  const Bytes all = test::Concat(expected);
  ASSERT_EQ(file.size(), all.size());
  EXPECT_TRUE(file == all);
}

// A disk that fills up after a budget of bytes, and counts what the writer makes durable.
class TFillingDisk : public TLogDisk {
 public:
  explicit TFillingDisk(size_t budget) : Budget(budget) {}
  ssize_t Writev(int fd, const iovec* iov, int n) override {
    size_t want = 0;
    for (int i = 0; i < n; ++i) want += iov[i].iov_len;
    const size_t room = std::min(want, Budget - Written);
    if (room == 0) {
      errno = ENOSPC;
      return -1;
    }
    // A short write, as a filling disk gives: only what fits of the first spans.
    iovec part[2];
    int parts = 0;
    for (size_t left = room; parts < n && left > 0; ++parts) {
      part[parts] = {iov[parts].iov_base, std::min(left, iov[parts].iov_len)};
      left -= part[parts].iov_len;
    }
    const ssize_t w = ::writev(fd, part, parts);
    if (w > 0) Written += static_cast<size_t>(w);
    return w;
  }
  int Fdatasync(int fd) override {
    ++Syncs;
    return TLogDisk::Fdatasync(fd);
  }
  size_t Budget;
  size_t Written = 0;
  std::atomic<int> Syncs{0};
};

const PacketRecord kLevels = test::Packet(7, Bytes(15, 0x11));  // 19-byte records

struct DiskFullCase {
  const char* Name;
  size_t Budget;
  bool FileLeft;       // after the failed run
  size_t RecordsKept;  // whole records the failed run left
};

class LogWriterDiskFull : public LogWriter, public testing::WithParamInterface<DiskFullCase> {};

TEST_P(LogWriterDiskFull, LeavesOnlyAWholeLogThatTheNextStartAppendsTo) {
  const DiskFullCase& c = GetParam();
  const std::string name = Dir.File("full.KLF");
  TFillingDisk disk(c.Budget);
  auto w = std::make_unique<TLog_Router>(Engine, name);
  w->SetDisk(&disk);
  for (int k = 0; k < 5; ++k) Post(*w, kLevels);
  w->Start();
  ASSERT_TRUE(test::WaitFor([&] { return w->Finished(); }));
  ASSERT_EQ(TakeReports().size(), 0u);  // no handler: the failure is in Failed()
  EXPECT_TRUE(w->Failed());
  EXPECT_EQ(std::filesystem::exists(name), c.FileLeft);

  auto again = Writer(name);
  Post(*again, kLevels);
  Finish(*again);
  std::vector<Bytes> expected = {EmptyHeader()};
  for (size_t k = 0; k < c.RecordsKept + 1; ++k) expected.push_back(test::LogBytes(kLevels));
  EXPECT_EQ(test::ReadAll(name), test::Concat(expected));
  EXPECT_TRUE(TakeReports().empty());
}

INSTANTIATE_TEST_SUITE_P(Moments, LogWriterDiskFull,
                         testing::Values(DiskFullCase{"InTheHeader", 30, false, 0},
                                         DiskFullCase{"InTheRecords", 63 + 19 * 2 + 5, true, 2}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct ExistingCase {
  const char* Name;
  Bytes Contents;
  TLogReport::Kind Report;
  const char* Says;
  bool Appended;  // else the file is left as it was
  size_t Kept;    // bytes of Contents the log keeps before the new record
};

Bytes Header() {
  TGPSShared gps;
  TEngine engine{gps};
  return BuildKlfHeader(engine.Snapshot());
}

Bytes Cut(Bytes b, size_t n) {
  b.resize(n);
  return b;
}

Bytes WithTail(Bytes b, const Bytes& tail) {
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

class LogWriterExistingFile : public LogWriter, public testing::WithParamInterface<ExistingCase> {};

TEST_P(LogWriterExistingFile, IsWalkedBeforeAnythingIsAppended) {
  const ExistingCase& c = GetParam();
  const std::string name = Dir.File("old.KLF");
  test::WriteAll(name, c.Contents);
  auto w = Writer(name);
  Post(*w, kLevels);
  Finish(*w);

  const auto reports = TakeReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].What, c.Report);
  EXPECT_NE(reports[0].Text.find(c.Says), std::string::npos) << reports[0].Text;
  EXPECT_NE(reports[0].Text.find(name), std::string::npos);
  const Bytes kept(c.Contents.begin(), c.Contents.begin() + static_cast<long>(c.Kept));
  if (!c.Appended) {
    EXPECT_EQ(test::ReadAll(name), c.Contents);
  } else if (c.Kept == 0) {
    EXPECT_EQ(test::ReadAll(name), test::Concat({EmptyHeader(), test::LogBytes(kLevels)}));
  } else {
    EXPECT_EQ(test::ReadAll(name), test::Concat({kept, test::LogBytes(kLevels)}));
  }
}

const Bytes kTwoRecords =
    test::Concat({Header(), test::LogBytes(kLevels), test::LogBytes(kLevels)});

INSTANTIATE_TEST_SUITE_P(
    Files, LogWriterExistingFile,
    testing::Values(ExistingCase{"TornTail", WithTail(kTwoRecords, {0x13, 0x00, 0x07, 1, 2, 3, 4}),
                                 TLogReport::Repaired, "7 byte(s) were removed", true,
                                 kTwoRecords.size()},
                    ExistingCase{"TornHeader", Cut(Header(), 40), TLogReport::Repaired,
                                 "cut-short header: 40 byte(s)", true, 0},
                    ExistingCase{"Foreign", Bytes{'h', 'e', 'l', 'l', 'o', '\n'},
                                 TLogReport::OpenFailed, "is not a KLF log", false, 0},
                    ExistingCase{"Damaged", WithTail(kTwoRecords, {0x00, 0x00, 0x07, 1, 2, 3}),
                                 TLogReport::OpenFailed, "damaged record at byte 101", false, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(LogWriter, AnEmptyExistingFileCountsAsNewAndGetsTheHeader) {
  const std::string name = Dir.File("empty.KLF");
  test::WriteAll(name, {});
  auto w = Writer(name);
  Post(*w, kLevels);
  Finish(*w);
  EXPECT_EQ(test::ReadAll(name), test::Concat({EmptyHeader(), test::LogBytes(kLevels)}));
  EXPECT_TRUE(TakeReports().empty());
}

class LogWriterFileGone : public LogWriter, public testing::WithParamInterface<bool> {};

// The user tidies the folder while logging: what follows goes to a new file of that name.
TEST_P(LogWriterFileGone, IsReportedAndLoggingGoesOnInANewFileOfThatName) {
  const bool rename = GetParam();
  const std::string name = Dir.File("moved.KLF");
  const PacketRecord later = test::Packet(4, {1, 2, 3, 4, 5, 6, 9});
  auto w = Writer(name);
  Post(*w, kLevels);
  ASSERT_TRUE(test::WaitFor([&] { return test::ReadAll(name).size() == 82u; }));
  if (rename)
    std::filesystem::rename(name, Dir.File("kept.KLF"));
  else
    std::filesystem::remove(name);
  ASSERT_TRUE(test::WaitFor([&] { return !TakeReports().empty(); }, 5));
  Post(*w, later);
  Finish(*w);

  const auto reports = TakeReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].What, TLogReport::Recreated);
  EXPECT_NE(reports[0].Text.find(name), std::string::npos);
  EXPECT_FALSE(w->Failed());
  EXPECT_EQ(test::ReadAll(name), test::Concat({EmptyHeader(), test::LogBytes(later)}));
  if (rename) {
    EXPECT_EQ(test::ReadAll(Dir.File("kept.KLF")),
              test::Concat({EmptyHeader(), test::LogBytes(kLevels)}));
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, LogWriterFileGone, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Renamed" : "Removed"; });

TEST_F(LogWriter, FlowingRecordsAreMadeDurableAboutOnceASecondAndOnStop) {
  TFillingDisk disk(SIZE_MAX);
  auto w = std::make_unique<TLog_Router>(Engine, Dir.File("durable.KLF"));
  w->SetDisk(&disk);
  w->Start();
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(2500)) {
    Post(*w, kLevels);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Finish(*w);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Every wake-up drains; only one a second syncs, plus the last on stop.
  EXPECT_GE(disk.Syncs.load(), 2);
  EXPECT_LE(disk.Syncs.load(), static_cast<int>(seconds) + 2);
}

}  // namespace
}  // namespace vireon
