// Reading the inputs of qvrfont (images, font files) with explained failures. Outputs go through
// the tools' shared temporary-file writer.
#include "qvrfont.h"

#include "../common/cli.h"

#include <sys/stat.h>

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


}  // namespace qvrfont
