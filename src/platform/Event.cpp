#include "platform/Event.h"

#include <algorithm>
#include <chrono>

namespace vireon {

void Event::Set() {
  // Already set: every waiter has been woken. The plain load spares the locked exchange.
  if (Signalled || Signalled.exchange(true)) return;
  if (Sleepers == 0 && WaiterCount == 0) return;
  {
    // Taking the lock waits out a waiter between its flag check and its sleep, and keeps a
    // WaitAny registration alive while it is notified (RemoveWaiter needs the lock too).
    // WaitAny checks flags without our lock, so holding both cannot deadlock.
    std::lock_guard lock(M);
    for (Waiter* w : Waiters) {
      std::lock_guard waiterLock(w->M);
      w->Cv.notify_all();
    }
  }
  Cv.notify_all();
}

bool Event::Wait(int ms) {
  std::unique_lock lock(M);
  ++Sleepers;
  bool set = Cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Signalled.load(); });
  --Sleepers;
  return set;
}

void Event::AddWaiter(Waiter* w) {
  std::lock_guard lock(M);
  Waiters.push_back(w);
  ++WaiterCount;
}

void Event::RemoveWaiter(Waiter* w) {
  std::lock_guard lock(M);
  Waiters.erase(std::remove(Waiters.begin(), Waiters.end(), w), Waiters.end());
  --WaiterCount;
}

int WaitAny(std::initializer_list<Event*> events, int ms) {
  Event::Waiter waiter;
  for (Event* e : events) e->AddWaiter(&waiter);
  int found = -1;
  auto firstSet = [&] {
    int i = 0;
    for (Event* e : events) {
      if (e->IsSet()) {
        found = i;
        return true;
      }
      ++i;
    }
    return false;
  };
  {
    std::unique_lock lock(waiter.M);
    waiter.Cv.wait_for(lock, std::chrono::milliseconds(ms), firstSet);
  }
  for (Event* e : events) e->RemoveWaiter(&waiter);
  return found;
}

}  // namespace vireon
