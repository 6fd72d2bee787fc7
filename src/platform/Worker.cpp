#include "platform/Worker.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace vireon {

namespace {
std::atomic<UiDispatcher*> Dispatcher{nullptr};

// Shared between the waiting worker and the posted call, which may outlive the wait.
struct UiCall {
  std::mutex M;
  std::condition_variable Cv;
  bool Done = false;
  bool Abandoned = false;
  std::function<void()> Fn;
};
}  // namespace

void SetUiDispatcher(UiDispatcher* dispatcher) {
  Dispatcher.store(dispatcher);
}
UiDispatcher* GetUiDispatcher() {
  return Dispatcher.load();
}

Worker::~Worker() {
  RequestStop();
  Join();
}

void Worker::Start() {
  Thread = std::thread([this] { Execute(); });
}

void Worker::RequestStop() {
  StopRequested.store(true);
}

void Worker::Join() {
  if (Thread.joinable() && Thread.get_id() != std::this_thread::get_id()) Thread.join();
}

bool Worker::RunOnUiThread(const std::function<void()>& fn) {
  return RunOnUiThreadAndWait(fn, StopRequested);
}

bool RunOnUiThreadAndWait(const std::function<void()>& fn, const std::atomic<bool>& stop) {
  UiDispatcher* d = Dispatcher.load();
  if (d == nullptr || d->IsUiThread()) {
    fn();
    return true;
  }
  auto call = std::make_shared<UiCall>();
  call->Fn = fn;
  d->Post([call] {
    {
      std::unique_lock lock(call->M);
      if (call->Abandoned) return;
      // Run under the lock so the worker cannot abandon the call half way through.
      call->Fn();
      call->Done = true;
    }
    // After unlocking: a worker woken under the lock would only sleep again on it.
    call->Cv.notify_all();
  });
  std::unique_lock lock(call->M);
  while (!call->Done) {
    if (stop.load()) {
      call->Abandoned = true;
      return false;
    }
    call->Cv.wait_for(lock, std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace vireon
