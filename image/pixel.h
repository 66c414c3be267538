// Private helpers of the image code: pixel stores specialised by the number
// of bytes per pixel, the depth dispatch that picks one outside the loops, and
// the row kernels shared by QVRImage and the software screen.
#ifndef QVR_IMAGE_PIXEL_H
#define QVR_IMAGE_PIXEL_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qvr::detail {

// Largest size the drawing code can address in either direction: the clip
// rectangle is held in signed 16-bit fields.
constexpr unsigned kMaxDrawSize = 32767;

// One pixel of Bpp bytes, little-endian. Colour values follow the image
// conventions: 1 byte the low byte, 2 bytes the low word, 3 bytes the bytes
// c, c >> 8, c >> 16, 4 bytes the whole word. XOR at 1 byte applies the
// colour's low byte; wider pixels are inverted and the colour is ignored.
template <unsigned Bpp>
struct Pixel;

template <>
struct Pixel<1> {
  static void Put(uint8_t* p, uint32_t c) { p[0] = static_cast<uint8_t>(c); }
  static void Xor(uint8_t* p, uint32_t c) { p[0] ^= static_cast<uint8_t>(c); }
  static uint32_t Key(const uint8_t* p) { return p[0]; }
  static constexpr uint32_t kKeyMask = 0xFFu;
};

template <>
struct Pixel<2> {
  static void Put(uint8_t* p, uint32_t c) {
    p[0] = static_cast<uint8_t>(c);
    p[1] = static_cast<uint8_t>(c >> 8);
  }
  static void Xor(uint8_t* p, uint32_t) {
    p[0] ^= 0xFFu;
    p[1] ^= 0xFFu;
  }
  static uint32_t Key(const uint8_t* p) { return p[0] | static_cast<uint32_t>(p[1]) << 8; }
  static constexpr uint32_t kKeyMask = 0xFFFFu;
};

template <>
struct Pixel<3> {
  static void Put(uint8_t* p, uint32_t c) {
    p[0] = static_cast<uint8_t>(c);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c >> 16);
  }
  static void Xor(uint8_t* p, uint32_t) {
    p[0] ^= 0xFFu;
    p[1] ^= 0xFFu;
    p[2] ^= 0xFFu;
  }
  static uint32_t Key(const uint8_t* p) {
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
  }
  static constexpr uint32_t kKeyMask = 0xFFFFFFFFu;  // a key above 24 bits never matches
};

template <>
struct Pixel<4> {
  static void Put(uint8_t* p, uint32_t c) {
    p[0] = static_cast<uint8_t>(c);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c >> 16);
    p[3] = static_cast<uint8_t>(c >> 24);
  }
  static void Xor(uint8_t* p, uint32_t) {
    p[0] ^= 0xFFu;
    p[1] ^= 0xFFu;
    p[2] ^= 0xFFu;
    p[3] ^= 0xFFu;
  }
  static uint32_t Key(const uint8_t* p) {
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
  }
  static constexpr uint32_t kKeyMask = 0xFFFFFFFFu;
};

template <unsigned Bpp>
using BppTag = std::integral_constant<unsigned, Bpp>;

// Calls f(BppTag<n>) for the pixel sizes 1 to 4; other sizes do nothing and
// return false. Pixels of depths below 8 bits take one byte.
template <class F>
bool WithBpp(unsigned bytesPerPixel, F&& f) {
  switch (bytesPerPixel) {
    case 1:
      f(BppTag<1>());
      return true;
    case 2:
      f(BppTag<2>());
      return true;
    case 3:
      f(BppTag<3>());
      return true;
    case 4:
      f(BppTag<4>());
      return true;
    default:
      return false;
  }
}

// FillPixels for colours that are not one repeated byte.
void FillPattern(uint8_t* row, size_t count, uint32_t colour, unsigned bytesPerPixel);

// Stores the colour into `count` pixels of `bytesPerPixel` (1-4) bytes from
// `row`, with block fills wherever the result is the same. The one-byte case
// is inline: short runs of it are common and pay for every call.
inline void FillPixels(uint8_t* row, size_t count, uint32_t colour, unsigned bytesPerPixel) {
  if (bytesPerPixel == 1 || colour == 0) {
    std::memset(row, static_cast<int>(colour & 0xFF), count * bytesPerPixel);
    return;
  }
  FillPattern(row, count, colour, bytesPerPixel);
}

// Copies rows of `rowBytes` bytes; one block copy when both strides equal
// rowBytes.
void CopyRows(uint8_t* dst, size_t dstPitch, const uint8_t* src, size_t srcPitch, size_t rowBytes,
              size_t rows);

// Copies `count` pixels of `bytesPerPixel` (1-4) bytes from `src` to `dst`
// except those equal to `key` (compared as Pixel<Bpp>::Key). The two runs
// must not overlap.
void KeyCopyPixels(uint8_t* dst, const uint8_t* src, size_t count, uint32_t key,
                   unsigned bytesPerPixel);

// Chooses the row kernels: 0 scalar, 1 SSE2, 2 AVX2, 3 AVX-512 (F and BW,
// the key copy only; fills stay at AVX2); a level the processor lacks (or -1)
// picks the best it has. Returns the level in use. Results are
// the same at every level; tests use this to cover each.
int SetSimdLevel(int level);

}  // namespace qvr::detail

#endif
