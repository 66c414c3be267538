// What sets each stream apart: the disk stream's open modes and messages, the
// memory stream's block handling, and the window stream's bounds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/log_capture.h"
#include "common/tmpdir.h"
#include "qvr3d/core.h"
#include "qvr3d/stream.h"
#include "qvr3d/string.h"

using qvrtest::ReadAll;
using qvrtest::TempDir;
using qvrtest::WriteAll;

namespace {

using qvrtest::LogCapture;

std::string Pattern(size_t n) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
  return s;
}

TEST(DiskStream, ModeTable) {
  TempDir dir;
  const std::string path = dir / "f.bin";

  // Read only never creates; the failure is told at DBG level only.
  {
    LogCapture log(100);
    QVRFile f(path.c_str(), 1);
    EXPECT_FALSE(f.Good());
    EXPECT_EQ(log.Text(), "");
  }
  {
    LogCapture log(200);
    QVRFile f;
    EXPECT_FALSE(f.Open(path.c_str(), 1));
    EXPECT_EQ(f.GetState(), QVRResFile::OPEN_ERROR);
    EXPECT_STREQ(f.GetName(), path.c_str());  // kept for PrintInfo
    EXPECT_EQ(f.GetMode(), 1u);
    EXPECT_EQ(log.Text(), "File: Can not open " + path + " in mode 'rb'\n");
  }
  EXPECT_NE(access(path.c_str(), F_OK), 0);

  // Read/write without flags opens "r+b" and creates with "w+b" when missing.
  {
    QVRFile f(path.c_str(), 3);
    ASSERT_TRUE(f.Good());
    EXPECT_EQ(f.Write("abc", 3), 3u);
  }
  {
    QVRFile f(path.c_str(), 3);  // existing: kept
    EXPECT_EQ(f.Read8(), 'a');
  }
  EXPECT_EQ(ReadAll(path), "abc");
  {
    QVRFile f(path.c_str(), 7);  // read/write + TRUNCATE: emptied
    EXPECT_TRUE(f.Good());
    EXPECT_EQ(f.Read8(), 0u);
    EXPECT_EQ(f.GetState(), QVRResFile::READ_AT_END);
  }
  EXPECT_EQ(ReadAll(path), "");

  // Write only: "wb" truncates and refuses reads.
  WriteAll(path, "old contents");
  {
    QVRFile f(path.c_str(), 2);
    EXPECT_EQ(f.GetMode(), 2u);
    EXPECT_EQ(f.Read8(), 0u);
    EXPECT_TRUE(f.Good());
    EXPECT_TRUE(f.Write32(0x64636261));
  }
  EXPECT_EQ(ReadAll(path), "abcd");

  // APPEND: writes land at the end even after a seek; "a+b" still reads.
  {
    QVRFile f(path.c_str(), 18);
    f.SeekStart();
    EXPECT_TRUE(f.Write8('e'));
  }
  {
    QVRFile f(path.c_str(), 19);
    EXPECT_EQ(f.Read8(), 'a');
    EXPECT_TRUE(f.Write8('f'));
    f.SeekStart();
    char all[6];
    EXPECT_EQ(f.Read(all, 6), 6u);
    EXPECT_EQ(std::string(all, 6), "abcdef");
  }

  // No access bits: refused before anything is touched.
  for (unsigned mode : {0u, 4u, 8u, 16u}) {
    LogCapture log(200);
    QVRFile f(path.c_str(), mode);
    EXPECT_EQ(f.GetState(), QVRResFile::BAD_OPEN_MODE) << mode;
    EXPECT_EQ(log.Text(), "File: bad open mode (" + path + ")\n");
  }
  EXPECT_EQ(ReadAll(path), "abcdef");
}

TEST(DiskStream, CreateFlag) {
  TempDir dir;
  const std::string path = dir / "c.bin";
  WriteAll(path, "keep me");
  for (unsigned mode : {10u, 11u, 15u, 26u}) {
    LogCapture log(200);
    QVRFile f(path.c_str(), mode);
    EXPECT_EQ(f.GetState(), QVRResFile::OPEN_ERROR) << mode;
    EXPECT_EQ(log.Text(), "File: open error: file already exists (CREATE) " + path + "\n");
  }
  EXPECT_EQ(ReadAll(path), "keep me");

  // CREATE is about write access: a reader opens the file as usual.
  EXPECT_TRUE(QVRFile(path.c_str(), 9).Good());

  const std::string fresh = dir / "new.bin";
  {
    QVRFile f(fresh.c_str(), 10);
    ASSERT_TRUE(f.Good());
    EXPECT_TRUE(f.Write16(0x6968));
  }
  EXPECT_EQ(ReadAll(fresh), "hi");
}

TEST(DiskStream, CreateRefusesAnExistingFileItCannotRead) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows files have no write-only permission";
#else
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not apply to root";
#endif
  TempDir dir;
  const std::string path = dir / "locked.bin";
  WriteAll(path, "secret");
  ASSERT_EQ(chmod(path.c_str(), 0200), 0);
  EXPECT_FALSE(QVRFile(path.c_str(), 10).Good());
  chmod(path.c_str(), 0600);
  EXPECT_EQ(ReadAll(path), "secret");
}

TEST(DiskStream, OpenReplacesAndKeeps) {
  TempDir dir;
  const std::string a = dir / "a.txt", b = dir / "b.txt";
  WriteAll(a, "A");
  WriteAll(b, "B");
  QVRFile f(a.c_str(), 1);
  EXPECT_FALSE(f.Open(nullptr, 1));
  EXPECT_FALSE(f.Open("", 1));
  EXPECT_TRUE(f.Good());  // still the first file
  EXPECT_STREQ(f.GetName(), a.c_str());
  EXPECT_TRUE(f.Open(b.c_str(), 1));
  EXPECT_STREQ(f.GetName(), b.c_str());
  EXPECT_EQ(f.Read8(), 'B');
  EXPECT_FALSE(f.Open((dir / "missing").c_str(), 1));
  EXPECT_EQ(f.GetFile(), nullptr);
  EXPECT_FALSE(f.Eof());  // no file: asks nothing
  EXPECT_EQ(f.Read8(), 0u);

  // A position past the end is allowed on disk; reading there fails.
  EXPECT_TRUE(f.Open(a.c_str(), 1));
  EXPECT_TRUE(f.Seek(10, 0));
  EXPECT_EQ(f.GetPos(), 10u);
  EXPECT_EQ(f.Read8(), 0u);
  EXPECT_TRUE(f.Eof());
  f.SeekEnd();
  EXPECT_TRUE(f.Good());
  EXPECT_FALSE(f.Eof());
  EXPECT_EQ(f.GetPos(), 1u);
}

TEST(DiskStream, LinesOfALargeFile) {
  // Lines that straddle the C library's buffer boundaries read whole.
  TempDir dir;
  const std::string path = dir / "lines.txt";
  std::string text;
  std::vector<std::string> lines;
  for (int i = 0; i < 3000; ++i) {
    lines.push_back(
        std::string(static_cast<size_t>(i * 37 % 300), static_cast<char>('a' + i % 26)));
    text += lines.back() + (i % 3 == 0 ? "\r\n" : "\n");
  }
  WriteAll(path, text);
  QVRFile f(path.c_str(), 1);
  QVRString line;
  char buffer[400];
  for (size_t i = 0; i < lines.size(); ++i) {
    unsigned consumed = i % 2 == 0 ? f.GetLine(line) : f.GetLine(buffer, sizeof buffer);
    std::string got = i % 2 == 0 ? std::string(line.Length() != 0 ? line.Text() : "") : buffer;
    ASSERT_EQ(got, lines[i]) << i;
    ASSERT_EQ(consumed, lines[i].size() + (i % 2 == 0 ? 1 + (i % 3 == 0) : 1)) << i;
  }
  EXPECT_EQ(f.GetLine(line), 0u);
  EXPECT_EQ(f.GetPos(), text.size());
}

TEST(MemoryStream, BlockHandling) {
  // A caller's block stays the caller's; mode 7 empties it.
  std::vector<unsigned char> block = {'w', 'x', 'y', 'z', 0xEE, 0xEE};
  {
    QVRMemFile m(4, 7, block.data(), false, "blk");
    EXPECT_STREQ(m.GetName(), "blk");
    EXPECT_EQ(m.GetData(), block.data());
    EXPECT_EQ(std::vector<unsigned char>(block.begin(), block.begin() + 4),
              std::vector<unsigned char>(4, 0));
    // Writes never grow the block nor pass its end.
    EXPECT_EQ(m.Write("abcdef", 6), 4u);
    EXPECT_EQ(m.GetState(), QVRResFile::WRITE_AT_END);
    EXPECT_TRUE(m.Eof());
  }
  EXPECT_EQ(std::string(block.begin(), block.end()), "abcd\xEE\xEE");

  // CREATE alone zero-fills as well; plain read/write leaves the bytes.
  { QVRMemFile m(2, 11, block.data()); }
  { QVRMemFile m(2, 3, block.data() + 2); }
  EXPECT_EQ(std::string(block.begin(), block.end()), std::string("\0\0cd\xEE\xEE", 6));

  // Without data the stream owns a zeroed block of its own.
  QVRMemFile m(4, 3);
  ASSERT_TRUE(m.Good());
  EXPECT_TRUE(m.IsOwner());
  EXPECT_STREQ(m.GetName(), "Memory file");
  EXPECT_EQ(m.Read32(), 0u);
  EXPECT_TRUE(m.Good());
  EXPECT_FALSE(m.Open(0, 3));  // size 0: no change
  EXPECT_EQ(m.GetSize(), 4u);
  // Owned caller memory is released by Close (a leak checker would notice).
  EXPECT_TRUE(m.Open(3, 1, new unsigned char[3]{1, 2, 3}, true));
  EXPECT_EQ(m.GetSize(), 3u);
  EXPECT_EQ(m.Read16(), 0x0201u);
  m.Close();
  EXPECT_EQ(m.GetData(), nullptr);
  EXPECT_FALSE(m.IsOwner());

  // Mode 0 opens but refuses every transfer.
  QVRMemFile none(4, 0);
  EXPECT_TRUE(none.Good());
  EXPECT_EQ(none.Read8(), 0u);
  EXPECT_FALSE(none.Write8(1));
  EXPECT_EQ(none.GetPos(), 0u);
}

TEST(MemoryStream, SeekLimits) {
  unsigned char data[4] = {1, 2, 3, 4};
  QVRMemFile m(4, 1, data);
  EXPECT_FALSE(m.Seek(4, 0));  // the end is not a readable position
  EXPECT_EQ(m.GetState(), QVRResFile::SEEK_ERROR);
  EXPECT_TRUE(m.Seek(3, 0));
  EXPECT_EQ(m.Read8(), 4u);
  EXPECT_TRUE(m.Eof());
  EXPECT_TRUE(m.Seek(-4, 1));
  EXPECT_FALSE(m.Eof());
  EXPECT_TRUE(m.Seek(1, 7));  // unknown origins count from the start
  EXPECT_EQ(m.Read8(), 2u);
  EXPECT_FALSE(m.Seek(0, 2));
  EXPECT_FALSE(m.Seek(-2147483647 - 1, 2));
  m.SeekEnd();
  EXPECT_EQ(m.GetPos(), 4u);
  EXPECT_TRUE(m.Eof());
  EXPECT_EQ(m.GetState(), QVRResFile::SEEK_ERROR);
  m.SeekStart();
  EXPECT_TRUE(m.Good());
  char buffer[80];
  EXPECT_EQ(m.GetLine(buffer, 80), 5u);  // no delimiter: the whole block
}

TEST(WindowStream, Bounds) {
  TempDir dir;
  const std::string path = dir / "pack.bin";
  const std::string bytes = Pattern(10000);
  WriteAll(path, bytes);

  {
    QVRPackFile w(path.c_str(), 100, 50000, 1);
    ASSERT_TRUE(w.Good());
    EXPECT_EQ(w.GetEnd(), 10000u);
    EXPECT_STREQ(w.GetName(), path.c_str());
    EXPECT_STREQ(w.GetFileName(), path.c_str());
  }
  {
    LogCapture log(200);
    QVRPackFile w(path.c_str(), 10000, 20000, 1, "member");
    EXPECT_EQ(w.GetState(), QVRResFile::OPEN_ERROR);
    EXPECT_STREQ(w.GetName(), "member");
    EXPECT_EQ(log.Text(), "PackFile: invalid offset (start=10000, end=10000) " + path + "\n");
  }

  QVRPackFile w(path.c_str(), 100, 200, 1, "member");
  EXPECT_EQ(w.GetPos(), 0u);
  EXPECT_EQ(w.GetSize(), 100u);
  EXPECT_TRUE(w.Seek(-10, 2));
  EXPECT_EQ(w.GetPos(), 90u);
  EXPECT_EQ(w.Read8(), static_cast<unsigned char>(bytes[190]));
  EXPECT_FALSE(w.Seek(100, 0));
  EXPECT_FALSE(w.Seek(-101, 2));
  EXPECT_FALSE(w.Seek(1, 2));
  EXPECT_TRUE(w.Seek(0, 2));  // the end itself, with the end flag
  EXPECT_TRUE(w.Eof());
  EXPECT_FALSE(w.Seek(-1, 0));
  EXPECT_TRUE(w.Seek(5, 0));
  EXPECT_FALSE(w.Seek(-6, 1));
  EXPECT_FALSE(w.Seek(95, 1));
  EXPECT_TRUE(w.Seek(94, 1));
  EXPECT_EQ(w.GetPos(), 99u);
  w.SeekEnd();
  EXPECT_EQ(w.GetState(), QVRResFile::SEEK_ERROR);
  EXPECT_TRUE(w.Eof());
  EXPECT_EQ(w.GetPos(), 100u);

  w.SeekStart();
  std::string got(150, '?');
  EXPECT_EQ(w.Read(&got[0], 150), 100u);
  EXPECT_EQ(w.GetState(), QVRResFile::READ_AT_END);
  EXPECT_EQ(got.substr(0, 100), bytes.substr(100, 100));
  EXPECT_EQ(got.substr(100), std::string(50, '?'));
}

TEST(WindowStream, EmptyWindowsOpenAndReadNothing) {
  TempDir dir;
  const std::string path = dir / "pack.bin";
  WriteAll(path, "0123456789");
  // Inside the file and at its very end, as empty archive members lie.
  for (unsigned at : {4u, 10u}) {
    SCOPED_TRACE(at);
    QVRPackFile w(path.c_str(), at, at, 1, "empty");
    ASSERT_TRUE(w.Good());
    EXPECT_EQ(w.GetSize(), 0u);
    EXPECT_EQ(w.GetPos(), 0u);
    char byte = '?';
    EXPECT_EQ(w.Read(&byte, 1), 0u);
    EXPECT_EQ(w.GetState(), QVRResFile::READ_AT_END);
    EXPECT_EQ(byte, '?');
    w.SeekStart();
    EXPECT_TRUE(w.Good());
    EXPECT_EQ(w.Read32(), 0u);
    EXPECT_EQ(w.GetState(), QVRResFile::READ_AT_END);
    w.SeekStart();
    char line[8];
    EXPECT_EQ(w.GetLine(line, sizeof line), 0u);
    EXPECT_EQ(w.GetState(), QVRResFile::READ_AT_END);
    EXPECT_FALSE(w.Seek(0, QVRResFile::SEEK_FROM_START));
  }
  {
    QVRPackFile w(path.c_str(), 3, 3, 3);
    ASSERT_TRUE(w.Good());
    EXPECT_EQ(w.Write("x", 1), 0u);
    EXPECT_EQ(w.GetState(), QVRResFile::WRITE_AT_END);
  }
  EXPECT_EQ(ReadAll(path), "0123456789");
  // Past the end of the file, or reversed, a window is refused.
  QVRPackFile beyond(path.c_str(), 11, 11, 1);
  EXPECT_EQ(beyond.GetState(), QVRResFile::OPEN_ERROR);
  QVRPackFile reversed(path.c_str(), 6, 5, 1);
  EXPECT_EQ(reversed.GetState(), QVRResFile::OPEN_ERROR);
}

TEST(WindowStream, WritesStayInside) {
  TempDir dir;
  const std::string path = dir / "pack.bin";
  WriteAll(path, "0123456789abcdefghijklmnopqrst");
  {
    QVRPackFile w(path.c_str(), 10, 20, 3);
    ASSERT_TRUE(w.Good());
    EXPECT_EQ(w.Write("XXXXXXXXXXXXXXX", 15), 10u);
    EXPECT_EQ(w.GetState(), QVRResFile::WRITE_AT_END);
    w.Seek(-3, 2);
    EXPECT_EQ(w.Read8(), 'X');
  }
  EXPECT_EQ(ReadAll(path), "0123456789XXXXXXXXXXklmnopqrst");

  // Write access needs an existing file and never creates one.
  const std::string missing = dir / "missing.bin";
  {
    LogCapture log(200);
    QVRPackFile w(missing.c_str(), 0, 10, 2);
    EXPECT_EQ(w.GetState(), QVRResFile::OPEN_ERROR);
    EXPECT_EQ(log.Text(), "PackFile: Can not open " + missing + " in mode 'r+b'\n");
  }
  EXPECT_NE(access(missing.c_str(), F_OK), 0);
  {
    LogCapture log(200);
    QVRPackFile w(path.c_str(), 0, 10, 4);
    EXPECT_EQ(w.GetState(), QVRResFile::BAD_OPEN_MODE);
    EXPECT_EQ(log.Text(), "PackFile: bad open mode (" + path + ")\n");
  }
  QVRPackFile w;
  EXPECT_FALSE(w.Open("", 0, 10, 1));
  EXPECT_EQ(w.GetState(), QVRResFile::FILE_CLOSED);
}

TEST(WindowStream, LinesStopAtTheWindowEnd) {
  TempDir dir;
  const std::string path = dir / "lines.txt";
  WriteAll(path, "zero\none\ntwo\nthree\n");
  QVRPackFile w(path.c_str(), 5, 11, 1);  // "one\ntw"
  QVRString line;
  EXPECT_EQ(w.GetLine(line), 4u);
  EXPECT_EQ(line.Compare("one"), 0);
  EXPECT_EQ(w.GetLine(line), 2u);
  EXPECT_EQ(line.Compare("tw"), 0);
  EXPECT_TRUE(w.Good());
  EXPECT_EQ(w.GetLine(line), 0u);
  w.SeekStart();
  char buffer[80];
  EXPECT_EQ(w.GetLine(buffer, 80), 4u);
  EXPECT_EQ(w.GetLine(buffer, 80), 3u);
  EXPECT_STREQ(buffer, "tw");
  EXPECT_EQ(w.GetLine(buffer, 80), 0u);
  EXPECT_EQ(w.GetPos(), 6u);
}

TEST(Streams, PrintInfoReports) {
  TempDir dir;
  const std::string path = dir / "p.bin";
  WriteAll(path, "0123456789");
  LogCapture log(100);
  QVRFile f(path.c_str(), 1);
  f.Read(nullptr, 0);
  f.PrintInfo();
  unsigned char data[8] = {};
  QVRMemFile m(8, 3, data);
  m.Read16();
  m.PrintInfo();
  QVRPackFile w(path.c_str(), 2, 6, 1, "member");
  w.SeekEnd();
  w.PrintInfo();
  char filePtr[32], dataPtr[32];
  snprintf(filePtr, sizeof filePtr, "%p", static_cast<void*>(f.GetFile()));
  snprintf(dataPtr, sizeof dataPtr, "%p", static_cast<void*>(data));
  const std::string text = log.Text();
  const std::string head = "File info : " + path + "\nFILE* : " + filePtr +
                           "\nMode  : 1 (read only)\nState : 1 (OK)\nEOF   : no\n"
                           "MemFile info:\nAddress: " +
                           dataPtr +
                           "\nMode  : 3 (read/write)\nState : 1 (OK)\nSize : 8\nPos.  : 2\n"
                           "EOF   : no\nOwn data: no\n"
                           "PackFile info :\nFile  :" +
                           path + "\nName  : member\nFILE* : ";
  const std::string tail =
      "\nMode  : 1 (read only)\nState : 3 (fseek error)\nStart : 2\nPos.  : 6\nEnd   : 6\n"
      "EOF   : yes\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  ASSERT_GE(text.size(), head.size() + tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_STREQ(QVRResFile::StateText(2), "unknown");
  EXPECT_STREQ(QVRResFile::ModeText(0), "error");
}

}  // namespace
