#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <mutex>

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

}  // namespace
}  // namespace vireon
