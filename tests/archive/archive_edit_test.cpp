// One suite run against both archive formats: every edit round trip,
// extraction and its refusals, the rebuild's temporary file, and edits that
// run out of space in a child process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/tmpdir.h"
#include "qvr3d/archive.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/stream.h"

namespace {

using qvrtest::ReadAll;
using qvrtest::TempDir;
using qvrtest::WriteAll;

std::string Pattern(size_t size, char seed) {
  std::string bytes(size, 0);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + (i >> 8));
  return bytes;
}

std::string ReadEntry(const QVRArchive& archive, unsigned i) {
  std::unique_ptr<QVRResFile> file(archive.OpenResFile(i));
  if (!file) return "<no stream>";
  std::string bytes(archive.FileSize(i), 0);
  unsigned got = file->Read(bytes.data(), static_cast<unsigned>(bytes.size()));
  bytes.resize(got);
  return bytes;
}

std::vector<std::string> Names(const QVRArchive& archive) {
  std::vector<std::string> names;
  for (unsigned i = 0; i < archive.NbFiles(); ++i) names.push_back(archive.FileName(i));
  return names;
}

std::vector<std::string> FolderContent(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `edit` in a child whose files may not grow past `limit` bytes, with
// SIGXFSZ ignored so writes fail instead of killing it. Returns the child's
// report: 1 when the edit claimed success, 0 when it failed.
int RunLimited(uint64_t limit, const std::function<bool()>& edit) {
#if defined(_WIN32)
  (void)limit;
  (void)edit;
  return -1;
#else
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl = {static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    setrlimit(RLIMIT_FSIZE, &rl);
    _exit(edit() ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

template <class Archive>
class ArchiveEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    path = dir / "test.arc";
    ASSERT_TRUE(archive.Create(path.c_str()));
  }
  // Writes a source file and adds it under `name`.
  unsigned Add(const std::string& name, const std::string& bytes) {
    std::string src = dir / ("src_" + name);
    WriteAll(src, bytes);
    unsigned i = archive.AddFile(src.c_str(), name.c_str());
    std::filesystem::remove(src);
    return i;
  }
  // A fresh object on the same file, to check what is on disk.
  std::unique_ptr<Archive> Reopen() {
    auto again = std::make_unique<Archive>();
    EXPECT_TRUE(again->Open(path.c_str()));
    return again;
  }
  unsigned RecordSize() const { return archive.GetFormat() == QVRArchive::FORMAT_QVR ? 44 : 64; }
  // Writes an archive of this format by hand, with names AddFile would not
  // store, each entry holding its own name as data.
  void Craft(const std::vector<std::string>& names) {
    std::string data, records;
    uint32_t pos = 12;
    bool qvr = archive.GetFormat() == QVRArchive::FORMAT_QVR;
    for (const std::string& name : names) {
      std::string record(RecordSize(), 0);
      record.replace(0, name.size(), name);
      uint32_t size = static_cast<uint32_t>(name.size());
      Put32(record, qvr ? 32 : 60, size);
      Put32(record, qvr ? 36 : 56, pos);
      records += record;
      data += name;
      pos += size;
    }
    std::string header(qvr ? "QVRA" : "PACK");
    header.resize(12);
    Put32(header, 4, pos);
    Put32(header, 8,
          qvr ? static_cast<uint32_t>(names.size()) : static_cast<uint32_t>(records.size()));
    WriteAll(path, header + data + records);
    ASSERT_TRUE(archive.Open(path.c_str()));
  }
  static void Put32(std::string& s, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) s[at + k] = static_cast<char>(v >> (8 * k));
  }
  unsigned MaxName() const { return archive.GetFormat() == QVRArchive::FORMAT_QVR ? 31 : 56; }

  TempDir dir;
  std::string path;
  Archive archive;
};

using Formats = ::testing::Types<QVRArchQVR, QVRArchPAK>;
TYPED_TEST_SUITE(ArchiveEdit, Formats);

TYPED_TEST(ArchiveEdit, CreateAddFindAndRead) {
  auto& a = this->archive;
  EXPECT_EQ(ReadAll(this->path).size(), 12u);
  EXPECT_EQ(a.NbFiles(), 0u);
  EXPECT_STREQ(a.Name(), this->path.c_str());
  {
    auto empty = this->Reopen();
    EXPECT_EQ(empty->NbFiles(), 0u);
  }
  // An existing file is never overwritten.
  TypeParam other;
  EXPECT_FALSE(other.Create(this->path.c_str()));
  EXPECT_EQ(ReadAll(this->path).size(), 12u);

  std::string one = Pattern(5000, 1), two = Pattern(1, 2), three = Pattern(70000, 3);
  EXPECT_EQ(this->Add("one.bin", one), 0u);
  EXPECT_EQ(this->Add("two.txt", two), 1u);
  // The stored name is the last path component of the given one.
  std::string src = this->dir / "level1.map";
  WriteAll(src, three);
  EXPECT_EQ(a.AddFile(src.c_str(), nullptr), 2u);
  EXPECT_EQ(a.AddFile(src.c_str(), "maps\\sub/"), QVRArchive::NONE);
  EXPECT_EQ(a.AddFile((this->dir / "missing").c_str(), "x"), QVRArchive::NONE);
  EXPECT_EQ(a.AddFile(this->path.c_str(), "self"), QVRArchive::NONE);
  std::string longName(70, 'n');
  EXPECT_EQ(a.AddFile(src.c_str(), ("dir/" + longName).c_str()), 3u);
  EXPECT_EQ(std::string(a.FileName(3)), longName.substr(0, this->MaxName()));

  EXPECT_EQ(a.FindFile("level1.map"), 2u);
  EXPECT_EQ(a.FindFile("Level1.map"), QVRArchive::NONE);
  EXPECT_EQ(a.FindFile(nullptr), QVRArchive::NONE);
  EXPECT_EQ(a.GetEntry(0)->start, 12u);
  EXPECT_EQ(a.GetEntry(1)->start, 12u + 5000);
  EXPECT_EQ(a.TotalSize(), 5000u + 1 + 70000 + 70000);
  EXPECT_EQ(ReadEntry(a, 0), one);
  EXPECT_EQ(ReadEntry(a, 2), three);
  EXPECT_EQ(a.OpenResFile(a.NbFiles()), nullptr);
  EXPECT_EQ(a.OpenFile(a.end()), nullptr);

  auto again = this->Reopen();
  EXPECT_EQ(Names(*again), Names(a));
  EXPECT_EQ(ReadEntry(*again, 1), two);
  EXPECT_EQ(ReadEntry(*again, 3), three);
  std::unique_ptr<QVRResFile> byName(again->OpenFile("two.txt"));
  ASSERT_NE(byName, nullptr);
  EXPECT_STREQ(byName->GetName(), "two.txt");
  EXPECT_EQ(again->OpenFile("nothing"), nullptr);
  // Dates come from the source file where the format keeps them.
  struct stat st;
  ASSERT_EQ(stat(src.c_str(), &st), 0);
  bool dated = a.GetFormat() == QVRArchive::FORMAT_QVR;
  EXPECT_EQ(again->FileDate(2), dated ? static_cast<unsigned long>(st.st_mtime) : 0ul);
}

TYPED_TEST(ArchiveEdit, AddFileAsKeepsFoldersAndRefusesWhatDoesNotFit) {
  auto& a = this->archive;
  std::string src = this->dir / "e1m1.bsp";
  WriteAll(src, "bsp");
  EXPECT_EQ(a.AddFileAs(src.c_str(), "maps/e1m1.bsp"), 0u);
  EXPECT_EQ(a.AddFileAs(src.c_str(), "gfx\\env\\sky.bmp"), 1u);
  const std::string longest(this->MaxName() - 2, 'n');
  EXPECT_EQ(a.AddFileAs(src.c_str(), ("d/" + longest).c_str()), 2u);
  std::string before = ReadAll(this->path);
  const std::string tooLong = "d/" + longest + "x";
  for (const char* bad : {"../up.bsp", "/abs.bsp", "\\abs.bsp", "C:\\x.bsp", "c:rel.bsp",
                          "maps/../../x.bsp", "maps\\..\\x", "maps/", "", tooLong.c_str()}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(a.AddFileAs(src.c_str(), bad), QVRArchive::NONE);
  }
  EXPECT_EQ(a.AddFileAs(src.c_str(), nullptr), QVRArchive::NONE);
  EXPECT_EQ(a.AddFileAs((this->dir / "missing").c_str(), "maps/missing.bsp"), QVRArchive::NONE);
  EXPECT_EQ(ReadAll(this->path), before);
  EXPECT_EQ(a.NbFiles(), 3u);

  auto again = this->Reopen();
  EXPECT_EQ(Names(*again),
            (std::vector<std::string>{"maps/e1m1.bsp", "gfx/env/sky.bmp", "d/" + longest}));
  EXPECT_EQ(again->FindFile("maps/e1m1.bsp"), 0u);
  EXPECT_EQ(again->FindFile("gfx\\env\\sky.bmp"), QVRArchive::NONE);  // lookups are exact
  EXPECT_EQ(ReadEntry(*again, 1), "bsp");
  std::string target = this->dir / "out";
  std::filesystem::create_directory(target);
  ASSERT_TRUE(again->ExtractAll(target.c_str()));
  EXPECT_EQ(ReadAll(target + "/gfx/env/sky.bmp"), "bsp");
}

TYPED_TEST(ArchiveEdit, EmptyMembersOpenAsEmptyStreams) {
  auto& a = this->archive;
  this->Add("before.txt", "before");
  this->Add("empty.txt", "");
  this->Add("after.txt", "after");
  std::string src = this->dir / "last";
  WriteAll(src, "");
  ASSERT_EQ(a.AddFileAs(src.c_str(), "sub/last.txt"), 3u);
  for (unsigned i : {1u, 3u}) {
    SCOPED_TRACE(i);
    std::unique_ptr<QVRResFile> f(a.OpenResFile(i));
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->Good());
    EXPECT_EQ(static_cast<QVRPackFile*>(f.get())->GetSize(), 0u);
    char byte = '?';
    EXPECT_EQ(f->Read(&byte, 1), 0u);
    EXPECT_EQ(f->GetState(), QVRResFile::READ_AT_END);
  }
  EXPECT_EQ(ReadEntry(a, 2), "after");

  // Through the finder, an empty member is found like any other.
  QVRResFinder finder;
  ASSERT_TRUE(finder.AddSource(this->path.c_str()));
  std::unique_ptr<QVRResFile> found(finder.FindRes("empty.txt"));
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(found->Good());
  EXPECT_STREQ(found->GetName(), "empty.txt");
  EXPECT_EQ(found->Read8(), 0u);
  EXPECT_EQ(found->GetState(), QVRResFile::READ_AT_END);
  std::unique_ptr<QVRResFile> last(finder.FindRes("sub/last.txt"));
  ASSERT_NE(last, nullptr);
  EXPECT_TRUE(last->Good());
}

TYPED_TEST(ArchiveEdit, RemoveRenameAndUpdate) {
  auto& a = this->archive;
  std::string one = Pattern(300, 1), two = Pattern(4000, 2), three = Pattern(900, 3);
  this->Add("one", one);
  this->Add("two", two);
  this->Add("three", three);

  // Removing the middle entry moves the third one down by its size.
  ASSERT_TRUE(a.RemoveFile(1));
  EXPECT_EQ(Names(a), (std::vector<std::string>{"one", "three"}));
  EXPECT_EQ(a.GetEntry(1)->start, 12u + 300);
  EXPECT_EQ(a.FindFile("two"), QVRArchive::NONE);
  EXPECT_EQ(a.FindFile("three"), 1u);
  EXPECT_FALSE(a.RemoveFile(2));
  {
    auto again = this->Reopen();
    EXPECT_EQ(Names(*again), Names(a));
    EXPECT_EQ(ReadEntry(*again, 1), three);
    EXPECT_EQ(ReadAll(this->path).size(), 12u + 300 + 900 + 2 * this->RecordSize());
  }

  // A larger replacement moves every later entry up by the difference.
  std::string bigger = Pattern(2500, 9);
  std::string src = this->dir / "bigger";
  WriteAll(src, bigger);
  ASSERT_TRUE(a.UpdateFile(0, src.c_str()));
  EXPECT_EQ(a.FileSize(0), 2500u);
  EXPECT_EQ(a.GetEntry(1)->start, 12u + 2500);
  EXPECT_STREQ(a.FileName(0), "one");
  EXPECT_FALSE(a.UpdateFile(5, src.c_str()));
  EXPECT_FALSE(a.UpdateFile(0, (this->dir / "missing").c_str()));

  ASSERT_TRUE(a.RenameFile(1, "sub\\renamed.dat"));
  EXPECT_STREQ(a.FileName(1), "renamed.dat");
  EXPECT_EQ(a.FindFile("renamed.dat"), 1u);
  EXPECT_EQ(a.FindFile("three"), QVRArchive::NONE);
  EXPECT_FALSE(a.RenameFile(1, "ends/"));
  EXPECT_FALSE(a.RenameFile(7, "x"));
  {
    auto again = this->Reopen();
    EXPECT_EQ(Names(*again), Names(a));
    EXPECT_EQ(ReadEntry(*again, 0), bigger);
    EXPECT_EQ(ReadEntry(*again, 1), three);
  }

  // Removing everything leaves the bare header, which re-opens as empty.
  ASSERT_TRUE(a.RemoveFile(0));
  ASSERT_TRUE(a.RemoveFile(0));
  EXPECT_EQ(a.NbFiles(), 0u);
  EXPECT_EQ(ReadAll(this->path).size(), 12u);
  EXPECT_EQ(this->Reopen()->NbFiles(), 0u);
  // Nothing but the archive and the source remain in its folder.
  EXPECT_EQ(FolderContent(this->dir.path()), (std::vector<std::string>{"bigger", "test.arc"}));
}

TYPED_TEST(ArchiveEdit, DuplicateNamesFindTheFirstThroughEdits) {
  auto& a = this->archive;
  this->Add("same", "first");
  this->Add("other", "x");
  this->Add("same", "second");
  EXPECT_EQ(a.FindFile("same"), 0u);
  ASSERT_TRUE(a.RemoveFile(0));
  EXPECT_EQ(a.FindFile("same"), 1u);
  EXPECT_EQ(ReadEntry(a, a.FindFile("same")), "second");
  ASSERT_TRUE(a.RenameFile(0, "same"));
  EXPECT_EQ(a.FindFile("same"), 0u);
  ASSERT_TRUE(a.RenameFile(0, "gone"));
  EXPECT_EQ(a.FindFile("same"), 1u);
  EXPECT_EQ(a.FindFile("other"), QVRArchive::NONE);
}

TYPED_TEST(ArchiveEdit, ExtractionStaysInsideTheFolder) {
  auto& a = this->archive;
  this->Add("plain.txt", "plain");
  this->Add("empty", "");
  std::string out = this->dir / "out.txt";
  ASSERT_TRUE(a.ExtractFile(0, out.c_str()));
  EXPECT_EQ(ReadAll(out), "plain");
  ASSERT_TRUE(a.CopyFile("empty", out.c_str()));
  EXPECT_EQ(ReadAll(out), "");
  EXPECT_FALSE(a.CopyFile("none", out.c_str()));
  // The archive itself is never the target of an extraction.
  std::string before = ReadAll(this->path);
  EXPECT_FALSE(a.ExtractFile(0, this->path.c_str()));
  EXPECT_EQ(ReadAll(this->path), before);

  EXPECT_TRUE(QVRArchive::IsSafeName("maps/e1m1.bsp"));
  EXPECT_TRUE(QVRArchive::IsSafeName("ok..name"));
  EXPECT_TRUE(QVRArchive::IsSafeName("./x"));
  for (const char* bad : {"../escape.txt", "/abs.txt", "x/../../up.txt", "\\back.txt", "C:evil.txt",
                          "..\\up", "a/..", ""}) {
    EXPECT_FALSE(QVRArchive::IsSafeName(bad)) << bad;
  }
  EXPECT_FALSE(QVRArchive::IsSafeName(nullptr));

  std::string target = this->dir / "target";
  EXPECT_FALSE(a.ExtractAll(target.c_str()));  // missing folder
  EXPECT_FALSE(std::filesystem::exists(target));
  std::filesystem::create_directory(target);
  EXPECT_TRUE(a.ExtractAll(target.c_str()));
  EXPECT_EQ(ReadAll(target + "/plain.txt"), "plain");
  EXPECT_TRUE(std::filesystem::exists(target + "/empty"));

  // Member names with folders from archives written elsewhere: found under
  // their full name and extracted into sub-folders; names that would leave
  // the folder are refused while the rest is still extracted.
  this->Craft({"maps/e1m1.bsp", "a\\b\\c.txt", "../escape.txt", "/tmp/abs.txt", "x/../../up.txt",
               "top.txt"});
  EXPECT_EQ(a.FindFile("maps/e1m1.bsp"), 0u);
  EXPECT_EQ(ReadEntry(a, a.FindFile("a\\b\\c.txt")), "a\\b\\c.txt");
  std::string inner = target + "/inner";
  std::filesystem::create_directory(inner);
  EXPECT_FALSE(a.ExtractAll(inner.c_str()));
  EXPECT_EQ(ReadAll(inner + "/maps/e1m1.bsp"), "maps/e1m1.bsp");
  EXPECT_EQ(ReadAll(inner + "/a/b/c.txt"), "a\\b\\c.txt");
  EXPECT_EQ(ReadAll(inner + "/top.txt"), "top.txt");
  EXPECT_FALSE(std::filesystem::exists(target + "/escape.txt"));
  EXPECT_FALSE(std::filesystem::exists(this->dir / "up.txt"));
  EXPECT_FALSE(std::filesystem::exists("/tmp/abs.txt") &&
               ReadAll("/tmp/abs.txt") == "/tmp/abs.txt");
}

TYPED_TEST(ArchiveEdit, RebuildUsesTheArchiveFolderAndLeavesNothingBehind) {
  auto& a = this->archive;
  this->Add("one", Pattern(1000, 1));
  this->Add("two", Pattern(1000, 2));
  // Work from a current directory that no longer exists: a temporary file
  // made there instead of beside the archive would fail.
  TempDir gone;
  std::string saved = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(gone.path().c_str()), 0);
#if !defined(_WIN32)
  // Windows keeps a folder that is a current directory.
  std::filesystem::remove(gone.path());
#endif
  std::string src = this->dir / "new";
  WriteAll(src, "replacement");
  bool updated = a.UpdateFile(1, src.c_str());
  bool removed = a.RemoveFile(0);
  ASSERT_EQ(chdir(saved.c_str()), 0);
  EXPECT_TRUE(updated);
  EXPECT_TRUE(removed);
  EXPECT_EQ(FolderContent(this->dir.path()), (std::vector<std::string>{"new", "test.arc"}));
  auto again = this->Reopen();
  ASSERT_EQ(again->NbFiles(), 1u);
  EXPECT_EQ(ReadEntry(*again, 0), "replacement");

  // A failed rebuild (source that vanished) leaves file, directory and folder alone.
  std::string before = ReadAll(this->path);
  std::filesystem::remove(src);
  EXPECT_FALSE(a.UpdateFile(0, src.c_str()));
  EXPECT_EQ(ReadAll(this->path), before);
  EXPECT_EQ(FolderContent(this->dir.path()), (std::vector<std::string>{"test.arc"}));
}

TYPED_TEST(ArchiveEdit, EditsOutOfSpaceKeepTheOldArchive) {
#if defined(_WIN32)
  GTEST_SKIP() << "needs fork and a file size limit (setrlimit), which Windows lacks";
#endif
  auto& a = this->archive;
  std::string one = Pattern(20000, 1), two = Pattern(30000, 2);
  this->Add("one", one);
  this->Add("two", two);
  std::string before = ReadAll(this->path);
  std::string big = this->dir / "big";
  WriteAll(big, Pattern(50000, 5));
  auto checkIntact = [&](const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(ReadAll(this->path), before);
    auto again = this->Reopen();
    EXPECT_EQ(Names(*again), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(ReadEntry(*again, 0), one);
    EXPECT_EQ(ReadEntry(*again, 1), two);
    EXPECT_EQ(FolderContent(this->dir.path()), (std::vector<std::string>{"big", "test.arc"}));
  };

  uint64_t size = before.size();
  EXPECT_EQ(
      RunLimited(size + 100, [&] { return a.AddFile(big.c_str(), "big") != QVRArchive::NONE; }), 0);
  checkIntact("add");
  EXPECT_EQ(RunLimited(size / 2, [&] { return a.UpdateFile(0, big.c_str()); }), 0);
  checkIntact("update");
  EXPECT_EQ(RunLimited(size / 3, [&] { return a.RemoveFile(0); }), 0);
  checkIntact("remove");
  // With room the same edits work.
  EXPECT_EQ(RunLimited(size * 4, [&] { return a.UpdateFile(0, big.c_str()); }), 1);
}

TYPED_TEST(ArchiveEdit, FailedCopyRestoresTheDirectory) {
  auto& a = this->archive;
  std::string one = Pattern(3000, 1);
  this->Add("one", one);
  // A folder stats fine but yields no bytes: the copy falls short after the
  // old directory has been overwritten, so it has to be put back.
  std::string folder = this->dir / "folder";
  std::filesystem::create_directory(folder);
  EXPECT_EQ(a.AddFile(folder.c_str(), "folder"), QVRArchive::NONE);
  EXPECT_EQ(a.NbFiles(), 1u);
  auto again = this->Reopen();
  ASSERT_EQ(again->NbFiles(), 1u);
  EXPECT_EQ(ReadEntry(*again, 0), one);
  // The archive stays editable afterwards.
  EXPECT_EQ(this->Add("two", "2"), 1u);
  EXPECT_EQ(this->Reopen()->NbFiles(), 2u);
}

TYPED_TEST(ArchiveEdit, SortingAndListing) {
  auto& a = this->archive;
  this->Add("b.txt", "22");
  this->Add("A.txt", "22");
  this->Add("README", "1");
  this->Add("c.dat", "333");
  auto sorted = [&] {
    std::vector<std::string> names;
    for (unsigned k = 0; k < a.NbFiles(); ++k) names.push_back(a.FileName(a.SortedIndex(k)));
    return names;
  };
  a.Sort(QVRFileProvider::SORT_NAME);
  EXPECT_EQ(sorted(), (std::vector<std::string>{"A.txt", "b.txt", "c.dat", "README"}));
  a.Sort(QVRFileProvider::SORT_SIZE | QVRFileProvider::SORT_DESCENDING);
  EXPECT_EQ(sorted(), (std::vector<std::string>{"c.dat", "b.txt", "A.txt", "README"}));
  a.Sort(QVRFileProvider::SORT_EXT);
  EXPECT_EQ(sorted(), (std::vector<std::string>{"README", "c.dat", "A.txt", "b.txt"}));
  // Directories first means nothing to an archive.
  a.Sort(QVRFileProvider::SORT_NAME | QVRFileProvider::SORT_CASE |
         QVRFileProvider::SORT_DIRS_FIRST);
  EXPECT_EQ(sorted(), (std::vector<std::string>{"A.txt", "README", "b.txt", "c.dat"}));
  // An edit that moves entries gives storage order back, never stale slots.
  ASSERT_TRUE(a.RemoveFile(0));
  for (unsigned k = 0; k < a.NbFiles(); ++k) EXPECT_EQ(a.SortedIndex(k), k);
  a.PrintInfo();
  a.PrintContent();
}

}  // namespace
