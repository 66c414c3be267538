// The pixel conversions of the texture manager against plain per-pixel
// definitions, at every run length around the vector block sizes, in place
// and into another buffer, and with power-of-two padding.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gl/texconvert.h"

namespace {

using namespace qvr::detail;

std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) {
    seed = seed * 1103515245u + 12345u;
    b = uint8_t(seed >> 23);
  }
  return v;
}

TEST(TexConvert, BGRToRGBAtEveryLength) {
  for (size_t n = 0; n < 100; ++n) {
    const std::vector<uint8_t> src = Noise(3 * n + 5, unsigned(n) + 1);
    std::vector<uint8_t> want = src;
    for (size_t i = 0; i < n; ++i) {
      want[3 * i] = src[3 * i + 2];
      want[3 * i + 2] = src[3 * i];
    }
    std::vector<uint8_t> out(src.size(), 0xEE);
    ConvertBGRToRGB(out.data(), src.data(), n);
    EXPECT_TRUE(std::equal(want.begin(), want.begin() + 3 * n, out.begin())) << n;
    EXPECT_EQ(out[3 * n], 0xEE) << "wrote past the run, n = " << n;
    std::vector<uint8_t> inPlace = src;
    ConvertBGRToRGB(inPlace.data(), inPlace.data(), n);
    EXPECT_EQ(inPlace, want) << n;
  }
}

TEST(TexConvert, BGRTToRGBAAtEveryLength) {
  for (size_t n = 0; n < 70; ++n) {
    std::vector<uint8_t> src = Noise(4 * n + 4, unsigned(n) + 7);
    if (n > 0) src[3] = 0;  // a transparency of 0 is fully opaque
    std::vector<uint8_t> want = src;
    for (size_t i = 0; i < n; ++i) {
      want[4 * i] = src[4 * i + 2];
      want[4 * i + 2] = src[4 * i];
      want[4 * i + 3] = uint8_t(255 - src[4 * i + 3]);
    }
    if (n > 0) {
      EXPECT_EQ(want[3], 255);
    }
    std::vector<uint8_t> out(src.size(), 0xEE);
    ConvertBGRTToRGBA(out.data(), src.data(), n);
    EXPECT_TRUE(std::equal(want.begin(), want.begin() + 4 * n, out.begin())) << n;
    EXPECT_EQ(out[4 * n], 0xEE) << n;
    std::vector<uint8_t> inPlace = src;
    ConvertBGRTToRGBA(inPlace.data(), inPlace.data(), n);
    EXPECT_EQ(inPlace, want) << n;
  }
}

TEST(TexConvert, ExpandIndexedAndDoubleBytes) {
  std::vector<uint8_t> table = Noise(768, 99);
  for (size_t n = 0; n < 40; ++n) {
    const std::vector<uint8_t> src = Noise(n, unsigned(n) + 3);
    std::vector<uint8_t> out(3 * n + 1, 0xEE);
    ExpandIndexed(out.data(), src.data(), n, table.data());
    for (size_t i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) ASSERT_EQ(out[3 * i + k], table[3 * src[i] + k]) << n;
    EXPECT_EQ(out[3 * n], 0xEE);
    std::vector<uint8_t> twice(2 * n + 1, 0xEE);
    DoubleBytes(twice.data(), src.data(), n);
    for (size_t i = 0; i < n; ++i) {
      ASSERT_EQ(twice[2 * i], src[i]);
      ASSERT_EQ(twice[2 * i + 1], src[i]);
    }
    EXPECT_EQ(twice[2 * n], 0xEE);
  }
}

TEST(TexConvert, PaddingHoldsTheConvertedZeroPixel) {
  // 3 x 2 image of 32-bit pixels into 4 x 4: the padding is opaque black.
  const std::vector<uint8_t> src = Noise(3 * 2 * 4, 5);
  std::vector<uint8_t> out(4 * 4 * 4, 0xEE);
  ConvertImage(TexConversion::BGRT, out.data(), 4, 4, src.data(), 3, 2, 12, nullptr);
  for (unsigned y = 0; y < 4; ++y)
    for (unsigned x = 0; x < 4; ++x) {
      const uint8_t* t = &out[(y * 4 + x) * 4];
      if (x < 3 && y < 2) {
        const uint8_t* s = &src[(y * 3 + x) * 4];
        EXPECT_EQ(t[0], s[2]);
        EXPECT_EQ(t[1], s[1]);
        EXPECT_EQ(t[2], s[0]);
        EXPECT_EQ(t[3], 255 - s[3]);
      } else {
        EXPECT_EQ(t[0] | t[1] | t[2], 0) << x << "," << y;
        EXPECT_EQ(t[3], 255) << x << "," << y;
      }
    }
  // Indexed: the padding is the colour of index 0.
  std::vector<uint8_t> table(768, 0);
  table[0] = 10;
  table[1] = 20;
  table[2] = 30;
  table[3] = 1;
  const uint8_t idx[3] = {1, 1, 1};
  std::vector<uint8_t> rgb(2 * 2 * 3, 0xEE);
  ConvertImage(TexConversion::INDEXED, rgb.data(), 2, 2, idx, 1, 1, 1, table.data());
  EXPECT_EQ(rgb[0], 1);
  for (unsigned i = 1; i < 4; ++i) {
    EXPECT_EQ(rgb[3 * i], 10);
    EXPECT_EQ(rgb[3 * i + 1], 20);
    EXPECT_EQ(rgb[3 * i + 2], 30);
  }
  // Rows of an image read through its pitch, with a gap in the source.
  const uint8_t rows[2][4] = {{1, 2, 9, 9}, {3, 4, 9, 9}};
  std::vector<uint8_t> lum(4 * 2 * 2, 0xEE);
  ConvertImage(TexConversion::DOUBLE, lum.data(), 4, 2, &rows[0][0], 2, 2, 4, nullptr);
  const std::vector<uint8_t> want = {1, 1, 2, 2, 0, 0, 0, 0, 3, 3, 4, 4, 0, 0, 0, 0};
  EXPECT_EQ(lum, want);
}

}  // namespace
