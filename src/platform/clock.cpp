// clock.cpp -- the millisecond clock, sleeping, the event queue and the
// scripted clock of the headless back end.
#include "platform/platform.h"

#include <sched.h>
#include <time.h>

#include <mutex>

// ---------------------------------------------------------------- clock

namespace {

struct Headless {
  bool active = false;
  uint32_t now_ms = 0;
};

Headless g_headless;

uint32_t real_clock_ms() {
  timespec ts;
  // CLOCK_BOOTTIME counts from system start and, unlike CLOCK_MONOTONIC,
  // keeps counting through suspend, as the log's "time since start" should.
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return (uint32_t)((uint64_t)ts.tv_sec * 1000 + (uint64_t)ts.tv_nsec / 1000000);
}

}  // namespace

uint32_t clock_ms() { return g_headless.active ? g_headless.now_ms : real_clock_ms(); }

void clock_now(int* seconds, int* microseconds) {
  uint32_t ms = clock_ms();
  *seconds = (int)(ms / 1000);
  *microseconds = (int)(ms % 1000) * 1000;
}

void sleep_for(int seconds, int microseconds) {
  uint32_t start = clock_ms();
  uint32_t duration = (uint32_t)seconds * 1000 + (uint32_t)microseconds / 1000;
  if (g_headless.active) {
    g_headless.now_ms = start + duration;
    return;
  }
  uint32_t coarse = duration > 1 ? duration - 1 : duration;
  timespec ts{(time_t)(coarse / 1000), (long)(coarse % 1000) * 1000000};
  nanosleep(&ts, nullptr);
  while (clock_ms() - start < duration) sched_yield();
}

void headless_start(uint32_t start_ms) {
  g_headless.active = true;
  g_headless.now_ms = start_ms;
}
void headless_stop() { g_headless = Headless{}; }
bool headless_active() { return g_headless.active; }
void headless_set_ms(uint32_t ms) { g_headless.now_ms = ms; }
void headless_advance_ms(uint32_t ms) { g_headless.now_ms += ms; }

// ---------------------------------------------------------------- event queue

namespace {

struct QueuedEvent {
  uint32_t code;  // bit 31 set for a release
  int seconds;
  int microseconds;
};

struct EventQueue {
  std::mutex lock;  // the window's message thread may post while the loop reads
  QueuedEvent ring[EVENT_QUEUE_SIZE];
  int head = 0;  // oldest
  int count = 0;
};

EventQueue g_events;

bool stamped_at_or_before(const QueuedEvent& e, int seconds, int microseconds) {
  return e.seconds < seconds || (e.seconds == seconds && e.microseconds <= microseconds);
}

bool take(bool any_time, int seconds, int microseconds, int* code, float* value) {
  std::lock_guard<std::mutex> guard(g_events.lock);
  if (g_events.count == 0) return false;
  const QueuedEvent& e = g_events.ring[g_events.head];
  if (!any_time && !stamped_at_or_before(e, seconds, microseconds)) return false;
  *code = (int)(e.code & 0x7fffffffu);
  *value = (e.code & 0x80000000u) ? 0.0f : 1.0f;
  g_events.head = (g_events.head + 1) % EVENT_QUEUE_SIZE;
  g_events.count--;
  return true;
}

}  // namespace

void post_event(int code, bool pressed, int seconds, int microseconds) {
  std::lock_guard<std::mutex> guard(g_events.lock);
  if (g_events.count == EVENT_QUEUE_SIZE) return;  // full: the event is lost
  int tail = (g_events.head + g_events.count) % EVENT_QUEUE_SIZE;
  g_events.ring[tail] = {(uint32_t)code | (pressed ? 0u : 0x80000000u), seconds, microseconds};
  g_events.count++;
}

bool next_event_before(int seconds, int microseconds, int* code, float* value) {
  return take(false, seconds, microseconds, code, value);
}

bool next_event(int* code, float* value) { return take(true, 0, 0, code, value); }

void events_clear() {
  std::lock_guard<std::mutex> guard(g_events.lock);
  g_events.head = 0;
  g_events.count = 0;
}
