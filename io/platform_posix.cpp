// POSIX (Linux) implementation of the platform layer: stat-based attributes,
// no-replace moves, O_EXCL copies, pattern-filtered directory reads, mount
// table queries and the XDG user folders.
#include <dirent.h>
#include <fcntl.h>
#include <mntent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "io/platform.h"

namespace qvr::detail {

namespace {

// Name of the last path component, ignoring trailing separators.
std::string LastComponent(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  size_t begin = path.rfind('/', end == 0 ? 0 : end - 1);
  begin = (begin == std::string::npos) ? 0 : begin + 1;
  if (begin > end) return std::string();
  return path.substr(begin, end - begin);
}

bool IsHiddenName(const std::string& name) {
  return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

uint32_t AttributesOf(const struct stat& st, const std::string& name) {
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= ATTR_DIRECTORY;
  if (IsHiddenName(name)) attributes |= ATTR_HIDDEN;
  return attributes != 0 ? attributes : ATTR_NORMAL;
}

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// Writes all of `size` bytes, retrying after interrupts and partial writes.
bool WriteFully(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Copies between two open descriptors until the source ends.
bool CopyDescriptor(int in, int out) {
  char buffer[64 * 1024];
  for (;;) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!WriteFully(out, buffer, static_cast<size_t>(got))) return false;
  }
}

// Copies the regular file `from` to `to` (native paths).
bool CopyNative(const std::string& from, const std::string& to, bool failIfExists) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat src;
  if (fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
    close(in);
    return false;
  }
  // Without O_TRUNC first: truncating before the same-file test would empty
  // the source when both names lead to one file.
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
  int out = open(to.c_str(), flags, src.st_mode & 0777);
  if (out < 0) {
    close(in);
    return false;
  }
  struct stat dst;
  bool ok = fstat(out, &dst) == 0;
  bool regularTarget = ok && S_ISREG(dst.st_mode);
  if (ok && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
    close(in);
    close(out);
    return false;
  }
  if (ok && regularTarget) ok = ftruncate(out, 0) == 0;
  if (ok) ok = CopyDescriptor(in, out);
  if (ok && regularTarget) {
    struct timespec times[2] = {src.st_atim, src.st_mtim};
    futimens(out, times);  // a copy that keeps its new dates is still a copy
  }
  if (close(out) != 0) ok = false;
  close(in);
  if (!ok && regularTarget) unlink(to.c_str());
  return ok;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
  // File systems without RENAME_NOREPLACE: a hard link refuses an existing
  // target atomically; directories (and file systems without links) fall back
  // to a test before the rename.
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    if (link(from.c_str(), to.c_str()) == 0) {
      if (unlink(from.c_str()) == 0) return true;
      unlink(to.c_str());
      return false;
    }
    if (errno == EEXIST || errno == EXDEV || errno == ENOENT) return false;
  }
  if (lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

struct Mount {
  std::string dir;
  std::string type;
};

std::vector<Mount> ReadMounts() {
  std::vector<Mount> mounts;
  FILE* table = setmntent("/proc/self/mounts", "r");
  if (!table) return mounts;
  struct mntent entry;
  char buffer[4 * kPathMax];
  while (getmntent_r(table, &entry, buffer, sizeof buffer))
    mounts.push_back({entry.mnt_dir, entry.mnt_type});
  endmntent(table);
  return mounts;
}

bool IsCdromType(const std::string& type) { return type == "iso9660" || type == "udf"; }

bool HomeDir(std::string& home) {
  const char* env = getenv("HOME");
  if (env && *env) {
    home = env;
    return true;
  }
  struct passwd record;
  struct passwd* found = nullptr;
  char buffer[16384];
  if (getpwuid_r(getuid(), &record, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
      *found->pw_dir) {
    home = found->pw_dir;
    return true;
  }
  return false;
}

// An environment variable holding an absolute path; relative ones are
// ignored, as the XDG base-directory rules ask.
bool AbsoluteEnv(const char* name, std::string& value) {
  const char* env = getenv(name);
  if (!env || env[0] != '/') return false;
  value = env;
  return true;
}

void TrimTrailingSlashes(std::string& path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
}

// The value of `key` in a user-dirs.dirs file: KEY="$HOME/dir" or KEY="/dir",
// shell-quoted with backslash escapes. The last assignment wins.
bool UserDirsValue(const std::string& file, const char* key, const std::string& home,
                   std::string& value) {
  std::ifstream in(file);
  if (!in) return false;
  bool found = false;
  std::string line;
  size_t keyLength = strlen(key);
  while (std::getline(in, line)) {
    size_t p = line.find_first_not_of(" \t");
    if (p == std::string::npos || line[p] == '#') continue;
    if (line.compare(p, keyLength, key) != 0) continue;
    p += keyLength;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    if (p >= line.size() || line[p] != '=') continue;
    ++p;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    if (p >= line.size() || line[p] != '"') continue;
    std::string raw;
    bool closed = false;
    for (++p; p < line.size(); ++p) {
      if (line[p] == '\\' && p + 1 < line.size()) {
        raw += line[++p];
      } else if (line[p] == '"') {
        closed = true;
        break;
      } else {
        raw += line[p];
      }
    }
    if (!closed) continue;
    std::string expanded;
    if (raw.compare(0, 5, "$HOME") == 0 && (raw.size() == 5 || raw[5] == '/')) {
      expanded = home + raw.substr(5);
    } else if (raw.compare(0, 7, "${HOME}") == 0 && (raw.size() == 7 || raw[7] == '/')) {
      expanded = home + raw.substr(7);
    } else if (!raw.empty() && raw[0] == '/') {
      expanded = raw;
    } else {
      continue;
    }
    TrimTrailingSlashes(expanded);
    value = expanded;
    found = true;
  }
  return found;
}

}  // namespace

struct FindHandle {
  DIR* dir;
  std::string pattern;
};

bool NativePath(const char* path, std::string& out) {
  if (!path) return false;
  size_t length = strlen(path);
  if (length >= kPathMax) return false;
  out.assign(path, length);
  for (char& c : out)
    if (c == '\\') c = '/';
  return true;
}

uint32_t FileAttributes(const char* path) {
  std::string native;
  struct stat st;
  if (!NativePath(path, native) || native.empty() || stat(native.c_str(), &st) != 0)
    return ATTR_INVALID;
  return AttributesOf(st, LastComponent(native));
}

bool FileSize(const char* path, uint64_t& size) {
  std::string native;
  struct stat st;
  if (!NativePath(path, native) || native.empty() || stat(native.c_str(), &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool FileDelete(const char* path) {
  std::string native;
  return NativePath(path, native) && !native.empty() && unlink(native.c_str()) == 0;
}

bool FileMove(const char* from, const char* to) {
  std::string source, target;
  if (!NativePath(from, source) || !NativePath(to, target) || source.empty() || target.empty())
    return false;
  if (RenameNoReplace(source, target)) return true;
  if (errno != EXDEV) return false;
  // Another file system: copy, then remove the source; undo the copy when the
  // source cannot be removed so that the move is all or nothing.
  struct stat st;
  if (lstat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (!CopyNative(source, target, true)) return false;
  if (unlink(source.c_str()) == 0) return true;
  unlink(target.c_str());
  return false;
}

bool FileCopy(const char* from, const char* to, bool failIfExists) {
  std::string source, target;
  if (!NativePath(from, source) || !NativePath(to, target) || source.empty() || target.empty())
    return false;
  return CopyNative(source, target, failIfExists);
}

bool SameFile(const char* a, const char* b) {
  std::string first, second;
  struct stat sa, sb;
  if (!NativePath(a, first) || !NativePath(b, second) || first.empty() || second.empty())
    return false;
  if (stat(first.c_str(), &sa) != 0 || stat(second.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool DirCreate(const char* path) {
  std::string native;
  return NativePath(path, native) && !native.empty() && mkdir(native.c_str(), 0777) == 0;
}

bool MatchPattern(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  if (strcmp(pattern, "*.*") == 0) return true;
  // Greedy match with one backtrack point: the last "*" seen.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && FoldAscii(static_cast<unsigned char>(*pattern)) ==
                                                   FoldAscii(static_cast<unsigned char>(*name)))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

FindHandle* FindFirst(const char* searchPath, FindData& data) {
  std::string native;
  if (!NativePath(searchPath, native) || native.empty()) return nullptr;
  size_t slash = native.rfind('/');
  std::string directory, pattern;
  if (slash == std::string::npos) {
    directory = ".";
    pattern = native;
  } else {
    directory = slash == 0 ? "/" : native.substr(0, slash);
    pattern = native.substr(slash + 1);
  }
  if (pattern.empty()) return nullptr;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return nullptr;
  FindHandle* handle = new FindHandle{dir, pattern};
  if (!FindNext(handle, data)) {
    FindClose(handle);
    return nullptr;
  }
  return handle;
}

bool FindNext(FindHandle* handle, FindData& data) {
  if (!handle) return false;
  while (struct dirent* entry = readdir(handle->dir)) {
    if (!MatchPattern(handle->pattern.c_str(), entry->d_name)) continue;
    struct stat st;
    int fd = dirfd(handle->dir);
    // A dangling symbolic link is still an entry: report the link itself.
    if (fstatat(fd, entry->d_name, &st, 0) != 0 &&
        fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    data.name = entry->d_name;
    data.attributes = AttributesOf(st, data.name);
    return true;
  }
  return false;
}

void FindClose(FindHandle* handle) {
  if (!handle) return;
  closedir(handle->dir);
  delete handle;
}

bool CurrentDir(char* buffer, unsigned size) {
  if (!buffer || size == 0) return false;
  if (getcwd(buffer, size)) return true;
  buffer[0] = 0;
  return false;
}

bool SetCurrentDir(const char* path) {
  std::string native;
  return NativePath(path, native) && !native.empty() && chdir(native.c_str()) == 0;
}

bool ModuleFileName(std::string& path) {
  char buffer[kPathMax];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  // A result that fills the buffer may have been cut: refuse it.
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return false;
  path.assign(buffer, static_cast<size_t>(length));
  return true;
}

uint32_t LogicalDrives() { return 0; }

unsigned DriveType(const char* root) {
  std::string native;
  if (!root || !*root)
    native = ".";
  else if (!NativePath(root, native))
    return 1;
  struct stat st;
  if (stat(native.c_str(), &st) != 0) return 1;
  // Compare devices rather than path prefixes so that symbolic links and bind
  // mounts are judged by where the data really lies.
  for (const Mount& mount : ReadMounts()) {
    struct stat ms;
    if (IsCdromType(mount.type) && stat(mount.dir.c_str(), &ms) == 0 && ms.st_dev == st.st_dev)
      return 5;
  }
  return 3;
}

std::vector<std::string> CdromMountPoints() {
  std::vector<std::string> points;
  for (const Mount& mount : ReadMounts())
    if (IsCdromType(mount.type)) points.push_back(mount.dir);
  return points;
}

bool UserDocumentsDir(std::string& path) {
  std::string home;
  if (!HomeDir(home)) return false;
  std::string config;
  if (!AbsoluteEnv("XDG_CONFIG_HOME", config)) config = home + "/.config";
  if (UserDirsValue(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR", home, path)) return true;
  path = home + "/Documents";
  return true;
}

bool UserAppDataDir(std::string& path) {
  if (AbsoluteEnv("XDG_DATA_HOME", path)) {
    TrimTrailingSlashes(path);
    return true;
  }
  std::string home;
  if (!HomeDir(home)) return false;
  path = home + "/.local/share";
  return true;
}

NewFileResult WriteNewFile(const char* path, const void* data, size_t size) {
  std::string native;
  if (!NativePath(path, native) || native.empty() || (size && !data)) return NewFileResult::FAILED;
  int fd;
  do {
    fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == EEXIST ? NewFileResult::EXISTS : NewFileResult::FAILED;
  bool ok = WriteFully(fd, static_cast<const char*>(data), size);
  if (close(fd) != 0) ok = false;
  if (ok) return NewFileResult::CREATED;
  unlink(native.c_str());
  return NewFileResult::FAILED;
}

}  // namespace qvr::detail
