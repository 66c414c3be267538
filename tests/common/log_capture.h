// Test helper: sends the library's log to a temporary file from construction
// until Text(), which returns what was written.
#ifndef QVR_TESTS_LOG_CAPTURE_H
#define QVR_TESTS_LOG_CAPTURE_H

#include <string>

#include "qvr3d/core.h"
#include "tmpdir.h"

namespace qvrtest {

class LogCapture {
 public:
  LogCapture() : m_path(m_dir / "log.txt") { QVR::SetLogTarget(2, m_path.c_str()); }
  ~LogCapture() { QVR::CloseLog(); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  std::string Text() {
    QVR::CloseLog();
    return ReadAll(m_path);
  }

 private:
  TempDir m_dir;
  std::string m_path;
};

}  // namespace qvrtest

#endif
