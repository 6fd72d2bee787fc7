#pragma once
// A recorded session played back: a KLF log's packet records (not its header), in order and byte
// for byte as they were received, each sent as the frame it came in (the sync byte, then the
// record). The answers to the PC's two commands come from the header's serial and receiver
// records, so a logger shows the session as it was recorded; they are given until playback
// begins, after which the log's own records (the recorded answers among them) speak.
//
// Pace: the records from one clock packet (type 4) to the next are spread evenly over the second
// that clock packet begins; records outside such a second (before the first clock packet, after
// the last, or a log without clock packets) go at the link's rate, 3840 bytes a second. Speed
// scales the pace; 0 makes every record due at once (the line then takes them as fast as the
// reader does). The log is read a second at a time, so memory does not grow with its size. It is
// read by the one KLF reader: records that fail their checksum and damaged ranges are skipped,
// and a file whose header is not a log's whole header is refused.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Instrument.h"
#include "log/KlfReader.h"

namespace vireon::sim {

class TReplay {
 public:
  TReplay() = default;
  TReplay(const TReplay&) = delete;
  TReplay& operator=(const TReplay&) = delete;
  ~TReplay();

  // False, with the reason in Error, when the file cannot be read or is not a KLF log.
  bool Open(const std::string& path, double speed, bool loop);

  TFrame SerialAnswer() const;
  TFrame ConfigAnswer() const;

  // The next frame and the time it is due, in seconds of playback; null once the log has ended.
  const TFrame* Next(double& due);
  void Pop();

  std::string Error;

 private:
  struct TTimed {
    double Due;
    TFrame Frame;
  };
  // The next good packet record as a frame; false at the end of the log.
  bool ReadFrame(TFrame& frame);
  // Reads the log from its start up to its first packet record; false, with Error, if its header
  // is not whole.
  bool ReadHeader();
  void LoadSecond();

  int Fd = -1;
  std::optional<TKlfReader> Reader;
  std::optional<TFrame> First;  // the packet record read while looking for a scan set-up
  double Speed = 1;
  bool Loop = false;
  bool Ended = false;
  std::string Serial;
  PacketRecord Configuration;
  std::optional<TFrame> Carry;  // a clock packet read ahead: it begins the next second
  std::deque<TTimed> Ready;
  double LogTime = 0;  // seconds of the log played so far, at speed 1
};

}  // namespace vireon::sim
