// QVRFile: the stream over a disk file, on the C library's buffered streams in
// binary mode, with the open-mode table and DBG-level open messages.
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

// GetLine's byte source: the FILE's buffer, a failed read leaving READ_AT_END
// as a failed one-byte Read would.
class FileLineBytes {
 public:
  FileLineBytes(FILE* file, uint8_t& state) : m_bytes(file), m_state(state) {}
  size_t Avail(const char*& p) {
    size_t n = m_bytes.Avail(p);
    if (n == 0) m_state = QVRResFile::READ_AT_END;
    return n;
  }
  void Consume(size_t n) { m_bytes.Consume(n); }

 private:
  qvr::detail::StdioBytes m_bytes;
  uint8_t& m_state;
};

// Mode strings by access bits and flags; CREATE does not change the string.
const char* ModeString(unsigned mode) {
  bool append = (mode & QVRResFile::APPEND) != 0;
  switch (mode & QVRResFile::READWRITE) {
    case QVRResFile::READ:
      return "rb";
    case QVRResFile::WRITE:
      return append ? "ab" : "wb";
    default:
      if (append) return "a+b";
      return (mode & QVRResFile::TRUNCATE) != 0 ? "w+b" : "r+b";
  }
}

}  // namespace

QVRFile::QVRFile(const char* name, unsigned mode) : m_file(nullptr), m_lastOp(kNone) {
  if (name != nullptr && name[0] != 0) Open(name, mode);
}

QVRFile::~QVRFile() { QVRFile::Close(); }

bool QVRFile::Open(const char* name, unsigned mode) {
  if (name == nullptr || name[0] == 0) return false;
  Close();
  m_state = OK;
  m_name = QVRString::StringCopy(name);
  m_mode = static_cast<uint8_t>(mode & READWRITE);
  if (m_mode == 0) {
    m_state = BAD_OPEN_MODE;
    QVR::DBG("File: bad open mode (%s)\n", name);
    return false;
  }
  const char* modeString = ModeString(mode);
  // Any name the system can see counts as existing, including files we may
  // not read: opening them for reading to test would report them missing,
  // and the write would then empty them.
  if ((m_mode & WRITE) != 0 && (mode & CREATE) != 0 && qvr::detail::PathExists(name)) {
    m_state = OPEN_ERROR;
    QVR::DBG("File: open error: file already exists (CREATE) %s\n", name);
    return false;
  }
  m_file = qvr::detail::OpenStream(name, modeString);
  if (m_file == nullptr && modeString[0] == 'r' && modeString[1] == '+') {
    modeString = "w+b";
    m_file = qvr::detail::OpenStream(name, modeString);
  }
  if (m_file == nullptr) {
    m_state = OPEN_ERROR;
    QVR::DBG("File: Can not open %s in mode '%s'\n", name, modeString);
    return false;
  }
  m_lastOp = kNone;
  m_eof = std::feof(m_file) != 0;
  return true;
}

void QVRFile::Close() {
  QVRResFile::Close();
  if (m_file != nullptr) {
    std::fclose(m_file);
    m_file = nullptr;
  }
  m_lastOp = kNone;
}

bool QVRFile::Eof() const { return m_file != nullptr && std::feof(m_file) != 0; }

bool QVRFile::Seek(int offset, int origin) {
  if (m_file == nullptr) return false;
  std::clearerr(m_file);
  bool moved = false;
  const int whence = origin == SEEK_FROM_START     ? SEEK_SET
                     : origin == SEEK_FROM_CURRENT ? SEEK_CUR
                     : origin == SEEK_FROM_END     ? SEEK_END
                                                   : -1;
  if (whence >= 0) moved = qvr::detail::SeekFile(m_file, offset, whence);
  m_state = moved ? OK : SEEK_ERROR;
  m_lastOp = kNone;
  m_eof = std::feof(m_file) != 0;
  return m_state == OK;
}

void QVRFile::SeekStart() { Seek(0, SEEK_SET); }

void QVRFile::SeekEnd() { Seek(0, SEEK_END); }

unsigned QVRFile::GetPos() const {
  if (m_file == nullptr) return 0;
  int64_t pos = qvr::detail::TellFile(m_file);
  if (pos < 0) return 0;
  return pos > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<unsigned>(pos);
}

void QVRFile::Flush() {
  if (m_file != nullptr) std::fflush(m_file);
}

void QVRFile::SwitchTo(uint8_t direction) {
  // A positioning call is what the C library asks for between output and
  // input on an update stream; a seek by 0 keeps the position.
  if (m_lastOp != kNone && m_lastOp != direction) qvr::detail::SeekFile(m_file, 0, SEEK_CUR);
  m_lastOp = direction;
}

unsigned QVRFile::GetLine(char* buffer, unsigned size, char delimiter) {
  if (m_state != OK || (m_mode & READ) == 0 || m_eof || size == 0 || buffer == nullptr ||
      m_file == nullptr)
    return 0;
  SwitchTo(kReading);
  FileLineBytes src(m_file, m_state);
  unsigned result = qvr::detail::ReadLineToBuffer(src, buffer, size, delimiter);
  m_eof = std::feof(m_file) != 0;
  return result;
}

unsigned QVRFile::GetLine(QVRString& line, unsigned size, char delimiter) {
  if (m_state != OK || (m_mode & READ) == 0 || size == 0 || m_eof || m_file == nullptr) return 0;
  SwitchTo(kReading);
  FileLineBytes src(m_file, m_state);
  unsigned result = qvr::detail::ReadLineToString(src, line, size, delimiter);
  m_eof = std::feof(m_file) != 0;
  return result;
}

unsigned QVRFile::Read(void* data, unsigned count) {
  if (m_state != OK || (m_mode & READ) == 0 || data == nullptr || count == 0 || m_file == nullptr)
    return 0;
  SwitchTo(kReading);
  size_t got = std::fread(data, 1, count, m_file);
  if (got < count) m_state = READ_AT_END;
  m_eof = std::feof(m_file) != 0;
  return static_cast<unsigned>(got);
}

unsigned QVRFile::Write(const void* data, unsigned count) {
  if (m_state != OK || (m_mode & WRITE) == 0 || data == nullptr || count == 0 || m_file == nullptr)
    return 0;
  SwitchTo(kWriting);
  size_t put = std::fwrite(data, 1, count, m_file);
  if (put < count) m_state = WRITE_AT_END;
  m_eof = std::feof(m_file) != 0;
  return static_cast<unsigned>(put);
}

void QVRFile::PrintInfo() const {
  QVR::LOG("File info : %s\nFILE* : %p\nMode  : %d (", m_name != nullptr ? m_name : "",
           static_cast<void*>(m_file), static_cast<int>(m_mode));
  QVR::LOG("%s)\nState : %d (", ModeText(m_mode), static_cast<int>(m_state));
  QVR::LOG("%s)\nEOF   : %s\n", StateText(m_state), m_eof ? "yes" : "no");
}
