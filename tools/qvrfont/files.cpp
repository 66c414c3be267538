// Reading the inputs of qvrfont (images, font files) with explained failures, and writing its
// outputs through a temporary file that is renamed into place.
#include "qvrfont.h"

#include "../common/cli.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;
using qvrtool::Error;
using qvrtool::g_logLevel;

namespace qvrfont {

namespace {

const char* VerboseHint() {
  return g_logLevel < QVR::LOG_LOG ? "; -v shows the reader's messages" : "";
}

// Opens `path` for reading, explaining a failure.
bool OpenInput(const std::string& path, QVRFile& file) {
  if (!CheckInput(path)) return false;
  errno = 0;
  file.Open(path.c_str(), QVRResFile::READ);
  if (!file.Good()) {
    Error("%s: cannot open: %s", path.c_str(), errno ? std::strerror(errno) : "unknown error");
    return false;
  }
  return true;
}

// The temporary file being written, removed when the program is interrupted.
char g_tmpPath[4096];
volatile sig_atomic_t g_tmpActive = 0;

void RemoveTmpAndDie(int sig) {
  if (g_tmpActive) unlink(g_tmpPath);
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

bool CheckInput(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    Error("%s: no such file", path.c_str());
    return false;
  }
  if (fs::is_directory(path, ec)) {
    Error("%s: is a folder", path.c_str());
    return false;
  }
  return true;
}

bool LoadImage(const std::string& path, QVRImage& img) {
  QVRFile file;
  if (!OpenInput(path, file)) return false;
  int format = img.FindFormat(file);
  if (format == QVRImage::IMG_AUTO) {
    Error("%s: not an image file (too short to hold a header)", path.c_str());
    return false;
  }
  if (!img.Load(file, format) || img.GetPixels() == nullptr) {
    Error("%s: not a readable BMP, GIF, PCX or TGA image%s", path.c_str(), VerboseHint());
    return false;
  }
  return true;
}

bool LoadFont(const std::string& path, QVRFont& font) {
  QVRFile file;
  if (!OpenInput(path, file)) return false;
  uint8_t head[5];
  const bool whole = file.Read(head, 5) == 5;
  file.SeekStart();
  if (!whole || std::memcmp(head, "QVRF", 4) != 0) {
    Error("%s: not a font file (no \"QVRF\" signature)", path.c_str());
    return false;
  }
  // The first version has no version byte: the name length follows the signature, and a
  // one-letter name looks like version 2.
  bool loaded = head[4] == 2 && font.Load(file, 0);
  if (!loaded) {
    file.SeekStart();
    loaded = font.LoadV1(file, 0);
  }
  if (!loaded) {
    if (head[4] == 2)
      Error("%s: damaged font file%s", path.c_str(), VerboseHint());
    else
      Error("%s: unknown font file version %d, or a damaged version-1 file", path.c_str(),
            int(head[4]));
    return false;
  }
  return true;
}

bool WriteAtomically(const std::string& out, const char* what,
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
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, RemoveTmpAndDie);
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
  fchmod(fd, mode);
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
    if (ok && fsync(fileno(file.GetFile())) != 0) {
      error = errno;
      ok = false;
    }
  }
  file.Close();
  if (ok && std::rename(tmp.c_str(), target.c_str()) != 0) {
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

}  // namespace qvrfont
