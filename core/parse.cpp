// QVRParse: readers of values in text, hex and HSV colour conversions, and the
// small text utilities behind the configuration, score and palette readers.
#include "qvr3d/parse.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Unvalidated digit value: anything that is not 0-9 or A-F is taken as a
// lower-case letter, as the stored colour texts have always been read.
unsigned HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c - 87u;
}

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

const char* SkipComma(const char* p) { return *p == ',' ? p + 1 : p; }

// Case-insensitive ASCII prefix test; stops at the text's terminator.
bool StartsWithWord(const char* text, const char* word) {
  for (; *word; ++text, ++word) {
    char c = *text;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != *word) return false;
  }
  return true;
}

// Stores the low 16 bits of a parsed number, as the rectangle fields hold.
int16_t Low16Signed(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
uint16_t Low16(int v) { return static_cast<uint16_t>(v); }

// Reads one unsigned decimal field the way "%u" does: leading white space, an
// optional sign, digits. Returns 1 when a field was read, 0 when no digit was
// taken, and -1 when the number does not fit in 32 bits ("-3" is one of those:
// "%u" would read it as 4294967293).
int ReadDateField(const char*& p, unsigned& value) {
  char* end = nullptr;
  unsigned long long v = std::strtoull(p, &end, 10);
  if (end == p) return 0;
  if (v > UINT_MAX) return -1;
  value = static_cast<unsigned>(v);
  p = end;
  return 1;
}

}  // namespace

// ---- Cursor-style readers --------------------------------------------------

unsigned QVRParse::ReadString(char** cursor, char* out, unsigned max, char delimiter) {
  if (!cursor || !*cursor) {
    if (out) *out = 0;
    return 0;
  }
  const char* p = SkipBlanks(*cursor);
  unsigned count = 0;
  while (*p && *p != delimiter && (!out || count < max)) {
    if (out) out[count] = *p;
    ++count;
    ++p;
  }
  if (out) out[count] = 0;
  // A zero delimiter means "to the end"; never step over the terminator.
  if (*p && *p == delimiter) ++p;
  *cursor = const_cast<char*>(p);
  return count;
}

bool QVRParse::ReadBoolean(char** cursor, bool& value) {
  if (!cursor || !*cursor) return false;
  const char* end = ReadBoolean(static_cast<const char*>(*cursor), value);
  if (!end) return false;
  *cursor = const_cast<char*>(SkipComma(end));
  return true;
}

bool QVRParse::ReadInt(char** cursor, int& value) {
  if (!cursor || !*cursor) return false;
  const char* end = ReadInt(static_cast<const char*>(*cursor), value);
  if (!end) return false;
  *cursor = const_cast<char*>(SkipComma(end));
  return true;
}

bool QVRParse::ReadFloat(char** cursor, float& value) {
  if (!cursor || !*cursor) return false;
  const char* end = ReadFloat(static_cast<const char*>(*cursor), value);
  if (!end) return false;
  *cursor = const_cast<char*>(SkipComma(end));
  return true;
}

bool QVRParse::ReadGeometry(char** cursor, QVRRect& rect) {
  int v = 0;
  if (!ReadInt(cursor, v)) return false;
  rect.x = Low16Signed(v);
  if (!ReadInt(cursor, v)) return false;
  rect.y = Low16Signed(v);
  if (!ReadInt(cursor, v)) return false;
  rect.w = Low16(v);
  if (!ReadInt(cursor, v)) return false;
  rect.h = Low16(v);
  return true;
}

bool QVRParse::ReadColor(char** cursor, unsigned char* rgba) {
  if (!cursor || !*cursor) return false;
  const char* end = ReadColor(static_cast<const char*>(*cursor), rgba);
  if (!end) return false;
  *cursor = const_cast<char*>(SkipComma(end));
  return true;
}

// ---- Pointer-style readers -------------------------------------------------

const char* QVRParse::ReadBoolean(const char* text, bool& value) {
  if (!text) return nullptr;
  const char* p = SkipBlanks(text);
  // Order matters only for the digits; the words cannot prefix each other.
  static const struct {
    const char* word;
    bool value;
  } kWords[] = {{"1", true},   {"0", false},   {"YES", true},
                {"NO", false}, {"TRUE", true}, {"FALSE", false}};
  for (const auto& w : kWords) {
    if (StartsWithWord(p, w.word)) {
      value = w.value;
      return p + std::strlen(w.word);
    }
  }
  return nullptr;
}

const char* QVRParse::ReadInt(const char* text, int& value) {
  if (!text) return nullptr;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (end == text) return nullptr;
  // Where long is wider than int, saturate as a 32-bit runtime's strtol does.
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  value = static_cast<int>(v);
  return end;
}

const char* QVRParse::ReadFloat(const char* text, float& value) {
  if (!text) return nullptr;
  char* end = nullptr;
  float v = std::strtof(text, &end);
  if (end == text) return nullptr;
  value = v;
  return end;
}

const char* QVRParse::ReadColor(const char* text, unsigned char* rgba) {
  if (!text) return nullptr;
  const char* p = std::strchr(text, '#');
  if (!p) return nullptr;
  ++p;
  int digits = 0;
  while (digits < 8 && IsHexDigit(p[digits])) ++digits;
  if (digits < 6) return nullptr;
  rgba[0] = Hexa2Dec(p[0], p[1]);
  rgba[1] = Hexa2Dec(p[2], p[3]);
  rgba[2] = Hexa2Dec(p[4], p[5]);
  if (digits == 8) {
    rgba[3] = Hexa2Dec(p[6], p[7]);
    return p + 8;
  }
  return p + 6;
}

// ---- Other helpers ---------------------------------------------------------

bool QVRParse::ReadDate(const char* text, unsigned long& time) {
  if (!text) return false;
  // Same grammar as sscanf "%u/%u/%u %u:%u:%u", without its undefined
  // behaviour on numbers too large for the field.
  unsigned fields[6] = {0, 0, 0, 0, 0, 0};
  const char* p = text;
  int got = 0;
  static const char kSeparators[6] = {0, '/', '/', ' ', ':', ':'};
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      if (kSeparators[i] == ' ') {
        while (*p && std::strchr(" \t\n\v\f\r", *p)) ++p;  // a blank in scanf matches any run
      } else if (*p == kSeparators[i]) {
        ++p;
      } else {
        break;
      }
    }
    const int read = ReadDateField(p, fields[i]);
    if (read < 0) return false;
    if (read == 0) break;
    ++got;
  }
  if (got < 3) return false;
  unsigned year = fields[0], month = fields[1], day = fields[2];
  unsigned hour = fields[3], minute = fields[4], second = fields[5];
  if (year < 100) year += 2000;
  if (month > 12 || day > 31) return false;
  // tm fields are int; a value that does not fit cannot be normalised.
  if (year - 1900ll > INT_MAX || hour > INT_MAX || minute > INT_MAX || second > INT_MAX) {
    return false;
  }

  struct tm tm;
  std::memset(&tm, 0, sizeof tm);
  tm.tm_year = static_cast<int>(year - 1900ll);
  tm.tm_mon = static_cast<int>(month) - 1;
  tm.tm_mday = static_cast<int>(day);
  tm.tm_hour = static_cast<int>(hour);
  tm.tm_min = static_cast<int>(minute);
  tm.tm_sec = static_cast<int>(second);
  // Let the C library decide whether summer time applies, so that a date
  // written from localtime() reads back as the same moment all year round.
  tm.tm_isdst = -1;
  time_t result = std::mktime(&tm);
  // The count is unsigned and 32 bits wide in the files that store it: moments
  // before 1970 or after 2106 cannot be represented.
  if (result == static_cast<time_t>(-1) || result < 0) return false;
  if (static_cast<unsigned long long>(result) > 0xFFFFFFFFull) return false;
  time = static_cast<unsigned long>(result);
  return true;
}

char* QVRParse::EatSpace(const char* text) {
  if (!text) return nullptr;
  return const_cast<char*>(SkipBlanks(text));
}

char* QVRParse::SkipEqual(char* text) {
  const char* p = text ? SkipBlanks(text) : nullptr;
  if (p && (*p == '=' || *p == ':')) {
    p = SkipBlanks(p + 1);
    if (*p) return const_cast<char*>(p);
  }
  QVR::LOG("SkipEqual: missing : or =, or value\n");
  return nullptr;
}

unsigned char QVRParse::Hexa2Dec(unsigned char high, unsigned char low) {
  return static_cast<unsigned char>((16u * HexDigit(high) + HexDigit(low)) & 0xFFu);
}

void QVRParse::Hexa2Float(const char* hex, float* rgb) {
  char digits[6] = {'0', '0', '0', '0', '0', '0'};
  for (int i = 0; hex && i < 6 && hex[i]; ++i) digits[i] = hex[i];
  for (int i = 0; i < 3; ++i) {
    rgb[i] = Hexa2Dec(digits[2 * i], digits[2 * i + 1]) * 0.003921569f;
  }
}

void QVRParse::Dec2Hexa(unsigned value, int digits, char* out) {
  static const char kHex[] = "0123456789ABCDEF";
  if (digits > 8) digits = 8;
  if (digits < 0) digits = 0;
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = kHex[value & 0xFu];
    value >>= 4;
  }
  out[digits] = 0;
}

void QVRParse::Dec2Hexa(const unsigned char* bytes, int count, char* out) {
  static const char kHex[] = "0123456789ABCDEF";
  for (int i = 0; i < count; ++i) {
    out[2 * i] = kHex[bytes[i] >> 4];
    out[2 * i + 1] = kHex[bytes[i] & 0xFu];
  }
}

void QVRParse::RGB_to_HSV(float r, float g, float b, float& h, float& s, float& v) {
  float maxc = r > g ? r : g;
  if (b > maxc) maxc = b;
  float minc = r < g ? r : g;
  if (b < minc) minc = b;
  float d = maxc - minc;
  v = maxc;
  s = maxc != 0.0f ? d / maxc : 0.0f;
  float hue = 0.0f;
  if (s != 0.0f) {
    if (r == maxc)
      hue = (g - b) / d;
    else if (g == maxc)
      hue = 2.0f + (b - r) / d;
    else if (b == maxc)
      hue = 4.0f + (r - g) / d;
  }
  hue *= 60.0f;
  if (hue < 0.0f) hue += 360.0f;
  h = hue;
}

void QVRParse::HSV_to_RGB(float h, float s, float v, float& r, float& g, float& b) {
  if (s == 0.0f) {
    r = g = b = v;
    return;
  }
  if (h == 360.0f) h = 0.0f;
  float x = h * 0.016666668f;
  // Converting a float outside int's range (or NaN) is undefined; such hues
  // are outside 0..360 anyway and leave the outputs alone.
  if (!(x > -1.0f && x < 7.0f)) return;
  int i = static_cast<int>(x);
  float f = x - static_cast<float>(i);
  // A hue a hair below 360 can round up to sector 6, which is sector 0.
  if (i == 6) i = 0;
  float p = v * (1.0f - s);
  float q = v * (1.0f - s * f);
  float t = v * (1.0f - s * (1.0f - f));
  switch (i) {
    case 0:
      r = v;
      g = t;
      b = p;
      break;
    case 1:
      r = q;
      g = v;
      b = p;
      break;
    case 2:
      r = p;
      g = v;
      b = t;
      break;
    case 3:
      r = p;
      g = q;
      b = v;
      break;
    case 4:
      r = t;
      g = p;
      b = v;
      break;
    case 5:
      r = v;
      g = p;
      b = q;
      break;
    default:
      break;
  }
}

float QVRParse::RGB2H(const float* rgb) {
  float h, s, v;
  RGB_to_HSV(rgb[0], rgb[1], rgb[2], h, s, v);
  return h;
}

void QVRParse::H2RGB(float h, float* rgb) { HSV_to_RGB(h, 1.0f, 1.0f, rgb[0], rgb[1], rgb[2]); }

void QVRParse::Obfuscate(const char* source, char* target) {
  size_t i = 0;
  for (; source[i]; ++i) target[i] = static_cast<char>(~static_cast<unsigned char>(source[i]));
  target[i] = 0;
}

int QVRParse::ForceRange(char* text, char low, char high, char replacement) {
  if (!text) return 0;
  const unsigned char lo = static_cast<unsigned char>(low);
  const unsigned char hi = static_cast<unsigned char>(high);
  int replaced = 0;
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p) {
    if (*p < lo || *p > hi) {
      *p = static_cast<unsigned char>(replacement);
      ++replaced;
    }
  }
  return replaced;
}

int QVRParse::SystemPath(char* path) {
#if defined(_WIN32)
  const char native = '\\';
#else
  const char native = '/';
#endif
  if (!path) return 0;
  int separators = 0;
  for (char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\' || *p == ':') {
      *p = native;
      ++separators;
    }
  }
  return separators;
}

const char* QVRParse::Color2Hexa(const unsigned char* rgba, bool alpha) {
  static char buffer[10];
  const int bytes = alpha ? 4 : 3;
  buffer[0] = '#';
  Dec2Hexa(rgba, bytes, buffer + 1);
  buffer[1 + 2 * bytes] = 0;
  return buffer;
}
