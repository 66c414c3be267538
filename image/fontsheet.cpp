// Reader of the glyph sheet of a version-2 font file as an image:
//   "QVRF", version byte 2, offsets u32 of the info, glyph and sheet blocks
//   (from the start of the file); sheet: width u32, height u32, depth u8, rows
//   top to bottom: depth 1 (w + 7) / 8 bytes, depth 2 (w + 3) / 4 bytes (first
//   pixel in the top bits), depth 8, 24 or 32 w x depth / 8 bytes.
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

// Packed sheet rows of 1 or 2 bits per pixel become one byte per pixel.
bool ReadPackedRows(QVRImage& img, QVRResFile& file, unsigned depth, uint64_t rowBytes) {
  std::unique_ptr<uint8_t[]> packed(new (std::nothrow) uint8_t[static_cast<size_t>(rowBytes)]);
  if (!packed) return false;
  const uint32_t width = img.GetWidth();
  for (uint32_t y = 0; y < img.GetHeight(); ++y) {
    if (file.Read(packed.get(), static_cast<unsigned>(rowBytes)) != rowBytes) return false;
    uint8_t* row = img.GetPixels() + static_cast<size_t>(y) * width;
    const uint8_t* in = packed.get();
    if (depth == 1) {
      for (uint32_t x = 0; x < width; ++x) row[x] = (in[x >> 3] >> (7 - (x & 7))) & 1u;
    } else {
      for (uint32_t x = 0; x < width; ++x) row[x] = (in[x >> 2] >> (6 - 2 * (x & 3))) & 3u;
    }
  }
  return true;
}

}  // namespace

bool ReadFontSheet(QVRImage& img, QVRResFile& file) {
  if (!file.Good()) return false;
  const uint64_t base = file.GetPos();
  uint8_t magic[4];
  if (file.Read(magic, 4) != 4 || std::memcmp(magic, "QVRF", 4) != 0) return false;
  const uint8_t version = file.Read8();
  if (!file.Good()) return false;
  if (version != 2) {
    QVR::LOG("Font: unknown format version %d\n", static_cast<int>(version));
    return false;
  }
  uint8_t offsets[12];
  if (file.Read(offsets, 12) != 12 || !SeekTo(file, base + Get32(offsets + 8))) return false;
  uint8_t sheet[9];
  if (file.Read(sheet, 9) != 9) return false;
  const uint32_t width = Get32(sheet);
  const uint32_t height = Get32(sheet + 4);
  const unsigned depth = sheet[8];

  uint8_t*& pixels = ImageAccess::Pixels(img);
  uint64_t rowBytes;
  switch (depth) {
    case 1:
      rowBytes = (static_cast<uint64_t>(width) + 7) / 8;
      break;
    case 2:
      rowBytes = (static_cast<uint64_t>(width) + 3) / 4;
      break;
    case 8:
    case 24:
    case 32:
      rowBytes = static_cast<uint64_t>(width) * (depth / 8);
      break;
    default:
      delete[] pixels;
      pixels = nullptr;
      return false;
  }
  // The rows must be in the stream before their buffer is allocated.
  if (rowBytes * height > BytesLeft(file) ||
      !ReplacePixels(img, width, height, depth < 8 ? 8 : depth)) {
    delete[] pixels;
    pixels = nullptr;
    return false;
  }

  if (depth < 8) {
    if (!ReadPackedRows(img, file, depth, rowBytes)) return false;
    QVRPal* pal = PaletteOfSize(img, depth == 1 ? 2 : 4);
    if (pal == nullptr) return false;
    if (depth == 1) {
      pal->SetEntry(0, 0, 0, 0, 0);
      pal->SetEntry(1, 255, 255, 255, 0);
    } else {
      for (unsigned i = 0; i < 4; ++i)
        pal->SetEntry(i, static_cast<uint8_t>(i * 0x55), static_cast<uint8_t>(i * 0x55),
                      static_cast<uint8_t>(i * 0x55), 0);
    }
    return true;
  }
  const uint64_t bytes = rowBytes * height;
  if (file.Read(pixels, static_cast<unsigned>(bytes)) != bytes) return false;
  if (depth == 8) {
    // Exactly 256 levels, so that a larger palette in place does not spread
    // the grey ramp over more entries than a byte can index.
    QVRPal* pal = PaletteOfSize(img, 256);
    if (pal == nullptr) return false;
    pal->GenerateGreyScale(256);
  }
  return true;
}

}  // namespace qvr::detail
