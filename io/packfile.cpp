// QVRPackFile: the byte range [start, end) of a disk file as a stream of its
// own, positions counted from start; nothing is read or written past end.
#include <cstdint>
#include <cstdio>

#include "io/filepos.h"
#include "io/linereader.h"
#include "io/platform.h"
#include "qvr3d/core.h"
#include "qvr3d/stream.h"
#include "qvr3d/string.h"

namespace {

enum : uint8_t { kNone = 0, kReading = 1, kWriting = 2 };

// GetLine's byte source: the FILE's buffer cut at the window's end. Nothing
// is offered once the end flag is set (Read would return 0 then); a failed
// disk read leaves READ_AT_END.
class WindowBytes {
 public:
  WindowBytes(FILE* file, uint32_t end, uint32_t& pos, uint8_t& state, bool& eof)
      : m_bytes(file), m_file(file), m_end(end), m_pos(pos), m_state(state), m_eof(eof) {}
  size_t Avail(const char*& p) {
    if (m_eof || m_pos >= m_end) return 0;
    size_t n = m_bytes.Avail(p);
    if (n == 0) {
      m_state = QVRResFile::READ_AT_END;
      m_eof = std::feof(m_file) != 0 || m_pos >= m_end;
      return 0;
    }
    size_t left = m_end - m_pos;
    return n < left ? n : left;
  }
  void Consume(size_t n) {
    m_bytes.Consume(n);
    m_pos += static_cast<uint32_t>(n);
    m_eof = std::feof(m_file) != 0 || m_pos >= m_end;
  }

 private:
  qvr::detail::StdioBytes m_bytes;
  FILE* m_file;
  uint32_t m_end;
  uint32_t& m_pos;
  uint8_t& m_state;
  bool& m_eof;
};

// An empty window has nothing to give: the first transfer asked of it falls
// short, as on an empty disk file, so that Good() tells a loader so.
bool RefuseEmpty(bool empty, uint8_t& state, uint8_t failState) {
  if (!empty || state != QVRResFile::OK) return false;
  state = failState;
  return true;
}

}  // namespace

QVRPackFile::QVRPackFile(const char* file, unsigned start, unsigned end, unsigned mode,
                         const char* name)
    : m_fileName(nullptr), m_file(nullptr), m_start(0), m_end(0), m_pos(0), m_lastOp(kNone) {
  if (file != nullptr && file[0] != 0) Open(file, start, end, mode, name);
}

QVRPackFile::~QVRPackFile() { QVRPackFile::Close(); }

bool QVRPackFile::Open(const char* file, unsigned start, unsigned end, unsigned mode,
                       const char* name) {
  if (file == nullptr || file[0] == 0) return false;
  Close();
  m_state = OK;
  m_fileName = QVRString::StringCopy(file);
  m_name = name != nullptr && name[0] != 0 ? QVRString::StringCopy(name) : m_fileName;
  m_mode = static_cast<uint8_t>(mode & READWRITE);
  if (m_mode == 0) {
    m_state = BAD_OPEN_MODE;
    QVR::DBG("PackFile: bad open mode (%s)\n", file);
    return false;
  }
  // Write access never creates or truncates: the window lies in an existing file.
  const char* modeString = m_mode == READ ? "rb" : "r+b";
  m_file = qvr::detail::OpenStream(file, modeString);
  if (m_file == nullptr) {
    m_state = OPEN_ERROR;
    QVR::DBG("PackFile: Can not open %s in mode '%s'\n", file, modeString);
    return false;
  }
  m_start = start;
  m_end = end;
  // The size comes from the descriptor: seeking to the end and back would
  // cost two more system calls and a wasted buffer fill on every open.
  int64_t fileSize = -1;
  uint64_t regularSize = 0;
  if (qvr::detail::StreamSize(m_file, regularSize)) {
    fileSize = regularSize > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX
                                                              : static_cast<int64_t>(regularSize);
  } else if (qvr::detail::SeekFile(m_file, 0, SEEK_END)) {
    fileSize = qvr::detail::TellFile(m_file);
  }
  if (fileSize < 0) fileSize = 0;  // not measurable: no window fits
  if (m_end > fileSize) m_end = static_cast<uint32_t>(fileSize);
  // An empty window asked for inside the file (an empty archive member)
  // opens; a window that the end of the file cuts to nothing does not.
  const bool emptyAsked = start == end && start <= fileSize;
  if (m_start >= m_end && !emptyAsked) {
    QVR::DBG("PackFile: invalid offset (start=%d, end=%d) %s\n", static_cast<int>(start),
             static_cast<int>(m_end), file);
    std::fclose(m_file);
    m_file = nullptr;
    m_state = OPEN_ERROR;
    return false;
  }
  SeekStart();
  return m_state == OK;
}

void QVRPackFile::Close() {
  if (m_name == m_fileName) m_name = nullptr;
  QVRResFile::Close();
  delete[] m_fileName;
  m_fileName = nullptr;
  if (m_file != nullptr) {
    std::fclose(m_file);
    m_file = nullptr;
  }
  m_start = 0;
  m_end = 0;
  m_pos = 0;
  m_lastOp = kNone;
}

bool QVRPackFile::Seek(int offset, int origin) {
  if (m_file == nullptr) return false;
  const int64_t window = int64_t{m_end} - m_start;
  const int64_t off = offset;
  int64_t target = -1;
  if (origin == SEEK_FROM_CURRENT) {
    int64_t to = int64_t{m_pos} + off;
    if (off == 0 || (off > 0 && to < m_end) || (off < 0 && to >= m_start)) target = to;
  } else if (origin == SEEK_FROM_END) {
    if (off <= 0 && -off < window) target = m_end + off;
  } else {
    if (off >= 0 && off < window) target = m_start + off;
  }
  if (target < 0 || !qvr::detail::SeekFile(m_file, target, SEEK_SET)) {
    m_state = SEEK_ERROR;
    return false;
  }
  m_lastOp = kNone;
  m_state = OK;
  m_pos = static_cast<uint32_t>(target);
  m_eof = std::feof(m_file) != 0 || m_pos >= m_end;
  return true;
}

void QVRPackFile::SeekStart() {
  if (m_file == nullptr) return;
  std::clearerr(m_file);
  m_lastOp = kNone;
  if (qvr::detail::SeekFile(m_file, m_start, SEEK_SET)) {
    m_pos = m_start;
    m_state = OK;
  } else {
    m_state = SEEK_ERROR;
  }
  m_eof = std::feof(m_file) != 0 || m_pos >= m_end;
}

void QVRPackFile::SeekEnd() {
  if (m_file == nullptr) return;
  m_lastOp = kNone;
  qvr::detail::SeekFile(m_file, m_end, SEEK_SET);
  m_pos = m_end;
  m_state = SEEK_ERROR;
  m_eof = true;
}

unsigned QVRPackFile::GetPos() const { return m_pos - m_start; }

void QVRPackFile::Flush() {
  if (m_file != nullptr) std::fflush(m_file);
}

bool QVRPackFile::SwitchTo(uint8_t direction) {
  // Besides the C library's rule for update streams, this puts the file back
  // at m_pos after a transfer that stopped short.
  if (m_lastOp != direction) {
    if (!qvr::detail::SeekFile(m_file, m_pos, SEEK_SET)) return false;
    m_lastOp = direction;
  }
  return true;
}

unsigned QVRPackFile::GetLine(char* buffer, unsigned size, char delimiter) {
  if ((m_mode & READ) != 0 && size != 0 && buffer != nullptr && m_file != nullptr &&
      RefuseEmpty(m_start == m_end, m_state, READ_AT_END))
    return 0;
  if (m_state != OK || (m_mode & READ) == 0 || m_eof || size == 0 || buffer == nullptr ||
      m_file == nullptr || m_pos >= m_end)
    return 0;
  if (!SwitchTo(kReading)) {
    m_state = READ_AT_END;
    return 0;
  }
  WindowBytes src(m_file, m_end, m_pos, m_state, m_eof);
  return qvr::detail::ReadLineToBuffer(src, buffer, size, delimiter);
}

unsigned QVRPackFile::GetLine(QVRString& line, unsigned size, char delimiter) {
  if ((m_mode & READ) != 0 && size != 0 && m_file != nullptr &&
      RefuseEmpty(m_start == m_end, m_state, READ_AT_END))
    return 0;
  if (m_state != OK || (m_mode & READ) == 0 || size == 0 || m_eof || m_file == nullptr ||
      m_pos >= m_end)
    return 0;
  if (!SwitchTo(kReading)) {
    m_state = READ_AT_END;
    return 0;
  }
  WindowBytes src(m_file, m_end, m_pos, m_state, m_eof);
  return qvr::detail::ReadLineToString(src, line, size, delimiter);
}

unsigned QVRPackFile::Read(void* data, unsigned count) {
  if ((m_mode & READ) != 0 && data != nullptr && count != 0 && m_file != nullptr &&
      RefuseEmpty(m_start == m_end, m_state, READ_AT_END))
    return 0;
  if (m_state != OK || (m_mode & READ) == 0 || m_eof || data == nullptr || count == 0 ||
      m_file == nullptr || m_pos >= m_end)
    return 0;
  uint32_t left = m_end - m_pos;
  if (count > left) {
    count = left;
    m_state = READ_AT_END;
  }
  size_t got = 0;
  if (SwitchTo(kReading)) got = std::fread(data, 1, count, m_file);
  if (got < count) {
    m_state = READ_AT_END;
    m_lastOp = kNone;  // reposition before the next transfer
  }
  m_pos += static_cast<uint32_t>(got);
  m_eof = std::feof(m_file) != 0 || m_pos >= m_end;
  return static_cast<unsigned>(got);
}

unsigned QVRPackFile::Write(const void* data, unsigned count) {
  if ((m_mode & WRITE) != 0 && data != nullptr && count != 0 && m_file != nullptr &&
      RefuseEmpty(m_start == m_end, m_state, WRITE_AT_END))
    return 0;
  if (m_state != OK || (m_mode & WRITE) == 0 || m_eof || data == nullptr || count == 0 ||
      m_file == nullptr || m_pos >= m_end)
    return 0;
  uint32_t left = m_end - m_pos;
  if (count > left) {
    count = left;
    m_state = WRITE_AT_END;
  }
  size_t put = 0;
  if (SwitchTo(kWriting)) put = std::fwrite(data, 1, count, m_file);
  if (put < count) {
    m_state = WRITE_AT_END;
    m_lastOp = kNone;
  }
  m_pos += static_cast<uint32_t>(put);
  m_eof = std::feof(m_file) != 0 || m_pos >= m_end;
  return static_cast<unsigned>(put);
}

void QVRPackFile::PrintInfo() const {
  QVR::LOG("PackFile info :\nFile  :%s\nName  : %s\nFILE* : %p\nMode  : %d (",
           m_fileName != nullptr ? m_fileName : "", m_name != nullptr ? m_name : "",
           static_cast<void*>(m_file), static_cast<int>(m_mode));
  QVR::LOG("%s)\nState : %d (", ModeText(m_mode), static_cast<int>(m_state));
  QVR::LOG("%s)\nStart : %d\nPos.  : %d\nEnd   : %d\nEOF   : %s\n", StateText(m_state),
           static_cast<int>(m_start), static_cast<int>(m_pos), static_cast<int>(m_end),
           m_eof ? "yes" : "no");
}
