#pragma once
// Manual-reset event between threads, and a wait on several of them.
// Set wakes every waiter and stays set until Reset; the thread that waits resets it after the
// work the event announced.

#include <atomic>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace vireon {

class Event {
 public:
  Event() = default;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  // Clearing cannot make a waiter miss a Set, so it needs no lock and no full fence: the release
  // orders the waiter's reads of what the Set announced before the setter's next writes.
  void Reset() {
    if (Signalled.load(std::memory_order_relaxed))
      Signalled.store(false, std::memory_order_release);
  }
  // For a waiter that clears the event before it reads what the Sets announced, so that what
  // arrives during its work sets the event again. The fence orders the clearing before those
  // reads; the setter fences between its writes and its Set.
  void Consume() {
    Signalled.store(false, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_seq_cst);
  }
  bool IsSet() const { return Signalled; }
  // True when the event is (or becomes) set within ms milliseconds.
  bool Wait(int ms);

 private:
  friend int WaitAny(std::initializer_list<Event*> events, int ms);
  struct Waiter {
    std::mutex M;
    std::condition_variable Cv;
  };
  void AddWaiter(Waiter* w);
  void RemoveWaiter(Waiter* w);

  mutable std::mutex M;
  std::condition_variable Cv;
  // Written under M; read without it by IsSet, which the engine calls for every packet.
  std::atomic<bool> Signalled{false};
  // Threads inside Wait and WaitAny registrations. Set stores the flag, then reads these; a
  // waiter counts itself, then reads the flag (all sequentially consistent), so either Set sees
  // the waiter and notifies under M, or the waiter sees the flag. An unwatched Set takes no lock.
  std::atomic<int> Sleepers{0};
  std::atomic<int> WaiterCount{0};
  std::vector<Waiter*> Waiters;
};

// Index of the first signalled event in the list's order, or -1 after ms milliseconds.
int WaitAny(std::initializer_list<Event*> events, int ms);

}  // namespace vireon
