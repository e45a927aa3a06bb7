// race_internal.h -- what the race-control files share among themselves.
#pragma once

#include "race/race.h"

// The loaded track's checkpoints and lap lists.
inline const TrackTiming& race_timing() { return track_current().timing; }

// Orders a standings list: more gates first, then the earlier last
// crossing, then the lower slot.
void standings_sort(Standings* list);
// A standings row for the rider in slot.
StandingEntry standing_of(int slot);
// Final order with penalties, the results file when its leader has
// finished, then results_final and the series. update_standings calls it
// once everybody is through.
void race_finalize();
