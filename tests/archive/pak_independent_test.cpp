// PAK archives written byte by byte by tests/archive/make_pak.py, which knows nothing of this
// library, read back through QVRArchPAK, the archive factory and the resource finder; and a PAK
// written by the library checked against the byte layout.
#include <qvr3d/qvr3d.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/host_command.h"
#include "common/tmpdir.h"

namespace {

using qvrtest::ReadAll;
using qvrtest::TempDir;
using qvrtest::WriteAll;

struct Member {
  std::string name;
  unsigned size;
};

// Runs the generator with `args`; paths in them are quoted with HostArg.
bool RunGenerator(const std::string& args) {
  const std::string script = std::string(QVR_TEST_SOURCE_DIR) + "/tests/archive/make_pak.py";
  return qvrtest::HostShell("python3 '" + script + "' " + args) == 0;
}

// The members in directory order, from the generator's manifest.
std::vector<Member> ReadManifest(const std::string& path) {
  std::vector<Member> members;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    members.push_back({line.substr(0, tab), unsigned(std::stoul(line.substr(tab + 1)))});
  }
  return members;
}

std::string ExpectedPath(const TempDir& tmp, std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return tmp / ("expect/files/" + name);
}

std::string ReadStream(QVRResFile& f, unsigned size) {
  std::string bytes(size, '\0');
  unsigned got = size ? f.Read(&bytes[0], size) : 0;
  bytes.resize(got);
  return bytes;
}

uint32_t Le32(const std::string& bytes, size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutLe32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = char(value >> (8 * i) & 0xFF);
}

class PakIndependent : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp.path().empty());
    pak = tmp / "gen.pak";
    ASSERT_TRUE(RunGenerator("write " + qvrtest::HostArg(pak) + " --expect " +
                             qvrtest::HostArg(tmp / "expect")));
    members = ReadManifest(tmp / "expect/manifest.txt");
    ASSERT_EQ(members.size(), 10u);
  }

  TempDir tmp;
  std::string pak;
  std::vector<Member> members;
};

TEST_F(PakIndependent, ListsFindsAndReadsEveryMember) {
  EXPECT_EQ(QVRArchive::FindArchiveFormat(pak.c_str()), QVRArchive::FORMAT_PAK);
  QVRArchPAK archive;
  ASSERT_TRUE(archive.Open(pak.c_str()));
  ASSERT_EQ(archive.NbFiles(), members.size());
  EXPECT_STREQ(archive.FormatInfo(), "Id Software Quake 1/2 Archive.");

  unsigned total = 0;
  for (unsigned i = 0; i < members.size(); ++i) {
    SCOPED_TRACE(members[i].name);
    const std::string expected = ReadAll(ExpectedPath(tmp, members[i].name));
    ASSERT_EQ(expected.size(), members[i].size);
    total += members[i].size;
    EXPECT_EQ(archive.FileName(i), members[i].name);
    EXPECT_EQ(archive.FileSize(i), members[i].size);
    EXPECT_EQ(archive.FileDate(i), 0u);
    EXPECT_EQ(archive.FindFile(members[i].name.c_str()), i);

    // Members lie in reverse order with gaps, so only the recorded offsets give these bytes.
    if (members[i].size > 0) {
      std::unique_ptr<QVRResFile> f(archive.OpenFile(members[i].name.c_str()));
      ASSERT_TRUE(f);
      EXPECT_EQ(ReadStream(*f, members[i].size + 10), expected);
    }
    const std::string out = tmp / ("one" + std::to_string(i));
    EXPECT_TRUE(archive.ExtractFile(i, out.c_str()));
    EXPECT_EQ(ReadAll(out), expected);
  }
  EXPECT_EQ(archive.TotalSize(), total);

  // Names of exactly 56 characters carry no NUL in the record and must come back whole.
  const std::string name56 = "textures/" + std::string(43, 'w') + ".wal";
  ASSERT_EQ(name56.size(), 56u);
  EXPECT_EQ(archive.FindFile(name56.c_str()), 3u);
  EXPECT_EQ(archive.FindFile(name56.substr(0, 55).c_str()), QVRArchive::NONE);
  EXPECT_EQ(archive.FindFile((std::string(52, 'b') + ".dat").c_str()), 4u);
  // Lookup is exact: case, the folder part and the separator all count.
  EXPECT_EQ(archive.FindFile("Case.TXT"), 7u);
  EXPECT_EQ(archive.FindFile("case.txt"), 8u);
  EXPECT_EQ(archive.FindFile("CASE.TXT"), QVRArchive::NONE);
  EXPECT_EQ(archive.FindFile("e1m1.bsp"), QVRArchive::NONE);
  EXPECT_EQ(archive.FindFile("gfx/palette.lmp"), QVRArchive::NONE);
  EXPECT_EQ(archive.OpenFile("missing.txt"), nullptr);
  EXPECT_EQ(archive.OpenResFile(archive.NbFiles()), nullptr);
}

TEST_F(PakIndependent, FactoryAndFinderServeTheMembers) {
  std::unique_ptr<QVRArchive> archive(QVRArchive::OpenArchive(pak.c_str()));
  ASSERT_TRUE(archive);
  EXPECT_EQ(archive->GetFormat(), QVRArchive::FORMAT_PAK);
  EXPECT_EQ(archive->NbFiles(), members.size());

  QVRResFinder finder;
  ASSERT_TRUE(finder.AddSource(pak.c_str(), false));
  for (const Member& m : members) {
    if (m.size == 0) continue;
    SCOPED_TRACE(m.name);
    std::unique_ptr<QVRResFile> f(finder.FindRes(m.name.c_str()));
    ASSERT_TRUE(f);
    EXPECT_EQ(ReadStream(*f, m.size), ReadAll(ExpectedPath(tmp, m.name)));
  }
  EXPECT_EQ(finder.FindRes("maps/e1m2.bsp"), nullptr);
}

TEST_F(PakIndependent, ExtractAllRecreatesTheFolderTree) {
  QVRArchPAK archive;
  ASSERT_TRUE(archive.Open(pak.c_str()));
  const std::string out = tmp / "all";
  EXPECT_FALSE(archive.ExtractAll(out.c_str()));  // not there yet
  ASSERT_TRUE(QVRFileUtils::DirCreate(out.c_str()));
  EXPECT_TRUE(archive.ExtractAll(out.c_str()));
  // Where the file system ignores letter case, members whose names differ
  // only in case are one file: the last one extracted, in directory order.
  std::map<std::string, std::string> last;
  for (const Member& m : members) {
    std::string key = m.name;
    for (char& c : key) {
      if (c == '\\') c = '/';
#if defined(_WIN32)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
#endif
    }
    last[key] = ReadAll(ExpectedPath(tmp, m.name));
  }
  for (const Member& m : members) {
    SCOPED_TRACE(m.name);
    std::string rel = m.name;
    for (char& c : rel)
      if (c == '\\') c = '/';
    std::string key = rel;
#if defined(_WIN32)
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
#endif
    EXPECT_TRUE(QVRFileUtils::FileExist((out + "/" + rel).c_str()));
    EXPECT_EQ(ReadAll(out + "/" + rel), last[key]);
  }
}

TEST_F(PakIndependent, UnsafeNamesAreNotExtractedOutsideTheFolder) {
  const std::string unsafe = tmp / "unsafe.pak";
  ASSERT_TRUE(RunGenerator("write " + qvrtest::HostArg(unsafe) + " --layout unsafe"));
  QVRArchPAK archive;
  ASSERT_TRUE(archive.Open(unsafe.c_str()));
  ASSERT_EQ(archive.NbFiles(), 5u);
  const std::string out = tmp / "deep/out";
  ASSERT_TRUE(QVRFileUtils::DirCreate((tmp / "deep").c_str()));
  ASSERT_TRUE(QVRFileUtils::DirCreate(out.c_str()));
  unsigned level = QVR::GetLogLevel();
  QVR::SetLogLevel(0);  // the refusals are logged as warnings
  EXPECT_FALSE(archive.ExtractAll(out.c_str()));
  QVR::SetLogLevel(level);
  EXPECT_EQ(ReadAll(out + "/good.txt"), "good\n");
  EXPECT_EQ(ReadAll(out + "/ok/inner.txt"), "inner\n");
  EXPECT_FALSE(QVRFileUtils::FileExist((tmp / "deep/escape.txt").c_str()));
  EXPECT_FALSE(QVRFileUtils::FileExist((tmp / "up.txt").c_str()));
  EXPECT_FALSE(QVRFileUtils::FileExist("/abs.txt"));
  EXPECT_TRUE(QVRArchive::IsSafeName("ok/inner.txt"));
  EXPECT_FALSE(QVRArchive::IsSafeName("../escape.txt"));
  EXPECT_FALSE(QVRArchive::IsSafeName("sub\\..\\..\\up.txt"));
  EXPECT_FALSE(QVRArchive::IsSafeName("/abs.txt"));
  EXPECT_FALSE(QVRArchive::IsSafeName("C:\\abs.txt"));
}

TEST_F(PakIndependent, DamagedCopiesAreRefused) {
  const std::string bytes = ReadAll(pak);
  const uint32_t dirOffset = Le32(bytes, 4);
  const uint32_t dirLength = Le32(bytes, 8);
  ASSERT_EQ(dirLength, 64u * members.size());
  ASSERT_EQ(bytes.size(), size_t(dirOffset) + dirLength);

  // The directory's last byte cut off.
  const std::string cut = tmp / "cut.pak";
  ASSERT_TRUE(WriteAll(cut, bytes.substr(0, bytes.size() - 1)));
  QVRArchPAK archive;
  EXPECT_FALSE(archive.Open(cut.c_str()));
  EXPECT_EQ(QVRArchive::OpenArchive(cut.c_str()), nullptr);

  // A member said to run past the end of the file.
  std::string patched = bytes;
  PutLe32(patched, dirOffset + 64 + 60, uint32_t(bytes.size()));
  const std::string past = tmp / "past.pak";
  ASSERT_TRUE(WriteAll(past, patched));
  EXPECT_FALSE(archive.Open(past.c_str()));

  // A directory length that is not a multiple of 64: the remainder is ignored.
  patched = bytes;
  PutLe32(patched, 8, 64 * 2 + 2);
  const std::string odd = tmp / "odd.pak";
  ASSERT_TRUE(WriteAll(odd, patched));
  ASSERT_TRUE(archive.Open(odd.c_str()));
  EXPECT_EQ(archive.NbFiles(), 2u);
  EXPECT_EQ(archive.FileName(1), members[1].name);
}

// The library's own PAK output, read with nothing but the byte layout.
TEST(PakLayout, WrittenArchiveFollowsTheByteLayout) {
  TempDir tmp;
  const std::string a = tmp / "a.txt", b = tmp / "b.bin", file = tmp / "w.pak";
  ASSERT_TRUE(WriteAll(a, "alpha"));
  ASSERT_TRUE(WriteAll(b, std::string(300, '\x5a')));
  QVRArchPAK archive;
  ASSERT_TRUE(archive.Create(file.c_str()));
  EXPECT_EQ(ReadAll(file), std::string("PACK\x0c\0\0\0\0\0\0\0", 12));
  const std::string long56(56, 'n');
  ASSERT_EQ(archive.AddFile(a.c_str(), nullptr), 0u);
  ASSERT_EQ(archive.AddFile(b.c_str(), (long56 + "cut").c_str()), 1u);

  const std::string bytes = ReadAll(file);
  ASSERT_EQ(bytes.size(), 12u + 5 + 300 + 128);
  EXPECT_EQ(bytes.substr(0, 4), "PACK");
  EXPECT_EQ(Le32(bytes, 4), 317u);
  EXPECT_EQ(Le32(bytes, 8), 128u);
  EXPECT_EQ(bytes.substr(12, 5), "alpha");
  EXPECT_EQ(bytes.substr(317, 56), std::string("a.txt") + std::string(51, '\0'));
  EXPECT_EQ(Le32(bytes, 317 + 56), 12u);
  EXPECT_EQ(Le32(bytes, 317 + 60), 5u);
  EXPECT_EQ(bytes.substr(381, 56), long56);  // no terminator in a full field
  EXPECT_EQ(Le32(bytes, 381 + 56), 17u);
  EXPECT_EQ(Le32(bytes, 381 + 60), 300u);
}

}  // namespace
