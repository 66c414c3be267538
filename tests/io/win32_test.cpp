// What only the Windows build can show for real: drive letters and their
// types, "C:\" roots, names in the Windows form against the file system, the
// executable's folder, and the user folders read from the registry's
// shell-folder keys (those Wine creates, then values set here).
#include <gtest/gtest.h>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/tmpdir.h"
#include "io/platform.h"
#include "qvr3d/archive.h"
#include "qvr3d/fileutils.h"
#include "qvr3d/stream.h"
#include "qvr3d/text.h"

namespace {

using FU = QVRFileUtils;
using qvrtest::TempDir;
using qvrtest::WriteAll;

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// One value under HKEY_CURRENT_USER, put back as it was when the guard ends.
class RegistryValue {
 public:
  RegistryValue(const char* key, const char* name) : m_key(key), m_name(name) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return;
    char buffer[4096];
    DWORD size = sizeof buffer - 1;
    if (RegQueryValueExA(handle, name, nullptr, &m_type, reinterpret_cast<BYTE*>(buffer), &size) ==
        ERROR_SUCCESS) {
      m_had = true;
      m_value.assign(buffer, size);
    }
    RegCloseKey(handle);
  }
  ~RegistryValue() {
    if (m_had)
      Set(m_type, m_value);
    else
      Remove();
  }
  RegistryValue(const RegistryValue&) = delete;
  RegistryValue& operator=(const RegistryValue&) = delete;

  // The value as text, without its terminator; "" when missing.
  std::string Text() const { return m_had ? std::string(m_value.c_str()) : std::string(); }
  bool Set(DWORD type, const std::string& value) const {
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
      return false;
    const bool ok =
        RegSetValueExA(handle, m_name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
  }
  void Remove() const {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, m_key, 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueA(handle, m_name);
    RegCloseKey(handle);
  }

 private:
  const char* m_key;
  const char* m_name;
  bool m_had = false;
  DWORD m_type = REG_SZ;
  std::string m_value;
};

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Windows, DrivesAndTheirTypes) {
  // Wine gives every prefix C: (its own folder) and Z: (the host's root).
  const unsigned drives = FU::DrivesList();
  EXPECT_TRUE(drives & (1u << ('C' - 'A'))) << std::hex << drives;
  EXPECT_TRUE(drives & (1u << ('Z' - 'A'))) << std::hex << drives;
  EXPECT_EQ(FU::DriveType("C:\\"), 3u);
  EXPECT_EQ(FU::DriveType("c:/"), 3u);
  for (unsigned letter = 0; letter < 26; ++letter) {
    if (drives & (1u << letter)) continue;
    const char root[4] = {static_cast<char>('A' + letter), ':', '\\', 0};
    EXPECT_EQ(FU::DriveType(root), 1u) << root;  // no such drive
    break;
  }
  TempDir tmp;
  EXPECT_EQ(FU::DriveType(tmp.path().c_str()), 3u);
  EXPECT_EQ(FU::DriveType((tmp / "missing").c_str()), 1u);
  EXPECT_NE(FU::DriveType(nullptr), 1u);  // the current directory's drive

  // CD-ROM folders are the roots of the drives of that type.
  std::unique_ptr<QVRText> cds(FU::GetCDROMDirs());
  ASSERT_NE(cds, nullptr);
  unsigned expected = 0;
  for (unsigned letter = 0; letter < 26; ++letter) {
    const char root[4] = {static_cast<char>('A' + letter), ':', '\\', 0};
    if ((drives & (1u << letter)) && GetDriveTypeA(root) == DRIVE_CDROM) {
      ASSERT_LT(expected, cds->Length());
      EXPECT_STREQ(cds->Get(expected), root);
      ++expected;
    }
  }
  EXPECT_EQ(cds->Length(), expected);
}

TEST(Windows, RootsAndNamesInTheWindowsForm) {
  EXPECT_TRUE(FU::IsRoot("C:\\"));
  EXPECT_TRUE(FU::IsAbsolute("C:\\games"));
  EXPECT_TRUE(IsFolder("C:\\"));

  TempDir tmp;
  std::filesystem::create_directories(tmp / "Data\\Levels");
  ASSERT_TRUE(WriteAll(tmp / "Data\\Levels\\One.MAP", "level one"));
  char* saved = FU::GetCWD();
  ASSERT_NE(saved, nullptr);
  ASSERT_TRUE(FU::SetCWD(tmp.path().c_str()));
  // The file system ignores letter case itself and takes either separator.
  for (const char* name :
       {"data\\levels\\one.map", "DATA/LEVELS/ONE.MAP", "Data\\Levels/One.MAP"}) {
    SCOPED_TRACE(name);
    QVRFile file(name, QVRResFile::READ);
    ASSERT_TRUE(file.Good());
    char text[16] = {};
    EXPECT_EQ(file.Read(text, sizeof text - 1), 9u);
    EXPECT_STREQ(text, "level one");
    EXPECT_TRUE(FU::FileExist(name));
  }
  EXPECT_TRUE(FU::IsDir("data\\levels"));
  // Listings join with "\".
  QVRDir dir("data\\levels");
  ASSERT_NE(dir.Name(), nullptr);
  const std::string name = dir.Name();
  EXPECT_EQ(name.find('/'), std::string::npos) << name;
  EXPECT_EQ(_stricmp(name.c_str(), (tmp / "data\\levels").c_str()), 0) << name;
  dir.GoRoot();
  EXPECT_EQ(std::string(dir.Name()), tmp.path().substr(0, 3));  // "C:\"
  dir.GoUp();
  EXPECT_EQ(std::string(dir.Name()), tmp.path().substr(0, 3));  // stays at the root

  // Archives extract below a folder with "\" between the parts.
  QVRArchPAK pak;
  ASSERT_TRUE(pak.Create("patch.pak"));
  ASSERT_NE(pak.AddFileAs("data\\levels\\one.map", "maps\\e1\\one.map"), QVRArchive::NONE);
  ASSERT_TRUE(FU::DirCreate("out"));
  EXPECT_TRUE(pak.ExtractAll("out"));
  EXPECT_EQ(qvrtest::ReadAll(tmp / "out\\maps\\e1\\one.map"), "level one");
  pak.Close();
  EXPECT_TRUE(FU::SetCWD(saved));
  delete[] saved;
}

TEST(Windows, ExecutableFolder) {
  char* exeDir = FU::GetExeDir();
  ASSERT_NE(exeDir, nullptr);
  const std::string dir = exeDir;
  delete[] exeDir;
  EXPECT_TRUE(FU::IsAbsolute(dir.c_str())) << dir;
  EXPECT_NE(dir.back(), '\\');
  EXPECT_TRUE(std::filesystem::exists(dir + "\\test_io.exe")) << dir;
}

TEST(Windows, UserFoldersComeFromTheShellFolderKeys) {
  RegistryValue personal(kShellFolders, "Personal"), appData(kShellFolders, "AppData");
  RegistryValue userPersonal(kUserShellFolders, "Personal");

  // The values Wine wrote into the prefix.
  qvr::detail::ResetUserDirCache();
  ASSERT_FALSE(personal.Text().empty());
  ASSERT_FALSE(appData.Text().empty());
  EXPECT_STREQ(FU::GetUserDocDir(), personal.Text().c_str());
  EXPECT_STREQ(FU::GetUserAppDir(), appData.Text().c_str());
  EXPECT_TRUE(IsFolder(FU::GetUserDocDir())) << FU::GetUserDocDir();
  EXPECT_TRUE(IsFolder(FU::GetUserAppDir())) << FU::GetUserAppDir();

  // A value set afterwards is seen once the cache is dropped; a trailing
  // separator is taken off.
  TempDir tmp;
  ASSERT_TRUE(personal.Set(REG_SZ, tmp.path() + "\\"));
  EXPECT_STREQ(FU::GetUserDocDir(), personal.Text().c_str());  // still the cached one
  qvr::detail::ResetUserDirCache();
  EXPECT_EQ(std::string(FU::GetUserDocDir()), tmp.path());

  // Without Explorer's value, the user's own one, with its variables
  // expanded.
  personal.Remove();
  ASSERT_TRUE(userPersonal.Set(REG_EXPAND_SZ, "%TEMP%\\qvr3d docs"));
  qvr::detail::ResetUserDirCache();
  char expanded[MAX_PATH];
  ASSERT_NE(ExpandEnvironmentStringsA("%TEMP%\\qvr3d docs", expanded, sizeof expanded), 0u);
  EXPECT_STREQ(FU::GetUserDocDir(), expanded);
  EXPECT_EQ(std::string(FU::GetUserDocDir()).find('%'), std::string::npos);
  qvr::detail::ResetUserDirCache();
}

}  // namespace

#endif  // _WIN32
