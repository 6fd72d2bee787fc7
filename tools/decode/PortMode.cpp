// The live mode of vireon-decode: the logger's communications thread on a real port, with every
// dispatched packet printed as it arrives. A lost link is said on stderr ("link lost", then
// "link restored") and the decoder carries on; its log goes on in the same file. The signals that
// end it are blocked in every thread and taken synchronously by the main thread, so no handler
// races the reader.

#include "PortMode.h"

#include <signal.h>

#include <chrono>
#include <iostream>

#include "KlfLog.h"
#include "PacketJson.h"
#include "link/ComRouter.h"
#include "link/PortName.h"
#include "link/Rs232.h"
#include "link/Usb.h"

namespace vireon {

namespace {

// Waits for a stop signal, the end of the duration, or a failed open.
void WaitForEnd(const TCom_Router& router, double duration, const sigset_t& stopSignals) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(duration));
  const timespec tick{0, 100 * 1000 * 1000};
  while (!router.OpenFailed.load()) {
    if (duration > 0 && Clock::now() >= end) return;
    if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) return;
  }
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
  std::unique_ptr<TKlfLogging> logging;
  if (!logFile.empty()) logging = std::make_unique<TKlfLogging>(session.Engine(), logFile);
  TCom_Router router(session.Engine(), usb, rs232);
  router.SetPacketHandler([&session](const PacketRecord& record) { session.Deliver(record); });
  router.SetLinkHandler([&router](TCom_Router::TLinkChange change, const std::string& reason) {
    if (change == TCom_Router::TLinkChange::Lost)
      std::cerr << "vireon-decode: link lost on " << router.PortText() << ": " << reason
                << std::endl;
    else
      std::cerr << "vireon-decode: link restored on " << router.PortText() << std::endl;
  });
  router.Start();
  WaitForEnd(router, duration, stopSignals);
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
