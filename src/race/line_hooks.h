// line_hooks.h -- where race control hands the robots' line store what it
// sees: samples of each tick, crossings, slow spells and finishes.
#pragma once

struct Rider;

// Each tick of check_gates for a rider that has not finished.
void record_line_sample(Rider* r);
// At every crossing, before gate_count moves; offset is the crossing's
// place relative to the gate expected next (-3, -2, 0, 1 or 2).
void gate_crossed_lines(Rider* r, int offset);
// When the rider's slow_state has just become 1.
void slow_event_lines(Rider* r);
// When the rider has just taken the chequered flag.
void rider_finished_lines(Rider* r);
