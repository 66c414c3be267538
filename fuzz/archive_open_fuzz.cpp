// libFuzzer target "archive_open": the input (after its first byte) is written
// to a file and opened as a QVRA archive (even first byte) or a PAK (odd);
// every entry is then looked up by name, opened and read to its end.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "qvr3d/archive.h"
#include "qvr3d/stream.h"

namespace {

const std::string& ScratchFile() {
  static std::string path = [] {
    char name[] = "/tmp/qvr-archive-open-fuzz-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    static std::string made = name;
    std::atexit([] { std::remove(made.c_str()); });
    return made;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string& path = ScratchFile();
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  fwrite(data + 1, 1, size - 1, f);
  fclose(f);

  std::unique_ptr<QVRArchive> archive;
  if (data[0] & 1) {
    archive.reset(new QVRArchPAK);
  } else {
    archive.reset(new QVRArchQVR);
  }
  if (!archive->Open(path.c_str())) return 0;
  char buffer[4096];
  for (unsigned i = 0; i < archive->NbFiles(); ++i) {
    const char* name = archive->FileName(i);
    unsigned first = archive->FindFile(name);
    if (first == QVRArchive::NONE || first > i) abort();  // the index lost an entry
    QVRArchive::IsSafeName(name);
    std::unique_ptr<QVRResFile> entry(archive->OpenResFile(i));
    if (!entry) continue;
    unsigned total = 0;
    while (unsigned got = entry->Read(buffer, sizeof buffer)) total += got;
    if (total != archive->FileSize(i)) abort();  // a window that does not match its entry
  }
  archive->Sort(QVRFileProvider::SORT_EXT | (data[0] & 0x30));
  archive->TotalSize();
  return 0;
}
