// BMP codec: the reader of Windows and OS/2 bitmaps (1, 4, 8, 16, 24 and 32
// bits, uncompressed or 8-bit run-length) and the writer of uncompressed files.
//
// File header, 14 bytes: "BM", file size u32, reserved u32, pixel-data offset u32.
// Info header, starting with its size u32:
//   12 (core):  width u16, height u16, planes u16, bit count u16; palette entries blue, green, red
//   40 or more: width i32, height i32 (negative: rows stored top-down), planes u16, bit count u16,
//               compression u32, image size u32, x and y resolution i32, colours used u32,
//               colours important u32; later fields (V4/V5 masks, colour space) are not read.
//               Palette entries blue, green, red, reserved.
// The palette follows the info header; rows start at the pixel-data offset, bottom row first,
// each padded to a multiple of 4 bytes. Run-length data (compression 1) is a list of byte pairs.
#include <cstring>
#include <vector>

#include "image/codec.h"
#include "image/image_access.h"
#include "io/le.h"
#include "qvr3d/core.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

namespace {

constexpr unsigned kFileHeaderSize = 14;
constexpr unsigned kCoreHeaderSize = 12;
constexpr unsigned kInfoHeaderSize = 40;

// Run-length data can paint a whole image with a handful of bytes (moves and
// an early end of bitmap), but no encoder gets near this many pixels per byte;
// files claiming more are refused before their buffer is allocated.
constexpr uint64_t kMaxRlePixelsPerByte = 4096;

struct BmpInfo {
  uint64_t start = 0;      // stream position of "BM"
  uint64_t dataStart = 0;  // stream position of the pixel data
  uint32_t headerSize = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  bool topDown = false;
  unsigned bits = 0;
  uint32_t compression = 0;
};

// Image row that the n-th stored row fills.
inline uint8_t* RowOf(QVRImage& img, const BmpInfo& info, uint32_t stored) {
  const uint32_t y = info.topDown ? stored : info.height - 1 - stored;
  return img.GetPixels() + static_cast<size_t>(y) * img.GetPitch();
}

// Rows of 8 bits and more from a memory stream, copied from its bytes without
// a read per row, and with streaming stores for large images. Leaves the
// stream after the last row's pixels; false, with nothing consumed, for other
// streams or when the stream holds less than all rows.
bool CopyRowsInPlace(QVRImage& img, QVRResFile& file, const BmpInfo& info, size_t packed,
                     unsigned pad) {
  StreamInput in(file);
  const size_t stride = packed + pad;
  const uint32_t h = info.height;
  if (!in.InPlace() || in.Avail() < static_cast<uint64_t>(h - 1) * stride + packed) return false;
  const bool streaming = static_cast<uint64_t>(img.GetPitch()) * h >= kStreamingBytes;
  for (uint32_t stored = 0; stored < h; ++stored) {
    CopyOut(RowOf(img, info, stored), in.cur, packed, streaming);
    in.cur += stored + 1 < h ? stride : packed;
  }
  if (streaming) StreamFence();
  return true;
}

bool ReadRows(QVRImage& img, QVRResFile& file, const BmpInfo& info) {
  const uint32_t w = info.width, h = info.height;
  const uint64_t packed = (static_cast<uint64_t>(w) * info.bits + 7) / 8;
  const unsigned pad = static_cast<unsigned>((4 - packed % 4) % 4);
  const bool unpack = info.bits < 8;
  uint8_t padBytes[4];
  if (!unpack && CopyRowsInPlace(img, file, info, static_cast<size_t>(packed), pad)) {
    // As the row reads below leave the stream: the last row's padding may be
    // cut short by the end of the data.
    if (pad != 0) file.Read(padBytes, pad);
    return true;
  }
  std::vector<uint8_t> scratch(unpack ? static_cast<size_t>(packed + pad) : 0);
  for (uint32_t stored = 0; stored < h; ++stored) {
    uint8_t* row = RowOf(img, info, stored);
    if (unpack) {
      // Padding comes with the packed bytes: one read per row either way.
      if (file.Read(scratch.data(), static_cast<unsigned>(packed + pad)) < packed) {
        QVR::LOG("BMP: error reading data\n");
        return false;
      }
      const uint8_t* in = scratch.data();
      if (info.bits == 1) {
        for (uint32_t x = 0; x < w; ++x) row[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
      } else {
        for (uint32_t x = 0; x + 1 < w; x += 2) {
          row[x] = in[x >> 1] >> 4;
          row[x + 1] = in[x >> 1] & 15;
        }
        if (w & 1) row[w - 1] = in[w >> 1] >> 4;
      }
    } else {
      if (file.Read(row, static_cast<unsigned>(packed)) < packed) {
        QVR::LOG("BMP: error reading data\n");
        return false;
      }
      // A read, not a seek: the padding of the last row may end the stream,
      // and the end of a memory stream is not a position one can seek to.
      if (pad != 0) file.Read(padBytes, pad);
    }
    if (stored + 1 < h && file.Eof()) {
      QVR::LOG("BMP: unexpected EOF\n");
      return false;
    }
  }
  return true;
}

// 8-bit run-length data. Pixels that runs, literal runs and moves would put
// beyond the right edge are dropped; a move past the last row ends decoding.
bool ReadRle8(QVRImage& img, QVRResFile& file, const BmpInfo& info) {
  const uint32_t w = info.width, h = info.height;
  std::memset(img.GetPixels(), 0, static_cast<size_t>(img.GetPitch()) * h);
  StreamInput in(file);
  uint32_t x = 0, stored = 0;
  uint8_t* row = RowOf(img, info, 0);
  for (;;) {
    if (!in.Refill(2)) break;
    const unsigned count = in.cur[0], value = in.cur[1];
    in.cur += 2;
    if (count != 0) {
      if (x < w) std::memset(row + x, static_cast<int>(value), count < w - x ? count : w - x);
      x = count < w - x ? x + count : w;
      continue;
    }
    if (value == 0 || value == 2) {  // end of line, or a move
      uint32_t dx = 0, dy = 1;
      if (value == 2) {
        if (!in.Refill(2)) break;
        dx = in.cur[0];
        dy = in.cur[1];
        in.cur += 2;
        x = dx < w - x ? x + dx : w;
      } else {
        x = 0;
      }
      if (dy >= h - stored) return true;
      stored += dy;
      if (dy != 0) row = RowOf(img, info, stored);
      continue;
    }
    if (value == 1) return true;                 // end of bitmap
    const size_t stretch = value + (value & 1);  // literal bytes, padded to a word
    if (!in.Refill(stretch)) break;
    if (x < w) std::memcpy(row + x, in.cur, value < w - x ? value : w - x);
    x = value < w - x ? x + value : w;
    in.cur += stretch;
  }
  QVR::LOG("BMP: unexpected EOF\n");
  return false;
}

}  // namespace

bool ReadBMP(QVRImage& img, QVRResFile& file) {
  if (!file.Good()) return false;
  BmpInfo info;
  info.start = file.GetPos();
  const uint64_t streamLeft = BytesLeft(file);
  uint8_t head[kFileHeaderSize + kInfoHeaderSize];
  if (file.Read(head, 10) < 10 || head[0] != 'B' || head[1] != 'M') {
    QVR::LOG("BMP: bad file header\n");
    return false;
  }
  // Info headers come as the 12-byte core header or as 40 bytes that later
  // versions (V4: 108, V5: 124) only extend; any other size has a layout of
  // its own, and reading it as either would produce garbage.
  const bool headerRead = file.Read(head + 10, 8) == 8;
  const uint32_t dataOffset = Get32(head + 10);
  info.headerSize = Get32(head + 14);
  const bool core = info.headerSize == kCoreHeaderSize;
  if (!headerRead || (!core && info.headerSize < kInfoHeaderSize)) {
    QVR::LOG("BMP: bad file header\n");
    return false;
  }
  const uint8_t* h = head + 18;
  const unsigned rest = (core ? kCoreHeaderSize : kInfoHeaderSize) - 4;
  if (file.Read(head + 18, rest) < rest) {
    QVR::LOG("BMP: bad file header\n");
    return false;
  }
  int64_t width, height;
  if (core) {
    width = Get16(h);
    height = Get16(h + 2);
    info.bits = Get16(h + 6);
  } else {
    width = static_cast<int32_t>(Get32(h));
    height = static_cast<int32_t>(Get32(h + 4));
    info.bits = Get16(h + 10);
    info.compression = Get32(h + 12);
  }
  if (info.compression > 1 || (info.compression == 1 && info.bits != 8)) {
    QVR::LOG("BMP: compressed data not supported.\n");
    return false;
  }
  info.topDown = height < 0;
  if (height < 0) height = -height;
  const unsigned bits = info.bits;
  if (width <= 0 || height == 0 ||
      !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
    QVR::LOG("BMP: bad file header\n");
    return false;
  }
  if (width > kMaxImageSide || height > kMaxImageSide) {
    QVR::LOG("BMP: can not allocate image\n");
    return false;
  }
  info.width = static_cast<uint32_t>(width);
  info.height = static_cast<uint32_t>(height);
  info.dataStart = info.start + dataOffset;

  // Refuse what the stream cannot back before allocating for it: all rows
  // but the last with their padding, the last one at least to its pixels.
  const uint64_t dataLeft = streamLeft > dataOffset ? streamLeft - dataOffset : 0;
  const uint64_t packed = (static_cast<uint64_t>(info.width) * bits + 7) / 8;
  const uint64_t stride = (packed + 3) & ~static_cast<uint64_t>(3);
  const bool backed = info.compression == 0 ? (info.height - 1) * stride + packed <= dataLeft
                                            : static_cast<uint64_t>(info.width) * info.height <=
                                                  dataLeft * kMaxRlePixelsPerByte;
  if (!backed) {
    QVR::LOG("BMP: unexpected EOF\n");
    return false;
  }

  if (!ReplacePixels(img, info.width, info.height, bits < 8 ? 8 : bits)) {
    QVR::LOG("BMP: can not allocate image\n");
    return false;
  }

  if (bits <= 8) {
    const unsigned count = 1u << bits;
    QVRPal* pal = PaletteOfSize(img, count);
    if (pal == nullptr || pal->GetCount() < count) {
      QVR::LOG("BMP: can not allocate image\n");
      return false;
    }
    // The palette is read from the gap between the header and the pixel
    // data; writers that list fewer colours than 2^bits leave the other
    // entries black rather than filled with pixel bytes.
    const unsigned entryBytes = core ? 3 : 4;
    const uint64_t paletteStart = kFileHeaderSize + static_cast<uint64_t>(info.headerSize);
    const uint64_t gap = dataOffset > paletteStart ? dataOffset - paletteStart : 0;
    const unsigned stored =
        gap / entryBytes < count ? static_cast<unsigned>(gap / entryBytes) : count;
    uint8_t table[256 * 4] = {};
    if (stored != 0 && SeekTo(file, info.start + paletteStart))
      file.Read(table, stored * entryBytes);
    uint8_t* e = pal->GetEntries();
    for (unsigned i = 0; i < count; ++i, e += 4) {
      const uint8_t* t = table + i * entryBytes;
      e[0] = t[2];
      e[1] = t[1];
      e[2] = t[0];
      e[3] = core ? 0 : t[3];
    }
  }

  if (!SeekTo(file, info.dataStart)) {
    QVR::LOG("BMP: error reading data\n");
    return false;
  }
  return info.compression == 1 ? ReadRle8(img, file, info) : ReadRows(img, file, info);
}

bool WriteBMP(QVRImage& img, QVRResFile& file) {
  const uint32_t w = img.GetWidth(), h = img.GetHeight();
  if (!file.Good() || w == 0 || h == 0 || img.GetPixels() == nullptr) return false;
  const unsigned bits = img.GetBytesPerPixel() * 8;
  const uint64_t pitch = img.GetPitch();
  const uint64_t stride = (pitch + 3) & ~static_cast<uint64_t>(3);

  // Only 8-bit images carry a palette in the file; a deeper image may keep
  // one in memory, but 2^24 or 2^32 slots would be nonsense. An 8-bit image
  // always gets its 256 slots so that other readers find the pixel data
  // where they expect it.
  const QVRPal* pal = img.GetPalette();
  const unsigned palCount = bits == 8 && pal != nullptr ? pal->GetCount() : 0;
  const unsigned used = palCount < 256 ? palCount : 256;
  const unsigned slots = bits == 8 ? 256 : 0;
  const uint64_t dataOffset = kFileHeaderSize + kInfoHeaderSize + 4ull * slots;
  if (dataOffset + stride * h > 0xFFFFFFFFull) {
    QVR::LOG("BMP: error writing data, line %d\n", 0);
    return false;
  }

  uint8_t header[kFileHeaderSize + kInfoHeaderSize] = {};
  header[0] = 'B';
  header[1] = 'M';
  // The size is known before the first byte goes out, so the header is
  // right at once and the stream ends up after the file, not inside it.
  Put32(header + 2, static_cast<uint32_t>(dataOffset + stride * h));
  Put32(header + 10, static_cast<uint32_t>(dataOffset));
  uint8_t* info = header + kFileHeaderSize;
  Put32(info, kInfoHeaderSize);
  Put32(info + 4, w);
  Put32(info + 8, h);
  Put16(info + 12, 1);
  Put16(info + 14, bits);
  Put32(info + 20, static_cast<uint32_t>(stride * h));  // the padded rows, as stored
  Put32(info + 32, used);
  Put32(info + 36, used);
  file.Write(header, sizeof header);
  if (slots != 0) {
    uint8_t table[256 * 4] = {};
    for (unsigned i = 0; i < used; ++i) {
      const uint8_t* e = pal->Entry(i);
      table[4 * i] = e[2];
      table[4 * i + 1] = e[1];
      table[4 * i + 2] = e[0];
      table[4 * i + 3] = e[3];
    }
    file.Write(table, 4 * slots);
  }

  std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
  for (uint32_t written = 0; written < h; ++written) {
    std::memcpy(row.data(), img.GetPixels() + static_cast<size_t>(h - 1 - written) * pitch,
                static_cast<size_t>(pitch));
    if (file.Write(row.data(), static_cast<unsigned>(stride)) < stride) {
      QVR::LOG("BMP: error writing data, line %d\n", static_cast<int>(written));
      return false;
    }
  }

  return true;
}

}  // namespace qvr::detail
