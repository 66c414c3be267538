// The row kernels at every vector level give the results of plain pixel
// stores, for run lengths around the vector and pattern sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/pixel.h"

using namespace qvr::detail;

namespace {

class ImageKernels : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (SetSimdLevel(GetParam()) != GetParam()) GTEST_SKIP() << "level not available";
  }
  void TearDown() override { SetSimdLevel(-1); }
};

template <unsigned Bpp>
void ReferenceFill(uint8_t* p, size_t count, uint32_t colour) {
  for (size_t i = 0; i < count; ++i) Pixel<Bpp>::Put(p + i * Bpp, colour);
}

}  // namespace

TEST_P(ImageKernels, FillsMatchPixelStores) {
  for (uint32_t colour : {0x00C0FFEEu, 0x12345678u, 0u, 0x5A5A5A5Au, 0xFF00FF00u}) {
    for (unsigned Bpp = 1; Bpp <= 4; ++Bpp) {
      for (size_t count :
           {1, 2, 15, 16, 23, 24, 31, 32, 33, 47, 48, 49, 95, 96, 97, 200, 511, 512, 1031}) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << colour << std::dec << " Bpp " << Bpp << " count " << count);
        const size_t offset = 5 * Bpp;  // unaligned start
        std::vector<uint8_t> got((count + 12) * Bpp, 0xCC), want(got);
        FillPixels(got.data() + offset, count, colour, Bpp);
        WithBpp(Bpp, [&](auto tag) {
          ReferenceFill<decltype(tag)::value>(want.data() + offset, count, colour);
        });
        ASSERT_EQ(got, want);
      }
    }
  }
}

TEST_P(ImageKernels, KeyCopiesMatchPixelCompares) {
  for (unsigned Bpp = 1; Bpp <= 4; ++Bpp) {
    for (size_t count : {1, 3, 8, 15, 16, 17, 32, 33, 100}) {
      SCOPED_TRACE(testing::Message() << "Bpp " << Bpp << " count " << count);
      const uint32_t key = 0x0A0B0C0D & (Bpp == 4 ? 0xFFFFFFFF : (1u << (8 * Bpp)) - 1);
      std::vector<uint8_t> src(count * Bpp + 3), dst(count * Bpp + 3, 0x77);
      for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 31 + 1);
      for (size_t i = 0; i < count; i += 2)  // every other pixel keyed
        for (unsigned b = 0; b < Bpp; ++b) src[1 + i * Bpp + b] = uint8_t(key >> (8 * b));
      std::vector<uint8_t> want(dst);
      for (size_t i = 0; i < count; ++i) {
        uint32_t v = 0;
        for (unsigned b = 0; b < Bpp; ++b) v |= uint32_t(src[1 + i * Bpp + b]) << (8 * b);
        if (v != key)
          for (unsigned b = 0; b < Bpp; ++b) want[2 + i * Bpp + b] = src[1 + i * Bpp + b];
      }
      KeyCopyPixels(dst.data() + 2, src.data() + 1, count, key, Bpp);
      ASSERT_EQ(dst, want);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, ImageKernels, testing::Values(0, 1, 2));

// Key copies of 64-byte steps and their masked tails: every count from one
// step short to one past two, with keyed runs that start and end anywhere.
TEST_P(ImageKernels, KeyCopiesOfWholeStepsAndTails) {
  for (unsigned Bpp : {1u, 2u, 4u}) {
    const uint32_t key = 0x0A0B0C0D & (Bpp == 4 ? 0xFFFFFFFF : (1u << (8 * Bpp)) - 1);
    for (size_t count = 64 / Bpp - 1; count <= 128 / Bpp + 1; ++count) {
      SCOPED_TRACE(testing::Message() << "Bpp " << Bpp << " count " << count);
      std::vector<uint8_t> src(count * Bpp + 64), dst(count * Bpp + 64, 0x77);
      for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 29 + 3);
      for (size_t i = 0; i < count; ++i)
        if ((i / 3 + i / 7) % 2 == 0)
          for (unsigned b = 0; b < Bpp; ++b) src[i * Bpp + b] = uint8_t(key >> (8 * b));
      std::vector<uint8_t> want(dst);
      for (size_t i = 0; i < count; ++i) {
        uint32_t v = 0;
        for (unsigned b = 0; b < Bpp; ++b) v |= uint32_t(src[i * Bpp + b]) << (8 * b);
        if (v != key) std::memcpy(&want[i * Bpp], &src[i * Bpp], Bpp);
      }
      KeyCopyPixels(dst.data(), src.data(), count, key, Bpp);
      ASSERT_EQ(dst, want) << "nothing past the count may change either";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Wide, ImageKernels, testing::Values(3));
