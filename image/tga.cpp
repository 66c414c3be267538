// TGA codec: the reader of Truevision TGA files (colour-mapped, true-colour
// and grey, stored or run-length encoded) and the writers of both encodings.
//
// Header, 18 bytes: id length u8, colour-map type u8 (0 none, 1 present), image type u8
// (1 mapped, 2 true colour, 3 grey; +8 run-length), colour-map start u16, length u16, entry
// bits u8, x and y origin u16, width u16, height u16, pixel bits u8, descriptor u8 (bits 0-3
// alpha bits, bit 5 rows stored top-down). Then the id field, the colour map (entries blue,
// green, red, ...), and the pixels, bottom row first unless bit 5 is set. Pixels are blue,
// green, red, alpha; images keep the fourth byte as a transparency (255 - alpha).
// Run-length packets: header h, n = (h & 0x7F) + 1 pixels, one pixel repeated when bit 7 is
// set, otherwise n pixels; the reader lets packets run on into the next row.
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/codec.h"
#include "image/image_access.h"
#include "image/pixel.h"
#include "io/le.h"
#include "qvr3d/core.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

namespace {

constexpr unsigned kHeaderSize = 18;

// XOR mask turning the alpha byte of two 4-byte pixels into 255 - alpha,
// built from bytes so that it holds on any byte order.
inline uint64_t AlphaMask64() {
  static const uint8_t bytes[8] = {0, 0, 0, 0xFF, 0, 0, 0, 0xFF};
  uint64_t mask;
  std::memcpy(&mask, bytes, 8);
  return mask;
}

// Inverts the fourth byte of `count` 4-byte pixels in place, 16 bytes a step.
void FlipAlpha(uint8_t* p, size_t count) {
  size_t i = 0;
#if defined(__SSE2__)
  // x86 is little-endian: the alpha byte is the top byte of each word.
  const __m128i flip = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (; i + 16 <= count; i += 16, p += 64) {
    __m128i* v = reinterpret_cast<__m128i*>(p);
    const __m128i a = _mm_xor_si128(_mm_loadu_si128(v), flip);
    const __m128i b = _mm_xor_si128(_mm_loadu_si128(v + 1), flip);
    const __m128i c = _mm_xor_si128(_mm_loadu_si128(v + 2), flip);
    const __m128i d = _mm_xor_si128(_mm_loadu_si128(v + 3), flip);
    _mm_storeu_si128(v, a);
    _mm_storeu_si128(v + 1, b);
    _mm_storeu_si128(v + 2, c);
    _mm_storeu_si128(v + 3, d);
  }
#endif
  const uint64_t mask = AlphaMask64();
  for (; i + 4 <= count; i += 4, p += 16) {
    uint64_t a, b;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, 8);
    a ^= mask;
    b ^= mask;
    std::memcpy(p, &a, 8);
    std::memcpy(p + 8, &b, 8);
  }
  for (; i < count; ++i, p += 4) p[3] ^= 0xFF;
}

// Copies `count` 4-byte pixels and inverts their fourth byte.
void CopyFlipAlpha(uint8_t* dst, const uint8_t* src, size_t count) {
  std::memcpy(dst, src, count * 4);
  FlipAlpha(dst, count);
}

// Reads past `count` bytes (a seek could not pass the end of a memory
// stream that ends right there).
void SkipBytes(QVRResFile& file, uint64_t count) {
  uint8_t scratch[4096];
  while (count > 0) {
    const unsigned part = count < sizeof scratch ? static_cast<unsigned>(count)
                                                 : static_cast<unsigned>(sizeof scratch);
    if (file.Read(scratch, part) < part) return;
    count -= part;
  }
}

// ---- Run-length decoding ----------------------------------------------------

// Where decoding stands: the row being filled (file order) and the output.
struct RlePos {
  uint8_t* row;       // start of the image row being filled
  uint8_t* out;       // next pixel
  uint8_t* rowEnd;    // one past the row's last pixel
  ptrdiff_t step;     // from one file row to the next in memory
  uint32_t rowsLeft;  // rows not finished, the current one included
  // Null, or the image row that `row`, then a scratch row, is copied to with
  // streaming stores once full: large images are decoded a row at a time in
  // the first-level cache instead of through the caches into memory.
  uint8_t* target;
};

// Fast paths may read and write up to this many bytes past a packet; they
// run only when that much lies ahead in the input and in the current row
// (the bytes overwritten there belong to pixels later packets fill).
constexpr size_t kOverrun = 16;

// A pixel held in a word whose first B bytes in memory are the pixel's
// bytes (whatever the byte order), the alpha byte already inverted.
inline uint32_t AlphaMask32() {
  static const uint8_t bytes[4] = {0, 0, 0, 0xFF};
  uint32_t mask;
  std::memcpy(&mask, bytes, 4);
  return mask;
}

// `wide`: four bytes may be read at src even when B is smaller.
template <unsigned B, bool wide>
inline uint32_t LoadPixel(const uint8_t* src) {
  uint32_t v = 0;
  std::memcpy(&v, src, wide ? 4 : B);
  return B == 4 ? v ^ AlphaMask32() : v;
}

// Eight bytes of repeated pixels (B = 1, 2 or 4) from a LoadPixel word.
template <unsigned B>
inline uint64_t RepeatPixel(uint32_t v) {
  if (B == 4) return v | static_cast<uint64_t>(v) << 32;
  if (B == 2) {
    uint16_t h;
    std::memcpy(&h, &v, 2);
    return h * 0x0001000100010001ull;
  }
  uint8_t b;
  std::memcpy(&b, &v, 1);
  return b * 0x0101010101010101ull;
}

// n pixels of `v` in 16-byte steps (B = 3: four word stores a step), so up
// to 15 bytes past the run are written. The first step is unconditional:
// most runs fit in it.
template <unsigned B>
inline void FillRunFast(uint8_t* out, uint32_t v, size_t n) {
  uint8_t* const end = out + n * B;
  if (B == 3) {
    do {
      std::memcpy(out, &v, 4);
      std::memcpy(out + 3, &v, 4);
      std::memcpy(out + 6, &v, 4);
      std::memcpy(out + 9, &v, 4);
      out += 12;
    } while (out < end);
    return;
  }
  const uint64_t pattern = RepeatPixel<B>(v);
  do {
    std::memcpy(out, &pattern, 8);
    std::memcpy(out + 8, &pattern, 8);
    out += 16;
  } while (out < end);
}

// n pixels from `src`, in 16-byte steps that may pass the packet by up to
// kOverrun bytes on both sides.
template <unsigned B>
inline void CopyRawFast(uint8_t* out, const uint8_t* src, size_t n) {
  uint8_t* const end = out + n * B;
#if defined(__SSE2__)
  // Photo-like files are mostly raw packets of 128 pixels: copy them 64
  // bytes a step, then 16. x86 is little-endian: alpha is each word's top byte.
  const __m128i flip = _mm_set1_epi32(B == 4 ? static_cast<int>(0xFF000000u) : 0);
  for (; end - out >= 64; out += 64, src += 64) {
    const __m128i* s = reinterpret_cast<const __m128i*>(src);
    const __m128i a = _mm_xor_si128(_mm_loadu_si128(s), flip);
    const __m128i b = _mm_xor_si128(_mm_loadu_si128(s + 1), flip);
    const __m128i c = _mm_xor_si128(_mm_loadu_si128(s + 2), flip);
    const __m128i d = _mm_xor_si128(_mm_loadu_si128(s + 3), flip);
    __m128i* o = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(o, a);
    _mm_storeu_si128(o + 1, b);
    _mm_storeu_si128(o + 2, c);
    _mm_storeu_si128(o + 3, d);
  }
  for (; out < end; out += 16, src += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), flip));
#else
  const uint64_t mask = B == 4 ? AlphaMask64() : 0;
  do {
    uint64_t a, b;
    std::memcpy(&a, src, 8);
    std::memcpy(&b, src + 8, 8);
    a ^= mask;
    b ^= mask;
    std::memcpy(out, &a, 8);
    std::memcpy(out + 8, &b, 8);
    out += 16;
    src += 16;
  } while (out < end);
#endif
}

// Short packets (up to kShortBytes of pixels) without a branch on their
// kind: a run's repeated pixel and a raw packet's bytes are both formed and
// one is selected by mask, then kShortBytes are stored. Photo-like content
// mixes the two kinds at random, which costs a mispredicted branch each.
// Returns the input bytes of the packet; B is 1, 2 or 4.
constexpr size_t kShortBytes = 32;

template <unsigned B>
inline size_t ShortPacket(uint8_t* out, const uint8_t* packet, unsigned h) {
  const uint64_t run = 0 - static_cast<uint64_t>(h >> 7);
  uint32_t first;
  std::memcpy(&first, packet + 1, 4);
  // A 3-byte pixel repeats through the 4-byte pattern of RepeatPixel<4>.
  constexpr unsigned kPattern = B == 3 ? 4 : B;
  const uint64_t repeated = RepeatPixel<kPattern>(first) & run;
  const uint64_t mask = B == 4 ? AlphaMask64() : 0;
  uint64_t w[kShortBytes / 8];
  std::memcpy(w, packet + 1, kShortBytes);
  for (uint64_t& word : w) word = ((word & ~run) | repeated) ^ mask;
  std::memcpy(out, w, kShortBytes);
  const size_t n = (h & 0x7F) + 1;
  return 1 + ((B & run) | (n * B & ~run));
}

template <unsigned B>
inline void FillRunExact(uint8_t* out, uint32_t v, size_t n) {
  if (B == 1) {
    std::memset(out, static_cast<int>(v & 0xFF), n);
    return;
  }
  for (size_t i = 0; i < n; ++i, out += B) std::memcpy(out, &v, B);
}

template <unsigned B>
inline void CopyRawExact(uint8_t* out, const uint8_t* src, size_t n) {
  if (B == 4)
    CopyFlipAlpha(out, src, n);
  else
    std::memcpy(out, src, n * B);
}

// Moves to the next row once the current one is full; false after the last.
inline bool NextRowIfFull(RlePos& pos, size_t rowBytes) {
  if (pos.out != pos.rowEnd) return true;
  if (pos.target != nullptr) CopyOut(pos.target, pos.row, rowBytes, true);
  if (--pos.rowsLeft == 0) return false;
  if (pos.target != nullptr) {
    pos.target += pos.step;
    pos.out = pos.row;
    return true;
  }
  pos.row += pos.step;
  pos.out = pos.row;
  pos.rowEnd = pos.row + rowBytes;
  return true;
}

// Decodes packets until the image is full. False when the data ends first,
// with `failRow` and `failX` (bytes into the row) set for the message.
template <unsigned B>
bool DecodeRle(StreamInput& in, RlePos& pos, size_t rowBytes, uint32_t height, uint32_t& failRow,
               uint32_t& failX) {
  constexpr size_t kMaxPacket = 1 + 128 * B;
  bool shortData = false;
  while (!shortData) {
    if (in.Avail() < kMaxPacket + kOverrun) in.Refill(kMaxPacket + kOverrun);
    {
      // While whole packets are in view, those that end short of the row's
      // end need no further checks. Locals, not the structures' fields:
      // the pixel stores could alias those.
      const uint8_t* cur = in.cur;
      const uint8_t* const end = in.end;
      uint8_t* out = pos.out;
      uint8_t* const rowEnd = pos.rowEnd;
      while (static_cast<size_t>(end - cur) >= kMaxPacket + kOverrun) {
        const unsigned h = cur[0];
        const size_t bytes = ((h & 0x7F) + 1) * B;
        const size_t room = static_cast<size_t>(rowEnd - out);
        if (B != 3 && bytes <= kShortBytes && bytes + kShortBytes <= room) {
          cur += ShortPacket<B>(out, cur, h);
          out += bytes;
          continue;
        }
        if (bytes + kOverrun > room) break;
        if (h & 0x80) {
          FillRunFast<B>(out, LoadPixel<B, true>(cur + 1), bytes / B);
          cur += 1 + B;
        } else {
          CopyRawFast<B>(out, cur + 1, bytes / B);
          cur += 1 + bytes;
        }
        out += bytes;
      }
      in.cur = cur;
      pos.out = out;
    }

    // The general case: a packet at the end of a row or of the data.
    const int h = in.Byte();
    if (h < 0) break;
    size_t n = (h & 0x7F) + 1;
    if (h & 0x80) {
      if (!in.Refill(B)) break;
      const uint32_t pixel = LoadPixel<B, false>(in.cur);
      in.cur += B;
      while (n > 0) {
        const size_t room = static_cast<size_t>(pos.rowEnd - pos.out) / B;
        const size_t k = n < room ? n : room;
        FillRunExact<B>(pos.out, pixel, k);
        pos.out += k * B;
        n -= k;
        if (!NextRowIfFull(pos, rowBytes)) return true;
      }
    } else {
      while (n > 0) {
        const size_t room = static_cast<size_t>(pos.rowEnd - pos.out) / B;
        const size_t k = n < room ? n : room;
        if (!in.Refill(k * B)) {
          pos.out += in.Avail() / B * B;
          n = 0;
          shortData = true;
          break;
        }
        CopyRawExact<B>(pos.out, in.cur, k);
        in.cur += k * B;
        pos.out += k * B;
        n -= k;
        if (!NextRowIfFull(pos, rowBytes)) {
          in.Skip(n * B);  // the packet's pixels beyond the image
          return true;
        }
      }
    }
  }
  failRow = height - pos.rowsLeft;
  failX = static_cast<uint32_t>(pos.out - pos.row);
  if (pos.target != nullptr) CopyOut(pos.target, pos.row, failX, false);
  return false;
}

// ---- Run-length encoding ----------------------------------------------------

template <unsigned B>
inline bool SamePixel(const uint8_t* a, const uint8_t* b) {
  return std::memcmp(a, b, B) == 0;
}

// Encodes one row of `w` pixels into `out`; returns the bytes written. Every
// packet header stands for at least one pixel, so a row never takes more than
// w * (B + 1) bytes (one-byte pixels alternating a single literal and a run of
// two take 4 bytes per 3 pixels, more than the pixels themselves).
template <unsigned B>
size_t EncodeRow(const uint8_t* row, uint32_t w, uint8_t* out) {
  uint8_t* const start = out;
  uint32_t x = 0;
  while (x < w) {
    const uint8_t* p = row + static_cast<size_t>(x) * B;
    if (x + 1 < w && SamePixel<B>(p, p + B)) {
      uint32_t n = 2;
      while (x + n < w && n < 128 && SamePixel<B>(p, p + static_cast<size_t>(n) * B)) ++n;
      *out++ = static_cast<uint8_t>(0x80 | (n - 1));
      std::memcpy(out, p, B);
      out += B;
      x += n;
    } else {
      // A literal stretch ends where two equal neighbours begin.
      uint32_t end = x + 1;
      while (end < w && end - x < 128 &&
             !(end + 1 < w && SamePixel<B>(row + static_cast<size_t>(end) * B,
                                           row + static_cast<size_t>(end + 1) * B)))
        ++end;
      const uint32_t n = end - x;
      *out++ = static_cast<uint8_t>(n - 1);
      std::memcpy(out, p, static_cast<size_t>(n) * B);
      out += static_cast<size_t>(n) * B;
      x = end;
    }
  }
  return static_cast<size_t>(out - start);
}

}  // namespace

bool ReadTGA(QVRImage& img, QVRResFile& file) {
  if (!file.Good()) return false;
  uint8_t head[kHeaderSize];
  if (file.Read(head, kHeaderSize) < kHeaderSize) {
    QVR::LOG("TGA:: bad format\n");
    return false;
  }
  const unsigned idLength = head[0], mapType = head[1], type = head[2];
  uint32_t mapStart = Get16(head + 3), mapLength = Get16(head + 5);
  const unsigned mapBits = head[7];
  const uint32_t width = Get16(head + 12), height = Get16(head + 14);
  const unsigned depth = head[16], descriptor = head[17];
  if (mapType > 1) {
    QVR::LOG("TGA:: bad format\n");
    return false;
  }
  if (!(type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11)) {
    QVR::LOG("TGA:: Unsupported type %d\n", static_cast<int>(type));
    return false;
  }
  // Sizes and depths the image model cannot hold are refused outright.
  if (width == 0 || height == 0 ||
      !(depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32)) {
    QVR::LOG("TGA:: bad format\n");
    return false;
  }
  SkipBytes(file, idLength);
  const unsigned bytesPerPixel = (depth + 7) / 8;

  if (mapType == 1) {
    const unsigned entryBytes = (mapBits + 7) / 8;
    if (mapStart > 0) SkipBytes(file, static_cast<uint64_t>(mapStart) * entryBytes);
    if (mapStart > mapLength)
      QVR::LOG("TGA: Error, cmstart > cmlen !\n");
    else
      mapLength -= mapStart;
    if (mapLength != 0) {
      if (bytesPerPixel > 1) {
        QVR::LOG("TGA: Error colormap in %d bits mode\n", static_cast<int>(depth));
        return false;
      }
      QVRPal* pal = PaletteOfSize(img, mapLength);
      if (entryBytes < 3) {
        QVR::LOG("TGA: error in colormap depth = %d bytes.\n", static_cast<int>(entryBytes));
        return false;
      }
      // Read in slices: entries past the palette's limit are in the way of
      // the pixels but dropped.
      const unsigned kept = pal != nullptr ? pal->GetCount() : 0;
      constexpr unsigned kSlice = 256;
      std::vector<uint8_t> slice(static_cast<size_t>(kSlice) * entryBytes);
      bool ok = pal != nullptr;
      for (unsigned first = 0; ok && first < mapLength; first += kSlice) {
        const unsigned count = mapLength - first < kSlice ? mapLength - first : kSlice;
        ok = file.Read(slice.data(), count * entryBytes) == count * entryBytes;
        for (unsigned i = 0; ok && i < count && first + i < kept; ++i) {
          const uint8_t* m = slice.data() + static_cast<size_t>(i) * entryBytes;
          pal->SetEntry(first + i, m[2], m[1], m[0], 0);
        }
      }
      if (!ok) {
        QVR::LOG("TGA: Error reading palette\n");
        return false;
      }
    } else {
      QVRPal*& pal = ImageAccess::Palette(img);
      delete pal;
      pal = nullptr;
    }
  } else if ((type == 3 || type == 11) && depth == 8) {
    // Grey pixels are their own levels: give them the grey palette they
    // mean instead of whatever the image held before.
    QVRPal* pal = PaletteOfSize(img, 256);
    if (pal != nullptr)
      for (unsigned i = 0; i < 256; ++i)
        pal->SetEntry(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                      0);
  }

  // Nothing is allocated that the rest of the stream cannot fill: stored
  // pixels take their bytes, and a run packet of 1 + B bytes gives at most
  // 128 pixels.
  const uint64_t left = file.Good() ? BytesLeft(file) : 0;
  const uint64_t rowBytes = static_cast<uint64_t>(width) * bytesPerPixel;
  const bool rle = type >= 9;
  if (!rle && rowBytes * height > left) {
    QVR::LOG("TGA: Error reading data, line %d, x= %d", static_cast<int>(left / rowBytes),
             static_cast<int>(left % rowBytes));
    return false;
  }
  if (rle &&
      static_cast<uint64_t>(width) * height > (left + bytesPerPixel) / (1 + bytesPerPixel) * 128) {
    QVR::LOG("TGA: Error reading data, line %d, x= %d", 0, 0);
    return false;
  }

  if (!ReplacePixels(img, width, height, depth)) {
    QVR::LOG("TGA: not enough memory\n");
    return false;
  }
  const bool topDown = (descriptor & 0x20) != 0;
  const size_t pitch = img.GetPitch();
  uint8_t* const first = img.GetPixels() + (topDown ? 0 : (height - 1) * pitch);
  const ptrdiff_t step = topDown ? static_cast<ptrdiff_t>(pitch) : -static_cast<ptrdiff_t>(pitch);

  if (!rle) {
    if (bytesPerPixel != 4) {
      // A memory stream's rows are copied from its bytes without a read per
      // row, with streaming stores for large images. The size check above
      // makes sure every row is there.
      StreamInput in(file);
      if (in.InPlace() && in.Avail() >= rowBytes * height) {
        const bool streaming = rowBytes * height >= kStreamingBytes;
        for (uint32_t i = 0; i < height; ++i, in.cur += rowBytes)
          CopyOut(first + step * static_cast<ptrdiff_t>(i), in.cur, static_cast<size_t>(rowBytes),
                  streaming);
        if (streaming) StreamFence();
        return true;
      }
    }
    for (uint32_t i = 0; i < height; ++i) {
      uint8_t* row = first + step * static_cast<ptrdiff_t>(i);
      const unsigned got = file.Read(row, static_cast<unsigned>(rowBytes));
      if (got < rowBytes) {
        QVR::LOG("TGA: Error reading data, line %d, x= %d", static_cast<int>(i),
                 static_cast<int>(got));
        return false;
      }
      if (bytesPerPixel == 4) FlipAlpha(row, width);
    }
    return true;
  }

  StreamInput in(file);
  const bool streaming = rowBytes * height >= kStreamingBytes;
  std::vector<uint8_t> scratch(streaming ? static_cast<size_t>(rowBytes) : 0);
  uint8_t* const row = streaming ? scratch.data() : first;
  RlePos pos{row, row, row + rowBytes, step, height, streaming ? first : nullptr};
  uint32_t failRow = 0, failX = 0;
  bool ok = false;
  WithBpp(bytesPerPixel, [&](auto bpp) {
    ok = DecodeRle<decltype(bpp)::value>(in, pos, static_cast<size_t>(rowBytes), height, failRow,
                                         failX);
  });
  if (streaming) StreamFence();
  if (!ok) {
    QVR::LOG("TGA: Error reading data, line %d, x= %d", static_cast<int>(failRow),
             static_cast<int>(failX));
    return false;
  }
  return true;
}

bool WriteTGA(QVRImage& img, QVRResFile& file, bool rle) {
  if (!file.Good()) return false;
  const unsigned bytesPerPixel = img.GetBytesPerPixel();
  if (bytesPerPixel == 2) {
    QVR::LOG("TGA: can not handle 16 bits image.\n");
    return false;
  }
  const uint32_t w = img.GetWidth(), h = img.GetHeight();
  if (img.GetPixels() == nullptr || w == 0 || h == 0 || w > 0xFFFF || h > 0xFFFF ||
      bytesPerPixel > 4)
    return false;

  const QVRPal* pal = img.GetPalette();
  const bool mapped = bytesPerPixel == 1 && pal != nullptr && pal->GetCount() > 0;
  uint8_t header[kHeaderSize] = {};
  if (mapped) {
    header[1] = 1;
    header[2] = rle ? 9 : 1;
    Put16(header + 5, pal->GetCount());
    header[7] = 24;
  } else {
    // An 8-bit image without a palette can only mean grey levels; a true-colour
    // type with 8-bit pixels is something no reader understands.
    header[2] = static_cast<uint8_t>((bytesPerPixel == 1 ? 3 : 2) + (rle ? 8 : 0));
  }
  Put16(header + 12, w);
  Put16(header + 14, h);
  header[16] = static_cast<uint8_t>(img.GetBpp());
  header[17] = bytesPerPixel == 4 ? 8 : 0;
  file.Write(header, kHeaderSize);
  if (mapped) {
    std::vector<uint8_t> map(static_cast<size_t>(pal->GetCount()) * 3);
    for (unsigned i = 0; i < pal->GetCount(); ++i) {
      const uint8_t* e = pal->Entry(i);
      map[3 * i] = e[2];
      map[3 * i + 1] = e[1];
      map[3 * i + 2] = e[0];
    }
    file.Write(map.data(), static_cast<unsigned>(map.size()));
  }

  const size_t pitch = img.GetPitch();
  const size_t rowBytes = static_cast<size_t>(w) * bytesPerPixel;
  // The image keeps transparency in the fourth byte; the file wants alpha.
  std::vector<uint8_t> flipped(bytesPerPixel == 4 ? rowBytes : 0);
  std::vector<uint8_t> packed(rle ? rowBytes + w : 0);
  for (uint32_t y = h; y-- > 0 && file.Good();) {
    const uint8_t* row = img.GetPixels() + y * pitch;
    if (bytesPerPixel == 4) {
      CopyFlipAlpha(flipped.data(), row, w);
      row = flipped.data();
    }
    if (!rle) {
      file.Write(row, static_cast<unsigned>(rowBytes));
      continue;
    }
    size_t bytes = 0;
    WithBpp(bytesPerPixel,
            [&](auto bpp) { bytes = EncodeRow<decltype(bpp)::value>(row, w, packed.data()); });
    file.Write(packed.data(), static_cast<unsigned>(bytes));
  }
  if (!file.Good()) {
    QVR::LOG("TGA: error writing data\n");
    return false;
  }
  return true;
}

}  // namespace qvr::detail
