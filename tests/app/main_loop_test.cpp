// main_loop_test.cpp -- frame pacing, events per step and the control channels,
// driven through the headless clock.
#include "app/app.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/settings.h"
#include "platform/platform.h"
#include "race/race.h"
#include "track/track.h"

namespace {

TEST(Pacing, AdvanceRules) {
  struct Case {
    const char* what;
    double elapsed;
    PacingSettings s;
    double sleep, advance;
  } cases[] = {
      {"slow frame caps at 16 steps", 0.5, {}, 0, 0.125},
      {"normal frame", 0.02, {}, 0, 0.02},
      {"short frame sleeps out the step", 0.002, {}, SIM_STEP - 0.002, 0.002},
      {"lock-fps 50 sleeps then advances exactly", 0.005, {50}, 0.015, 0.02},
      {"lock-fps 50 after a slow frame", 0.3, {50}, 0, 0.02},
      {"warp runs 100 steps without sleeping", 0.001, {0, true}, 0, 100 * SIM_STEP},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(pacing_sleep(c.elapsed, c.s), c.sleep, 1e-12) << c.what;
    EXPECT_NEAR(pacing_advance(c.elapsed, c.s), c.advance, 1e-12) << c.what;
  }
}

TEST(Pacing, OnlineCatchUp) {
  const int half_second = 64;  // ticks
  struct Case {
    const char* what;
    int server_tick, race_tick, start_tick;
    double factor;
  } cases[] = {
      {"0.5 s behind in the race", 1000 + half_second + 1, 1000, 500, 1.125},
      {"0.5 s behind before the start", 100 + half_second + 1, 100, 500, 2.5},
      {"0.5 s ahead", 1000 - half_second + 1, 1000, 500, 0.75},
      {"just behind", 1001, 1000, 500, 1.0},
      {"far ahead", 0, 1000, 500, 0.5},
  };
  for (const Case& c : cases) {
    PacingSettings s{0, false, true, c.server_tick, c.race_tick, c.start_tick};
    EXPECT_NEAR(catch_up_factor(s), c.factor, 1e-12) << c.what;
    EXPECT_NEAR(pacing_advance(0.1, s), 0.1 * c.factor, 1e-12) << c.what;
  }
}

class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_reset();
    control_bindings_reset();
    events_clear();
    headless_start(100000);
    race_reset();
    main_loop_reset(clock_seconds());
    track_current().track_name = "a track";  // the views need one; nothing is loaded
    control_bindings()[2].key_code = KEY_SCAN_BASE + 30;  // "Throttle" on A
    control_bindings()[0].key_code = KEY_SCAN_BASE + 31;  // "Left" on S
  }
  void TearDown() override {
    track_current().track_name.clear();
    headless_stop();
  }
  // Posts at ms milliseconds after the loop's start.
  void post(int code, bool pressed, int ms) {
    uint32_t t = 100000 + (uint32_t)ms;
    post_event(code, pressed, (int)(t / 1000), (int)(t % 1000) * 1000);
  }
};

TEST_F(LoopTest, SlowFrameRunsSixteenSteps) {
  headless_advance_ms(500);
  main_loop_pass();
  EXPECT_EQ(race_state().race_tick, 16);
}

TEST_F(LoopTest, LockFpsAdvancesExactlyOneFrame) {
  main_loop().pacing.lock_fps = 32;  // 4 steps a frame whatever the real time
  headless_advance_ms(3);
  main_loop_pass();
  EXPECT_EQ(race_state().race_tick, 4);
  EXPECT_EQ(clock_ms(), 100000u + 32);  // slept out the frame
  headless_advance_ms(400);
  main_loop_pass();
  EXPECT_EQ(race_state().race_tick, 8);
}

TEST_F(LoopTest, ShortFrameSleepsInsteadOfSpinning) {
  headless_advance_ms(1);
  main_loop_pass();
  EXPECT_EQ(clock_ms(), 100000u + 8);  // slept out the rest of a step
  EXPECT_NEAR(main_loop().clock.shortest, 0.008, 1e-9);
  // Steps run until the simulation clock has caught up with the target.
  const LoopClock& c = main_loop().clock;
  EXPECT_GE(c.simulated, c.target);
  EXPECT_LT(c.simulated - c.target, SIM_STEP);
  EXPECT_EQ(race_state().race_tick, 2);
}

TEST_F(LoopTest, PressAndReleaseInsideOneStepGiveTheLastValue) {
  main_loop().pacing.lock_fps = 128;  // exactly one step a frame
  post(KEY_SCAN_BASE + 30, true, 1);
  post(KEY_SCAN_BASE + 30, false, 3);
  headless_advance_ms(8);
  main_loop_pass();
  EXPECT_EQ(race_state().race_tick, 1);
  EXPECT_EQ(main_loop().channels.value[CH_THROTTLE], 0.0f);
}

TEST_F(LoopTest, EventsWaitForTheStepTheyFallIn) {
  // One 125 ms frame runs 16 steps of 7.8125 ms; the press at 50 ms belongs
  // to step 7 and the release at 120 ms to step 16, the last one.
  main_loop().pacing.lock_fps = 8;
  post(KEY_SCAN_BASE + 31, true, 50);
  post(KEY_SCAN_BASE + 31, false, 120);
  post(KEY_SCAN_BASE + 30, true, 124);
  static std::vector<float> steer_by_step;
  steer_by_step.clear();
  main_loop().step_observer = [](const MainLoopState& L) {
    steer_by_step.push_back(L.channels.value[CH_STEER]);
  };
  headless_advance_ms(125);
  main_loop_pass();
  EXPECT_EQ(race_state().race_tick, 16);
  std::vector<float> expected(16, 0.0f);
  for (int step = 7; step <= 15; step++) expected[step - 1] = 1.0f;
  EXPECT_EQ(steer_by_step, expected);
  EXPECT_EQ(main_loop().channels.value[CH_STEER], 0.0f);
  EXPECT_EQ(main_loop().channels.value[CH_THROTTLE], 1.0f);

  // Held across a frame: the next frame's steps all see it.
  post(KEY_SCAN_BASE + 31, true, 126);
  headless_advance_ms(125);
  main_loop_pass();
  EXPECT_EQ(race_state().race_tick, 32);
  EXPECT_EQ(main_loop().channels.value[CH_STEER], 1.0f);
}

TEST_F(LoopTest, PauseHoldsTheRaceAndStepAdvancesOne) {
  MainLoopState& L = main_loop();
  L.key_pause = KEY_SCAN_BASE + 69;
  L.key_step = KEY_SCAN_BASE + 0x14D;
  post(L.key_pause, true, 1);
  headless_advance_ms(100);
  main_loop_pass();
  int paused_at = race_state().race_tick;
  EXPECT_TRUE(L.paused);
  EXPECT_LE(paused_at, 1);
  post(L.key_step, true, 110);
  headless_advance_ms(100);
  main_loop_pass();
  EXPECT_EQ(race_state().race_tick, paused_at + 1);
  // Online, "Pause" does nothing.
  L.paused = false;
  L.pacing.online = true;
  L.pacing.server_tick = race_state().race_tick + 1;
  post(L.key_pause, true, 210);
  headless_advance_ms(100);
  main_loop_pass();
  EXPECT_FALSE(L.paused);
}

TEST_F(LoopTest, TabCyclesViewsAndEscOpensTheMenu) {
  MainLoopState& L = main_loop();
  L.key_esc = KEY_SCAN_BASE + 1;
  headless_advance_ms(8);
  main_loop_pass();
  EXPECT_EQ(L.view, VIEW_RIDER);
  int expected[] = {VIEW_CHASE, VIEW_FREE, VIEW_RIDER};
  int ms = 8;
  for (int view : expected) {
    post('\t', true, ms + 1);
    ms += 8;
    headless_advance_ms(8);
    main_loop_pass();
    EXPECT_EQ(L.view, view);
  }
  game_settings().editor_enabled = true;
  post('\t', true, ms + 1);
  headless_advance_ms(8);
  main_loop_pass();
  EXPECT_EQ(L.view, VIEW_EDITOR);
  ms += 8;

  // With the menu open offline the race stands still.
  post(L.key_esc, true, ms + 1);
  headless_advance_ms(100);
  main_loop_pass();
  EXPECT_EQ(L.menu_page, 0);
  int held = race_state().race_tick;
  headless_advance_ms(100);
  main_loop_pass();
  EXPECT_EQ(race_state().race_tick, held);
}

TEST(Controls, ChannelsSumSignedBindings) {
  control_bindings_reset();
  auto& b = control_bindings();
  b[0].value = 1;  // Left
  b[1].value = 1;  // Right cancels it
  b[5].value = 1;  // Upshift
  b[10].value = 1; // Lean Forward
  ControlChannels ch = channels_from_bindings(b, nullptr);
  EXPECT_EQ(ch.value[CH_STEER], 0.0f);
  EXPECT_EQ(ch.value[CH_SHIFT], 1.0f);
  EXPECT_EQ(ch.value[CH_LEAN], -1.0f);
  // An axis maps its range onto 0..1.
  b[2].axis = 0;
  float axes[BINDING_COUNT] = {};
  axes[2] = 0.5f * 32768;
  ch = channels_from_bindings(b, axes);
  EXPECT_NEAR(ch.value[CH_THROTTLE], (0.5f - 0.0625f) / 0.875f, 1e-6f);
}

TEST(Controls, ClutchEngagesSlowlyAndReleasesAtOnce) {
  ControlMemory mem;
  ControlChannels ch;
  ch.value[CH_CLUTCH_LEVER] = 1;  // lever pulled: released at once
  EXPECT_EQ(controls_from_channels(ch, false, false, 1.0f, mem).clutch, 0.0f);
  ch.value[CH_CLUTCH_LEVER] = 0;
  EXPECT_FLOAT_EQ(controls_from_channels(ch, false, false, 0.0f, mem).clutch, 4.0f / 128);
  ch.value[CH_CLUTCH_LEVER] = 0.4375f;  // 1 - 0.4375 * 8/7 = 0.5
  EXPECT_FLOAT_EQ(controls_from_channels(ch, false, false, 0.9f, mem).clutch, 0.5f);
}

TEST(Controls, ShiftThresholdsReverseSteeringAndStickyDab) {
  ControlMemory mem;
  ControlChannels ch;
  ch.value[CH_SHIFT] = 0.6f;
  ch.value[CH_STEER] = 0.3f;
  AppliedControls a = controls_from_channels(ch, true, false, 1, mem);
  EXPECT_EQ(a.shift, 1);
  EXPECT_FLOAT_EQ(a.steer, -0.3f);
  ch.value[CH_SHIFT] = -0.4f;
  EXPECT_EQ(controls_from_channels(ch, false, false, 1, mem).shift, 0);
  ch.value[CH_SHIFT] = -0.6f;
  EXPECT_EQ(controls_from_channels(ch, false, false, 1, mem).shift, -1);

  // Sticky dab toggles on each rise through 0.5 and holds in between.
  float presses[] = {0, 1, 1, 0, 0.7f, 0, 0.2f};
  float held[] = {0, 1, 1, 1, 0, 0, 0};
  ControlMemory sticky;
  for (int i = 0; i < 7; i++) {
    ControlChannels c;
    c.value[CH_SIT_DAB] = presses[i];
    EXPECT_EQ(controls_from_channels(c, false, true, 1, sticky).dab, held[i]) << i;
  }
}

}  // namespace
