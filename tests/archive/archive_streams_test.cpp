// Window streams handed out by an archive, for both formats: they share the
// archive's one open file, outlive the archive, keep positions of their own,
// follow edits that replace the file, and the file closes with its last user.
#include <gtest/gtest.h>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dirent.h>
#endif

#include <memory>
#include <string>
#include <vector>

#include "common/tmpdir.h"
#include "qvr3d/archive.h"
#include "qvr3d/stream.h"
#include "qvr3d/string.h"

namespace {

using qvrtest::TempDir;
using qvrtest::WriteAll;

std::string Pattern(size_t size, char seed) {
  std::string bytes(size, 0);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 13 + (i >> 7));
  return bytes;
}

std::string ReadUpTo(QVRResFile& f, unsigned count) {
  std::string bytes(count, 0);
  bytes.resize(f.Read(&bytes[0], count));
  return bytes;
}

// Descriptors open in this process right now.
#if defined(_WIN32)
// Whether any handle on `path` is open: an open that shares nothing fails
// while one is. (Handle counts are not kept under Wine.)
bool Held(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}
#else
int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;  // includes ".", ".." and the listing's own descriptor
}
#endif

template <class Archive>
class ArchiveStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    path = dir / "test.arc";
    archive = std::make_unique<Archive>();
    ASSERT_TRUE(archive->Create(path.c_str()));
    lines = "first line\nsecond\r\nthird\n";
    big = Pattern(10000, 3);  // longer than any read-ahead
    ASSERT_EQ(Add("lines.txt", lines), 0u);
    ASSERT_EQ(Add("big.bin", big), 1u);
    ASSERT_EQ(Add("small.bin", "tiny"), 2u);
  }
  unsigned Add(const std::string& name, const std::string& bytes) {
    std::string src = dir / ("src_" + name);
    WriteAll(src, bytes);
    return archive->AddFile(src.c_str(), name.c_str());
  }
  QVRResFile* Open(const char* name) { return archive->OpenFile(name); }

  TempDir dir;
  std::string path, lines, big;
  std::unique_ptr<QVRArchive> archive;
};

using Formats = ::testing::Types<QVRArchQVR, QVRArchPAK>;
TYPED_TEST_SUITE(ArchiveStreams, Formats);

TYPED_TEST(ArchiveStreams, StreamsOutliveTheirArchive) {
  std::unique_ptr<QVRResFile> a(this->Open("big.bin"));
  std::unique_ptr<QVRResFile> b(this->Open("lines.txt"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(ReadUpTo(*a, 100), this->big.substr(0, 100));
  this->archive->Close();
  EXPECT_EQ(this->archive->OpenFile("big.bin"), nullptr);
  EXPECT_EQ(ReadUpTo(*a, 20000), this->big.substr(100));
  this->archive.reset();
  char line[64];
  EXPECT_EQ(b->GetLine(line, sizeof line), 11u);
  EXPECT_STREQ(line, "first line");
  EXPECT_STREQ(static_cast<QVRPackFile*>(b.get())->GetFileName(), this->path.c_str());
  a->SeekStart();
  EXPECT_EQ(ReadUpTo(*a, 20000), this->big);
}

TYPED_TEST(ArchiveStreams, StreamsOnOneMemberKeepTheirOwnPositions) {
  std::unique_ptr<QVRResFile> a(this->Open("big.bin"));
  std::unique_ptr<QVRResFile> b(this->Open("big.bin"));
  ASSERT_TRUE(a && b);
  // Short reads (served ahead) and long ones (straight from the file),
  // interleaved with seeks on the other stream.
  EXPECT_EQ(ReadUpTo(*a, 10), this->big.substr(0, 10));
  ASSERT_TRUE(b->Seek(5000, QVRResFile::SEEK_FROM_START));
  EXPECT_EQ(ReadUpTo(*b, 3), this->big.substr(5000, 3));
  EXPECT_EQ(ReadUpTo(*a, 6000), this->big.substr(10, 6000));
  EXPECT_EQ(a->GetPos(), 6010u);
  EXPECT_EQ(b->GetPos(), 5003u);
  EXPECT_EQ(b->Read16(), static_cast<uint16_t>(static_cast<uint8_t>(this->big[5003]) |
                                               static_cast<uint8_t>(this->big[5004]) << 8));
  ASSERT_TRUE(a->Seek(-4, QVRResFile::SEEK_FROM_END));
  EXPECT_EQ(ReadUpTo(*a, 100), this->big.substr(9996));
  EXPECT_TRUE(a->Eof());
  EXPECT_FALSE(b->Eof());
  EXPECT_EQ(ReadUpTo(*b, 5), this->big.substr(5005, 5));

  // Lines on two streams over one text member.
  std::unique_ptr<QVRResFile> c(this->Open("lines.txt"));
  std::unique_ptr<QVRResFile> d(this->Open("lines.txt"));
  ASSERT_TRUE(c && d);
  QVRString text;
  char line[64];
  EXPECT_EQ(c->GetLine(line, sizeof line), 11u);
  EXPECT_EQ(d->GetLine(text), 11u);
  EXPECT_EQ(c->GetLine(line, sizeof line), 7u);
  EXPECT_STREQ(line, "second");
  EXPECT_EQ(c->GetLine(line, sizeof line), 6u);
  EXPECT_EQ(c->GetLine(line, sizeof line), 0u);
  EXPECT_EQ(ReadUpTo(*d, 100), "second\r\nthird\n");
}

TYPED_TEST(ArchiveStreams, StreamsAfterAnEditSeeTheEditedFile) {
  std::unique_ptr<QVRResFile> before(this->Open("small.bin"));
  ASSERT_TRUE(before);
  // A rebuild moves a new file into place: streams opened afterwards read
  // it, the one opened before keeps reading the file it was opened on.
  std::string src = this->dir / "replacement";
  WriteAll(src, "a longer replacement");
  ASSERT_TRUE(this->archive->UpdateFile(2, src.c_str()));
  ASSERT_TRUE(this->archive->RemoveFile(0));
  std::unique_ptr<QVRResFile> after(this->Open("small.bin"));
  ASSERT_TRUE(after);
  EXPECT_EQ(ReadUpTo(*after, 100), "a longer replacement");
  EXPECT_EQ(ReadUpTo(*before, 100), "tiny");
  std::unique_ptr<QVRResFile> moved(this->Open("big.bin"));
  ASSERT_TRUE(moved);
  EXPECT_EQ(ReadUpTo(*moved, 20000), this->big);
  // Edits in place (an added member, a rename) are seen through the same file.
  ASSERT_EQ(this->Add("added.bin", "appended"), 2u);
  ASSERT_TRUE(this->archive->RenameFile(0, "renamed.bin"));
  std::unique_ptr<QVRResFile> added(this->Open("added.bin"));
  std::unique_ptr<QVRResFile> renamed(this->Open("renamed.bin"));
  ASSERT_TRUE(added && renamed);
  EXPECT_EQ(ReadUpTo(*added, 100), "appended");
  EXPECT_EQ(ReadUpTo(*renamed, 20000), this->big);
}

#if defined(_WIN32)
TYPED_TEST(ArchiveStreams, TheFileClosesWithItsLastUser) {
  this->archive.reset();
  EXPECT_FALSE(Held(this->path));
  auto archive = std::make_unique<TypeParam>();
  ASSERT_TRUE(archive->Open(this->path.c_str()));
  EXPECT_TRUE(Held(this->path));
  std::vector<std::unique_ptr<QVRResFile>> streams;
  for (const char* name : {"lines.txt", "big.bin", "small.bin", "big.bin"}) {
    streams.emplace_back(archive->OpenFile(name));
    ASSERT_TRUE(streams.back());
    ReadUpTo(*streams.back(), 1);
  }
  archive.reset();
  EXPECT_TRUE(Held(this->path));  // the streams still read it
  streams.pop_back();
  EXPECT_TRUE(Held(this->path));
  streams.clear();
  EXPECT_FALSE(Held(this->path));
  {
    TypeParam again;
    ASSERT_TRUE(again.Open(this->path.c_str()));
    EXPECT_EQ(again.OpenResFile(again.NbFiles()), nullptr);
    EXPECT_EQ(again.OpenFile("missing"), nullptr);
    QVRPackFile window(this->path.c_str(), 100, 50, QVRResFile::READ);
    EXPECT_FALSE(window.Good());
  }
  EXPECT_FALSE(Held(this->path));
}
#else
TYPED_TEST(ArchiveStreams, TheFileClosesWithItsLastUser) {
  this->archive.reset();
  const int idle = OpenDescriptors();
  auto archive = std::make_unique<TypeParam>();
  ASSERT_TRUE(archive->Open(this->path.c_str()));
  EXPECT_EQ(OpenDescriptors(), idle + 1);
  std::vector<std::unique_ptr<QVRResFile>> streams;
  for (const char* name : {"lines.txt", "big.bin", "small.bin", "big.bin"}) {
    streams.emplace_back(archive->OpenFile(name));
    ASSERT_TRUE(streams.back());
    ReadUpTo(*streams.back(), 1);
  }
  EXPECT_EQ(OpenDescriptors(), idle + 1);  // one file for all of them
  // A rebuild opens the new file while the streams still hold the old one.
  ASSERT_TRUE(archive->RemoveFile(0));
  EXPECT_EQ(OpenDescriptors(), idle + 2);
  archive.reset();
  EXPECT_EQ(OpenDescriptors(), idle + 1);
  streams.pop_back();
  streams.pop_back();
  EXPECT_EQ(OpenDescriptors(), idle + 1);
  streams.clear();
  EXPECT_EQ(OpenDescriptors(), idle);
  // Failed opens and standalone windows leave nothing open either.
  {
    TypeParam again;
    ASSERT_TRUE(again.Open(this->path.c_str()));
    EXPECT_EQ(again.OpenResFile(again.NbFiles()), nullptr);
    EXPECT_EQ(again.OpenFile("missing"), nullptr);
    QVRPackFile window(this->path.c_str(), 100, 50, QVRResFile::READ);
    EXPECT_FALSE(window.Good());
    QVRPackFile writable(this->path.c_str(), 0, 4, QVRResFile::READWRITE);
    EXPECT_TRUE(writable.Good());
    EXPECT_EQ(OpenDescriptors(), idle + 2);
  }
  EXPECT_EQ(OpenDescriptors(), idle);
}
#endif

}  // namespace
