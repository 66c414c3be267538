// Tests of QVRFileUtils and the platform layer under it, on real temporary
// folders: renames, copies, listings, path rules, current, executable and
// user folders, and stream-to-stream copies.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/posix_compat.h"
#include "common/tmpdir.h"
#include "io/platform.h"
#include "qvr3d/fileutils.h"
#include "qvr3d/stream.h"
#include "qvr3d/text.h"

namespace {

using qvrtest::ReadAll;
using qvrtest::TempDir;
using qvrtest::WriteAll;
using FU = QVRFileUtils;

std::vector<std::string> List(const std::string& dir, const char* pattern, unsigned flags) {
  char** names = nullptr;
  unsigned n = FU::GetFileList(names, dir.c_str(), pattern, flags);
  std::vector<std::string> out;
  for (unsigned i = 0; i < n; ++i) out.push_back(names[i]);
  FU::FreeFileList(names, n);
  EXPECT_EQ(names, nullptr);
  std::sort(out.begin(), out.end());
  return out;
}

using Names = std::vector<std::string>;

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = getenv(name);
    m_had = old != nullptr;
    if (old) m_old = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_had)
      setenv(m_name.c_str(), m_old.c_str(), 1);
    else
      unsetenv(m_name.c_str());
  }

 private:
  std::string m_name, m_old;
  bool m_had;
};

// Records the size of every Read and Write so that chunking can be checked.
class RecordingMemFile : public QVRMemFile {
 public:
  RecordingMemFile(unsigned size, unsigned mode) : QVRMemFile(size, mode) {}
  unsigned Read(void* data, unsigned count) override {
    reads.push_back(count);
    return QVRMemFile::Read(data, count);
  }
  unsigned Write(const void* data, unsigned count) override {
    writes.push_back(count);
    return QVRMemFile::Write(data, count);
  }
  std::vector<unsigned> reads, writes;
};

TEST(FileUtils, PathRules) {
  EXPECT_TRUE(FU::IsRoot("C:\\"));
  EXPECT_TRUE(FU::IsRoot("/"));
  EXPECT_TRUE(FU::IsRoot("\\\\"));
  EXPECT_FALSE(FU::IsRoot("C:"));
  EXPECT_FALSE(FU::IsRoot("\\"));
  EXPECT_FALSE(FU::IsRoot("C:\\x"));
  EXPECT_FALSE(FU::IsRoot("//x"));
  EXPECT_FALSE(FU::IsRoot(nullptr));

  EXPECT_TRUE(FU::IsAbsolute("\\data"));
  EXPECT_TRUE(FU::IsAbsolute("C:\\games"));
  EXPECT_TRUE(FU::IsAbsolute("/usr/share"));
  EXPECT_FALSE(FU::IsAbsolute("C:/x"));
  EXPECT_FALSE(FU::IsAbsolute("C:x"));
  EXPECT_FALSE(FU::IsAbsolute("1:\\x"));
  EXPECT_FALSE(FU::IsAbsolute("data/x"));
  EXPECT_FALSE(FU::IsAbsolute(nullptr));
  EXPECT_TRUE(FU::IsRelative(nullptr));
  EXPECT_TRUE(FU::IsRelative("data"));
  EXPECT_FALSE(FU::IsRelative("/data"));

  EXPECT_STREQ(FU::FileName("a\\b\\c.txt"), "c.txt");
  EXPECT_STREQ(FU::FileName("c.txt"), "c.txt");
  EXPECT_STREQ(FU::FileName("a/b.txt"), "b.txt");
  EXPECT_STREQ(FU::FileName("a/b\\c"), "c");
  EXPECT_STREQ(FU::FileName("dir/"), "");
  EXPECT_EQ(FU::FileName(nullptr), nullptr);
  const char* path = "x/y/z.bin";
  EXPECT_EQ(FU::FileName(path), path + 4);  // points into the argument

  EXPECT_STREQ(FU::FileExtension("a\\b.tar.gz"), "gz");
  EXPECT_EQ(FU::FileExtension("noext"), nullptr);
  EXPECT_STREQ(FU::FileExtension("a.b\\file"), "b\\file");
  EXPECT_EQ(FU::FileExtension(".profile"), nullptr);
  EXPECT_EQ(FU::FileExtension("."), nullptr);
  EXPECT_EQ(FU::FileExtension(".."), nullptr);
  EXPECT_EQ(FU::FileExtension(nullptr), nullptr);
  EXPECT_STREQ(FU::FileExtension("name."), "");
}

TEST(FileUtils, PatternMatching) {
  using qvr::detail::MatchPattern;
  EXPECT_TRUE(MatchPattern("*.pcx", "TITLE.PCX"));
  EXPECT_TRUE(MatchPattern("?ITLE.p?x", "title.pcx"));
  EXPECT_TRUE(MatchPattern("*", ".hidden"));
  EXPECT_TRUE(MatchPattern("*.*", "README"));  // as Windows matches it
  EXPECT_TRUE(MatchPattern("a*b*c", "aXXbYYbc"));
  EXPECT_TRUE(MatchPattern("**x", "x"));
  EXPECT_FALSE(MatchPattern("*.pcx", "title.pcx.bak"));
  EXPECT_FALSE(MatchPattern("?", ""));
  EXPECT_FALSE(MatchPattern("abc", "ab"));
  EXPECT_FALSE(MatchPattern("a?c", "ac"));
}

TEST(FileUtils, ExistenceAttributesAndSize) {
  TempDir tmp;
  ASSERT_TRUE(WriteAll(tmp / "five.bin", "12345"));
  ASSERT_TRUE(WriteAll(tmp / ".secret", "x"));
  ASSERT_TRUE(FU::DirCreate((tmp / "sub").c_str()));
  ASSERT_TRUE(WriteAll(tmp / "sub/inner.txt", "abc"));

  EXPECT_FALSE(FU::FileExist(""));
  EXPECT_FALSE(FU::FileExist(nullptr));
  EXPECT_FALSE(FU::FileExist((tmp / "missing").c_str()));
  EXPECT_TRUE(FU::FileExist((tmp / "five.bin").c_str()));
  EXPECT_EQ(FU::FileSize((tmp / "five.bin").c_str()), 5u);
  EXPECT_EQ(FU::FileSize((tmp / "missing").c_str()), 0xFFFFFFFFu);
  EXPECT_EQ(FU::FileSize(nullptr), 0xFFFFFFFFu);

  EXPECT_TRUE(FU::IsDir(tmp.path().c_str()));
  EXPECT_TRUE(FU::IsDir((tmp / "sub/").c_str()));
  EXPECT_FALSE(FU::IsDir((tmp / "five.bin").c_str()));
  EXPECT_FALSE(FU::IsDir((tmp / "missing").c_str()));
  EXPECT_TRUE(FU::IsHidden((tmp / ".secret").c_str()));
  EXPECT_FALSE(FU::IsHidden((tmp / "five.bin").c_str()));
  EXPECT_FALSE(FU::IsHidden((tmp / "sub/.").c_str()));
  EXPECT_FALSE(FU::IsHidden((tmp / "sub/..").c_str()));
  EXPECT_FALSE(FU::IsHidden((tmp / ".missing").c_str()));

  // Windows-style separators reach the same files.
  std::string back = tmp.path() + "\\sub\\inner.txt";
  EXPECT_TRUE(FU::FileExist(back.c_str()));
  EXPECT_EQ(FU::FileSize(back.c_str()), 3u);
  EXPECT_TRUE(FU::IsDir((tmp.path() + "\\sub").c_str()));

  // Names of PATH_MAX bytes or more are refused rather than cut.
  std::string tooLong = tmp.path() + "/" + std::string(5000, 'a');
  EXPECT_FALSE(FU::FileExist(tooLong.c_str()));
  EXPECT_FALSE(FU::DirCreate(tooLong.c_str()));

  EXPECT_FALSE(FU::DirCreate((tmp / "sub").c_str()));        // exists already
  EXPECT_FALSE(FU::DirCreate((tmp / "no/parent").c_str()));  // parent missing
  EXPECT_TRUE(FU::DirCreate((tmp.path() + "\\sub\\deeper").c_str()));
  EXPECT_TRUE(FU::IsDir((tmp / "sub/deeper").c_str()));

  EXPECT_TRUE(FU::FileRemove((tmp / "five.bin").c_str()));
  EXPECT_FALSE(FU::FileExist((tmp / "five.bin").c_str()));
  EXPECT_FALSE(FU::FileRemove((tmp / "five.bin").c_str()));
  EXPECT_FALSE(FU::FileRemove((tmp / "sub").c_str()));  // directories are not files
  EXPECT_FALSE(FU::FileRemove(nullptr));
}

TEST(FileUtils, RenameWithAndWithoutOverwrite) {
  TempDir tmp;
  std::string a = tmp / "a.txt", b = tmp / "b.txt", c = tmp / "c.txt";
  ASSERT_TRUE(WriteAll(a, "new"));
  ASSERT_TRUE(WriteAll(b, "old"));

  EXPECT_FALSE(FU::FileRename(a.c_str(), b.c_str(), false));
  EXPECT_EQ(ReadAll(a), "new");
  EXPECT_EQ(ReadAll(b), "old");

  EXPECT_TRUE(FU::FileRename(a.c_str(), b.c_str(), true));
  EXPECT_FALSE(FU::FileExist(a.c_str()));
  EXPECT_EQ(ReadAll(b), "new");

  // A missing source must not cost the existing target.
  EXPECT_FALSE(FU::FileRename(a.c_str(), b.c_str(), true));
  EXPECT_EQ(ReadAll(b), "new");
  // Nor may renaming a file onto itself (or a link to it) delete it.
  EXPECT_FALSE(FU::FileRename(b.c_str(), b.c_str(), true));
  EXPECT_EQ(ReadAll(b), "new");
  ASSERT_EQ(link(b.c_str(), c.c_str()), 0);
  EXPECT_FALSE(FU::FileRename(b.c_str(), c.c_str(), true));
  EXPECT_EQ(ReadAll(b), "new");
  EXPECT_EQ(ReadAll(c), "new");

  // Plain renames, with backslash input, and of directories.
  std::string d = tmp / "d.txt";
  EXPECT_TRUE(FU::FileRename((tmp.path() + "\\c.txt").c_str(), d.c_str(), false));
  EXPECT_EQ(ReadAll(d), "new");
  ASSERT_TRUE(FU::DirCreate((tmp / "dir1").c_str()));
  ASSERT_TRUE(FU::DirCreate((tmp / "dir2").c_str()));
  EXPECT_FALSE(FU::FileRename((tmp / "dir1").c_str(), (tmp / "dir2").c_str(), false));
  EXPECT_TRUE(FU::FileRename((tmp / "dir1").c_str(), (tmp / "dir3").c_str(), false));
  EXPECT_TRUE(FU::IsDir((tmp / "dir3").c_str()));
  EXPECT_FALSE(FU::FileRename(nullptr, d.c_str(), true));
  EXPECT_FALSE(FU::FileRename(d.c_str(), "", true));
  EXPECT_TRUE(FU::FileExist(d.c_str()));
}

TEST(FileUtils, CopyWithFailIfExists) {
  TempDir tmp;
  std::string a = tmp / "a.bin", b = tmp / "b.bin";
  std::string payload(100000, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(WriteAll(a, payload));

  EXPECT_TRUE(FU::FileCopy(a.c_str(), b.c_str(), false));
  EXPECT_EQ(ReadAll(b), payload);
  ASSERT_TRUE(WriteAll(b, "short"));
  EXPECT_FALSE(FU::FileCopy(a.c_str(), b.c_str(), false));
  EXPECT_EQ(ReadAll(b), "short");
  EXPECT_TRUE(FU::FileCopy(a.c_str(), b.c_str(), true));
  EXPECT_EQ(ReadAll(b), payload);  // the longer old content is fully replaced

  // Copying a file onto itself must not truncate it.
  EXPECT_FALSE(FU::FileCopy(a.c_str(), a.c_str(), true));
  EXPECT_EQ(ReadAll(a), payload);
  EXPECT_FALSE(FU::FileCopy((tmp / "missing").c_str(), (tmp / "c.bin").c_str(), true));
  EXPECT_FALSE(FU::FileExist((tmp / "c.bin").c_str()));
  EXPECT_FALSE(FU::FileCopy(tmp.path().c_str(), (tmp / "c.bin").c_str(), true));
  EXPECT_TRUE(
      FU::FileCopy((tmp.path() + "\\a.bin").c_str(), (tmp.path() + "\\c.bin").c_str(), false));
  EXPECT_EQ(ReadAll(tmp / "c.bin"), payload);
}

TEST(FileUtils, ListingFlags) {
  TempDir tmp;
  for (const char* f : {"a.PCX", "b.pcx", "c.txt", ".hidden"}) ASSERT_TRUE(WriteAll(tmp / f, "x"));
  ASSERT_TRUE(FU::DirCreate((tmp / "sub").c_str()));
  ASSERT_TRUE(FU::DirCreate((tmp / ".hdir").c_str()));
  const std::string& dir = tmp.path();

  EXPECT_EQ(List(dir, "*", 0),
            (Names{".", "..", ".hdir", ".hidden", "a.PCX", "b.pcx", "c.txt", "sub"}));
  EXPECT_EQ(List(dir, "*", FU::LIST_NO_DIRS | FU::LIST_NO_DOTS),
            (Names{".hidden", "a.PCX", "b.pcx", "c.txt"}));
  EXPECT_EQ(List(dir, "*", FU::LIST_NO_DIRS), (Names{".hidden", "a.PCX", "b.pcx", "c.txt"}));
  EXPECT_EQ(List(dir, "*", FU::LIST_NO_DOTS),
            (Names{".hdir", ".hidden", "a.PCX", "b.pcx", "c.txt", "sub"}));
  EXPECT_EQ(List(dir, "*", FU::LIST_NO_FILES), (Names{".", "..", ".hdir", "sub"}));
  EXPECT_EQ(List(dir, "*", FU::LIST_NO_HIDDEN),
            (Names{".", "..", "a.PCX", "b.pcx", "c.txt", "sub"}));
  EXPECT_EQ(List(dir, "*", FU::LIST_NO_FILES | FU::LIST_NO_DOTS | FU::LIST_NO_HIDDEN),
            (Names{"sub"}));
  EXPECT_EQ(List(dir, "*", 1 | 8), List(dir, "*", 0));  // values without effect

  // Patterns are case-insensitive; the directory may end with a separator or
  // use backslashes.
  EXPECT_EQ(List(dir, "*.pcx", 0), (Names{"a.PCX", "b.pcx"}));
  EXPECT_EQ(List(dir + "/", "?.PcX", 0), (Names{"a.PCX", "b.pcx"}));
  EXPECT_EQ(List(dir + "\\", "*.TXT", 0), (Names{"c.txt"}));
  EXPECT_EQ(List(tmp.path() + "\\sub", "*", FU::LIST_NO_DOTS), Names{});
  EXPECT_EQ(List(dir, "*.*", FU::LIST_NO_DOTS | FU::LIST_NO_HIDDEN),
            (Names{"a.PCX", "b.pcx", "c.txt", "sub"}));

  char** names = reinterpret_cast<char**>(&names);  // must be reset even on failure
  EXPECT_EQ(FU::GetFileList(names, (tmp / "missing").c_str(), "*", 0), 0u);
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(FU::GetFileList(names, dir.c_str(), "*.none", 0), 0u);
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(FU::GetFileList(names, nullptr, "*", 0), 0u);
  EXPECT_EQ(FU::GetFileList(names, "", "*", 0), 0u);
  EXPECT_EQ(FU::GetFileList(names, dir.c_str(), "", 0), 0u);
  EXPECT_EQ(FU::GetFileList(names, dir.c_str(), std::string(5000, '*').c_str(), 0), 0u);
  EXPECT_EQ(names, nullptr);
  FU::FreeFileList(names, 3);  // a null list is left alone

  // More entries than the first array holds.
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(WriteAll(tmp / ("sub/f" + std::to_string(i)), ""));
  EXPECT_EQ(List(tmp / "sub", "F*", 0).size(), 100u);
}

TEST(FileUtils, CurrentAndExecutableDirectories) {
  TempDir tmp;
  char* saved = FU::GetCWD();
  ASSERT_NE(saved, nullptr);
  ASSERT_NE(saved[0], 0);

  ASSERT_TRUE(FU::DirCreate((tmp / "here").c_str()));
  EXPECT_TRUE(FU::SetCWD((tmp.path() + "\\here").c_str()));
  char buffer[4096];
  EXPECT_TRUE(FU::GetCWD(buffer, sizeof buffer));
  EXPECT_EQ(std::filesystem::path(buffer), std::filesystem::canonical(tmp / "here"));
  EXPECT_FALSE(FU::GetCWD(buffer, 2));  // does not fit: refused, not cut
  EXPECT_FALSE(FU::GetCWD(nullptr, 10));
  EXPECT_FALSE(FU::SetCWD(""));
  EXPECT_FALSE(FU::SetCWD(nullptr));
  EXPECT_FALSE(FU::SetCWD((tmp / "missing").c_str()));
  EXPECT_TRUE(FU::SetCWD(saved));
  char* again = FU::GetCWD();
  EXPECT_STREQ(again, saved);
  delete[] again;
  delete[] saved;

  char* exeDir = FU::GetExeDir();
  ASSERT_NE(exeDir, nullptr);
#if defined(_WIN32)
  EXPECT_TRUE(std::filesystem::exists(std::string(exeDir) + "\\test_io.exe")) << exeDir;
#else
  EXPECT_EQ(std::string(exeDir),
            std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
#endif
  delete[] exeDir;
}

TEST(FileUtils, UserFolders) {
  TempDir tmp;
#if defined(_WIN32)
  GTEST_SKIP() << "XDG folders are POSIX; Windows reads the shell-folder keys";
#endif
  std::string home = tmp / "home", config = tmp / "cfg";
  ASSERT_TRUE(FU::DirCreate(home.c_str()));
  ASSERT_TRUE(FU::DirCreate(config.c_str()));
  ScopedEnv envHome("HOME", home.c_str());
  ScopedEnv envConfig("XDG_CONFIG_HOME", config.c_str());
  ScopedEnv envData("XDG_DATA_HOME", nullptr);

  // Without user-dirs.dirs: the fallbacks under $HOME.
  qvr::detail::ResetUserDirCache();
  const char* doc = FU::GetUserDocDir();
  EXPECT_EQ(std::string(doc), home + "/Documents");
  EXPECT_EQ(std::string(FU::GetUserAppDir()), home + "/.local/share");

  // Read once per process: a changed environment is not seen, and the same
  // pointer comes back.
  ASSERT_TRUE(WriteAll(config + "/user-dirs.dirs",
                       "# written by xdg-user-dirs-update\n"
                       "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                       "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Papers\\\"/\"\n"));
  setenv("XDG_DATA_HOME", (tmp / "data").c_str(), 1);
  EXPECT_EQ(FU::GetUserDocDir(), doc);
  EXPECT_EQ(std::string(FU::GetUserDocDir()), home + "/Documents");
  EXPECT_EQ(std::string(FU::GetUserAppDir()), home + "/.local/share");

  qvr::detail::ResetUserDirCache();
  EXPECT_EQ(std::string(FU::GetUserDocDir()), home + "/My \"Papers\"");
  EXPECT_EQ(std::string(FU::GetUserAppDir()), tmp / "data");

  // Absolute values are taken as they stand; relative XDG variables are
  // ignored.
  ASSERT_TRUE(WriteAll(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n"));
  setenv("XDG_DATA_HOME", "relative/data", 1);
  qvr::detail::ResetUserDirCache();
  EXPECT_EQ(std::string(FU::GetUserDocDir()), "/srv/docs");
  EXPECT_EQ(std::string(FU::GetUserAppDir()), home + "/.local/share");

  // XDG_CONFIG_HOME unset: ~/.config is searched.
  unsetenv("XDG_CONFIG_HOME");
  ASSERT_TRUE(FU::DirCreate((home + "/.config").c_str()));
  ASSERT_TRUE(WriteAll(home + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"${HOME}/D\"\n"));
  qvr::detail::ResetUserDirCache();
  EXPECT_EQ(std::string(FU::GetUserDocDir()), home + "/D");
  qvr::detail::ResetUserDirCache();
}

TEST(FileUtils, CopyDataChunks) {
  RecordingMemFile source(10000, QVRResFile::READWRITE), target(10000, QVRResFile::READWRITE);
  for (unsigned i = 0; i < 10000; ++i) source.Write8(static_cast<unsigned char>(i * 13));
  source.SeekStart();
  source.reads.clear();
  EXPECT_EQ(FU::CopyData(&source, &target, 10000), 10000u);
  EXPECT_EQ(source.reads, (std::vector<unsigned>{4000, 4000, 2000}));
  EXPECT_EQ(target.writes, (std::vector<unsigned>{4000, 4000, 2000}));
  EXPECT_EQ(memcmp(source.GetData(), target.GetData(), 10000), 0);

  // A source that ends early: only what it held is copied.
  RecordingMemFile shortSource(5000, QVRResFile::READWRITE),
      big(10000, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  memset(shortSource.GetData(), 0x5A, 5000);
  EXPECT_EQ(FU::CopyData(&shortSource, &big, 10000), 5000u);
  EXPECT_EQ(big.writes, (std::vector<unsigned>{4000, 1000}));
  EXPECT_EQ(big.GetData()[4999], 0x5A);
  EXPECT_EQ(big.GetData()[5000], 0);

  // A target that fills up: the count written is what is returned.
  RecordingMemFile src2(6000, QVRResFile::READ), small(3000, QVRResFile::READWRITE);
  EXPECT_EQ(FU::CopyData(&src2, &small, 6000), 3000u);

  EXPECT_EQ(FU::CopyData(nullptr, &target, 10), 0u);
  EXPECT_EQ(FU::CopyData(&source, nullptr, 10), 0u);
  EXPECT_EQ(FU::CopyData(&source, &target, 0), 0u);
}

TEST(FileUtils, DrivesAndCdroms) {
#if defined(_WIN32)
  GTEST_SKIP() << "mount points stand for drives on POSIX; Windows drives are tested on their own";
#endif
  TempDir tmp;
  EXPECT_EQ(FU::DrivesList(), 0u);
  EXPECT_EQ(FU::DriveType(tmp.path().c_str()), 3u);
  EXPECT_EQ(FU::DriveType((tmp / "missing").c_str()), 1u);
  EXPECT_EQ(FU::DriveType(nullptr), 3u);  // the current directory

  QVRText* cds = FU::GetCDROMDirs();
  ASSERT_NE(cds, nullptr);
  EXPECT_GE(cds->Count(), 3u);
  std::vector<std::string> points = qvr::detail::CdromMountPoints();
  EXPECT_EQ(cds->Length(), points.size());
  for (unsigned i = 0; i < points.size(); ++i) {
    EXPECT_EQ(points[i], cds->Get(i));
    EXPECT_EQ(FU::DriveType(points[i].c_str()), 5u);
  }
  delete cds;
}

}  // namespace
