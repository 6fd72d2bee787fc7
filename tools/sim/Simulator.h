#pragma once
// The simulated instrument's main loop: answers the PC's commands, streams clock and GPS once a
// second and measurement packets at the chosen rate, and paces every byte at the line's real
// rate (38400 baud 8N1, 3840 bytes/s). Noise, when asked for, adds garbage bytes and frames with
// a bad checksum between the packets; garbage never contains the sync byte, so every good packet
// still arrives. When nobody reads, the oldest queued frames give way to new ones, so an answer
// to a request is never the frame dropped. "unplug" takes the terminal away (what was queued is
// lost with the cable) and "plug" makes a new one at the same link path, printing its paths.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <string>

#include "Instrument.h"
#include "Pty.h"
#include "Replay.h"
#include "link/Packet.h"

namespace vireon::sim {

struct TOptions {
  TMeasureMode Mode = TMeasureMode::Scan;
  double Rate = 10;  // measurement packets per second
  bool FullRate = false;
  std::string Serial = "VS000417";
  uint32_t Seed = 1;
  double Noise = 0;     // chance per packet of garbage and of a corrupted copy
  double Duration = 0;  // seconds; 0 runs until stopped
  std::string LinkPath;
  // Start the measurement again once a logger asks for the serial number, as an operator does
  // after connecting, so the logger sees the scan set-up without a command on stdin.
  bool StartOnConnect = false;
  bool Verbose = false;    // trace received bytes on stderr
  std::string ReplayFile;  // play this KLF log instead of simulating
  double Speed = 1;        // of the replay; 0 as fast as the reader takes it
  bool Loop = false;       // start the replay again at its end
};

class TSimulator {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr double kBytesPerSecond = 3840;

  // replay: the log to play (opened), or null to simulate.
  TSimulator(const TOptions& options, TPty& pty, TReplay* replay = nullptr);

  // Runs until stop is set, the duration ends or "quit" arrives. commandFd: the command lines'
  // source (-1 for none).
  void Run(const std::atomic<bool>& stop, int commandFd);
  // One command line: single, scan, table (start that measurement), start, marker, pause,
  // resume, unplug, plug, quit. False for an unknown command.
  bool Command(const std::string& line);

  // Called with the time the last byte of each good frame went onto the line.
  std::function<void(Clock::time_point)> OnFrameSent;

 private:
  struct TQueued {
    TFrame Bytes;
    bool Good;
  };

  void Queue(const TFrame& frame, bool good);
  void QueueAll(const std::vector<TFrame>& frames);
  // Drops the oldest frames not yet begun on the line until the backlog fits its bound.
  void DropOldest();
  void Unplug();
  void Plug();
  // Queues the replay's records that are due, a little ahead of the line.
  void ScheduleReplay(double t);
  double LineRate() const;
  void Pause(bool on, double t);
  void Schedule(Clock::time_point now);
  void Send(Clock::time_point now);
  void Receive();
  // The replay's answers to the PC's two commands; the first serial request starts playback.
  void AnswerFromLog(uint8_t type);
  // False once the source has ended.
  bool ReadCommands(int fd);
  double Seconds(Clock::time_point t) const;
  // How long the loop may sleep before it has something to send.
  int SleepMs(Clock::time_point now) const;

  TOptions Options;
  TPty& Pty;
  TReplay* Replay;
  bool Playing = false;  // a reader has attached to the replay
  double PlayStart = 0;  // seconds, on Seconds()'s scale
  bool ReplayDone = false;
  bool Paused = false;
  double PausedAt = 0;
  TInstrument Instrument;
  std::mt19937 Random;
  TPacket Framer;

  std::deque<TQueued> Pending;
  size_t FrontSent = 0;     // bytes of the first queued frame already on the line
  size_t PendingBytes = 0;  // not yet on the line
  double Credit = 0;        // bytes the line could carry now

  Clock::time_point Start;
  Clock::time_point LastPace;
  std::time_t LastSecond = 0;
  double NextLevels = 0;
  bool Quit = false;
  std::string CommandLine;
};

}  // namespace vireon::sim
