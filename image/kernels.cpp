// Row kernels behind the image primitives: pattern fills for 2-4 byte
// pixels, row copies, and the colour-key copy, vectorised with SSE2 (and
// AVX2 when the processor has it) with a portable scalar fallback.
#include <cstring>

#include "image/pixel.h"

#if defined(__SSE2__)
#include <immintrin.h>
#define QVR_X86_SIMD 1
#endif

namespace qvr {
namespace detail {

namespace {

// 96 bytes is a whole number of 2-, 3- and 4-byte pixels and of 16- and
// 32-byte vectors, so a pattern of that length tiles any run.
constexpr size_t kPatternBytes = 96;

#if !QVR_X86_SIMD
void FillPatternScalar(uint8_t* p, size_t bytes, const uint8_t* pattern) {
  while (bytes >= kPatternBytes) {
    std::memcpy(p, pattern, kPatternBytes);
    p += kPatternBytes;
    bytes -= kPatternBytes;
  }
  std::memcpy(p, pattern, bytes);
}
#endif

#if QVR_X86_SIMD
void FillPatternSSE2(uint8_t* p, size_t bytes, const uint8_t* pattern) {
  const __m128i* v = reinterpret_cast<const __m128i*>(pattern);
  __m128i v0 = _mm_loadu_si128(v), v1 = _mm_loadu_si128(v + 1), v2 = _mm_loadu_si128(v + 2);
  __m128i v3 = _mm_loadu_si128(v + 3), v4 = _mm_loadu_si128(v + 4), v5 = _mm_loadu_si128(v + 5);
  while (bytes >= kPatternBytes) {
    __m128i* d = reinterpret_cast<__m128i*>(p);
    _mm_storeu_si128(d, v0);
    _mm_storeu_si128(d + 1, v1);
    _mm_storeu_si128(d + 2, v2);
    _mm_storeu_si128(d + 3, v3);
    _mm_storeu_si128(d + 4, v4);
    _mm_storeu_si128(d + 5, v5);
    p += kPatternBytes;
    bytes -= kPatternBytes;
  }
  std::memcpy(p, pattern, bytes);
}

__attribute__((target("avx2"))) void FillPatternAVX2(uint8_t* p, size_t bytes,
                                                     const uint8_t* pattern) {
  const __m256i* v = reinterpret_cast<const __m256i*>(pattern);
  __m256i v0 = _mm256_loadu_si256(v), v1 = _mm256_loadu_si256(v + 1),
          v2 = _mm256_loadu_si256(v + 2);
  while (bytes >= kPatternBytes) {
    __m256i* d = reinterpret_cast<__m256i*>(p);
    _mm256_storeu_si256(d, v0);
    _mm256_storeu_si256(d + 1, v1);
    _mm256_storeu_si256(d + 2, v2);
    p += kPatternBytes;
    bytes -= kPatternBytes;
  }
  std::memcpy(p, pattern, bytes);
}

// Colour-key copies of whole vectors; the scalar loop finishes the tail.
// A vector whose pixels are all keyed is skipped and one with no keyed pixel
// is stored as it is, so only mixed vectors read the destination.
template <unsigned Bpp>
size_t KeyCopySSE2(uint8_t* dst, const uint8_t* src, size_t count, uint32_t key) {
  constexpr size_t kPixels = 16 / Bpp;
  const __m128i k = Bpp == 1   ? _mm_set1_epi8(char(key))
                    : Bpp == 2 ? _mm_set1_epi16(short(key))
                               : _mm_set1_epi32(int(key));
  size_t done = 0;
  for (; done + kPixels <= count; done += kPixels) {
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + done * Bpp));
    __m128i eq = Bpp == 1   ? _mm_cmpeq_epi8(s, k)
                 : Bpp == 2 ? _mm_cmpeq_epi16(s, k)
                            : _mm_cmpeq_epi32(s, k);
    int mask = _mm_movemask_epi8(eq);
    __m128i* d = reinterpret_cast<__m128i*>(dst + done * Bpp);
    if (mask == 0xFFFF) continue;
    if (mask != 0) s = _mm_or_si128(_mm_and_si128(eq, _mm_loadu_si128(d)), _mm_andnot_si128(eq, s));
    _mm_storeu_si128(d, s);
  }
  return done;
}

template <unsigned Bpp>
__attribute__((target("avx2"))) size_t KeyCopyAVX2(uint8_t* dst, const uint8_t* src, size_t count,
                                                   uint32_t key) {
  constexpr size_t kPixels = 32 / Bpp;
  const __m256i k = Bpp == 1   ? _mm256_set1_epi8(char(key))
                    : Bpp == 2 ? _mm256_set1_epi16(short(key))
                               : _mm256_set1_epi32(int(key));
  size_t done = 0;
  for (; done + kPixels <= count; done += kPixels) {
    __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + done * Bpp));
    __m256i eq = Bpp == 1   ? _mm256_cmpeq_epi8(s, k)
                 : Bpp == 2 ? _mm256_cmpeq_epi16(s, k)
                            : _mm256_cmpeq_epi32(s, k);
    unsigned mask = unsigned(_mm256_movemask_epi8(eq));
    __m256i* d = reinterpret_cast<__m256i*>(dst + done * Bpp);
    if (mask == 0xFFFFFFFFu) continue;
    if (mask != 0) s = _mm256_blendv_epi8(s, _mm256_loadu_si256(d), eq);
    _mm256_storeu_si256(d, s);
  }
  return done;
}

bool HaveAVX2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
#endif

void FillPattern(uint8_t* p, size_t bytes, const uint8_t* pattern) {
#if QVR_X86_SIMD
  if (HaveAVX2())
    FillPatternAVX2(p, bytes, pattern);
  else
    FillPatternSSE2(p, bytes, pattern);
#else
  FillPatternScalar(p, bytes, pattern);
#endif
}

template <unsigned Bpp>
void KeyCopyScalar(uint8_t* dst, const uint8_t* src, size_t count, uint32_t key) {
  for (size_t i = 0; i < count; ++i, src += Bpp, dst += Bpp) {
    if (Pixel<Bpp>::Key(src) != key) std::memcpy(dst, src, Bpp);
  }
}

}  // namespace

void FillPixels(uint8_t* row, size_t count, uint32_t colour, unsigned bytesPerPixel) {
  if (count == 0) return;
  uint8_t b0 = uint8_t(colour), b1 = uint8_t(colour >> 8), b2 = uint8_t(colour >> 16),
          b3 = uint8_t(colour >> 24);
  bool oneByte = bytesPerPixel == 1 ||
                 (b1 == b0 && (bytesPerPixel == 2 || b2 == b0) && (bytesPerPixel != 4 || b3 == b0));
  if (oneByte) {
    std::memset(row, b0, count * bytesPerPixel);
    return;
  }
  alignas(32) uint8_t pattern[kPatternBytes];
  WithBpp(bytesPerPixel, [&](auto tag) {
    constexpr unsigned Bpp = decltype(tag)::value;
    for (size_t i = 0; i < kPatternBytes; i += Bpp) Pixel<Bpp>::Put(pattern + i, colour);
  });
  FillPattern(row, count * bytesPerPixel, pattern);
}

void CopyRows(uint8_t* dst, size_t dstPitch, const uint8_t* src, size_t srcPitch, size_t rowBytes,
              size_t rows) {
  if (rowBytes == 0 || rows == 0) return;
  if (dstPitch == rowBytes && srcPitch == rowBytes) {
    std::memcpy(dst, src, rowBytes * rows);
    return;
  }
  for (size_t r = 0; r < rows; ++r, dst += dstPitch, src += srcPitch)
    std::memcpy(dst, src, rowBytes);
}

void KeyCopyPixels(uint8_t* dst, const uint8_t* src, size_t count, uint32_t key,
                   unsigned bytesPerPixel) {
  WithBpp(bytesPerPixel, [&](auto tag) {
    constexpr unsigned Bpp = decltype(tag)::value;
    uint32_t k = key & Pixel<Bpp>::kKeyMask;
    size_t done = 0;
#if QVR_X86_SIMD
    if constexpr (Bpp != 3) {
      done =
          HaveAVX2() ? KeyCopyAVX2<Bpp>(dst, src, count, k) : KeyCopySSE2<Bpp>(dst, src, count, k);
    }
#endif
    KeyCopyScalar<Bpp>(dst + done * Bpp, src + done * Bpp, count - done, k);
  });
}

}  // namespace detail
}  // namespace qvr
