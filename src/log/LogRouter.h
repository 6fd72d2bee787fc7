#pragma once
// The log writer: a worker that owns one open KLF file and appends every packet the engine
// hands over, in order. The engine's call (PostPacket, on the communications thread) only copies
// the record into a fixed FIFO and signals; the disk is touched on the writer's own thread.
//
// Error policy: a file that cannot be created, opened or written is reported once through the
// report handler (naming the file and the reason), the file is closed and the writer ends; a
// record cut short by a failed write is cut off again, so the file holds whole records only, and
// a new file whose header could not be written whole is removed. An existing file is walked
// before anything is appended: one that is not a KLF log is never written into; one that ends
// in a cut-short record is cut back to its last whole record, and the user is told. A log file
// removed, renamed or replaced while logging is noticed within about a second, reported, and
// logging goes on into the file now of that name (a new one, with its own header). Records that
// find the FIFO full are counted and reported, never dropped silently. What is written is made
// durable (fdatasync) at most about once a second and on stop, then the file is closed.

#include <sys/types.h>
#include <sys/uio.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "log/LogFifo.h"
#include "model/Engine.h"
#include "model/EngineHost.h"
#include "platform/Event.h"
#include "platform/Worker.h"

namespace vireon {

// About half an hour of the link at full speed (38400 baud), for a disk that stalls.
constexpr size_t kLogFifoBytes = 8u << 20;

struct TLogReport {
  enum Kind { OpenFailed, WriteFailed, PacketsLost, Repaired, Recreated };
  Kind What;
  std::string Text;  // ready to show to the user
  // The writer has ended: logging is off.
  bool Fatal() const { return What == OpenFailed || What == WriteFailed; }
};

// The writer's way to the disk, a seam for tests that make the disk fill up or fail.
class TLogDisk {
 public:
  virtual ~TLogDisk() = default;
  virtual ssize_t Writev(int fd, const iovec* iov, int n);
  virtual int Fdatasync(int fd);
};

class TLog_Router : public Worker, public TLogSink {
 public:
  using ReportHandler = std::function<void(const TLogReport&)>;

  // Clears the engine's log sink (no packet goes anywhere until the caller installs this writer
  // with TEngine::SetLogSink) and takes the header from the engine's present state. The caller
  // then calls Start(); the file is opened on the writer's thread.
  TLog_Router(TEngine& engine, std::string fileName, size_t fifoBytes = kLogFifoBytes);
  ~TLog_Router() override;

  // Runs on the writer's thread; must not wait for the user interface. Set before Start().
  void SetReportHandler(ReportHandler handler) { OnReport = std::move(handler); }
  // Set before Start(); the disk outlives the writer.
  void SetDisk(TLogDisk* disk) { Disk = disk; }

  // count = the record's length field + 2, 3 to 2049. Never blocks, never allocates.
  void PostPacket(const uint8_t* data, int16_t count) override;

  // Size of the file named FileName in kB, read anew from the file system; 0 when it cannot be
  // examined. Also stored in SizeKB.
  int32_t FileSizeKB();

  // Asks the writer to finish: what was handed over so far is still written. Wakes it at once.
  void RequestStop();

  // True once the thread body has closed the file and returned.
  bool Finished() const { return Done.load(); }
  bool Failed() const { return FailedFlag.load(); }
  uint64_t LostPackets() const { return Lost.load(); }

  const std::string FileName;
  std::atomic<int32_t> SizeKB{0};
  Event LogEvent;

 protected:
  void Execute() override;

 private:
  bool Open();
  // Before appending: refuses what is no log, cuts a torn tail back. False when refused.
  bool CheckExisting(int64_t size, bool& asNew);
  bool WriteHeader(bool created);
  // Once a second: the file is still the one of that name; what was written is made durable.
  bool Housekeep(bool force);
  bool FileReplaced() const;
  // Says the file went and opens the one now of that name.
  bool Reopen();
  bool Sync();
  bool Drain();
  bool WriteSpans(const TLogFifo::Span* spans, int n, bool records);
  void CutBack(size_t keep, int error);
  void Fail(TLogReport::Kind kind, const std::string& what, int error);
  void ReportLoss();
  void Report(TLogReport::Kind kind, const std::string& text);

  static std::vector<uint8_t> DetachAndDescribe(TEngine& engine);

  const std::vector<uint8_t> Header;
  TLogFifo Fifo;
  ReportHandler OnReport;
  TLogDisk* Disk;
  const std::string Key;  // the file's absolute name: writers of one file take turns
  uint64_t Turn = 0;      // this writer's place among writers of the same file
  bool HoldsTurn = false;
  int Fd = -1;
  int64_t GoodSize = 0;  // the file's size up to the end of the last whole record
  int64_t SyncedSize = 0;
  int64_t NextHousekeeping = 0;  // steady clock, ms
  uint64_t LossReported = 0;
  std::atomic<uint64_t> Lost{0};
  std::atomic<bool> WakePending{false};  // a hand-off has signalled since the writer last woke
  std::atomic<bool> FailedFlag{false};
  std::atomic<bool> Done{false};
};

}  // namespace vireon
