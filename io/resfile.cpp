// QVRResFile: the closed state, line reading over the virtual Read, the
// fixed-size little- and big-endian readers and writers, and the state texts.
#include <cstring>

#include "io/le.h"
#include "io/linereader.h"
#include "qvr3d/stream.h"
#include "qvr3d/string.h"

namespace {

using qvr::detail::Get16;
using qvr::detail::Get32;
using qvr::detail::Get64;
using qvr::detail::GetBE16;
using qvr::detail::GetBE32;
using qvr::detail::Put16;
using qvr::detail::Put32;
using qvr::detail::Put64;
using qvr::detail::PutBE16;
using qvr::detail::PutBE32;

// Reads one byte at a time through the stream's own Read, for streams that
// have no faster way to reach their data.
class VirtualBytes {
 public:
  explicit VirtualBytes(QVRResFile& stream) : m_stream(stream) {}
  size_t Avail(const char*& p) {
    if (!m_held) {
      if (m_stream.Read(&m_byte, 1) != 1) return 0;
      m_held = true;
    }
    p = &m_byte;
    return 1;
  }
  void Consume(size_t) { m_held = false; }

 private:
  QVRResFile& m_stream;
  char m_byte = 0;
  bool m_held = false;
};

}  // namespace

QVRResFile::QVRResFile() : m_name(nullptr), m_mode(0), m_state(FILE_CLOSED), m_eof(true) {}

QVRResFile::~QVRResFile() { delete[] m_name; }

void QVRResFile::Close() {
  delete[] m_name;
  m_name = nullptr;
  m_mode = 0;
  m_state = FILE_CLOSED;
  m_eof = true;
}

bool QVRResFile::Eof() const { return m_eof; }

void QVRResFile::SeekStart() { Seek(0, SEEK_FROM_START); }

void QVRResFile::SeekEnd() { Seek(0, SEEK_FROM_END); }

void QVRResFile::Flush() {}

unsigned QVRResFile::GetLine(char* buffer, unsigned size, char delimiter) {
  if (m_state != OK || (m_mode & READ) == 0 || m_eof || size == 0 || buffer == nullptr) return 0;
  VirtualBytes src(*this);
  unsigned result = qvr::detail::ReadLineToBuffer(src, buffer, size, delimiter);
  m_eof = Eof();
  return result;
}

unsigned QVRResFile::GetLine(QVRString& line, unsigned size, char delimiter) {
  if (m_state != OK || (m_mode & READ) == 0 || size == 0 || m_eof) return 0;
  VirtualBytes src(*this);
  unsigned result = qvr::detail::ReadLineToString(src, line, size, delimiter);
  m_eof = Eof();
  return result;
}

unsigned QVRResFile::WriteStr(const QVRString& s, unsigned count) {
  unsigned n = count < s.Length() ? count : s.Length();
  if (n == 0) return 0;
  return Write(s.Text(), n);
}

uint8_t QVRResFile::Read8() {
  uint8_t b = 0;
  return Read(&b, 1) == 1 ? b : 0;
}

uint16_t QVRResFile::Read16() {
  uint8_t b[2];
  return Read(b, 2) == 2 ? static_cast<uint16_t>(Get16(b)) : 0;
}

uint16_t QVRResFile::ReadBE16() {
  uint8_t b[2];
  return Read(b, 2) == 2 ? static_cast<uint16_t>(GetBE16(b)) : 0;
}

uint32_t QVRResFile::Read32() {
  uint8_t b[4];
  return Read(b, 4) == 4 ? Get32(b) : 0;
}

uint32_t QVRResFile::ReadBE32() {
  uint8_t b[4];
  return Read(b, 4) == 4 ? GetBE32(b) : 0;
}

float QVRResFile::ReadFl() {
  uint8_t b[4];
  if (Read(b, 4) != 4) return 0.0f;
  uint32_t bits = Get32(b);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double QVRResFile::ReadDbl() {
  uint8_t b[8];
  if (Read(b, 8) != 8) return 0.0;
  uint64_t bits = Get64(b);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool QVRResFile::Write8(unsigned char value) { return Write(&value, 1) == 1; }

bool QVRResFile::Write16(unsigned short value) {
  uint8_t b[2];
  Put16(b, value);
  return Write(b, 2) == 2;
}

bool QVRResFile::WriteBE16(unsigned short value) {
  uint8_t b[2];
  PutBE16(b, value);
  return Write(b, 2) == 2;
}

bool QVRResFile::Write32(unsigned value) {
  uint8_t b[4];
  Put32(b, value);
  return Write(b, 4) == 4;
}

bool QVRResFile::WriteBE32(unsigned value) {
  uint8_t b[4];
  PutBE32(b, value);
  return Write(b, 4) == 4;
}

bool QVRResFile::WriteFl(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  uint8_t b[4];
  Put32(b, bits);
  return Write(b, 4) == 4;
}

bool QVRResFile::WriteDbl(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  uint8_t b[8];
  Put64(b, bits);
  return Write(b, 8) == 8;
}

const char* QVRResFile::ModeText(unsigned mode) {
  switch (mode) {
    case 1:
      return "read only";
    case 2:
      return "write only";
    case 3:
      return "read/write";
    default:
      return "error";
  }
}

const char* QVRResFile::StateText(unsigned state) {
  switch (state) {
    case OK:
      return "OK";
    case SEEK_ERROR:
      return "fseek error";
    case WRITE_AT_END:
      return "write at end";
    case READ_AT_END:
      return "read at end";
    case FILE_CLOSED:
      return "file closed";
    case BAD_OPEN_MODE:
      return "bad open mode";
    case OPEN_ERROR:
      return "open error";
    default:
      return "unknown";
  }
}
