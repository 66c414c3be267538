// Sample-format conversions on raw PCM buffers: byte order, sign, 8/16 bits,
// rate doubling and halving by whole frames, and channel mixing. Samples are
// read and written byte by byte, so the results do not depend on the host's
// byte order. On SSE2 (a little-endian host) the widening, narrowing and
// mixing loops run 16 bytes at a time with the same results bit for bit.
#include "audio/convert.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define QVR_CONVERT_SSE2 1
#endif

namespace qvr::detail {

namespace {

inline int Clip(int value, int low, int high) {
  return value < low ? low : (value > high ? high : value);
}

#if QVR_CONVERT_SSE2
inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i Swap16(__m128i v) {
  return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}
#endif

// Sums stereo 16-bit pairs. `kBig` is the byte order, `kBias` 0 for signed
// samples and 0x8000 for unsigned ones (applied around the sum).
template <bool kBig, int kBias>
void Mix16(const uint8_t* __restrict in, uint32_t frames, uint8_t* __restrict out) {
  const int hi = kBig ? 0 : 1;
  const int lo = 1 - hi;
  uint32_t i = 0;
#if QVR_CONVERT_SSE2
  // pmaddwd adds each left/right pair exactly into 32 bits; packssdw clips
  // the sums to the 16-bit range.
  const __m128i ones = _mm_set1_epi16(1);
  const __m128i bias = _mm_set1_epi16(static_cast<int16_t>(static_cast<uint16_t>(kBias)));
  for (; i + 8 <= frames; i += 8) {
    __m128i a = Load(in + 4 * static_cast<size_t>(i)),
            b = Load(in + 4 * static_cast<size_t>(i) + 16);
    if (kBig) a = Swap16(a), b = Swap16(b);
    if (kBias) a = _mm_xor_si128(a, bias), b = _mm_xor_si128(b, bias);
    __m128i sum = _mm_packs_epi32(_mm_madd_epi16(a, ones), _mm_madd_epi16(b, ones));
    if (kBias) sum = _mm_xor_si128(sum, bias);
    if (kBig) sum = Swap16(sum);
    Store(out + 2 * static_cast<size_t>(i), sum);
  }
#endif
  for (; i < frames; ++i) {
    const uint8_t* f = in + 4 * static_cast<size_t>(i);
    int left =
        static_cast<int>(static_cast<int16_t>(static_cast<uint16_t>((f[hi] << 8) | f[lo]) ^ kBias));
    int right = static_cast<int>(
        static_cast<int16_t>(static_cast<uint16_t>((f[2 + hi] << 8) | f[2 + lo]) ^ kBias));
    unsigned sum =
        static_cast<unsigned>(Clip(left + right, -32768, 32767)) ^ static_cast<unsigned>(kBias);
    out[2 * static_cast<size_t>(i) + hi] = static_cast<uint8_t>(sum >> 8);
    out[2 * static_cast<size_t>(i) + lo] = static_cast<uint8_t>(sum);
  }
}

template <int kBias>
void Mix8(const uint8_t* in, uint32_t frames, uint8_t* out) {
  for (uint32_t i = 0; i < frames; ++i) {
    int left = static_cast<int>(static_cast<int8_t>(in[2 * static_cast<size_t>(i)] ^ kBias));
    int right = static_cast<int>(static_cast<int8_t>(in[2 * static_cast<size_t>(i) + 1] ^ kBias));
    out[i] = static_cast<uint8_t>(Clip(left + right, -128, 127) ^ kBias);
  }
}

template <unsigned kSize>
void Double(const uint8_t* __restrict in, uint32_t frames, uint8_t* __restrict out) {
  for (uint32_t i = 0; i < frames; ++i) {
    std::memcpy(out + 2 * kSize * static_cast<size_t>(i), in + kSize * static_cast<size_t>(i),
                kSize);
    std::memcpy(out + 2 * kSize * static_cast<size_t>(i) + kSize,
                in + kSize * static_cast<size_t>(i), kSize);
  }
}

template <unsigned kSize>
void Halve(const uint8_t* in, uint32_t kept, uint8_t* out) {
  for (uint32_t i = 0; i < kept; ++i)
    std::memmove(out + kSize * static_cast<size_t>(i), in + 2 * kSize * static_cast<size_t>(i),
                 kSize);
}

}  // namespace

void SwapBytes16(uint8_t* data, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t v;
    std::memcpy(&v, data + 2 * static_cast<size_t>(i), 2);
    v = static_cast<uint16_t>((v >> 8) | (v << 8));
    std::memcpy(data + 2 * static_cast<size_t>(i), &v, 2);
  }
}

void FlipSign(uint8_t* data, uint32_t size, int format) {
  if (SampleBytes(format) != 2) {
    for (uint32_t i = 0; i < size; ++i) data[i] ^= 0x80;
    return;
  }
  // A 64-bit mask with 0x80 on every high byte, laid out in memory order.
  uint8_t pattern[8];
  for (int i = 0; i < 8; ++i) pattern[i] = ((i & 1) == ((format & 0x1000) ? 0 : 1)) ? 0x80 : 0;
  uint64_t mask;
  std::memcpy(&mask, pattern, 8);
  uint32_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t v;
    std::memcpy(&v, data + i, 8);
    v ^= mask;
    std::memcpy(data + i, &v, 8);
  }
  for (; i < size; ++i) data[i] ^= pattern[i & 7];
}

void Widen8to16(const uint8_t* __restrict in, uint32_t count, uint8_t* __restrict out,
                bool bigEndian) {
  const int hi = bigEndian ? 0 : 1;
  uint32_t i = 0;
#if QVR_CONVERT_SSE2
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    __m128i v = Load(in + i);
    Store(out + 2 * static_cast<size_t>(i),
          bigEndian ? _mm_unpacklo_epi8(v, zero) : _mm_unpacklo_epi8(zero, v));
    Store(out + 2 * static_cast<size_t>(i) + 16,
          bigEndian ? _mm_unpackhi_epi8(v, zero) : _mm_unpackhi_epi8(zero, v));
  }
#endif
  for (; i < count; ++i) {
    out[2 * static_cast<size_t>(i) + hi] = in[i];
    out[2 * static_cast<size_t>(i) + 1 - hi] = 0;
  }
}

void Narrow16to8(const uint8_t* in, uint32_t count, uint8_t* out, bool bigEndian) {
  const int hi = bigEndian ? 0 : 1;
  uint32_t i = 0;
#if QVR_CONVERT_SSE2
  // The kept byte is moved to the low half of each word, where packuswb
  // passes it unchanged.
  const __m128i low = _mm_set1_epi16(0x00FF);
  for (; i + 16 <= count; i += 16) {
    __m128i a = Load(in + 2 * static_cast<size_t>(i)),
            b = Load(in + 2 * static_cast<size_t>(i) + 16);
    if (bigEndian)
      a = _mm_and_si128(a, low), b = _mm_and_si128(b, low);
    else
      a = _mm_srli_epi16(a, 8), b = _mm_srli_epi16(b, 8);
    Store(out + i, _mm_packus_epi16(a, b));
  }
#endif
  for (; i < count; ++i) out[i] = in[2 * static_cast<size_t>(i) + hi];
}

void DoubleFrames(const uint8_t* in, uint32_t frames, unsigned frameSize, uint8_t* out) {
  switch (frameSize) {
    case 1:
      Double<1>(in, frames, out);
      break;
    case 2:
      Double<2>(in, frames, out);
      break;
    case 4:
      Double<4>(in, frames, out);
      break;
    default:
      for (uint32_t i = 0; i < frames; ++i) {
        std::memcpy(out + 2 * static_cast<size_t>(frameSize) * i,
                    in + static_cast<size_t>(frameSize) * i, frameSize);
        std::memcpy(out + static_cast<size_t>(frameSize) * (2 * static_cast<size_t>(i) + 1),
                    in + static_cast<size_t>(frameSize) * i, frameSize);
      }
  }
}

uint32_t HalveFrames(const uint8_t* in, uint32_t frames, unsigned frameSize, uint8_t* out) {
  uint32_t kept = frames / 2 + (frames & 1);
  switch (frameSize) {
    case 1:
      Halve<1>(in, kept, out);
      break;
    case 2:
      Halve<2>(in, kept, out);
      break;
    case 4:
      Halve<4>(in, kept, out);
      break;
    default:
      for (uint32_t i = 0; i < kept; ++i)
        std::memmove(out + static_cast<size_t>(frameSize) * i,
                     in + 2 * static_cast<size_t>(frameSize) * i, frameSize);
  }
  return kept;
}

void MixToMono(const uint8_t* in, uint32_t frames, int format, uint8_t* out) {
  const bool isSigned = (format & 0x8000) != 0;
  if (SampleBytes(format) == 2) {
    const bool big = (format & 0x1000) != 0;
    if (big)
      isSigned ? Mix16<true, 0>(in, frames, out) : Mix16<true, 0x8000>(in, frames, out);
    else
      isSigned ? Mix16<false, 0>(in, frames, out) : Mix16<false, 0x8000>(in, frames, out);
  } else {
    isSigned ? Mix8<0>(in, frames, out) : Mix8<0x80>(in, frames, out);
  }
}

void MonoToStereo(const uint8_t* in, uint32_t count, unsigned sampleBytes, uint8_t* out) {
  DoubleFrames(in, count, sampleBytes, out);
}

}  // namespace qvr::detail
