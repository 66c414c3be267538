// Writing a tool's output file safely: into a temporary file beside it that is renamed over it
// once complete, so that a failed or interrupted write never leaves a partial file in its place.
#ifndef QVR_TOOLS_COMMON_ATOMIC_WRITE_H
#define QVR_TOOLS_COMMON_ATOMIC_WRITE_H

#include <qvr3d/qvr3d.h>

#include "cli.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace qvrtool {

namespace fs = std::filesystem;

// The temporary file being written, removed when the program is interrupted.
inline char g_tmpPath[4096];
inline volatile sig_atomic_t g_tmpActive = 0;

// rename that replaces an existing target on every system (the Windows C
// runtime's rename refuses to).
inline bool RenameOver(const char* from, const char* to) {
#if defined(_WIN32)
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  errno = EACCES;
  return false;
#else
  return std::rename(from, to) == 0;
#endif
}

inline void RemoveTmpAndDie(int sig) {
  if (g_tmpActive) unlink(g_tmpPath);
  signal(sig, SIG_DFL);
  raise(sig);
}

// Writes `out` through `write`, first into a temporary file in the same folder that is renamed
// over `out` only once everything reached the disk; on any failure the temporary file is removed
// and an existing `out` stays as it was. `what` names the content in messages.
inline bool WriteAtomically(const std::string& out, const char* what,
                            const std::function<bool(QVRFile&)>& write) {
  std::error_code ec;
  std::string target = out;
  // Replace what a link points to rather than the link itself.
  if (fs::is_symlink(out, ec) && fs::exists(out, ec)) target = fs::canonical(out, ec).string();
  if (ec) target = out;
  fs::file_status status = fs::status(target, ec);
  const bool exists = fs::exists(status);
  if (exists && fs::is_directory(status)) {
    Error("%s: is a folder", out.c_str());
    return false;
  }
  if (exists && !fs::is_regular_file(status)) {
    Error("%s: not a regular file", out.c_str());
    return false;
  }

  std::vector<char> tmpName(target.begin(), target.end());
  const char suffix[] = ".tmp-XXXXXX";
  tmpName.insert(tmpName.end(), suffix, suffix + sizeof suffix);  // with the terminator
  if (tmpName.size() > sizeof g_tmpPath) {
    Error("%s: name too long", out.c_str());
    return false;
  }
  std::memcpy(g_tmpPath, tmpName.data(), tmpName.size());
#if defined(SIGHUP)
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, RemoveTmpAndDie);
#else
  for (int sig : {SIGINT, SIGTERM}) signal(sig, RemoveTmpAndDie);
#endif
  g_tmpActive = 1;
  int fd = mkstemp(g_tmpPath);
  if (fd < 0) {
    g_tmpActive = 0;
    fs::path folder = fs::path(target).parent_path();
    Error("%s: cannot create a file in %s: %s", out.c_str(),
          folder.empty() ? "." : folder.string().c_str(), std::strerror(errno));
    return false;
  }
  const std::string tmp(g_tmpPath);
  // mkstemp makes the file private; give it the mode of the file it replaces, or the usual one.
  mode_t mode;
  if (exists) {
    struct stat st;
    mode = stat(target.c_str(), &st) == 0 ? st.st_mode & 07777 : 0644;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
#if defined(_WIN32)
  (void)mode;  // Windows keeps only a read-only flag, which a new file lacks
#else
  fchmod(fd, mode);
#endif
  close(fd);

  QVRFile file(tmp.c_str(), QVRResFile::WRITE | QVRResFile::TRUNCATE);
  bool ok = file.Good();
  int error = 0;
  if (!ok) {
    error = errno;
  } else {
    errno = 0;
    ok = write(file);
    if (!ok || !file.Good()) error = errno;
    ok = ok && file.Good();
    // The C library may hold the last bytes until the flush; only then is a full disk known.
    if (ok && (std::fflush(file.GetFile()) != 0 || std::ferror(file.GetFile()))) {
      error = errno;
      ok = false;
    }
#if defined(_WIN32)
    const bool synced = _commit(_fileno(file.GetFile())) == 0;
#else
    const bool synced = fsync(fileno(file.GetFile())) == 0;
#endif
    if (ok && !synced) {
      error = errno;
      ok = false;
    }
  }
  file.Close();
  if (ok && !RenameOver(tmp.c_str(), target.c_str())) {
    Error("%s: cannot move the new file into place: %s", out.c_str(), std::strerror(errno));
    ok = false;
    error = -1;
  }
  if (!ok) std::remove(tmp.c_str());
  g_tmpActive = 0;
  if (!ok && error >= 0) {
    if (error != 0)
      Error("%s: cannot write the %s: %s", out.c_str(), what, std::strerror(error));
    else
      Error("%s: the library refused to write the %s%s", out.c_str(), what,
            g_logLevel < QVR::LOG_LOG ? "; -v shows its messages" : "");
  }
  return ok;
}

}  // namespace qvrtool

#endif
