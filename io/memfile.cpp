// QVRMemFile: a stream over a fixed-size block of memory, borrowed from the
// caller or owned; the block never grows and no access leaves it.
#include <cstring>
#include <new>

#include "io/linereader.h"
#include "qvr3d/core.h"
#include "qvr3d/stream.h"
#include "qvr3d/string.h"

namespace {

// Shared name of unnamed memory streams; Close recognises it by address.
char kMemoryFileName[] = "Memory file";

// GetLine's byte source: the rest of the block, nothing once the end flag is
// set (as Read would return then), the flag set when the end is reached.
class BlockBytes {
 public:
  BlockBytes(const uint8_t* data, uint32_t size, uint32_t& pos, bool& eof)
      : m_data(data), m_size(size), m_pos(pos), m_eof(eof) {}
  size_t Avail(const char*& p) {
    if (m_eof || m_pos >= m_size) return 0;
    p = reinterpret_cast<const char*>(m_data + m_pos);
    return m_size - m_pos;
  }
  void Consume(size_t n) {
    m_pos += static_cast<uint32_t>(n);
    if (m_pos >= m_size) m_eof = true;
  }

 private:
  const uint8_t* m_data;
  uint32_t m_size;
  uint32_t& m_pos;
  bool& m_eof;
};

}  // namespace

QVRMemFile::QVRMemFile(unsigned size, unsigned mode, unsigned char* data, bool own,
                       const char* name)
    : m_own(false), m_data(nullptr), m_size(0), m_pos(0) {
  if (size != 0) Open(size, mode, data, own, name);
}

QVRMemFile::~QVRMemFile() { QVRMemFile::Close(); }

bool QVRMemFile::Open(unsigned size, unsigned mode, unsigned char* data, bool own,
                      const char* name) {
  if (size == 0) return false;
  Close();
  m_state = OK;
  m_eof = false;
  m_mode = static_cast<uint8_t>(mode & READWRITE);
  m_size = size;
  m_own = own;
  m_pos = 0;
  if (data != nullptr) {
    m_data = data;
  } else {
    // Value-initialised, so a stream that is read before it is written hands
    // out zeros rather than old heap contents.
    m_data = new (std::nothrow) uint8_t[size]();
    if (m_data == nullptr) {
      m_own = false;
      m_size = 0;
      m_state = OPEN_ERROR;
      m_eof = true;
      return false;
    }
    m_own = true;
  }
  if ((mode & (TRUNCATE | CREATE)) != 0) std::memset(m_data, 0, size);
  m_name = name != nullptr && name[0] != 0 ? QVRString::StringCopy(name) : kMemoryFileName;
  return true;
}

void QVRMemFile::Close() {
  if (m_name == kMemoryFileName) m_name = nullptr;
  QVRResFile::Close();
  if (m_own) delete[] m_data;
  m_data = nullptr;
  m_own = false;
  m_size = 0;
  m_pos = 0;
}

bool QVRMemFile::Seek(int offset, int origin) {
  if (m_data == nullptr) return false;
  int64_t target = offset;
  if (origin == SEEK_FROM_CURRENT)
    target += m_pos;
  else if (origin == SEEK_FROM_END)
    target += m_size;
  if (target < 0 || target >= m_size) {
    m_state = SEEK_ERROR;
    return false;
  }
  m_pos = static_cast<uint32_t>(target);
  m_state = OK;
  m_eof = false;
  return true;
}

void QVRMemFile::SeekStart() {
  if (m_data == nullptr) return;
  m_pos = 0;
  m_state = OK;
  m_eof = false;
}

void QVRMemFile::SeekEnd() {
  if (m_data == nullptr) return;
  m_pos = m_size;
  m_eof = true;
  m_state = SEEK_ERROR;
}

unsigned QVRMemFile::GetPos() const { return m_pos; }

void QVRMemFile::Flush() {}

unsigned QVRMemFile::GetLine(char* buffer, unsigned size, char delimiter) {
  if (m_state != OK || (m_mode & READ) == 0 || m_eof || size == 0 || buffer == nullptr ||
      m_data == nullptr)
    return 0;
  BlockBytes src(m_data, m_size, m_pos, m_eof);
  return qvr::detail::ReadLineToBuffer(src, buffer, size, delimiter);
}

unsigned QVRMemFile::GetLine(QVRString& line, unsigned size, char delimiter) {
  if (m_state != OK || (m_mode & READ) == 0 || size == 0 || m_eof || m_data == nullptr) return 0;
  BlockBytes src(m_data, m_size, m_pos, m_eof);
  return qvr::detail::ReadLineToString(src, line, size, delimiter);
}

unsigned QVRMemFile::Read(void* data, unsigned count) {
  if (m_state != OK || (m_mode & READ) == 0 || m_eof || data == nullptr || count == 0 ||
      m_data == nullptr || m_pos >= m_size)
    return 0;
  uint32_t left = m_size - m_pos;
  if (count > left) {
    count = left;
    m_state = READ_AT_END;
  }
  std::memcpy(data, m_data + m_pos, count);
  m_pos += count;
  if (m_pos >= m_size) m_eof = true;
  return count;
}

unsigned QVRMemFile::Write(const void* data, unsigned count) {
  if (m_state != OK || (m_mode & WRITE) == 0 || m_eof || data == nullptr || count == 0 ||
      m_data == nullptr || m_pos >= m_size)
    return 0;
  uint32_t left = m_size - m_pos;
  if (count > left) {
    count = left;
    m_state = WRITE_AT_END;
  }
  std::memmove(m_data + m_pos, data, count);
  m_pos += count;
  if (m_pos >= m_size) m_eof = true;
  return count;
}

void QVRMemFile::PrintInfo() const {
  QVR::LOG("MemFile info:\nAddress: %p\nMode  : %d (", static_cast<void*>(m_data),
           static_cast<int>(m_mode));
  QVR::LOG("%s)\nState : %d (", ModeText(m_mode), static_cast<int>(m_state));
  QVR::LOG("%s)\nSize : %d\nPos.  : %d\nEOF   : %s\nOwn data: %s\n", StateText(m_state),
           static_cast<int>(m_size), static_cast<int>(m_pos), m_eof ? "yes" : "no",
           m_own ? "yes" : "no");
}
