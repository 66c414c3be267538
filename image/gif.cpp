// GIF reader: GIF87a and GIF89a files, the first image only, as an 8-bit image.
//
//   "GIF87a" | "GIF89a"; screen: width u16, height u16, flags, background, aspect;
//   global colour table when flags bit 7: (2 << (flags & 7)) x red, green, blue;
//   blocks: '!' label sub-blocks...   (extension; 0xF9 = graphic control)
//           ',' left, top, width, height u16, flags (bit 7 local table, bit 6 interlace),
//               local table, minimum code size, sub-blocks of LZW codes
//           ';'                        (trailer)
//   sub-blocks: size byte (1..255) and that many bytes, ended by a zero size byte.
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

constexpr unsigned kMaxCodeBits = 12;
constexpr unsigned kTableSize = 1u << kMaxCodeBits;
// String copies move eight bytes at a time and may run up to seven bytes past
// the end of the output.
constexpr size_t kCopySlack = 8;

inline uint64_t Load64(const uint8_t* p) { return Get64(p); }

inline void Copy8(uint8_t* dst, const uint8_t* src) {
  uint64_t v;
  std::memcpy(&v, src, 8);
  std::memcpy(dst, &v, 8);
}

// Values of a graphic-control extension. They are read so that a damaged one
// is noticed as early as any other block, but an 8-bit image has no place for
// them.
struct GraphicControl {
  unsigned disposal = 0;
  bool userInput = false;
  unsigned delay = 0;
  int transparent = -1;
};

// Skips data sub-blocks up to and including the zero-size one (or the end of
// the stream).
void SkipSubBlocks(StreamInput& in) {
  for (;;) {
    const int size = in.Byte();
    if (size <= 0) return;
    in.Skip(static_cast<size_t>(size));
  }
}

// Least-significant-bit-first codes from the sub-blocks of one image, through
// a 64-bit bit buffer. While a sub-block still holds eight bytes in view they
// are loaded as one word.
class CodeReader {
 public:
  explicit CodeReader(StreamInput& in) : m_in(in) {}

  // Makes `width` bits available; false when the code data ends first.
  bool Ensure(unsigned width) {
    if (m_bits >= width) return true;
    Fill();
    return m_bits >= width;
  }
  unsigned Take(unsigned width) {
    const unsigned code = static_cast<unsigned>(m_buffer) & ((1u << width) - 1);
    m_buffer >>= width;
    m_bits -= width;
    return code;
  }
  // Leaves the stream after the image's terminating sub-block.
  void SkipRest() {
    if (m_ended) return;
    m_ended = true;
    m_in.Skip(m_blockLeft);
    SkipSubBlocks(m_in);
  }

 private:
  void Fill();

  StreamInput& m_in;
  uint64_t m_buffer = 0;
  unsigned m_bits = 0;
  size_t m_blockLeft = 0;
  bool m_ended = false;  // terminating sub-block read, or the stream ended
};

void CodeReader::Fill() {
  while (m_bits <= 56 && !m_ended) {
    if (m_blockLeft >= 8 && m_in.Refill(8)) {
      const unsigned take = (64 - m_bits) >> 3;
      m_buffer |= Load64(m_in.cur) << m_bits;
      m_bits += take * 8;
      // The bytes that did not fit whole are read again next time.
      if (m_bits < 64) m_buffer &= (static_cast<uint64_t>(1) << m_bits) - 1;
      m_in.cur += take;
      m_blockLeft -= take;
      continue;
    }
    if (m_blockLeft == 0) {
      const int size = m_in.Byte();
      if (size <= 0) {
        m_ended = true;
        return;
      }
      m_blockLeft = static_cast<size_t>(size);
      continue;
    }
    const int byte = m_in.Byte();
    if (byte < 0) {
      m_ended = true;
      return;
    }
    m_buffer |= static_cast<uint64_t>(byte) << m_bits;
    m_bits += 8;
    --m_blockLeft;
  }
}

// Table entry: the code's string lies at out[offset, offset + length), where
// it was written when the code was first decoded. A new entry is the previous
// code's output grown by one byte, and that byte is the first of the output
// right after it, so strings are copied from earlier output and prefix chains
// are never walked.
struct Entry {
  uint32_t offset;
  uint32_t length;
};

// Decodes the code stream into out[0, capacity) (kCopySlack writable bytes
// beyond). Stops at the end code, a code beyond the next free slot, the end of
// the code data or a full output; returns the number of bytes written.
size_t DecodeLzw(CodeReader& codes, unsigned minBits, uint8_t* out, size_t capacity) {
  Entry table[kTableSize];
  const unsigned clear = 1u << minBits;
  const unsigned endCode = clear + 1;
  unsigned width = minBits + 1;
  unsigned next = clear + 2;
  size_t pos = 0;
  size_t prevPos = 0;
  size_t prevLength = 0;
  bool havePrev = false;

  while (pos < capacity) {
    if (!codes.Ensure(width)) break;
    const unsigned code = codes.Take(width);
    size_t length;
    if (code < clear) {
      out[pos] = static_cast<uint8_t>(code);
      length = 1;
    } else if (code == clear) {
      width = minBits + 1;
      next = clear + 2;
      havePrev = false;
      continue;
    } else if (code == endCode) {
      break;
    } else if (code < next) {
      // The string ends before pos: a plain copy, eight bytes at a time (a
      // string longer than eight lies at least its length back).
      length = table[code].length;
      const size_t n = length < capacity - pos ? length : capacity - pos;
      const uint8_t* src = out + table[code].offset;
      uint8_t* dst = out + pos;
      for (size_t i = 0; i < n; i += 8) Copy8(dst + i, src + i);
    } else if (code == next && havePrev) {
      // The entry being made: the previous string and its own first byte,
      // which lie right before pos, so the copy overlaps by prevLength.
      length = prevLength + 1;
      const size_t n = length < capacity - pos ? length : capacity - pos;
      const uint8_t* src = out + prevPos;
      uint8_t* dst = out + pos;
      if (prevLength >= 8) {
        for (size_t i = 0; i < n; i += 8) Copy8(dst + i, src + i);
      } else {
        for (size_t i = 0; i < n; ++i) dst[i] = src[i];
      }
    } else {
      break;  // a code the table does not hold yet: the data is damaged
    }
    if (havePrev && next < kTableSize) {
      table[next].offset = static_cast<uint32_t>(prevPos);
      table[next].length = static_cast<uint32_t>(prevLength + 1);
      ++next;
    }
    // Checked after every code, not only after a new entry: with a minimum
    // code size of 1 the first free slot is already 2^width, and encoders
    // widen right after the first code.
    if (next == (1u << width) && width < kMaxCodeBits) ++width;
    havePrev = true;
    prevPos = pos;
    prevLength = length;
    pos += length;
  }
  return pos < capacity ? pos : capacity;
}

// Most pixels `bytes` bytes of code data can expand to with codes of at
// least `minWidth` bits: after a clear the k-th code's string holds at most
// k bytes, and no string exceeds the table size.
uint64_t MaxDecodedPixels(uint64_t bytes, unsigned minWidth) {
  const uint64_t codes = bytes * 8 / minWidth;
  if (codes <= kTableSize) return codes * (codes + 1) / 2;
  return static_cast<uint64_t>(kTableSize) * (kTableSize + 1) / 2 +
         (codes - kTableSize) * kTableSize;
}

// Reads `count` colour-table entries; false (with the messages) on a short read.
bool ReadColourTable(StreamInput& in, uint8_t* rgb, unsigned count, const char* which) {
  if (in.Read(rgb, static_cast<size_t>(count) * 3) == static_cast<size_t>(count) * 3) return true;
  QVR::LOG("GIF: bad colormap\n");
  QVR::LOG("GIF: error reading %s colormap\n", which);
  return false;
}

// Puts interlaced rows, stored pass after pass in `linear`, into their places.
void Deinterlace(const uint8_t* linear, uint8_t* pixels, uint32_t width, uint32_t height) {
  static const uint32_t kStart[4] = {0, 4, 2, 1};
  static const uint32_t kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (uint32_t y = kStart[pass]; y < height; y += kStep[pass]) {
      std::memcpy(pixels + static_cast<size_t>(y) * width, linear, width);
      linear += width;
    }
}

}  // namespace

bool ReadGIF(QVRImage& img, QVRResFile& file) {
  if (!file.Good()) return false;
  // An upper bound for every later point of the read.
  const uint64_t streamBytes = BytesLeft(file);
  StreamInput in(file);

  uint8_t magic[6];
  if (in.Read(magic, 6) != 6 || std::memcmp(magic, "GIF8", 4) != 0 ||
      (magic[4] != '7' && magic[4] != '9') || magic[5] != 'a') {
    QVR::LOG("GIF: error reading magic number\n");
    return false;
  }
  uint8_t screen[7];
  if (in.Read(screen, 7) != 7) {
    QVR::LOG("GIF: failed to read screen descriptor\n");
    return false;
  }
  uint8_t globalTable[256 * 3];
  unsigned globalCount = 0;
  if (screen[4] & 0x80) {
    globalCount = 2u << (screen[4] & 7);
    if (!ReadColourTable(in, globalTable, globalCount, "global")) return false;
  }

  uint8_t*& pixels = ImageAccess::Pixels(img);
  delete[] pixels;
  pixels = nullptr;

  GraphicControl control;
  unsigned imagesMet = 0;
  for (;;) {
    const int introducer = in.Byte();
    if (introducer < 0) {
      QVR::LOG("GIF: EOF / read error on image data\n");
      return false;
    }
    if (introducer == '!') {
      const int label = in.Byte();
      if (label < 0) {
        QVR::LOG("GIF: EOF / read error on extension function code\n");
        return false;
      }
      if (label == 0xF9) {
        const int size = in.Byte();
        if (size >= 4) {
          uint8_t gc[4];
          if (in.Read(gc, 4) == 4) {
            control.disposal = (gc[0] >> 2) & 7;
            control.userInput = (gc[0] & 2) != 0;
            control.delay = Get16(gc + 1);
            control.transparent = (gc[0] & 1) ? gc[3] : -1;
          }
          in.Skip(static_cast<size_t>(size) - 4);
        } else if (size > 0) {
          in.Skip(static_cast<size_t>(size));
        }
        if (size > 0) SkipSubBlocks(in);
      } else {
        SkipSubBlocks(in);
      }
      continue;
    }
    if (introducer == ';') {
      QVR::LOG("GIF: only %d/%d images found in file\n", 0, 1);
      return false;
    }
    if (introducer != ',') continue;  // stray bytes between blocks

    uint8_t desc[9];
    if (in.Read(desc, 9) != 9) {
      QVR::LOG("GIF: couldn't read left/top/width/height\n");
      return false;
    }
    const uint32_t width = Get16(desc + 4);
    const uint32_t height = Get16(desc + 6);
    const uint8_t flags = desc[8];
    uint8_t localTable[256 * 3];
    const uint8_t* table = globalCount ? globalTable : nullptr;
    unsigned tableCount = globalCount;
    if (flags & 0x80) {
      tableCount = 1u << ((flags & 7) + 1);
      if (!ReadColourTable(in, localTable, tableCount, "local")) return false;
      table = localTable;
    }
    if (++imagesMet > 1) {
      in.Byte();  // later images are not decoded
      SkipSubBlocks(in);
      continue;
    }

    // An impossible minimum code size means the code stream cannot start:
    // the image is dropped and its data skipped.
    const int minBits = in.Byte();
    if (minBits < 1 || minBits > 8) {
      QVR::LOG("GIF: error reading image\n");
      if (minBits >= 0) SkipSubBlocks(in);
      continue;
    }
    // Nothing is allocated for more pixels than the rest of the stream can
    // expand to.
    const uint64_t count = static_cast<uint64_t>(width) * height;
    if (count == 0 || count > MaxDecodedPixels(streamBytes, static_cast<unsigned>(minBits) + 1) ||
        !ReplacePixels(img, width, height, 8, kCopySlack)) {
      QVR::LOG("GIF: error reading image\n");
      return false;
    }
    const bool interlaced = (flags & 0x40) != 0;
    std::unique_ptr<uint8_t[]> linear;
    uint8_t* out = pixels;
    if (interlaced) {
      linear.reset(new (std::nothrow) uint8_t[static_cast<size_t>(count) + kCopySlack]);
      if (!linear) {
        QVR::LOG("GIF: error reading image\n");
        return false;
      }
      out = linear.get();
    }
    CodeReader codes(in);
    const size_t decoded =
        DecodeLzw(codes, static_cast<unsigned>(minBits), out, static_cast<size_t>(count));
    codes.SkipRest();
    // Pixels an early end of the code data leaves unwritten are index 0.
    std::memset(out + decoded, 0, static_cast<size_t>(count) - decoded);
    if (interlaced) Deinterlace(out, pixels, width, height);

    if (table != nullptr) {
      QVRPal* pal = PaletteOfSize(img, tableCount);
      if (pal == nullptr) return false;
      for (unsigned i = 0; i < tableCount; ++i)
        pal->SetEntry(i, table[3 * i], table[3 * i + 1], table[3 * i + 2], 0);
    } else {
      // No colour table at all: grey levels, so that every index shows.
      QVRPal* pal = PaletteOfSize(img, 256);
      if (pal == nullptr) return false;
      for (unsigned i = 0; i < 256; ++i)
        pal->SetEntry(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                      0);
    }
    (void)control;
    return true;
  }
}

}  // namespace qvr::detail
