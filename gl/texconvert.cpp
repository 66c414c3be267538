// Pixel conversions of the texture manager. The 24-bit reorder works on
// blocks of 16 pixels (three 16-byte vectors) with SSSE3 byte shuffles, the
// 32-bit one on 4 pixels per vector with SSE2 masks and shifts; both run in
// place, so that an image becomes a texture without a second copy.
#include "gl/texconvert.h"

#include <atomic>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#define QVR_X86_SIMD 1
#endif

namespace qvr::detail {

namespace {

void BGRToRGBScalar(uint8_t* dst, const uint8_t* src, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i, src += 3, dst += 3) {
    const uint8_t b0 = src[0], b1 = src[1], b2 = src[2];
    dst[0] = b2;
    dst[1] = b1;
    dst[2] = b0;
  }
}

inline uint32_t BGRTToRGBA(uint32_t p) {
  return ((p & 0x0000FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16) | (p & 0xFF000000u)) ^
         0xFF000000u;
}

void BGRTToRGBAScalar(uint8_t* dst, const uint8_t* src, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i, src += 4, dst += 4) {
    uint32_t p;
    std::memcpy(&p, src, 4);
    p = BGRTToRGBA(p);
    std::memcpy(dst, &p, 4);
  }
}

#if QVR_X86_SIMD
// Shuffle masks of the 24-bit reorder over 48 bytes: kMask[out][in] moves
// the bytes of input vector `in` to their places in output vector `out`
// (0x80 elsewhere, which pshufb turns into zero).
struct ShuffleMasks {
  alignas(16) uint8_t mask[3][3][16];
  constexpr ShuffleMasks() : mask() {
    for (unsigned j = 0; j < 48; ++j)
      for (unsigned in = 0; in < 3; ++in) mask[j / 16][in][j % 16] = 0x80;
    for (unsigned j = 0; j < 48; ++j) {
      const unsigned from = 3 * (j / 3) + 2 - j % 3;
      mask[j / 16][from / 16][j % 16] = static_cast<uint8_t>(from % 16);
    }
  }
};
constexpr ShuffleMasks g_masks;

__attribute__((target("ssse3"))) size_t BGRToRGBSSSE3(uint8_t* dst, const uint8_t* src,
                                                      size_t pixels) {
  const __m128i* m = reinterpret_cast<const __m128i*>(g_masks.mask);
  const __m128i m00 = _mm_load_si128(m + 0), m01 = _mm_load_si128(m + 1);
  const __m128i m10 = _mm_load_si128(m + 3), m11 = _mm_load_si128(m + 4),
                m12 = _mm_load_si128(m + 5);
  const __m128i m21 = _mm_load_si128(m + 7), m22 = _mm_load_si128(m + 8);
  size_t done = 0;
  for (; done + 16 <= pixels; done += 16, src += 48, dst += 48) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32));
    const __m128i x = _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01));
    const __m128i y = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)),
                                   _mm_shuffle_epi8(c, m12));
    const __m128i z = _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), x);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), y);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), z);
  }
  return done;
}

size_t BGRTToRGBASSE2(uint8_t* dst, const uint8_t* src, size_t pixels) {
  const __m128i keep = _mm_set1_epi32(static_cast<int>(0x0000FF00u));
  const __m128i low = _mm_set1_epi32(0xFF);
  const __m128i flip = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i alpha = flip;
  size_t done = 0;
  for (; done + 8 <= pixels; done += 8, src += 32, dst += 32) {
    __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
    p = _mm_or_si128(_mm_or_si128(_mm_and_si128(p, _mm_or_si128(keep, alpha)),
                                  _mm_and_si128(_mm_srli_epi32(p, 16), low)),
                     _mm_slli_epi32(_mm_and_si128(p, low), 16));
    q = _mm_or_si128(_mm_or_si128(_mm_and_si128(q, _mm_or_si128(keep, alpha)),
                                  _mm_and_si128(_mm_srli_epi32(q, 16), low)),
                     _mm_slli_epi32(_mm_and_si128(q, low), 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_xor_si128(p, flip));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_xor_si128(q, flip));
  }
  return done;
}

// -1 until probed, then whether the processor has SSSE3.
std::atomic<int> g_ssse3{-1};

bool HaveSSSE3() {
  int have = g_ssse3.load(std::memory_order_relaxed);
  if (have < 0) {
    have = __builtin_cpu_supports("ssse3") ? 1 : 0;
    g_ssse3.store(have, std::memory_order_relaxed);
  }
  return have != 0;
}
#endif

// What a zero source pixel becomes, in at most 4 bytes.
void ZeroTexel(TexConversion kind, const uint8_t* table, uint8_t* texel) {
  std::memset(texel, 0, 4);
  if (kind == TexConversion::INDEXED) std::memcpy(texel, table, 3);
  if (kind == TexConversion::BGRT) texel[3] = 255;
}

void FillTexels(uint8_t* dst, size_t count, const uint8_t* texel, unsigned bytes) {
  if (count == 0) return;
  bool uniform = true;
  for (unsigned k = 1; k < bytes; ++k) uniform = uniform && texel[k] == texel[0];
  if (uniform) {
    std::memset(dst, texel[0], count * bytes);
    return;
  }
  for (size_t i = 0; i < count; ++i) std::memcpy(dst + i * bytes, texel, bytes);
}

void ConvertRun(TexConversion kind, uint8_t* dst, const uint8_t* src, size_t pixels,
                const uint8_t* table) {
  switch (kind) {
    case TexConversion::COPY:
      if (dst != src) std::memmove(dst, src, pixels);
      break;
    case TexConversion::DOUBLE:
      DoubleBytes(dst, src, pixels);
      break;
    case TexConversion::INDEXED:
      ExpandIndexed(dst, src, pixels, table);
      break;
    case TexConversion::BGR:
      ConvertBGRToRGB(dst, src, pixels);
      break;
    case TexConversion::BGRT:
      ConvertBGRTToRGBA(dst, src, pixels);
      break;
  }
}

}  // namespace

void ConvertBGRToRGB(uint8_t* dst, const uint8_t* src, size_t pixels) {
  size_t done = 0;
#if QVR_X86_SIMD
  if (HaveSSSE3()) done = BGRToRGBSSSE3(dst, src, pixels);
#endif
  BGRToRGBScalar(dst + 3 * done, src + 3 * done, pixels - done);
}

void ConvertBGRTToRGBA(uint8_t* dst, const uint8_t* src, size_t pixels) {
  size_t done = 0;
#if QVR_X86_SIMD
  done = BGRTToRGBASSE2(dst, src, pixels);
#endif
  BGRTToRGBAScalar(dst + 4 * done, src + 4 * done, pixels - done);
}

void ExpandIndexed(uint8_t* dst, const uint8_t* src, size_t pixels, const uint8_t* table) {
  // Four bytes per store, the fourth overwritten by the next pixel; the last
  // pixel is stored with three.
  uint32_t words[256];
  for (unsigned i = 0; i < 256; ++i)
    words[i] = static_cast<uint32_t>(table[3 * i]) | static_cast<uint32_t>(table[3 * i + 1]) << 8 |
               static_cast<uint32_t>(table[3 * i + 2]) << 16;
  if (pixels == 0) return;
  for (size_t i = 0; i + 1 < pixels; ++i) std::memcpy(dst + 3 * i, &words[src[i]], 4);
  std::memcpy(dst + 3 * (pixels - 1), table + 3 * src[pixels - 1], 3);
}

void DoubleBytes(uint8_t* dst, const uint8_t* src, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    dst[2 * i] = src[i];
    dst[2 * i + 1] = src[i];
  }
}

unsigned SourceBytes(TexConversion kind) {
  switch (kind) {
    case TexConversion::BGR:
      return 3;
    case TexConversion::BGRT:
      return 4;
    default:
      return 1;
  }
}

unsigned TexelBytes(TexConversion kind) {
  switch (kind) {
    case TexConversion::DOUBLE:
      return 2;
    case TexConversion::INDEXED:
    case TexConversion::BGR:
      return 3;
    case TexConversion::BGRT:
      return 4;
    default:
      return 1;
  }
}

void ConvertImage(TexConversion kind, uint8_t* dst, unsigned dstWidth, unsigned dstHeight,
                  const uint8_t* src, unsigned srcWidth, unsigned srcHeight, size_t srcPitch,
                  const uint8_t* table) {
  const unsigned out = TexelBytes(kind);
  const size_t dstPitch = static_cast<size_t>(dstWidth) * out;
  const size_t rowPixels = srcWidth;
  if (dstWidth == srcWidth && srcPitch == rowPixels * SourceBytes(kind)) {
    // Packed rows: one run over the whole picture.
    ConvertRun(kind, dst, src, rowPixels * srcHeight, table);
  } else {
    for (unsigned y = 0; y < srcHeight; ++y)
      ConvertRun(kind, dst + y * dstPitch, src + y * srcPitch, rowPixels, table);
  }
  uint8_t texel[4];
  ZeroTexel(kind, table, texel);
  if (dstWidth > srcWidth)
    for (unsigned y = 0; y < srcHeight; ++y)
      FillTexels(dst + y * dstPitch + rowPixels * out, dstWidth - srcWidth, texel, out);
  FillTexels(dst + static_cast<size_t>(srcHeight) * dstPitch,
             static_cast<size_t>(dstHeight - srcHeight) * dstWidth, texel, out);
}

}  // namespace qvr::detail
