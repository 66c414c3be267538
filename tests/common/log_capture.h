// Test helper: sends the library's log to a temporary file while it lives.
// Text() returns what was written so far (the log flushes every message), so
// it may be called more than once; the destructor puts the log back on
// standard output at the level it had.
#ifndef QVR_TESTS_LOG_CAPTURE_H
#define QVR_TESTS_LOG_CAPTURE_H

#include <string>

#include "qvr3d/core.h"
#include "tmpdir.h"

namespace qvrtest {

// Every level the log knows, DBG included.
constexpr unsigned kAllLevels = 255;

class LogCapture {
 public:
  // Captures at the log's current level.
  LogCapture() : LogCapture(QVR::GetLogLevel()) {}
  // Captures at `level` for the life of the object.
  explicit LogCapture(unsigned level) : m_path(m_dir / "log.txt"), m_level(QVR::GetLogLevel()) {
    QVR::SetLogLevel(level);
    QVR::SetLogTarget(2, m_path.c_str());
  }
  ~LogCapture() {
    QVR::CloseLog();
    QVR::SetLogLevel(m_level);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string Text() const { return ReadAll(m_path); }

 private:
  TempDir m_dir;
  std::string m_path;
  unsigned m_level;
};

}  // namespace qvrtest

#endif
