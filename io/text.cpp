// QVRText: slot management and the two file forms.
//
// Binary form, little-endian 32-bit integers:
//   "QVRT" | n | n records: L, then L - 1 bytes of text (L = 0: empty slot)
// Text form: one slot per line, "\n" or "\r\n" line ends.
#include "io/le.h"
#include "qvr3d/text.h"

#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/stream.h"
#include "qvr3d/string.h"

namespace {

constexpr unsigned kNone = 0xFFFFFFFFu;
constexpr char kMagic[4] = {'Q', 'V', 'R', 'T'};
// Strings longer than this are read in pieces so that a length field can
// never allocate more than the stream has actually delivered.
constexpr uint32_t kReadChunk = 64 * 1024;

// A new zero-terminated copy of at most `count` characters of `s` from
// `start`; "" when start is at or past the end. Null only when out of memory.
char* CopyText(const char* s, unsigned start, unsigned count) {
  size_t length = strlen(s);
  size_t available = start < length ? length - start : 0;
  size_t take = count < available ? count : available;
  char* copy = new (std::nothrow) char[take + 1];
  if (!copy) return nullptr;
  if (take) memcpy(copy, s + start, take);
  copy[take] = 0;
  return copy;
}

// Reads `bytes` bytes of text into a new terminated array; null when the
// stream delivers fewer bytes or memory runs out.
char* ReadText(QVRResFile& stream, uint32_t bytes) {
  if (bytes <= kReadChunk) {
    char* text = new (std::nothrow) char[bytes + 1];
    if (!text) return nullptr;
    if (bytes && stream.Read(text, bytes) != bytes) {
      delete[] text;
      return nullptr;
    }
    text[bytes] = 0;
    return text;
  }
  std::vector<char> piece;
  uint32_t left = bytes;
  while (left > 0) {
    uint32_t want = left < kReadChunk ? left : kReadChunk;
    size_t at = piece.size();
    piece.resize(at + want);
    if (stream.Read(piece.data() + at, want) != want) return nullptr;
    left -= want;
  }
  char* text = new (std::nothrow) char[static_cast<size_t>(bytes) + 1];
  if (!text) return nullptr;
  memcpy(text, piece.data(), bytes);
  text[bytes] = 0;
  return text;
}

// A little-endian 32-bit value; false when the stream delivers fewer than 4
// bytes. Counts are tested directly because a stream sitting at its end may
// return nothing while its state still reads OK.
bool ReadLe32(QVRResFile& stream, uint32_t& value) {
  uint8_t b[4];
  if (stream.Read(b, 4) != 4) return false;
  value = qvr::detail::Get32(b);
  return true;
}

bool WriteLe32(QVRResFile& stream, uint32_t value) {
  uint8_t b[4];
  qvr::detail::Put32(b, value);
  return stream.Write(b, 4) == 4;
}

bool WriteBytes(QVRResFile& stream, const char* data, size_t length) {
  return length == 0 || stream.Write(data, static_cast<unsigned>(length)) == length;
}

void ReleaseStrings(std::vector<char*>& strings) {
  for (char* s : strings) delete[] s;
  strings.clear();
}

}  // namespace

QVRText::QVRText(unsigned n) : m_strings(nullptr), m_count(0) {
  ChangeSize(n);
  if (m_count == 0) ChangeSize(1);
}

QVRText::QVRText(const char* file, int format) : m_strings(nullptr), m_count(0) {
  ChangeSize(1);
  QVRFile stream(file, QVRResFile::READ);
  Load(stream, format);  // a failed load keeps the single empty slot
}

QVRText::QVRText(QVRResFile& stream, int format) : m_strings(nullptr), m_count(0) {
  ChangeSize(1);
  Load(stream, format);
}

QVRText::~QVRText() { ReleaseAll(); }

void QVRText::ReleaseAll() {
  for (uint32_t i = 0; i < m_count; ++i) delete[] m_strings[i];
  delete[] m_strings;
  m_strings = nullptr;
  m_count = 0;
}

unsigned QVRText::Length() const {
  unsigned used = 0;
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_strings[i]) ++used;
  return used;
}

void QVRText::ChangeSize(unsigned n) {
  if (n == 0) n = 1;
  if (n == m_count) return;
  char** slots = new (std::nothrow) char*[n];
  if (!slots) return;
  uint32_t kept = n < m_count ? n : m_count;
  for (uint32_t i = 0; i < kept; ++i) slots[i] = m_strings[i];
  for (uint32_t i = kept; i < n; ++i) slots[i] = nullptr;
  for (uint32_t i = kept; i < m_count; ++i) delete[] m_strings[i];
  delete[] m_strings;
  m_strings = slots;
  m_count = n;
}

void QVRText::SetString(unsigned index, const char* s, unsigned start, unsigned count) {
  if (index == kNone) return;  // index + 1 slots cannot be counted
  if (index >= m_count) {
    ChangeSize(index + 1);
    if (index >= m_count) return;
  }
  // Copy before releasing: `s` may point into the string being replaced.
  char* text = nullptr;
  if (s && count != 0) {
    text = CopyText(s, start, count);
    if (!text) return;
  }
  delete[] m_strings[index];
  m_strings[index] = text;
}

unsigned QVRText::Append(const char* s, unsigned start, unsigned count) {
  if (!s || count == 0) return kNone;
  uint32_t slot = 0;
  while (slot < m_count && m_strings[slot]) ++slot;
  char* text = CopyText(s, start, count);
  if (!text) return kNone;
  if (slot == m_count) {
    if (m_count == kNone) {
      delete[] text;
      return kNone;
    }
    ChangeSize(m_count + 1);
    if (slot >= m_count) {
      delete[] text;
      return kNone;
    }
  }
  m_strings[slot] = text;
  return slot;
}

void QVRText::Clear() {
  for (uint32_t i = 0; i < m_count; ++i) {
    delete[] m_strings[i];
    m_strings[i] = nullptr;
  }
}

bool QVRText::Load(QVRResFile& stream, int format) {
  if (!stream.Good()) return false;
  if (format == DETECT) {
    // Return to the exact start rather than 4 bytes back: a stream shorter
    // than the magic has not moved by 4 bytes.
    unsigned start = stream.GetPos();
    char magic[4];
    unsigned got = stream.Read(magic, 4);
    format = (got == 4 && memcmp(magic, kMagic, 4) == 0) ? BINARY : TEXT;
    if (start > static_cast<unsigned>(INT_MAX) || !stream.Seek(static_cast<int>(start), QVRResFile::SEEK_FROM_START))
      return false;
  }
  if (format == TEXT) return LoadText(stream);
  if (format == BINARY) return LoadBinary(stream);
  return false;
}

// The slot count and lengths of the file are claims, not facts: records are
// read one by one and the array only grows with what has really arrived, so a
// short file announcing billions of slots fails after reading what it holds.
bool QVRText::LoadBinary(QVRResFile& stream) {
  char magic[4];
  if (stream.Read(magic, 4) != 4 || memcmp(magic, kMagic, 4) != 0) return false;
  uint32_t n = 0;
  if (!ReadLe32(stream, n)) return false;
  std::vector<char*> loaded;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t length = 0;
    if (!ReadLe32(stream, length)) {
      ReleaseStrings(loaded);
      return false;
    }
    char* text = nullptr;
    if (length != 0) {
      text = ReadText(stream, length - 1);
      if (!text) {
        ReleaseStrings(loaded);
        return false;
      }
    }
    loaded.push_back(text);
  }
  uint32_t slots = n != 0 ? n : 1;
  char** array = new (std::nothrow) char*[slots];
  if (!array) {
    ReleaseStrings(loaded);
    return false;
  }
  for (uint32_t i = 0; i < slots; ++i) array[i] = i < loaded.size() ? loaded[i] : nullptr;
  ReleaseAll();
  m_strings = array;
  m_count = slots;
  return true;
}

// Two passes: count the lines, then allocate once and fill.
bool QVRText::LoadText(QVRResFile& stream) {
  unsigned start = stream.GetPos();
  QVRString line;
  uint32_t lines = 0;
  while (lines < kNone - 1 && stream.GetLine(line, kNone, '\n') != 0) ++lines;
  if (lines == 0) {
    QVR::LOG("TextLoad: nothing to load!\n");
    return false;
  }
  if (start > static_cast<unsigned>(INT_MAX) || !stream.Seek(static_cast<int>(start), QVRResFile::SEEK_FROM_START))
    return false;
  uint32_t slots = lines + 1;
  char** array = new (std::nothrow) char*[slots];
  if (!array) return false;
  for (uint32_t i = 0; i < slots; ++i) array[i] = nullptr;
  for (uint32_t i = 0; i < slots; ++i) {
    if (stream.GetLine(line, kNone, '\n') == 0) break;
    if (line.Length() == 0) continue;
    char* text = new (std::nothrow) char[line.Length() + 1];
    if (!text) {
      for (uint32_t j = 0; j < i; ++j) delete[] array[j];
      delete[] array;
      return false;
    }
    memcpy(text, line.Text(), line.Length());
    text[line.Length()] = 0;
    array[i] = text;
  }
  ReleaseAll();
  m_strings = array;
  m_count = slots;
  return true;
}

bool QVRText::Save(QVRResFile& stream, int format) {
  if (!stream.Good()) return false;
  uint32_t n = m_count;
  while (n > 0 && !m_strings[n - 1]) --n;
  if (n == 0) return false;
  if (format != 0 && format != 1 && format != 2) return true;
  // Each write is checked: a refusing stream (read only, or full) may keep
  // its OK state, so the state alone does not show a lost write.
  bool binary = format != 2;
  if (binary && (!WriteBytes(stream, kMagic, 4) || !WriteLe32(stream, n))) return false;
  for (uint32_t i = 0; i < n; ++i) {
    const char* s = m_strings[i];
    size_t length = s ? strlen(s) : 0;
    if (length >= kNone) return false;  // L = length + 1 must fit in 32 bits
    if (binary) {
      uint32_t stored = s ? static_cast<uint32_t>(length + 1) : 0;
      if (!WriteLe32(stream, stored) || !WriteBytes(stream, s, length)) return false;
    } else {
      if (!WriteBytes(stream, s, length) || !WriteBytes(stream, "\n", 1)) return false;
    }
  }
  return true;
}

unsigned QVRText::MemoryUsed() const {
  uint64_t bytes = 12 + 4 * static_cast<uint64_t>(m_count);
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_strings[i]) bytes += strlen(m_strings[i]);
  return bytes < kNone ? static_cast<unsigned>(bytes) : kNone;
}

void QVRText::PrintInfo() const {
  QVR::LOG("Array of %d strings :\n", static_cast<int>(m_count));
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_strings[i]) QVR::LOG("[%3d] %s\n", static_cast<int>(i), m_strings[i]);
}
