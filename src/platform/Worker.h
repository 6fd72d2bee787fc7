#pragma once
// Worker threads: a std::thread with an atomic stop flag, and a blocking call that runs a
// routine on the user-interface thread.
//
// RunOnUiThread hands the routine to the dispatcher the application installed and waits until it
// has run. Once the worker is asked to stop, the wait gives up and the routine is dropped unrun,
// so the UI thread can join a worker that is waiting for it without deadlocking. Without an
// installed dispatcher (tools, core tests) and on the UI thread itself the routine runs inline.

#include <atomic>
#include <functional>
#include <thread>

namespace vireon {

class UiDispatcher {
 public:
  virtual ~UiDispatcher() = default;
  // Queue fn to run on the UI thread; never blocks.
  virtual void Post(std::function<void()> fn) = 0;
  virtual bool IsUiThread() const = 0;
};

// The application installs its dispatcher once at start-up, before any worker starts.
void SetUiDispatcher(UiDispatcher* dispatcher);
UiDispatcher* GetUiDispatcher();

// Runs fn on the UI thread and waits for it, from any thread; inline on the UI thread or without
// a dispatcher. Gives up, dropping fn unrun, once stop is set. False when dropped.
bool RunOnUiThreadAndWait(const std::function<void()>& fn, const std::atomic<bool>& stop);

class Worker {
 public:
  Worker() = default;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  virtual ~Worker();  // requests a stop and joins

  void Start();
  // Only sets the flag; the body notices it at its next wait.
  void RequestStop();
  void Join();
  bool Running() const { return Thread.joinable(); }

  std::atomic<bool> StopRequested{false};

 protected:
  virtual void Execute() = 0;
  // Runs fn on the UI thread and waits for it. False when it was dropped because of a stop.
  bool RunOnUiThread(const std::function<void()>& fn);

 private:
  std::thread Thread;
};

}  // namespace vireon
