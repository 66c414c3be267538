// Tests of QVRText: slot handling, the text and binary forms, round trips
// through files by name, and binary files whose counts lie.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/log_capture.h"
#include "common/tmpdir.h"
#include "qvr3d/core.h"
#include "qvr3d/stream.h"
#include "qvr3d/text.h"

namespace {

using qvrtest::ReadAll;
using qvrtest::TempDir;
using qvrtest::WriteAll;

constexpr unsigned kNone = 0xFFFFFFFFu;

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

// A read-only memory stream over a copy of `bytes`.
struct MemSource {
  explicit MemSource(const std::string& bytes)
      : data(bytes),
        stream(static_cast<unsigned>(data.size()), QVRResFile::READ,
               reinterpret_cast<unsigned char*>(&data[0])) {}
  std::string data;
  QVRMemFile stream;
};

// The bytes Save writes in `format`, or "<fail>".
std::string Saved(QVRText& text, int format) {
  QVRMemFile out(1 << 16, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  if (!text.Save(out, format)) return "<fail>";
  return std::string(reinterpret_cast<char*>(out.GetData()), out.GetPos());
}

using qvrtest::LogCapture;

TEST(Text, Slots) {
  QVRText t(0);
  EXPECT_EQ(t.Count(), 1u);
  EXPECT_EQ(t.Get(0), nullptr);
  t.SetString(9, "nine");
  EXPECT_EQ(t.Count(), 10u);
  EXPECT_STREQ(t[9], "nine");
  EXPECT_EQ(t.Get(10), nullptr);

  t.SetString(0, "abcdefg", 2, 3);
  EXPECT_STREQ(t[0], "cde");
  t.SetString(1, "abc", 0, 10);
  EXPECT_STREQ(t[1], "abc");
  t.SetString(2, "abc", 7);  // start past the end
  EXPECT_STREQ(t[2], "");
  t.SetString(0, t[0] + 1);  // from its own old text
  EXPECT_STREQ(t[0], "de");
  EXPECT_EQ(t.Length(), 4u);
  EXPECT_EQ(t.MemoryUsed(), 12u + 4 * 10 + 2 + 3 + 0 + 4);

  t.SetString(1, nullptr);
  t.SetString(9, "x", 0, 0);
  EXPECT_EQ(t.Get(1), nullptr);
  EXPECT_EQ(t.Get(9), nullptr);
  EXPECT_EQ(t.Count(), 10u);
  t.SetString(kNone, "never");  // index + 1 slots cannot exist
  EXPECT_EQ(t.Count(), 10u);

  t.ChangeSize(3);
  EXPECT_EQ(t.Count(), 3u);
  EXPECT_STREQ(t[0], "de");
  t.ChangeSize(0);
  EXPECT_EQ(t.Count(), 1u);
  EXPECT_STREQ(t[0], "de");
  t.Clear();
  EXPECT_EQ(t.Count(), 1u);
  EXPECT_EQ(t.Length(), 0u);
}

TEST(Text, AppendReusesHoles) {
  QVRText t(5);
  for (unsigned i = 0; i < 5; ++i) t.SetString(i, "s");
  t.SetString(2, nullptr);
  EXPECT_EQ(t.Append("hole"), 2u);
  EXPECT_STREQ(t[2], "hole");
  EXPECT_EQ(t.Append("more", 1, 2), 5u);
  EXPECT_EQ(t.Count(), 6u);
  EXPECT_STREQ(t[5], "or");
  EXPECT_EQ(t.Append(nullptr), kNone);
  EXPECT_EQ(t.Append("x", 0, 0), kNone);
  EXPECT_EQ(t.Count(), 6u);
}

TEST(Text, TextFormLoad) {
  MemSource src("one\n\nthree\n");
  QVRText t;
  ASSERT_TRUE(t.Load(src.stream, QVRText::TEXT));
  ASSERT_EQ(t.Count(), 4u);
  EXPECT_STREQ(t[0], "one");
  EXPECT_EQ(t[1], nullptr);
  EXPECT_STREQ(t[2], "three");
  EXPECT_EQ(t[3], nullptr);
  EXPECT_EQ(t.Length(), 2u);

  // A last line without line end, one character long; "\r\n" ends too.
  MemSource src2("ab\r\n\r\nc");
  ASSERT_TRUE(t.Load(src2.stream, QVRText::DETECT));
  ASSERT_EQ(t.Count(), 4u);
  EXPECT_STREQ(t[0], "ab");
  EXPECT_EQ(t[1], nullptr);
  EXPECT_STREQ(t[2], "c");

  // Shorter than the magic: still text under detection.
  MemSource tiny("z");
  ASSERT_TRUE(t.Load(tiny.stream, QVRText::DETECT));
  EXPECT_EQ(t.Count(), 2u);
  EXPECT_STREQ(t[0], "z");

  // Loading starts where the stream stands, and comes back there for the
  // second pass.
  MemSource offset("skip\nkeep\n");
  offset.stream.Seek(5, 0);
  ASSERT_TRUE(t.Load(offset.stream, QVRText::DETECT));
  EXPECT_EQ(t.Count(), 2u);
  EXPECT_STREQ(t[0], "keep");

  // A stream that is not OK is refused and the content kept.
  MemSource bad("abc");
  bad.stream.Read32();
  bad.stream.Read32();
  EXPECT_FALSE(t.Load(bad.stream, QVRText::TEXT));
  EXPECT_STREQ(t[0], "keep");
  MemSource any("abc");
  EXPECT_FALSE(t.Load(any.stream, 3));
  EXPECT_STREQ(t[0], "keep");
}

TEST(Text, EmptyFileAndMissingFile) {
  TempDir tmp;
  ASSERT_TRUE(WriteAll(tmp / "empty.txt", ""));
  {
    LogCapture log(QVR::LOG_LOG);
    QVRFile empty((tmp / "empty.txt").c_str(), QVRResFile::READ);
    QVRText t(4);
    t.SetString(1, "kept");
    EXPECT_FALSE(t.Load(empty, QVRText::TEXT));
    EXPECT_EQ(t.Count(), 4u);
    EXPECT_STREQ(t[1], "kept");
    EXPECT_EQ(log.Text(), "TextLoad: nothing to load!\n");
  }
  QVRText fromEmpty((tmp / "empty.txt").c_str(), QVRText::DETECT);
  EXPECT_EQ(fromEmpty.Count(), 1u);
  EXPECT_EQ(fromEmpty.Length(), 0u);
  QVRText fromMissing((tmp / "missing.txt").c_str(), QVRText::TEXT);
  EXPECT_EQ(fromMissing.Count(), 1u);
  EXPECT_FALSE(fromMissing.LoadName((tmp / "missing.txt").c_str(), QVRText::TEXT));
}

TEST(Text, SaveForms) {
  QVRText t(4);
  t.SetString(0, "one");
  t.SetString(2, "three");
  EXPECT_EQ(Saved(t, 2), "one\n\nthree\n");
  std::string binary = "QVRT" + Le32(3) + Le32(4) + "one" + Le32(0) + Le32(6) + "three";
  EXPECT_EQ(Saved(t, 0), binary);
  EXPECT_EQ(Saved(t, 1), binary);
  EXPECT_EQ(Saved(t, 7), "");  // unknown format: nothing written, success

  QVRText empty(3);
  EXPECT_EQ(Saved(empty, 0), "<fail>");
  EXPECT_EQ(Saved(empty, 2), "<fail>");

  // A destination that refuses the bytes is a failure, not a success.
  unsigned char block[64];
  QVRMemFile readOnly(sizeof block, QVRResFile::READ, block);
  EXPECT_FALSE(t.Save(readOnly, 0));
  QVRMemFile tooSmall(10, QVRResFile::READWRITE);
  EXPECT_FALSE(t.Save(tooSmall, 2));
  QVRMemFile closed;
  EXPECT_FALSE(t.Save(closed, 0));

  LogCapture log(QVR::LOG_LOG);
  t.PrintInfo();
  EXPECT_EQ(log.Text(), "Array of 4 strings :\n[  0] one\n[  2] three\n");
}

TEST(Text, RoundTripsByName) {
  TempDir tmp;
  QVRText t;
  t.SetString(0, "first line");
  t.SetString(1, "");  // an empty but present string survives the binary form
  t.SetString(3, std::string(200000, 'w').c_str());  // read in several pieces
  t.SetString(4, "last");

  ASSERT_TRUE(t.SaveName((tmp / "t.bin").c_str(), 0));
  QVRText b((tmp / "t.bin").c_str(), QVRText::DETECT);
  ASSERT_EQ(b.Count(), 5u);
  EXPECT_STREQ(b[0], "first line");
  EXPECT_STREQ(b[1], "");
  EXPECT_EQ(b[2], nullptr);
  EXPECT_EQ(strlen(b[3]), 200000u);
  EXPECT_STREQ(b[4], "last");
  QVRText explicitBinary;
  EXPECT_TRUE(explicitBinary.LoadName((tmp / "t.bin").c_str(), QVRText::BINARY));
  EXPECT_EQ(explicitBinary.Count(), 5u);
  EXPECT_FALSE(explicitBinary.LoadName((tmp / "t.bin").c_str(), 7));

  // SaveName empties a longer existing file before writing.
  ASSERT_TRUE(WriteAll(tmp / "t.txt", std::string(300000, '#')));
  ASSERT_TRUE(t.SaveName((tmp / "t.txt").c_str(), 2));
  EXPECT_EQ(ReadAll(tmp / "t.txt").size(), 10 + 1 + 1 + 1 + 200000 + 1 + 4 + 1u);
  QVRText x((tmp / "t.txt").c_str(), QVRText::DETECT);
  ASSERT_EQ(x.Count(), 6u);
  EXPECT_STREQ(x[0], "first line");
  EXPECT_EQ(x[1], nullptr);  // the text form cannot tell "" from empty
  EXPECT_STREQ(x[4], "last");
  EXPECT_EQ(x[5], nullptr);
}

TEST(Text, BinaryCountsAreNotTrusted) {
  QVRText t(2);
  t.SetString(0, "before");
  auto expectKept = [&]() {
    EXPECT_EQ(t.Count(), 2u);
    EXPECT_STREQ(t[0], "before");
  };

  // 12 bytes announcing four billion slots.
  MemSource slots("QVRT" + Le32(0xFFFFFFFFu) + Le32(0));
  EXPECT_FALSE(t.Load(slots.stream, QVRText::DETECT));
  expectKept();
  // A 4 GB string in a 16-byte file.
  MemSource length("QVRT" + Le32(1) + Le32(0xFFFFFFFFu) + "abcd");
  EXPECT_FALSE(t.Load(length.stream, QVRText::BINARY));
  expectKept();
  // A string longer than one read piece, cut short.
  MemSource cut("QVRT" + Le32(1) + Le32(100000) + std::string(70000, 'x'));
  EXPECT_FALSE(t.Load(cut.stream, QVRText::BINARY));
  expectKept();
  // One record short, and a header cut inside the count.
  MemSource shortRecords("QVRT" + Le32(2) + Le32(2) + "a");
  EXPECT_FALSE(t.Load(shortRecords.stream, QVRText::BINARY));
  expectKept();
  MemSource header("QVRT" + std::string("\x01\x00", 2));
  EXPECT_FALSE(t.Load(header.stream, QVRText::BINARY));
  expectKept();
  // The binary loader insists on the magic.
  MemSource text("QVRt" + Le32(0));
  EXPECT_FALSE(t.Load(text.stream, QVRText::BINARY));
  expectKept();

  // Zero slots is a valid (empty) array; trailing bytes are left unread.
  MemSource zero("QVRT" + Le32(0) + "tail");
  EXPECT_TRUE(t.Load(zero.stream, QVRText::DETECT));
  EXPECT_EQ(t.Count(), 1u);
  EXPECT_EQ(t[0], nullptr);
  EXPECT_EQ(zero.stream.GetPos(), 8u);
}

}  // namespace
