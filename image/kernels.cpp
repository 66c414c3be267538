// Row kernels behind the image primitives: pattern fills for 2-4 byte
// pixels, row copies, and the colour-key copy, vectorised with SSE2 (and
// AVX2 when the processor has it) with a portable scalar fallback.
#include <atomic>
#include <cstring>
#include <initializer_list>

#include "image/pixel.h"

#if defined(__SSE2__)
#include <cpuid.h>
#include <immintrin.h>
#define QVR_X86_SIMD 1
#endif

namespace qvr::detail {

namespace {

// 96 bytes is a whole number of 2-, 3- and 4-byte pixels and of 16- and
// 32-byte vectors, so a pattern of that length tiles any run. The fills
// below take runs of at least that length.
constexpr size_t kPatternBytes = 96;

void FillPatternScalar(uint8_t* p, size_t bytes, const uint64_t* w) {
  uint8_t pattern[kPatternBytes];
  for (int k = 0; k < 8; ++k) {
    pattern[k] = static_cast<uint8_t>(w[0] >> (8 * k));
    pattern[8 + k] = static_cast<uint8_t>(w[1] >> (8 * k));
    pattern[16 + k] = static_cast<uint8_t>(w[2] >> (8 * k));
  }
  std::memcpy(pattern + 24, pattern, 24);
  std::memcpy(pattern + 48, pattern, 48);
  while (bytes >= kPatternBytes) {
    std::memcpy(p, pattern, kPatternBytes);
    p += kPatternBytes;
    bytes -= kPatternBytes;
  }
  std::memcpy(p, pattern, bytes);
}

// Vector level in use: 0 scalar, 1 SSE2, 2 AVX2, 3 AVX-512 (F and BW) for
// the key copy, AVX2 elsewhere; -1 until first chosen.
std::atomic<int> g_simdLevel{-1};

int BestSimdLevel() {
#if QVR_X86_SIMD
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) return 3;
  return __builtin_cpu_supports("avx2") ? 2 : 1;
#else
  return 0;
#endif
}

#if QVR_X86_SIMD && defined(__GNUC__)
// Runs of 4-byte pixels from this length on are stored with `rep stosl` on
// processors with fast string stores (ERMS): like memset's `rep stosb`, the
// microcode writes whole cache lines without reading them first, which vector
// stores cannot do once the image outgrows the second-level cache (a 32-bit
// 1024x768 image fills 15-20% faster that way).
constexpr size_t kStringFillBytes = 2048;

bool StringFillsFast() {
  static const bool fast = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & (1u << 9)) != 0;  // ERMS
  }();
  return fast;
}
#endif

[[maybe_unused]] int SimdLevel() {  // unused where no vector kernels are built
  int level = g_simdLevel.load(std::memory_order_relaxed);
  if (level < 0) {
    level = BestSimdLevel();
    g_simdLevel.store(level, std::memory_order_relaxed);
  }
  return level;
}

#if QVR_X86_SIMD
// The vectors are built in registers from the three words: going through a
// byte buffer stalls on store forwarding, which short runs pay on every call.
// The first and the last 96 bytes are stored unaligned with the pattern as
// it lies at the start of the run (any offset that is a whole number of
// pixels starts a pixel); the bytes between are stored on aligned addresses,
// with the words `aligned` of the pattern rotated to that address's place in
// a pixel. Overlapping stores write the same values.
void FillPatternSSE2(uint8_t* p, size_t bytes, const uint64_t* w, const uint64_t* aligned) {
  __m128i v0 = _mm_set_epi64x(static_cast<int64_t>(w[1]), static_cast<int64_t>(w[0]));
  __m128i v1 = _mm_set_epi64x(static_cast<int64_t>(w[0]), static_cast<int64_t>(w[2]));
  __m128i v2 = _mm_set_epi64x(static_cast<int64_t>(w[2]), static_cast<int64_t>(w[1]));
  for (uint8_t* at : {p, p + bytes - kPatternBytes}) {
    __m128i* d = reinterpret_cast<__m128i*>(at);
    _mm_storeu_si128(d, v0);
    _mm_storeu_si128(d + 1, v1);
    _mm_storeu_si128(d + 2, v2);
    _mm_storeu_si128(d + 3, v0);
    _mm_storeu_si128(d + 4, v1);
    _mm_storeu_si128(d + 5, v2);
  }
  size_t skip = (16 - (reinterpret_cast<uintptr_t>(p) & 15)) & 15;
  __m128i a0 = _mm_set_epi64x(static_cast<int64_t>(aligned[1]), static_cast<int64_t>(aligned[0]));
  __m128i a1 = _mm_set_epi64x(static_cast<int64_t>(aligned[0]), static_cast<int64_t>(aligned[2]));
  __m128i a2 = _mm_set_epi64x(static_cast<int64_t>(aligned[2]), static_cast<int64_t>(aligned[1]));
  __m128i* d = reinterpret_cast<__m128i*>(p + skip);
  for (size_t left = bytes - skip; left >= kPatternBytes; left -= kPatternBytes, d += 6) {
    _mm_store_si128(d, a0);
    _mm_store_si128(d + 1, a1);
    _mm_store_si128(d + 2, a2);
    _mm_store_si128(d + 3, a0);
    _mm_store_si128(d + 4, a1);
    _mm_store_si128(d + 5, a2);
  }
}

__attribute__((target("avx2"))) void FillPatternAVX2(uint8_t* p, size_t bytes, const uint64_t* w,
                                                     const uint64_t* aligned) {
  int64_t a = static_cast<int64_t>(w[0]), b = static_cast<int64_t>(w[1]),
          c = static_cast<int64_t>(w[2]);
  __m256i v0 = _mm256_set_epi64x(a, c, b, a);
  __m256i v1 = _mm256_set_epi64x(b, a, c, b);
  __m256i v2 = _mm256_set_epi64x(c, b, a, c);
  for (uint8_t* at : {p, p + bytes - kPatternBytes}) {
    __m256i* d = reinterpret_cast<__m256i*>(at);
    _mm256_storeu_si256(d, v0);
    _mm256_storeu_si256(d + 1, v1);
    _mm256_storeu_si256(d + 2, v2);
  }
  size_t skip = (32 - (reinterpret_cast<uintptr_t>(p) & 31)) & 31;
  a = static_cast<int64_t>(aligned[0]);
  b = static_cast<int64_t>(aligned[1]);
  c = static_cast<int64_t>(aligned[2]);
  v0 = _mm256_set_epi64x(a, c, b, a);
  v1 = _mm256_set_epi64x(b, a, c, b);
  v2 = _mm256_set_epi64x(c, b, a, c);
  __m256i* d = reinterpret_cast<__m256i*>(p + skip);
  for (size_t left = bytes - skip; left >= kPatternBytes; left -= kPatternBytes, d += 3) {
    _mm256_store_si256(d, v0);
    _mm256_store_si256(d + 1, v1);
    _mm256_store_si256(d + 2, v2);
  }
}

// Colour-key copies of whole vectors; the scalar loop finishes the tail.
// Every vector is blended with the destination without a branch: tests on
// all-keyed or key-free vectors cost more in mispredictions on sprite-like
// runs than they save in memory traffic.
template <unsigned Bpp>
size_t KeyCopySSE2(uint8_t* dst, const uint8_t* src, size_t count, uint32_t key) {
  constexpr size_t kPixels = 16 / Bpp;
  const __m128i k = Bpp == 1   ? _mm_set1_epi8(static_cast<char>(key))
                    : Bpp == 2 ? _mm_set1_epi16(short(key))
                               : _mm_set1_epi32(static_cast<int>(key));
  size_t done = 0;
  for (; done + kPixels <= count; done += kPixels) {
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + done * Bpp));
    __m128i eq = Bpp == 1   ? _mm_cmpeq_epi8(s, k)
                 : Bpp == 2 ? _mm_cmpeq_epi16(s, k)
                            : _mm_cmpeq_epi32(s, k);
    __m128i* d = reinterpret_cast<__m128i*>(dst + done * Bpp);
    _mm_storeu_si128(d,
                     _mm_or_si128(_mm_and_si128(eq, _mm_loadu_si128(d)), _mm_andnot_si128(eq, s)));
  }
  return done;
}

template <unsigned Bpp>
__attribute__((target("avx2"))) size_t KeyCopyAVX2(uint8_t* dst, const uint8_t* src, size_t count,
                                                   uint32_t key) {
  constexpr size_t kPixels = 32 / Bpp;
  const __m256i k = Bpp == 1   ? _mm256_set1_epi8(static_cast<char>(key))
                    : Bpp == 2 ? _mm256_set1_epi16(short(key))
                               : _mm256_set1_epi32(static_cast<int>(key));
  size_t done = 0;
  for (; done + kPixels <= count; done += kPixels) {
    __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + done * Bpp));
    __m256i eq = Bpp == 1   ? _mm256_cmpeq_epi8(s, k)
                 : Bpp == 2 ? _mm256_cmpeq_epi16(s, k)
                            : _mm256_cmpeq_epi32(s, k);
    __m256i* d = reinterpret_cast<__m256i*>(dst + done * Bpp);
    _mm256_storeu_si256(d, _mm256_blendv_epi8(s, _mm256_loadu_si256(d), eq));
  }
  return done;
}

// With masked stores the destination is neither read nor written where the
// source holds the key: a keyed stretch costs no memory traffic at all, and
// the row's tail is one more masked step rather than a scalar loop.
// One step of 64 bytes; `Tail` steps cover only the pixels set in `lanes`
// (a masked load, which costs more than a plain one, so whole steps skip it).
template <unsigned Bpp, bool Tail>
__attribute__((target("avx512f,avx512bw"))) inline void KeyStepAVX512(uint8_t* dst,
                                                                      const uint8_t* src,
                                                                      uint32_t key,
                                                                      uint64_t lanes) {
  if (Bpp == 1) {
    const __m512i s = Tail ? _mm512_maskz_loadu_epi8(lanes, src) : _mm512_loadu_si512(src);
    const __m512i k = _mm512_set1_epi8(static_cast<char>(key));
    _mm512_mask_storeu_epi8(dst, _mm512_mask_cmpneq_epi8_mask(lanes, s, k), s);
  } else if (Bpp == 2) {
    const __mmask32 m = static_cast<__mmask32>(lanes);
    const __m512i s = Tail ? _mm512_maskz_loadu_epi16(m, src) : _mm512_loadu_si512(src);
    const __m512i k = _mm512_set1_epi16(static_cast<short>(key));
    _mm512_mask_storeu_epi16(dst, _mm512_mask_cmpneq_epi16_mask(m, s, k), s);
  } else {
    const __mmask16 m = static_cast<__mmask16>(lanes);
    const __m512i s = Tail ? _mm512_maskz_loadu_epi32(m, src) : _mm512_loadu_si512(src);
    const __m512i k = _mm512_set1_epi32(static_cast<int>(key));
    _mm512_mask_storeu_epi32(dst, _mm512_mask_cmpneq_epi32_mask(m, s, k), s);
  }
}

// With masked stores the destination is neither read nor written where the
// source holds the key, so keyed stretches cost no memory traffic, and the
// row's tail is one more masked step rather than a scalar loop.
template <unsigned Bpp>
__attribute__((target("avx512f,avx512bw"))) size_t KeyCopyAVX512(uint8_t* dst, const uint8_t* src,
                                                                 size_t count, uint32_t key) {
  constexpr size_t kPixels = 64 / Bpp;
  size_t done = 0;
  for (; done + kPixels <= count; done += kPixels)
    KeyStepAVX512<Bpp, false>(dst + done * Bpp, src + done * Bpp, key, ~static_cast<uint64_t>(0));
  if (done < count)
    KeyStepAVX512<Bpp, true>(dst + done * Bpp, src + done * Bpp, key,
                             (static_cast<uint64_t>(1) << (count - done)) - 1);
  return count;
}

#endif

// Three little-endian words of eight bytes holding the colour's pixel
// repeated from byte `phase` of a pixel on: 24 bytes, a whole number of
// pixels of every size. Bpp is a constant so that nothing here divides.
template <unsigned Bpp>
void PatternWords(uint32_t colour, unsigned phase, uint64_t* w) {
  constexpr uint64_t kMask = (static_cast<uint64_t>(1) << (8 * Bpp)) - 1;
  uint64_t c = colour & kMask;
  if (phase != 0) c = ((c >> (8 * phase)) | (c << (8 * (Bpp - phase)))) & kMask;
  if (Bpp == 3) {
    w[0] = c | c << 24 | c << 48;
    w[1] = c >> 16 | c << 8 | c << 32 | c << 56;
    w[2] = c >> 8 | c << 16 | c << 40;
  } else {
    w[0] = w[1] = w[2] = Bpp == 2 ? c * 0x0001000100010001ull : c | c << 32;
  }
}

// Fills `bytes` (at least kPatternBytes, whole pixels) from `p`.
template <unsigned Bpp>
void FillPatternBytes(uint8_t* p, size_t bytes, uint32_t colour) {
#if QVR_X86_SIMD && defined(__GNUC__)
  // Only at the best vector levels: the tests pick the lower ones to cover
  // the pattern kernels on long runs too.
  if (Bpp == 4 && bytes >= kStringFillBytes && SimdLevel() >= 2 && StringFillsFast()) {
    size_t n = bytes / 4;
    __asm__ volatile("rep stosl" : "+D"(p), "+c"(n) : "a"(colour) : "memory");
    return;
  }
#endif
  uint64_t w[3];
  PatternWords<Bpp>(colour, 0, w);
#if QVR_X86_SIMD
  int level = SimdLevel();
  if (level != 0) {
    uintptr_t align = level >= 2 ? 32 : 16;
    unsigned skip = static_cast<unsigned>((align - (reinterpret_cast<uintptr_t>(p) & (align - 1))) &
                                          (align - 1));
    uint64_t aligned[3];
    PatternWords<Bpp>(colour, skip % Bpp, aligned);
    if (level >= 2)
      FillPatternAVX2(p, bytes, w, aligned);
    else
      FillPatternSSE2(p, bytes, w, aligned);
    return;
  }
#endif
  FillPatternScalar(p, bytes, w);
}

template <unsigned Bpp>
void KeyCopyScalar(uint8_t* dst, const uint8_t* src, size_t count, uint32_t key) {
  for (size_t i = 0; i < count; ++i, src += Bpp, dst += Bpp) {
    if (Pixel<Bpp>::Key(src) != key) std::memcpy(dst, src, Bpp);
  }
}

}  // namespace

int SetSimdLevel(int level) {
  int best = BestSimdLevel();
  if (level < 0 || level > best) level = best;
  g_simdLevel.store(level, std::memory_order_relaxed);
  return level;
}

void FillPattern(uint8_t* row, size_t count, uint32_t colour, unsigned bytesPerPixel) {
  if (count == 0) return;
  uint8_t b0 = static_cast<uint8_t>(colour), b1 = static_cast<uint8_t>(colour >> 8),
          b2 = static_cast<uint8_t>(colour >> 16), b3 = static_cast<uint8_t>(colour >> 24);
  bool oneByte = bytesPerPixel == 1 ||
                 (b1 == b0 && (bytesPerPixel == 2 || b2 == b0) && (bytesPerPixel != 4 || b3 == b0));
  if (oneByte) {
    std::memset(row, b0, count * bytesPerPixel);
    return;
  }
  size_t bytes = count * bytesPerPixel;
  if (bytes < kPatternBytes) {
    WithBpp(bytesPerPixel, [&](auto tag) {
      constexpr unsigned Bpp = decltype(tag)::value;
      for (size_t i = 0; i < bytes; i += Bpp) Pixel<Bpp>::Put(row + i, colour);
    });
    return;
  }
  WithBpp(bytesPerPixel, [&](auto tag) {
    constexpr unsigned Bpp = decltype(tag)::value;
    if constexpr (Bpp > 1) FillPatternBytes<Bpp>(row, bytes, colour);
  });
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
      int level = SimdLevel();
      if (level == 3)
        done = KeyCopyAVX512<Bpp>(dst, src, count, k);
      else if (level == 2)
        done = KeyCopyAVX2<Bpp>(dst, src, count, k);
      else if (level == 1)
        done = KeyCopySSE2<Bpp>(dst, src, count, k);
    }
#endif
    KeyCopyScalar<Bpp>(dst + done * Bpp, src + done * Bpp, count - done, k);
  });
}

}  // namespace qvr::detail
