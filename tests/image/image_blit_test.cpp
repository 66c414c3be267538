// Block copies: clipping of CopyImage, the key rules of TCopyImage at every
// pixel size (vector and tail paths), and overlapping MoveInside.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image_helpers.h"
#include "qvr3d/image.h"

using namespace qvrtest;

namespace {

// An image whose bytes all differ from their neighbours and from zero.
QVRImage Pattern(unsigned w, unsigned h, unsigned bpp, unsigned seed = 1) {
  QVRImage img(w, h, bpp);
  uint8_t* p = img.GetPixels();
  for (size_t i = 0; i < size_t(img.GetPitch()) * h; ++i) p[i] = uint8_t(i * 7 + seed * 13 + 1);
  return img;
}

}  // namespace

TEST(ImageBlit, CopyImageClipsSourceAndDestination) {
  for (unsigned bpp : kDepths) {
    SCOPED_TRACE(bpp);
    QVRImage src = Pattern(8, 8, bpp);
    QVRImage dst = Blank(16, 16, bpp);
    dst.SetClipping(2, 2, 9, 9);
    // Left of and above the clip: the source is entered by the amount cut.
    dst.CopyImage(-1, 0, &src, 0, 0, 8, 8);
    // Past the source's right edge and the clip's bottom edge.
    dst.CopyImage(8, 8, &src, 5, 6, 10, 10);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        uint32_t want = 0;
        if (x >= 2 && x <= 6 && y >= 2 && y <= 7) want = src.GetPixel(x + 1, y);
        if (x >= 8 && x <= 9 && y >= 8 && y <= 9) want = src.GetPixel(x - 3, y - 2);
        ASSERT_EQ(dst.GetPixel(x, y), want) << x << "," << y;
      }
    // Refused: negative or outside source corner, another depth, no source.
    QVRImage before(&dst);
    dst.CopyImage(3, 3, &src, -1, 0, 4, 4);
    dst.CopyImage(3, 3, &src, 8, 0, 4, 4);
    dst.CopyImage(10, 3, &src, 0, 0, 4, 4);
    dst.CopyImage(-8, 3, &src, 0, 0, 4, 4);  // wholly left of the clip
    QVRImage other = Pattern(8, 8, bpp == 8 ? 16 : 8);
    dst.CopyImage(3, 3, &other, 0, 0, 4, 4);
    dst.CopyImage(3, 3, nullptr, 0, 0, 4, 4);
    EXPECT_EQ(std::memcmp(before.GetPixels(), dst.GetPixels(), dst.GetPitch() * 16), 0);
  }
}

TEST(ImageBlit, TCopyImageSkipsKeyedPixelsAtEveryWidth) {
  // Widths that exercise whole vectors and the scalar tail.
  for (unsigned bpp : kDepths) {
    for (unsigned w : {1u, 7u, 33u, 77u}) {
      SCOPED_TRACE(testing::Message() << bpp << " bpp, width " << w);
      QVRImage src = Pattern(w, 3, bpp);
      unsigned Bpp = src.GetBytesPerPixel();
      // Every third pixel becomes the key colour.
      uint32_t key = bpp == 8 ? 0xAB : bpp == 24 ? 0xC0FFEE : bpp == 32 ? 0xDEADBEEF : 0xBEEF;
      for (unsigned y = 0; y < 3; ++y)
        for (unsigned x = 0; x < w; x += 3)
          for (unsigned b = 0; b < Bpp; ++b)
            src.GetPixels()[y * src.GetPitch() + x * Bpp + b] = uint8_t(key >> (8 * b));
      // Other pixels that happen to hold the key are moved off it.
      for (unsigned y = 0; y < 3; ++y)
        for (unsigned x = 0; x < w; ++x)
          if (x % 3 != 0 && bpp == 8 && src.GetPixel(x, y) == key)
            src.GetPixels()[y * src.GetPitch() + x] ^= 1;
      QVRImage dst = Pattern(w + 2, 4, bpp, 9);
      QVRImage before(&dst);
      // Bits above the pixel size are ignored for 8 and 16 bits.
      uint32_t passed = bpp <= 16 ? key | 0xAB0000 : key;
      dst.TCopyImage(1, 1, passed, &src, 0, 0, w, 3);
      for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < w + 2; ++x) {
          bool inside = x >= 1 && x <= w && y >= 1;
          bool keyed = inside && (x - 1) % 3 == 0;
          uint32_t want = inside && !keyed ? src.GetPixel(x - 1, y - 1) : before.GetPixel(x, y);
          ASSERT_EQ(dst.GetPixel(x, y), want) << x << "," << y;
        }
    }
  }
}

TEST(ImageBlit, TCopyImageCompares24BitPixelsByTheirOwnBytes) {
  QVRImage src = Blank(3, 1, 24);
  uint8_t* p = src.GetPixels();
  const uint8_t bytes[9] = {0xFF, 0x00, 0xFF, 0xFF, 0x00, 0xFE, 1, 2, 3};
  std::memcpy(p, bytes, 9);
  QVRImage dst = Blank(3, 1, 24);
  dst.TCopyImage(0, 0, (0xFFu << 16) | 0xFF, &src, 0, 0, 3, 1);
  EXPECT_EQ(dst.GetPixel(0, 0), 0u);
  EXPECT_EQ(dst.GetPixel(1, 0), src.GetPixel(1, 0));
  EXPECT_EQ(dst.GetPixel(2, 0), src.GetPixel(2, 0));
  // A key with a bit above 23 never matches.
  QVRImage all = Blank(3, 1, 24);
  all.TCopyImage(0, 0, 0x01FF00FF, &src, 0, 0, 3, 1);
  EXPECT_EQ(std::memcmp(all.GetPixels(), bytes, 9), 0);
}

TEST(ImageBlit, MoveInsideMatchesACopyThroughATemporary) {
  struct Move {
    int sx, sy, dx, dy;
  };
  for (unsigned bpp : kDepths) {
    for (Move m : {Move{0, 0, 2, 1}, Move{2, 1, 0, 0}, Move{1, 3, 3, 3}, Move{3, 3, 1, 3},
                   Move{0, 2, 0, 0}, Move{5, 5, -2, -1}}) {
      SCOPED_TRACE(testing::Message()
                   << bpp << " bpp, " << m.sx << "," << m.sy << " -> " << m.dx << "," << m.dy);
      QVRImage img = Pattern(12, 10, bpp);
      QVRImage temp(&img);
      QVRImage want(&img);
      want.CopyImage(m.dx, m.dy, &temp, m.sx, m.sy, 6, 5);
      img.MoveInside(m.sx, m.sy, 6, 5, m.dx, m.dy);
      EXPECT_EQ(std::memcmp(img.GetPixels(), want.GetPixels(), img.GetPitch() * 10), 0);
      // CopyImage and TCopyImage from the image itself behave alike.
      QVRImage self = Pattern(12, 10, bpp);
      self.CopyImage(m.dx, m.dy, &self, m.sx, m.sy, 6, 5);
      EXPECT_EQ(std::memcmp(self.GetPixels(), want.GetPixels(), img.GetPitch() * 10), 0);
      QVRImage keyed = Pattern(12, 10, bpp);
      QVRImage wantKeyed = Pattern(12, 10, bpp);
      wantKeyed.TCopyImage(m.dx, m.dy, 0x1D, &temp, m.sx, m.sy, 6, 5);
      keyed.TCopyImage(m.dx, m.dy, 0x1D, &keyed, m.sx, m.sy, 6, 5);
      EXPECT_EQ(std::memcmp(keyed.GetPixels(), wantKeyed.GetPixels(), img.GetPitch() * 10), 0);
    }
  }
  QVRImage img = Pattern(4, 4, 8);
  QVRImage before(&img);
  img.MoveInside(4, 0, 2, 2, 0, 0);
  img.MoveInside(0, 0, 2, 2, 4, 0);
  EXPECT_EQ(std::memcmp(img.GetPixels(), before.GetPixels(), 16), 0);
}
