// Symbol export control for the QVR3d shared library.
#ifndef QVR3D_EXPORT_H
#define QVR3D_EXPORT_H

#if defined(_WIN32)
#  if defined(QVR3D_BUILDING)
#    define QVR_API __declspec(dllexport)
#  elif defined(QVR3D_STATIC)
#    define QVR_API
#  else
#    define QVR_API __declspec(dllimport)
#  endif
#else
#  define QVR_API __attribute__((visibility("default")))
#endif

// Members of exported classes that only the library itself calls. (The
// declared-is-defined check of the test suite marks them its own way.)
#if !defined(QVR_LOCAL)
#  if defined(__GNUC__) && !defined(_WIN32)
#    define QVR_LOCAL __attribute__((visibility("hidden")))
#  else
#    define QVR_LOCAL
#  endif
#endif

// printf-style argument checking where the compiler offers it.
#if defined(__MINGW32__)
// The build uses mingw's C99 printf (__USE_MINGW_ANSI_STDIO), not msvcrt's.
#  define QVR_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#  define QVR_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#  define QVR_PRINTF(fmt, args)
#endif

#endif
