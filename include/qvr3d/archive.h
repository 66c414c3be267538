// File providers: the sortable listing interface QVRFileProvider, directory
// listings (QVRDir), and archives (QVRArchive with the own "QVRA" format
// QVRArchQVR and the Quake "PACK" format QVRArchPAK).
#ifndef QVR3D_ARCHIVE_H
#define QVR3D_ARCHIVE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "qvr3d/export.h"
#include "qvr3d/string.h"

class QVRResFile;

namespace qvr::detail {
struct SharedFile;
}  // namespace qvr::detail

/// The head of every listing item: its slot of the sort permutation and its
/// name. For the item stored at position i, `index` holds the storage
/// position of the i-th item in sorted order.
struct QVRSortableItem {
  uint32_t index = 0;
  char* name = nullptr;
};

/// An abstract, sortable listing of named files from which streams can be
/// opened. Sorting only rearranges the permutation held in the items, so item
/// numbers stay stable while a caller walks the sorted order:
///
///   dir.Sort(QVRFileProvider::SORT_NAME | QVRFileProvider::SORT_DIRS_FIRST);
///   for (unsigned k = 0; k < dir.NbFiles(); ++k) puts(dir.FileName(dir.SortedIndex(k)));
class QVR_API QVRFileProvider {
 public:
  /// Values of the Sort(int) argument: a key in the low three bits, OR-ed
  /// with options.
  enum SortMode : int {
    SORT_NONE = 0,           ///< storage order
    SORT_NAME = 1,           ///< by name
    SORT_SIZE = 2,           ///< by size, ties by name
    SORT_DATE = 3,           ///< by date, ties by name
    SORT_EXT = 4,            ///< by extension (none first), ties by name
    SORT_KEY_MASK = 7,       ///< the key bits
    SORT_DESCENDING = 0x10,  ///< negate the comparison
    SORT_CASE = 0x20,        ///< byte-wise names; otherwise ASCII case-insensitive
    SORT_DIRS_FIRST = 0x40,  ///< directories before files (directories only)
  };

  /// A position in a listing: an item number in storage order.
  class QVR_API iterator {
   public:
    explicit iterator(unsigned pos = 0) : m_pos(pos) {}
    virtual ~iterator() = default;
    /// The item number this iterator stands on.
    virtual unsigned GetPos() const { return m_pos; }
    unsigned operator*() const { return GetPos(); }
    iterator& operator++() {
      ++m_pos;
      return *this;
    }
    bool operator==(const iterator& other) const { return GetPos() == other.GetPos(); }
    bool operator!=(const iterator& other) const { return GetPos() != other.GetPos(); }

   protected:
    unsigned m_pos;
  };

  /// Sort key 0 and all three options off.
  QVRFileProvider();
  QVRFileProvider(const QVRFileProvider&) = delete;
  QVRFileProvider& operator=(const QVRFileProvider&) = delete;
  virtual ~QVRFileProvider();

  /// Replaces the listing by the one of `name`; false on failure.
  virtual bool Open(const char* name) = 0;
  /// Absolute path of the directory or archive; null when there is none.
  virtual const char* Name() const = 0;
  /// Number of items.
  virtual unsigned NbFiles() const = 0;
  /// Re-reads the listing; the base does nothing.
  virtual void Update();
  /// Opens the file `name` read-only; null when it cannot be opened. The
  /// caller owns the stream.
  virtual QVRResFile* OpenFile(const char* name) const = 0;
  /// Opens the item the iterator stands on; null past the end.
  virtual QVRResFile* OpenFile(const iterator& it) const = 0;
  /// Resets the permutation to storage order, then, for a non-zero key,
  /// stores the key and options of `mode` and sorts.
  virtual void Sort(int mode);
  /// Copies the file `src` of this listing to the disk file `dst`.
  virtual bool CopyFile(const char* src, const char* dst) const = 0;
  /// Writes a report of the listing to the log at LOG level.
  virtual void PrintInfo() const = 0;

  /// Item accessors; `i` is an item number below NbFiles() (not checked).
  virtual const char* FileName(unsigned i) const = 0;
  virtual unsigned FileSize(unsigned i) const = 0;
  /// Modification time, seconds since 1970-01-01 UTC; 0 when unknown.
  virtual unsigned long FileDate(unsigned i) const = 0;
  /// True when every bit of `mask` is set in the item's attributes.
  virtual bool FileAccess(unsigned i, unsigned mask) const = 0;
  virtual bool IsFileHidden(unsigned i) const = 0;
  virtual bool IsFile(unsigned i) const = 0;
  virtual bool IsFileLink(unsigned i) const = 0;
  virtual bool IsFileDir(unsigned i) const = 0;
  /// Ordering of two items under the stored key and options: negative when
  /// `a` sorts first.
  virtual int CompareFunc(const QVRSortableItem* a, const QVRSortableItem* b) const = 0;
  /// Address of item `i` (not checked).
  virtual QVRSortableItem* GetItem(unsigned i) const = 0;

  /// Quicksort of the permutation slots first..last; nothing when last <= first.
  void Sort(int first, int last);
  /// Storage position of the i-th item in sorted order (not checked).
  unsigned SortedIndex(unsigned i) const;

  /// First and one-past-last item numbers, in storage order.
  iterator begin() const { return iterator(0); }
  iterator end() const { return iterator(NbFiles()); }

  /// The options of the last Sort with a non-zero key.
  unsigned SortKey() const { return m_sortKey; }
  bool SortDirsFirst() const { return m_dirsFirst; }
  bool SortDescending() const { return m_descending; }
  bool SortCaseSensitive() const { return m_caseSensitive; }

 protected:
  /// Name comparison under the case option (ASCII folding when off).
  int CompareNames(const char* a, const char* b) const;
  /// The key comparison shared by every provider; `dirA`/`dirB` say whether
  /// each item is a directory (used with SORT_DIRS_FIRST only when
  /// `useDirs` is true).
  int CompareItems(const char* nameA, uint32_t sizeA, uint32_t dateA, bool dirA, const char* nameB,
                   uint32_t sizeB, uint32_t dateB, bool dirB, bool useDirs) const;

  uint8_t m_sortKey;
  bool m_dirsFirst;
  bool m_descending;
  bool m_caseSensitive;
};

/// One item of a directory listing.
struct DirEntry : QVRSortableItem {
  /// Low 16 bits: the stat mode (0x4000 directory, 0x8000 regular file,
  /// permission bits); 0x10000 when the entry is hidden.
  uint32_t attributes = 0;
  uint32_t size = 0;
  /// Modification time, seconds since 1970-01-01 UTC.
  uint32_t date = 0;
};

/// The listing of one directory of the local file system, with its absolute
/// path. Listing temporarily changes the process's current directory.
///
///   QVRDir dir("data");
///   QVRResFile* f = dir.OpenFile("title.bmp");  // data/title.bmp, or null
class QVR_API QVRDir : public QVRFileProvider {
 public:
  /// Attribute bits of a DirEntry.
  enum : uint32_t { ATTR_DIR = 0x4000, ATTR_FILE = 0x8000, ATTR_HIDDEN = 0x10000 };

  /// Lists `name`; null, "", "." or a directory that cannot be entered or
  /// read list the current working directory instead.
  explicit QVRDir(const char* name = nullptr);
  ~QVRDir() override;

  /// Lists the directory `name` (relative names are resolved against the
  /// listed path). False when it cannot be entered (nothing changes) or
  /// cannot be read (the path is the new one, the listing empty).
  bool Open(const char* name) override;
  /// The absolute path, null when empty.
  const char* Name() const override;
  unsigned NbFiles() const override;
  /// Re-reads the listed directory; the result is not reported.
  void Update() override;
  /// Opens `name` (absolute, or relative to the path) read-only; null when it
  /// does not open or the joined name is too long.
  QVRResFile* OpenFile(const char* name) const override;
  QVRResFile* OpenFile(const iterator& it) const override;
  /// Copies `src` to `dst` (both resolved as in OpenFile); true when every
  /// byte was copied.
  bool CopyFile(const char* src, const char* dst) const override;
  /// Path, counts and one line per entry at LOG level.
  void PrintInfo() const override;

  /// True when only "." and ".." are listed.
  bool IsEmpty() const;
  /// Drops every entry; the path stays.
  void Clear();
  /// Reads the listing of the path. False when the path is empty or the
  /// directory cannot be read.
  bool GetContent();
  /// Lists the parent directory (nothing on a root or an empty path).
  void GoUp();
  /// Lists the root of the path.
  void GoRoot();
  /// Lists the current working directory.
  void GoCWD();
  /// Number of listed entries that are directories.
  unsigned NbSubdirs() const { return m_subdirs; }

  const char* FileName(unsigned i) const override;
  unsigned FileSize(unsigned i) const override;
  unsigned long FileDate(unsigned i) const override;
  bool FileAccess(unsigned i, unsigned mask) const override;
  bool IsFileHidden(unsigned i) const override;
  bool IsFile(unsigned i) const override;
  bool IsFileLink(unsigned i) const override;
  bool IsFileDir(unsigned i) const override;
  int CompareFunc(const QVRSortableItem* a, const QVRSortableItem* b) const override;
  QVRSortableItem* GetItem(unsigned i) const override;

 private:
  friend class QVRResFinder;
  // An object with nothing listed yet, for callers that Open it at once.
  struct Unlisted {};
  explicit QVRDir(Unlisted);
  bool ListCurrentDir();
  bool Enter(const char* name, bool relativeToPath);

  mutable std::vector<DirEntry> m_entries;
  uint32_t m_subdirs;
  QVRString m_path;
};

/// One directory entry of an archive. Its name is held by the archive.
struct ArchiveEntry : QVRSortableItem {
  uint32_t size = 0;   ///< length of the data in bytes
  uint32_t start = 0;  ///< offset of the data from the start of the archive file
  uint32_t date = 0;   ///< seconds since 1970-01-01 UTC; 0 when not stored
};

/// An archive file: a header, the members' bytes and a directory. The base
/// does lookup, streams, extraction and every edit; each format class reads
/// and writes only its header and directory. An open archive keeps its file
/// open for reading: every window stream it hands out reads through that one
/// file at a position of its own, and stays usable after the archive is
/// closed or destroyed. An edit that moves a rebuilt file into place opens
/// the new file for the streams handed out afterwards; streams opened before
/// keep reading the file they were opened on.
///
///   QVRArchive* a = QVRArchive::OpenArchive("data.pak");  // null if unusable
///   QVRResFile* f = a ? a->OpenFile("maps/e1m1.bsp") : nullptr;
class QVR_API QVRArchive : public QVRFileProvider {
 public:
  /// Format ids given by FindArchiveFormat.
  enum FormatId : int {
    FORMAT_NONE = 0,      ///< unrecognised, missing or unreadable
    FORMAT_QVR = 1,       ///< own format, "QVRA"
    FORMAT_PAK = 2,       ///< Quake PAK, "PACK"
    FORMAT_BIFF = 4,      ///< "BIFFV1  "
    FORMAT_SIZED = 5,     ///< no magic: 6 + 12 * count + data size == file size
    FORMAT_ENSEMBLE = 6,  ///< "Copyright (c) 1997 Ensemble"
    FORMAT_RASS = 7,      ///< "rass"
    FORMAT_ZIP = 8,       ///< 50 4B 03 04
  };
  static constexpr unsigned NONE = 0xFFFFFFFFu;

  /// A closed archive object of format id `format`.
  explicit QVRArchive(int format);
  ~QVRArchive() override;

  /// The format id of `file` from its first bytes; 0 when it is missing,
  /// empty or not recognised. Nothing is logged.
  static int FindArchiveFormat(const char* file);
  /// Opens `file` as an archive of the class its format needs (QVRArchQVR or
  /// QVRArchPAK); null for other formats or when Open fails. The caller owns
  /// the result.
  static QVRArchive* OpenArchive(const char* file);
  /// A short name of a format id ("QVR", "PAK", "ZIP", ...; "unknown").
  static const char* FormatText(int format);
  /// True when a member name may be extracted below a folder: not empty, not
  /// absolute (no leading "/" or "\", no drive letter) and without a ".."
  /// component (either separator).
  static bool IsSafeName(const char* name);

  /// Opens the archive file `file`; false leaves any previous directory in
  /// place. The directory is refused when a record's data would lie outside
  /// the file.
  bool Open(const char* file) override = 0;
  /// The absolute file name, null while closed.
  const char* Name() const override;
  unsigned NbFiles() const override;
  /// The first entry called `name` as a read-only window stream; null when
  /// there is none or it cannot be opened.
  QVRResFile* OpenFile(const char* name) const override;
  QVRResFile* OpenFile(const iterator& it) const override;
  /// Extracts the entry `name` to the disk file `dst`.
  bool CopyFile(const char* name, const char* dst) const override;
  /// "Archive %s (%d entries)" and one line per entry at LOG level.
  void PrintInfo() const override;

  const char* FileName(unsigned i) const override;
  unsigned FileSize(unsigned i) const override;
  unsigned long FileDate(unsigned i) const override;
  /// Always true.
  bool FileAccess(unsigned i, unsigned mask) const override;
  /// Always false.
  bool IsFileHidden(unsigned i) const override;
  /// Always true.
  bool IsFile(unsigned i) const override;
  /// Always false.
  bool IsFileLink(unsigned i) const override;
  /// Always false.
  bool IsFileDir(unsigned i) const override;
  int CompareFunc(const QVRSortableItem* a, const QVRSortableItem* b) const override;
  QVRSortableItem* GetItem(unsigned i) const override;

  /// Text describing the format.
  virtual const char* FormatInfo() const = 0;
  /// Creates an empty archive `file`; false when it already exists (it is
  /// never overwritten) or cannot be written.
  virtual bool Create(const char* file);
  /// Forgets the file name and every entry.
  virtual void Close();
  /// Entry `i` as a read-only window stream; null when `i` is out of range,
  /// the entry lies outside the file or the stream does not open.
  virtual QVRResFile* OpenResFile(unsigned i) const;
  /// Appends the content of the disk file `src` under `name` (or the name of
  /// `src` when null): the last path component, cut to the format's name
  /// length. Returns the new entry number, NONE on failure; a failure leaves
  /// the archive file with its previous directory and data.
  virtual unsigned AddFile(const char* src, const char* name = nullptr);
  /// Appends the content of the disk file `file` under `storedName` kept
  /// whole, folders included ("maps/e1m1.bsp"); "\" is stored as "/". A name
  /// that is empty, ends with a separator, is unsafe to extract (see
  /// IsSafeName) or is longer than the format holds (31 bytes for QVR, 56 for
  /// PAK) is refused, never cut. Otherwise as AddFile: the new entry number,
  /// NONE on failure, and an entry of the same name is not replaced (FindFile
  /// keeps finding the first).
  unsigned AddFileAs(const char* file, const char* storedName);
  /// Number of the first entry, in stored order, named exactly `name`
  /// (case-sensitive); NONE when there is none. Constant time.
  virtual unsigned FindFile(const char* name) const;
  /// Removes entry `i`, rebuilding the archive through a temporary file in
  /// its folder. A failure leaves the archive file and the directory as they
  /// were.
  virtual bool RemoveFile(unsigned i);
  /// Renames entry `i` (last path component of `name`, cut to the format's
  /// name length) and rewrites the directory in place.
  virtual bool RenameFile(unsigned i, const char* name);
  /// Replaces the data of entry `i` by the content of `src`, rebuilding the
  /// archive as RemoveFile does.
  virtual bool UpdateFile(unsigned i, const char* src);
  /// Writes the data of entry `i` to the disk file `dst`; true when every
  /// byte was written.
  virtual bool ExtractFile(unsigned i, const char* dst) const;
  /// Extracts every entry below the existing folder `dir`, creating the
  /// sub-folders that member names need. Names that are unsafe (see
  /// IsSafeName) are refused with a WARN message. True when every entry was
  /// extracted.
  virtual bool ExtractAll(const char* dir) const;
  /// Sum of the sizes of all entries.
  virtual unsigned TotalSize() const;

  /// Stores `file` as the archive name, made absolute against the current
  /// directory; null or empty changes nothing.
  void SetName(const char* file);
  /// A table of the entries at LOG level ("No files in archive." when empty).
  void PrintContent() const;
  /// Writes the directory at the data end and then the header into `f`.
  /// True when every byte was written.
  bool WriteDirectory(QVRResFile& f) const;
  /// Entry `i`, null when out of range.
  const ArchiveEntry* GetEntry(unsigned i) const;
  /// The format id of this object.
  int GetFormat() const { return m_format; }
  /// Where the next added data goes and the directory is written.
  unsigned DataEnd() const { return m_dataEnd; }

 protected:
  /// Size of one directory record of the format.
  virtual unsigned RecordSize() const = 0;
  /// Longest stored name of the format.
  virtual unsigned MaxNameLength() const = 0;
  /// True when the format stores modification dates.
  virtual bool HasDates() const = 0;
  /// Fills the 12-byte header of a directory of `count` entries at `dataEnd`.
  virtual void EncodeHeader(uint8_t* header, uint32_t dataEnd, unsigned count) const = 0;
  /// Fills one directory record of RecordSize() bytes.
  virtual void EncodeRecord(const ArchiveEntry& entry, uint8_t* record) const = 0;

  /// One decoded directory record; `name` need not be terminated.
  struct RawEntry {
    const char* name;
    unsigned nameLength;
    uint32_t size;
    uint32_t start;
    uint32_t date;
  };
  /// Replaces the directory by `entries` (names copied into the archive's
  /// own storage), checks every record against the file size and sets the
  /// name and data end. False (nothing changed) when a record's data lies
  /// outside a file of `fileSize` bytes.
  bool LoadDirectory(const char* file, const std::vector<RawEntry>& entries, uint64_t fileSize,
                     uint32_t dataEnd);

  int m_format;
  uint32_t m_dataEnd;

 private:
  char* StoreName(const char* name, unsigned length);
  unsigned AppendFile(const char* src, const char* stored, unsigned nameLength);
  void RebuildIndex();
  void IndexEntry(unsigned i);
  bool RebuildWith(unsigned target, const char* replacement, uint32_t replacementSize,
                   uint32_t replacementDate);
  bool WriteDirectoryAt(QVRResFile& f, const std::vector<ArchiveEntry>& entries,
                        uint32_t dataEnd) const;

  // Opens m_file on m_name again (after the file was replaced); false when it
  // cannot be opened, leaving none.
  bool ReopenFile() const;

  char* m_name;
  // The archive file, held once by the archive and once by each open window
  // stream; null while closed or when it could not be opened (then tried
  // again by the next stream).
  mutable qvr::detail::SharedFile* m_file;
  std::vector<ArchiveEntry> m_entries;
  std::vector<std::unique_ptr<char[]>> m_nameBlocks;
  std::vector<uint32_t> m_hashSlots;  // entry number + 1, 0 = free
};

/// The library's own archive format, "QVRA": a 12-byte header (magic,
/// directory offset, entry count), the data, then 44-byte records (32-byte
/// name, size, start, date).
class QVR_API QVRArchQVR : public QVRArchive {
 public:
  QVRArchQVR();
  ~QVRArchQVR() override;
  /// "QVR Archive v1.00".
  const char* FormatInfo() const override;
  /// Opens a "QVRA" archive; false when the header or directory is invalid.
  bool Open(const char* file) override;

 protected:
  unsigned RecordSize() const override;
  unsigned MaxNameLength() const override;
  bool HasDates() const override;
  void EncodeHeader(uint8_t* header, uint32_t dataEnd, unsigned count) const override;
  void EncodeRecord(const ArchiveEntry& entry, uint8_t* record) const override;
};

/// Quake 1/2 PAK archives, "PACK": a 12-byte header (magic, directory
/// offset, directory length), the data, then 64-byte records (56-byte name,
/// start, size). No dates are stored.
class QVR_API QVRArchPAK : public QVRArchive {
 public:
  QVRArchPAK();
  ~QVRArchPAK() override;
  /// "Id Software Quake 1/2 Archive."
  const char* FormatInfo() const override;
  /// Opens a "PACK" archive; false when the header or directory is invalid.
  bool Open(const char* file) override;

 protected:
  unsigned RecordSize() const override;
  unsigned MaxNameLength() const override;
  bool HasDates() const override;
  void EncodeHeader(uint8_t* header, uint32_t dataEnd, unsigned count) const override;
  void EncodeRecord(const ArchiveEntry& entry, uint8_t* record) const override;
};

#endif
