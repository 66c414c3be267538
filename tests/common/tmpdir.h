// Test helpers: a temporary folder removed with its contents, and small
// file read/write shortcuts.
#ifndef QVR_TESTS_TMPDIR_H
#define QVR_TESTS_TMPDIR_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#if defined(_WIN32)
#include <process.h>
#endif

namespace qvrtest {

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

class TempDir {
 public:
  TempDir() {
#if defined(_WIN32)
    // No mkdtemp: try names until one is new.
    static unsigned serial = 0;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (unsigned attempt = 0; attempt < 1000 && m_path.empty(); ++attempt) {
      std::filesystem::path candidate =
          base / ("qvr3d-test-" + std::to_string(_getpid()) + "-" + std::to_string(serial++));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) m_path = candidate.string();
    }
#else
    std::string templ = (std::filesystem::temp_directory_path() / "qvr3d-test-XXXXXX").string();
    if (char* made = mkdtemp(templ.data())) m_path = made;
#endif
  }
  ~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  /// The path of `name` inside the folder, joined with the native separator.
  std::string operator/(const std::string& name) const { return m_path + kSeparator + name; }

 private:
  std::string m_path;
};

/// `path` with every "/" turned into the native separator.
inline std::string Native(std::string path) {
  for (char& c : path)
    if (c == '/') c = kSeparator;
  return path;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace qvrtest

#endif
