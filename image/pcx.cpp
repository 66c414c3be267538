// PCX codec: reader and writer of run-length encoded ZSoft PCX files with 8
// bits per plane and 1 (palette), 3 (red, green, blue) or 4 (and alpha) planes.
//
//   header, 128 bytes: 0x0A, version, encoding 1, bits per plane, Xmin, Ymin, Xmax, Ymax,
//     x and y resolution (u16 each, bytes 4-15), 16-colour palette (16-63), reserved (64),
//     planes (65), bytes per plane line u16 (66), palette information u16 (68), zero (70-127)
//   rows top to bottom, each the plane lines in order, every line run-length encoded on its
//     own: a byte 0xC0 | n repeats the next byte n times, any other byte stands for itself
//   version 5, 1 plane: 0x0C and 256 x red, green, blue after the image data
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "image/codec.h"
#include "image/image_access.h"
#include "io/le.h"
#include "qvr3d/core.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

namespace {

constexpr unsigned kHeaderSize = 128;
constexpr unsigned kMaxRun = 63;
constexpr unsigned kPaletteEntries = 256;

// The byte of a pixel that plane `plane` holds: red, green and blue planes go
// to the memory order blue, green, red, and a fourth (alpha) plane to the
// fourth byte, as every other 32-bit image in the library keeps it.
inline unsigned PlaneByte(unsigned plane, unsigned planes) {
  if (planes == 1) return 0;
  return plane < 3 ? 2 - plane : plane;
}

// Decodes one plane line of `lineBytes` values from the input, keeping the
// first `keep` in dst. Runs stop at the end of the line. False when the data
// ends first.
bool DecodeLine(StreamInput& in, uint8_t* dst, size_t keep, size_t lineBytes) {
  size_t x = 0;
  while (x < lineBytes) {
    if (in.Avail() < 2 && !in.Refill(2)) {
      // Fewer than two bytes are left in the stream: only a single value can
      // still be whole.
      if (in.Avail() == 0 || *in.cur >= 0xC0) return false;
      if (x < keep) dst[x] = *in.cur;
      ++in.cur;
      ++x;
      continue;
    }
    const uint8_t* cur = in.cur;
    const uint8_t* end = in.end;
    // The inner loop runs while a whole run (two bytes) is in view.
    while (x < lineBytes && end - cur >= 2) {
      const uint8_t b = *cur++;
      if (b < 0xC0) {
        if (x < keep) dst[x] = b;
        ++x;
        continue;
      }
      const uint8_t value = *cur++;
      size_t n = b & kMaxRun;
      if (n > lineBytes - x) n = lineBytes - x;
      if (x < keep) std::memset(dst + x, value, n < keep - x ? n : keep - x);
      x += n;
    }
    in.cur = cur;
  }
  return true;
}

// Appends the run-length encoding of `count` bytes at `src` (every `stride`
// bytes) to `out`; returns the new end.
uint8_t* EncodeLine(const uint8_t* src, size_t count, unsigned stride, uint8_t* out) {
  size_t x = 0;
  while (x < count) {
    const uint8_t value = src[x * stride];
    size_t run = 1;
    while (run < kMaxRun && x + run < count && src[(x + run) * stride] == value) ++run;
    if (run == 1 && value < 0xC0) {
      *out++ = value;
    } else {
      *out++ = static_cast<uint8_t>(0xC0 | run);
      *out++ = value;
    }
    x += run;
  }
  return out;
}

}  // namespace

bool ReadPCX(QVRImage& img, QVRResFile& file) {
  if (!file.Good()) return false;
  const uint64_t streamBytes = BytesLeft(file);
  uint8_t head[kHeaderSize];
  if (file.Read(head, kHeaderSize) != kHeaderSize || head[0] != 0x0A || head[2] != 1) return false;
  if (head[3] != 8) {
    std::fprintf(stderr, "PCX: format not supported, %d bits per pixel.\n",
                 static_cast<int>(head[3]));
    return false;
  }
  const unsigned version = head[1];
  const int64_t width = static_cast<int64_t>(Get16(head + 8)) - Get16(head + 4) + 1;
  const int64_t height = static_cast<int64_t>(Get16(head + 10)) - Get16(head + 6) + 1;
  const unsigned planes = head[65];
  const size_t lineBytes = Get16(head + 66);
  if (planes != 1 && planes != 3 && planes != 4) {
    QVR::LOG("PCX: format not supported, %u planes.\n", planes);
    return false;
  }
  // A plane line must hold the row, and a run of kMaxRun values takes two
  // bytes: a file whose data could not fill the buffer is refused before it
  // is allocated.
  const uint64_t dataBytes =
      static_cast<uint64_t>(lineBytes) * planes * static_cast<uint64_t>(height > 0 ? height : 0);
  if (width <= 0 || height <= 0 || static_cast<uint64_t>(width) > lineBytes ||
      dataBytes > (streamBytes - kHeaderSize) / 2 * kMaxRun + kMaxRun) {
    QVR::LOG("PCX: bad image size\n");
    return false;
  }
  if (!ReplacePixels(img, static_cast<uint64_t>(width), static_cast<uint64_t>(height), 8 * planes))
    return false;

  uint8_t* pixels = ImageAccess::Pixels(img);
  const size_t w = static_cast<size_t>(width);
  const size_t pitch = w * planes;
  std::unique_ptr<uint8_t[]> scratch;
  if (planes > 1) {
    scratch.reset(new (std::nothrow) uint8_t[pitch]);
    if (!scratch) return false;
  }
  {
    StreamInput in(file);
    for (int64_t y = 0; y < height; ++y) {
      uint8_t* row = pixels + static_cast<size_t>(y) * pitch;
      if (planes == 1) {
        if (!DecodeLine(in, row, w, lineBytes)) {
          QVR::LOG("PCX: unexpected end of image data\n");
          return false;
        }
        continue;
      }
      for (unsigned p = 0; p < planes; ++p)
        if (!DecodeLine(in, scratch.get() + p * w, w, lineBytes)) {
          QVR::LOG("PCX: unexpected end of image data\n");
          return false;
        }
      const uint8_t* r = scratch.get();
      const uint8_t* g = r + w;
      const uint8_t* b = g + w;
      if (planes == 3) {
        for (size_t x = 0; x < w; ++x) {
          row[3 * x] = b[x];
          row[3 * x + 1] = g[x];
          row[3 * x + 2] = r[x];
        }
      } else {
        const uint8_t* a = b + w;
        for (size_t x = 0; x < w; ++x) {
          row[4 * x] = b[x];
          row[4 * x + 1] = g[x];
          row[4 * x + 2] = r[x];
          row[4 * x + 3] = a[x];
        }
      }
    }

    // The palette of version 5 files follows the data after a 0x0C byte. Deeper
    // images keep the palette they have, as every reader of deep images does.
    if (version != 5 || planes != 1) return true;
    int marker;
    do marker = in.Byte();
    while (marker >= 0 && marker != 0x0C);
    if (marker < 0 || (in.Avail() == 0 && !in.Refill(1))) return true;
    uint8_t rgb[kPaletteEntries * 3] = {};
    in.Read(rgb, sizeof rgb);  // a cut table keeps black entries
    QVRPal* pal = PaletteOfSize(img, kPaletteEntries);
    if (pal == nullptr) return false;
    for (unsigned i = 0; i < kPaletteEntries; ++i)
      pal->SetEntry(i, rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 0);
  }
  return true;
}

bool WritePCX(QVRImage& img, QVRResFile& file) {
  if (!file.Good()) return false;
  const unsigned planes = img.GetBytesPerPixel();
  const uint32_t width = img.GetWidth(), height = img.GetHeight();
  const uint8_t* pixels = img.GetPixels();
  if (planes == 2 || planes == 0 || planes > 4 || pixels == nullptr || width == 0 || height == 0 ||
      width > 0xFFFF || height > 0xFFFF)
    return false;
  const unsigned lineBytes = (width + 1) & ~1u;

  uint8_t head[kHeaderSize] = {};
  head[0] = 0x0A;
  head[1] = 5;
  head[2] = 1;
  head[3] = 8;
  Put16(head + 8, width - 1);
  Put16(head + 10, height - 1);
  Put16(head + 12, 72);
  Put16(head + 14, 72);
  head[65] = static_cast<uint8_t>(planes);
  Put16(head + 66, lineBytes);
  Put16(head + 68, 1);
  file.Write(head, kHeaderSize);
  if (!file.Good()) {
    QVR::LOG("PCX: Error writing header\n");
    return false;
  }

  // Worst case: every value a two-byte run, and the padding byte.
  std::unique_ptr<uint8_t[]> encoded(new (std::nothrow)
                                         uint8_t[(2 * static_cast<size_t>(width) + 1) * planes]);
  if (!encoded) return false;
  const unsigned pitch = img.GetPitch();
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = pixels + static_cast<size_t>(y) * pitch;
    uint8_t* out = encoded.get();
    for (unsigned p = 0; p < planes; ++p) {
      out = EncodeLine(row + PlaneByte(p, planes), width, planes, out);
      if (width & 1) *out++ = 0;
    }
    const unsigned size = static_cast<unsigned>(out - encoded.get());
    if (file.Write(encoded.get(), size) != size) return false;
  }

  if (planes != 1) return true;
  uint8_t table[1 + kPaletteEntries * 3] = {0x0C};
  if (const QVRPal* pal = img.GetPalette()) {
    const unsigned count = pal->GetCount() < kPaletteEntries ? pal->GetCount() : kPaletteEntries;
    for (unsigned i = 0; i < count; ++i) std::memcpy(table + 1 + 3 * i, pal->Entry(i), 3);
  }
  const unsigned written = file.Write(table, sizeof table);
  if (written != sizeof table) {
    QVR::LOG("PCX: error writing color index %d\n",
             written == 0 ? 0 : static_cast<int>((written - 1) / 3));
    return false;
  }
  return true;
}

}  // namespace qvr::detail
