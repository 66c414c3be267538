// 64-bit positioning of C library file streams, so that windows and disk
// streams work on files past 2 GiB even where long is 32 bits.
#ifndef QVR_IO_FILEPOS_H
#define QVR_IO_FILEPOS_H

#include <cstdint>
#include <cstdio>

#if !defined(_WIN32)
#include <sys/types.h>
#endif

namespace qvr::detail {

inline bool SeekFile(FILE* file, int64_t offset, int whence) {
#if defined(_WIN32)
  return _fseeki64(file, offset, whence) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

// -1 on failure.
inline int64_t TellFile(FILE* file) {
#if defined(_WIN32)
  return _ftelli64(file);
#else
  return static_cast<int64_t>(ftello(file));
#endif
}

}  // namespace qvr::detail

#endif
