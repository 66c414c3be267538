// The levelled log: one process-wide level, target and output stream.
#include <cstdarg>
#include <cstdio>

#include "qvr3d/core.h"

namespace {

unsigned g_level = 100;
unsigned g_target = 0;
FILE* g_stream = nullptr;  // null means standard output

FILE* Stream() { return g_stream ? g_stream : stdout; }

void Write(unsigned level, const char* format, va_list args) {
  if (level == 0 || level > g_level || format == nullptr) return;
  FILE* out = Stream();
  std::vfprintf(out, format, args);
  std::fflush(out);
}

// Closes a file target; standard streams are never closed.
void CloseFileTarget() {
  if (g_target == 2 && g_stream) {
    if (g_stream == stdout || g_stream == stderr)
      QVR::LOG("LOGClose: file was stdout/err and target was file !\n");
    else
      std::fclose(g_stream);
  }
  g_stream = nullptr;
  g_target = 0;
}

}  // namespace

namespace QVR {

void SetLogLevel(unsigned level) { g_level = level > 255 ? 255 : level; }
unsigned GetLogLevel() { return g_level; }
unsigned GetLogTarget() { return g_target; }

bool SetLogTarget(unsigned target, const char* name) {
  CloseFileTarget();
  switch (target) {
    case 1:
      g_stream = stderr;
      g_target = 1;
      return true;
    case 2: {
      if (name == nullptr) return false;
      FILE* f = std::fopen(name, "wb");
      if (f == nullptr) return false;
      g_stream = f;
      g_target = 2;
      return true;
    }
    default:
      return true;
  }
}

void CloseLog() {
  if (g_target == 2) CloseFileTarget();
}

void LOGL(unsigned level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(level, format, args);
  va_end(args);
}

#define QVR_LOG_FUNCTION(name, level)  \
  void name(const char* format, ...) { \
    va_list args;                      \
    va_start(args, format);            \
    Write(level, format, args);        \
    va_end(args);                      \
  }

QVR_LOG_FUNCTION(ERR, 1)
QVR_LOG_FUNCTION(WARN, 10)
QVR_LOG_FUNCTION(LOG, 100)
QVR_LOG_FUNCTION(DBG, 200)

#undef QVR_LOG_FUNCTION

}  // namespace QVR
