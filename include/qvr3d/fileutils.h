// QVRFileUtils: static file-system helpers (existence, attributes, removal,
// renaming, copying, directory listings, path classification, the current,
// executable and user folders, CD-ROM folders, file names and extensions).
#ifndef QVR3D_FILEUTILS_H
#define QVR3D_FILEUTILS_H

#include "qvr3d/export.h"

class QVRResFile;
class QVRText;

/// File-system helpers; every operation is static and nothing is logged.
/// Paths may use "/" or "\" as separator; results use the native one ("/").
///
///   char** names = nullptr;
///   unsigned n = QVRFileUtils::GetFileList(names, "data", "*.pcx", QVRFileUtils::LIST_NO_DIRS);
///   QVRFileUtils::FreeFileList(names, n);
class QVR_API QVRFileUtils {
 public:
  /// Flags of GetFileList, combined with OR.
  enum ListFlags : unsigned {
    LIST_NO_DIRS = 2,     ///< leave directories out
    LIST_NO_FILES = 4,    ///< leave entries that are not directories out
    LIST_NO_DOTS = 16,    ///< leave "." and ".." out
    LIST_NO_HIDDEN = 32,  ///< leave hidden entries (names starting with ".") out
  };

  /// True when something exists at `path`; false for null or empty.
  static bool FileExist(const char* path);
  /// True when `path` exists and is a directory.
  static bool IsDir(const char* path);
  /// True when `path` exists and is hidden (its name starts with ".", other
  /// than "." and "..").
  static bool IsHidden(const char* path);
  /// Size in bytes; 0xFFFFFFFF for a null path, a path that cannot be queried,
  /// or a size that does not fit in 32 bits.
  static unsigned FileSize(const char* path);
  /// Deletes a file; false when it could not be deleted.
  static bool FileRemove(const char* path);
  /// Moves `from` to `to`. An existing `to` makes the move fail unless
  /// `overwrite` is true, in which case it is deleted first and the move tried
  /// again. The target is only deleted when the source exists and is not the
  /// same file as the target.
  static bool FileRename(const char* from, const char* to, bool overwrite);
  /// Copies the file `from` to `to`; with `overwrite` false an existing `to`
  /// makes it fail.
  static bool FileCopy(const char* from, const char* to, bool overwrite);
  /// Copies up to `count` bytes from the current position of `source` to
  /// `target` in chunks of 4000 bytes, stopping when the source delivers
  /// nothing. Returns the bytes written; 0 for a null stream or a count of 0.
  static unsigned CopyData(QVRResFile* source, QVRResFile* target, unsigned count);
  /// Lists the names in `directory` matching `pattern` ("*" and "?",
  /// case-insensitive), filtered by `flags`, in the order the system gives
  /// them. `list` receives a new array of new strings (not null-terminated:
  /// the result is the count), to be released with FreeFileList. Returns 0
  /// with `list` null when the arguments are null or empty, the search path
  /// is too long, the directory cannot be read or nothing is kept.
  static unsigned GetFileList(char**& list, const char* directory, const char* pattern,
                              unsigned flags);
  /// Releases the first `count` strings of `list` and the array, and sets
  /// `list` to null; nothing when it is already null.
  static void FreeFileList(char**& list, unsigned count);

  /// True for exactly "X:\" (any character X), "/" and "\\"; false for null.
  static bool IsRoot(const char* path);
  /// True when the path starts with a letter, ":" and "\", or with "/" or
  /// "\"; false for null.
  static bool IsAbsolute(const char* path);
  /// The opposite of IsAbsolute; true for null.
  static bool IsRelative(const char* path);

  /// Writes the current directory into `buffer`; false when it cannot be read
  /// or does not fit in `size` bytes.
  static bool GetCWD(char* buffer, unsigned size);
  /// The current directory in a new array (release with delete[]); an empty
  /// string when it cannot be read.
  static char* GetCWD();
  /// Changes the current directory; false for null or empty.
  static bool SetCWD(const char* path);
  /// The directory of the running executable, without a trailing separator
  /// ("/" for the root), in a new array (release with delete[]); null when it
  /// cannot be read.
  static char* GetExeDir();
  /// The user's documents folder, read once per process (XDG_DOCUMENTS_DIR,
  /// else $HOME/Documents); an empty string when no home is known. The
  /// pointer stays valid for the life of the process; do not release it.
  static const char* GetUserDocDir();
  /// The user's application-data folder, read once per process
  /// ($XDG_DATA_HOME, else $HOME/.local/share); as GetUserDocDir.
  static const char* GetUserAppDir();
  /// A new array (owned by the caller) of at least 3 slots holding the
  /// CD-ROM folders from slot 0 on; null when it cannot be allocated.
  static QVRText* GetCDROMDirs();
  /// Creates a directory whose parent exists.
  static bool DirCreate(const char* path);

  /// The part after the last "/" or "\", or the whole path; null for null.
  /// Points into `path`.
  static const char* FileName(const char* path);
  /// The part after the last "." of the string (separators are not
  /// considered); null for null, ".", "..", or when there is no "." after the
  /// first character. Points into `path`.
  static const char* FileExtension(const char* path);
  /// Bit mask of drive letters (bit 0 is A); 0 on systems without them.
  static unsigned DrivesList();
  /// Drive type of the folder `root`: 5 CD-ROM, 3 fixed, 1 missing (0
  /// unknown, 2 removable, 4 remote, 6 RAM disk are not reported here).
  static unsigned DriveType(const char* root);
};

#endif
