// rider_race.h -- the race fields of a rider: checkpoint progress and its
// crossing times, the finish flag, the slow state, race number and bike key.
#pragma once

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "common/common.h"

// Crossing ticks by gate index, -1 for a gate that was skipped. Capacity
// starts at 16 and doubles. Copies are deep so that a Rider stays a record
// that can be copied whole (demo rewinds, tests).
struct GateTimes {
  int* data = nullptr;
  int length = 0;
  int capacity = 0;

  GateTimes() = default;
  GateTimes(const GateTimes& o) { *this = o; }
  GateTimes(GateTimes&& o) noexcept { *this = std::move(o); }
  GateTimes& operator=(const GateTimes& o) {
    if (this == &o) return *this;
    length = 0;
    if (o.length > capacity && !grow(o.capacity)) fatal_out_of_memory();
    if (o.length > 0) std::memcpy(data, o.data, sizeof(int) * (size_t)o.length);
    length = o.length;
    return *this;
  }
  GateTimes& operator=(GateTimes&& o) noexcept {
    if (this != &o) {
      ::operator delete(data);
      data = std::exchange(o.data, nullptr);
      length = std::exchange(o.length, 0);
      capacity = std::exchange(o.capacity, 0);
    }
    return *this;
  }
  ~GateTimes() { ::operator delete(data); }

  // The tick of gate i; -1 when it was skipped or lies outside the array.
  int at(int i) const { return i >= 0 && i < length ? data[i] : -1; }

  // Stores tick at gate i, filling any gap before it with -1. False when the
  // array could not grow; the gate then simply reads as skipped.
  bool set(int i, int tick) {
    if (i < 0) return false;
    if (i >= capacity) {
      int want = capacity ? capacity : 16;
      while (want <= i) {
        if (want > (1 << 29)) return false;
        want *= 2;
      }
      if (!grow(want)) return false;
    }
    while (length <= i) data[length++] = -1;
    data[i] = tick;
    return true;
  }

  // Forgets every gate from n on.
  void truncate(int n) {
    if (n < 0) n = 0;
    if (n < length) length = n;
  }

 private:
  bool grow(int new_capacity) {
    int* fresh = static_cast<int*>(::operator new(sizeof(int) * (size_t)new_capacity, std::nothrow));
    if (!fresh) return false;
    if (length > 0) std::memcpy(fresh, data, sizeof(int) * (size_t)length);
    ::operator delete(data);
    data = fresh;
    capacity = new_capacity;
    return true;
  }
};

struct RiderRace {
  int gate_count = 0;       // gate indices passed; the next to cross has this index
  GateTimes gate_times;     // may be longer than gate_count after riding back over gates
  bool finished = false;    // has taken the chequered flag
  int slow_state = 0;       // 0 normal; 2 after a slow spell, until the next crossing
  std::string number_text;  // race number as shown, "20".."99" for robots
  std::string bike_key;     // printed in the results' "Bike" column
};
