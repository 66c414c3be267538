// The operating-system layer under the streams, QVRFileUtils and the file
// providers: opening and examining files, moves and copies, directory search,
// current and executable directories, drives and the user's folders.
//
// Names. Paths may use "\" or "/"; the layer turns either into the native
// separator (kNativeSeparator). Game data is
// named as on a file system that ignores letter case, so where a path does not
// exist as written the layer matches it again, component by component,
// without regard to ASCII letter case:
// - a path that must exist (opened for reading or update, tested, listed,
//   entered, removed, the source of a move or copy) has every component
//   matched;
// - a path being made (a file opened for writing or appending, a new folder,
//   the target of a move or copy) has the folders on the way matched, and its
//   last component is used as written (a move may change only the case of a
//   name). A new folder is refused where one differing only in case exists.
// The exact name always wins. Among several names that differ only in case,
// the first in byte order is taken ("ONE.MAP" before "One.MAP"); a folder on
// the way is the first of them that is a folder. Each folder is read once and
// its names kept until its modification or change time moves, so repeated
// opens do not read it again; a match made before is used again as long as it
// still opens, and the folders are looked at again when it does not or when a
// name is not among those kept. A name found missing in a folder is kept too:
// a later path below it is answered by one look at that folder's times,
// without trying the path itself.
#ifndef QVR_IO_PLATFORM_H
#define QVR_IO_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qvr::detail {

/// The separator of this platform's own paths: the one the library puts
/// between the parts of a path it joins.
#if defined(_WIN32)
constexpr char kNativeSeparator = '\\';
#else
constexpr char kNativeSeparator = '/';
#endif

/// Longest path the layer accepts, terminator included. Longer paths are
/// refused, never cut.
constexpr unsigned kPathMax = 4096;

/// Attribute bits, with the values the rest of the library tests for.
enum : uint32_t {
  ATTR_HIDDEN = 0x2,
  ATTR_DIRECTORY = 0x10,
  ATTR_NORMAL = 0x80,
  ATTR_INVALID = 0xFFFFFFFFu,
};

/// Copies `path` into `out` with every "\" turned into "/". False for a null
/// path or one of kPathMax bytes or more. No letter case is matched here.
bool NativePath(const char* path, std::string& out);
/// The path under which `path` exists: the native form when it exists as
/// written, else its match regardless of letter case. False when nothing
/// matches.
bool ExistingPath(const char* path, std::string& out);

/// True when `a` and `b` are spelt as the same path: "\" and "/" are one
/// separator, and on Windows, whose file systems ignore letter case, ASCII
/// letters match in either case. Null matches nothing.
inline bool SamePathSpelling(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return false;
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x == '\\') x = '/';
    if (y == '\\') y = '/';
#if defined(_WIN32)
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + ('a' - 'A'));
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + ('a' - 'A'));
#endif
    if (x != y) return false;
    if (x == 0) return true;
  }
}

/// What the runtime library's stat reports about one path.
struct StatInfo {
  uint32_t mode;   ///< low 16 bits of st_mode
  uint64_t size;   ///< bytes
  uint32_t mtime;  ///< seconds since 1970-01-01 UTC, clamped to 32 bits
};
/// stat of `path` (symbolic links followed); false when it fails.
bool StatPath(const char* path, StatInfo& info);
/// True when `path` names anything stat can see, whatever its permissions.
bool PathExists(const char* path);

/// fopen of `path` with the C library's `mode` ("rb", "r+b", "wb", "ab",
/// "w+b", "a+b"). Modes starting with "r" need an existing file; "w" and "a"
/// create a missing file under the name as written. Null on failure.
FILE* OpenStream(const char* path, const char* mode);
/// Size of the regular file open as `file`; false for other kinds of file
/// (pipes, devices), whose size is not known in advance.
bool StreamSize(FILE* file, uint64_t& size);

/// An open file read and written at explicit offsets, so that any number of
/// streams can share it without disturbing one another's position. It is
/// held by reference count: OpenSharedFile gives the first hold, RetainFile
/// adds one, and ReleaseFile drops one and closes the file with the last.
/// There is no buffering at this level. The file stays usable after its name
/// has been moved or removed.
struct SharedFile;
/// Opens the existing file `path` (names matched as for OpenStream) for
/// reading, or for reading and writing with `write`; never creates or
/// truncates it. Null on failure.
SharedFile* OpenSharedFile(const char* path, bool write);
/// Adds a hold on `file` (not null) and returns it.
SharedFile* RetainFile(SharedFile* file);
/// Drops a hold; the last one closes the file. Null is allowed.
void ReleaseFile(SharedFile* file);
/// Size of the file open as `file`: a regular file's size, or a block
/// device's; false for other kinds of file.
bool SharedFileSize(SharedFile* file, uint64_t& size);
/// Reads up to `count` bytes at `offset`, retrying interrupted and partial
/// reads; returns the bytes read, fewer at the end of the file or on error.
size_t ReadAt(SharedFile* file, void* data, size_t count, uint64_t offset);
/// Writes up to `count` bytes at `offset` (the file must have been opened
/// for writing); returns the bytes written, fewer on error.
size_t WriteAt(SharedFile* file, const void* data, size_t count, uint64_t offset);

/// ATTR_DIRECTORY and ATTR_HIDDEN (the last name starts with "." and is not
/// "." or ".."), ATTR_NORMAL when neither applies; ATTR_INVALID when the path
/// does not exist (symbolic links are followed).
uint32_t FileAttributes(const char* path);
/// Size in bytes of what `path` names; false when it cannot be queried.
bool FileSize(const char* path, uint64_t& size);
/// Removes a file (not a directory).
bool FileDelete(const char* path);
/// Moves a file or directory; never replaces an existing target. Across file
/// systems a regular file is copied and the source then deleted.
bool FileMove(const char* from, const char* to);
/// Copies a regular file with its permission bits and modification time.
/// With `failIfExists` an existing target is refused; otherwise it is
/// replaced. A file is never copied onto itself. A failed copy leaves no
/// partial target behind.
bool FileCopy(const char* from, const char* to, bool failIfExists);
/// True when both paths name the same existing file.
bool SameFile(const char* a, const char* b);
/// Creates a directory (mode 0777, umask applies); the parent must exist.
/// Refused when something of that name exists, in any letter case.
bool DirCreate(const char* path);

/// One directory entry found by FindFirst/FindNext.
struct FindData {
  std::string name;     ///< the entry name, without its directory
  uint32_t attributes;  ///< as FileAttributes gives them
};
struct FindHandle;

/// Starts a search: `searchPath` is a directory, a separator and a pattern in
/// which "*" and "?" are wildcards matched case-insensitively ("*.*" matches
/// every name); a path without separator searches the current directory.
/// "." and ".." are reported like other entries. Returns null when the
/// directory cannot be read or nothing matches; otherwise `data` holds the
/// first match and the handle must be released with FindClose.
FindHandle* FindFirst(const char* searchPath, FindData& data);
/// The next match; false when there is none left.
bool FindNext(FindHandle* handle, FindData& data);
/// Releases a search handle (null is allowed).
void FindClose(FindHandle* handle);
/// True when `name` matches `pattern` as FindFirst matches it.
bool MatchPattern(const char* pattern, const char* name);

/// The current directory into `buffer` (terminated); false when it cannot be
/// read or does not fit in `size` bytes (the buffer is then left empty when
/// it has room for a terminator).
bool CurrentDir(char* buffer, unsigned size);
/// Makes `path` the current directory.
bool SetCurrentDir(const char* path);
/// Full path of the running executable; false when it cannot be read or is
/// kPathMax bytes or longer.
bool ModuleFileName(std::string& path);

/// Drive-letter bit mask: always 0 here (there are no drive letters).
uint32_t LogicalDrives();
/// 5 when `root` lies on an iso9660 or udf file system, 3 for another existing
/// path, 1 when it does not exist. A null or empty root means the current
/// directory.
unsigned DriveType(const char* root);
/// Mount points of the iso9660 and udf file systems, in mount order.
std::vector<std::string> CdromMountPoints();

/// The documents folder: XDG_DOCUMENTS_DIR from user-dirs.dirs in
/// $XDG_CONFIG_HOME (default ~/.config) with $HOME expanded, else
/// $HOME/Documents. False when no home directory is known.
bool UserDocumentsDir(std::string& path);
/// The application-data folder: $XDG_DATA_HOME, else $HOME/.local/share.
/// False when neither is known.
bool UserAppDataDir(std::string& path);

/// Forgets the folders cached by QVRFileUtils::GetUserDocDir and
/// GetUserAppDir so the next call reads the environment again. For tests: the
/// pointers handed out before stay valid but change their text.
void ResetUserDirCache();

/// What WriteNewFile did.
enum class NewFileResult { CREATED, EXISTS, FAILED };
/// Creates `path` as a new file and writes the `size` bytes of `data` into it.
/// An existing file is never replaced, also when another process creates it
/// at the same moment (the creation is exclusive): EXISTS, nothing written.
/// FAILED for any other error; a file it created and could not fill is
/// removed again.
NewFileResult WriteNewFile(const char* path, const void* data, size_t size);

}  // namespace qvr::detail

#endif
