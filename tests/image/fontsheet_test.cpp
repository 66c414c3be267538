// Font-sheet reader tests: sheets of files written by QVRFont at depths 1, 2
// and 8, hand-built deep sheets, and the refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/log_capture.h"
#include "qvr3d/core.h"
#include "qvr3d/font.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace {

bool LoadBytes(QVRImage& img, std::string bytes, int format = QVRImage::IMG_FONT) {
  QVRMemFile in(unsigned(bytes.size()), QVRResFile::READ,
                reinterpret_cast<unsigned char*>(&bytes[0]));
  return img.Load(in, format);
}

// The font file QVRFont writes for an odd-sized sheet of values below 2^depth.
std::string SavedFont(unsigned depth, QVRImage& sheet) {
  for (unsigned y = 0; y < sheet.GetHeight(); ++y)
    for (unsigned x = 0; x < sheet.GetWidth(); ++x)
      sheet.GetPixels()[y * sheet.GetPitch() + x] = uint8_t((x * 7 + y * 3) & ((1u << depth) - 1));
  QVRFont font("Sheet", 'A', 'C', &sheet, uint8_t(depth));
  QVRMemFile out(1 << 16, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  EXPECT_TRUE(font.Save(out, 0));
  // Save ends back in the header, so the whole block is handed on.
  return std::string(reinterpret_cast<const char*>(out.GetData()), 1 << 16);
}

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char(v >> (8 * i));
}

// A version-2 header pointing at a sheet block right after it.
std::string DeepFont(uint32_t width, uint32_t height, unsigned depth, const std::string& data) {
  std::string s = "QVRF\x02";
  Put32(s, 17);
  Put32(s, 17);
  Put32(s, 17);
  Put32(s, width);
  Put32(s, height);
  s += char(depth);
  return s + data;
}

std::vector<int> EntryOf(const QVRImage& img, unsigned i) {
  const uint8_t* e = img.GetPalette()->Entry(i);
  return std::vector<int>(e, e + 4);
}

TEST(FontSheet, SheetsOfSavedFonts) {
  for (unsigned depth : {1u, 2u, 8u}) {
    SCOPED_TRACE(depth);
    QVRImage sheet(13, 5, 8);
    const std::string file = SavedFont(depth, sheet);
    QVRImage img;
    ASSERT_TRUE(LoadBytes(img, file, QVRImage::IMG_AUTO));
    EXPECT_EQ(img.GetWidth(), 13u);
    EXPECT_EQ(img.GetHeight(), 5u);
    EXPECT_EQ(img.GetBpp(), 8u);
    EXPECT_EQ(std::memcmp(img.GetPixels(), sheet.GetPixels(), 13 * 5), 0);
    ASSERT_NE(img.GetPalette(), nullptr);
    if (depth == 1) {
      EXPECT_EQ(img.GetPalette()->GetCount(), 2u);
      EXPECT_EQ(EntryOf(img, 1), (std::vector<int>{255, 255, 255, 0}));
    } else if (depth == 2) {
      EXPECT_EQ(img.GetPalette()->GetCount(), 4u);
      EXPECT_EQ(EntryOf(img, 1), (std::vector<int>{0x55, 0x55, 0x55, 0}));
      EXPECT_EQ(EntryOf(img, 3), (std::vector<int>{0xFF, 0xFF, 0xFF, 0}));
    } else {
      EXPECT_EQ(img.GetPalette()->GetCount(), 256u);
      EXPECT_EQ(EntryOf(img, 200), (std::vector<int>{200, 200, 200, 0}));
    }
  }
  // A larger palette in place still ends as the 256 grey levels.
  QVRImage sheet(4, 4, 8);
  const std::string file = SavedFont(8, sheet);
  QVRImage img(1, 1, 8);
  QVRPal big(300);
  img.SetPalette(&big, 0, 300);
  ASSERT_TRUE(LoadBytes(img, file));
  EXPECT_EQ(img.GetPalette()->GetCount(), 256u);
  EXPECT_EQ(EntryOf(img, 255), (std::vector<int>{255, 255, 255, 0}));
}

TEST(FontSheet, DeepSheetsAndRefusals) {
  const std::string rgb = "\x01\x02\x03\x04\x05\x06";
  QVRImage img(2, 2, 8);
  QVRPal pal(3);
  img.SetPalette(&pal, 0, 3);
  ASSERT_TRUE(LoadBytes(img, DeepFont(2, 1, 24, rgb)));
  EXPECT_EQ(img.GetBpp(), 24u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(img.GetPixels()), 6), rgb);
  ASSERT_TRUE(LoadBytes(img, DeepFont(1, 2, 32, "\x01\x02\x03\x04\x05\x06\x07\x08")));
  EXPECT_EQ(img.GetBpp(), 32u);
  EXPECT_EQ(img.GetPixels()[7], 8);
  EXPECT_EQ(img.GetPalette()->GetCount(), 3u);  // deep sheets leave the palette alone

  const unsigned level = QVR::GetLogLevel();
  QVR::SetLogLevel(255);
  qvrtest::LogCapture log;
  std::string v1 = DeepFont(2, 1, 24, rgb);
  v1[4] = 1;
  EXPECT_FALSE(LoadBytes(img, v1));
  EXPECT_FALSE(LoadBytes(img, "QVRX" + v1.substr(4)));
  EXPECT_FALSE(LoadBytes(img, DeepFont(2, 1, 24, rgb).substr(0, 20)));
  // Another depth drops the pixels; sizes the stream cannot hold are refused
  // before anything is allocated; an offset beyond the stream fails.
  EXPECT_FALSE(LoadBytes(img, DeepFont(2, 1, 16, rgb)));
  EXPECT_EQ(img.GetPixels(), nullptr);
  EXPECT_FALSE(LoadBytes(img, DeepFont(32767, 32767, 32, rgb)));
  EXPECT_FALSE(LoadBytes(img, DeepFont(0xFFFFFFFF, 0xFFFFFFFF, 1, rgb)));
  EXPECT_FALSE(LoadBytes(img, DeepFont(3, 1, 24, rgb)));
  std::string far = DeepFont(2, 1, 24, rgb);
  far[13] = char(0x70);
  EXPECT_FALSE(LoadBytes(img, far));
  EXPECT_EQ(log.Text(), "Font: unknown format version 1\n");
  QVR::SetLogLevel(level);
}

}  // namespace
