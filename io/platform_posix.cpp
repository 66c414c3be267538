// POSIX (Linux) implementation of the platform layer: names matched without
// regard to letter case through a per-folder cache, stat-based attributes,
// no-replace moves, O_EXCL copies, pattern-filtered directory reads, mount
// table queries and the XDG user folders.
#include <dirent.h>
#include <fcntl.h>
#include <mntent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <unordered_map>

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

std::string Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
  return folded;
}

// ---- Names regardless of letter case ---------------------------------------

// The errors that say a name, or a folder on its way, is not there as written.
bool IsMissing(int error) { return error == ENOENT || error == ENOTDIR; }

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The names of each folder read so far, grouped by their folded form, keyed
// by the folder's device and inode so that relative paths, links and a
// changed current directory all find the same record.
class FolderNames {
 public:
  // The names in the folder `path` (whose stat is `st`) that equal `name`
  // when letter case is ignored, in byte order. Empty when there are none or
  // the folder cannot be read.
  std::vector<std::string> Variants(const std::string& path, const struct stat& st,
                                    const std::string& name) {
    std::lock_guard<std::mutex> hold(m_lock);
    Folder* folder = Find(st);
    if (folder == nullptr) folder = Read(path);
    if (folder == nullptr) return {};
    folder->lastUse = ++m_uses;
    auto it = folder->byFolded.find(Folded(name));
    return it == folder->byFolded.end() ? std::vector<std::string>() : it->second;
  }

  // Keeps that the folder asked for as `asked` (an absolute path) was matched
  // as `found`, whose stat is `st`.
  void Remember(const std::string& asked, const std::string& found, const struct stat& st) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_matches.size() >= kMaxMatches) m_matches.clear();
    m_matches[asked] = Match{found, Key{st.st_dev, st.st_ino}};
  }

  // The folder last matched for `asked` and, with `needNames`, the names in
  // it that equal `name` but for case, as last read, without looking at the
  // folder. False when either is not known.
  bool Recall(const std::string& asked, const std::string& name, bool needNames, std::string& found,
              std::vector<std::string>& variants) {
    std::lock_guard<std::mutex> hold(m_lock);
    auto match = m_matches.find(asked);
    if (match == m_matches.end()) return false;
    if (needNames) {
      auto folder = m_folders.find(match->second.key);
      if (folder == m_folders.end()) return false;
      auto it = folder->second.byFolded.find(Folded(name));
      if (it == folder->second.byFolded.end()) return false;
      folder->second.lastUse = ++m_uses;
      variants = it->second;
    }
    found = match->second.found;
    return true;
  }

  // Keeps that the first `length` bytes of `native` (an absolute path, as
  // asked) name nothing in any letter case: the folder before its last
  // component, reached as written, holds no name like `name`.
  void RememberMissing(const std::string& native, size_t length, const std::string& name) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_misses.size() >= kMaxMisses) m_misses.clear();
    m_misses[PrefixHash(native, length)] = Miss{native.substr(0, length), name};
  }

  // A path kept by RememberMissing that `native` starts with, as a whole
  // component (for `folderOnly`, one that is a folder on the way rather than
  // all of `native`): its folder and missing name. False when none is kept.
  bool RecallMissing(const std::string& native, bool folderOnly, std::string& folder,
                     std::string& name) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_misses.empty()) return false;
    uint64_t hash = kHashStart;
    for (size_t k = 0; k <= native.size(); ++k) {
      const bool whole = k == native.size();
      if (k > 0 && (whole || native[k] == '/') && !(whole && folderOnly)) {
        auto it = m_misses.find(hash);
        if (it != m_misses.end() && it->second.path.size() == k &&
            native.compare(0, k, it->second.path) == 0) {
          folder = it->second.path.substr(0, it->second.path.rfind('/'));
          if (folder.empty()) folder = "/";
          name = it->second.name;
          return true;
        }
      }
      if (!whole) hash = (hash ^ static_cast<uint8_t>(native[k])) * kHashStep;
    }
    return false;
  }

  // True when the folder whose stat is `st` is known, unchanged since it was
  // read, and holds no name like `name`.
  bool StillWithout(const struct stat& st, const std::string& name) {
    std::lock_guard<std::mutex> hold(m_lock);
    Folder* folder = Find(st);
    if (folder == nullptr) return false;
    folder->lastUse = ++m_uses;
    return folder->byFolded.find(Folded(name)) == folder->byFolded.end();
  }

 private:
  // A small cache: games keep their data in a few dozen folders.
  static constexpr size_t kMaxFolders = 256;
  static constexpr size_t kMaxMatches = 4096;
  static constexpr size_t kMaxMisses = 4096;
  static constexpr uint64_t kHashStart = 14695981039346656037ull;  // FNV-1a
  static constexpr uint64_t kHashStep = 1099511628211ull;

  static uint64_t PrefixHash(const std::string& path, size_t length) {
    uint64_t hash = kHashStart;
    for (size_t k = 0; k < length; ++k) hash = (hash ^ static_cast<uint8_t>(path[k])) * kHashStep;
    return hash;
  }

  struct Key {
    dev_t dev;
    ino_t ino;
    bool operator==(const Key& other) const { return dev == other.dev && ino == other.ino; }
  };
  struct KeyHash {
    size_t operator()(const Key& key) const {
      return std::hash<uint64_t>()(static_cast<uint64_t>(key.ino) * 0x9E3779B97F4A7C15ull ^
                                   static_cast<uint64_t>(key.dev));
    }
  };
  struct Folder {
    struct timespec mtime;
    struct timespec ctime;
    // False when the folder changed so shortly before it was read that a
    // further change could carry the same time stamp: such a listing is read
    // again on the next use.
    bool settled;
    uint64_t lastUse;
    std::unordered_map<std::string, std::vector<std::string>> byFolded;
  };

  Folder* Find(const struct stat& st) {
    auto it = m_folders.find(Key{st.st_dev, st.st_ino});
    if (it == m_folders.end()) return nullptr;
    Folder& folder = it->second;
    // Adding, removing or renaming a name moves both times; the change time
    // also catches a modification time put back by a copying tool.
    if (!folder.settled || !SameTime(folder.mtime, st.st_mtim) ||
        !SameTime(folder.ctime, st.st_ctim))
      return nullptr;
    return &folder;
  }

  Folder* Read(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    struct timespec now;
    if (fstat(fd, &st) != 0 || clock_gettime(CLOCK_REALTIME, &now) != 0) {
      close(fd);
      return nullptr;
    }
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
      close(fd);
      return nullptr;
    }
    Folder folder;
    folder.mtime = st.st_mtim;
    folder.ctime = st.st_ctim;
    // Time stamps come from a clock that advances in ticks of a few
    // milliseconds, and some file systems keep whole seconds only. A listing
    // is trusted once the folder's last change lies further back than that.
    int64_t margin = st.st_mtim.tv_nsec == 0 ? 3000000000ll : 50000000ll;
    int64_t changed = std::max(Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim));
    folder.settled = changed + margin <= Nanoseconds(now);
    folder.lastUse = 0;
    while (struct dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      folder.byFolded[Folded(name)].push_back(name);
    }
    closedir(dir);
    for (auto& group : folder.byFolded) std::sort(group.second.begin(), group.second.end());
    if (m_folders.size() >= kMaxFolders) Evict();
    Folder& stored = m_folders[Key{st.st_dev, st.st_ino}];
    stored = std::move(folder);
    return &stored;
  }

  void Evict() {
    auto oldest = m_folders.begin();
    for (auto it = m_folders.begin(); it != m_folders.end(); ++it)
      if (it->second.lastUse < oldest->second.lastUse) oldest = it;
    if (oldest != m_folders.end()) m_folders.erase(oldest);
  }

  struct Match {
    std::string found;
    Key key;
  };
  struct Miss {
    std::string path;  // as asked, up to the missing component
    std::string name;  // the missing component
  };

  std::mutex m_lock;
  std::unordered_map<Key, Folder, KeyHash> m_folders;
  std::unordered_map<std::string, Match> m_matches;
  // By the hash of the path; the path is compared on use.
  std::unordered_map<uint64_t, Miss> m_misses;
  uint64_t m_uses = 0;
};

FolderNames& Names() {
  static FolderNames* names = new FolderNames;  // never destroyed: usable until exit
  return *names;
}

std::string Child(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool StatFolder(const std::string& path, struct stat& st) {
  return stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// `native` (a path with "/" separators that does not exist as written) with
// its components matched regardless of letter case. With `lastAsWritten` only
// the folders on the way must exist and the last component is kept. False
// when a component has no match.
bool MatchCase(const std::string& native, bool lastAsWritten, std::string& out) {
  std::vector<std::string> parts;
  for (size_t begin = 0; begin < native.size();) {
    size_t end = native.find('/', begin);
    if (end == std::string::npos) end = native.size();
    if (end > begin) parts.push_back(native.substr(begin, end - begin));
    begin = end + 1;
  }
  if (parts.empty()) return false;
  const std::string root = native[0] == '/' ? "/" : "";
  // Matches of absolute folders are kept for QuickMatch; a relative one would
  // change its meaning with the current directory.
  const size_t lastSlash = native.rfind('/');
  const bool keep = native[0] == '/' && lastSlash != 0 && lastSlash + 1 < native.size();

  // The deepest folder on the way that exists as written: most names differ
  // only in their last components, so the search starts at the parent.
  size_t known = parts.size() - 1;
  std::string folder;
  struct stat st;
  for (;; --known) {
    folder = root;
    for (size_t k = 0; k < known; ++k) folder = Child(folder, parts[k]);
    if (StatFolder(folder, st)) break;
    if (known == 0) return false;
  }

  for (size_t k = known; k < parts.size(); ++k) {
    const std::string& part = parts[k];
    const bool last = k + 1 == parts.size();
    if (last && lastAsWritten) {
      if (keep) Names().Remember(native.substr(0, lastSlash), folder, st);
      out = Child(folder, part);
      return true;
    }
    if (part == "." || part == "..") {
      folder = Child(folder, part);
      if (last) break;
      if (!StatFolder(folder, st)) return false;
      continue;
    }
    // The first component after the known folder was just found missing.
    if (!last && k > known) {
      std::string exact = Child(folder, part);
      struct stat next;
      if (StatFolder(exact, next)) {
        folder = exact;
        st = next;
        continue;
      }
    }
    std::vector<std::string> variants = Names().Variants(folder.empty() ? "." : folder, st, part);
    // Nothing below a name that is missing in a folder reached as written
    // can exist: later misses on the way through it need only see that the
    // folder has not changed.
    if (variants.empty() && k == known && native[0] == '/') {
      size_t length = 0;
      for (size_t seen = 0; seen <= k; ++seen)
        length = native.find(parts[seen], length) + parts[seen].size();
      Names().RememberMissing(native, length, part);
    }
    if (last) {
      if (variants.empty()) return false;
      if (keep) Names().Remember(native.substr(0, lastSlash), folder, st);
      bool exact = std::find(variants.begin(), variants.end(), part) != variants.end();
      folder = Child(folder, exact ? part : variants.front());
      break;
    }
    bool found = false;
    for (const std::string& variant : variants) {
      std::string candidate = Child(folder, variant);
      struct stat next;
      if (StatFolder(candidate, next)) {
        folder = candidate;
        st = next;
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  out = folder;
  return true;
}

// The match MatchCase found last time for the folder of `native` (an
// absolute path), taken without looking at any folder again. False when none
// is kept, or when the last component is not among the names kept.
bool QuickMatch(const std::string& native, bool lastAsWritten, std::string& out) {
  const size_t slash = native.rfind('/');
  if (native.empty() || native[0] != '/' || slash == 0 || slash + 1 >= native.size()) return false;
  const std::string part = native.substr(slash + 1);
  if (part == "." || part == "..") return false;
  std::string found;
  std::vector<std::string> variants;
  if (!Names().Recall(native.substr(0, slash), part, !lastAsWritten, found, variants)) return false;
  bool asWritten =
      lastAsWritten || std::find(variants.begin(), variants.end(), part) != variants.end();
  out = Child(found, asWritten ? part : variants.front());
  return true;
}

// True when `native` (an absolute path) lies below a name found missing
// before in a folder that has not changed since, so that neither it nor any
// letter case of it can exist; costs one stat of that folder, and nothing when
// no such name is kept. With `lastAsWritten` only a
// folder on the way counts.
bool KnownMissing(const std::string& native, bool lastAsWritten) {
  if (native.empty() || native[0] != '/') return false;
  std::string folder, name;
  if (!Names().RecallMissing(native, lastAsWritten, folder, name)) return false;
  struct stat st;
  return StatFolder(folder, st) && Names().StillWithout(st, name);
}

// Runs `call` on `native`, and once more on its match regardless of letter
// case when the first call failed for want of a name. A match kept from an
// earlier call is tried first, without reading any folder: a game opening
// thousands of files pays one failed call more per file. When that does not
// answer, the folders are looked at again. A path below a name already found
// missing in a folder that has not changed since is not tried at all. errno is
// that of the last call made, or of the first one when nothing matched.
template <class Call>
auto WithCase(const std::string& native, bool lastAsWritten, Call call) -> decltype(call(native)) {
  // A resource looked for in several places misses in all but one: below a
  // name known to be missing, one look at its folder replaces the call.
  if (KnownMissing(native, lastAsWritten)) {
    errno = ENOENT;
    return decltype(call(native))();
  }
  auto result = call(native);
  if (result || !IsMissing(errno)) return result;
  int error = errno;
  std::string matched;
  if (QuickMatch(native, lastAsWritten, matched) && matched != native) {
    auto quick = call(matched);
    if (quick || !IsMissing(errno)) return quick;
  }
  if (!MatchCase(native, lastAsWritten, matched) || matched == native) {
    errno = error;
    return result;
  }
  return call(matched);
}

// stat of an existing path (either separator), matched regardless of case;
// `found` is the path that answered.
bool StatExisting(const char* path, struct stat& st, std::string& found) {
  std::string native;
  if (!NativePath(path, native) || native.empty()) return false;
  return WithCase(native, false, [&](const std::string& candidate) {
    if (stat(candidate.c_str(), &st) != 0) return false;
    found = candidate;
    return true;
  });
}

// A path that must exist, in native form: as written when it exists, else
// its match regardless of case, else as written (so that the failing call
// reports the usual error).
std::string Existing(const std::string& native) {
  std::string out = native;
  WithCase(native, false, [&out](const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    out = path;
    return true;
  });
  return out;
}

// A path being made: as written when its folder exists, else with the
// folders on the way matched regardless of case.
std::string Target(const std::string& native) {
  size_t slash = native.rfind('/');
  if (slash == std::string::npos) return native;
  std::string folder = slash == 0 ? "/" : native.substr(0, slash);
  struct stat st;
  if (stat(folder.c_str(), &st) == 0 || !IsMissing(errno)) return native;
  std::string matched;
  return MatchCase(native, true, matched) ? matched : native;
}

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

bool ExistingPath(const char* path, std::string& out) {
  std::string native;
  if (!NativePath(path, native) || native.empty()) return false;
  return WithCase(native, false, [&out](const std::string& candidate) {
    struct stat st;
    if (stat(candidate.c_str(), &st) != 0) return false;
    out = candidate;
    return true;
  });
}

uint32_t FileAttributes(const char* path) {
  struct stat st;
  std::string found;
  if (!StatExisting(path, st, found)) return ATTR_INVALID;
  return AttributesOf(st, LastComponent(found));
}

bool FileSize(const char* path, uint64_t& size) {
  struct stat st;
  std::string found;
  if (!StatExisting(path, st, found)) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool StatPath(const char* path, StatInfo& info) {
  struct stat st;
  std::string found;
  if (!StatExisting(path, st, found)) return false;
  info.mode = static_cast<uint32_t>(st.st_mode) & 0xFFFFu;
  info.size = st.st_size < 0 ? 0 : static_cast<uint64_t>(st.st_size);
  int64_t seconds = static_cast<int64_t>(st.st_mtime);
  info.mtime = seconds < 0              ? 0
               : seconds > 0xFFFFFFFFll ? 0xFFFFFFFFu
                                        : static_cast<uint32_t>(seconds);
  return true;
}

bool PathExists(const char* path) {
  struct stat st;
  std::string found;
  return StatExisting(path, st, found);
}

FILE* OpenStream(const char* path, const char* mode) {
  std::string native;
  if (mode == nullptr || !NativePath(path, native) || native.empty()) {
    errno = EINVAL;
    return nullptr;
  }
  const bool makes = mode[0] == 'w' || mode[0] == 'a';
  return WithCase(native, makes, [mode](const std::string& candidate) {
    return std::fopen(candidate.c_str(), mode);
  });
}

bool StreamSize(FILE* file, uint64_t& size) {
  struct stat st;
  if (file == nullptr || fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = st.st_size < 0 ? 0 : static_cast<uint64_t>(st.st_size);
  return true;
}

struct SharedFile {
  explicit SharedFile(int descriptor) : fd(descriptor), holds(1) {}
  int fd;
  std::atomic<unsigned> holds;
};

SharedFile* OpenSharedFile(const char* path, bool write) {
  std::string native;
  if (!NativePath(path, native) || native.empty()) {
    errno = EINVAL;
    return nullptr;
  }
  const int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  return WithCase(native, false, [flags](const std::string& candidate) -> SharedFile* {
    int fd;
    do {
      fd = open(candidate.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? nullptr : new SharedFile(fd);
  });
}

SharedFile* RetainFile(SharedFile* file) {
  file->holds.fetch_add(1, std::memory_order_relaxed);
  return file;
}

void ReleaseFile(SharedFile* file) {
  if (file == nullptr || file->holds.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  close(file->fd);
  delete file;
}

bool SharedFileSize(SharedFile* file, uint64_t& size) {
  struct stat st;
  if (file == nullptr || fstat(file->fd, &st) != 0) return false;
  if (S_ISREG(st.st_mode)) {
    size = st.st_size < 0 ? 0 : static_cast<uint64_t>(st.st_size);
    return true;
  }
  // Block devices tell their size only by seeking; transfers name their
  // offsets, so the descriptor's own position does not matter.
  off_t end = S_ISBLK(st.st_mode) ? lseek(file->fd, 0, SEEK_END) : -1;
  if (end < 0) return false;
  size = static_cast<uint64_t>(end);
  return true;
}

size_t ReadAt(SharedFile* file, void* data, size_t count, uint64_t offset) {
  if (file == nullptr || offset > static_cast<uint64_t>(INT64_MAX)) return 0;
  char* out = static_cast<char*>(data);
  size_t done = 0;
  while (done < count) {
    ssize_t got = pread(file->fd, out + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t WriteAt(SharedFile* file, const void* data, size_t count, uint64_t offset) {
  if (file == nullptr || offset > static_cast<uint64_t>(INT64_MAX)) return 0;
  const char* in = static_cast<const char*>(data);
  size_t done = 0;
  while (done < count) {
    ssize_t put = pwrite(file->fd, in + done, count - done, static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<size_t>(put);
  }
  return done;
}

bool FileDelete(const char* path) {
  std::string native;
  if (!NativePath(path, native) || native.empty()) return false;
  return WithCase(native, false,
                  [](const std::string& candidate) { return unlink(candidate.c_str()) == 0; });
}

bool FileMove(const char* from, const char* to) {
  std::string native, target;
  if (!NativePath(from, native) || !NativePath(to, target) || native.empty() || target.empty())
    return false;
  // The target keeps its last component as written, so that a move may
  // change only the case of a name.
  std::string source = Existing(native);
  target = Target(target);
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
  return CopyNative(Existing(source), Target(target), failIfExists);
}

bool SameFile(const char* a, const char* b) {
  struct stat sa, sb;
  std::string found;
  if (!StatExisting(a, sa, found) || !StatExisting(b, sb, found)) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool DirCreate(const char* path) {
  std::string native, existing;
  if (!NativePath(path, native) || native.empty()) return false;
  // A second folder whose name differs only in case would hide behind the
  // first for every name that is matched regardless of case.
  if (ExistingPath(path, existing)) {
    errno = EEXIST;
    return false;
  }
  return WithCase(native, true,
                  [](const std::string& candidate) { return mkdir(candidate.c_str(), 0777) == 0; });
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
  DIR* dir = WithCase(directory, false,
                      [](const std::string& candidate) { return opendir(candidate.c_str()); });
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
  if (!NativePath(path, native) || native.empty()) return false;
  return WithCase(native, false,
                  [](const std::string& candidate) { return chdir(candidate.c_str()) == 0; });
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
  std::string found;
  if (!StatExisting(native.c_str(), st, found)) return 1;
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
