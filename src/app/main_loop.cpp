// main_loop.cpp -- the main loop: frame pacing, the fixed simulation steps
// with their input events, the control channels, and the race frame step.
#include "app/app.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "common/settings.h"
#include "physics/physics.h"
#include "physics/control.h"
#include "physics/rider.h"
#include "physics/roost.h"
#include "race/race.h"
#include "track/track.h"
#include "platform/platform.h"

// ---------------------------------------------------------------- control bindings

namespace {

constexpr ControlBinding DEFAULT_BINDINGS[BINDING_COUNT] = {
    {"Left", CH_STEER, +1},
    {"Right", CH_STEER, -1},
    {"Throttle", CH_THROTTLE, +1},
    {"Front Brake", CH_FRONT_BRAKE, +1},
    {"Rear Brake", CH_REAR_BRAKE, +1},
    {"Upshift", CH_SHIFT, +1},
    {"Downshift", CH_SHIFT, -1},
    {"Clutch", CH_CLUTCH_LEVER, +1},
    {"Sit/Dab", CH_SIT_DAB, +1},
    {"Back up", CH_BACK_UP, +1},
    {"Lean Forward", CH_LEAN, -1},
    {"Lean Backward", CH_LEAN, +1},
};

std::array<ControlBinding, BINDING_COUNT> g_bindings;

}  // namespace

std::array<ControlBinding, BINDING_COUNT>& control_bindings() { return g_bindings; }

void control_bindings_reset() {
  std::copy(std::begin(DEFAULT_BINDINGS), std::end(DEFAULT_BINDINGS), g_bindings.begin());
}

ControlChannels channels_from_bindings(const std::array<ControlBinding, BINDING_COUNT>& bindings,
                                       const float* axis_values) {
  ControlChannels ch;
  for (int i = 0; i < BINDING_COUNT; i++) {
    const ControlBinding& b = bindings[i];
    float v = b.value;
    if (b.axis >= 0 && axis_values) {
      v = (axis_values[i] / 32768.0f - b.axis_min) / (b.axis_max - b.axis_min);
      v = std::clamp(v, 0.0f, 1.0f);
    }
    ch.value[b.channel] += b.sign * v;
  }
  return ch;
}

AppliedControls controls_from_channels(const ControlChannels& ch, bool reverse_steering,
                                       bool sticky_dab, float current_clutch,
                                       ControlMemory& memory) {
  const float* c = ch.value;
  AppliedControls a{};
  a.steer = reverse_steering ? -c[CH_STEER] : c[CH_STEER];
  a.front_brake = c[CH_FRONT_BRAKE];
  a.rear_brake = c[CH_REAR_BRAKE];
  a.throttle = c[CH_THROTTLE];
  if (sticky_dab) {
    if (memory.previous_dab_channel < 0.5f && c[CH_SIT_DAB] >= 0.5f)
      memory.held_dab = memory.held_dab > 0 ? 0.0f : 1.0f;
    a.dab = memory.held_dab;
  } else {
    a.dab = c[CH_SIT_DAB];
  }
  memory.previous_dab_channel = c[CH_SIT_DAB];
  a.back_up = c[CH_BACK_UP];
  a.lean = c[CH_LEAN];
  // The clutch engages at most 4 units a second but releases at once.
  a.clutch = std::clamp(1.0f - c[CH_CLUTCH_LEVER] * 8.0f / 7.0f, 0.0f, 1.0f);
  if (a.clutch > current_clutch) a.clutch = current_clutch + 4.0f * (float)SIM_STEP;
  a.shift = c[CH_SHIFT] > 0.5f ? 1 : c[CH_SHIFT] < -0.5f ? -1 : 0;
  return a;
}

// ---------------------------------------------------------------- time advance

double pacing_sleep(double elapsed, const PacingSettings& s) {
  if (s.lock_fps > 0) return elapsed < 1.0 / s.lock_fps ? 1.0 / s.lock_fps - elapsed : 0;
  if (s.warp) return 0;
  return elapsed < SIM_STEP ? SIM_STEP - elapsed : 0;
}

double pacing_advance(double elapsed, const PacingSettings& s) {
  double advance;
  if (s.lock_fps > 0)
    advance = 1.0 / s.lock_fps;
  else if (s.warp)
    advance = 100 * SIM_STEP;
  else
    advance = std::min(elapsed, 0.125);  // a slow frame never catches up more than 16 steps
  if (s.online) advance *= catch_up_factor(s);
  return advance;
}

double catch_up_factor(const PacingSettings& s) {
  double behind = (s.server_tick - s.race_tick - 1) * SIM_STEP;  // s
  if (behind < 0) return 0.5 + 0.5 * std::clamp(behind + 1, 0.0, 1.0);
  if (s.race_tick >= s.start_tick) return 1 + 0.125 * std::clamp(8 * behind, 0.0, 1.0);
  return 1 + 3 * std::clamp(behind, 0.0, 1.0);
}

// ---------------------------------------------------------------- main loop

void apply_controls(Rider* r, const AppliedControls& a) {
  set_steer(r, a.steer);
  set_front_brake(r, a.front_brake);
  set_rear_brake(r, a.rear_brake);
  set_throttle(r, a.throttle);
  set_dab(r, a.dab);
  set_back_up(r, a.back_up);
  set_lean(r, a.lean);
  set_clutch(r, a.clutch);
  shift(r, a.shift);
}

namespace {

// The rider the player's controls drive: the viewed slot's, when it is local.
Rider* player_rider() {
  int slot = race_viewed_slot();
  const RaceState& rs = race_state();
  if (slot < 0 || slot >= RACE_SLOTS || rs.slot_kind[slot] != SLOT_LOCAL) return nullptr;
  return rs.riders[slot];
}

MainLoopState g_loop;

void sleep_seconds(double seconds) {
  // Rounded up to whole milliseconds: the clock has no finer grain, and a
  // sleep rounded down could leave the frame short of a step forever.
  int ms = (int)std::ceil(seconds * 1000.0);
  sleep_for(ms / 1000, ms % 1000 * 1000);
}

// Returns the real time of this frame.
double advance_time() {
  LoopClock& c = g_loop.clock;
  for (;;) {
    double now = clock_seconds();
    double elapsed = now - c.last_frame;
    double sleep = pacing_sleep(elapsed, g_loop.pacing);
    if (sleep > 0) {
      sleep_seconds(sleep);
      if (g_loop.pacing.lock_fps <= 0) continue;
      now = clock_seconds();
      elapsed = now - c.last_frame;
    }
    c.shortest = std::min(c.shortest, elapsed);
    c.longest = std::max(c.longest, elapsed);
    double advance = pacing_advance(elapsed, g_loop.pacing);
    c.last_frame = now;
    c.target += advance;
    c.display += advance;
    return now;
  }
}

void refresh_view() {
  // Without a track there is only the title screen.
  if (track_current().track_name.empty())
    g_loop.view = VIEW_TITLE;
  else if (g_loop.view == VIEW_TITLE)
    g_loop.view = VIEW_RIDER;
}

int next_view(int view) {
  switch (view) {
    case VIEW_RIDER: return game_settings().editor_enabled ? VIEW_EDITOR : VIEW_CHASE;
    case VIEW_EDITOR: return VIEW_CHASE;  // the editor's pending changes are applied here
    case VIEW_CHASE: return VIEW_FREE;
    case VIEW_FREE: return VIEW_RIDER;
    default: return view;
  }
}

void handle_event(int code, float value, int& remembered_page) {
  MainLoopState& L = g_loop;
  bool pressed = value > 0;
  if (L.menu_page != remembered_page) {
    remembered_page = L.menu_page;
    L.menu_page_changed = true;
  }
  for (ControlBinding& b : g_bindings)
    if (b.key_code != NO_KEY && b.key_code == code) b.value = pressed ? 1.0f : 0.0f;
  if (code == KEY_MOUSE_LEFT) L.mouse_held = pressed;
  // Binding capture ("Watching pots") arrives with the menus.
  if (pressed && code == L.key_esc) {
    // The menus' own handling of the press arrives with the menu system.
    L.menu_page = L.menu_page < 0 ? 0 : -1;
    return;
  }
  if (L.menu_page >= 0) return;  // presses go to the menu handler; releases are dropped
  // The chat line and the editor's keys arrive with their subsystems.
  if (L.view == VIEW_TITLE) return;
  if (!pressed) return;
  bool online = L.pacing.online;
  if (code == L.key_pause && !online) L.paused = !L.paused;
  if (code == L.key_step && L.paused) frame_step();
  if (code == '\t') L.view = next_view(L.view);
  // Demo seeking, bike switching and screenshots arrive with their subsystems.
}

void to_seconds(double t, int* s, int* us) {
  double whole = std::floor(t);
  *s = (int)whole;
  *us = (int)((t - whole) * 1e6);
}

void simulation_step(double now) {
  MainLoopState& L = g_loop;
  LoopClock& c = L.clock;
  c.simulated += SIM_STEP;
  double step_time = now - (c.target - c.simulated);
  int remembered_page = L.menu_page;

  int code;
  float value;
  int s, us;
  to_seconds(step_time, &s, &us);
  // Events belong to the step whose real time they fall in, so input timing
  // does not depend on the frame rate.
  while (step_time >= now ? next_event(&code, &value) : next_event_before(s, us, &code, &value))
    handle_event(code, value, remembered_page);

  // Axis bindings are read once input devices exist.
  L.channels = channels_from_bindings(g_bindings, nullptr);
  if (L.step_observer) L.step_observer(L);

  bool offline = !L.pacing.online;
  bool viewed_local = L.view != VIEW_TITLE;  // until rider slots exist, the player's rider is viewed
  if (L.menu_page >= 0 && viewed_local && offline) return;  // the race stands still behind the menu
  if (L.menu_page < 0 && L.view != VIEW_TITLE && L.view != VIEW_EDITOR) {
    Rider* player = player_rider();
    L.applied = controls_from_channels(L.channels, false, false,
                                       player ? rider_clutch(player) : L.applied.clutch,
                                       L.control_memory);
    if (player) apply_controls(player, L.applied);
  }
  if (!offline) L.paused = false;
  // The network pump (client_pump) arrives with the client protocol.
  refresh_view();
  if (L.paused || L.view == VIEW_TITLE) return;
  frame_step();
}

}  // namespace

MainLoopState& main_loop() { return g_loop; }

void main_loop_reset(double now) {
  g_loop = MainLoopState{};
  g_loop.clock.last_frame = now;
  g_loop.clock.target = now;
  g_loop.clock.simulated = now;
  g_loop.applied.clutch = 1;
  const StartupSettings& ss = startup_settings();
  g_loop.pacing.lock_fps = ss.lock_fps;
  g_loop.pacing.warp = ss.warp;
}

void main_loop_pass() {
  refresh_view();
  // Drawing (scene, HUD, menus) and the engine sound arrive with the window,
  // renderer and sound subsystems.
  double now = advance_time();
  g_loop.menu_page_changed = false;
  while (g_loop.clock.simulated < g_loop.clock.target) simulation_step(now);
  // Warp's race restart arrives with race loading; terrain uploads with the renderer.
  messages_advance(g_loop.clock.display);
}

void run_main_loop() {
  while (!g_loop.quit) main_loop_pass();
}

// ---------------------------------------------------------------- race frame step

namespace {

FrameStepTimes g_times;
bool g_profiling = false;

double now_seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Adds the time since the last mark to one phase, when profiling.
struct PhaseClock {
  double mark = g_profiling ? now_seconds() : 0;
  void to(double& phase) {
    if (!g_profiling) return;
    double t = now_seconds();
    phase += t - mark;
    mark = t;
  }
};

// The riders of the slots, in slot order, that contact is generated for here.
int contact_riders(Rider** out, bool online) {
  RaceState& rs = race_state();
  int k = 0;
  for (int slot = 0; slot < RACE_SLOTS; slot++) {
    Rider* r = rs.riders[slot];
    if (!r) continue;
    if (online ? rs.slot_kind[slot] != SLOT_LOCAL : rs.slot_kind[slot] == SLOT_REMOTE) continue;
    out[k++] = r;
  }
  return k;
}

}  // namespace

void frame_step_profile(bool on) {
  g_profiling = on;
  g_times = FrameStepTimes{};
}

const FrameStepTimes& frame_step_times() { return g_times; }

void frame_step() {
  RaceState& rs = race_state();
  bool online = rs.online;
  PhaseClock clock;
  // 1. Online riders brought to this tick arrive with the client protocol.
  // 2. A time trial remembers the laps of the player and the ghost.
  int player_laps = rs.riders[0] ? laps_completed(rs.riders[0]) : 0;
  int ghost_laps = rs.riders[1] ? laps_completed(rs.riders[1]) : 0;
  // 3. Ground and object contacts, then every pair of riders, fastest first.
  Rider* riders[RACE_SLOTS];
  int n = contact_riders(riders, online);
  for (int i = 0; i < n; i++) {
    ground_contacts(riders[i]);
    object_contacts(riders[i]);
  }
  std::stable_sort(riders, riders + n,
                   [](const Rider* a, const Rider* b) { return compare_rider_speed(a, b) < 0; });
  // Online, the player meets the remote riders once the network exists.
  if (!online) rider_contacts_all(riders, n, false);
  clock.to(g_times.contacts);
  // 4. Roost emission from every rider, in rotating order.
  Rider* present[RACE_SLOTS];
  bool local[RACE_SLOTS];
  int k = 0;
  for (int slot = 0; slot < RACE_SLOTS; slot++)
    if (rs.riders[slot]) {
      present[k] = rs.riders[slot];
      local[k++] = rs.slot_kind[slot] != SLOT_REMOTE;
    }
  emit_roost_all(present, local, k);
  clock.to(g_times.roost);
  // 5-7. The world step (remote riders keep their velocities once online riders exist).
  physics_step();
  clock.to(g_times.world_step);
  // 8. Per slot: robot driving (robot riders), the false-start rule, the
  //    rider's own forces, and checkpoint crossing.
  for (int slot = 0; slot < RACE_SLOTS; slot++) {
    Rider* r = rs.riders[slot];
    if (!r) continue;
    SlotKind kind = rs.slot_kind[slot];
    if (online && kind == SLOT_REMOTE) disable_rider(r);
    if (online && kind == SLOT_LOCAL) apply_false_start_rule(r);
    rider_step(r, kind != SLOT_REMOTE);
    if (!online || kind == SLOT_LOCAL) check_gates(r);
  }
  clock.to(g_times.riders);
  // 9. Roost flight and the starting gate.
  step_roost();
  animate_starting_gate();
  // 10.
  race_advance_tick();
  physics_set_race_tick(rs.race_tick);
  // 11. Demo recording and playback: demos.
  // 12. Time-trial laps (the lap and fastest-lap demos arrive with demos).
  if (rs.time_trial) {
    if (rs.riders[1] && laps_completed(rs.riders[1]) != ghost_laps) time_trial_ghost_lap(rs.riders[1]);
    if (rs.riders[0] && laps_completed(rs.riders[0]) != player_laps) time_trial_player_lap(rs.riders[0]);
  }
  clock.to(g_times.other);
  g_times.steps++;
}
