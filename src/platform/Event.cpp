#include "platform/Event.h"

#include <algorithm>
#include <chrono>

namespace vireon {

void Event::Set() {
  if (Signalled) return;  // already set: every waiter has been woken
  std::vector<Waiter*> waiters;
  {
    std::lock_guard lock(M);
    Signalled = true;
    waiters = Waiters;
  }
  Cv.notify_all();
  // Notified outside our own lock: WaitAny takes its waiter lock first, then ours.
  for (Waiter* w : waiters) {
    std::lock_guard lock(w->M);
    w->Cv.notify_all();
  }
}

void Event::Reset() {
  if (!Signalled) return;
  std::lock_guard lock(M);
  Signalled = false;
}

bool Event::IsSet() const {
  return Signalled;
}

bool Event::Wait(int ms) {
  std::unique_lock lock(M);
  return Cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Signalled.load(); });
}

void Event::AddWaiter(Waiter* w) {
  std::lock_guard lock(M);
  Waiters.push_back(w);
}

void Event::RemoveWaiter(Waiter* w) {
  std::lock_guard lock(M);
  Waiters.erase(std::remove(Waiters.begin(), Waiters.end(), w), Waiters.end());
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
