// Format detection from crafted headers, the factory, and the header and
// directory rules of each format: damaged directories, PAK name lengths,
// data ends, foreign layouts, and lookups in large directories.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/tmpdir.h"
#include "qvr3d/archive.h"
#include "qvr3d/stream.h"

namespace {

using qvrtest::ReadAll;
using qvrtest::TempDir;
using qvrtest::WriteAll;

void Put32(std::string& s, size_t at, uint32_t v) {
  if (s.size() < at + 4) s.resize(at + 4);
  for (int k = 0; k < 4; ++k) s[at + k] = static_cast<char>(v >> (8 * k));
}

std::string U32(uint32_t v) {
  std::string s;
  Put32(s, 0, v);
  return s;
}

struct PakRecord {
  std::string name;
  uint32_t start;
  uint32_t size;
};

std::string PakRecords(const std::vector<PakRecord>& records) {
  std::string out;
  for (const PakRecord& r : records) {
    std::string rec(56, 0);
    rec.replace(0, std::min<size_t>(r.name.size(), 56), r.name.substr(0, 56));
    out += rec + U32(r.start) + U32(r.size);
  }
  return out;
}

std::string QvrRecord(const std::string& name, uint32_t size, uint32_t start, uint32_t date) {
  std::string rec(32, 0);
  rec.replace(0, name.size(), name);
  return rec + U32(size) + U32(start) + U32(date);
}

std::string EntryBytes(const QVRArchive& archive, unsigned i) {
  std::unique_ptr<QVRResFile> f(archive.OpenResFile(i));
  if (!f) return "<none>";
  std::string bytes(archive.FileSize(i), 0);
  bytes.resize(f->Read(bytes.data(), static_cast<unsigned>(bytes.size())));
  return bytes;
}

TEST(ArchiveFormat, DetectsEveryFormatFromItsFirstBytes) {
  TempDir dir;
  auto detect = [&](const std::string& bytes) {
    std::string path = dir / "probe";
    WriteAll(path, bytes);
    return QVRArchive::FindArchiveFormat(path.c_str());
  };
  EXPECT_EQ(QVRArchive::FindArchiveFormat((dir / "missing").c_str()), 0);
  EXPECT_EQ(QVRArchive::FindArchiveFormat(nullptr), 0);
  EXPECT_EQ(QVRArchive::FindArchiveFormat(dir.path().c_str()), 0);
  EXPECT_EQ(detect(""), 0);
  EXPECT_EQ(detect("QVRA" + U32(12) + U32(0)), 1);
  EXPECT_EQ(detect("PACK" + U32(12) + U32(0)), 2);
  EXPECT_EQ(detect("BIFFV1  rest of header"), 4);
  EXPECT_EQ(detect("BIFFV1 x"), 0);
  EXPECT_EQ(detect(std::string(6, '\0')), 5);  // n = 0, v = 0, 6 bytes
  // n = 2 records, v = 5 data bytes: 6 + 24 + 5 = 35 bytes.
  EXPECT_EQ(detect(std::string("\x02\x00\x05\x00\x00\x00", 6) + std::string(29, 'z')), 5);
  EXPECT_EQ(detect(std::string("\x02\x00\x05\x00\x00\x00", 6) + std::string(30, 'z')), 0);
  EXPECT_EQ(detect("Copyright (c) 1997 Ensemble Studios"), 6);
  EXPECT_EQ(detect("Copyright (c) 1997 Ensembl"), 0);  // one byte short of the magic
  EXPECT_EQ(detect("rass...."), 7);
  EXPECT_EQ(detect(std::string("PK\x03\x04", 4) + "zipdata"), 8);
  EXPECT_EQ(detect("QVR"), 0);
  EXPECT_EQ(detect("hello world, a plain text file\n"), 0);
  EXPECT_STREQ(QVRArchive::FormatText(2), "PAK");
  EXPECT_STREQ(QVRArchive::FormatText(3), "unknown");
}

TEST(ArchiveFormat, FactoryOpensOnlyTheTwoSupportedFormats) {
  TempDir dir;
  auto open = [&](const std::string& bytes) {
    std::string path = dir / "probe";
    WriteAll(path, bytes);
    return std::unique_ptr<QVRArchive>(QVRArchive::OpenArchive(path.c_str()));
  };
  auto qvr = open("QVRA" + U32(12) + U32(0));
  ASSERT_NE(qvr, nullptr);
  EXPECT_STREQ(qvr->FormatInfo(), "QVR Archive v1.00");
  auto pak = open("PACK" + U32(12) + U32(0));
  ASSERT_NE(pak, nullptr);
  EXPECT_STREQ(pak->FormatInfo(), "Id Software Quake 1/2 Archive.");
  EXPECT_EQ(open(""), nullptr);
  EXPECT_EQ(open(std::string("PK\x03\x04", 4)), nullptr);
  EXPECT_EQ(open("BIFFV1  "), nullptr);
  EXPECT_EQ(open("PACK" + U32(100) + U32(64)), nullptr);  // directory past the end
  EXPECT_EQ(QVRArchive::OpenArchive((dir / "missing").c_str()), nullptr);
}

TEST(ArchiveFormat, QvrHeaderAndDirectoryChecks) {
  TempDir dir;
  std::string path = dir / "a.qvr";
  QVRArchQVR archive;
  // A count of 0 opens as empty whatever the offset says; data end is 12.
  WriteAll(path, "QVRA" + U32(999) + U32(0));
  ASSERT_TRUE(archive.Open(path.c_str()));
  EXPECT_EQ(archive.NbFiles(), 0u);
  EXPECT_EQ(archive.DataEnd(), 12u);

  std::string good = "QVRA" + U32(17) + U32(1) + "hello" + QvrRecord("h.txt", 5, 12, 77);
  WriteAll(path, good);
  ASSERT_TRUE(archive.Open(path.c_str()));
  EXPECT_EQ(EntryBytes(archive, 0), "hello");
  EXPECT_EQ(archive.FileDate(0), 77ul);

  // Each damaged copy is refused and the open directory stays.
  std::vector<std::string> bad = {
      "QVRA" + U32(11) + U32(1) + "hello" + QvrRecord("h.txt", 5, 12, 0),  // D < 12
      "QVRA" + U32(17) + U32(2) + "hello" + QvrRecord("h.txt", 5, 12, 0),  // records past end
      "QVRA" + U32(17) + U32(0x05D1745E) + "hello" +
          QvrRecord("h", 5, 12, 0),                                         // 44*N wraps 32 bits
      "QVRA" + U32(17) + U32(1) + "hello" + QvrRecord("h.txt", 50, 12, 0),  // data past end
      "QVRA" + U32(17) + U32(1) + "hello" + QvrRecord("h.txt", 1, 0xFFFFFFFF, 0),
      "QVRA" + U32(17),  // short header
      "QVRB" + U32(12) + U32(0),
  };
  for (size_t k = 0; k < bad.size(); ++k) {
    SCOPED_TRACE(k);
    WriteAll(path, bad[k]);
    EXPECT_FALSE(archive.Open(path.c_str()));
    ASSERT_EQ(archive.NbFiles(), 1u);
    EXPECT_STREQ(archive.FileName(0), "h.txt");
  }
  // A 32-byte name field without terminator keeps 31 characters.
  std::string full(32, 'q');
  WriteAll(path, "QVRA" + U32(12) + U32(1) + full + U32(0) + U32(12) + U32(0));
  ASSERT_TRUE(archive.Open(path.c_str()));
  EXPECT_EQ(std::string(archive.FileName(0)), std::string(31, 'q'));
  // A zero-byte entry extracts to an empty file.
  EXPECT_TRUE(archive.ExtractFile(0, (dir / "zero").c_str()));
  EXPECT_EQ(ReadAll(dir / "zero"), "");
}

TEST(ArchiveFormat, PakDirectoryRules) {
  TempDir dir;
  std::string path = dir / "a.pak";
  QVRArchPAK pak;
  // A directory length of 130 holds two records; the remainder is ignored.
  std::string data = "abcdefgh";
  std::string records = PakRecords({{"one", 12, 3}, {"two", 15, 5}}) + "xx";
  WriteAll(path, "PACK" + U32(20) + U32(130) + data + records);
  ASSERT_TRUE(pak.Open(path.c_str()));
  ASSERT_EQ(pak.NbFiles(), 2u);
  EXPECT_EQ(EntryBytes(pak, 1), "defgh");
  EXPECT_EQ(pak.FileDate(0), 0ul);
  EXPECT_EQ(pak.DataEnd(), 20u);

  // D + L one byte past the end, or a record past the end: refused whole.
  WriteAll(path, "PACK" + U32(20) + U32(131) + data + records);
  EXPECT_FALSE(pak.Open(path.c_str()));
  WriteAll(path, "PACK" + U32(20) + U32(64) + data + PakRecords({{"big", 12, 200}}));
  EXPECT_FALSE(pak.Open(path.c_str()));
  WriteAll(path, "PACK" + U32(20) + U32(64) + data + PakRecords({{"wrap", 0xFFFFFFF0u, 0x20}}));
  EXPECT_FALSE(pak.Open(path.c_str()));
  EXPECT_EQ(pak.NbFiles(), 2u);
  // Fewer than 64 directory bytes: an empty archive.
  WriteAll(path, "PACK" + U32(12) + U32(63) + std::string(63, 0));
  ASSERT_TRUE(pak.Open(path.c_str()));
  EXPECT_EQ(pak.NbFiles(), 0u);

  // 56-character names are read and written back intact; AddFile cuts at 56.
  std::string name56(56, 'N');
  name56[0] = 'a';
  WriteAll(path, "PACK" + U32(15) + U32(64) + "xyz" + PakRecords({{name56, 12, 3}}));
  ASSERT_TRUE(pak.Open(path.c_str()));
  EXPECT_EQ(std::string(pak.FileName(0)), name56);
  EXPECT_EQ(pak.FindFile(name56.c_str()), 0u);
  std::string src = dir / "src";
  WriteAll(src, "payload");
  ASSERT_EQ(pak.AddFile(src.c_str(), ("maps/" + name56 + "tail").c_str()), 1u);
  EXPECT_EQ(std::string(pak.FileName(1)), name56);
  ASSERT_EQ(pak.AddFile(src.c_str(), "maps/e1m1.bsp"), 2u);
  EXPECT_STREQ(pak.FileName(2), "e1m1.bsp");
  QVRArchPAK again;
  ASSERT_TRUE(again.Open(path.c_str()));
  ASSERT_EQ(again.NbFiles(), 3u);
  EXPECT_EQ(std::string(again.FileName(0)), name56);
  EXPECT_EQ(std::string(again.FileName(1)), name56);
  EXPECT_EQ(EntryBytes(again, 0), "xyz");
  EXPECT_EQ(EntryBytes(again, 1), "payload");
}

TEST(ArchiveFormat, PakWithGapsAndForeignOrder) {
  TempDir dir;
  std::string path = dir / "gap.pak";
  // Entries end at 5000 while the directory sits at 6000: data end is 5000
  // and the next file goes there, followed by the directory.
  std::string file(6000, '.');
  file.replace(0, 12, "PACK" + U32(6000) + U32(128));
  file.replace(4000, 1000, std::string(1000, 'B'));
  file.replace(100, 50, std::string(50, 'A'));
  file += PakRecords({{"b", 4000, 1000}, {"a", 100, 50}});
  WriteAll(path, file);
  QVRArchPAK pak;
  ASSERT_TRUE(pak.Open(path.c_str()));
  EXPECT_EQ(pak.DataEnd(), 5000u);
  std::string src = dir / "c";
  WriteAll(src, std::string(300, 'C'));
  ASSERT_EQ(pak.AddFile(src.c_str(), "c"), 2u);
  EXPECT_EQ(pak.GetEntry(2)->start, 5000u);
  std::string bytes = ReadAll(path);
  EXPECT_EQ(bytes.substr(4, 4), U32(5300));
  EXPECT_EQ(bytes.substr(5300, 56).substr(0, 1), "b");

  // Removing rewrites the whole archive from the directory: data back to
  // back in directory order from 12, gaps gone.
  ASSERT_TRUE(pak.RemoveFile(1));
  QVRArchPAK again;
  ASSERT_TRUE(again.Open(path.c_str()));
  ASSERT_EQ(again.NbFiles(), 2u);
  EXPECT_EQ(again.GetEntry(0)->start, 12u);
  EXPECT_EQ(again.GetEntry(1)->start, 1012u);
  EXPECT_EQ(EntryBytes(again, 0), std::string(1000, 'B'));
  EXPECT_EQ(EntryBytes(again, 1), std::string(300, 'C'));
  EXPECT_EQ(ReadAll(path).size(), 12u + 1300 + 128);
}

TEST(ArchiveFormat, LookupInLargeDirectories) {
  TempDir dir;
  std::string path = dir / "big.pak";
  const unsigned count = 100000;
  std::vector<PakRecord> records;
  records.reserve(count);
  for (unsigned i = 0; i < count; ++i) records.push_back({"dir/file" + std::to_string(i), 12, 1});
  records[count - 1].name = "dir/file7";  // a duplicate: the first one wins
  WriteAll(path, "PACK" + U32(13) + U32(count * 64) + "x" + PakRecords(records));
  QVRArchPAK pak;
  auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(pak.Open(path.c_str()));
  auto took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(pak.NbFiles(), count);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 1000);
  EXPECT_EQ(pak.FindFile("dir/file0"), 0u);
  EXPECT_EQ(pak.FindFile("dir/file7"), 7u);
  EXPECT_EQ(pak.FindFile("dir/file99998"), 99998u);
  EXPECT_EQ(pak.FindFile("dir/file99999"), QVRArchive::NONE);
  EXPECT_EQ(pak.FindFile("file0"), QVRArchive::NONE);
  // Sorting an already sorted large listing finishes without deep recursion.
  pak.Sort(QVRFileProvider::SORT_SIZE);
  EXPECT_EQ(pak.SortedIndex(0), 0u);
}

}  // namespace
