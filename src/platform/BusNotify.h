#pragma once
// Emits an argument-less signal on the session bus. Connecting is lazy: without a bus (no address
// in the environment, no bus socket in the user's runtime folder) the send is skipped silently and
// the next send tries to connect again, so the logger keeps running whether or not a desktop bus
// exists. Safe to use from one worker thread.

#include <string>

namespace vireon {

class BusNotify {
 public:
  BusNotify(std::string path, std::string interface, std::string name);
  BusNotify(const BusNotify&) = delete;
  BusNotify& operator=(const BusNotify&) = delete;
  ~BusNotify();

  // True when the signal was handed to the bus.
  bool Send();
  int ConnectCount() const { return Connects; }
  int SentCount() const { return Sent; }

 private:
  bool Connect();

  std::string Path, Interface, Name;
  std::string ConnectionName;
  bool Connected = false;
  int Connects = 0;
  int Sent = 0;
};

}  // namespace vireon
