// common.cpp -- rotations, quaternions, the message ring, random numbers and
// the out-of-memory path.
#include "common/common.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

// ---------------------------------------------------------------- rotations

Mat3 mat3_multiply(const Mat3& a, const Mat3& b) {
  Mat3 r;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
  return r;
}

Mat3 mat3_transpose(const Mat3& a) {
  Mat3 r;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) r.m[i][j] = a.m[j][i];
  return r;
}

Mat3 mat3_axis_angle(Vec3 axis, float angle) {
  return quat_to_mat3(quat_from_axis_angle(axis, angle));
}

// ---------------------------------------------------------------- quaternions

Quat quat_multiply(Quat a, Quat b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
          a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
          a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

Quat quat_normalize(Quat q) {
  float len = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  if (len <= 0) return Quat{};
  float s = 1.0f / len;
  return {q.w * s, q.x * s, q.y * s, q.z * s};
}

Quat quat_from_axis_angle(Vec3 axis, float angle) {
  Vec3 u = vec3_normalize(axis);
  float s = std::sin(angle * 0.5f);
  return {std::cos(angle * 0.5f), u.x * s, u.y * s, u.z * s};
}

Mat3 quat_to_mat3(Quat q) {
  Mat3 r;
  float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
  float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
  r.m[0][0] = 1 - 2 * (yy + zz);
  r.m[0][1] = 2 * (xy - wz);
  r.m[0][2] = 2 * (xz + wy);
  r.m[1][0] = 2 * (xy + wz);
  r.m[1][1] = 1 - 2 * (xx + zz);
  r.m[1][2] = 2 * (yz - wx);
  r.m[2][0] = 2 * (xz - wy);
  r.m[2][1] = 2 * (yz + wx);
  r.m[2][2] = 1 - 2 * (xx + yy);
  return r;
}

// Shepperd's method: pick the largest diagonal term so the square root never
// sees a value near zero.
Quat mat3_to_quat(const Mat3& r) {
  const auto& m = r.m;
  float tr = m[0][0] + m[1][1] + m[2][2];
  Quat q;
  if (tr >= 0) {
    float s = std::sqrt(tr + 1) * 2;
    q = {0.25f * s, (m[2][1] - m[1][2]) / s, (m[0][2] - m[2][0]) / s, (m[1][0] - m[0][1]) / s};
  } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
    float s = std::sqrt(1 + m[0][0] - m[1][1] - m[2][2]) * 2;
    q = {(m[2][1] - m[1][2]) / s, 0.25f * s, (m[0][1] + m[1][0]) / s, (m[0][2] + m[2][0]) / s};
  } else if (m[1][1] > m[2][2]) {
    float s = std::sqrt(1 + m[1][1] - m[0][0] - m[2][2]) * 2;
    q = {(m[0][2] - m[2][0]) / s, (m[0][1] + m[1][0]) / s, 0.25f * s, (m[1][2] + m[2][1]) / s};
  } else {
    float s = std::sqrt(1 + m[2][2] - m[0][0] - m[1][1]) * 2;
    q = {(m[1][0] - m[0][1]) / s, (m[0][2] + m[2][0]) / s, (m[1][2] + m[2][1]) / s, 0.25f * s};
  }
  return quat_normalize(q);
}

Quat quat_slerp(Quat a, Quat b, float t) {
  float d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  if (d < 0) {  // q and -q are the same rotation; take the shorter way round
    b = {-b.w, -b.x, -b.y, -b.z};
    d = -d;
  }
  float wa, wb;
  if (d > 0.9995f) {  // nearly parallel: linear blend avoids dividing by sin ~ 0
    wa = 1 - t;
    wb = t;
  } else {
    float theta = std::acos(d);
    float s = std::sin(theta);
    wa = std::sin((1 - t) * theta) / s;
    wb = std::sin(t * theta) / s;
  }
  return quat_normalize({a.w * wa + b.w * wb, a.x * wa + b.x * wb, a.y * wa + b.y * wb,
                         a.z * wa + b.z * wb});
}

// ---------------------------------------------------------------- message list

namespace {

struct MessageList {
  char lines[MESSAGE_LINES][MESSAGE_LENGTH];
  int next;             // index the next line goes to
  int shown;            // newest lines shown, 0..5
  double visible_until; // display time, s
  double now;           // display time of the current frame, s
};

MessageList g_messages;

}  // namespace

void messages_clear() { g_messages = MessageList{}; }

void add_message(const char* text) {
  MessageList& m = g_messages;
  snprintf(m.lines[m.next], MESSAGE_LENGTH, "%s", text);
  m.next = (m.next + 1) % MESSAGE_LINES;
  m.shown = std::min(m.shown + 1, MESSAGES_SHOWN);
  m.visible_until = m.now + 2.0;
}

void messages_advance(double display_time) {
  MessageList& m = g_messages;
  m.now = display_time;
  if (m.shown > 0 && display_time > m.visible_until) {
    m.shown--;
    m.visible_until = display_time + 5.0;
  }
}

const char* message_line(int i) {
  if (i < 0 || i >= MESSAGE_LINES) return "";
  int index = ((g_messages.next - 1 - i) % MESSAGE_LINES + MESSAGE_LINES) % MESSAGE_LINES;
  return g_messages.lines[index];
}

int messages_shown() { return g_messages.shown; }

// ---------------------------------------------------------------- random numbers

namespace {
std::mt19937 g_random;  // std::mt19937 is exactly MT19937 with its tempering
}

void random_seed(uint32_t seed) { g_random.seed(seed); }
uint32_t random_next() { return (uint32_t)g_random(); }

// ---------------------------------------------------------------- fatal path

namespace {

void default_fatal(const char* title, const char* text) {
  fprintf(stderr, "%s: %s\n", title, text);
}

FatalHandler g_fatal = default_fatal;

}  // namespace

void set_fatal_handler(FatalHandler handler) { g_fatal = handler ? handler : default_fatal; }

void fatal_out_of_memory() {
  g_fatal("Error", "Out of virtual memory");
  std::_Exit(1);
}

