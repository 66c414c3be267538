// Test helpers for QVRImage: run a check at every depth, list the pixels a
// primitive changed, and give the colour each depth stores for a test value.
#ifndef QVR_TESTS_IMAGE_HELPERS_H
#define QVR_TESTS_IMAGE_HELPERS_H

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>

#include "qvr3d/image.h"

namespace qvrtest {

constexpr unsigned kDepths[] = {8, 15, 16, 24, 32};

using PixelSet = std::set<std::pair<int, int>>;

// A colour value with distinct bytes in every channel the depth keeps.
inline uint32_t TestColour(unsigned bpp) {
  switch (bpp) {
    case 8:
      return 0x5A;
    case 15:
    case 16:
      return 0x1234;
    case 24:
      return 0x123456;
    default:
      return 0x12345678;
  }
}

// What GetPixel returns for a pixel drawn with `colour` at depth `bpp`.
inline uint32_t Stored(unsigned bpp, uint32_t colour) {
  switch (bpp) {
    case 8:
      return colour & 0xFF;
    case 15:
    case 16:
      return colour & 0xFFFF;
    case 24:
      return (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
    default:
      return colour;
  }
}

// A w x h image of `bpp` bits with every byte zero.
inline QVRImage Blank(unsigned w, unsigned h, unsigned bpp) {
  QVRImage img(w, h, bpp);
  std::memset(img.GetPixels(), 0, size_t(img.GetPitch()) * img.GetHeight());
  return img;
}

// Pixels that are not zero.
inline PixelSet Changed(const QVRImage& img) {
  PixelSet set;
  for (int y = 0; y < int(img.GetHeight()); ++y)
    for (int x = 0; x < int(img.GetWidth()); ++x)
      if (img.GetPixel(x, y) != 0) set.insert({x, y});
  return set;
}

// What a pixel of 0 becomes when drawn with `colour` in DRAW_XOR.
inline uint32_t XorOfZero(unsigned bpp, uint32_t colour) {
  switch (bpp) {
    case 8:
      return colour & 0xFF;
    case 24:
      return 0xFFFFFF;
    case 32:
      return 0xFFFFFFFF;
    default:
      return 0xFFFF;
  }
}

// Runs `draw` on a blank w x h image at every depth and expects exactly
// `expected` to change, each to the depth's test colour (or, with `xorMode`,
// to what XOR makes of a zero pixel).
template <class Draw>
void ExpectDrawn(unsigned w, unsigned h, const PixelSet& expected, Draw draw,
                 bool xorMode = false) {
  for (unsigned bpp : kDepths) {
    SCOPED_TRACE(testing::Message() << bpp << " bpp");
    QVRImage img = Blank(w, h, bpp);
    uint32_t colour = TestColour(bpp);
    draw(img, colour);
    EXPECT_EQ(Changed(img), expected);
    uint32_t want = xorMode ? XorOfZero(bpp, colour) : Stored(bpp, colour);
    for (auto& p : expected) EXPECT_EQ(img.GetPixel(p.first, p.second), want);
  }
}

inline PixelSet RowSpan(int y, int x1, int x2) {
  PixelSet s;
  for (int x = x1; x <= x2; ++x) s.insert({x, y});
  return s;
}

inline PixelSet Join(PixelSet a, const PixelSet& b) {
  a.insert(b.begin(), b.end());
  return a;
}

}  // namespace qvrtest

#endif
