#include "platform/Event.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vireon
