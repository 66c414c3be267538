// Numbered file names for screenshots, created exclusively.
#include "gl/numbered.h"

#include <cstdio>

#include "io/platform.h"
#include "qvr3d/fileutils.h"

namespace qvr::detail {

std::string NumberedName(const char* prefix, unsigned n, const char* ext) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03u", n % 1000);
  return std::string(prefix ? prefix : "") + digits + (ext ? ext : "");
}

int WriteNumberedFile(const char* prefix, const char* ext, const void* data, size_t size) {
  if (!prefix) return -1;
  for (unsigned n = 0; n < 1000; ++n) {
    const std::string name = NumberedName(prefix, n, ext);
    if (QVRFileUtils::FileExist(name.c_str())) continue;
    switch (WriteNewFile(name.c_str(), data, size)) {
      case NewFileResult::CREATED:
        return static_cast<int>(n);
      case NewFileResult::EXISTS:
        continue;  // made since the test: take the next name
      case NewFileResult::FAILED:
        return -1;
    }
  }
  return -1;
}

}  // namespace qvr::detail
