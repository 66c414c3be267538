// The two GetLine algorithms written once over a "byte source" that hands out
// contiguous runs of readable bytes, so that each stream scans its lines with
// memchr/memcpy instead of one virtual Read per byte.
#ifndef QVR_IO_LINEREADER_H
#define QVR_IO_LINEREADER_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "qvr3d/string.h"

namespace qvr::detail {

// A source offers:
//   size_t Avail(const char*& p)  bytes readable at p right now (it may do I/O
//                                 to get them); 0 means a read would fail here,
//                                 and the source has applied that failure's
//                                 effect on the stream state already.
//   void Consume(size_t n)        marks n of them (1..Avail) as read.
// A byte-per-byte reader that stops at the delimiter or a count gives the same
// results as one that copies the runs, which is what lets the streams share
// one definition of a line.

// Buffer form, after the caller has checked state, mode, end flag, size and
// buffer: stores at most size - 1 characters and the terminator, consumes the
// delimiter without storing it, drops a "\r" before a "\n" delimiter. Returns
// the characters stored plus 1, or 0 when nothing was stored because the data
// had ended.
template <class Source>
unsigned ReadLineToBuffer(Source& src, char* buffer, unsigned size, char delimiter) {
  const size_t limit = size - 1u;
  size_t stored = 0;
  bool failed = false;
  while (stored < limit) {
    const char* run;
    size_t avail = src.Avail(run);
    if (avail == 0) {
      failed = true;
      break;
    }
    size_t want = limit - stored < avail ? limit - stored : avail;
    const char* hit = static_cast<const char*>(std::memchr(run, delimiter, want));
    if (hit != nullptr) {
      size_t n = static_cast<size_t>(hit - run);
      std::memcpy(buffer + stored, run, n);
      stored += n;
      src.Consume(n + 1);
      break;
    }
    std::memcpy(buffer + stored, run, want);
    stored += want;
    src.Consume(want);
  }
  if (stored == 0 && failed) return 0;
  if (delimiter == '\n' && stored > 0 && buffer[stored - 1] == '\r') --stored;
  buffer[stored] = 0;
  return static_cast<unsigned>(stored + 1);
}

// Collects one line for the string form; short lines stay on the stack.
// QVRString drops appended 0 bytes, so they are left out of the text, but only
// looked for when the copy into the string comes out short: lines rarely hold
// them.
class LineCollector {
 public:
  void Append(const char* p, size_t n) {
    if (n == 0) return;
    if (m_spill.empty() && m_length + n < sizeof(m_local)) {
      std::memcpy(m_local + m_length, p, n);
      m_length += n;
      return;
    }
    if (m_spill.empty()) m_spill.assign(m_local, m_length);
    m_spill.append(p, n);
  }
  // Hands the text to `line` (already cleared), without a trailing "\r" when
  // `dropCR` is set.
  void StoreIn(QVRString& line, bool dropCR) {
    if (!m_spill.empty()) {
      m_spill.push_back(0);
      Store(line, &m_spill[0], m_spill.size() - 1, dropCR);
    } else {
      Store(line, m_local, m_length, dropCR);
    }
  }

 private:
  // `text` has room for a terminator at text[length].
  static void Store(QVRString& line, char* text, size_t length, bool dropCR) {
    const bool dropped = dropCR && length > 0 && text[length - 1] == '\r';
    const size_t kept = dropped ? length - 1 : length;
    if (kept == 0) return;
    text[kept] = 0;
    line.ChangeText(text, 0, static_cast<unsigned>(kept));
    if (line.Length() == kept) return;
    // A 0 byte cut the copy short: squeeze them out. Unless one "\r" went
    // already, look for it again: it may have stood before them.
    size_t out = 0;
    for (size_t i = 0; i < kept; ++i)
      if (text[i] != 0) text[out++] = text[i];
    if (dropCR && !dropped && out > 0 && text[out - 1] == '\r') --out;
    text[out] = 0;
    line.Clear();
    if (out != 0) line.ChangeText(text, 0, static_cast<unsigned>(out));
  }

  char m_local[1024];
  size_t m_length = 0;
  std::string m_spill;
};

// String form, after the caller has checked state, mode, end flag and size:
// consumes at most `size` bytes up to and including the delimiter and returns
// how many were consumed (0: nothing could be read).
template <class Source>
unsigned ReadLineToString(Source& src, QVRString& line, unsigned size, char delimiter) {
  line.Clear();
  LineCollector text;
  uint32_t consumed = 0;
  while (consumed < size) {
    const char* run;
    size_t avail = src.Avail(run);
    if (avail == 0) break;
    size_t want = size - consumed < avail ? size - consumed : avail;
    const char* hit = static_cast<const char*>(std::memchr(run, delimiter, want));
    if (hit != nullptr) {
      size_t n = static_cast<size_t>(hit - run);
      text.Append(run, n);
      src.Consume(n + 1);
      consumed += static_cast<uint32_t>(n + 1);
      break;
    }
    text.Append(run, want);
    src.Consume(want);
    consumed += static_cast<uint32_t>(want);
  }
  text.StoreIn(line, delimiter == '\n');
  return consumed;
}

// Runs of bytes straight out of a FILE's read buffer. glibc exposes the
// buffer pointers (gnulib's freadptr relies on the same fields); elsewhere the
// source falls back to one getc per byte. Either way the FILE's position,
// end-of-file and error indicators end up as after the same getc calls.
class StdioBytes {
 public:
  explicit StdioBytes(FILE* file) : m_file(file) {}

  // 0 when getc reports end of file or an error.
  size_t Avail(const char*& p) {
#if defined(__GLIBC__) && !defined(QVR_PORTABLE_STDIO)
    size_t n = Buffered();
    if (n == 0) {
      int c = getc_unlocked(m_file);  // refills the buffer
      if (c == EOF) return 0;
      ungetc(c, m_file);  // steps back inside the fresh buffer
      n = Buffered();
    }
    p = m_file->_IO_read_ptr;
    return n;
#else
    if (!m_held) {
#if defined(_WIN32)
      int c = getc(m_file);  // the Windows C runtime has no getc_unlocked
#else
      int c = getc_unlocked(m_file);
#endif
      if (c == EOF) return 0;
      m_byte = static_cast<char>(c);
      m_held = true;
    }
    p = &m_byte;
    return 1;
#endif
  }

  void Consume(size_t n) {
#if defined(__GLIBC__) && !defined(QVR_PORTABLE_STDIO)
    m_file->_IO_read_ptr += n;
#else
    (void)n;
    m_held = false;
#endif
  }

 private:
#if defined(__GLIBC__) && !defined(QVR_PORTABLE_STDIO)
  size_t Buffered() const {
    return static_cast<size_t>(m_file->_IO_read_end - m_file->_IO_read_ptr);
  }
#else
  char m_byte = 0;
  bool m_held = false;
#endif
  FILE* m_file;
};

}  // namespace qvr::detail

#endif
