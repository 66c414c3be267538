// The image model: construction and copies, clip rectangle, pixel reads,
// palettes, canvas and format changes, and refused load and save.
#include <gtest/gtest.h>

#include <cstring>

#include "image_helpers.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

using namespace qvrtest;

TEST(ImageModel, ConstructionSizesAndCopies) {
  QVRImage img(10, 4, 24);
  EXPECT_EQ(img.GetPitch(), 30u);
  EXPECT_NE(img.GetPixels(), nullptr);
  EXPECT_EQ(img.MemoryUsed(), 120u + sizeof(QVRImage));
  EXPECT_FALSE(img.IsClipping());
  QVRImage zero(0, 5, 16);
  EXPECT_EQ(zero.GetPixels(), nullptr);
  int x1, y1, x2, y2;
  zero.GetClipping(x1, y1, x2, y2);
  EXPECT_EQ(x2, 0);
  EXPECT_EQ(y2, 4);

  // Sizes whose buffer cannot be represented leave an empty image.
  QVRImage huge(0x10000000, 0x100, 32);
  EXPECT_EQ(huge.GetPixels(), nullptr);
  EXPECT_EQ(huge.GetWidth(), 0u);

  QVRImage src = Blank(3, 3, 8);
  src.HLine(0, 1, 3, 9);
  src.SetClipping(1, 1, 2, 2);
  QVRPal pal(4u);
  pal.SetEntry(3, 1, 2, 3, 4);
  src.SetPalette(&pal, 0, 4);
  QVRImage copy(&src);
  EXPECT_EQ(copy.GetPixel(2, 1), 9u);
  EXPECT_TRUE(copy.IsClipping());
  ASSERT_NE(copy.GetPalette(), nullptr);
  EXPECT_NE(copy.GetPalette(), src.GetPalette());
  EXPECT_EQ(copy.GetPalette()->Entry(3)[3], 4);
  QVRImage none(static_cast<const QVRImage*>(nullptr));
  EXPECT_EQ(none.GetPixels(), nullptr);
  EXPECT_EQ(none.GetBpp(), 0u);
}

TEST(ImageModel, ClippingRules) {
  QVRImage img(20, 10, 8);
  img.SetClipping(5, 5, 2, 2);
  int x1, y1, x2, y2;
  img.GetClipping(x1, y1, x2, y2);
  EXPECT_EQ(x1, 2);
  EXPECT_EQ(y1, 2);
  EXPECT_EQ(x2, 5);
  EXPECT_EQ(y2, 5);
  img.SetClipping(20, 0, 25, 5);  // starts beyond the image: ignored
  img.GetClipping(x1, y1, x2, y2);
  EXPECT_EQ(x1, 2);
  img.SetClipping(-4, -4, 100, 100);
  EXPECT_FALSE(img.IsClipping());
  img.SetClipping(1, 0, 19, 9);
  EXPECT_TRUE(img.IsClipping());
  img.StopClipping();
  EXPECT_FALSE(img.IsClipping());
  EXPECT_EQ(img.GetPixel(-1, 0), 0u);
  EXPECT_EQ(img.GetPixel(20, 0), 0u);

  // Beyond 32767 columns the clip rectangle stops at the last column the
  // 16-bit fields can name, so it never turns negative.
  QVRImage wide(40000, 1, 8);
  wide.GetClipping(x1, y1, x2, y2);
  EXPECT_EQ(x2, 32767);
  wide.SetClipping(33000, 0, 39999, 0);
  wide.GetClipping(x1, y1, x2, y2);
  EXPECT_EQ(x1, 0);
  wide.HLine(-30000, 0, 30010, 7);
  EXPECT_EQ(wide.GetPixel(9, 0), 7u);
}

TEST(ImageModel, PixelFormsOf24And32Bits) {
  QVRImage img = Blank(2, 1, 24);
  img.HLine(0, 0, 1, (0x12 << 16) | (0x34 << 8) | 0x56);
  const uint8_t* p = img.GetPixels();
  EXPECT_EQ(p[0], 0x56);
  EXPECT_EQ(p[1], 0x34);
  EXPECT_EQ(p[2], 0x12);
  EXPECT_EQ(img.GetPixel(0, 0), (0x56u << 16) | (0x34 << 8) | 0x12);
  QVRImage deep = Blank(1, 1, 32);
  deep.HLine(0, 0, 1, 0x89ABCDEF);
  EXPECT_EQ(deep.GetPixel(0, 0), 0x89ABCDEFu);
  QVRImage odd = Blank(2, 2, 12);
  EXPECT_EQ(odd.GetPitch(), 4u);
  odd.HLine(0, 0, 1, 0x1234);
  EXPECT_EQ(odd.GetPixel(0, 0), 0u);  // no GetPixel form for 12 bits
  EXPECT_EQ(odd.GetPixels()[0], 0x34);
}

TEST(ImageModel, PalettesOnlyOnEightBits) {
  QVRPal pal(3u);
  pal.SetEntry(0, 10, 20, 30, 40);
  pal.SetEntry(2, 1, 2, 3, 4);
  QVRImage deep(2, 2, 24);
  deep.SetPalette(&pal, 0, 3);
  EXPECT_EQ(deep.GetPalette(), nullptr);
  QVRImage hi(2, 2, 16);
  QVRPal* kept = new QVRPal(2u);
  hi.ReplacePalette(kept);
  EXPECT_EQ(hi.GetPalette(), nullptr);
  delete kept;

  QVRImage img(2, 2, 8);
  img.SetPalette(&pal, 2, 3);  // entries 3 and 4 are missing from pal: zero
  ASSERT_NE(img.GetPalette(), nullptr);
  EXPECT_EQ(img.GetPalette()->GetCount(), 5u);
  EXPECT_EQ(std::memcmp(img.GetPalette()->Entry(2), pal.Entry(2), 4), 0);
  const uint8_t zero[4] = {0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(img.GetPalette()->Entry(4), zero, 4), 0);
  img.SetPalette(&pal, 0, 1);  // smaller: no shrink
  EXPECT_EQ(img.GetPalette()->GetCount(), 5u);
  EXPECT_EQ(img.GetPalette()->Entry(0)[3], 40);
  img.SetPalette(&pal, 0xFFFFFFFF, 2);  // past the largest palette: nothing
  EXPECT_EQ(img.GetPalette()->GetCount(), QVRPal::MAX_ENTRIES);
  img.ReplacePalette(new QVRPal(7u));
  EXPECT_EQ(img.GetPalette()->GetCount(), 7u);
  img.ReplacePalette(nullptr);
  EXPECT_EQ(img.GetPalette(), nullptr);
}

TEST(ImageModel, VFlipResizeAndNewFormat) {
  for (unsigned bpp : kDepths) {
    SCOPED_TRACE(bpp);
    QVRImage img = Blank(3, 3, bpp);
    uint32_t c = TestColour(bpp), s = Stored(bpp, c);
    img.HLine(0, 0, 3, c);
    img.VFlip();
    EXPECT_EQ(Changed(img), RowSpan(2, 0, 2));

    img.SetClipping(1, 1, 1, 1);
    ASSERT_TRUE(img.Resize(5, 4));
    EXPECT_FALSE(img.IsClipping());
    EXPECT_EQ(img.GetPitch(), 5 * img.GetBytesPerPixel());
    EXPECT_EQ(Changed(img), RowSpan(2, 0, 2));
    EXPECT_EQ(img.GetPixel(2, 2), s);
    ASSERT_TRUE(img.Resize(2, 3));
    EXPECT_EQ(Changed(img), RowSpan(2, 0, 1));
    EXPECT_FALSE(img.Resize(0, 3));
    EXPECT_FALSE(img.Resize(0xFFFFFFFF, 0xFFFF));
    EXPECT_EQ(img.GetWidth(), 2u);

    uint8_t* before = img.GetPixels();
    EXPECT_TRUE(img.NewFormat(2, 3, bpp));  // nothing changes
    EXPECT_EQ(img.GetPixels(), before);
    EXPECT_EQ(img.GetPixel(1, 2), s);
    EXPECT_FALSE(img.NewFormat(2, 3, 12));
    EXPECT_FALSE(img.NewFormat(0x40000000, 0x40000000, 32));
    EXPECT_EQ(img.GetPixels(), before);
    EXPECT_TRUE(img.NewFormat(7, 2, bpp == 8 ? 32 : 8));
    EXPECT_EQ(img.GetPitch(), bpp == 8 ? 28u : 7u);
    EXPECT_TRUE(img.NewFormat(0, 2, 16));
    EXPECT_EQ(img.GetPixels(), nullptr);
    EXPECT_EQ(img.GetBpp(), 0u);
  }
  QVRImage empty;
  EXPECT_TRUE(empty.Resize(2, 2));  // adopts a new buffer
  EXPECT_NE(empty.GetPixels(), nullptr);
}

