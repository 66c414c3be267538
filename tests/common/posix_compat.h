// The few POSIX calls the tests use that the Windows C runtime lacks, made
// from their Windows counterparts. Empty elsewhere.
#ifndef QVR_TESTS_POSIX_COMPAT_H
#define QVR_TESTS_POSIX_COMPAT_H

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name)) return 0;
  return _putenv_s(name, value);
}
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
// A hard link, as POSIX link() makes one.
inline int link(const char* from, const char* to) {
  return CreateHardLinkA(to, from, nullptr) ? 0 : -1;
}
#endif

#endif
