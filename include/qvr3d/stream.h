// Byte streams: the abstract QVRResFile with its byte-order readers and
// writers, and its three implementations over a disk file (QVRFile), a block
// of memory (QVRMemFile) and a byte window inside a disk file (QVRPackFile).
#ifndef QVR3D_STREAM_H
#define QVR3D_STREAM_H

#include <cstdint>
#include <cstdio>

#include "qvr3d/export.h"

class QVRString;
class QVRArchive;

namespace qvr::detail {
struct SharedFile;
}  // namespace qvr::detail

/// The abstract stream. Every read, write and seek keeps a state: the first
/// short read or write leaves OK and blocks further reads and writes until a
/// successful Seek.
///
/// What "short" means differs by stream, and a loader that must work on all
/// of them checks the count a read returns rather than the state alone:
///
/// | | short read (fewer bytes left than asked) | read that starts at the end | unknown seek origin
/// |
/// |---|---|---|---|
/// | QVRFile | returns what was there, READ_AT_END | returns 0, READ_AT_END | SEEK_ERROR |
/// | QVRMemFile | returns what was there, READ_AT_END | returns 0, state stays OK | taken as
/// SEEK_FROM_START | | QVRPackFile | returns what was there, READ_AT_END | returns 0, state stays
/// OK | taken as SEEK_FROM_START |
///
/// So `Good()` after a run of fixed-size reads catches a value cut by the end
/// of the data on every stream, but not on a memory or window stream whose
/// position was already at its end. An empty window (an empty archive member)
/// is the exception: like an empty disk file, its first read returns 0 with
/// READ_AT_END. Checking the count works everywhere:
///
///   uint8_t head[8];
///   if (f.Read(head, sizeof head) != sizeof head) return false;  // any stream
class QVR_API QVRResFile {
 public:
  /// Flags of the `mode` argument of the constructors and Open operations.
  enum OpenMode : unsigned {
    READ = 1,
    WRITE = 2,
    READWRITE = 3,
    TRUNCATE = 4,
    CREATE = 8,
    APPEND = 16,
  };
  /// The `origin` of Seek.
  enum SeekOrigin : int {
    SEEK_FROM_START = 0,
    SEEK_FROM_CURRENT = 1,
    SEEK_FROM_END = 2,
  };
  /// Stream states, as held in m_state.
  enum State : uint8_t {
    OK = 1,
    SEEK_ERROR = 3,
    WRITE_AT_END = 5,
    READ_AT_END = 7,
    FILE_CLOSED = 0x10,
    BAD_OPEN_MODE = 0x20,
    OPEN_ERROR = 0x30,
  };

  /// A closed stream: no name, mode 0, FILE_CLOSED, end of data set.
  QVRResFile();
  QVRResFile(const QVRResFile&) = delete;
  QVRResFile& operator=(const QVRResFile&) = delete;
  /// Releases the name.
  virtual ~QVRResFile();

  /// Releases the name and sets mode 0, FILE_CLOSED and the end-of-data flag.
  virtual void Close();
  /// True when the end of the data has been reached.
  virtual bool Eof() const;
  /// Moves the position by `offset` from a SeekOrigin. A success sets OK
  /// whatever the state was; a failure sets SEEK_ERROR. Returns Good().
  virtual bool Seek(int offset, int origin) = 0;
  /// Seek(0, SEEK_FROM_START).
  virtual void SeekStart();
  /// Seek(0, SEEK_FROM_END).
  virtual void SeekEnd();
  /// The current position, 0 when closed.
  virtual unsigned GetPos() const = 0;
  /// Pushes buffered writes out.
  virtual void Flush();
  /// Reads one line into `buffer`, storing at most size - 1 characters and a
  /// terminator; the delimiter is consumed, not stored, and with "\n" a
  /// trailing "\r" is dropped. Returns the stored characters plus 1 (an empty
  /// line gives 1, a cut line gives size), or 0 at the end of the data or
  /// when the stream is not readable.
  virtual unsigned GetLine(char* buffer, unsigned size, char delimiter = '\n');
  /// Reads one line into `line`, consuming at most `size` bytes (0xFFFFFFFF:
  /// no limit). Returns the bytes consumed, delimiter and dropped "\r"
  /// included; 0 when nothing could be read.
  virtual unsigned GetLine(QVRString& line, unsigned size = 0xFFFFFFFFu, char delimiter = '\n');
  /// Reads up to `count` bytes; returns how many were read. Does nothing
  /// (returns 0) unless the state is OK, the stream is readable, `data` is
  /// not null and `count` is not 0. A short read sets READ_AT_END.
  virtual unsigned Read(void* data, unsigned count) = 0;
  /// Writes up to `count` bytes; returns how many were written. Same
  /// preconditions as Read with write access; a short write sets WRITE_AT_END.
  virtual unsigned Write(const void* data, unsigned count) = 0;
  /// Writes the first min(count, length) characters of `s`, without
  /// terminator or length; returns Write's result (0 for an empty string).
  virtual unsigned WriteStr(const QVRString& s, unsigned count = 0xFFFFFFFFu);
  /// Writes a report of the stream to the log at LOG level.
  virtual void PrintInfo() const = 0;

  /// True exactly when the state is OK.
  bool Good() const { return m_state == OK; }
  /// The name the stream was opened with, null when closed.
  const char* GetName() const { return m_name; }
  /// Access bits in force: 1 read, 2 write, 3 both; 0 when closed.
  unsigned GetMode() const { return m_mode; }
  /// One of the State values.
  unsigned GetState() const { return m_state; }

  // Fixed-size readers: one Read of the value's size each. A short read
  // returns 0 (the bytes read are consumed) and leaves READ_AT_END; a read at
  // the end of a memory or window stream returns 0 and leaves OK (see above).
  uint8_t Read8();
  /// Little-endian.
  uint16_t Read16();
  uint16_t ReadBE16();
  /// Little-endian.
  uint32_t Read32();
  uint32_t ReadBE32();
  /// Little-endian IEEE single.
  float ReadFl();
  /// Little-endian IEEE double.
  double ReadDbl();

  // Fixed-size writers: one Write each; true when every byte was written.
  bool Write8(unsigned char value);
  /// Little-endian.
  bool Write16(unsigned short value);
  bool WriteBE16(unsigned short value);
  /// Little-endian.
  bool Write32(unsigned value);
  bool WriteBE32(unsigned value);
  /// Little-endian IEEE single.
  bool WriteFl(float value);
  /// Little-endian IEEE double.
  bool WriteDbl(double value);

  /// "read only", "write only", "read/write", or "error" for any other value.
  static const char* ModeText(unsigned mode);
  /// The text of a State value ("OK", "fseek error", ...), "unknown" otherwise.
  static const char* StateText(unsigned state);

 protected:
  char* m_name;
  uint8_t m_mode;
  uint8_t m_state;
  bool m_eof;
};

/// A stream over a disk file, always in binary mode. Open failures are logged
/// at DBG level only.
class QVR_API QVRFile : public QVRResFile {
 public:
  /// A closed stream; opened with Open(name, mode) when `name` is not empty.
  explicit QVRFile(const char* name = nullptr, unsigned mode = READ);
  ~QVRFile() override;

  /// Opens `name` with the OpenMode flags `mode` ("rb", "wb", "ab", "r+b"
  /// falling back to "w+b", "w+b", "a+b"); an open stream is closed first.
  /// With CREATE and write access an existing file is refused. A null or
  /// empty name returns false and changes nothing. Failures set
  /// BAD_OPEN_MODE or OPEN_ERROR, log at DBG level and return false.
  bool Open(const char* name, unsigned mode);
  /// Releases the name and closes the file.
  void Close() override;
  /// The file's end-of-file indicator (set only after a read went past the
  /// end); false when no file is open.
  bool Eof() const override;
  /// False (state unchanged) when no file is open; an origin that is not a
  /// SeekOrigin fails with SEEK_ERROR.
  bool Seek(int offset, int origin) override;
  void SeekStart() override;
  void SeekEnd() override;
  unsigned GetPos() const override;
  void Flush() override;
  unsigned GetLine(char* buffer, unsigned size, char delimiter = '\n') override;
  unsigned GetLine(QVRString& line, unsigned size = 0xFFFFFFFFu, char delimiter = '\n') override;
  unsigned Read(void* data, unsigned count) override;
  unsigned Write(const void* data, unsigned count) override;
  /// Name, file handle, mode, state and end-of-file flag at LOG level.
  void PrintInfo() const override;

  /// The open file stream, null when closed.
  FILE* GetFile() const { return m_file; }

 private:
  // The C library needs a positioning call between a write and a read.
  void SwitchTo(uint8_t direction);

  FILE* m_file;
  uint8_t m_lastOp;  // 0 none or positioned, 1 read, 2 write
};

/// A stream over a fixed-size block of memory, borrowed or owned. The block
/// never grows; the end-of-data flag is set as soon as the position reaches
/// its end, and reads and writes then return 0.
class QVR_API QVRMemFile : public QVRResFile {
 public:
  /// A closed stream; opened with Open(...) when `size` is not 0.
  explicit QVRMemFile(unsigned size = 0, unsigned mode = READWRITE, unsigned char* data = nullptr,
                      bool own = false, const char* name = nullptr);
  ~QVRMemFile() override;

  /// Opens over `data` (owned and released by Close when `own` is true), or
  /// over a new owned block of `size` bytes when `data` is null. TRUNCATE or
  /// CREATE zero-fill the block. The name defaults to "Memory file". Size 0
  /// returns false and changes nothing; a failed allocation sets OPEN_ERROR.
  bool Open(unsigned size, unsigned mode, unsigned char* data = nullptr, bool own = false,
            const char* name = nullptr);
  /// Releases the name and, when owned, the block.
  void Close() override;
  /// Targets below 0 or not below the size fail with SEEK_ERROR. Any origin
  /// other than SEEK_FROM_CURRENT and SEEK_FROM_END counts from the start.
  bool Seek(int offset, int origin) override;
  void SeekStart() override;
  /// Moves to the end of the block; the end is not a readable position, so
  /// the state becomes SEEK_ERROR and the end-of-data flag is set.
  void SeekEnd() override;
  unsigned GetPos() const override;
  void Flush() override;
  unsigned GetLine(char* buffer, unsigned size, char delimiter = '\n') override;
  unsigned GetLine(QVRString& line, unsigned size = 0xFFFFFFFFu, char delimiter = '\n') override;
  unsigned Read(void* data, unsigned count) override;
  unsigned Write(const void* data, unsigned count) override;
  /// Address, mode, state, size, position, end flag and ownership at LOG level.
  void PrintInfo() const override;

  /// The block, null when closed.
  unsigned char* GetData() const { return m_data; }
  /// The block size in bytes, 0 when closed.
  unsigned GetSize() const { return m_size; }
  /// True when Close releases the block.
  bool IsOwner() const { return m_own; }

 private:
  bool m_own;
  uint8_t* m_data;
  uint32_t m_size;
  uint32_t m_pos;
};

/// A stream over the byte range [start, end) of a disk file, with positions
/// counted from `start`. The window never grows, and reads and writes never
/// pass its end.
class QVR_API QVRPackFile : public QVRResFile {
 public:
  /// A closed stream; opened with Open(...) when `file` is not empty.
  explicit QVRPackFile(const char* file = nullptr, unsigned start = 0, unsigned end = 0,
                       unsigned mode = READ, const char* name = nullptr);
  ~QVRPackFile() override;

  /// Opens the window [start, end) of `file` (read-only for read access,
  /// read and write for write access: the file must exist, and is never
  /// created or truncated). Transfers read and write the file at the stream's
  /// own position, so windows on one file never disturb one another. `end` is lowered to the file
  /// size; a window that this leaves empty fails, while an empty window asked for (start == end,
  /// not past the end of the file) opens with size 0. `name` (default: the file name) is what
  /// GetName shows. A null or empty file name returns false and changes nothing. Failures set
  /// BAD_OPEN_MODE or OPEN_ERROR and log at DBG level.
  bool Open(const char* file, unsigned start, unsigned end, unsigned mode,
            const char* name = nullptr);
  /// Releases both names and the file (an archive's file stays open for its
  /// other users).
  void Close() override;
  /// Positions relative to the window; targets outside it fail. Any origin
  /// other than SEEK_FROM_CURRENT and SEEK_FROM_END counts from the start.
  bool Seek(int offset, int origin) override;
  void SeekStart() override;
  /// Moves to the end of the window: SEEK_ERROR and end-of-data set.
  void SeekEnd() override;
  unsigned GetPos() const override;
  void Flush() override;
  unsigned GetLine(char* buffer, unsigned size, char delimiter = '\n') override;
  unsigned GetLine(QVRString& line, unsigned size = 0xFFFFFFFFu, char delimiter = '\n') override;
  unsigned Read(void* data, unsigned count) override;
  unsigned Write(const void* data, unsigned count) override;
  /// File, name, handle, mode, state, window bounds and end flag at LOG level.
  void PrintInfo() const override;

  /// The disk file's path, null when closed.
  const char* GetFileName() const { return m_fileName; }
  /// First byte of the window, absolute in the file.
  unsigned GetStart() const { return m_start; }
  /// One past the last byte of the window, absolute in the file.
  unsigned GetEnd() const { return m_end; }
  /// The window size in bytes, 0 when closed.
  unsigned GetSize() const { return m_end - m_start; }

 private:
  // Archives hand out windows on the file they keep open.
  friend class QVRArchive;
  struct LineSource;

  // Opens the window on `shared`, taking a hold on it; `fileName` is what
  // GetFileName shows. Read access only, and the window is taken to lie
  // inside the file: the caller has checked it.
  QVR_LOCAL bool OpenShared(qvr::detail::SharedFile* shared, const char* fileName, unsigned start,
                            unsigned end, const char* name);
  // The window checks of Open once the file is open and measured.
  bool Place(unsigned start, unsigned end, uint64_t fileSize);
  // Copies up to `count` bytes at m_pos into `out` without moving m_pos.
  uint32_t Fetch(uint8_t* out, uint32_t count);
  // Fills the read-ahead buffer from absolute offset `at`; false when nothing
  // could be read there.
  bool Refill(uint32_t at);

  char* m_fileName;
  qvr::detail::SharedFile* m_file;
  uint32_t m_start;
  uint32_t m_end;
  uint32_t m_pos;
  // Read-ahead for short reads and lines: the bytes [m_bufferStart,
  // m_bufferStart + m_bufferFill) of the file, allocated on first use.
  uint8_t* m_buffer;
  uint32_t m_bufferStart;
  uint32_t m_bufferFill;
};

#endif
