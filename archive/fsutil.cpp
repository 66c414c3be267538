// File-system steps shared by the directory listing and the archives.
#include "archive/fsutil.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "io/platform.h"
#include "qvr3d/fileutils.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

namespace {

// How many names CreateSibling and ReplaceFile try before giving up; a clash
// is only expected when another process uses the same folder.
constexpr int kNameAttempts = 64;

// A name that differs on every call within the process and between runs.
std::string UniqueTag() {
  static std::atomic<uint64_t> counter{0};
  uint64_t mix = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  mix ^= ++counter * 0x9E3779B97F4A7C15ull;
  mix ^= reinterpret_cast<uintptr_t>(&counter) >> 4;
  mix ^= mix >> 29;
  mix *= 0xBF58476D1CE4E5B9ull;
  mix ^= mix >> 32;
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string tag;
  for (int k = 0; k < 8; ++k) {
    tag += kDigits[mix % 36];
    mix /= 36;
  }
  return tag;
}

// "<folder>/.<name>.<tag>.<suffix>" next to `path`.
bool SiblingName(const char* path, const char* suffix, std::string& out) {
  std::string native;
  if (!NativePath(path, native) || native.empty()) return false;
  size_t slash = native.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? native : native.substr(slash + 1);
  out = folder + "." + base + "." + UniqueTag() + "." + suffix;
  return out.size() < kPathMax;
}

}  // namespace

bool JoinPath(const char* dir, const char* name, std::string& out) {
  if (name == nullptr) return false;
  std::string joined;
  if (QVRFileUtils::IsAbsolute(name) || dir == nullptr || dir[0] == 0) {
    joined = name;
  } else {
    joined = dir;
    if (!IsSeparator(joined.back())) joined += kNativeSeparator;
    joined += name;
  }
  return NativePath(joined.c_str(), out);
}

bool CreateSibling(const char* path, QVRFile& file, std::string& made) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name;
    if (!SiblingName(path, "tmp", name)) return false;
    // CREATE refuses an existing file, so a name in use is never taken over.
    if (file.Open(name.c_str(), QVRResFile::WRITE | QVRResFile::CREATE)) {
      made = name;
      return true;
    }
    if (QVRFileUtils::FileExist(name.c_str())) continue;
    return false;  // the folder refuses new files
  }
  return false;
}

bool ReplaceFile(const char* replacement, const char* target) {
  std::string backup;
  bool parked = false;
  for (int attempt = 0; attempt < kNameAttempts && !parked; ++attempt) {
    if (!SiblingName(target, "old", backup)) return false;
    // A move never replaces an existing file, so a clash just fails.
    parked = FileMove(target, backup.c_str());
    if (!parked && !QVRFileUtils::FileExist(backup.c_str())) return false;
  }
  if (!parked) return false;
  if (!FileMove(replacement, target)) {
    FileMove(backup.c_str(), target);
    return false;
  }
  FileDelete(backup.c_str());
  return true;
}

bool FlushOk(QVRFile& file) {
  if (!file.Good() || file.GetFile() == nullptr) return false;
  file.Flush();
  return std::ferror(file.GetFile()) == 0;
}

}  // namespace qvr::detail
