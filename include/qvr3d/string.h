// QVRString: the library's owned, growable, zero-terminated byte string with
// search, edit, case, file-name cleaning and printf-style formatting.
#ifndef QVR3D_STRING_H
#define QVR3D_STRING_H

#include <cstdint>

#include "qvr3d/export.h"

/// An owned byte string that keeps its length and buffer size. Buffers grow in
/// steps rounded to 4 bytes and never shrink; positions and counts are
/// unsigned, 0xFFFFFFFF meaning "not found" as a result and "to the end" as a
/// count. Case rules are plain ASCII.
///
///   QVRString name("Level 1");
///   name += ".map";
///   name.MakeFilename();  // "Level_1.map"
class QVR_API QVRString {
 public:
  /// Index returned when nothing is found; as a count, "up to the end".
  static constexpr unsigned NONE = 0xFFFFFFFFu;

  /// A copy of `s`, or an empty string without buffer when `s` is null.
  QVRString(const char* s = nullptr);
  /// At most `n` characters of `s`; when `s` is null, an empty string with
  /// room for `n` characters.
  QVRString(unsigned n, const char* s);
  /// A copy of `other` (all of its `Length()` bytes).
  QVRString(const QVRString& other);
  ~QVRString();

  /// Copies `other`; an `other` without buffer releases this buffer.
  QVRString& operator=(const QVRString& other);
  /// Copies `s`; a null `s` releases the buffer.
  QVRString& operator=(const char* s);

  /// The text, or null when the length is 0 (even if a buffer exists).
  const char* Text() const { return m_length != 0 ? m_text : nullptr; }
  /// Number of characters before the terminator.
  unsigned Length() const { return m_length; }
  /// Size of the buffer in bytes (0 when there is none); a multiple of 4.
  unsigned Capacity() const { return m_capacity; }
  /// The character at `i`, or 0 when `i` is not below the length.
  char Char(unsigned i) const { return i < m_length ? m_text[i] : 0; }
  /// Same as Char(i).
  char operator[](unsigned i) const { return Char(i); }
  /// Writes "QVRString(length/capacity): text" to the log at LOG level.
  void PrintInfo() const;

  /// Replaces the text by at most `count` characters of `s` from offset
  /// `start` (a start past the end of `s` gives an empty text). A count of 0
  /// changes nothing; a null or empty `s` empties the string.
  void ChangeText(const char* s, unsigned start = 0, unsigned count = NONE);
  /// Makes sure the buffer holds at least `n` bytes (rounded up to 4). When it
  /// has to be replaced the text is kept if `keep` is true, else the string
  /// becomes empty. Does nothing when `n` is below the capacity.
  void Allocate(unsigned n, bool keep);
  /// Empties the string; the buffer stays.
  void Clear();
  /// Shortens the text to `n` characters; no-op when `n` is not below the length.
  void Truncate(unsigned n);
  /// Inserts `s` before position `pos` (a position past the end appends).
  /// Growth adds at least 10 bytes so that repeated appends rarely reallocate.
  void Insert(const char* s, unsigned pos);
  /// Inserts one character; the 0 character inserts nothing.
  void Insert(char c, unsigned pos);
  /// Appends a character (0 appends nothing).
  QVRString& operator+=(char c);
  /// Appends `s` (null appends nothing).
  QVRString& operator+=(const char* s);
  /// Appends `s` (all of its bytes; a string without buffer appends nothing).
  QVRString& operator+=(const QVRString& s);
  /// Removes `count` characters from `pos`, cutting the text when they reach
  /// its end. No-op when `pos` is not below the length.
  void Delete(unsigned pos, unsigned count);
  /// From `pos`, deletes the separators (anything but ASCII letters and
  /// digits) and then the word that follows. Returns the number of characters
  /// deleted, 0 when `pos` is not below the length.
  unsigned KillWord(unsigned pos);
  /// Writes `count` copies of `c` from `start` (0xFFFFFFFF: to the end of the
  /// text), growing the buffer and the length as needed. Positions between the
  /// old end and `start` become spaces. Refuses (no change) a range whose end
  /// cannot be represented in 32 bits.
  void Fill(char c, unsigned start = 0, unsigned count = NONE);
  /// Replaces every `from` by `to`; returns how many were replaced, 0 when
  /// either is the 0 character.
  unsigned Replace(char from, char to);
  /// Maps ASCII A-Z to a-z.
  void LowerCase();
  /// Maps ASCII a-z to A-Z.
  void UpperCase();
  /// Inverts every bit of every byte of the text; applying it twice restores
  /// the text. The length stays even when a byte becomes 0.
  void Obfuscate();
  /// Turns the text into a file-name-safe form: space, tab, line feed, "\" and
  /// "/" become "_"; letters, digits, "-", ".", "@" and "_" stay; everything
  /// else is dropped.
  void MakeFilename();
  /// Replaces the text by the printf-style formatting of the arguments, reusing
  /// the buffer when the result fits. A null or empty `fmt` changes nothing; a
  /// formatting error leaves the string empty. The arguments must not point
  /// into this string's own buffer.
  QVRString& Format(const char* fmt, ...) QVR_PRINTF(2, 3);

  /// First index not below `start` holding `c`, or 0xFFFFFFFF.
  unsigned Find(char c, unsigned start = 0, bool caseSensitive = true) const;
  /// First index not below `start` where `s` begins, or 0xFFFFFFFF (also for a
  /// null or empty `s`).
  unsigned Find(const char* s, unsigned start = 0, bool caseSensitive = true) const;
  /// Same as Find(const char*, ...) with the text of `s`.
  unsigned Find(const QVRString& s, unsigned start = 0, bool caseSensitive = true) const;
  /// Last index not above `start` holding `c`; a start past the end searches
  /// from the last character. 0xFFFFFFFF when not found.
  unsigned RFind(char c, unsigned start = NONE, bool caseSensitive = true) const;
  /// Last index not above `start` where `s` begins, or 0xFFFFFFFF.
  unsigned RFind(const char* s, unsigned start = NONE, bool caseSensitive = true) const;
  /// Same as RFind(const char*, ...) with the text of `s`.
  unsigned RFind(const QVRString& s, unsigned start = NONE, bool caseSensitive = true) const;
  /// Three-way comparison of at most `count` characters of the text from
  /// `start` with `s` (negative, 0, positive: the difference of the first
  /// differing bytes). A null `s` compares as "", as does an empty text.
  int Compare(const char* s, bool caseSensitive = true, unsigned count = NONE,
              unsigned start = 0) const;

  /// A new zero-terminated array (release with delete[]) holding at most
  /// `count` characters of `s` from offset `start`. Null when `s` is null or
  /// empty or `count` is 0; "" when `start` is at or past the end of `s`.
  static char* StringCopy(const char* s, unsigned start = 0, unsigned count = NONE);

 private:
  void Assign(const char* s, uint32_t n);
  void InsertBytes(const char* s, uint32_t n, uint32_t pos);
  void Reallocate(uint32_t size, bool keep);

  char* m_text;
  uint32_t m_capacity;
  uint32_t m_length;
};

#endif
