// common.h -- types and helpers every subsystem shares: the fixed step,
// vectors, rotations, quaternions, growable lists, the message list and the
// race's random numbers.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

// The fixed simulation step. Race times are integer ticks of it.
inline constexpr double SIM_STEP = 1.0 / 128.0;  // s

// Seconds to whole ticks, truncating as race times do.
inline int seconds_to_ticks(double seconds) { return (int)(seconds / SIM_STEP); }

// ---------------------------------------------------------------- vectors

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(float s, Vec3 a) { return a * s; }
inline Vec3& operator+=(Vec3& a, Vec3 b) { return a = a + b; }
inline Vec3& operator-=(Vec3& a, Vec3 b) { return a = a - b; }
inline Vec3& operator*=(Vec3& a, float s) { return a = a * s; }
inline float vec3_dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 vec3_cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float vec3_length(Vec3 a) { return std::sqrt(vec3_dot(a, a)); }
// Unit vector along a; the zero vector stays zero rather than becoming NaN.
inline Vec3 vec3_normalize(Vec3 a) {
  float len = vec3_length(a);
  return len > 0 ? a * (1.0f / len) : Vec3{};
}

// ---------------------------------------------------------------- rotations

// A 3 x 3 rotation stored by rows, as ODE's 3 x 4 rows without the fourth
// column. Column k is the body's k-th axis in world space.
struct Mat3 {
  float m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

inline Vec3 mat3_mul(const Mat3& r, Vec3 v) {
  return {r.m[0][0] * v.x + r.m[0][1] * v.y + r.m[0][2] * v.z,
          r.m[1][0] * v.x + r.m[1][1] * v.y + r.m[1][2] * v.z,
          r.m[2][0] * v.x + r.m[2][1] * v.y + r.m[2][2] * v.z};
}
// Transpose times v: world to body for a rotation.
inline Vec3 mat3_mul_transposed(const Mat3& r, Vec3 v) {
  return {r.m[0][0] * v.x + r.m[1][0] * v.y + r.m[2][0] * v.z,
          r.m[0][1] * v.x + r.m[1][1] * v.y + r.m[2][1] * v.z,
          r.m[0][2] * v.x + r.m[1][2] * v.y + r.m[2][2] * v.z};
}
Mat3 mat3_multiply(const Mat3& a, const Mat3& b);
Mat3 mat3_transpose(const Mat3& a);
inline Vec3 mat3_column(const Mat3& r, int k) { return {r.m[0][k], r.m[1][k], r.m[2][k]}; }
// Rotation by angle (radians, right-handed) about a unit axis.
Mat3 mat3_axis_angle(Vec3 axis, float angle);

// ---------------------------------------------------------------- quaternions

// Unit quaternion in (w, x, y, z) order, as ODE and the frame record use.
struct Quat {
  float w = 1, x = 0, y = 0, z = 0;
};

Quat quat_multiply(Quat a, Quat b);
Quat quat_normalize(Quat q);
Quat quat_from_axis_angle(Vec3 axis, float angle);
Mat3 quat_to_mat3(Quat q);
Quat mat3_to_quat(const Mat3& r);
// Spherical interpolation along the shorter arc; t in 0..1.
Quat quat_slerp(Quat a, Quat b, float t);

// ---------------------------------------------------------------- growable lists

// Out of memory is fatal everywhere; the application installs the handler
// (the "Error" / "Out of virtual memory" box). Lists and loaders call this.
[[noreturn]] void fatal_out_of_memory();

// A growable list of plain records: capacity starts at 16 and doubles when full.
template <class T>
struct GrowList {
  T* data = nullptr;
  int capacity = 0;
  int count = 0;

  GrowList() = default;
  GrowList(const GrowList&) = delete;
  GrowList& operator=(const GrowList&) = delete;
  GrowList(GrowList&& o) noexcept { *this = std::move(o); }
  GrowList& operator=(GrowList&& o) noexcept {
    if (this != &o) {
      clear_and_free();
      data = std::exchange(o.data, nullptr);
      capacity = std::exchange(o.capacity, 0);
      count = std::exchange(o.count, 0);
    }
    return *this;
  }
  ~GrowList() { clear_and_free(); }

  T& operator[](int i) { return data[i]; }
  const T& operator[](int i) const { return data[i]; }
  T* begin() { return data; }
  T* end() { return data + count; }
  const T* begin() const { return data; }
  const T* end() const { return data + count; }

  T& push(const T& value) {
    if (count == capacity) grow(capacity ? capacity * 2 : 16);
    return *new (&data[count++]) T(value);
  }
  // Removes element i by moving the last one into its place (order not kept).
  void remove_swap(int i) {
    data[i] = std::move(data[count - 1]);
    data[--count].~T();
  }
  void clear() {
    for (int i = 0; i < count; i++) data[i].~T();
    count = 0;
  }
  void clear_and_free() {
    clear();
    ::operator delete(data);
    data = nullptr;
    capacity = 0;
  }

 private:
  void grow(int new_capacity) {
    T* fresh = static_cast<T*>(::operator new(sizeof(T) * (size_t)new_capacity, std::nothrow));
    if (!fresh) fatal_out_of_memory();
    for (int i = 0; i < count; i++) {
      new (&fresh[i]) T(std::move(data[i]));
      data[i].~T();
    }
    ::operator delete(data);
    data = fresh;
    capacity = new_capacity;
  }
};

// ---------------------------------------------------------------- message list

inline constexpr int MESSAGE_LINES = 1000;
inline constexpr int MESSAGE_LENGTH = 128;  // bytes per line, NUL included
inline constexpr int MESSAGES_SHOWN = 5;

// Empties the ring (start-up, step 3).
void messages_clear();
// Appends a line (cut to 127 characters), shows one more line (up to 5) and
// keeps the list visible for 2 s. Messages the player must see go here.
void add_message(const char* text);
// Called once a frame with the elapsed display time (s): drives the
// visibility rules, hiding one line per 5 s once the list's time has passed.
void messages_advance(double display_time);
// The i-th newest line, i = 0 newest; lines never written are "".
const char* message_line(int i);
// How many of the newest lines are shown now (0..5).
int messages_shown();

// ---------------------------------------------------------------- random numbers

// The race's one MT19937 generator; seeded with race_tick at each race load.
void random_seed(uint32_t seed);
uint32_t random_next();

// ---------------------------------------------------------------- fatal path

// The application installs what the fatal path does (close audio and window,
// show the box, exit). Until it does, out of memory prints and exits with 1.
using FatalHandler = void (*)(const char* title, const char* text);
void set_fatal_handler(FatalHandler handler);
