// Drawing primitives at every depth against hand-computed pixel sets, at the
// clip edges and in XOR mode.
#include <gtest/gtest.h>

#include "image_helpers.h"
#include "qvr3d/image.h"

using namespace qvrtest;

namespace {

// Clip rectangle used by the clipping tests: columns 2-9, rows 3-12.
void Clip(QVRImage& img) { img.SetClipping(2, 3, 9, 12); }

}  // namespace

TEST(ImageDraw, RunsAreCutAtTheClipEdges) {
  ExpectDrawn(16, 16, Join(RowSpan(3, 2, 4), RowSpan(12, 8, 9)), [](QVRImage& img, uint32_t c) {
    Clip(img);
    img.HLine(0, 3, 5, c);    // starts left of the clip: shortened, not shifted
    img.HLine(8, 12, 10, c);  // runs past the right edge
    img.HLine(-5, 5, 3, c);   // wholly left
    img.HLine(4, 2, 3, c);    // above
    img.HLine(4, 13, 3, c);   // below
    img.HLine(4, 6, 0, c);    // empty
    img.HLine(10, 6, 3, c);   // right of the clip
  });
  PixelSet column = {{2, 10}, {2, 11}, {2, 12}, {9, 3}, {9, 4}};
  ExpectDrawn(16, 16, column, [](QVRImage& img, uint32_t c) {
    Clip(img);
    img.VLine(2, 10, 100, c);
    img.VLine(9, -3, 8, c);
    img.VLine(1, 5, 3, c);
    img.VLine(10, 5, 3, c);
    img.VLine(5, 5, 0, c);
    img.VLine(5, 13, 4, c);
  });
}

TEST(ImageDraw, LineIncludesBothEndsAndClipsPointByPoint) {
  PixelSet shallow = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}};
  ExpectDrawn(8, 8, shallow, [](QVRImage& img, uint32_t c) { img.Line(0, 0, 5, 2, c); });
  // The same line drawn backwards steps the other way from its start.
  PixelSet reversed = {{5, 2}, {4, 2}, {3, 1}, {2, 1}, {1, 0}, {0, 0}};
  ExpectDrawn(8, 8, reversed, [](QVRImage& img, uint32_t c) { img.Line(5, 2, 0, 0, c); });
  PixelSet steep = {{1, 1}, {1, 2}, {2, 3}, {2, 4}};
  ExpectDrawn(8, 8, steep, [](QVRImage& img, uint32_t c) { img.Line(1, 1, 2, 4, c); });
  ExpectDrawn(16, 16, {{2, 3}, {3, 3}}, [](QVRImage& img, uint32_t c) {
    Clip(img);
    img.Line(-2, 3, 3, 3, c);
    img.Line(0, 0, 15, 0, c);  // wholly above the clip
  });
  ExpectDrawn(4, 4, {{1, 1}}, [](QVRImage& img, uint32_t c) { img.Line(1, 1, 1, 1, c); });
}

TEST(ImageDraw, FrameTouchesEachPixelOnceAndThinFramesCancelInXor) {
  PixelSet frame = Join(Join(RowSpan(1, 1, 4), RowSpan(3, 1, 4)), {{1, 2}, {4, 2}});
  ExpectDrawn(8, 8, frame, [](QVRImage& img, uint32_t c) { img.Frame(1, 1, 4, 3, c); });
  ExpectDrawn(
      8, 8, frame, [](QVRImage& img, uint32_t c) { img.Frame(1, 1, 4, 3, c, QVRImage::DRAW_XOR); },
      true);
  // Height 1: the top and bottom runs coincide and cancel.
  ExpectDrawn(8, 8, {},
              [](QVRImage& img, uint32_t c) { img.Frame(1, 2, 5, 1, c, QVRImage::DRAW_XOR); });
  // Width 1: the two sides cancel, the corners stay.
  ExpectDrawn(
      8, 8, {{2, 2}, {2, 5}},
      [](QVRImage& img, uint32_t c) { img.Frame(2, 2, 1, 4, c, QVRImage::DRAW_XOR); }, true);
  ExpectDrawn(8, 8, Join(RowSpan(1, 1, 3), RowSpan(2, 1, 3)),
              [](QVRImage& img, uint32_t c) { img.Frame(1, 1, 3, 2, c); });
  ExpectDrawn(8, 8, {}, [](QVRImage& img, uint32_t c) { img.Frame(1, 1, 0, 5, c); });
}

TEST(ImageDraw, XorInvertsAboveEightBitsAndAppliesTheIndexAtEight) {
  for (unsigned bpp : kDepths) {
    SCOPED_TRACE(bpp);
    QVRImage img = Blank(4, 4, bpp);
    img.Rectangle(0, 0, 4, 4, TestColour(bpp));
    img.HLine(1, 1, 2, 0x0F, QVRImage::DRAW_XOR);
    uint32_t base = Stored(bpp, TestColour(bpp));
    uint32_t mask = bpp == 8 ? 0x0F : bpp == 24 ? 0xFFFFFF : bpp == 32 ? 0xFFFFFFFF : 0xFFFF;
    EXPECT_EQ(img.GetPixel(1, 1), base ^ mask);
    EXPECT_EQ(img.GetPixel(2, 1), base ^ mask);
    EXPECT_EQ(img.GetPixel(0, 1), base);
    // XOR twice restores the block; a rectangle of colour 0 uses the zero fill.
    img.Rectangle(0, 0, 4, 4, 0x33, QVRImage::DRAW_XOR);
    img.Rectangle(0, 0, 4, 4, 0x33, QVRImage::DRAW_XOR);
    EXPECT_EQ(img.GetPixel(3, 3), base);
    img.Rectangle(1, 1, 2, 2, 0);
    EXPECT_EQ(Changed(img).size(), 12u);
  }
}

TEST(ImageDraw, RectangleIsClippedOnBothAxes) {
  PixelSet block;
  for (int y = 3; y <= 5; ++y) block = Join(block, RowSpan(y, 7, 9));
  ExpectDrawn(16, 16, block, [](QVRImage& img, uint32_t c) {
    Clip(img);
    img.Rectangle(7, -4, 20, 10, c);
    img.Rectangle(-10, 13, 30, 2, c);
    img.Rectangle(5, 5, 0, 4, c);
  });
  // Full-width rectangles take the whole-block path.
  PixelSet rows = Join(RowSpan(1, 0, 5), RowSpan(2, 0, 5));
  ExpectDrawn(6, 4, rows, [](QVRImage& img, uint32_t c) { img.Rectangle(-1, 1, 8, 2, c); });
}

TEST(ImageDraw, GradientShadesTheVisiblePart) {
  // 8 bits, top to bottom 0 -> 9 over 10 rows: one index per row.
  QVRImage img = Blank(3, 10, 8);
  img.Gradient(0, 0, 3, 10, 0, 9, 0);
  for (int y = 0; y < 10; ++y) EXPECT_EQ(img.GetPixel(1, y), unsigned(y));
  // Clipped to its lower half the shading still runs from colour 1 to 2.
  img.SetClipping(0, 5, 2, 9);
  img.Gradient(0, 0, 3, 10, 100, 104, 0);
  for (int y = 5; y < 10; ++y) EXPECT_EQ(img.GetPixel(0, y), unsigned(100 + y - 5));
  EXPECT_EQ(img.GetPixel(0, 4), 4u);

  // Deeper images: three bytes interpolated apart, 0xFF on top. Columns of
  // 0x102030 -> 0x112233 give bytes 30 31 32 33, 20 21 21 22, 10 10 11 11.
  const uint32_t expect32[] = {0xFF102030, 0xFF102131, 0xFF112132, 0xFF112233};
  for (unsigned bpp : {15u, 16u, 24u, 32u}) {
    SCOPED_TRACE(bpp);
    QVRImage deep = Blank(4, 3, bpp);
    deep.Gradient(0, 0, 4, 3, 0x00102030, 0x00112233, 1);
    for (int x = 0; x < 4; ++x)
      for (int y = 0; y < 3; ++y) EXPECT_EQ(deep.GetPixel(x, y), Stored(bpp, expect32[x]));
  }

  for (unsigned bpp : kDepths) {
    SCOPED_TRACE(bpp);
    QVRImage g = Blank(4, 4, bpp);
    g.Gradient(0, 0, 4, 4, 1, 2, 0, QVRImage::DRAW_XOR);  // different colours in XOR
    g.Gradient(0, 0, 4, 4, 1, 2, 2);                      // unknown direction
    EXPECT_TRUE(Changed(g).empty());
    g.Gradient(0, 0, 2, 2, 7, 7, 2, QVRImage::DRAW_XOR);  // equal colours: a rectangle
    EXPECT_EQ(Changed(g).size(), 4u);
    // A single visible row gets colour 1 itself.
    g.Gradient(0, 3, 4, 1, TestColour(bpp), 1, 0);
    EXPECT_EQ(g.GetPixel(2, 3), Stored(bpp, TestColour(bpp)));
  }
}

TEST(ImageDraw, CircleAndDiskFollowTheMidpointRules) {
  PixelSet circle = {{10, 13}, {10, 7}, {13, 10}, {7, 10}, {11, 13}, {9, 13}, {11, 7}, {9, 7},
                     {13, 11}, {13, 9}, {7, 11},  {7, 9},  {12, 12}, {8, 12}, {12, 8}, {8, 8}};
  ExpectDrawn(20, 20, circle, [](QVRImage& img, uint32_t c) { img.Circle(10, 10, 3, c); });
  // XOR draws the same set: no pixel is touched twice.
  ExpectDrawn(
      20, 20, circle,
      [](QVRImage& img, uint32_t c) { img.Circle(10, 10, 3, c, QVRImage::DRAW_XOR); }, true);
  PixelSet disk = Join(
      Join(Join(RowSpan(7, 9, 10), RowSpan(8, 8, 11)), Join(RowSpan(9, 7, 12), RowSpan(10, 7, 12))),
      Join(Join(RowSpan(11, 7, 12), RowSpan(12, 8, 11)), RowSpan(13, 9, 10)));
  ExpectDrawn(20, 20, disk, [](QVRImage& img, uint32_t c) { img.Disk(10, 10, 3, c); });
  ExpectDrawn(
      20, 20, disk, [](QVRImage& img, uint32_t c) { img.Disk(10, 10, 3, c, QVRImage::DRAW_XOR); },
      true);
  ExpectDrawn(20, 20, {{4, 4}}, [](QVRImage& img, uint32_t c) {
    img.Circle(4, 4, 0, c);
    img.Disk(4, 4, 0, c);
    img.Circle(4, 4, -2, c);
  });
  // Clipped: only the part inside columns 2-9, rows 3-12 of the disk at (3, 4).
  PixelSet clipped;
  for (auto& p : disk)
    if (p.first - 7 >= 2 && p.first - 7 <= 9 && p.second - 6 >= 3 && p.second - 6 <= 12)
      clipped.insert({p.first - 7, p.second - 6});
  ExpectDrawn(16, 16, clipped, [](QVRImage& img, uint32_t c) {
    Clip(img);
    img.Disk(3, 4, 3, c);
  });
}

TEST(ImageDraw, NothingHappensOnEmptyImagesOrUnusualDepths) {
  QVRImage empty;
  empty.HLine(0, 0, 10, 1);
  empty.Rectangle(0, 0, 10, 10, 1);
  empty.Circle(0, 0, 5, 1);
  EXPECT_EQ(empty.GetPixel(0, 0), 0u);
  // A 1-bit image keeps one byte per pixel and never gets wider stores.
  QVRImage narrow = Blank(3, 2, 1);
  narrow.Rectangle(0, 0, 3, 2, 0xFFFF);
  narrow.Line(0, 0, 2, 1, 0xFFFF);
  for (unsigned i = 0; i < 6; ++i) EXPECT_EQ(narrow.GetPixels()[i], 0xFF);
  // Large radii and lengths are clipped without overflow.
  QVRImage img = Blank(8, 8, 32);
  img.Disk(4, 4, 100000, 1);
  img.HLine(-0x7FFFFFFF, 2, 0xFFFFFFFFu, 2);
  EXPECT_EQ(Changed(img).size(), 64u);
  EXPECT_EQ(img.GetPixel(7, 2), 2u);
}
