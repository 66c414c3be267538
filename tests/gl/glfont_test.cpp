// Q3DFont without a context: loading (texture coordinates over the padded
// sheet, the signed glyph descent, the version rule, the refusals of bad
// ranges and short files), measures, the memory count and the report.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/tmpdir.h"
#include "gl/gl_helpers.h"
#include "qvr3d/font.h"
#include "qvr3d/glfont.h"
#include "qvr3d/stream.h"
#include "qvr3d/texmgr.h"

namespace {

using qvrtest::AllLog;
using qvrtest::FontBytes;
using qvrtest::Glyph;

bool LoadBytes(Q3DFont& font, const std::string& bytes, int type = 0) {
  QVRMemFile in(unsigned(bytes.size()), QVRResFile::READ,
                reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())));
  return font.Load(in, type);
}

// A 200 x 60 depth-8 sheet (texture 256 x 64) for 'a' .. 'c': 'a' 5 x 7 at
// (0, 0), 'b' 8 x 12 at (100, 10) with descent `descentB`, 'c' no glyph.
std::string SampleFont(int descentB = 3) {
  QVRImage sheet(200, 60, 8);
  std::memset(sheet.GetPixels(), 0, 200 * 60);
  QVRFont font("Sample", 'a', 'c', &sheet, 8);
  QVRChar a = Glyph(0, 0, 5, 7, 0), b = Glyph(100, 10, 8, 12, descentB);
  font.SetChar('a', &a);
  font.SetChar('b', &b);
  font.SetAscent(10);
  font.SetDescent(4);
  font.SetSpacing(1);
  font.SetWhiteSize(4);
  return FontBytes(font);
}

TEST(Q3DFontLoad, TextureCoordinatesOverThePaddedSheet) {
  Q3DFont font;
  ASSERT_TRUE(LoadBytes(font, SampleFont()));
  EXPECT_STREQ(font.GetName(), "Sample");
  EXPECT_EQ(font.GetFirstChar(), unsigned('a'));
  EXPECT_EQ(font.GetLastChar(), unsigned('c'));
  EXPECT_EQ(font.GetAscent(), 10);
  EXPECT_EQ(font.GetDescent(), 4);
  EXPECT_EQ(font.GetSpacing(), 1u);
  EXPECT_EQ(font.GetWhiteSize(), 4u);
  // 200 x 60 -> 256 x 64.
  const Q3DChar* b = font.GetChar('b');
  ASSERT_NE(b, nullptr);
  EXPECT_FLOAT_EQ(b->uLeft, 0.390625f);
  EXPECT_FLOAT_EQ(b->vTop, 0.15625f);
  EXPECT_FLOAT_EQ(b->uRight, 0.421875f);
  EXPECT_FLOAT_EQ(b->vBottom, 0.34375f);
  EXPECT_EQ(b->width, 8);
  EXPECT_EQ(b->height, 12);
  EXPECT_EQ(b->below, 3);
  EXPECT_EQ(b->above, 9);
  EXPECT_EQ(font.GetChar('d'), nullptr);
  EXPECT_EQ(font.GetChar('`'), nullptr);
  EXPECT_EQ(font.GetTexture(), nullptr);
}

TEST(Q3DFontLoad, TextureSidesStartAtTwo) {
  QVRImage sheet(1, 3, 8);
  std::memset(sheet.GetPixels(), 1, 3);
  QVRFont f("Tiny", 'x', 'x', &sheet, 8);
  QVRChar g = Glyph(0, 0, 1, 3, 0);
  f.SetChar('x', &g);
  Q3DFont font;
  ASSERT_TRUE(LoadBytes(font, FontBytes(f)));
  EXPECT_FLOAT_EQ(font.GetChar('x')->uRight, 0.5f);    // 1 / 2
  EXPECT_FLOAT_EQ(font.GetChar('x')->vBottom, 0.75f);  // 3 / 4
}

TEST(Q3DFontLoad, DescentIsTheSignedSixteenBitFieldKeptInEightBits) {
  Q3DFont font;
  ASSERT_TRUE(LoadBytes(font, SampleFont(-2)));
  EXPECT_EQ(font.GetChar('b')->below, -2);
  EXPECT_EQ(font.GetChar('b')->above, 14);
  // Beyond the 8-bit field: kept at its limit, not wrapped.
  ASSERT_TRUE(LoadBytes(font, SampleFont(300)));
  EXPECT_EQ(font.GetChar('b')->below, 127);
  ASSERT_TRUE(LoadBytes(font, SampleFont(-300)));
  EXPECT_EQ(font.GetChar('b')->below, -128);
  EXPECT_EQ(font.GetChar('b')->above, 127);
}

TEST(Q3DFontLoad, OtherVersionsLoadAfterTheirLogLine) {
  std::string bytes = SampleFont();
  bytes[4] = 3;
  AllLog log;
  Q3DFont font;
  EXPECT_TRUE(LoadBytes(font, bytes));
  EXPECT_EQ(log.Text(), "3DFont: unknown format version 3\n");
  EXPECT_STREQ(font.GetName(), "Sample");
  EXPECT_EQ(font.GetChar('b')->width, 8);
}

TEST(Q3DFontLoad, BadMagicTypeOrStreamLeaveTheFontAsItWas) {
  Q3DFont font;
  ASSERT_TRUE(LoadBytes(font, SampleFont()));
  std::string bytes = SampleFont();
  bytes[0] = 'X';
  AllLog log;
  EXPECT_FALSE(LoadBytes(font, bytes));
  EXPECT_FALSE(LoadBytes(font, SampleFont(), 1));
  QVRFile closed;
  EXPECT_FALSE(font.Load(closed, 0));
  EXPECT_EQ(log.Text(), "");
  EXPECT_STREQ(font.GetName(), "Sample");
  EXPECT_NE(font.GetChar('b'), nullptr);
}

// Offsets inside the info block of SampleFont(): magic 4, version 1, three
// offsets of 4, then name length (1) and "Sample\0" (7): first at 25, last at
// 29.
constexpr size_t kFirstAt = 25, kLastAt = 29;

void Put32(std::string& bytes, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) bytes[at + k] = char(v >> (8 * k));
}

TEST(Q3DFontLoad, RefusesBadRangesBeforeAllocating) {
  Q3DFont font;
  ASSERT_TRUE(LoadBytes(font, SampleFont()));
  std::string bytes = SampleFont();
  Put32(bytes, kFirstAt, 'd');  // first > last
  {
    AllLog log;
    EXPECT_FALSE(LoadBytes(font, bytes));
    EXPECT_EQ(log.Text(), "3DFont: bad character range 100 - 99\n");
  }
  EXPECT_EQ(font.GetName(), nullptr);  // emptied, as a failed load does
  EXPECT_EQ(font.GetChar('b'), nullptr);
  bytes = SampleFont();
  Put32(bytes, kLastAt, 0xFFFFFFF0u);
  {
    AllLog log;
    EXPECT_FALSE(LoadBytes(font, bytes));
    EXPECT_EQ(log.Text(), "3DFont: bad character range 97 - 4294967280\n");
  }
  bytes = SampleFont();
  Put32(bytes, kLastAt, 256);
  EXPECT_FALSE(LoadBytes(font, bytes));
  EXPECT_EQ(font.GetFirstChar(), 0u);
  EXPECT_EQ(font.GetLastChar(), 0u);
}

TEST(Q3DFontLoad, RefusesEveryShortFile) {
  const std::string bytes = SampleFont();
  Q3DFont font;
  QVR::SetLogLevel(0);
  for (size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(LoadBytes(font, bytes.substr(0, size))) << size;
    EXPECT_EQ(font.GetName(), nullptr) << size;
  }
  QVR::SetLogLevel(100);
  EXPECT_TRUE(LoadBytes(font, bytes));
}

TEST(Q3DFontLoad, RefusesAnUnknownSheetDepth) {
  std::string bytes = SampleFont();
  const uint32_t sheetAt = uint8_t(bytes[13]) | uint8_t(bytes[14]) << 8;
  bytes[sheetAt + 8] = 4;
  AllLog log;
  Q3DFont font;
  EXPECT_FALSE(LoadBytes(font, bytes));
  EXPECT_EQ(log.Text(), "3DFont: bad sheet\n");
}

TEST(Q3DFontLoad, OffsetsCountFromWhereTheStreamStood) {
  const std::string bytes = "junk!" + SampleFont();
  QVRMemFile in(unsigned(bytes.size()), QVRResFile::READ,
                reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())));
  ASSERT_TRUE(in.Seek(5, 0));
  Q3DFont font;
  ASSERT_TRUE(font.Load(in, 0));
  EXPECT_EQ(font.GetChar('b')->width, 8);
}

TEST(Q3DFontLoad, NameConstructorReadsTheDiskFile) {
  qvrtest::TempDir dir;
  ASSERT_TRUE(qvrtest::WriteAll(dir / "sample.fnt", SampleFont()));
  Q3DFont font((dir / "sample.fnt").c_str());
  EXPECT_STREQ(font.GetName(), "Sample");
  AllLog log;
  Q3DFont missing((dir / "none.fnt").c_str());
  EXPECT_EQ(missing.GetName(), nullptr);
  ASSERT_TRUE(qvrtest::WriteAll(dir / "bad.fnt", "QVRX"));
  Q3DFont bad((dir / "bad.fnt").c_str());
  EXPECT_EQ(bad.GetName(), nullptr);
  const std::string text = log.Text();
  EXPECT_NE(text.find("Bad font file " + (dir / "none.fnt") + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Bad font file " + (dir / "bad.fnt") + "\n"), std::string::npos) << text;
}

TEST(Q3DFontLoad, LoadNameAndSave) {
  qvrtest::TempDir dir;
  ASSERT_TRUE(qvrtest::WriteAll(dir / "sample.fnt", SampleFont()));
  Q3DFont font;
  EXPECT_TRUE(font.LoadName((dir / "sample.fnt").c_str(), 0));
  QVRMemFile out(4096, QVRResFile::READWRITE);
  EXPECT_FALSE(font.Save(out, 0));
}

TEST(Q3DFontMeasure, WidthsAndSizes) {
  Q3DFont font;
  EXPECT_EQ(font.TextWidth("ab"), 0u);  // no font
  unsigned w = 1, h = 1;
  font.TextSize("ab", w, h);
  EXPECT_EQ(w, 0u);
  EXPECT_EQ(h, 0u);
  ASSERT_TRUE(LoadBytes(font, SampleFont()));
  EXPECT_EQ(font.TextWidth("ab"), 14u);  // 5 + spacing 1 + 8
}

TEST(Q3DFontMeasure, MeasuresOfTwoGlyphs) {
  QVRImage sheet(16, 8, 8);
  std::memset(sheet.GetPixels(), 0, 16 * 8);
  QVRFont f("M", 'a', 'c', &sheet, 8);
  QVRChar a = Glyph(0, 0, 5, 4, 1), b = Glyph(5, 0, 6, 7, -1);
  f.SetChar('a', &a);
  f.SetChar('b', &b);
  f.SetSpacing(1);
  f.SetWhiteSize(4);
  Q3DFont font;
  ASSERT_TRUE(LoadBytes(font, FontBytes(f)));
  EXPECT_EQ(font.TextWidth("ab"), 12u);
  EXPECT_EQ(font.TextWidth(" "), 4u);
  EXPECT_EQ(font.TextWidth(""), 0u);
  EXPECT_EQ(font.TextWidth(nullptr), 0u);
  EXPECT_EQ(font.TextWidth("ab", 0), 0u);
  EXPECT_EQ(font.TextWidth("abab", 1), 5u);
  // Codes out of range count their spacing; 'c' is in range with width 0.
  EXPECT_EQ(font.TextWidth("aZb"), 13u);
  EXPECT_EQ(font.TextWidth("acb"), 13u);
  EXPECT_EQ(font.CharWidth(' '), 4u);
  EXPECT_EQ(font.CharWidth('b'), 6u);
  EXPECT_EQ(font.CharWidth('z'), 0u);
  EXPECT_EQ(font.CharHeight('b'), 7u);
  EXPECT_EQ(font.CharHeight(' '), 0u);
  EXPECT_EQ(font.CharHeight('z'), 0u);
  unsigned w = 0, h = 0;
  // 'a': above 3, below 1; 'b': above 8, below -1 (counts as 0).
  font.TextSize("ab", w, h);
  EXPECT_EQ(w, 12u);
  EXPECT_EQ(h, 9u);
  font.TextSize("a", w, h);
  EXPECT_EQ(h, 4u);
  font.TextSize("   ", w, h);
  EXPECT_EQ(w, 14u);
  EXPECT_EQ(h, 0u);
  font.TextSize("ab", w, h, 0);
  EXPECT_EQ(w, 0u);
  EXPECT_EQ(h, 0u);
}

TEST(Q3DFontMeasure, MemoryUsedAndFree) {
  Q3DFont font;
  EXPECT_EQ(font.MemoryUsed(), unsigned(sizeof(Q3DFont)));
  ASSERT_TRUE(LoadBytes(font, SampleFont()));
  EXPECT_EQ(sizeof(Q3DChar), 20u);
  EXPECT_EQ(font.MemoryUsed(), unsigned(sizeof(Q3DFont)) + 3 * 20 + 6);  // "Sample"
  Q3DTexture tex{};
  font.SetTexture(&tex);
  font.Free();
  EXPECT_EQ(font.GetName(), nullptr);
  EXPECT_EQ(font.GetChar('a'), nullptr);
  EXPECT_EQ(font.GetAscent(), 0);
  EXPECT_EQ(font.GetWhiteSize(), 0u);
  EXPECT_EQ(font.GetTexture(), &tex);  // the texture pointer stays
}

TEST(Q3DFontReport, PrintInfoTexts) {
  Q3DFont font;
  {
    AllLog log;
    font.PrintInfo(true);
    EXPECT_EQ(log.Text(), "Font not defined\n");
  }
  ASSERT_TRUE(LoadBytes(font, SampleFont()));
  AllLog log;
  font.PrintInfo(true);
  EXPECT_EQ(log.Text(),
            "Font name       : Sample\n"
            "First char      : 97 [a]\n"
            "Last char       : 99 [c]\n"
            "  Total         : 3\n"
            "Char spacing    : 1\n"
            "White char size : 4\n"
            "Ascent          : 10\n"
            "Descent         : 4\n"
            "------------------- Characters :\n"
            "Char 97 [a] :   0   0   0   0   0\n"
            "Char 98 [b] :   0   0   0   0   3\n"
            "Char 99 [c] :   0   0   0   0   0\n");
}

TEST(Q3DFontReport, PrintInfoOfCodesOutsidePrintableRange) {
  QVRImage sheet(4, 4, 8);
  std::memset(sheet.GetPixels(), 0, 16);
  QVRFont f("Low", 5, 200, &sheet, 8);
  QVRChar g = Glyph(0, 0, 4, 4, 1);  // the whole sheet: coordinates 1.0
  f.SetChar(7, &g);
  Q3DFont font;
  ASSERT_TRUE(LoadBytes(font, FontBytes(f)));
  AllLog log;
  font.PrintInfo(false);
  EXPECT_EQ(log.Text(),
            "Font name       : Low\n"
            "First char      : 5\n"
            "Last char       : 200\n"
            "  Total         : 196\n"
            "Char spacing    : 0\n"
            "White char size : 0\n"
            "Ascent          : 0\n"
            "Descent         : 0\n");
  AllLog again;
  font.PrintInfo(true);
  const std::string text = again.Text();
  EXPECT_NE(text.find("Char 7 [ ] :   0   0   1   1   1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Char 200 [ ] :   0   0   0   0   0\n"), std::string::npos);
}

TEST(Q3DFontDraw, NothingWithoutTextureOrContext) {
  // Without a texture the drawing operations return before any OpenGL call,
  // so they are safe without a context.
  Q3DFont font;
  ASSERT_TRUE(LoadBytes(font, SampleFont()));
  font.DrawString(0, 0, "ab");
  font.DrawString("ab");
  font.DrawClipString(0, 0, 0, 100, "ab");
  SUCCEED();
}

}  // namespace
