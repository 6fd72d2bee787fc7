#pragma once
// The communications thread: opens the chosen transport, asks the instrument for its serial
// number, then polls the transport, feeds every byte to the framer and hands each complete
// packet to the engine's Dispatch, in arrival order, on this thread.
//
// Error policy: a failed open leaves "Could not open <port>" as the status text and ends the
// thread; failed reads pause up to 100 ms (on the serial port the pause ends when bytes arrive)
// and are retried, never reported. Frames go out whole, one at a time, under SendMutex, from
// any thread; a failed or short write is reported to the caller as false.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "link/Packet.h"
#include "link/Rs232.h"
#include "link/Usb.h"
#include "model/Engine.h"
#include "model/EngineHost.h"
#include "platform/Event.h"
#include "platform/Worker.h"

namespace vireon {

class TCom_Router : public Worker, public TPacketSender {
 public:
  // Registers itself as the engine's sender; Start() runs the thread.
  TCom_Router(TEngine& engine, TUSB& usb, TRS232& rs232);
  ~TCom_Router() override;

  // Opens the transport of the engine's LinkMode and sets the status text.
  bool Connect();
  bool SendFrame(const PacketRecord& record);
  bool WriteBytes(const uint8_t* bytes, int n) override;

  // Name of the chosen port as the user knows it: "USB", "COM3:" or a device path.
  std::string PortText() const;

  // Replaces the engine's Dispatch for tools that watch each packet (they dispatch it
  // themselves). Set before Start.
  using TPacketHandler = std::function<void(const PacketRecord&)>;
  void SetPacketHandler(TPacketHandler handler) { Handler = std::move(handler); }

  // Set when Connect failed and the thread has ended.
  std::atomic<bool> OpenFailed{false};

  Event CommEvent;  // never set: the pause after a failed read
  std::mutex SendMutex;

 protected:
  void Execute() override;

 private:
  void ReadLoop();
  int16_t Poll(uint8_t* buffer);
  void PauseAfterFailedRead();

  TEngine& Engine;
  TUSB& Usb;
  TRS232& Rs232;
  TPacketHandler Handler;

 public:
  // Owned by the thread; read them only after it has been joined.
  TPacket Framer;
  uint64_t BytesRead = 0;
};

}  // namespace vireon
