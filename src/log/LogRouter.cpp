#include "log/LogRouter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <system_error>

#include "log/KlfFile.h"
#include "log/KlfReader.h"

namespace vireon {

namespace {

// Writers of one file take turns in the order they were created, so a writer started while the
// previous one on the same file is still closing appends after everything that one writes.
class TFileTurns {
 public:
  uint64_t Enqueue(const std::string& key) {
    std::lock_guard lock(M);
    Queues[key].push_back(++Last);
    return Last;
  }
  void Wait(const std::string& key, uint64_t turn) {
    std::unique_lock lock(M);
    Cv.wait(lock, [&] { return Queues[key].front() == turn; });
  }
  void Leave(const std::string& key, uint64_t turn) {
    std::lock_guard lock(M);
    auto& queue = Queues[key];
    std::erase(queue, turn);
    if (queue.empty()) Queues.erase(key);
    Cv.notify_all();
  }

 private:
  std::mutex M;
  std::condition_variable Cv;
  std::map<std::string, std::deque<uint64_t>> Queues;
  uint64_t Last = 0;
};

TFileTurns& Turns() {
  static TFileTurns turns;
  return turns;
}

std::string TurnKey(const std::string& fileName) {
  std::error_code ec;
  const auto path = std::filesystem::absolute(fileName, ec);
  return ec ? fileName : path.lexically_normal().string();
}

// The length of the record starting at p (its little-endian length field plus 2).
size_t RecordSize(const uint8_t* p) {
  return static_cast<size_t>(p[0] | (p[1] << 8)) + 2;
}

// Drops the first w bytes from the vector of n spans.
void Advance(iovec* iov, int& n, size_t w) {
  int first = 0;
  while (first < n && w >= iov[first].iov_len) w -= iov[first++].iov_len;
  for (int i = first; i < n; ++i) iov[i - first] = iov[i];
  n -= first;
  if (n > 0) {
    iov[0].iov_base = static_cast<uint8_t*>(iov[0].iov_base) + w;
    iov[0].iov_len -= w;
  }
}

// How many of the first `done` bytes of the spans form whole records; a record may straddle
// the two spans.
size_t WholeRecords(const TLogFifo::Span* spans, size_t done) {
  auto byteAt = [spans](size_t k) {
    return k < spans[0].Size ? spans[0].Data[k] : spans[1].Data[k - spans[0].Size];
  };
  size_t whole = 0;
  while (whole + 2 <= done) {
    const size_t size = (byteAt(whole) | (byteAt(whole + 1) << 8)) + 2u;
    if (whole + size > done) break;
    whole += size;
  }
  return whole;
}

TLogDisk& RealDisk() {
  static TLogDisk disk;
  return disk;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A new file's name must survive a power loss too: its folder is made durable once.
void SyncFolderOf(const std::string& fileName) {
  const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

ssize_t TLogDisk::Writev(int fd, const iovec* iov, int n) {
  return ::writev(fd, iov, n);
}

int TLogDisk::Fdatasync(int fd) {
  return ::fdatasync(fd);
}

TLog_Router::TLog_Router(TEngine& engine, std::string fileName, size_t fifoBytes)
    : FileName(std::move(fileName)),
      Header(DetachAndDescribe(engine)),
      Fifo(fifoBytes),
      Disk(&RealDisk()),
      Key(TurnKey(FileName)),
      Turn(Turns().Enqueue(Key)),
      HoldsTurn(true) {}

TLog_Router::~TLog_Router() {
  RequestStop();
  Join();
  if (HoldsTurn) Turns().Leave(Key, Turn);
}

// No writer takes packets while the new one is being set up; the header shows the state the
// instrument had announced when logging began.
std::vector<uint8_t> TLog_Router::DetachAndDescribe(TEngine& engine) {
  engine.SetLogSink(nullptr);
  return BuildKlfHeader(engine.Snapshot());
}

void TLog_Router::PostPacket(const uint8_t* data, int16_t count) {
  if (StopRequested.load() || Done.load()) return;
  const bool wellFormed = count >= kMinLogRecord && count <= kMaxLogRecord &&
                          RecordSize(data) == static_cast<size_t>(count);
  if (!wellFormed || !Fifo.Push(data, static_cast<size_t>(count))) Lost.fetch_add(1);
  // Only the first hand-off after the writer woke signals: the event's lock stays off the
  // common path, so a writer descheduled while holding it cannot hold this thread up.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (!WakePending.exchange(true)) LogEvent.Set();
}

int32_t TLog_Router::FileSizeKB() {
  struct stat st {};
  const int32_t kb = ::stat(FileName.c_str(), &st) == 0 ? SizeInKB(st.st_size) : 0;
  SizeKB.store(kb);
  return kb;
}

void TLog_Router::RequestStop() {
  Worker::RequestStop();
  LogEvent.Set();
}

void TLog_Router::Execute() {
  Turns().Wait(Key, Turn);
  if (Open()) {
    bool ok = true;
    while (ok) {
      LogEvent.Wait(1000);
      // Read the flag before draining: what was handed over before the stop is in the FIFO now.
      const bool stopping = StopRequested.load();
      LogEvent.Reset();
      WakePending.store(false);
      // Pairs with PostPacket's fence: either this drain sees the record, or its hand-off
      // sees the cleared flag and signals again.
      std::atomic_thread_fence(std::memory_order_seq_cst);
      ok = Drain() && Housekeep(stopping);
      ReportLoss();
      if (stopping) break;
    }
  }
  // A late write error (a network file system, for one) can surface only here.
  if (Fd >= 0 && ::close(Fd) != 0 && !FailedFlag.load()) {
    Fail(TLogReport::WriteFailed, "could not be closed", errno);
  }
  Fd = -1;
  Turns().Leave(Key, Turn);
  HoldsTurn = false;
  Done.store(true);
}

bool TLog_Router::Open() {
  if (FileName.size() > static_cast<size_t>(kMaxLogFileName)) {
    Fail(TLogReport::OpenFailed, "the name is longer than 511 characters", ENAMETOOLONG);
    return false;
  }
  bool created = true;
  Fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
  if (Fd < 0 && errno == EEXIST) {
    created = false;
    // Read too: what is there is walked before anything is appended.
    Fd = ::open(FileName.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  }
  if (Fd < 0) {
    Fail(TLogReport::OpenFailed, "could not be opened", errno);
    return false;
  }
  struct stat st {};
  if (::fstat(Fd, &st) != 0) {
    Fail(TLogReport::OpenFailed, "could not be examined", errno);
    return false;
  }
  GoodSize = SyncedSize = st.st_size;
  NextHousekeeping = NowMs() + 1000;
  bool asNew = created || st.st_size == 0;
  if (!asNew && !CheckExisting(st.st_size, asNew)) return false;
  SizeKB.store(SizeInKB(GoodSize));
  return !asNew || WriteHeader(created);
}

bool TLog_Router::CheckExisting(int64_t size, bool& asNew) {
  // Appending goes after whole records only, so the walk stops at the first damage.
  TKlfReader reader(Fd);
  TKlfReader::TItem item;
  while ((item = reader.Next()) == TKlfReader::TItem::Record) {
  }
  const TKlfSummary& check = reader.Summary();
  if (item == TKlfReader::TItem::Damage || check.Outcome == TKlfSummary::Damaged) {
    Fail(TLogReport::OpenFailed,
         "holds a damaged record at byte " + std::to_string(reader.Damage().Offset) +
             "; nothing was written into it",
         EILSEQ);
    return false;
  }
  switch (check.Outcome) {
    case TKlfSummary::Whole:
      return true;
    case TKlfSummary::Empty:  // emptied since it was examined: it starts again
      asNew = true;
      return true;
    case TKlfSummary::NotALog:
      Fail(TLogReport::OpenFailed, "is not a KLF log; nothing was written into it", EINVAL);
      return false;
    case TKlfSummary::Unreadable:
      Fail(TLogReport::OpenFailed, "could not be read", check.Error);
      return false;
    case TKlfSummary::TornHeader:
    case TKlfSummary::TornTail:
    case TKlfSummary::Damaged:
      break;
  }
  if (::ftruncate(Fd, check.WholeSize) != 0) {
    Fail(TLogReport::OpenFailed, "ends in a cut-short record that could not be cut off", errno);
    return false;
  }
  const int64_t removed = size - check.WholeSize;
  GoodSize = SyncedSize = check.WholeSize;
  asNew = check.Outcome == TKlfSummary::TornHeader;
  Report(TLogReport::Repaired, "Log file " + FileName + " ended in a cut-short " +
                                   (asNew ? "header" : "record") + ": " + std::to_string(removed) +
                                   " byte(s) were removed, so new records follow whole ones.");
  return true;
}

// A header that cannot be written whole leaves no file behind that a later start would take for
// a log and append to headerless.
bool TLog_Router::WriteHeader(bool created) {
  const TLogFifo::Span header{Header.data(), Header.size()};
  if (!WriteSpans(&header, 1, false)) {
    if (created) ::unlink(FileName.c_str());
    return false;
  }
  SizeKB.store(SizeInKB(GoodSize));
  if (created) SyncFolderOf(FileName);
  return true;
}

bool TLog_Router::FileReplaced() const {
  struct stat named {
  }, open{};
  if (::fstat(Fd, &open) != 0) return false;
  if (::stat(FileName.c_str(), &named) != 0) return errno == ENOENT || errno == ENOTDIR;
  return named.st_dev != open.st_dev || named.st_ino != open.st_ino;
}

bool TLog_Router::Sync() {
  if (GoodSize == SyncedSize) return true;
  if (Disk->Fdatasync(Fd) != 0) {
    Fail(TLogReport::WriteFailed, "could not be written to the disk", errno);
    return false;
  }
  SyncedSize = GoodSize;
  return true;
}

bool TLog_Router::Housekeep(bool force) {
  const int64_t now = NowMs();
  if (!force && now < NextHousekeeping) return true;
  NextHousekeeping = now + 1000;
  return Sync() && (!FileReplaced() || Reopen());
}

bool TLog_Router::Reopen() {
  ::close(Fd);
  Fd = -1;
  Report(TLogReport::Recreated, "Log file " + FileName +
                                    " was removed, renamed or replaced while logging; logging "
                                    "goes on in the file now of that name.");
  return Open();
}

bool TLog_Router::Drain() {
  const auto spans = Fifo.Peek();
  const size_t total = spans[0].Size + spans[1].Size;
  if (total == 0) return true;
  // Records after the file went must reach the one that now has its name.
  if (FileReplaced() && !Reopen()) return false;
  if (!WriteSpans(spans.data(), spans[1].Size ? 2 : 1, true)) return false;
  Fifo.Pop(total);
  return true;
}

// Writes the spans in one go; the file is complete up to the last whole record at every moment
// it is looked at afterwards. On failure the file is cut back to its last whole record; the
// header counts as one unit (its receiver record's length field does not describe it).
bool TLog_Router::WriteSpans(const TLogFifo::Span* spans, int n, bool records) {
  iovec iov[2];
  size_t total = 0;
  for (int i = 0; i < n; ++i) {
    iov[i] = {const_cast<uint8_t*>(spans[i].Data), spans[i].Size};
    total += spans[i].Size;
  }
  size_t done = 0;
  while (done < total) {
    const ssize_t w = Disk->Writev(Fd, iov, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      CutBack(records ? WholeRecords(spans, done) : 0, w < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<size_t>(w);
    Advance(iov, n, static_cast<size_t>(w));
  }
  GoodSize += static_cast<int64_t>(total);
  return true;
}

void TLog_Router::CutBack(size_t keep, int error) {
  GoodSize += static_cast<int64_t>(keep);
  if (::ftruncate(Fd, GoodSize) != 0) {
    Fail(TLogReport::WriteFailed, "could not be written nor cut back to whole records", error);
  } else {
    Fail(TLogReport::WriteFailed, "could not be written", error);
  }
}

void TLog_Router::Fail(TLogReport::Kind kind, const std::string& what, int error) {
  FailedFlag.store(true);
  const std::string reason = std::error_code(error, std::generic_category()).message();
  Report(kind, "Log file " + FileName + " " + what + ": " + reason + ". Logging is switched off.");
}

void TLog_Router::ReportLoss() {
  const uint64_t lost = Lost.load();
  if (lost == LossReported) return;
  LossReported = lost;
  Report(TLogReport::PacketsLost, std::to_string(lost) + " packet(s) could not be logged to " +
                                      FileName + " (the disk did not keep up).");
}

void TLog_Router::Report(TLogReport::Kind kind, const std::string& text) {
  if (OnReport) OnReport(TLogReport{kind, text});
}

}  // namespace vireon
