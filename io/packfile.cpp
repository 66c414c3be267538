// QVRPackFile: the byte range [start, end) of a disk file as a stream of its
// own, positions counted from start; nothing is read or written past end.
// Transfers name their offset in the file, so any number of windows can share
// one open file (an archive's) and keep positions of their own.
#include <cstdint>
#include <cstring>

#include "io/linereader.h"
#include "io/platform.h"
#include "qvr3d/core.h"
#include "qvr3d/stream.h"
#include "qvr3d/string.h"

namespace {

// Read-ahead for reads shorter than this; longer ones go straight into the
// caller's memory, as a buffer would only add a copy.
constexpr uint32_t kBufferSize = 4096;

// An empty window has nothing to give: the first transfer asked of it falls
// short, as on an empty disk file, so that Good() tells a loader so.
bool RefuseEmpty(bool empty, uint8_t& state, uint8_t failState) {
  if (!empty || state != QVRResFile::OK) return false;
  state = failState;
  return true;
}

}  // namespace

// GetLine's byte source: the read-ahead buffer cut at the window's end.
// Nothing is offered once the end flag is set (Read would return 0 then); a
// failed disk read leaves READ_AT_END.
struct QVRPackFile::LineSource {
  QVRPackFile& f;
  size_t Avail(const char*& p) {
    if (f.m_eof || f.m_pos >= f.m_end) return 0;
    if (f.m_pos < f.m_bufferStart || f.m_pos >= f.m_bufferStart + f.m_bufferFill) {
      if (!f.Refill(f.m_pos)) {
        f.m_state = QVRResFile::READ_AT_END;
        f.m_eof = true;
        return 0;
      }
    }
    const uint32_t from = f.m_pos - f.m_bufferStart;
    p = reinterpret_cast<const char*>(f.m_buffer + from);
    return f.m_bufferFill - from;
  }
  void Consume(size_t n) {
    f.m_pos += static_cast<uint32_t>(n);
    f.m_eof = f.m_pos >= f.m_end;
  }
};

QVRPackFile::QVRPackFile(const char* file, unsigned start, unsigned end, unsigned mode,
                         const char* name)
    : m_fileName(nullptr),
      m_file(nullptr),
      m_start(0),
      m_end(0),
      m_pos(0),
      m_buffer(nullptr),
      m_bufferStart(0),
      m_bufferFill(0) {
  if (file != nullptr && file[0] != 0) Open(file, start, end, mode, name);
}

QVRPackFile::~QVRPackFile() {
  QVRPackFile::Close();
  delete[] m_buffer;
}

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
  m_file = qvr::detail::OpenSharedFile(file, m_mode != READ);
  if (m_file == nullptr) {
    m_state = OPEN_ERROR;
    QVR::DBG("PackFile: Can not open %s in mode '%s'\n", file, m_mode == READ ? "rb" : "r+b");
    return false;
  }
  uint64_t fileSize = 0;  // not measurable: no window fits
  qvr::detail::SharedFileSize(m_file, fileSize);
  return Place(start, end, fileSize);
}

bool QVRPackFile::OpenShared(qvr::detail::SharedFile* shared, const char* fileName, unsigned start,
                             unsigned end, const char* name) {
  Close();
  m_state = OK;
  m_fileName = QVRString::StringCopy(fileName);
  m_name = name != nullptr && name[0] != 0 ? QVRString::StringCopy(name) : m_fileName;
  m_mode = READ;
  m_file = qvr::detail::RetainFile(shared);
  // The archive checked the window against this file when it read the
  // directory, and its own edits only ever grow the file in place: asking
  // for the size again would cost a system call on every open.
  return Place(start, end, UINT64_MAX);
}

bool QVRPackFile::Place(unsigned start, unsigned end, uint64_t fileSize) {
  m_start = start;
  m_end = end;
  if (m_end > fileSize) m_end = static_cast<uint32_t>(fileSize);
  // An empty window asked for inside the file (an empty archive member)
  // opens; a window that the end of the file cuts to nothing does not.
  const bool emptyAsked = start == end && start <= fileSize;
  if (m_start >= m_end && !emptyAsked) {
    QVR::DBG("PackFile: invalid offset (start=%d, end=%d) %s\n", static_cast<int>(start),
             static_cast<int>(m_end), m_fileName);
    qvr::detail::ReleaseFile(m_file);
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
  qvr::detail::ReleaseFile(m_file);
  m_file = nullptr;
  m_start = 0;
  m_end = 0;
  m_pos = 0;
  m_bufferFill = 0;  // the buffer itself is kept for a next Open
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
  if (target < 0) {
    m_state = SEEK_ERROR;
    return false;
  }
  m_state = OK;
  m_pos = static_cast<uint32_t>(target);
  m_eof = m_pos >= m_end;
  return true;
}

void QVRPackFile::SeekStart() {
  if (m_file == nullptr) return;
  m_pos = m_start;
  m_state = OK;
  m_eof = m_pos >= m_end;
}

void QVRPackFile::SeekEnd() {
  if (m_file == nullptr) return;
  m_pos = m_end;
  m_state = SEEK_ERROR;
  m_eof = true;
}

unsigned QVRPackFile::GetPos() const { return m_pos - m_start; }

// Nothing is held back: every write reaches the file at once.
void QVRPackFile::Flush() {}

bool QVRPackFile::Refill(uint32_t at) {
  if (m_buffer == nullptr) m_buffer = new uint8_t[kBufferSize];
  const uint32_t want = m_end - at < kBufferSize ? m_end - at : kBufferSize;
  m_bufferStart = at;
  m_bufferFill = static_cast<uint32_t>(qvr::detail::ReadAt(m_file, m_buffer, want, at));
  return m_bufferFill != 0;
}

uint32_t QVRPackFile::Fetch(uint8_t* out, uint32_t count) {
  uint32_t done = 0;
  if (m_pos >= m_bufferStart && m_pos < m_bufferStart + m_bufferFill) {
    const uint32_t from = m_pos - m_bufferStart;
    done = m_bufferFill - from < count ? m_bufferFill - from : count;
    std::memcpy(out, m_buffer + from, done);
    if (done == count) return done;
  }
  const uint32_t at = m_pos + done;
  const uint32_t rest = count - done;
  if (rest >= kBufferSize)
    return done + static_cast<uint32_t>(qvr::detail::ReadAt(m_file, out + done, rest, at));
  if (!Refill(at)) return done;
  const uint32_t take = rest < m_bufferFill ? rest : m_bufferFill;
  std::memcpy(out + done, m_buffer, take);
  return done + take;
}

unsigned QVRPackFile::GetLine(char* buffer, unsigned size, char delimiter) {
  if ((m_mode & READ) != 0 && size != 0 && buffer != nullptr && m_file != nullptr &&
      RefuseEmpty(m_start == m_end, m_state, READ_AT_END))
    return 0;
  if (m_state != OK || (m_mode & READ) == 0 || m_eof || size == 0 || buffer == nullptr ||
      m_file == nullptr || m_pos >= m_end)
    return 0;
  LineSource src{*this};
  return qvr::detail::ReadLineToBuffer(src, buffer, size, delimiter);
}

unsigned QVRPackFile::GetLine(QVRString& line, unsigned size, char delimiter) {
  if ((m_mode & READ) != 0 && size != 0 && m_file != nullptr &&
      RefuseEmpty(m_start == m_end, m_state, READ_AT_END))
    return 0;
  if (m_state != OK || (m_mode & READ) == 0 || size == 0 || m_eof || m_file == nullptr ||
      m_pos >= m_end)
    return 0;
  LineSource src{*this};
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
  const uint32_t got = Fetch(static_cast<uint8_t*>(data), count);
  m_pos += got;
  // Fewer bytes than the window promised: the file ended early (it shrank
  // after the window was opened) or could not be read.
  const bool fileEnded = got < count;
  if (fileEnded) m_state = READ_AT_END;
  m_eof = fileEnded || m_pos >= m_end;
  return got;
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
  // Bytes read ahead may be the ones about to change.
  m_bufferFill = 0;
  const uint32_t put = static_cast<uint32_t>(qvr::detail::WriteAt(m_file, data, count, m_pos));
  if (put < count) m_state = WRITE_AT_END;
  m_pos += put;
  m_eof = m_pos >= m_end;
  return put;
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
