# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686,
# posix threads variant, for std::thread and std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QVR_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QVR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QVR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QVR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 arithmetic, as every 32-bit Windows compiler has produced by default
# for years: x87 registers keep excess precision and round differently.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# The compiler's own runtime (libgcc, libstdc++, winpthread) is linked in, so
# that the programs run under Wine without DLLs copied beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Test programs run through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
