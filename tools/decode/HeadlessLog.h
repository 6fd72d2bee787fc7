#pragma once
// Logging for the live decoder, which has no screen: the logger's own writer, always on.
//
// Every packet decoded from the link's opening reaches a file. A file's header repeats what the
// instrument announced, so the first file is opened once it has answered the serial-number and
// configuration requests (or 2 s after its first packet); the packets before that are kept and
// written first, in order. With a folder (--log-dir) there is one file per period, named by its
// UTC start ("20261210T081500Z.KLF"), each a whole log with its own header; the periods end at
// multiples of their length since 1970, the next file opens at the next packet, and the files
// of consecutive periods hold the stream received, no packet lost or repeated: the packet
// handler and the swap take one lock.
//
// Error policy: one line on stderr per change of state. A disk whose free space falls below the
// reserve stops the logging (the files written stay whole; the packets meanwhile are counted) and
// it resumes in a new file once space returns. A file that cannot be written is said; with a
// folder a new file is tried every 10 s, with a fixed name logging stays off (Failed()).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "PacketJson.h"
#include "log/LogRouter.h"
#include "model/Engine.h"
#include "model/EngineHost.h"

namespace vireon {

struct THeadlessLogOptions {
  std::string File;                           // --log: one file of this name, as given
  std::string Dir;                            // --log-dir: one file per period in this folder
  int RotateSeconds = 3600;                   // with Dir
  int64_t MinFreeBytes = int64_t{200} << 20;  // with Dir
};

class THeadlessLog : public TEngineHost {
 public:
  using Clock = std::chrono::steady_clock;

  THeadlessLog(TEngine& engine, TDecodeSession& session, THeadlessLogOptions options);
  // Stops the open file's writer: everything handed over is written, synced and closed.
  ~THeadlessLog() override;

  // The packet handler, on the communications thread: the packet goes through the session's
  // engine (which hands it to the open file) or is kept until the first file is open.
  void Packet(const PacketRecord& record);
  // The main thread, about every 50 ms: opens the first file, rotates, watches the disk.
  void Tick();

  // With a fixed name: the file could not be opened or written.
  bool Failed() const { return FileFailed.load(); }

  void PressMode(TMode) override {}
  bool LogModeDown() const override { return State == TState::Writing; }
  void ShowScanWarning(const char* text) override;

 private:
  struct TOpenFile {
    std::unique_ptr<TLog_Router> Writer;
    std::string Name;
    uint64_t Packets = 0;
  };
  // Holding: no file open, packets kept until one is (the first, or the next period's, opened at
  // its first packet so an absent instrument makes no empty files); Writing: a file is open;
  // Paused: the disk is low or the file failed, packets are only counted.
  enum class TState { Holding, Writing, Paused };
  bool Answered() const;
  // Under M: makes the writer of a new file and hands it what was kept.
  void Open(std::time_t now);
  // Under M: detaches the writer; it is stopped and joined by Retire outside the lock.
  void Detach();
  void Pause(Clock::time_point retryAt);
  void Retire();
  bool DiskLow();
  std::string PeriodName(std::time_t start) const;

  TEngine& Engine;
  TDecodeSession& Session;
  const THeadlessLogOptions Options;
  std::mutex M;
  TState State = TState::Holding;  // read by LogModeDown under M
  std::vector<std::vector<uint8_t>> Held;
  Clock::time_point FirstPacket{};
  TOpenFile Current;
  std::vector<TOpenFile> Retiring;
  std::time_t PeriodEnd = 0;
  bool Low = false;
  uint64_t NotLogged = 0;
  Clock::time_point NextDiskCheck{};
  Clock::time_point RetryAt{};
  std::atomic<bool> FileFailed{false};
  std::atomic<bool> WriterFailed{false};
  std::atomic<bool> Warned{false};
};

}  // namespace vireon
