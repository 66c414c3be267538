// Leak-checker hooks for programs that open an OpenGL window under Xvfb in a
// sanitizer build (the GL display tests, the demo's OpenGL run): the leaks
// that LeakSanitizer finds inside X11 and Mesa are theirs. Include it in one
// source file of the program; it does nothing outside AddressSanitizer.
#ifndef QVR_TESTS_GL_LEAK_HOOKS_H
#define QVR_TESTS_GL_LEAK_HOOKS_H

#include <initializer_list>

#if defined(__SANITIZE_ADDRESS__)
#define QVR_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVR_TEST_ASAN 1
#endif
#endif
#if QVR_TEST_ASAN
#include <dlfcn.h>
namespace {
// The OpenGL vendor library and the DRI driver are unloaded when SDL closes
// the display, and their leaks would then be reported from an unknown
// module that no suppression can name: keep them loaded.
const bool g_keepDrivers = [] {
  for (const char* lib : {"libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
                          "/usr/lib64/dri/swrast_dri.so", "/usr/lib/dri/swrast_dri.so"})
    dlopen(lib, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  return true;
}();
}  // namespace
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libX11.so\n"
         "leak:libxcb.so\n"
         "leak:libGLX_mesa.so\n"
         "leak:swrast_dri.so\n"
         "leak:libLLVM\n"
         "leak:libglapi.so\n";
}
#endif

#endif
