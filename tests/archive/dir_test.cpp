// QVRDir in temporary folders: listing, attributes, sorting with every key
// and option, navigation, opening and copying files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef CopyFile  // QVRDir has a member of that name
#endif

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/tmpdir.h"
#include "qvr3d/archive.h"
#include "qvr3d/stream.h"

namespace {

using qvrtest::ReadAll;
using qvrtest::TempDir;
using qvrtest::WriteAll;

std::string Cwd() { return std::filesystem::current_path().string(); }

std::vector<std::string> Sorted(const QVRDir& dir, bool skipDots = true) {
  std::vector<std::string> names;
  for (unsigned k = 0; k < dir.NbFiles(); ++k) {
    std::string name = dir.FileName(dir.SortedIndex(k));
    if (skipDots && (name == "." || name == "..")) continue;
    names.push_back(name);
  }
  return names;
}

class DirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp.path().empty());
    saved = Cwd();
    // Resolve the folder as the system reports it (no symbolic links).
    root = std::filesystem::canonical(tmp.path()).string();
  }
  void TearDown() override { EXPECT_EQ(Cwd(), saved) << "a listing left the current directory"; }
  void Touch(const std::string& name, size_t size, time_t mtime) {
    WriteAll(root + "/" + name, std::string(size, 'x'));
#if defined(_WIN32)
    HANDLE file = CreateFileA((root + "/" + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const uint64_t ticks = (static_cast<uint64_t>(mtime) + 11644473600ull) * 10000000ull;
    FILETIME when = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SetFileTime(file, nullptr, &when, &when);
    CloseHandle(file);
#else
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    utimensat(AT_FDCWD, (root + "/" + name).c_str(), times, 0);
#endif
  }

  TempDir tmp;
  std::string saved;
  std::string root;
};

TEST_F(DirTest, ListsEntriesWithAttributes) {
  QVRDir empty(root.c_str());
  EXPECT_STREQ(empty.Name(), root.c_str());
  EXPECT_EQ(empty.NbFiles(), 2u);
  EXPECT_EQ(empty.NbSubdirs(), 2u);
  EXPECT_TRUE(empty.IsEmpty());

  Touch("file.txt", 123, 1000000);
  Touch(".hidden", 1, 2000000);
  std::filesystem::create_directory(root + "/sub");
  ASSERT_TRUE(empty.Open("."));  // re-reads
  EXPECT_EQ(empty.NbFiles(), 5u);
  EXPECT_EQ(empty.NbSubdirs(), 3u);
  EXPECT_FALSE(empty.IsEmpty());
  std::set<std::string> seen;
  for (unsigned i : empty) {
    std::string name = empty.FileName(i);
    seen.insert(name);
    if (name == "file.txt") {
      EXPECT_EQ(empty.FileSize(i), 123u);
      EXPECT_EQ(empty.FileDate(i), 1000000ul);
      EXPECT_TRUE(empty.IsFile(i));
      EXPECT_FALSE(empty.IsFileDir(i));
      EXPECT_FALSE(empty.IsFileHidden(i));
      EXPECT_TRUE(empty.FileAccess(i, 0x8000 | 0x0100));
    } else if (name == ".hidden") {
      EXPECT_TRUE(empty.IsFileHidden(i));
    } else if (name == "sub" || name == "." || name == "..") {
      EXPECT_TRUE(empty.IsFileDir(i));
      EXPECT_FALSE(empty.IsFileHidden(i));
    }
    EXPECT_FALSE(empty.IsFileLink(i));
  }
  EXPECT_EQ(seen, (std::set<std::string>{".", "..", "file.txt", ".hidden", "sub"}));
  empty.PrintInfo();
  empty.Clear();
  EXPECT_EQ(empty.NbFiles(), 0u);
  EXPECT_STREQ(empty.Name(), root.c_str());
}

TEST_F(DirTest, FallsBackToTheWorkingDirectory) {
  for (const char* name : {static_cast<const char*>(nullptr), "", ".", "/no/such/folder"}) {
    QVRDir dir(name);
    EXPECT_EQ(std::string(dir.Name()), Cwd()) << (name ? name : "null");
    EXPECT_GT(dir.NbFiles(), 0u);
  }
  QVRDir dir(root.c_str());
  EXPECT_FALSE(dir.Open(nullptr));
  EXPECT_FALSE(dir.Open(""));
  // A folder that cannot be entered leaves listing and path alone.
  EXPECT_FALSE(dir.Open("/no/such/folder"));
  EXPECT_STREQ(dir.Name(), root.c_str());
  EXPECT_EQ(dir.NbFiles(), 2u);
}

TEST_F(DirTest, SortsByEveryKeyAndOption) {
#if defined(_WIN32)
  GTEST_SKIP() << "needs names that differ only in case, which are one file on Windows";
#endif
  Touch("b.txt", 10, 300);
  Touch("A.txt", 10, 100);
  Touch("a.txt", 5, 200);
  Touch("README", 20, 50);
  Touch("B.txt", 30, 400);
  std::filesystem::create_directory(root + "/zdir");
  std::filesystem::create_directory(root + "/adir");
  QVRDir dir(root.c_str());

  dir.Sort(QVRFileProvider::SORT_NAME | QVRFileProvider::SORT_CASE);
  EXPECT_EQ(Sorted(dir), (std::vector<std::string>{"A.txt", "B.txt", "README", "a.txt", "adir",
                                                   "b.txt", "zdir"}));
  EXPECT_TRUE(dir.SortCaseSensitive());
  // Equal sizes fall back to the name, case-insensitively by default.
  dir.Sort(QVRFileProvider::SORT_SIZE);
  std::vector<std::string> bySize = Sorted(dir);
  auto pos = [&](const std::vector<std::string>& v, const char* n) {
    return std::find(v.begin(), v.end(), n) - v.begin();
  };
  EXPECT_LT(pos(bySize, "a.txt"), pos(bySize, "A.txt"));  // 5 bytes before 10
  EXPECT_LT(pos(bySize, "A.txt"), pos(bySize, "b.txt"));  // both 10: by name
  EXPECT_LT(pos(bySize, "README"), pos(bySize, "B.txt"));

  dir.Sort(QVRFileProvider::SORT_DATE | QVRFileProvider::SORT_DESCENDING);
  std::vector<std::string> byDate = Sorted(dir);
  EXPECT_LT(pos(byDate, "B.txt"), pos(byDate, "b.txt"));
  EXPECT_LT(pos(byDate, "a.txt"), pos(byDate, "README"));

  // Extensions: a name without one first.
  dir.Sort(QVRFileProvider::SORT_EXT);
  std::vector<std::string> byExt = Sorted(dir);
  EXPECT_LT(pos(byExt, "README"), pos(byExt, "a.txt"));

  // Directories first, each group in descending name order.
  dir.Sort(QVRFileProvider::SORT_DIRS_FIRST | QVRFileProvider::SORT_DESCENDING |
           QVRFileProvider::SORT_NAME | QVRFileProvider::SORT_CASE);
  EXPECT_EQ(Sorted(dir, false), (std::vector<std::string>{"zdir", "adir", "..", ".", "b.txt",
                                                          "a.txt", "README", "B.txt", "A.txt"}));

  // Key 0 gives storage order back and keeps the options.
  dir.Sort(QVRFileProvider::SORT_NONE);
  for (unsigned k = 0; k < dir.NbFiles(); ++k) EXPECT_EQ(dir.SortedIndex(k), k);
  EXPECT_TRUE(dir.SortDirsFirst());
  EXPECT_TRUE(dir.SortDescending());
  // Keys 5-7 compare equal, so the name alone decides.
  dir.Sort(6);
  std::vector<std::string> byName = Sorted(dir);
  dir.Sort(QVRFileProvider::SORT_NAME);
  EXPECT_EQ(Sorted(dir), byName);
}

TEST_F(DirTest, SortHandlesTiesAndOrderedListings) {
  // Many names that tie case-insensitively, and a long listing already in
  // order: both end up non-decreasing under the comparison.
  for (int i = 0; i < 40; ++i) Touch((i % 2 ? "X" : "x") + std::to_string(i % 7), 1, 0);
  for (int i = 0; i < 600; ++i) Touch("n" + std::to_string(1000 + i), 1, 0);
  QVRDir dir(root.c_str());
  for (int mode : {1, 1 | 0x10, 1 | 0x20, 2, 4 | 0x40}) {
    dir.Sort(mode);
    std::set<unsigned> slots;
    for (unsigned k = 0; k < dir.NbFiles(); ++k) {
      slots.insert(dir.SortedIndex(k));
      if (k > 0) {
        EXPECT_LE(
            dir.CompareFunc(dir.GetItem(dir.SortedIndex(k - 1)), dir.GetItem(dir.SortedIndex(k))),
            0);
      }
    }
    EXPECT_EQ(slots.size(), dir.NbFiles()) << "not a permutation";
  }
}

TEST_F(DirTest, NavigatesUpRootAndWorkingDirectory) {
  std::filesystem::create_directories(root + "/a/b");
  QVRDir dir((root + "/a/b").c_str());
  EXPECT_EQ(std::string(dir.Name()), qvrtest::Native(root + "/a/b"));
  dir.GoUp();
  EXPECT_EQ(std::string(dir.Name()), qvrtest::Native(root + "/a"));
  ASSERT_TRUE(dir.Open("b"));  // relative to the listed folder
  EXPECT_EQ(std::string(dir.Name()), qvrtest::Native(root + "/a/b"));
  ASSERT_TRUE(dir.Open(".."));
  EXPECT_EQ(std::string(dir.Name()), qvrtest::Native(root + "/a"));
#if defined(_WIN32)
  const std::string top = root.substr(0, 3);  // the drive's root, "C:\"
#else
  const std::string top = "/";
#endif
  dir.GoRoot();
  EXPECT_EQ(std::string(dir.Name()), top);
  dir.GoUp();  // nothing above a root
  EXPECT_EQ(std::string(dir.Name()), top);
#if !defined(_WIN32)
  ASSERT_TRUE(dir.Open("/tmp"));
  dir.GoUp();
  EXPECT_STREQ(dir.Name(), "/");
#endif
  dir.GoCWD();
  EXPECT_EQ(std::string(dir.Name()), Cwd());
}

TEST_F(DirTest, OpensAndCopiesFilesRelativeToItsPath) {
  WriteAll(root + "/data.bin", "0123456789");
  std::filesystem::create_directory(root + "/sub");
  WriteAll(root + "/sub/inner.txt", "inner");
  QVRDir dir(root.c_str());
  std::unique_ptr<QVRResFile> f(dir.OpenFile("data.bin"));
  ASSERT_NE(f, nullptr);
  char buf[4] = {0};
  EXPECT_EQ(f->Read(buf, 3), 3u);
  EXPECT_EQ(std::string(buf), "012");
  std::unique_ptr<QVRResFile> inner(dir.OpenFile("sub\\inner.txt"));  // either separator
  EXPECT_NE(inner, nullptr);
  std::unique_ptr<QVRResFile> absolute(dir.OpenFile((root + "/sub/inner.txt").c_str()));
  EXPECT_NE(absolute, nullptr);
  EXPECT_EQ(dir.OpenFile("missing"), nullptr);
  EXPECT_EQ(dir.OpenFile(dir.end()), nullptr);
  unsigned i = 0;
  while (std::string(dir.FileName(i)) != "data.bin") ++i;
  std::unique_ptr<QVRResFile> byPos(dir.OpenFile(QVRFileProvider::iterator(i)));
  EXPECT_NE(byPos, nullptr);

  EXPECT_TRUE(dir.CopyFile("data.bin", "copy.bin"));
  EXPECT_EQ(ReadAll(root + "/copy.bin"), "0123456789");
  EXPECT_FALSE(dir.CopyFile("missing", "x.bin"));
  EXPECT_FALSE(std::filesystem::exists(root + "/x.bin"));
  // Copying a file onto itself would empty it: refused.
  EXPECT_FALSE(dir.CopyFile("data.bin", (root + "/data.bin").c_str()));
  EXPECT_EQ(ReadAll(root + "/data.bin"), "0123456789");
  WriteAll(root + "/empty", "");
  EXPECT_TRUE(dir.CopyFile("empty", "empty2"));
  EXPECT_TRUE(std::filesystem::exists(root + "/empty2"));
}

}  // namespace
