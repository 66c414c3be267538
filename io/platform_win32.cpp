// Windows implementation of the platform layer over KERNEL32 and ADVAPI32:
// names as written (the file system ignores letter case itself), "\" as the
// separator, and the user folders from the registry's shell-folder keys.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/platform.h"

namespace qvr::detail {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Converts `path` to the native form; false for a null, empty or too long
// path.
bool Native(const char* path, std::string& out) { return NativePath(path, out) && !out.empty(); }

// Seconds since 1970-01-01 UTC from a FILETIME (100 ns ticks since 1601),
// clamped to 32 bits.
uint32_t UnixSeconds(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  const uint64_t kEpoch = 116444736000000000ull;  // 1970-01-01 in FILETIME ticks
  if (ticks < kEpoch) return 0;
  const uint64_t seconds = (ticks - kEpoch) / 10000000ull;
  return seconds > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(seconds);
}

uint32_t LayerAttributes(DWORD attributes) {
  uint32_t out = 0;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) out |= ATTR_DIRECTORY;
  if (attributes & FILE_ATTRIBUTE_HIDDEN) out |= ATTR_HIDDEN;
  return out != 0 ? out : ATTR_NORMAL;
}

// ---- Attributes, sizes and times (GetFileAttributesExA) ----------------------

bool AttributeData(const std::string& native, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return GetFileAttributesExA(native.c_str(), GetFileExInfoStandard, &data) != 0;
}

uint64_t SizeOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// ---- Handles (CreateFileA, GetFileInformationByHandle) -----------------------

// Opens `native` for queries only; directories too.
HANDLE OpenForQuery(const std::string& native) {
  return CreateFileA(native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The volume and file index that name one file, whatever path leads to it.
bool FileIdentity(const std::string& native, uint64_t& volume, uint64_t& index) {
  HANDLE handle = OpenForQuery(native);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!ok) return false;
  volume = info.dwVolumeSerialNumber;
  index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool WriteAll(HANDLE handle, const char* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// ---- Drives (GetLogicalDrives, GetDriveTypeA, GetVolumePathNameA) -------------

std::string DriveRoot(unsigned letter) {
  std::string root = "A:\\";
  root[0] = static_cast<char>('A' + letter);
  return root;
}

// ---- Registry (ADVAPI32) -----------------------------------------------------

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// A string value of a key under HKEY_CURRENT_USER; REG_EXPAND_SZ values have
// their %VARIABLES% expanded. False when missing, empty or too long.
bool RegistryString(const char* key, const char* name, std::string& value) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
    return false;
  char buffer[kPathMax];
  DWORD type = 0;
  DWORD size = sizeof buffer;
  const LONG status =
      RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
    return false;
  // The stored string need not carry its terminator.
  size_t length = size;
  if (length >= sizeof buffer) return false;
  buffer[length] = 0;
  length = strlen(buffer);
  if (length == 0) return false;
  if (type == REG_SZ) {
    value.assign(buffer, length);
    return true;
  }
  char expanded[kPathMax];
  const DWORD needed = ExpandEnvironmentStringsA(buffer, expanded, sizeof expanded);
  if (needed == 0 || needed > sizeof expanded || expanded[0] == 0) return false;
  value = expanded;
  return true;
}

// A shell folder: the value Explorer keeps in "Shell Folders", else the one
// the user set in "User Shell Folders".
bool ShellFolder(const char* name, std::string& path) {
  if (!RegistryString(kShellFolders, name, path) && !RegistryString(kUserShellFolders, name, path))
    return false;
  while (path.size() > 3 && IsSeparator(path.back())) path.pop_back();
  return true;
}

}  // namespace

// ---- Names -------------------------------------------------------------------

bool NativePath(const char* path, std::string& out) {
  if (!path) return false;
  const size_t length = strlen(path);
  if (length >= kPathMax) return false;
  out.assign(path, length);
  for (char& c : out)
    if (c == '/') c = '\\';
  return true;
}

bool ExistingPath(const char* path, std::string& out) {
  std::string native;
  if (!Native(path, native) || GetFileAttributesA(native.c_str()) == INVALID_FILE_ATTRIBUTES)
    return false;
  out = native;
  return true;
}

// ---- Attributes, sizes and times ---------------------------------------------

bool StatPath(const char* path, StatInfo& info) {
  std::string native;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!Native(path, native) || !AttributeData(native, data)) return false;
  // The bits the C runtime's stat reports for the same attributes.
  const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  info.mode = (directory ? _S_IFDIR | 0111 : _S_IFREG) | 0444 | (readOnly ? 0 : 0222);
  info.size = SizeOf(data);
  info.mtime = UnixSeconds(data.ftLastWriteTime);
  return true;
}

bool PathExists(const char* path) {
  std::string native;
  return Native(path, native) && GetFileAttributesA(native.c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint32_t FileAttributes(const char* path) {
  std::string native;
  if (!Native(path, native)) return ATTR_INVALID;
  const DWORD attributes = GetFileAttributesA(native.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES ? ATTR_INVALID : LayerAttributes(attributes);
}

bool FileSize(const char* path, uint64_t& size) {
  std::string native;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!Native(path, native) || !AttributeData(native, data)) return false;
  size = SizeOf(data);
  return true;
}

// ---- Streams (C runtime over file handles) ------------------------------------

FILE* OpenStream(const char* path, const char* mode) {
  std::string native;
  if (mode == nullptr || !Native(path, native)) return nullptr;
  return std::fopen(native.c_str(), mode);
}

bool StreamSize(FILE* file, uint64_t& size) {
  if (file == nullptr) return false;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return false;
  LARGE_INTEGER length;
  if (!GetFileSizeEx(handle, &length) || length.QuadPart < 0) return false;
  size = static_cast<uint64_t>(length.QuadPart);
  return true;
}

// ---- Shared files (CreateFileA, ReadFile/WriteFile at offsets) -----------------

struct SharedFile {
  explicit SharedFile(HANDLE file) : handle(file), holds(1) {}
  HANDLE handle;
  std::atomic<unsigned> holds;
};

SharedFile* OpenSharedFile(const char* path, bool write) {
  std::string native;
  if (!Native(path, native)) return nullptr;
  // Every share mode, so that the file can be moved or removed while held,
  // as the streams over it expect.
  HANDLE handle = CreateFileA(native.c_str(), GENERIC_READ | (write ? GENERIC_WRITE : 0),
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (GetFileType(handle) == FILE_TYPE_DISK) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      CloseHandle(handle);
      return nullptr;
    }
  }
  return new SharedFile(handle);
}

SharedFile* RetainFile(SharedFile* file) {
  file->holds.fetch_add(1, std::memory_order_relaxed);
  return file;
}

void ReleaseFile(SharedFile* file) {
  if (file == nullptr || file->holds.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  CloseHandle(file->handle);
  delete file;
}

bool SharedFileSize(SharedFile* file, uint64_t& size) {
  if (file == nullptr || GetFileType(file->handle) != FILE_TYPE_DISK) return false;
  LARGE_INTEGER length;
  if (!GetFileSizeEx(file->handle, &length) || length.QuadPart < 0) return false;
  size = static_cast<uint64_t>(length.QuadPart);
  return true;
}

namespace {

// An OVERLAPPED that carries `offset`; with a handle opened for synchronous
// access the call still waits, and the offset is the call's own, so streams
// sharing the handle do not disturb one another.
OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at;
  memset(&at, 0, sizeof at);
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

constexpr DWORD kChunk = 0x40000000u;

}  // namespace

size_t ReadAt(SharedFile* file, void* data, size_t count, uint64_t offset) {
  if (file == nullptr || offset > static_cast<uint64_t>(INT64_MAX)) return 0;
  char* out = static_cast<char*>(data);
  size_t done = 0;
  while (done < count) {
    const size_t left = count - done;
    const DWORD chunk = left > kChunk ? kChunk : static_cast<DWORD>(left);
    OVERLAPPED at = At(offset + done);
    DWORD got = 0;
    // Reading at or past the end fails with ERROR_HANDLE_EOF: the end.
    if (!ReadFile(file->handle, out + done, chunk, &got, &at) || got == 0) break;
    done += got;
  }
  return done;
}

size_t WriteAt(SharedFile* file, const void* data, size_t count, uint64_t offset) {
  if (file == nullptr || offset > static_cast<uint64_t>(INT64_MAX)) return 0;
  const char* in = static_cast<const char*>(data);
  size_t done = 0;
  while (done < count) {
    const size_t left = count - done;
    const DWORD chunk = left > kChunk ? kChunk : static_cast<DWORD>(left);
    OVERLAPPED at = At(offset + done);
    DWORD put = 0;
    if (!WriteFile(file->handle, in + done, chunk, &put, &at) || put == 0) break;
    done += put;
  }
  return done;
}

// ---- Delete, move, copy and new folders ---------------------------------------

bool FileDelete(const char* path) {
  std::string native;
  return Native(path, native) && DeleteFileA(native.c_str()) != 0;
}

bool FileMove(const char* from, const char* to) {
  std::string source, target;
  if (!Native(from, source) || !Native(to, target)) return false;
  // The kernel takes a move onto the file itself (the same name, or another
  // link to it) as done. That target exists, so it is refused, unless only
  // the letter case of the name changes.
  if (SameFile(source.c_str(), target.c_str())) {
    if (source == target || !SamePathSpelling(source.c_str(), target.c_str())) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return false;
    }
    // Some file systems take a change of letter case alone for no change at
    // all: the name goes through a free temporary one.
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      const std::string step = source + ".case" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(attempt);
      if (!MoveFileExA(source.c_str(), step.c_str(), 0)) {
        if (GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS) continue;
        return false;
      }
      if (MoveFileExA(step.c_str(), target.c_str(), 0)) return true;
      const DWORD error = GetLastError();
      MoveFileExA(step.c_str(), source.c_str(), 0);  // put the name back
      SetLastError(error);
      return false;
    }
    return false;
  }
  // Without MOVEFILE_REPLACE_EXISTING an existing target is refused; across
  // volumes the kernel copies the file and then deletes the source.
  return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED) != 0;
}

bool FileCopy(const char* from, const char* to, bool failIfExists) {
  std::string source, target;
  if (!Native(from, source) || !Native(to, target)) return false;
  if (SameFile(source.c_str(), target.c_str())) return false;
  const bool existed = GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (CopyFileA(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE)) return true;
  // A copy that stopped half way must not pass for the file.
  if (!existed) DeleteFileA(target.c_str());
  return false;
}

bool SameFile(const char* a, const char* b) {
  std::string first, second;
  uint64_t volumeA, indexA, volumeB, indexB;
  if (!Native(a, first) || !Native(b, second)) return false;
  if (!FileIdentity(first, volumeA, indexA) || !FileIdentity(second, volumeB, indexB)) return false;
  return volumeA == volumeB && indexA == indexB;
}

bool DirCreate(const char* path) {
  std::string native;
  return Native(path, native) && CreateDirectoryA(native.c_str(), nullptr) != 0;
}

NewFileResult WriteNewFile(const char* path, const void* data, size_t size) {
  std::string native;
  if (!Native(path, native) || (size && !data)) return NewFileResult::FAILED;
  // CREATE_NEW is the exclusive creation: it fails when the name exists.
  HANDLE handle = CreateFileA(native.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NewFileResult::EXISTS
                                                                       : NewFileResult::FAILED;
  }
  bool ok = WriteAll(handle, static_cast<const char*>(data), size);
  if (!CloseHandle(handle)) ok = false;
  if (ok) return NewFileResult::CREATED;
  DeleteFileA(native.c_str());
  return NewFileResult::FAILED;
}

// ---- Directory search (FindFirstFileA, FindNextFileA, FindClose) ---------------

struct FindHandle {
  HANDLE search;
  std::string pattern;
  WIN32_FIND_DATAA pending;  // the kernel's next entry, not yet handed out
  bool hasPending;
};

namespace {

// Hands out the pending entry when it matches, else reads on; the kernel also
// matches 8.3 short names and treats "*." specially, so its answers are
// filtered by the layer's own rule to mean the same on every platform.
bool NextMatch(FindHandle* handle, FindData& data) {
  while (handle->hasPending) {
    const WIN32_FIND_DATAA entry = handle->pending;
    handle->hasPending = ::FindNextFileA(handle->search, &handle->pending) != 0;
    if (!MatchPattern(handle->pattern.c_str(), entry.cFileName)) continue;
    data.name = entry.cFileName;
    data.attributes = LayerAttributes(entry.dwFileAttributes);
    return true;
  }
  return false;
}

}  // namespace

FindHandle* FindFirst(const char* searchPath, FindData& data) {
  std::string native;
  if (!Native(searchPath, native)) return nullptr;
  const size_t slash = native.rfind('\\');
  const std::string pattern = slash == std::string::npos ? native : native.substr(slash + 1);
  if (pattern.empty()) return nullptr;
  // The kernel lists everything; the pattern is applied here.
  const std::string everything =
      (slash == std::string::npos ? std::string() : native.substr(0, slash + 1)) + "*";
  FindHandle* handle = new FindHandle;
  handle->pattern = pattern;
  handle->search = ::FindFirstFileA(everything.c_str(), &handle->pending);
  handle->hasPending = handle->search != INVALID_HANDLE_VALUE;
  if (!handle->hasPending || !NextMatch(handle, data)) {
    FindClose(handle);
    return nullptr;
  }
  return handle;
}

bool FindNext(FindHandle* handle, FindData& data) { return handle && NextMatch(handle, data); }

void FindClose(FindHandle* handle) {
  if (!handle) return;
  if (handle->search != INVALID_HANDLE_VALUE) ::FindClose(handle->search);
  delete handle;
}

// ---- Current directory and module (Get/SetCurrentDirectoryA, GetModuleFileNameA)

bool CurrentDir(char* buffer, unsigned size) {
  if (!buffer || size == 0) return false;
  // The length without terminator on success, the size needed when the
  // buffer is too small, 0 on failure.
  const DWORD length = GetCurrentDirectoryA(size, buffer);
  if (length != 0 && length < size) return true;
  buffer[0] = 0;
  return false;
}

bool SetCurrentDir(const char* path) {
  std::string native;
  return Native(path, native) && SetCurrentDirectoryA(native.c_str()) != 0;
}

bool ModuleFileName(std::string& path) {
  char buffer[kPathMax];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  // A result that fills the buffer has been cut: refuse it.
  if (length == 0 || length >= sizeof buffer - 1) return false;
  path.assign(buffer, length);
  return true;
}

// ---- Drives --------------------------------------------------------------------

uint32_t LogicalDrives() { return GetLogicalDrives(); }

unsigned DriveType(const char* root) {
  if (!root || !*root) return GetDriveTypeA(nullptr);
  std::string native;
  if (!Native(root, native)) return DRIVE_NO_ROOT_DIR;
  // Any existing path is judged by the root of the volume it lies on.
  char volume[kPathMax];
  if (GetFileAttributesA(native.c_str()) == INVALID_FILE_ATTRIBUTES ||
      !GetVolumePathNameA(native.c_str(), volume, sizeof volume))
    return DRIVE_NO_ROOT_DIR;
  return GetDriveTypeA(volume);
}

std::vector<std::string> CdromMountPoints() {
  std::vector<std::string> points;
  const DWORD drives = GetLogicalDrives();
  for (unsigned letter = 0; letter < 26; ++letter) {
    if (!(drives & (1u << letter))) continue;
    const std::string root = DriveRoot(letter);
    if (GetDriveTypeA(root.c_str()) == DRIVE_CDROM) points.push_back(root);
  }
  return points;
}

// ---- User folders ----------------------------------------------------------------

bool UserDocumentsDir(std::string& path) { return ShellFolder("Personal", path); }

bool UserAppDataDir(std::string& path) { return ShellFolder("AppData", path); }

}  // namespace qvr::detail
