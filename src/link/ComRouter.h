#pragma once
// The communications thread: opens the chosen transport, asks the instrument for its serial
// number, then polls the transport, feeds every byte to the framer and hands each complete
// packet to the engine's Dispatch, in arrival order, on this thread.
//
// Error policy: a failed first open leaves "Could not open <port>: <reason>" as the status text;
// it ends the thread, unless the owner asked to wait for the port (the logger, the unattended
// decoder): then it is retried about once a second like a lost link. Failed reads pause up to
// 100 ms (on the serial port the pause ends when bytes arrive) and are retried. A lost link
// (hang-up, device gone) closes the transport, shows "Connection lost: <port>" and reopens the
// same port about once a second; once it is back the framer starts afresh, "Connected via ..."
// returns and the serial number is asked for again. Another port chosen meanwhile (SwitchPort)
// closes the current one and is opened the same way. A link that stays open but silent for 5 s
// says so in the status text. Frames go out whole, one at a time, under SendMutex, from any
// thread; a failed or short write is reported as false.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "link/Packet.h"
#include "link/PortName.h"
#include "link/Rs232.h"
#include "link/Usb.h"
#include "model/Engine.h"
#include "model/EngineHost.h"
#include "platform/Event.h"
#include "platform/Worker.h"

namespace vireon {

class TCom_Router : public Worker, public TPacketSender {
 public:
  using Clock = std::chrono::steady_clock;

  // Registers itself as the engine's sender; Start() runs the thread.
  TCom_Router(TEngine& engine, TUSB& usb, TRS232& rs232);
  ~TCom_Router() override;

  // Opens the transport of the engine's LinkMode and sets the status text.
  bool Connect();
  bool SendFrame(const PacketRecord& record);
  bool WriteBytes(const uint8_t* bytes, int n) override;

  // Name of the chosen port as the user knows it: "USB", "COM3:" or a device path.
  std::string PortText() const;
  // Why the last open failed or the link was lost.
  std::string LinkError() const;
  // "Could not open <port>: <reason>".
  std::string OpenFailureText() const;

  // Replaces the engine's Dispatch for tools that watch each packet (they dispatch it
  // themselves). Set before Start.
  using TPacketHandler = std::function<void(const PacketRecord&)>;
  void SetPacketHandler(TPacketHandler handler) { Handler = std::move(handler); }
  // Called on the communications thread once the packets of a block read have been handed on.
  void SetBlockHandler(std::function<void()> handler) { BlockHandler = std::move(handler); }
  // Told, on this thread, when the port could not be opened and is waited for, when the link is
  // lost (both with the reason) and when it is open again.
  enum class TLinkChange { Waiting, Lost, Restored };
  using TLinkHandler = std::function<void(TLinkChange change, const std::string& reason)>;
  void SetLinkHandler(TLinkHandler handler) { LinkHandler = std::move(handler); }

  // Set before Start: a failed first open is retried instead of ending the thread.
  void SetWaitForPort(bool wait) { WaitForPort = wait; }
  // From any thread: closes the current port and opens this one instead, on this thread.
  void SwitchPort(const TPortChoice& choice);

  // Set when the first open failed and the thread has ended.
  std::atomic<bool> OpenFailed{false};

  Event CommEvent;  // never set: the pause after a failed read and between reopen attempts
  std::mutex SendMutex;

 protected:
  void Execute() override;

 private:
  bool UsesUsb() const;
  bool OpenTransport();
  void CloseTransport();
  std::string ConnectedText() const;
  int16_t Poll(uint8_t* buffer);
  // False when the pause found the line hung up.
  bool PauseAfterFailedRead();
  enum class TEnd { Stopped, Lost, Switched };
  // Reads until a stop, a lost link or another port chosen.
  TEnd ReadLoop();
  // On an empty poll: the silent-link text and, once a second, whether the device is still there.
  // True when it is gone.
  bool CheckIdleLink(Clock::time_point now);
  void DataArrived();
  // Opens the chosen port about once a second until it opens (true) or a stop (false); another
  // port chosen meanwhile is taken up at once. The status text says the link was lost, or that
  // the port cannot be opened and is waited for.
  bool OpenWhenThere(bool lost);
  // The link is down: the status shows it, and the receiver graphs redraw their last levels as
  // stale.
  void MarkLinkDown();
  // The waiting text of a port that cannot be opened.
  std::string WaitingText() const;
  // Takes up a port chosen by SwitchPort, with the transports closed.
  void TakeSwitch();
  void Tell(TLinkChange change, const std::string& reason);

  TEngine& Engine;
  TUSB& Usb;
  TRS232& Rs232;
  TPacketHandler Handler;
  std::function<void()> BlockHandler;
  TLinkHandler LinkHandler;
  bool WaitForPort = false;
  std::atomic<bool> SwitchPending{false};
  std::mutex SwitchMutex;
  TPortChoice Switch;  // under SwitchMutex
  Clock::time_point LastData;
  Clock::time_point NextNodeCheck;
  int SilentSeconds = 0;  // shown in the status text; 0 while data flow

 public:
  // Owned by the thread; read them only after it has been joined.
  TPacket Framer;
  uint64_t BytesRead = 0;
};

}  // namespace vireon
