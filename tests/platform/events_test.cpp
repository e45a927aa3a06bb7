// events_test.cpp -- the event queue and the scripted clock.
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

TEST(EventQueue, TakesByTimeStampAndDropsBeyond256) {
  events_clear();
  post_event(KEY_SCAN_BASE + 30, true, 5, 0);
  post_event(KEY_SCAN_BASE + 30, false, 5, 500000);
  int code;
  float value;
  EXPECT_FALSE(next_event_before(4, 999000, &code, &value));
  ASSERT_TRUE(next_event_before(5, 0, &code, &value));  // "at or before"
  EXPECT_EQ(code, KEY_SCAN_BASE + 30);
  EXPECT_EQ(value, 1.0f);
  EXPECT_FALSE(next_event_before(5, 499999, &code, &value));
  ASSERT_TRUE(next_event(&code, &value));
  EXPECT_EQ(value, 0.0f);  // the release, bit 31 cleared from the code
  EXPECT_EQ(code, KEY_SCAN_BASE + 30);
  EXPECT_FALSE(next_event(&code, &value));

  for (int i = 0; i < EVENT_QUEUE_SIZE + 1; i++) post_event(i, true, 0, 0);
  int taken = 0, last = -1;
  while (next_event(&code, &value)) {
    last = code;
    taken++;
  }
  EXPECT_EQ(taken, EVENT_QUEUE_SIZE);
  EXPECT_EQ(last, EVENT_QUEUE_SIZE - 1);  // the 257th press was lost
}

TEST(HeadlessClock, SleepingAdvancesTheScriptedClock) {
  headless_start(10000);
  int s, us;
  clock_now(&s, &us);
  EXPECT_EQ(s, 10);
  EXPECT_EQ(us, 0);
  sleep_for(0, 7000);
  EXPECT_EQ(clock_ms(), 10007u);
  headless_advance_ms(1234);
  clock_now(&s, &us);
  EXPECT_EQ(s, 11);
  EXPECT_EQ(us, 241000);
  headless_stop();
}

TEST(RealClock, SleepWaitsAtLeastTheTime) {
  uint32_t start = clock_ms();
  sleep_for(0, 20000);
  EXPECT_GE(clock_ms() - start, 20u);
}

}  // namespace
