#include "DecodeInput.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vireon {

namespace {
constexpr int64_t kProgressEvery = 1 << 20;  // bytes
}  // namespace

bool IsKlfName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return ext == ".KLF";
}

bool IsKlfInput(const std::string& path) {
  if (IsKlfName(path)) return true;
  if (path == "-") return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  const bool log = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && BeginsWithKlfSignature(fd);
  ::close(fd);
  return log;
}

TDecodeInput::~TDecodeInput() {
  if (OwnFd) ::close(Fd_);
}

bool TDecodeInput::Open(const std::string& path) {
  Name = path;
  Fd_ = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd_ < 0) {
    Error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  OwnFd = path != "-";
  if (::fstat(Fd_, &Info) != 0) {
    Error = "cannot examine " + path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(Info.st_mode)) {
    Error = path + " is a folder, not a log or a capture";
    return false;
  }
  Log = IsKlfName(path) || (S_ISREG(Info.st_mode) && BeginsWithKlfSignature(Fd_));
  return true;
}

bool TDecodeInput::ReadInto(TDecodeSession& session, const std::function<void(int64_t)>& progress) {
  return Log ? ReadLog(session, progress) : ReadCapture(session, progress);
}

bool TDecodeInput::ReadLog(TDecodeSession& session, const std::function<void(int64_t)>& progress) {
  TKlfReader reader(Fd_);
  int64_t nextProgress = kProgressEvery;
  for (TKlfReader::TItem item; (item = reader.Next()) != TKlfReader::TItem::End;) {
    if (item == TKlfReader::TItem::Damage) {
      if (OnDamage) OnDamage(reader.Damage());
      continue;
    }
    const TKlfRecord& record = reader.Record();
    if (record.Kind == TKlfRecord::Receivers) {
      session.Deliver(ReceiversAsConfiguration(record));
    } else if (record.Kind == TKlfRecord::Packet && record.ChecksumOk) {
      session.Deliver(record.ToPacket());
      ++Delivered;
    }
    if (progress && record.Offset >= nextProgress) {
      progress(record.Offset);
      nextProgress = record.Offset + kProgressEvery;
    }
  }
  Summary = reader.Summary();
  if (Summary.Outcome != TKlfSummary::Unreadable) return true;
  Error = "cannot read " + Name + ": " + std::strerror(Summary.Error);
  return false;
}

bool TDecodeInput::ReadCapture(TDecodeSession& session,
                               const std::function<void(int64_t)>& progress) {
  static uint8_t block[1 << 16];
  int64_t read = 0;
  for (;;) {
    const ssize_t got = ::read(Fd_, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      Error = "cannot read " + Name + ": " + std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    const uint64_t before = session.PacketCount();
    session.Feed(block, static_cast<size_t>(got));
    Delivered += session.PacketCount() - before;
    read += got;
    if (progress && read % kProgressEvery < got) progress(read);
  }
  return true;
}

std::string TDecodeInput::NothingToRead() const {
  if (Log) {
    const std::string why = KlfOutcomeText(Summary);
    return Summary.Outcome == TKlfSummary::Unreadable ? std::string() : why;
  }
  return Delivered == 0 ? "holds no packets" : std::string();
}

}  // namespace vireon
