// QVRParse: static readers of values in text (strings, booleans, numbers,
// rectangles, "#" hex colours, dates), hex and colour-space conversions, and
// the small text utilities those readers share.
#ifndef QVR3D_PARSE_H
#define QVR3D_PARSE_H

#include "qvr3d/core.h"
#include "qvr3d/export.h"

/// Two calling styles. The cursor style takes a `char**`, returns bool and, on
/// success, moves the cursor past the value and one "," right after it; on
/// failure the cursor stays put. The pointer style takes a `const char*` and
/// returns the position just after the value (no comma skipping), or null.
///
///   char* p = line;                       // "10,20,640,480 #FF8000"
///   QVRRect r;  unsigned char rgba[4];
///   if (QVRParse::ReadGeometry(&p, r) && QVRParse::ReadColor(&p, rgba)) ...
///
/// Blanks are the space and the tab only.
class QVR_API QVRParse {
 public:
  QVRParse() = delete;

  // ---- Cursor-style readers ----------------------------------------------

  /// Skips blanks, then copies characters until the end of the text, the
  /// delimiter, or `max` characters, and terminates `out` (which needs
  /// max + 1 bytes). With `out` null nothing is written and there is no limit.
  /// A delimiter that stopped the copy is stepped over. Always moves the
  /// cursor; returns the number of characters copied.
  static unsigned ReadString(char** cursor, char* out, unsigned max, char delimiter);
  /// After blanks: "1", "0", or a case-insensitive prefix "YES", "NO", "TRUE",
  /// "FALSE" (the word may go on: "now" reads as "NO"). Moves past exactly the
  /// matched characters and one ",". False on empty text or no match.
  static bool ReadBoolean(char** cursor, bool& value);
  /// Decimal integer as strtol reads it (leading white space, sign, digits),
  /// clamped to the int range. False when no digit was taken.
  static bool ReadInt(char** cursor, int& value);
  /// Floating-point number as strtof reads it. False when nothing was taken.
  static bool ReadFloat(char** cursor, float& value);
  /// Four integers x, y, w, h, each read as ReadInt (commas or blanks between
  /// them) and stored, truncated to 16 bits, as soon as it is read. False at
  /// the first missing number; fields and cursor moves before it stay.
  static bool ReadGeometry(char** cursor, QVRRect& rect);
  /// Finds the next "#" and reads 6 or 8 hex digits into red, green, blue and,
  /// with 8 digits, alpha (otherwise rgba[3] is left alone). False when there
  /// is no "#" or fewer than 6 digits follow it.
  static bool ReadColor(char** cursor, unsigned char* rgba);

  // ---- Pointer-style readers (null on failure) ---------------------------

  /// As the cursor form, without comma skipping.
  static const char* ReadBoolean(const char* text, bool& value);
  /// As the cursor form, without comma skipping.
  static const char* ReadInt(const char* text, int& value);
  /// As the cursor form, without comma skipping.
  static const char* ReadFloat(const char* text, float& value);
  /// As the cursor form, without comma skipping.
  static const char* ReadColor(const char* text, unsigned char* rgba);

  // ---- Other helpers -----------------------------------------------------

  /// Reads "year/month/day[ hour:minute:second]" as local time (daylight
  /// saving not in effect) into seconds since 1970-01-01 00:00 UTC. A year
  /// below 100 means 2000 + year. False when a date field is missing, the
  /// month is above 12 or the day above 31, or the time cannot be converted
  /// (which includes moments before 1970). Out-of-range hours, days 0 etc. are
  /// normalised by the calendar conversion.
  static bool ReadDate(const char* text, unsigned long& time);
  /// The first character of `text` that is not a blank.
  static char* EatSpace(const char* text);
  /// Skips blanks, a "=" or ":", and the blanks after it; returns the value's
  /// first character. Without a separator or a value logs "SkipEqual: missing
  /// : or =, or value" at LOG level and returns null.
  static char* SkipEqual(char* text);
  /// 16 * digit(high) + digit(low) in 8 bits. Digits are not validated: any
  /// character other than 0-9 and A-F counts as a lower-case letter.
  static unsigned char Hexa2Dec(unsigned char high, unsigned char low);
  /// The first six characters as three hex pairs, each scaled by 1/255 into
  /// rgb[0..2]. Digits are not validated; reading stops at the terminator and
  /// missing digits count as 0.
  static void Hexa2Float(const char* hex, float* rgb);
  /// Exactly `digits` (0..8, more is taken as 8) upper-case hex digits of the
  /// low bits of `value`, zero-padded, then a terminator.
  static void Dec2Hexa(unsigned value, int digits, char* out);
  /// Two upper-case hex digits per byte, high nibble first. Writes no
  /// terminator.
  static void Dec2Hexa(const unsigned char* bytes, int count, char* out);
  /// r, g, b in 0..1 to hue in degrees (0 <= h < 360), saturation and value.
  static void RGB_to_HSV(float r, float g, float b, float& h, float& s, float& v);
  /// Hue in degrees (360 counts as 0), saturation, value to r, g, b. For a hue
  /// outside 0..360 the outputs are not written.
  static void HSV_to_RGB(float h, float s, float v, float& r, float& g, float& b);
  /// The hue of rgb[0..2].
  static float RGB2H(const float* rgb);
  /// The fully saturated, full-value colour of hue `h` into rgb[0..2].
  static void H2RGB(float h, float* rgb);
  /// Copies `source` to `target` with every byte complemented, then a 0.
  /// Applying it twice gives back the text unless it holds a 0xFF byte.
  static void Obfuscate(const char* source, char* target);
  /// Replaces every byte below `low` or above `high` (as unsigned bytes) with
  /// `replacement`; returns how many were replaced.
  static int ForceRange(char* text, char low, char high, char replacement);
  /// Turns every "/", "\" and ":" into the platform's path separator; returns
  /// how many separators the path has.
  static int SystemPath(char* path);
  /// "#RRGGBB", or "#RRGGBBAA" with `alpha`, in one static buffer that the
  /// next call overwrites.
  static const char* Color2Hexa(const unsigned char* rgba, bool alpha);
};

#endif
