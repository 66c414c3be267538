// Log, version, random numbers, float and angle helpers, and the small
// geometry value types shared by the whole library.
#ifndef QVR3D_CORE_H
#define QVR3D_CORE_H

#include <cstdint>
#include <ostream>

#include "qvr3d/export.h"

/// Library version: major, minor, patch.
struct QVRVersion {
  uint8_t major;
  uint8_t minor;
  uint8_t patch;
};

namespace QVR {

/// The constant version record {0, 20, 0}.
QVR_API const QVRVersion* Versionv();
/// The version as one number: major * 10000 + minor * 100 + patch (2000).
QVR_API int Versioni();
/// The version as text, "0.20.0".
QVR_API const char* Versiont();

// ---- Log -----------------------------------------------------------------
// Messages are printf formats carrying their own line end; they are written
// unchanged to the log stream and flushed one by one.

enum : unsigned { LOG_ERR = 1, LOG_WARN = 10, LOG_LOG = 100, LOG_DBG = 200 };

/// Sets the highest level printed; values above 255 are stored as 255.
QVR_API void SetLogLevel(unsigned level);
QVR_API unsigned GetLogLevel();
/// Chooses the destination: 0 standard output, 1 standard error, 2 the file
/// `name` (emptied). Any other number means 0. Returns false (and falls back
/// to standard output) when the file cannot be opened or `name` is null.
QVR_API bool SetLogTarget(unsigned target, const char* name);
QVR_API unsigned GetLogTarget();
/// Closes a file target and returns to standard output; no-op for 0 and 1.
QVR_API void CloseLog();

/// Prints at a chosen level (1..255); level 0 never prints.
QVR_API void LOGL(unsigned level, const char* format, ...) QVR_PRINTF(2, 3);
QVR_API void ERR(const char* format, ...) QVR_PRINTF(1, 2);
QVR_API void WARN(const char* format, ...) QVR_PRINTF(1, 2);
QVR_API void LOG(const char* format, ...) QVR_PRINTF(1, 2);
QVR_API void DBG(const char* format, ...) QVR_PRINTF(1, 2);

// ---- Random numbers (32-bit LCG, one state per thread) --------------------

/// Seeds the calling thread's generator; 0 seeds with the current time.
QVR_API void RandomInit(unsigned seed);
/// Next raw value, 0..32767.
QVR_API unsigned Randomi();
/// floor(r * n / 32768): 0..n-1, and 0 when n is 0.
QVR_API unsigned Randomi(unsigned n);
/// r / 32768, in [0, 1).
QVR_API float Randomf();
/// (r / 32768) * max.
QVR_API float Randomf(float max);

// ---- Numeric helpers (angles in degrees) ---------------------------------

/// True when -epsilon < a - b < epsilon.
QVR_API bool Equalf(float a, float b, float epsilon);
QVR_API bool Equald(double a, double b, double epsilon);
/// Brings an angle into 0..360 (360 stays 360).
QVR_API float Angle2PI(float angle);
/// Direction of (x1,y1)->(x2,y2), counter-clockwise from +x, y up, 0..360.
QVR_API float VectorAngle(float x1, float y1, float x2, float y2);
/// to - from, corrected once into -180..180.
QVR_API float AngleDiff(float from, float to);

}  // namespace QVR

struct QVR_API QVRPoint {
  int16_t x;
  int16_t y;
};

/// A rectangle; right and bottom edges (x + w, y + h) are exclusive.
struct QVR_API QVRRect {
  int16_t x;
  int16_t y;
  uint16_t w;
  uint16_t h;

  /// True when the overlap has both a non-zero width and height.
  bool IsIntersect(const QVRRect& other) const;
  /// Bounding rectangle of both (empty rectangles count by position).
  QVRRect Union(const QVRRect& other) const;
  /// The overlap; a negative size becomes 0 while the position stays.
  QVRRect Intersection(const QVRRect& other) const;
  /// Replaces this rectangle with Intersection(other).
  void Intersect(const QVRRect& other);
};

struct QVRVec3 {
  float x;
  float y;
  float z;
};

/// "(x, y)"
QVR_API std::ostream& operator<<(std::ostream& os, const QVRPoint& p);
/// "(x, y) w x h"
QVR_API std::ostream& operator<<(std::ostream& os, const QVRRect& r);
/// "(x, y, z)"
QVR_API std::ostream& operator<<(std::ostream& os, const QVRVec3& v);

#endif
