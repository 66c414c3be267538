// File-system steps shared by the directory listing and the archives: path
// joins, sibling temporary names and the replace-by-rename that
// keeps the original file until its successor is in place.
#ifndef QVR_ARCHIVE_FSUTIL_H
#define QVR_ARCHIVE_FSUTIL_H

#include <cstdint>
#include <string>

class QVRFile;

namespace qvr::detail {

/// True when `c` separates path components ("/" or "\").
inline bool IsSeparator(char c) { return c == '/' || c == '\\'; }
/// `dir` + "/" + `name` with native separators, or `name` alone when it is
/// absolute or `dir` is empty. False when the result would not fit a path.
bool JoinPath(const char* dir, const char* name, std::string& out);
/// Creates a new, empty file next to `path` (same folder, unique name
/// derived from it) and leaves it open for writing in `file`. False when no
/// such file could be made.
bool CreateSibling(const char* path, QVRFile& file, std::string& made);
/// Puts `replacement` in the place of `target`. The target is first moved to
/// a unique backup name beside it and only removed once the replacement has
/// taken its name; any failure moves it back, so the target is never lost.
bool ReplaceFile(const char* replacement, const char* target);
/// Writes pending output of `file` and tells whether every write so far
/// reached the file.
bool FlushOk(QVRFile& file);

}  // namespace qvr::detail

#endif
