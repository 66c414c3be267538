// QVRFont: construction, range editing, text measures, the report, and the
// "QVRF" font file (little-endian throughout):
//   version 2: "QVRF", version byte 2, then three 32-bit offsets (counted
//              from the start of the file) of the info block (17), the glyph
//              table and the sheet block;
//   version 1: "QVRF", then the same three blocks back to back.
//   info:   name length n (1 byte, terminating zero counted), n name bytes,
//           first and last code (32 bits each), white size, spacing (1 byte
//           each), ascent, descent (signed 16 bits each)
//   glyphs: last - first + 1 records x, y (16), width, height (8), descent (16)
//   sheet:  width, height (32 bits each), depth (1 byte), then rows top to
//           bottom: depth 1 (w + 7) / 8 bytes, first pixel in the top bit;
//           depth 2 (w + 3) / 4 bytes, first pixel in the top two bits;
//           depth 8 w bytes.
#include "qvr3d/font.h"
#include "io/le.h"

#include <climits>
#include <cstring>
#include <new>

#include "io/streamutil.h"
#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/stream.h"

using qvr::detail::BytesLeft;
using qvr::detail::SeekTo;

namespace {

constexpr unsigned kInfoOffset = 17;
constexpr size_t kMaxNameLength = 254;  // the length byte also counts the zero
constexpr unsigned kGlyphBytes = 8;
constexpr unsigned kMaxGlyphs = 256;

char* CopyName(const char* name) {
  if (!name) return nullptr;
  size_t size = std::strlen(name) + 1;
  char* copy = new (std::nothrow) char[size];
  if (copy) std::memcpy(copy, name, size);
  return copy;
}

// Packed bytes of one sheet row at a file depth (1, 2 or 8).
uint64_t PackedRowBytes(uint64_t width, unsigned depth) {
  return depth == 1 ? (width + 7) / 8 : depth == 2 ? (width + 3) / 4 : width;
}

void UnpackRow(const uint8_t* packed, uint8_t* row, uint32_t width, unsigned depth) {
  if (depth == 1) {
    for (uint32_t k = 0; k < width; ++k) row[k] = (packed[k / 8] >> (7 - k % 8)) & 1u;
  } else {
    for (uint32_t k = 0; k < width; ++k) row[k] = (packed[k / 4] >> (6 - 2 * (k % 4))) & 3u;
  }
}

void PackRow(const uint8_t* row, uint8_t* packed, uint32_t width, unsigned depth) {
  std::memset(packed, 0, static_cast<size_t>(PackedRowBytes(width, depth)));
  if (depth == 1) {
    for (uint32_t k = 0; k < width; ++k)
      if (row[k]) packed[k / 8] |= static_cast<uint8_t>(0x80u >> (k % 8));
  } else {
    for (uint32_t k = 0; k < width; ++k)
      packed[k / 4] |= static_cast<uint8_t>((row[k] & 3u) << (6 - 2 * (k % 4)));
  }
}

// Owns a buffer until released, so that every early return frees it.
template <class T>
struct Owned {
  T* ptr = nullptr;
  ~Owned() { delete[] ptr; }
  T* Release() {
    T* p = ptr;
    ptr = nullptr;
    return p;
  }
};

}  // namespace

QVRFont::QVRFont(const char* file)
    : m_name(nullptr),
      m_sheet(nullptr),
      m_sheetWidth(0),
      m_sheetHeight(0),
      m_first(0),
      m_last(0),
      m_chars(nullptr),
      m_ascent(0),
      m_descent(0),
      m_spacing(0),
      m_whiteSize(0),
      m_depth(0) {
  if (!file || !*file) return;
  QVRFile in(file, QVRResFile::READ);
  if (!in.Good() || !Load(in, 0)) QVR::WARN("Font: bad file %s\n", file);
}

QVRFont::QVRFont(QVRResFile& file, int id) : QVRFont() {
  if (!file.Good() || !Load(file, id)) QVR::WARN("Font: bad resource file\n");
}

QVRFont::QVRFont(const char* name, unsigned first, unsigned last, const QVRImage* sheet,
                 unsigned char depth)
    : QVRFont() {
  m_name = CopyName(name);
  if (first > last) {
    unsigned t = first;
    first = last;
    last = t;
  }
  m_first = first > 255 ? 255 : first;
  m_last = last > 255 ? 255 : last;
  m_chars = new (std::nothrow) QVRChar[m_last - m_first + 1]();
  m_depth = depth;
  if (sheet) SetImage(sheet, depth);
}

QVRFont::~QVRFont() {
  delete[] m_name;
  delete[] m_sheet;
  delete[] m_chars;
}

void QVRFont::Free() {
  delete[] m_name;
  delete[] m_sheet;
  delete[] m_chars;
  m_name = nullptr;
  m_sheet = nullptr;
  m_chars = nullptr;
  m_sheetWidth = m_sheetHeight = 0;
  m_first = m_last = 0;
  m_spacing = m_whiteSize = 0;
  m_ascent = m_descent = 0;
}

unsigned QVRFont::MemoryUsed() const {
  uint64_t total = sizeof(QVRFont);
  if (m_sheet) total += static_cast<uint64_t>(m_sheetWidth) * m_sheetHeight * ((m_depth + 7u) / 8u);
  if (m_name) total += std::strlen(m_name);
  if (m_chars) total += static_cast<uint64_t>(kGlyphBytes) * (m_last - m_first + 1);
  return total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(total);
}

bool QVRFont::Load(QVRResFile& file, int id) {
  if ((id != 0 && id != 1) || !file.Good()) return false;
  const unsigned base = file.GetPos();
  char magic[4];
  if (file.Read(magic, 4) != 4 || std::memcmp(magic, "QVRF", 4) != 0) return false;
  uint8_t version = file.Read8();
  if (!file.Good()) return false;
  if (version != 2) {
    QVR::WARN("Font: unknown format version %d\n", static_cast<int>(version));
    return false;
  }
  uint32_t infoPos = file.Read32();
  uint32_t glyphPos = file.Read32();
  uint32_t sheetPos = file.Read32();
  if (!file.Good()) return false;
  Free();
  return SeekTo(file, static_cast<uint64_t>(base) + infoPos) &&
         LoadBlocks(file, true, static_cast<uint64_t>(base) + glyphPos,
                    static_cast<uint64_t>(base) + sheetPos);
}

bool QVRFont::LoadV1(QVRResFile& file, int id) {
  if ((id != 0 && id != 1) || !file.Good()) return false;
  char magic[4];
  if (file.Read(magic, 4) != 4 || std::memcmp(magic, "QVRF", 4) != 0) return false;
  Free();
  return LoadBlocks(file, false, 0, 0);
}

// Everything is read into locals first, so that a failure leaves the font as
// Free left it rather than half filled.
bool QVRFont::LoadBlocks(QVRResFile& file, bool seekToBlocks, uint64_t glyphPos,
                         uint64_t sheetPos) {
  uint8_t nameLength = file.Read8();
  char nameBytes[256];
  if (!file.Good() || (nameLength && file.Read(nameBytes, nameLength) != nameLength)) return false;
  nameBytes[nameLength] = 0;
  uint32_t first = file.Read32();
  uint32_t last = file.Read32();
  uint8_t whiteSize = file.Read8();
  uint8_t spacing = file.Read8();
  int16_t ascent = static_cast<int16_t>(file.Read16());
  int16_t descent = static_cast<int16_t>(file.Read16());
  if (!file.Good()) return false;
  if (first > last || last > 255) {
    QVR::WARN("Font: bad character range %u - %u\n", static_cast<unsigned>(first),
              static_cast<unsigned>(last));
    return false;
  }

  const unsigned glyphCount = last - first + 1;
  uint8_t raw[kMaxGlyphs * kGlyphBytes];
  if (seekToBlocks && !SeekTo(file, glyphPos)) return false;
  if (file.Read(raw, glyphCount * kGlyphBytes) != glyphCount * kGlyphBytes) return false;

  if (seekToBlocks && !SeekTo(file, sheetPos)) return false;
  uint32_t width = file.Read32();
  uint32_t height = file.Read32();
  uint8_t depth = file.Read8();
  if (!file.Good()) return false;
  if (depth != 1 && depth != 2 && depth != 8) {
    QVR::WARN("Font: unknown sheet depth %d\n", static_cast<int>(depth));
    return false;
  }
  // Both sizes are checked before anything is allocated: the pixels must fit
  // the 32-bit sizes of the font, and the packed rows must be in the stream.
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  const uint64_t rowBytes = PackedRowBytes(width, depth);
  const uint64_t packedBytes = rowBytes * height;
  if (pixels > 0xFFFFFFFFu - sizeof(QVRFont) || (packedBytes && packedBytes > BytesLeft(file))) {
    QVR::WARN("Font: bad sheet size %u x %u\n", static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    return false;
  }

  Owned<uint8_t> sheet;
  if (pixels) {
    sheet.ptr = new (std::nothrow) uint8_t[static_cast<size_t>(pixels)];
    if (!sheet.ptr) {
      QVR::WARN("Font: cannot allocate a %u x %u sheet\n", static_cast<unsigned>(width),
                static_cast<unsigned>(height));
      return false;
    }
    if (depth == 8) {
      if (file.Read(sheet.ptr, static_cast<unsigned>(pixels)) != static_cast<unsigned>(pixels))
        return false;
    } else {
      Owned<uint8_t> packed;
      packed.ptr = new (std::nothrow) uint8_t[static_cast<size_t>(rowBytes)];
      if (!packed.ptr) return false;
      for (uint32_t row = 0; row < height; ++row) {
        if (file.Read(packed.ptr, static_cast<unsigned>(rowBytes)) !=
            static_cast<unsigned>(rowBytes))
          return false;
        UnpackRow(packed.ptr, sheet.ptr + static_cast<size_t>(row) * width, width, depth);
      }
    }
  }

  Owned<QVRChar> chars;
  chars.ptr = new (std::nothrow) QVRChar[glyphCount];
  Owned<char> name;
  name.ptr = CopyName(nameBytes);
  if (!chars.ptr || !name.ptr) return false;
  for (unsigned i = 0; i < glyphCount; ++i) {
    const uint8_t* r = raw + i * kGlyphBytes;
    chars.ptr[i].x = static_cast<uint16_t>(qvr::detail::Get16(r));
    chars.ptr[i].y = static_cast<uint16_t>(qvr::detail::Get16(r + 2));
    chars.ptr[i].width = r[4];
    chars.ptr[i].height = r[5];
    chars.ptr[i].descent = static_cast<int16_t>(qvr::detail::Get16(r + 6));
  }

  m_name = name.Release();
  m_chars = chars.Release();
  m_sheet = sheet.Release();
  m_sheetWidth = width;
  m_sheetHeight = height;
  m_first = first;
  m_last = last;
  m_whiteSize = whiteSize;
  m_spacing = spacing;
  m_ascent = ascent;
  m_descent = descent;
  m_depth = depth;
  return true;
}

bool QVRFont::Save(QVRResFile& file, int id) {
  if ((id != 0 && id != 1) || !file.Good() || !m_name) return false;
  const size_t nameLength = std::strlen(m_name);
  if (nameLength > kMaxNameLength) {
    QVR::WARN("Font: name of %u characters is too long to save\n",
              static_cast<unsigned>(nameLength));
    return false;
  }
  if (!m_sheet || (m_depth != 1 && m_depth != 2 && m_depth != 8)) return false;

  const unsigned base = file.GetPos();
  bool ok = file.Write("QVRF", 4) == 4 && file.Write8(2) && file.Write32(kInfoOffset) &&
            file.Write32(0) && file.Write32(0);
  ok = ok && file.Write8(static_cast<uint8_t>(nameLength + 1)) &&
       file.Write(m_name, static_cast<unsigned>(nameLength + 1)) == nameLength + 1 &&
       file.Write32(m_first) && file.Write32(m_last) && file.Write8(m_whiteSize) &&
       file.Write8(m_spacing) && file.Write16(static_cast<uint16_t>(m_ascent)) &&
       file.Write16(static_cast<uint16_t>(m_descent));
  if (!ok) return false;

  const unsigned glyphPos = file.GetPos() - base;
  for (unsigned c = m_first; ok && c <= m_last; ++c) {
    QVRChar g = m_chars ? m_chars[c - m_first] : QVRChar{};
    ok = file.Write16(g.x) && file.Write16(g.y) && file.Write8(g.width) && file.Write8(g.height) &&
         file.Write16(static_cast<uint16_t>(g.descent));
  }
  const unsigned sheetPos = file.GetPos() - base;
  ok = ok && file.Write32(m_sheetWidth) && file.Write32(m_sheetHeight) && file.Write8(m_depth);
  if (!ok) return false;

  if (m_depth == 8) {
    const unsigned bytes = m_sheetWidth * m_sheetHeight;
    if (file.Write(m_sheet, bytes) != bytes) return false;
  } else {
    const unsigned rowBytes = static_cast<unsigned>(PackedRowBytes(m_sheetWidth, m_depth));
    Owned<uint8_t> packed;
    packed.ptr = new (std::nothrow) uint8_t[rowBytes ? rowBytes : 1];
    if (!packed.ptr) return false;
    for (uint32_t row = 0; row < m_sheetHeight; ++row) {
      PackRow(m_sheet + static_cast<size_t>(row) * m_sheetWidth, packed.ptr, m_sheetWidth, m_depth);
      if (file.Write(packed.ptr, rowBytes) != rowBytes) return false;
    }
  }
  return SeekTo(file, static_cast<uint64_t>(base) + 9) && file.Write32(glyphPos) &&
         file.Write32(sheetPos);
}

void QVRFont::SetFirstChar(unsigned char c) {
  if (c > m_last || c == m_first) return;
  const unsigned count = m_last - c + 1;
  QVRChar* chars = new (std::nothrow) QVRChar[count]();
  if (!chars) return;
  if (m_chars) {
    if (c < m_first)
      std::memcpy(chars + (m_first - c), m_chars, sizeof(QVRChar) * (m_last - m_first + 1));
    else
      std::memcpy(chars, m_chars + (c - m_first), sizeof(QVRChar) * count);
  }
  delete[] m_chars;
  m_chars = chars;
  m_first = c;
}

void QVRFont::SetLastChar(unsigned char c) {
  if (c < m_first) return;
  const unsigned count = c - m_first + 1;
  QVRChar* chars = new (std::nothrow) QVRChar[count]();
  if (!chars) return;
  if (m_chars) {
    const unsigned kept = c > m_last ? m_last - m_first + 1 : count;
    std::memcpy(chars, m_chars, sizeof(QVRChar) * kept);
  }
  delete[] m_chars;
  m_chars = chars;
  m_last = c;
}

void QVRFont::SetChar(unsigned char c, const QVRChar* glyph) {
  if (!m_chars || c < m_first || c > m_last || c == ' ') return;
  m_chars[c - m_first] = glyph ? *glyph : QVRChar{};
}

bool QVRFont::SetImage(const QVRImage* sheet, unsigned char depth) {
  if (!sheet || sheet->GetBytesPerPixel() != (depth + 7u) / 8u) return false;
  const size_t bytes = static_cast<size_t>(sheet->GetPitch()) * sheet->GetHeight();
  uint8_t* copy = nullptr;
  if (bytes && sheet->GetPixels()) {
    copy = new (std::nothrow) uint8_t[bytes];
    if (!copy) return false;
    std::memcpy(copy, sheet->GetPixels(), bytes);
  }
  delete[] m_sheet;
  m_sheet = copy;
  m_sheetWidth = copy ? sheet->GetWidth() : 0;
  m_sheetHeight = copy ? sheet->GetHeight() : 0;
  m_depth = depth;
  return true;
}

void QVRFont::SetName(const char* name) {
  char* copy = CopyName(name);
  if (name && !copy) return;
  delete[] m_name;
  m_name = copy;
}

unsigned QVRFont::CharWidth(unsigned char c) const {
  if (c == ' ') return m_whiteSize;
  if (c == '\t') return 8u * m_whiteSize;
  const QVRChar* g = GetChar(c);
  return g ? g->width : 0;
}

unsigned QVRFont::CharHeight(unsigned char c) const {
  const QVRChar* g = c == ' ' ? nullptr : GetChar(c);
  return g ? g->height : 0;
}

unsigned QVRFont::TextWidth(const char* text, unsigned length) const {
  if (!m_name || !text || length == 0) return 0;
  uint64_t total = 0;
  for (unsigned i = 0; i < length && text[i]; ++i)
    total += CharWidth(static_cast<uint8_t>(text[i])) + m_spacing;
  if (total) total -= m_spacing;
  return total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(total);
}

void QVRFont::TextSize(const char* text, unsigned& width, unsigned& height, unsigned length) const {
  width = height = 0;
  if (!m_name || !text || length == 0) return;
  width = TextWidth(text, length);
  int above = 0, below = 0;
  for (unsigned i = 0; i < length && text[i]; ++i) {
    const unsigned char c = static_cast<uint8_t>(text[i]);
    const QVRChar* g = c == ' ' || c == '\t' ? nullptr : GetChar(c);
    if (!g) continue;
    if (g->height - g->descent > above) above = g->height - g->descent;
    if (g->descent > below) below = g->descent;
  }
  height = static_cast<unsigned>(above + below);
}

void QVRFont::PrintInfo(bool chars) const {
  if (!m_name) {
    QVR::LOG("Font not defined\n");
    return;
  }
  auto printable = [](unsigned c) { return c >= 0x20 && c <= 0x7F; };
  QVR::LOG("Font name       : %s\nFirst char      : %d", m_name, static_cast<int>(m_first));
  if (printable(m_first))
    QVR::LOG(" [%c]\n", static_cast<int>(m_first));
  else
    QVR::LOG("\n");
  QVR::LOG("Last char       : %d", static_cast<int>(m_last));
  if (printable(m_last))
    QVR::LOG(" [%c]\n", static_cast<int>(m_last));
  else
    QVR::LOG("\n");
  QVR::LOG("  Total         : %d\nChar spacing    : %d\nWhite char size : %d\n",
           static_cast<int>(m_last - m_first + 1), static_cast<int>(m_spacing),
           static_cast<int>(m_whiteSize));
  QVR::LOG("Ascent          : %d\nDescent         : %d\nFormat (bpp)    : %d\n",
           static_cast<int>(m_ascent), static_cast<int>(m_descent), static_cast<int>(m_depth));
  if (!chars) return;
  QVR::LOG("------------------- Characters :\n");
  for (unsigned c = m_first; c <= m_last; ++c) {
    const QVRChar g = m_chars ? m_chars[c - m_first] : QVRChar{};
    QVR::LOG("Char %d [%c] : %3d %3d %3d %3d %d\n", static_cast<int>(c),
             printable(c) ? static_cast<int>(c) : ' ', static_cast<int>(g.x), static_cast<int>(g.y),
             static_cast<int>(g.width), static_cast<int>(g.height), static_cast<int>(g.descent));
  }
}
