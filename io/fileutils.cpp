// QVRFileUtils: the file-system helpers, built on the platform layer; the
// pure path rules (roots, absolute paths, names, extensions) live here too.
#include "qvr3d/fileutils.h"

#include <cstring>
#include <new>
#include <string>

#include "io/platform.h"
#include "qvr3d/stream.h"
#include "qvr3d/text.h"

namespace {

using qvr::detail::kPathMax;

constexpr unsigned kNone = 0xFFFFFFFFu;
constexpr unsigned kCopyChunk = 4000;
constexpr unsigned kFirstListSize = 32;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A user folder read once and then kept for the life of the process, so that
// the pointer handed out stays valid.
struct UserDir {
  char text[kPathMax];
  bool read;
};

UserDir g_docDir = {{0}, false};
UserDir g_appDir = {{0}, false};

const char* CachedDir(UserDir& dir, bool (*query)(std::string&)) {
  if (dir.read) return dir.text;
  std::string path;
  // Without a home directory nothing is cached, so a later call may succeed.
  if (!query(path)) return "";
  // A folder that does not fit is refused whole rather than cut.
  if (path.size() < kPathMax) {
    memcpy(dir.text, path.c_str(), path.size() + 1);
  } else {
    dir.text[0] = 0;
  }
  dir.read = true;
  return dir.text;
}

char* NewCopy(const char* s, size_t length) {
  char* copy = new (std::nothrow) char[length + 1];
  if (!copy) return nullptr;
  memcpy(copy, s, length);
  copy[length] = 0;
  return copy;
}

}  // namespace

namespace qvr::detail {

void ResetUserDirCache() {
  g_docDir.read = false;
  g_docDir.text[0] = 0;
  g_appDir.read = false;
  g_appDir.text[0] = 0;
}

}  // namespace qvr::detail

bool QVRFileUtils::FileExist(const char* path) {
  return path && *path && qvr::detail::FileAttributes(path) != qvr::detail::ATTR_INVALID;
}

bool QVRFileUtils::IsDir(const char* path) {
  uint32_t attributes = qvr::detail::FileAttributes(path);
  return attributes != qvr::detail::ATTR_INVALID && (attributes & qvr::detail::ATTR_DIRECTORY);
}

bool QVRFileUtils::IsHidden(const char* path) {
  uint32_t attributes = qvr::detail::FileAttributes(path);
  return attributes != qvr::detail::ATTR_INVALID && (attributes & qvr::detail::ATTR_HIDDEN);
}

unsigned QVRFileUtils::FileSize(const char* path) {
  uint64_t size = 0;
  if (!path || !qvr::detail::FileSize(path, size) || size >= kNone) return kNone;
  return static_cast<unsigned>(size);
}

bool QVRFileUtils::FileRemove(const char* path) { return qvr::detail::FileDelete(path); }

bool QVRFileUtils::FileRename(const char* from, const char* to, bool overwrite) {
  if (qvr::detail::FileMove(from, to)) return true;
  if (!overwrite || !to || !*to || !FileExist(to)) return false;
  // Deleting the target is only safe when the move can then succeed: not when
  // the source is missing, nor when both names lead to the same file.
  if (!FileExist(from) || qvr::detail::SameFile(from, to)) return false;
  if (!qvr::detail::FileDelete(to)) return false;
  return qvr::detail::FileMove(from, to);
}

bool QVRFileUtils::FileCopy(const char* from, const char* to, bool overwrite) {
  return qvr::detail::FileCopy(from, to, !overwrite);
}

unsigned QVRFileUtils::CopyData(QVRResFile* source, QVRResFile* target, unsigned count) {
  if (!source || !target || count == 0) return 0;
  unsigned char buffer[kCopyChunk];
  unsigned total = 0;
  unsigned left = count;
  while (left > 0) {
    unsigned want = left < kCopyChunk ? left : kCopyChunk;
    unsigned got = source->Read(buffer, want);
    if (got == 0) break;
    total += target->Write(buffer, got);
    left -= got;
  }
  return total;
}

unsigned QVRFileUtils::GetFileList(char**& list, const char* directory, const char* pattern,
                                   unsigned flags) {
  list = nullptr;
  if (!directory || !*directory || !pattern || !*pattern) return 0;
  std::string search = directory;
  if (!IsSeparator(search.back())) search += qvr::detail::kNativeSeparator;
  search += pattern;
  if (search.size() >= kPathMax) return 0;

  qvr::detail::FindData entry;
  qvr::detail::FindHandle* find = qvr::detail::FindFirst(search.c_str(), entry);
  if (!find) return 0;
  char** names = nullptr;
  unsigned count = 0, capacity = 0;
  bool ok = true;
  do {
    bool isDir = (entry.attributes & qvr::detail::ATTR_DIRECTORY) != 0;
    bool isDots = entry.name == "." || entry.name == "..";
    if ((flags & LIST_NO_HIDDEN) && (entry.attributes & qvr::detail::ATTR_HIDDEN)) continue;
    if (isDir ? ((flags & LIST_NO_DIRS) || (isDots && (flags & LIST_NO_DOTS)))
              : (flags & LIST_NO_FILES) != 0)
      continue;
    if (count == capacity) {
      unsigned grown = capacity ? capacity * 2 : kFirstListSize;
      char** larger = grown > capacity ? new (std::nothrow) char*[grown] : nullptr;
      if (!larger) {
        ok = false;
        break;
      }
      if (count) memcpy(larger, names, count * sizeof(char*));
      delete[] names;
      names = larger;
      capacity = grown;
    }
    char* name = NewCopy(entry.name.c_str(), entry.name.size());
    if (!name) {
      ok = false;
      break;
    }
    names[count++] = name;
  } while (qvr::detail::FindNext(find, entry));
  qvr::detail::FindClose(find);

  // A listing cut short by lack of memory is not handed out as complete.
  if (!ok || count == 0) {
    FreeFileList(names, count);
    return 0;
  }
  list = names;
  return count;
}

void QVRFileUtils::FreeFileList(char**& list, unsigned count) {
  if (!list) return;
  for (unsigned i = 0; i < count; ++i) delete[] list[i];
  delete[] list;
  list = nullptr;
}

bool QVRFileUtils::IsRoot(const char* path) {
  if (!path) return false;
  if (path[0] && path[1] == ':' && path[2] == '\\' && path[3] == 0) return true;
  if (path[0] == '/' && path[1] == 0) return true;
  return path[0] == '\\' && path[1] == '\\' && path[2] == 0;
}

bool QVRFileUtils::IsAbsolute(const char* path) {
  if (!path) return false;
  if (IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  return path[0] == '/' || path[0] == '\\';
}

bool QVRFileUtils::IsRelative(const char* path) { return !IsAbsolute(path); }

bool QVRFileUtils::GetCWD(char* buffer, unsigned size) {
  return qvr::detail::CurrentDir(buffer, size);
}

char* QVRFileUtils::GetCWD() {
  char buffer[kPathMax];
  if (!qvr::detail::CurrentDir(buffer, sizeof buffer)) buffer[0] = 0;
  return NewCopy(buffer, strlen(buffer));
}

bool QVRFileUtils::SetCWD(const char* path) {
  return path && *path && qvr::detail::SetCurrentDir(path);
}

char* QVRFileUtils::GetExeDir() {
  std::string path;
  if (!qvr::detail::ModuleFileName(path)) return nullptr;
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return nullptr;
  // A program in a root folder keeps the root: "/", or "C:\" on Windows.
  if (slash == 0) return NewCopy(path.c_str(), 1);
  if (slash == 2 && path[1] == ':') return NewCopy(path.c_str(), 3);
  return NewCopy(path.c_str(), slash);
}

const char* QVRFileUtils::GetUserDocDir() {
  return CachedDir(g_docDir, qvr::detail::UserDocumentsDir);
}

const char* QVRFileUtils::GetUserAppDir() {
  return CachedDir(g_appDir, qvr::detail::UserAppDataDir);
}

QVRText* QVRFileUtils::GetCDROMDirs() {
  QVRText* dirs = new (std::nothrow) QVRText(3);
  if (!dirs) return nullptr;
  unsigned slot = 0;
  for (const std::string& point : qvr::detail::CdromMountPoints())
    dirs->SetString(slot++, point.c_str());
  return dirs;
}

bool QVRFileUtils::DirCreate(const char* path) { return qvr::detail::DirCreate(path); }

const char* QVRFileUtils::FileName(const char* path) {
  if (!path) return nullptr;
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (IsSeparator(*p)) name = p + 1;
  return name;
}

const char* QVRFileUtils::FileExtension(const char* path) {
  if (!path || strcmp(path, ".") == 0 || strcmp(path, "..") == 0) return nullptr;
  const char* dot = strrchr(path, '.');
  if (!dot || dot == path) return nullptr;
  return dot + 1;
}

unsigned QVRFileUtils::DrivesList() { return qvr::detail::LogicalDrives(); }

unsigned QVRFileUtils::DriveType(const char* root) { return qvr::detail::DriveType(root); }
