// Version, the per-thread random generator, float and angle helpers and the
// rectangle set operations with their stream output.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <ostream>

#include "qvr3d/core.h"

namespace {

const QVRVersion kVersion = {0, 20, 0};
thread_local uint32_t t_randomState = 1;

unsigned NextRaw() {
  t_randomState = t_randomState * 1103515245u + 12345u;
  return (t_randomState >> 16) & 0x7FFF;
}

// Overlap length on one axis: min of the right edges (as a signed 16-bit
// value) minus the max of the left edges; negative counts as 0.
int Overlap(int a, int aSize, int b, int bSize) {
  int right = static_cast<int16_t>(std::min(a + aSize, b + bSize));
  int overlap = right - std::max(a, b);
  return overlap < 0 ? 0 : overlap;
}

}  // namespace

namespace QVR {

const QVRVersion* Versionv() { return &kVersion; }
int Versioni() { return kVersion.major * 10000 + kVersion.minor * 100 + kVersion.patch; }
const char* Versiont() { return "0.20.0"; }

void RandomInit(unsigned seed) {
  t_randomState = seed ? seed : static_cast<uint32_t>(std::time(nullptr));
}
unsigned Randomi() { return NextRaw(); }
unsigned Randomi(unsigned n) {
  return static_cast<unsigned>((static_cast<uint64_t>(NextRaw()) * n) >> 15);
}
float Randomf() { return static_cast<float>(NextRaw()) / 32768.0f; }
float Randomf(float max) { return (static_cast<float>(NextRaw()) / 32768.0f) * max; }

bool Equalf(float a, float b, float epsilon) {
  float d = a - b;
  return -epsilon < d && d < epsilon;
}
bool Equald(double a, double b, double epsilon) {
  double d = a - b;
  return -epsilon < d && d < epsilon;
}

float Angle2PI(float angle) {
  // The stepwise loops below never end for infinities and take too long for
  // huge magnitudes, so those are reduced first; NaN passes through.
  if (std::isnan(angle)) return angle;
  if (std::isinf(angle)) return 0.0f;
  if (std::fabs(angle) > 360.0f * 4096.0f) angle = std::fmod(angle, 360.0f);
  while (angle < 0.0f) angle += 360.0f;
  while (angle > 360.0f) angle -= 360.0f;
  return angle;
}

float VectorAngle(float x1, float y1, float x2, float y2) {
  const float tolerance = 0.0001f;
  float dx = x2 - x1;
  float dy = y2 - y1;
  if (-tolerance < dx && dx < tolerance) return y2 >= y1 ? 90.0f : 270.0f;
  if (-tolerance < dy && dy < tolerance) return x2 >= x1 ? 0.0f : 180.0f;
  float a = static_cast<float>(std::atan(dy / dx) * 57.29578f);
  a = std::fabs(a);
  if (x1 < x2) return y1 < y2 ? a : 360.0f - a;
  return y1 < y2 ? 180.0f - a : 180.0f + a;
}

float AngleDiff(float from, float to) {
  float d = to - from;
  if (d < -180.0f)
    d += 360.0f;
  else if (d > 180.0f)
    d -= 360.0f;
  return d;
}

}  // namespace QVR

bool QVRRect::IsIntersect(const QVRRect& other) const {
  return Overlap(x, static_cast<int16_t>(w), other.x, static_cast<int16_t>(other.w)) != 0 &&
         Overlap(y, static_cast<int16_t>(h), other.y, static_cast<int16_t>(other.h)) != 0;
}

QVRRect QVRRect::Union(const QVRRect& other) const {
  int left = std::min<int>(x, other.x);
  int top = std::min<int>(y, other.y);
  int right = std::max(x + static_cast<int16_t>(w), other.x + static_cast<int16_t>(other.w));
  int bottom = std::max(y + static_cast<int16_t>(h), other.y + static_cast<int16_t>(other.h));
  return QVRRect{static_cast<int16_t>(left), static_cast<int16_t>(top),
                 static_cast<uint16_t>(right - left), static_cast<uint16_t>(bottom - top)};
}

QVRRect QVRRect::Intersection(const QVRRect& other) const {
  int left = std::max<int>(x, other.x);
  int top = std::max<int>(y, other.y);
  int width = Overlap(x, static_cast<int16_t>(w), other.x, static_cast<int16_t>(other.w));
  int height = Overlap(y, static_cast<int16_t>(h), other.y, static_cast<int16_t>(other.h));
  return QVRRect{static_cast<int16_t>(left), static_cast<int16_t>(top),
                 static_cast<uint16_t>(width), static_cast<uint16_t>(height)};
}

void QVRRect::Intersect(const QVRRect& other) { *this = Intersection(other); }

std::ostream& operator<<(std::ostream& os, const QVRPoint& p) {
  return os << "(" << p.x << ", " << p.y << ")";
}
std::ostream& operator<<(std::ostream& os, const QVRRect& r) {
  return os << "(" << r.x << ", " << r.y << ") " << r.w << " x " << r.h;
}
std::ostream& operator<<(std::ostream& os, const QVRVec3& v) {
  return os << "(" << static_cast<double>(v.x) << ", " << static_cast<double>(v.y) << ", "
            << static_cast<double>(v.z) << ")";
}
