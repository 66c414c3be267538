// QVRString: buffer management (4-byte rounded growth, never shrinking),
// editing, searching and formatting.
#include "qvr3d/string.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "qvr3d/core.h"

namespace {

// Largest buffer a 32-bit capacity can describe while staying a multiple of 4,
// and so the longest text it can hold.
constexpr uint64_t kMaxCapacity = 0xFFFFFFFCu;
constexpr uint64_t kMaxLength = kMaxCapacity - 1;

// A negative vsnprintf result only means "too small" on pre-C99 runtimes; on
// conforming ones it is an encoding error that no buffer size cures, so the
// doubling retry stops here.
constexpr uint32_t kMaxFormatDoubling = 1u << 20;

// Sizes are computed in 64 bits so that a count near 0xFFFFFFFF cannot wrap
// into a small buffer.
uint32_t Round4(uint64_t x) {
  uint64_t rounded = (x + 3) & ~uint64_t{3};
  return static_cast<uint32_t>(rounded < kMaxCapacity ? rounded : kMaxCapacity);
}

unsigned char Fold(char c, bool caseSensitive) {
  unsigned char u = static_cast<unsigned char>(c);
  if (!caseSensitive && u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u + ('a' - 'A'));
  return u;
}

// True when p lies inside buffer[0, size); compared as integers because the
// pointers may belong to unrelated objects.
bool Inside(const char* p, const char* buffer, uint32_t size) {
  uintptr_t at = reinterpret_cast<uintptr_t>(p), base = reinterpret_cast<uintptr_t>(buffer);
  return buffer != nullptr && at >= base && at - base < size;
}

bool IsAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool MatchAt(const char* text, const char* s, uint32_t n, bool caseSensitive) {
  for (uint32_t k = 0; k < n; ++k)
    if (Fold(text[k], caseSensitive) != Fold(s[k], caseSensitive)) return false;
  return true;
}

unsigned FindBytes(const char* text, uint32_t length, const char* s, uint64_t n, unsigned start,
                   bool caseSensitive) {
  if (start >= length || s == nullptr || n == 0 || n > length) return QVRString::NONE;
  uint32_t last = length - static_cast<uint32_t>(n);
  for (uint32_t i = start; i <= last; ++i)
    if (MatchAt(text + i, s, static_cast<uint32_t>(n), caseSensitive)) return i;
  return QVRString::NONE;
}

unsigned RFindBytes(const char* text, uint32_t length, const char* s, uint64_t n, unsigned start,
                    bool caseSensitive) {
  if (length == 0 || s == nullptr || n == 0 || n > length) return QVRString::NONE;
  if (start >= length) start = length - 1;
  uint32_t last = length - static_cast<uint32_t>(n);
  for (uint32_t i = start < last ? start : last;; --i) {
    if (MatchAt(text + i, s, static_cast<uint32_t>(n), caseSensitive)) return i;
    if (i == 0) break;
  }
  return QVRString::NONE;
}

}  // namespace

// ---- Construction and assignment ------------------------------------------

QVRString::QVRString(const char* s) : m_text(nullptr), m_capacity(0), m_length(0) {
  if (s != nullptr) ChangeText(s, 0, NONE);
}

QVRString::QVRString(unsigned n, const char* s) : m_text(nullptr), m_capacity(0), m_length(0) {
  if (s != nullptr)
    ChangeText(s, 0, n);
  else
    Reallocate(Round4(uint64_t{n} + 1), false);
}

QVRString::QVRString(const QVRString& other) : m_text(nullptr), m_capacity(0), m_length(0) {
  if (other.m_text != nullptr) Assign(other.m_text, other.m_length);
}

QVRString::~QVRString() { std::free(m_text); }

QVRString& QVRString::operator=(const QVRString& other) {
  if (this == &other) return *this;
  if (other.m_text == nullptr) {
    std::free(m_text);
    m_text = nullptr;
    m_capacity = 0;
    m_length = 0;
  } else {
    // By length rather than strlen: an obfuscated or filled text may hold 0 bytes.
    Assign(other.m_text, other.m_length);
  }
  return *this;
}

QVRString& QVRString::operator=(const char* s) {
  if (s == nullptr) {
    std::free(m_text);
    m_text = nullptr;
    m_capacity = 0;
    m_length = 0;
  } else {
    ChangeText(s, 0, NONE);
  }
  return *this;
}

void QVRString::PrintInfo() const {
  QVR::LOG("QVRString(%d/%d): %s\n", static_cast<int>(m_length), static_cast<int>(m_capacity),
           m_length != 0 ? m_text : "");
}

// ---- Buffer management -----------------------------------------------------

// Replaces the buffer by one of `size` bytes (size > length when keeping).
void QVRString::Reallocate(uint32_t size, bool keep) {
  char* buffer = static_cast<char*>(std::malloc(size));
  if (keep && m_length != 0) {
    std::memcpy(buffer, m_text, m_length + 1);
  } else {
    buffer[0] = 0;
    m_length = 0;
  }
  std::free(m_text);
  m_text = buffer;
  m_capacity = size;
}

// Sets the text to n bytes of s; s may point into this string's buffer.
void QVRString::Assign(const char* s, uint32_t n) {
  if (n == 0) {
    m_length = 0;
    if (m_text != nullptr) m_text[0] = 0;
    return;
  }
  if (n > kMaxLength) n = static_cast<uint32_t>(kMaxLength);
  if (n >= m_capacity) {
    // The old buffer is freed only after the copy, in case s lies inside it.
    uint32_t size = Round4(uint64_t{n} + 1);
    char* buffer = static_cast<char*>(std::malloc(size));
    std::memcpy(buffer, s, n);
    std::free(m_text);
    m_text = buffer;
    m_capacity = size;
  } else {
    std::memmove(m_text, s, n);
  }
  m_text[n] = 0;
  m_length = n;
}

void QVRString::ChangeText(const char* s, unsigned start, unsigned count) {
  if (count == 0) return;
  if (s == nullptr || s[0] == 0) {
    Assign(s, 0);
    return;
  }
  size_t total = std::strlen(s);
  if (start >= total) {  // never read past the terminator of s
    Assign(s, 0);
    return;
  }
  size_t available = total - start;
  Assign(s + start, static_cast<uint32_t>(available < count ? available : count));
}

void QVRString::Allocate(unsigned n, bool keep) {
  if (n < m_capacity) return;
  uint32_t size = Round4(n);
  if (size == 0) size = 4;  // room for the terminator at least
  Reallocate(size, keep);
}

void QVRString::Clear() {
  m_length = 0;
  if (m_text != nullptr) m_text[0] = 0;
}

void QVRString::Truncate(unsigned n) {
  if (n < m_length) {
    m_length = n;
    m_text[n] = 0;
  }
}

// ---- Insertion and deletion ------------------------------------------------

void QVRString::InsertBytes(const char* s, uint32_t n, uint32_t pos) {
  if (n == 0) return;
  if (m_length == 0) {
    Assign(s, n);
    return;
  }
  if (pos > m_length) pos = m_length;
  uint64_t newLength = uint64_t{m_length} + n;
  if (newLength > kMaxLength) return;  // cannot be described by a 32-bit length

  if (newLength < m_capacity) {
    // Moving the tail would overwrite s if it lies inside this buffer.
    std::unique_ptr<char[]> copy;
    if (Inside(s, m_text, m_capacity)) {
      copy.reset(new char[n]);
      std::memcpy(copy.get(), s, n);
      s = copy.get();
    }
    std::memmove(m_text + pos + n, m_text + pos, m_length - pos + 1);
    std::memcpy(m_text + pos, s, n);
  } else {
    uint32_t size = Round4(uint64_t{m_capacity} + (n > 10 ? n : 10));
    if (pos == m_length && !Inside(s, m_text, m_capacity)) {
      // Appending: realloc can often grow in place (and large blocks are
      // remapped rather than copied), which keeps long runs of small appends
      // from turning quadratic under the fixed growth step.
      char* grown = static_cast<char*>(std::realloc(m_text, size));
      if (grown == nullptr) return;
      std::memcpy(grown + pos, s, n);
      grown[newLength] = 0;
      m_text = grown;
      m_capacity = size;
      m_length = static_cast<uint32_t>(newLength);
      return;
    }
    char* buffer = static_cast<char*>(std::malloc(size));
    std::memcpy(buffer, m_text, pos);
    std::memcpy(buffer + pos, s, n);
    std::memcpy(buffer + pos + n, m_text + pos, m_length - pos + 1);
    std::free(m_text);
    m_text = buffer;
    m_capacity = size;
  }
  m_length = static_cast<uint32_t>(newLength);
}

void QVRString::Insert(const char* s, unsigned pos) {
  if (s == nullptr || s[0] == 0) return;
  size_t n = std::strlen(s);
  if (n > kMaxLength) return;
  InsertBytes(s, static_cast<uint32_t>(n), pos);
}

void QVRString::Insert(char c, unsigned pos) {
  if (c != 0) InsertBytes(&c, 1, pos);
}

QVRString& QVRString::operator+=(char c) {
  if (c != 0 && m_length != 0 && m_length + 1u < m_capacity) {
    m_text[m_length++] = c;  // the common case: room at the end
    m_text[m_length] = 0;
  } else {
    Insert(c, m_length);
  }
  return *this;
}

QVRString& QVRString::operator+=(const char* s) {
  Insert(s, m_length);
  return *this;
}

QVRString& QVRString::operator+=(const QVRString& s) {
  if (s.m_text != nullptr) InsertBytes(s.m_text, s.m_length, m_length);
  return *this;
}

void QVRString::Delete(unsigned pos, unsigned count) {
  if (pos >= m_length) return;
  if (uint64_t{pos} + count >= m_length) {
    m_length = pos;
    m_text[pos] = 0;
    return;
  }
  std::memmove(m_text + pos, m_text + pos + count, m_length - pos - count + 1);
  m_length -= count;
}

unsigned QVRString::KillWord(unsigned pos) {
  if (pos >= m_length) return 0;
  uint32_t end = pos;
  while (end < m_length && !IsAlnum(m_text[end])) ++end;
  while (end < m_length && IsAlnum(m_text[end])) ++end;
  unsigned count = end - pos;
  Delete(pos, count);
  return count;
}

// ---- Whole-text edits ------------------------------------------------------

void QVRString::Fill(char c, unsigned start, unsigned count) {
  if (count == 0) return;
  if (count == NONE) {
    if (start >= m_length) return;
    count = m_length - start;
  }
  uint64_t end = uint64_t{start} + count;
  if (end > kMaxLength) return;
  if (end >= m_capacity) Reallocate(Round4(end + 1), true);
  // Filling past the end would otherwise expose uninitialised bytes.
  if (start > m_length) std::memset(m_text + m_length, ' ', start - m_length);
  std::memset(m_text + start, c, count);
  if (end > m_length) {
    m_length = static_cast<uint32_t>(end);
    m_text[m_length] = 0;
  }
}

unsigned QVRString::Replace(char from, char to) {
  if (from == 0 || to == 0) return 0;
  unsigned replaced = 0;
  for (uint32_t i = 0; i < m_length; ++i) {
    if (m_text[i] == from) {
      m_text[i] = to;
      ++replaced;
    }
  }
  return replaced;
}

void QVRString::LowerCase() {
  for (uint32_t i = 0; i < m_length; ++i)
    if (m_text[i] >= 'A' && m_text[i] <= 'Z') m_text[i] = static_cast<char>(m_text[i] + 32);
}

void QVRString::UpperCase() {
  for (uint32_t i = 0; i < m_length; ++i)
    if (m_text[i] >= 'a' && m_text[i] <= 'z') m_text[i] = static_cast<char>(m_text[i] - 32);
}

void QVRString::Obfuscate() {
  for (uint32_t i = 0; i < m_length; ++i) m_text[i] = static_cast<char>(~m_text[i]);
}

void QVRString::MakeFilename() {
  if (m_length == 0) return;
  uint32_t size = Round4(uint64_t{m_length} + 1);
  char* buffer = static_cast<char*>(std::malloc(size));
  uint32_t out = 0;
  for (uint32_t i = 0; i < m_length; ++i) {
    char c = m_text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\\' || c == '/')
      buffer[out++] = '_';
    else if (IsAlnum(c) || c == '-' || c == '.' || c == '@' || c == '_')
      buffer[out++] = c;
  }
  buffer[out] = 0;
  std::free(m_text);
  m_text = buffer;
  m_capacity = size;
  m_length = out;
}

QVRString& QVRString::Format(const char* fmt, ...) {
  if (fmt == nullptr || fmt[0] == 0) return *this;
  // The buffer is overwritten (and maybe replaced) while fmt is still read.
  std::unique_ptr<char[]> fmtCopy;
  if (Inside(fmt, m_text, m_capacity)) {
    size_t n = std::strlen(fmt) + 1;
    fmtCopy.reset(new char[n]);
    std::memcpy(fmtCopy.get(), fmt, n);
    fmt = fmtCopy.get();
  }
  if (m_text == nullptr) Reallocate(4, false);

  va_list args;
  va_start(args, fmt);
  for (;;) {
    va_list attempt;
    va_copy(attempt, args);
    int r = std::vsnprintf(m_text, m_capacity, fmt, attempt);
    va_end(attempt);
    if (r >= 0 && static_cast<uint32_t>(r) < m_capacity) {
      m_length = static_cast<uint32_t>(r);
      break;
    }
    if (r >= 0) {
      Reallocate(Round4(static_cast<uint64_t>(r) + 1), false);
    } else if (m_capacity < kMaxFormatDoubling) {
      Reallocate(m_capacity * 2, false);
    } else {
      m_text[0] = 0;
      m_length = 0;
      break;
    }
  }
  va_end(args);
  return *this;
}

// ---- Search ----------------------------------------------------------------

unsigned QVRString::Find(char c, unsigned start, bool caseSensitive) const {
  unsigned char wanted = Fold(c, caseSensitive);
  for (uint32_t i = start; i < m_length; ++i)
    if (Fold(m_text[i], caseSensitive) == wanted) return i;
  return NONE;
}

unsigned QVRString::Find(const char* s, unsigned start, bool caseSensitive) const {
  if (s == nullptr) return NONE;
  return FindBytes(m_text, m_length, s, std::strlen(s), start, caseSensitive);
}

unsigned QVRString::Find(const QVRString& s, unsigned start, bool caseSensitive) const {
  return FindBytes(m_text, m_length, s.m_text, s.m_length, start, caseSensitive);
}

unsigned QVRString::RFind(char c, unsigned start, bool caseSensitive) const {
  if (m_length == 0) return NONE;
  if (start >= m_length) start = m_length - 1;
  unsigned char wanted = Fold(c, caseSensitive);
  for (uint32_t i = start;; --i) {
    if (Fold(m_text[i], caseSensitive) == wanted) return i;
    if (i == 0) break;
  }
  return NONE;
}

unsigned QVRString::RFind(const char* s, unsigned start, bool caseSensitive) const {
  if (s == nullptr) return NONE;
  return RFindBytes(m_text, m_length, s, std::strlen(s), start, caseSensitive);
}

unsigned QVRString::RFind(const QVRString& s, unsigned start, bool caseSensitive) const {
  return RFindBytes(m_text, m_length, s.m_text, s.m_length, start, caseSensitive);
}

int QVRString::Compare(const char* s, bool caseSensitive, unsigned count, unsigned start) const {
  if (s == nullptr) s = "";
  const char* text = "";
  if (m_length != 0) {
    text = m_text + (start < m_length ? start : m_length - 1);
    if (count > m_length) count = m_length + 1;
  } else if (count > 1) {
    count = 1;
  }
  // Both sides stop at their terminator, so nothing past either is read.
  for (uint32_t i = 0; i < count; ++i) {
    unsigned char a = Fold(text[i], caseSensitive);
    unsigned char b = Fold(s[i], caseSensitive);
    if (a != b) return int{a} - int{b};
    if (a == 0) break;
  }
  return 0;
}

char* QVRString::StringCopy(const char* s, unsigned start, unsigned count) {
  if (s == nullptr || s[0] == 0 || count == 0) return nullptr;
  size_t total = std::strlen(s);
  size_t available = start < total ? total - start : 0;
  size_t n = count < available ? count : available;
  char* copy = new char[n + 1];
  if (n != 0) std::memcpy(copy, s + start, n);
  copy[n] = 0;
  return copy;
}
