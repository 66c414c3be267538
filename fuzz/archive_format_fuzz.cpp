// libFuzzer target "archive_format": format detection and the archive
// factory on arbitrary file content.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "qvr3d/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path = [] {
    char name[] = "/tmp/qvr-archive-format-fuzz-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    static std::string made = name;
    std::atexit([] { std::remove(made.c_str()); });
    return made;
  }();
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  int format = QVRArchive::FindArchiveFormat(path.c_str());
  if (format < 0 || format > 8 || format == 3) abort();
  std::unique_ptr<QVRArchive> archive(QVRArchive::OpenArchive(path.c_str()));
  if (archive && archive->GetFormat() != format) abort();
  return 0;
}
