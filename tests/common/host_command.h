// Test helper: runs the independent programs of the machine the tests run on
// (python3, sox, ImageMagick's convert) through its POSIX shell. The Windows
// build runs under Wine, whose processes can start the host's own programs:
// there the command goes to the host's /bin/sh, and the paths in it must be
// given in the host's form (HostPath). Wine starts such a program without a
// handle to wait on, so the script reports its exit status in a file, which
// is waited for.
#ifndef QVR_TESTS_HOST_COMMAND_H
#define QVR_TESTS_HOST_COMMAND_H

#include <cstdlib>
#include <string>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#else
#include <sys/wait.h>
#endif

namespace qvrtest {

#if defined(_WIN32)
namespace host_detail {

// Wine's own export that names a Windows path in the host's file system;
// null on a real Windows.
inline char* UnixName(const std::string& path) {
  using Converter = char*(__cdecl*)(const WCHAR*);
  static const Converter convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return nullptr;
  WCHAR wide[4096];
  if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, 4096) == 0) return nullptr;
  return convert(wide);
}

}  // namespace host_detail
#endif

/// True when host programs can be started: always on POSIX, under Wine on
/// Windows.
inline bool HaveHostShell() {
#if defined(_WIN32)
  static const bool have = [] {
    char* probe = host_detail::UnixName("C:\\");
    if (probe == nullptr) return false;
    HeapFree(GetProcessHeap(), 0, probe);
    return true;
  }();
  return have;
#else
  return true;
#endif
}

/// `path` in the form the host's programs understand: the path itself on
/// POSIX, its Unix name under Wine ("" when it has none).
inline std::string HostPath(const std::string& path) {
#if defined(_WIN32)
  char* name = host_detail::UnixName(path);
  if (name == nullptr) return "";
  std::string out = name;
  HeapFree(GetProcessHeap(), 0, name);
  return out;
#else
  return path;
#endif
}

/// Runs `command` with the host's /bin/sh; its exit status, or -1 when it
/// could not be started (or took more than ten minutes).
inline int HostShell(const std::string& command) {
#if defined(_WIN32)
  if (!HaveHostShell()) return -1;
  static unsigned serial = 0;
  char temp[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp) return -1;
  const std::string base = std::string(temp) + "qvr3d-host-" +
                           std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++);
  const std::string script = base + ".sh", status = base + ".status";
  {
    std::ofstream out(script, std::ios::binary);
    // Wine hands over its own PATH, which names Windows folders.
    out << "PATH=/usr/local/bin:/usr/bin:/bin; export PATH\n"
        << "( " << command << "\n)\n"
        << "echo $? > '" << HostPath(status) << ".part'\n"
        << "mv '" << HostPath(status) << ".part' '" << HostPath(status) << "'\n";
    if (!out) return -1;
  }
  std::string line = "Z:\\bin\\sh \"" + HostPath(script) + "\"";
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    DeleteFileA(script.c_str());
    return -1;
  }
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  int code = -1;
  for (int waited = 0; waited < 600 * 200; ++waited) {
    std::ifstream in(status);
    if (in && (in >> code)) break;
    Sleep(5);
  }
  DeleteFileA(status.c_str());
  DeleteFileA(script.c_str());
  return code;
#else
  const int status = std::system(command.c_str());
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

/// Quotes `path` for the host's shell, in the host's form.
inline std::string HostArg(const std::string& path) {
  std::string quoted = "'";
  for (char c : HostPath(path)) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

}  // namespace qvrtest

#endif
