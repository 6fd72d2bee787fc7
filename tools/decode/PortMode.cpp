// The live mode of vireon-decode: the logger's communications thread on a real port, with every
// dispatched packet printed as it arrives. A lost link is said on stderr ("link lost", then
// "link restored") and the decoder carries on; its log goes on in the same file. The signals that
// end it are blocked in every thread and taken synchronously by the main thread, so no handler
// races the reader.

#include "PortMode.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <mutex>
#include <vector>

#include "KlfLog.h"
#include "PacketJson.h"
#include "link/ComRouter.h"
#include "link/PortName.h"
#include "link/Rs232.h"
#include "link/Usb.h"

namespace vireon {

namespace {

using Clock = std::chrono::steady_clock;

enum class TWaitEnd { Done, Deadline, Stopped };

// Waits until done() holds, the deadline passes, a stop signal arrives or the open has failed.
TWaitEnd WaitUntil(const TCom_Router& router, Clock::time_point deadline,
                   const sigset_t& stopSignals, const std::function<bool()>& done) {
  const timespec tick{0, 50 * 1000 * 1000};
  while (!router.OpenFailed.load()) {
    if (done()) return TWaitEnd::Done;
    if (Clock::now() >= deadline) return TWaitEnd::Deadline;
    if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) return TWaitEnd::Stopped;
  }
  return TWaitEnd::Stopped;
}

}  // namespace

int RunPortMode(const std::string& port, double duration, bool summary,
                const std::string& logFile) {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  TDecodeSession session([](const TJson& j) { std::cout << j.dump() << std::endl; });
  TUSB usb;
  TRS232 rs232;
  ApplyPortChoice(ParsePortName(port), session.Engine(), rs232, usb);
  TCom_Router router(session.Engine(), usb, rs232);
  // Until the log's writer exists, every packet is also kept for it (under holdMutex, which the
  // hand-over takes too, so none is lost or reordered between the two).
  std::mutex holdMutex;
  bool holding = !logFile.empty();
  std::vector<std::vector<uint8_t>> held;
  router.SetPacketHandler([&](const PacketRecord& record) {
    std::lock_guard lock(holdMutex);
    if (holding) held.emplace_back(record.LogBytes(), record.LogBytes() + record.LogSize());
    session.Deliver(record);
  });
  router.SetLinkHandler([&router](TCom_Router::TLinkChange change, const std::string& reason) {
    if (change == TCom_Router::TLinkChange::Lost)
      std::cerr << "vireon-decode: link lost on " << router.PortText() << ": " << reason
                << std::endl;
    else
      std::cerr << "vireon-decode: link restored on " << router.PortText() << std::endl;
  });
  const Clock::time_point end = duration > 0
                                    ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::duration<double>(duration))
                                    : Clock::time_point::max();
  router.Start();
  TWaitEnd waited = TWaitEnd::Deadline;
  std::unique_ptr<TKlfLogging> logging;
  if (!logFile.empty()) {
    // The header repeats the instrument's identity and set-up: give it time to answer.
    TEngine& engine = session.Engine();
    waited = WaitUntil(
        router, std::min(end, Clock::now() + std::chrono::seconds(2)), stopSignals,
        [&engine] { return !engine.SerialNumber().empty() && engine.ConfigChanged.load() != 0; });
    if (waited != TWaitEnd::Stopped) {
      std::lock_guard lock(holdMutex);
      logging = std::make_unique<TKlfLogging>(engine, logFile);
      for (const auto& bytes : held)
        logging->PostHeld(bytes.data(), static_cast<int16_t>(bytes.size()));
      holding = false;
      held.clear();
    }
  }
  if (waited != TWaitEnd::Stopped) WaitUntil(router, end, stopSignals, [] { return false; });
  router.RequestStop();
  router.Join();
  const bool logFailed = logging && !logging->Ok();
  logging.reset();

  if (router.OpenFailed.load()) {
    std::cerr << "vireon-decode: " << router.OpenFailureText() << "\n";
    return 2;
  }
  if (summary) {
    TJson s = session.Summary();
    s["summary"]["bytes"] = router.BytesRead;
    s["summary"]["bad_checksum"] = router.Framer.BadChecksum;
    s["summary"]["bad_length"] = router.Framer.BadLength;
    std::cout << s.dump() << std::endl;
  }
  return logFailed ? 1 : 0;
}

}  // namespace vireon
