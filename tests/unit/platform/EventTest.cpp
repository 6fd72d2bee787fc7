#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vireon {
namespace {

TEST(Event, StaysSetUntilResetAndWakesEveryWaiter) {
  Event e;
  EXPECT_FALSE(e.Wait(1));
  std::thread a([&] { EXPECT_TRUE(e.Wait(5000)); });
  std::thread b([&] { EXPECT_TRUE(e.Wait(5000)); });
  e.Set();
  a.join();
  b.join();
  EXPECT_TRUE(e.IsSet());
  e.Reset();
  EXPECT_FALSE(e.IsSet());
}

TEST(WaitAny, ReportsTheFirstSignalledInListOrder) {
  Event status, clock;
  clock.Set();
  EXPECT_EQ(WaitAny({&status, &clock}, 10), 1);
  status.Set();
  EXPECT_EQ(WaitAny({&status, &clock}, 10), 0);
  status.Reset();
  clock.Reset();
  EXPECT_EQ(WaitAny({&status, &clock}, 10), -1);
}

TEST(WaitAny, WakesWhenAnotherThreadSetsAnEvent) {
  Event a, b;
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    b.Set();
  });
  EXPECT_EQ(WaitAny({&a, &b}, 5000), 1);
  setter.join();
}

// A WaitAny that returns while Set is notifying it must not leave Set touching its registration
// (AddressSanitizer reports it if it does), and no Set may be lost to a waiter going to sleep.
TEST(WaitAny, SetsRacingWaitsThatComeAndGoAreSafeAndNeverLost) {
  Event a, b;
  std::atomic<bool> done{false};
  std::thread setter([&] {
    while (!done) {
      b.Set();
      b.Reset();
      a.Set();
      a.Reset();
    }
  });
  for (int i = 0; i < 20000; ++i) WaitAny({&a, &b}, 0);
  done = true;
  setter.join();

  for (int i = 0; i < 200; ++i) {
    a.Reset();
    std::thread late([&] { a.Set(); });
    EXPECT_EQ(WaitAny({&b, &a}, 10000), 1);
    EXPECT_TRUE(a.Wait(10000));
    late.join();
  }
}

}  // namespace
}  // namespace vireon
