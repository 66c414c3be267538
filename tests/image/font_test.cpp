// QVRFont tests: construction and range editing, text measures, the font
// file in both versions with its refusals of hostile sizes, and text drawn
// into images checked pixel by pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/log_capture.h"
#include "common/tmpdir.h"
#include "image/image_helpers.h"
#include "qvr3d/core.h"
#include "qvr3d/font.h"
#include "qvr3d/image.h"
#include "qvr3d/stream.h"

namespace {

using qvrtest::PixelSet;

using qvrtest::LogCapture;

QVRChar Glyph(unsigned x, unsigned y, unsigned w, unsigned h, int descent) {
  return QVRChar{uint16_t(x), uint16_t(y), uint8_t(w), uint8_t(h), int16_t(descent)};
}

// A 6 x 3 sheet holding two glyphs:
//   'A' at (0, 0), 2 x 3, on the baseline   'B' at (2, 0), 3 x 2, one row below
//       1 0                                     2 2 2
//       1 1                                     3 0 3
//       0 1
// Ascent 3, descent 1, spacing 1, white size 2; range 'A' .. 'C' ('C' empty).
QVRImage Sheet() {
  static const uint8_t rows[3][6] = {{1, 0, 2, 2, 2, 0}, {1, 1, 3, 0, 3, 0}, {0, 1, 0, 0, 0, 0}};
  QVRImage sheet(6, 3, 8);
  std::memcpy(sheet.GetPixels(), rows, sizeof rows);
  return sheet;
}

void DefineTestFont(QVRFont& font) {
  QVRImage sheet = Sheet();
  font.SetName("Test");
  font.SetLastChar('C');
  font.SetFirstChar('A');
  font.SetImage(&sheet, 8);
  QVRChar a = Glyph(0, 0, 2, 3, 0), b = Glyph(2, 0, 3, 2, 1);
  font.SetChar('A', &a);
  font.SetChar('B', &b);
  font.SetAscent(3);
  font.SetDescent(1);
  font.SetSpacing(1);
  font.SetWhiteSize(2);
}

// The bytes Save writes for `font`.
std::string Saved(QVRFont& font) {
  QVRMemFile out(1 << 16, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  EXPECT_TRUE(font.Save(out, 0));
  return std::string(reinterpret_cast<const char*>(out.GetData()), 1 << 16);
}

// Loads `bytes` (version 2, or 1 with `v1`) into `font`.
bool LoadBytes(QVRFont& font, std::string bytes, bool v1 = false) {
  QVRMemFile in(unsigned(bytes.size()), QVRResFile::READ,
                reinterpret_cast<unsigned char*>(&bytes[0]));
  return v1 ? font.LoadV1(in, 0) : font.Load(in, 0);
}

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = char(v >> (8 * i));
}

// The version-2 file of the test font, cut to its real length: header 17,
// info 1 + 5 + 14, glyphs 3 x 8, sheet 9 + 18.
std::string TestFile() {
  QVRFont font;
  DefineTestFont(font);
  return Saved(font).substr(0, 17 + 20 + 24 + 27);
}

void ExpectSameFont(const QVRFont& a, const QVRFont& b) {
  ASSERT_NE(a.GetName(), nullptr);
  ASSERT_NE(b.GetName(), nullptr);
  EXPECT_STREQ(a.GetName(), b.GetName());
  EXPECT_EQ(a.GetFirstChar(), b.GetFirstChar());
  EXPECT_EQ(a.GetLastChar(), b.GetLastChar());
  EXPECT_EQ(a.GetAscent(), b.GetAscent());
  EXPECT_EQ(a.GetDescent(), b.GetDescent());
  EXPECT_EQ(a.GetSpacing(), b.GetSpacing());
  EXPECT_EQ(a.GetWhiteSize(), b.GetWhiteSize());
  EXPECT_EQ(a.GetDepth(), b.GetDepth());
  ASSERT_EQ(a.GetSheetWidth(), b.GetSheetWidth());
  ASSERT_EQ(a.GetSheetHeight(), b.GetSheetHeight());
  for (unsigned c = a.GetFirstChar(); c <= a.GetLastChar(); ++c) {
    const QVRChar *ga = a.GetChar(uint8_t(c)), *gb = b.GetChar(uint8_t(c));
    ASSERT_TRUE(ga && gb);
    EXPECT_EQ(std::memcmp(ga, gb, sizeof(QVRChar)), 0) << "code " << c;
  }
}

TEST(Font, ConstructionRangeEditingAndMemory) {
  QVRFont wide("Wide", 300, 40);
  EXPECT_EQ(wide.GetFirstChar(), 40u);
  EXPECT_EQ(wide.GetLastChar(), 255u);
  EXPECT_EQ(wide.MemoryUsed(), unsigned(sizeof(QVRFont) + 4 + 8 * 216));

  QVRFont font(nullptr, 'C', 'E', nullptr, 2);
  EXPECT_EQ(font.GetName(), nullptr);
  EXPECT_EQ(font.GetDepth(), 2u);
  QVRChar c = Glyph(1, 2, 3, 4, 5), e = Glyph(6, 7, 8, 9, -1);
  font.SetChar('C', &c);
  font.SetChar('E', &e);
  font.SetChar('B', &c);  // outside the range
  EXPECT_EQ(font.GetChar('B'), nullptr);

  // Moving the start down zeroes the new records and keeps the old ones.
  font.SetFirstChar('A');
  EXPECT_EQ(font.GetFirstChar(), unsigned('A'));
  EXPECT_EQ(font.GetChar('A')->width, 0);
  EXPECT_EQ(font.GetChar('C')->x, 1);
  EXPECT_EQ(font.GetChar('E')->descent, -1);
  font.SetFirstChar('F');  // beyond the end: nothing
  EXPECT_EQ(font.GetFirstChar(), unsigned('A'));
  font.SetFirstChar('D');  // drops A .. C
  EXPECT_EQ(font.GetChar('C'), nullptr);
  EXPECT_EQ(font.GetChar('E')->width, 8);

  font.SetLastChar('H');  // keeps everything, zeroes F .. H
  EXPECT_EQ(font.GetChar('E')->height, 9);
  EXPECT_EQ(font.GetChar('H')->width, 0);
  font.SetLastChar('A');  // below the start: nothing
  EXPECT_EQ(font.GetLastChar(), unsigned('H'));
  font.SetLastChar('D');  // drops E .. H
  EXPECT_EQ(font.GetChar('E'), nullptr);

  // The space can never get a glyph; a null glyph clears a record.
  QVRFont spaced("S", ' ', 'z');
  spaced.SetChar(' ', &c);
  EXPECT_EQ(spaced.GetChar(' ')->width, 0);
  spaced.SetChar('a', &c);
  spaced.SetChar('a', nullptr);
  EXPECT_EQ(spaced.GetChar('a')->width, 0);

  // Free keeps only the format depth.
  QVRFont full;
  DefineTestFont(full);
  EXPECT_EQ(full.MemoryUsed(), unsigned(sizeof(QVRFont) + 18 + 4 + 24));
  full.Free();
  EXPECT_EQ(full.GetName(), nullptr);
  EXPECT_EQ(full.GetSheet(), nullptr);
  EXPECT_EQ(full.GetLastChar(), 0u);
  EXPECT_EQ(full.GetSpacing(), 0u);
  EXPECT_EQ(full.GetDepth(), 8u);
  EXPECT_EQ(full.MemoryUsed(), unsigned(sizeof(QVRFont)));

  // SetImage insists on one byte per pixel for the small depths.
  QVRImage deep(4, 4, 32);
  EXPECT_FALSE(full.SetImage(&deep, 8));
  EXPECT_FALSE(full.SetImage(nullptr, 8));
  EXPECT_TRUE(full.SetImage(&deep, 32));
  EXPECT_EQ(full.GetSheetWidth(), 4u);
  EXPECT_EQ(full.GetDepth(), 32u);
}

TEST(Font, CharMeasuresTextWidthAndTextSize) {
  QVRFont font;
  DefineTestFont(font);
  EXPECT_EQ(font.CharWidth(' '), 2u);
  EXPECT_EQ(font.CharWidth('\t'), 16u);
  EXPECT_EQ(font.CharWidth('B'), 3u);
  EXPECT_EQ(font.CharWidth('Z'), 0u);
  EXPECT_EQ(font.CharHeight('A'), 3u);
  EXPECT_EQ(font.CharHeight(' '), 0u);

  QVRFont pair("P", 'a', 'b');
  QVRChar five = Glyph(0, 0, 5, 1, 0), six = Glyph(0, 0, 6, 1, 0);
  pair.SetChar('a', &five);
  pair.SetChar('b', &six);
  pair.SetSpacing(1);
  pair.SetWhiteSize(4);
  EXPECT_EQ(pair.TextWidth("ab"), 12u);
  EXPECT_EQ(pair.TextWidth(""), 0u);
  EXPECT_EQ(pair.TextWidth(" "), 4u);
  EXPECT_EQ(pair.TextWidth("a\tb"), 5u + 1 + 32 + 1 + 6);
  EXPECT_EQ(pair.TextWidth("a?b"), 5u + 1 + 1 + 6);  // unknown codes still take the spacing
  EXPECT_EQ(pair.TextWidth("abab", 2), 12u);
  EXPECT_EQ(pair.TextWidth("ab", 0), 0u);
  EXPECT_EQ(pair.TextWidth(nullptr), 0u);

  // Above the baseline 'A' has 3 rows, 'B' 1; below, 'B' has 1.
  unsigned w = 99, h = 99;
  font.TextSize("AB", w, h);
  EXPECT_EQ(w, 6u);
  EXPECT_EQ(h, 4u);
  font.TextSize("B", w, h);
  EXPECT_EQ(h, 2u);
  font.TextSize("   ", w, h);
  EXPECT_EQ(w, 2u * 3 + 2);
  EXPECT_EQ(h, 0u);
  font.TextSize("AB", w, h, 0);
  EXPECT_EQ(w, 0u);
  EXPECT_EQ(h, 0u);

  QVRFont nameless(nullptr, 'A', 'B');
  nameless.SetWhiteSize(3);
  EXPECT_EQ(nameless.TextWidth("  "), 0u);
  nameless.TextSize("  ", w, h);
  EXPECT_EQ(w + h, 0u);
}

TEST(Font, SaveWritesTheVersion2Layout) {
  QVRFont font;
  DefineTestFont(font);
  font.SetName("TenLetters");
  std::string bytes = Saved(font);
  EXPECT_EQ(bytes.substr(0, 5), std::string("QVRF\x02", 5));
  EXPECT_EQ(bytes.substr(5, 4), std::string("\x11\0\0\0", 4));
  EXPECT_EQ(uint8_t(bytes[17]), 11);  // length byte counts the zero
  EXPECT_EQ(bytes.substr(18, 11), std::string("TenLetters\0", 11));
  const unsigned glyphs = 17 + 1 + 11 + 14;
  EXPECT_EQ(bytes.substr(9, 4), std::string(1, char(glyphs)) + std::string(3, '\0'));
  EXPECT_EQ(bytes.substr(13, 4), std::string(1, char(glyphs + 24)) + std::string(3, '\0'));
  // The record of 'B': x 2, y 0, 3 x 2, descent 1.
  EXPECT_EQ(bytes.substr(glyphs + 8, 8), std::string("\x02\0\0\0\x03\x02\x01\0", 8));
  // Sheet block: 6, 3, depth 8, then the rows as they are.
  const std::string sheet = bytes.substr(glyphs + 24, 9 + 18);
  EXPECT_EQ(sheet.substr(0, 9), std::string("\x06\0\0\0\x03\0\0\0\x08", 9));
  EXPECT_EQ(sheet.substr(9, 6), std::string("\x01\0\x02\x02\x02\0", 6));

  // Depth 1 packs the first pixel into the top bit, depth 2 into the top two.
  QVRImage sheetImg = Sheet();
  font.SetImage(&sheetImg, 1);
  bytes = Saved(font);
  EXPECT_EQ(bytes.substr(glyphs + 24 + 9, 3), "\xB8\xE8\x40");  // 101110, 111010, 010000
  font.SetImage(&sheetImg, 2);
  bytes = Saved(font);
  EXPECT_EQ(bytes.substr(glyphs + 24 + 9, 6), std::string("\x4A\x80\x5C\xC0\x10\x00", 6));

  // Refusals write nothing.
  QVRMemFile out(1024, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  EXPECT_FALSE(font.Save(out, 2));
  QVRFont nameless(nullptr, 'A', 'B', &sheetImg, 8);
  EXPECT_FALSE(nameless.Save(out, 0));
  QVRFont noSheet("N", 'A', 'B');
  EXPECT_FALSE(noSheet.Save(out, 0));
  QVRImage deep(2, 2, 32);
  QVRFont deepFont("D", 'A', 'B', &deep, 32);
  EXPECT_FALSE(deepFont.Save(out, 0));
  QVRFont longName(std::string(255, 'n').c_str(), 'A', 'B', &sheetImg, 8);
  {
    LogCapture log(qvrtest::kAllLevels);
    EXPECT_FALSE(longName.Save(out, 0));
    EXPECT_NE(log.Text().find("too long"), std::string::npos);
  }
  EXPECT_EQ(out.GetPos(), 0u);
  longName.SetName(std::string(254, 'n').c_str());
  EXPECT_TRUE(longName.Save(out, 0));
}

TEST(Font, RoundTripsInBothVersions) {
  QVRFont font;
  DefineTestFont(font);
  const std::string file = TestFile();
  QVRFont back;
  ASSERT_TRUE(LoadBytes(back, file));
  ExpectSameFont(font, back);
  EXPECT_EQ(std::memcmp(back.GetSheet(), font.GetSheet(), 18), 0);

  // Version 1 is the same blocks right behind the magic.
  QVRFont v1;
  ASSERT_TRUE(LoadBytes(v1, "QVRF" + file.substr(17), true));
  ExpectSameFont(font, v1);
  EXPECT_EQ(std::memcmp(v1.GetSheet(), font.GetSheet(), 18), 0);
  EXPECT_FALSE(LoadBytes(v1, file, true));  // read as version 1 its range starts past 255

  // Depth 2 keeps 0-3 and drops the high bits; depth 1 keeps set or not.
  QVRImage sheet(5, 2, 8);
  const uint8_t values[10] = {0, 1, 2, 3, 7, 4, 5, 0, 255, 1};
  std::memcpy(sheet.GetPixels(), values, 10);
  for (unsigned depth : {1u, 2u}) {
    SCOPED_TRACE(depth);
    font.SetImage(&sheet, uint8_t(depth));
    QVRFont again;
    ASSERT_TRUE(LoadBytes(again, Saved(font)));
    ExpectSameFont(font, again);
    for (unsigned i = 0; i < 10; ++i)
      EXPECT_EQ(again.GetSheet()[i], depth == 1 ? (values[i] != 0) : (values[i] & 3)) << i;
  }

  // A font embedded in a larger stream saves and loads relative to its start.
  QVRMemFile both(4096, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  both.Write("pad", 3);
  ASSERT_TRUE(font.Save(both, 1));
  both.Seek(3, 0);
  QVRFont embedded;
  ASSERT_TRUE(embedded.Load(both, 1));
  ExpectSameFont(font, embedded);
  EXPECT_EQ(std::memcmp(both.GetData(), "padQVRF", 7), 0);

  // Through a disk file with the by-name constructor.
  qvrtest::TempDir dir;
  ASSERT_TRUE(font.SaveName((dir / "t.fnt").c_str(), 0));
  QVRFont named((dir / "t.fnt").c_str());
  ExpectSameFont(font, named);
  LogCapture log(qvrtest::kAllLevels);
  QVRFont missing((dir / "none.fnt").c_str());
  QVRMemFile closed;
  QVRFont fromClosed(closed, 0);
  const std::string text = log.Text();
  EXPECT_NE(text.find("Font: bad file " + (dir / "none.fnt") + "\n"), std::string::npos);
  EXPECT_NE(text.find("Font: bad resource file\n"), std::string::npos);
  EXPECT_EQ(missing.GetName(), nullptr);
}

TEST(Font, LoadRefusesBadHeadersAndHostileSizes) {
  const std::string file = TestFile();
  QVRFont font;
  {
    LogCapture log(qvrtest::kAllLevels);
    std::string v3 = file;
    v3[4] = 3;
    EXPECT_FALSE(LoadBytes(font, v3));
    EXPECT_FALSE(LoadBytes(font, "QVRX" + file.substr(4)));
    EXPECT_EQ(log.Text(), "Font: unknown format version 3\n");
  }
  QVRMemFile in(unsigned(file.size()), QVRResFile::READ,
                reinterpret_cast<unsigned char*>(const_cast<char*>(file.data())));
  EXPECT_FALSE(font.Load(in, 2));

  // Every cut of the file fails and leaves the font empty.
  const unsigned level = QVR::GetLogLevel();
  QVR::SetLogLevel(0);
  for (size_t cut = 1; cut < file.size(); ++cut) {
    DefineTestFont(font);
    EXPECT_FALSE(LoadBytes(font, file.substr(0, cut))) << cut;
    if (cut >= 17) {
      EXPECT_EQ(font.GetName(), nullptr) << cut;
    }
  }
  QVR::SetLogLevel(level);

  // Reversed or out-of-range code ranges.
  const size_t info = 17 + 1 + 5;
  std::string bad = file;
  Put32(bad, info, 'C' + 1);
  EXPECT_FALSE(LoadBytes(font, bad));
  bad = file;
  Put32(bad, info + 4, 256);
  EXPECT_FALSE(LoadBytes(font, bad));

  // Sheet sizes the stream cannot back are refused before any allocation,
  // including products that pass 32 or 64 bits.
  const size_t sheetAt = 17 + 20 + 24;
  const uint32_t sizes[][2] = {
      {0xFFFFFFFF, 0xFFFFFFFF}, {0x10000, 0x10000}, {7, 3}, {6, 4}, {0x80000000, 2}};
  for (auto& s : sizes) {
    for (uint8_t depth : {1, 2, 8}) {
      bad = file;
      Put32(bad, sheetAt, s[0]);
      Put32(bad, sheetAt + 4, s[1]);
      bad[sheetAt + 8] = char(depth);
      const uint64_t rowBytes = depth == 1   ? (s[0] + 7ull) / 8
                                : depth == 2 ? (s[0] + 3ull) / 4
                                             : s[0];
      if (rowBytes * s[1] <= 18) continue;
      LogCapture log(qvrtest::kAllLevels);
      EXPECT_FALSE(LoadBytes(font, bad)) << s[0] << " x " << s[1] << " depth " << int(depth);
      EXPECT_NE(log.Text().find("Font: bad sheet size"), std::string::npos);
    }
  }
  // A depth-1 sheet of 8 x 3 needs only three bytes, and a 0 x 0 sheet none.
  bad = file.substr(0, sheetAt + 9 + 3);
  Put32(bad, sheetAt, 8);
  bad[sheetAt + 8] = 1;
  EXPECT_TRUE(LoadBytes(font, bad));
  EXPECT_EQ(font.GetSheetWidth(), 8u);
  bad = file.substr(0, sheetAt + 9);
  Put32(bad, sheetAt, 0);
  Put32(bad, sheetAt + 4, 0);
  EXPECT_TRUE(LoadBytes(font, bad));
  EXPECT_EQ(font.GetSheet(), nullptr);
  bad = file;
  bad[sheetAt + 8] = 24;
  EXPECT_FALSE(LoadBytes(font, bad));

  // Offsets past the end of the stream.
  bad = file;
  Put32(bad, 13, 0xFFFFFFF0u);
  EXPECT_FALSE(LoadBytes(font, bad));
  EXPECT_EQ(font.GetName(), nullptr);
}

// Draws with the test font on a blank image and returns the changed pixels.
template <class Draw>
PixelSet DrawnOn(unsigned w, unsigned h, unsigned bpp, Draw draw) {
  QVRImage img = qvrtest::Blank(w, h, bpp);
  draw(img);
  return qvrtest::Changed(img);
}

TEST(FontDraw, GlyphsAlignmentAndClipping) {
  QVRFont font;
  DefineTestFont(font);
  // "AB" at x 1 on baseline 4: 'A' on rows 2-4, 'B' at x 1 + 2 + 1 on rows 4-5.
  const PixelSet ab = {{1, 2}, {1, 3}, {2, 3}, {2, 4}, {4, 4}, {5, 4}, {6, 4}, {4, 5}, {6, 5}};
  qvrtest::ExpectDrawn(
      10, 8, ab, [&](QVRImage& img, uint32_t colour) { img.DrawText(1, 4, "AB", colour, &font); });
  // Other alignments move the baseline: top row y gives y + 2, bottom row y
  // gives y - 1; an unknown value acts as the baseline.
  auto shifted = [](const PixelSet& s, int dy) {
    PixelSet out;
    for (auto& p : s) out.insert({p.first, p.second + dy});
    return out;
  };
  EXPECT_EQ(DrawnOn(10, 8, 8, [&](QVRImage& i) { i.DrawText(1, 0, "AB", 9, &font, ALIGN_TOP); }),
            shifted(ab, -2));
  EXPECT_EQ(DrawnOn(10, 8, 8, [&](QVRImage& i) { i.DrawText(1, 7, "AB", 9, &font, ALIGN_BOTTOM); }),
            shifted(ab, 2));
  EXPECT_EQ(DrawnOn(10, 8, 8, [&](QVRImage& i) { i.DrawText(1, 4, "AB", 9, &font, FontAlign(7)); }),
            ab);

  // Image edges: cut on the left (source column advances), at the top
  // (source row advances), on the right, and at the bottom.
  EXPECT_EQ(DrawnOn(10, 8, 32, [&](QVRImage& i) { i.DrawText(-1, 4, "A", 1, &font); }),
            (PixelSet{{0, 3}, {0, 4}}));
  EXPECT_EQ(DrawnOn(10, 8, 32, [&](QVRImage& i) { i.DrawText(1, -1, "A", 1, &font, ALIGN_TOP); }),
            (PixelSet{{1, 0}, {2, 0}, {2, 1}}));
  EXPECT_EQ(DrawnOn(10, 8, 32, [&](QVRImage& i) { i.DrawText(9, 4, "AB", 1, &font); }),
            (PixelSet{{9, 2}, {9, 3}}));
  EXPECT_EQ(DrawnOn(10, 8, 32, [&](QVRImage& i) { i.DrawText(1, 7, "B", 1, &font); }),
            (PixelSet{{1, 7}, {2, 7}, {3, 7}}));
  EXPECT_TRUE(DrawnOn(10, 8, 8, [&](QVRImage& i) { i.DrawText(-20, 4, "AB", 1, &font); }).empty());
  EXPECT_TRUE(DrawnOn(10, 8, 8, [&](QVRImage& i) { i.DrawText(1, 12, "AB", 1, &font); }).empty());

  // The clip rectangle cuts 'B' to its first column.
  EXPECT_EQ(DrawnOn(10, 8, 8,
                    [&](QVRImage& i) {
                      i.SetClipping(0, 0, 4, 7);
                      i.DrawText(1, 4, "AB", 1, &font);
                    }),
            (PixelSet{{1, 2}, {1, 3}, {2, 3}, {2, 4}, {4, 4}, {4, 5}}));

  // Space and tab advance by the white size (plus spacing) and never draw,
  // even with a glyph for 0x20; an explicit length draws zero bytes too (as
  // unknown codes: spacing only).
  EXPECT_EQ(DrawnOn(20, 8, 8, [&](QVRImage& i) { i.DrawText(0, 4, " A", 1, &font); }),
            (PixelSet{{3, 2}, {3, 3}, {4, 3}, {4, 4}}));
  EXPECT_EQ(DrawnOn(30, 8, 8, [&](QVRImage& i) { i.DrawText(0, 4, "\tA", 1, &font); }),
            (PixelSet{{17, 2}, {17, 3}, {18, 3}, {18, 4}}));
  EXPECT_EQ(DrawnOn(20, 8, 8,
                    [&](QVRImage& i) { i.DrawText(0, 4, "A\0A", 1, &font, ALIGN_BASELINE, 3); }),
            (PixelSet{{0, 2}, {0, 3}, {1, 3}, {1, 4}, {4, 2}, {4, 3}, {5, 3}, {5, 4}}));
  EXPECT_EQ(
      DrawnOn(20, 8, 8, [&](QVRImage& i) { i.DrawText(0, 4, "AB", 1, &font, ALIGN_BASELINE, 1); }),
      (PixelSet{{0, 2}, {0, 3}, {1, 3}, {1, 4}}));
  EXPECT_TRUE(DrawnOn(10, 8, 8, [&](QVRImage& i) {
                i.DrawText(0, 4, "", 1, &font);
                i.DrawText(0, 4, "AB", 1, &font, ALIGN_BASELINE, 0);
                i.DrawText(0, 4, "AB", 1, nullptr);
                i.DrawText(0, 4, nullptr, 1, &font);
              }).empty());

  // A font file with a glyph for the space: it still only advances, by the
  // white size rather than the record's width.
  QVRFont spaceFont("S", ' ', 'A', nullptr, 8);
  QVRImage sheet = Sheet();
  spaceFont.SetImage(&sheet, 8);
  QVRChar a = Glyph(0, 0, 2, 3, 0);
  spaceFont.SetChar('A', &a);
  spaceFont.SetWhiteSize(5);
  spaceFont.SetSpacing(1);
  std::string bytes = Saved(spaceFont);
  const size_t firstRecord = 17 + 1 + 2 + 14;
  bytes[firstRecord + 4] = 2;  // width 2 for code 0x20
  bytes[firstRecord + 5] = 3;
  QVRFont loaded;
  ASSERT_TRUE(LoadBytes(loaded, bytes));
  EXPECT_EQ(loaded.GetChar(' ')->width, 2);
  EXPECT_EQ(loaded.CharWidth(' '), 5u);
  EXPECT_EQ(DrawnOn(20, 8, 8, [&](QVRImage& i) { i.DrawText(0, 4, " A", 1, &loaded); }),
            (PixelSet{{6, 2}, {6, 3}, {7, 3}, {7, 4}}));
}

TEST(FontDraw, DrawTextExColoursByDepth) {
  QVRFont font;
  DefineTestFont(font);
  QVRImage sheet = Sheet();
  FontParams params{&font, ALIGN_BASELINE, {0x11, 0x22, 0x33, 0x44}};
  for (unsigned bpp : {8u, 32u}) {
    SCOPED_TRACE(bpp);
    // Depth 8: every set pixel in colors[3].
    font.SetImage(&sheet, 8);
    QVRImage img = qvrtest::Blank(10, 8, bpp);
    img.DrawTextEx(1, 4, "B", params);
    EXPECT_EQ(img.GetPixel(1, 4), 0x44u);
    EXPECT_EQ(img.GetPixel(1, 5), 0x44u);
    // Depth 2: value v in colors[v]; DrawText paints every set value alike.
    font.SetImage(&sheet, 2);
    QVRImage levels = qvrtest::Blank(10, 8, bpp);
    levels.DrawTextEx(1, 4, "AB", params);
    EXPECT_EQ(levels.GetPixel(1, 2), 0x22u);
    EXPECT_EQ(levels.GetPixel(4, 4), 0x33u);
    EXPECT_EQ(levels.GetPixel(4, 5), 0x44u);
    EXPECT_EQ(levels.GetPixel(5, 5), 0u);
    EXPECT_EQ(qvrtest::Changed(levels).size(), 9u);
    QVRImage plain = qvrtest::Blank(10, 8, bpp);
    plain.DrawText(1, 4, "B", 0x55, &font);
    EXPECT_EQ(plain.GetPixel(1, 4), 0x55u);
    EXPECT_EQ(plain.GetPixel(1, 5), 0x55u);
  }
  // Depth-2 sheet bytes above 3 use their low two bits; 4 is transparent.
  QVRImage odd(2, 1, 8);
  odd.GetPixels()[0] = 6;
  odd.GetPixels()[1] = 4;
  QVRFont two("Two", 'x', 'x', &odd, 2);
  QVRChar g = Glyph(0, 0, 2, 1, 0);
  two.SetChar('x', &g);
  params.font = &two;
  QVRImage img = qvrtest::Blank(4, 2, 8);
  img.DrawTextEx(0, 0, "x", params);
  EXPECT_EQ(img.GetPixel(0, 0), 0x33u);
  EXPECT_EQ(img.GetPixel(1, 0), 0u);

  // A 32-bit sheet: a pixel with any byte set is drawn.
  QVRImage deep = qvrtest::Blank(3, 1, 32);
  uint8_t* p = deep.GetPixels();
  p[4 + 3] = 0x80;  // pixel 1: top byte only
  p[8] = 1;         // pixel 2: low byte only
  QVRFont wide("Wide", 'w', 'w', &deep, 32);
  QVRChar gw = Glyph(0, 0, 3, 1, 0);
  wide.SetChar('w', &gw);
  QVRImage fromDeep = qvrtest::Blank(4, 2, 8);
  fromDeep.DrawText(0, 0, "w", 9, &wide);
  EXPECT_EQ(qvrtest::Changed(fromDeep), (PixelSet{{1, 0}, {2, 0}}));
}

TEST(FontDraw, GlyphRectanglesOutsideTheSheetAreCut) {
  // Rectangles partly and wholly outside the 6 x 3 sheet, written to a file
  // and read back: drawing reads only the part inside the sheet, and the
  // glyphs still advance by their full width.
  QVRFont font;
  DefineTestFont(font);
  QVRChar partlyRight = Glyph(3, 0, 200, 2, 0);  // columns 3-5 of rows 0-1 exist
  QVRChar partlyBelow = Glyph(0, 2, 2, 255, 0);  // only row 2 exists
  QVRChar outside = Glyph(60000, 0, 9, 3, 0);    // no column exists
  font.SetLastChar('E');
  font.SetChar('C', &partlyRight);
  font.SetChar('D', &partlyBelow);
  font.SetChar('E', &outside);
  QVRFont loaded;
  ASSERT_TRUE(LoadBytes(loaded, Saved(font)));
  EXPECT_EQ(loaded.GetChar('C')->width, 200);

  for (unsigned bpp : {8u, 32u}) {
    SCOPED_TRACE(bpp);
    // 'C' on baseline 6: rows 5-6 from sheet rows 0-1 (2 2 0 / 0 3 0).
    EXPECT_EQ(DrawnOn(300, 300, bpp, [&](QVRImage& i) { i.DrawText(0, 6, "C", 1, &loaded); }),
              (PixelSet{{0, 5}, {1, 5}, {1, 6}}));
    // 'D' 255 rows tall with its bottom on row 260: only its top row exists.
    EXPECT_EQ(DrawnOn(300, 300, bpp, [&](QVRImage& i) { i.DrawText(0, 260, "D", 1, &loaded); }),
              (PixelSet{{1, 6}}));
    // 'E' draws nothing and moves the pen by 9 + 1 before 'A'.
    EXPECT_EQ(DrawnOn(300, 300, bpp, [&](QVRImage& i) { i.DrawText(0, 6, "EA", 1, &loaded); }),
              (PixelSet{{10, 4}, {10, 5}, {11, 5}, {11, 6}}));
  }
  // A font without a sheet draws nothing but still measures.
  QVRFont bare("Bare", 'A', 'A');
  QVRChar a = Glyph(0, 0, 2, 3, 0);
  bare.SetChar('A', &a);
  EXPECT_TRUE(DrawnOn(10, 8, 8, [&](QVRImage& i) { i.DrawText(0, 4, "AAA", 1, &bare); }).empty());
  EXPECT_EQ(bare.TextWidth("AAA"), 6u);
}

TEST(Font, PrintInfoReport) {
  QVRFont font;
  DefineTestFont(font);
  LogCapture log(qvrtest::kAllLevels);
  QVRFont().PrintInfo(true);
  font.PrintInfo(true);
  EXPECT_EQ(log.Text(),
            "Font not defined\n"
            "Font name       : Test\nFirst char      : 65 [A]\nLast char       : 67 [C]\n"
            "  Total         : 3\nChar spacing    : 1\nWhite char size : 2\n"
            "Ascent          : 3\nDescent         : 1\nFormat (bpp)    : 8\n"
            "------------------- Characters :\n"
            "Char 65 [A] :   0   0   2   3 0\n"
            "Char 66 [B] :   2   0   3   2 1\n"
            "Char 67 [C] :   0   0   0   0 0\n");
}

}  // namespace
