// Sample-format conversions on raw PCM buffers: byte order, sign, 8/16 bits,
// rate doubling and halving by whole frames, and channel mixing. Samples are
// read and written byte by byte, so the results do not depend on the host's
// byte order; the compilers turn the loops into word moves.
#include "audio/convert.h"

#include <cstring>

namespace qvr {
namespace detail {

namespace {

inline int Clip(int value, int low, int high) {
  return value < low ? low : (value > high ? high : value);
}

// Sums stereo 16-bit pairs. `kBig` is the byte order, `kBias` 0 for signed
// samples and 0x8000 for unsigned ones (applied around the sum).
template <bool kBig, int kBias>
void Mix16(const uint8_t* __restrict in, uint32_t frames, uint8_t* __restrict out) {
  const int hi = kBig ? 0 : 1;
  const int lo = 1 - hi;
  for (uint32_t i = 0; i < frames; ++i) {
    const uint8_t* f = in + 4 * size_t(i);
    int left = int(int16_t(uint16_t((f[hi] << 8) | f[lo]) ^ kBias));
    int right = int(int16_t(uint16_t((f[2 + hi] << 8) | f[2 + lo]) ^ kBias));
    unsigned sum = unsigned(Clip(left + right, -32768, 32767)) ^ unsigned(kBias);
    out[2 * size_t(i) + hi] = uint8_t(sum >> 8);
    out[2 * size_t(i) + lo] = uint8_t(sum);
  }
}

template <int kBias>
void Mix8(const uint8_t* __restrict in, uint32_t frames, uint8_t* __restrict out) {
  for (uint32_t i = 0; i < frames; ++i) {
    int left = int(int8_t(in[2 * size_t(i)] ^ kBias));
    int right = int(int8_t(in[2 * size_t(i) + 1] ^ kBias));
    out[i] = uint8_t(Clip(left + right, -128, 127) ^ kBias);
  }
}

template <unsigned kSize>
void Double(const uint8_t* __restrict in, uint32_t frames, uint8_t* __restrict out) {
  for (uint32_t i = 0; i < frames; ++i) {
    std::memcpy(out + 2 * kSize * size_t(i), in + kSize * size_t(i), kSize);
    std::memcpy(out + 2 * kSize * size_t(i) + kSize, in + kSize * size_t(i), kSize);
  }
}

template <unsigned kSize>
void Halve(const uint8_t* __restrict in, uint32_t kept, uint8_t* __restrict out) {
  for (uint32_t i = 0; i < kept; ++i)
    std::memcpy(out + kSize * size_t(i), in + 2 * kSize * size_t(i), kSize);
}

}  // namespace

void SwapBytes16(uint8_t* data, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t v;
    std::memcpy(&v, data + 2 * size_t(i), 2);
    v = uint16_t((v >> 8) | (v << 8));
    std::memcpy(data + 2 * size_t(i), &v, 2);
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
  for (uint32_t i = 0; i < count; ++i) {
    out[2 * size_t(i) + hi] = in[i];
    out[2 * size_t(i) + 1 - hi] = 0;
  }
}

void Narrow16to8(const uint8_t* __restrict in, uint32_t count, uint8_t* __restrict out,
                 bool bigEndian) {
  const int hi = bigEndian ? 0 : 1;
  for (uint32_t i = 0; i < count; ++i) out[i] = in[2 * size_t(i) + hi];
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
        std::memcpy(out + 2 * size_t(frameSize) * i, in + size_t(frameSize) * i, frameSize);
        std::memcpy(out + size_t(frameSize) * (2 * size_t(i) + 1), in + size_t(frameSize) * i,
                    frameSize);
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
        std::memcpy(out + size_t(frameSize) * i, in + 2 * size_t(frameSize) * i, frameSize);
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

}  // namespace detail
}  // namespace qvr
