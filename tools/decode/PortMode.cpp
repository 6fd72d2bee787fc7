// The live mode of vireon-decode: the logger's communications thread on a real port, with every
// dispatched packet printed as it arrives and, with a log, written to it. A lost link is said on
// stderr ("link lost", then "link restored") and the decoder carries on; its log goes on in the
// same file. With --wait an instrument that cannot be opened is waited for as a lost one. The
// signals that end it are blocked in every thread and taken synchronously by the main thread, so
// no handler races the reader.

#include "PortMode.h"

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "ExportOutput.h"
#include "PacketJson.h"
#include "link/ComRouter.h"
#include "link/PortName.h"
#include "link/Rs232.h"
#include "link/Usb.h"
#include "platform/CommandLine.h"

namespace vireon {

namespace {

using Clock = std::chrono::steady_clock;

// One line per change: the port that is waited for, a lost link, and the link open again ("link
// restored" after a loss, "connected to" when it opens for the first time).
void TellLinkChange(const TCom_Router& router, TCom_Router::TLinkChange change,
                    const std::string& reason, bool& wasLost) {
  switch (change) {
    case TCom_Router::TLinkChange::Waiting:
      std::cerr << "vireon-decode: waiting for " << router.PortText() << ": " << reason
                << std::endl;
      break;
    case TCom_Router::TLinkChange::Lost:
      std::cerr << "vireon-decode: link lost on " << router.PortText() << ": " << reason
                << std::endl;
      wasLost = true;
      break;
    case TCom_Router::TLinkChange::Restored:
      std::cerr << "vireon-decode: " << (wasLost ? "link restored on " : "connected to ")
                << router.PortText() << std::endl;
      break;
  }
}

// Waits, ticking the log, until the deadline passes, a stop signal arrives or the open failed.
void Serve(const TCom_Router& router, Clock::time_point deadline, const sigset_t& stopSignals,
           THeadlessLog* log) {
  const timespec tick{0, 50 * 1000 * 1000};
  while (!router.OpenFailed.load() && Clock::now() < deadline) {
    if (log != nullptr) log->Tick();
    if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) return;
  }
}

}  // namespace

int RunPortMode(const TPortOptions& options) {
  if (!options.Log.Dir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options.Log.Dir, error);
    if (error) {
      std::cerr << "vireon-decode: cannot make " << options.Log.Dir << ": " << error.message()
                << "\n";
      return kExitUsage;
    }
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  // The lines of each block read are written together as it is decoded: a live reader must not
  // wait for a full buffer, nor take a write per packet.
  TOutput out(STDOUT_FILENO);
  TDecodeSession session;
  if (options.Json)
    session.SetRecordHandler([&out](const PacketRecord& record, const TEngine& engine) {
      AppendPacketLine(out.Buffer(), record, engine);
    });
  TUSB usb;
  TRS232 rs232;
  ApplyPortChoice(ParsePortName(options.Port), session.Engine(), rs232, usb);
  TCom_Router router(session.Engine(), usb, rs232);
  router.SetWaitForPort(options.Wait);
  if (options.Json) router.SetBlockHandler([&out] { out.Flush(); });
  std::unique_ptr<THeadlessLog> log;
  if (!options.Log.File.empty() || !options.Log.Dir.empty())
    log = std::make_unique<THeadlessLog>(session.Engine(), session, options.Log);
  router.SetPacketHandler([&session, &log](const PacketRecord& record) {
    if (log)
      log->Packet(record);
    else
      session.Deliver(record);
  });
  bool wasLost = false;
  router.SetLinkHandler(
      [&router, &wasLost](TCom_Router::TLinkChange change, const std::string& reason) {
        TellLinkChange(router, change, reason, wasLost);
      });
  const Clock::time_point end =
      options.Duration > 0 ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(options.Duration))
                           : Clock::time_point::max();
  router.Start();
  Serve(router, end, stopSignals, log.get());
  router.RequestStop();
  router.Join();
  const bool logFailed = log && log->Failed();
  log.reset();

  if (router.OpenFailed.load()) {
    std::cerr << "vireon-decode: " << router.OpenFailureText() << "\n";
    return kExitUsage;
  }
  if (options.Summary) {
    AppendSummaryLine(out.Buffer(), session.PacketCount(), router.BytesRead,
                      router.Framer.BadChecksum, router.Framer.BadLength);
    out.Flush();
  }
  return logFailed ? kExitFailure : kExitOk;
}

}  // namespace vireon
