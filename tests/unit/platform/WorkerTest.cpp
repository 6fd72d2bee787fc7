#include "platform/Worker.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>

#include "platform/Event.h"

namespace vireon {
namespace {

// A UI thread stand-in: posted calls queue up until the test serves them.
class QueueDispatcher : public UiDispatcher {
 public:
  void Post(std::function<void()> fn) override {
    std::lock_guard lock(M);
    Calls.push_back(std::move(fn));
  }
  bool IsUiThread() const override { return std::this_thread::get_id() == Ui; }
  bool ServeOne() {
    std::function<void()> fn;
    {
      std::lock_guard lock(M);
      if (Calls.empty()) return false;
      fn = std::move(Calls.front());
      Calls.pop_front();
    }
    fn();
    return true;
  }
  std::thread::id Ui = std::this_thread::get_id();

 private:
  std::mutex M;
  std::deque<std::function<void()>> Calls;
};

class CallingWorker : public Worker {
 public:
  std::atomic<int> Ran{0};
  std::atomic<int> Dropped{0};
  Event Called;

 protected:
  void Execute() override {
    if (RunOnUiThread([this] { ++Ran; }))
      Called.Set();
    else
      ++Dropped;
  }
};

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override { SetUiDispatcher(&Dispatcher); }
  void TearDown() override { SetUiDispatcher(nullptr); }
  QueueDispatcher Dispatcher;
};

TEST_F(WorkerTest, RunOnUiThreadWaitsForTheUiThreadToRunTheCall) {
  CallingWorker w;
  w.Start();
  while (!Dispatcher.ServeOne()) std::this_thread::yield();
  EXPECT_TRUE(w.Called.Wait(5000));
  w.Join();
  EXPECT_EQ(w.Ran, 1);
}

TEST_F(WorkerTest, StoppingAWorkerBlockedOnTheUiThreadDropsTheCallUnrun) {
  CallingWorker w;
  w.Start();
  w.RequestStop();
  w.Join();  // must not deadlock although the UI thread never served the call
  EXPECT_EQ(w.Dropped, 1);
  while (Dispatcher.ServeOne()) {
  }
  EXPECT_EQ(w.Ran, 0);
}

TEST(Worker, RunsInlineWithoutADispatcher) {
  CallingWorker w;
  w.Start();
  EXPECT_TRUE(w.Called.Wait(5000));
  w.Join();
  EXPECT_EQ(w.Ran, 1);
}

}  // namespace
}  // namespace vireon
