// Q3DFont: the metrics and glyph rectangles of a "QVRF" font file (version
// 2 layout, little-endian; see image/font.cpp) as texture coordinates of the
// padded glyph sheet, and text drawn as one textured quad per glyph.
#include "qvr3d/glfont.h"

#include <GL/gl.h>

#include <cstring>
#include <memory>
#include <new>

#include "io/streamutil.h"
#include "qvr3d/core.h"
#include "qvr3d/stream.h"
#include "qvr3d/texmgr.h"

using qvr::detail::BytesLeft;
using qvr::detail::SeekTo;

namespace {

constexpr unsigned kGlyphBytes = 8;
constexpr unsigned kMaxGlyphs = 256;

int8_t Clamp8(int v) { return static_cast<int8_t>(v < -128 ? -128 : v > 127 ? 127 : v); }

// The smallest power of two not below n, starting at 2.
uint64_t TextureSide(uint32_t n) {
  uint64_t side = 2;
  while (side < n) side <<= 1;
  return side;
}

// Bytes of one sheet row at a file depth (1, 2, 8, 24 or 32, the depths the
// sheet reader of QVRImage takes).
uint64_t SheetRowBytes(uint64_t width, unsigned depth) {
  switch (depth) {
    case 1:
      return (width + 7) / 8;
    case 2:
      return (width + 3) / 4;
    case 8:
    case 24:
    case 32:
      return width * (depth / 8);
    default:
      return 0;
  }
}

// Rows of a glyph above the baseline, from its full height (the 8-bit field
// cannot hold every height).
inline int Above(const Q3DChar& g) {
  return static_cast<int>(g.height) - static_cast<int>(g.below);
}

void Quad(const Q3DChar& g, float px, float by, float scale) {
  const float left = px, right = px + g.width * scale;
  const float top = by - Above(g) * scale, bottom = by + g.below * scale;
  glTexCoord2f(g.uLeft, g.vTop);
  glVertex2f(left, top);
  glTexCoord2f(g.uLeft, g.vBottom);
  glVertex2f(left, bottom);
  glTexCoord2f(g.uRight, g.vBottom);
  glVertex2f(right, bottom);
  glTexCoord2f(g.uRight, g.vTop);
  glVertex2f(right, top);
}

}  // namespace

Q3DFont::Q3DFont(const char* file)
    : m_name(nullptr),
      m_texture(nullptr),
      m_first(0),
      m_last(0),
      m_chars(nullptr),
      m_ascent(0),
      m_descent(0),
      m_spacing(0),
      m_whiteSize(0) {
  if (!file) return;
  QVRFile in(file, QVRResFile::READ);
  if (!in.Good() || !Load(in, 0)) QVR::DBG("Bad font file %s\n", file);
}

Q3DFont::~Q3DFont() {
  delete[] m_name;
  delete[] m_chars;
}

void Q3DFont::Free() {
  delete[] m_name;
  delete[] m_chars;
  m_name = nullptr;
  m_chars = nullptr;
  m_first = m_last = 0;
  m_ascent = m_descent = 0;
  m_spacing = m_whiteSize = 0;
}

unsigned Q3DFont::MemoryUsed() const {
  unsigned total = sizeof(Q3DFont);
  if (m_chars) total += static_cast<unsigned>(sizeof(Q3DChar)) * (m_last - m_first + 1);
  if (m_name) total += static_cast<unsigned>(std::strlen(m_name));
  return total;
}

bool Q3DFont::Load(QVRResFile& file, int type) {
  if (type != 0 || !file.Good()) return false;
  const uint64_t base = file.GetPos();
  char magic[4];
  if (file.Read(magic, 4) != 4 || std::memcmp(magic, "QVRF", 4) != 0) return false;
  const uint8_t version = file.Read8();
  if (!file.Good()) return false;
  if (version != 2) QVR::LOG("3DFont: unknown format version %d\n", static_cast<int>(version));
  const uint32_t infoPos = file.Read32();
  const uint32_t glyphPos = file.Read32();
  const uint32_t sheetPos = file.Read32();
  if (!file.Good()) return false;
  Free();

  // Everything is read and checked into locals before anything is
  // allocated; a failure leaves the font empty.
  if (!SeekTo(file, base + infoPos)) return false;
  const uint8_t nameLength = file.Read8();
  char nameBytes[257];
  if (!file.Good() || (nameLength && file.Read(nameBytes, nameLength) != nameLength)) return false;
  nameBytes[nameLength] = 0;
  const uint32_t first = file.Read32();
  const uint32_t last = file.Read32();
  const uint8_t whiteSize = file.Read8();
  const uint8_t spacing = file.Read8();
  const int16_t ascent = static_cast<int16_t>(file.Read16());
  const int16_t descent = static_cast<int16_t>(file.Read16());
  if (!file.Good()) return false;
  if (first > last || last > 255) {
    QVR::WARN("3DFont: bad character range %u - %u\n", static_cast<unsigned>(first),
              static_cast<unsigned>(last));
    return false;
  }

  const unsigned count = last - first + 1;
  uint8_t raw[kMaxGlyphs * kGlyphBytes];
  if (!SeekTo(file, base + glyphPos) || file.Read(raw, count * kGlyphBytes) != count * kGlyphBytes)
    return false;

  // The sheet block: its pixels are not read here (the texture is made from
  // them elsewhere), but they must be in the stream.
  if (!SeekTo(file, base + sheetPos)) return false;
  const uint32_t sheetWidth = file.Read32();
  const uint32_t sheetHeight = file.Read32();
  const uint8_t depth = file.Read8();
  if (!file.Good()) return false;
  const bool knownDepth = depth == 1 || depth == 2 || depth == 8 || depth == 24 || depth == 32;
  const uint64_t rowBytes = SheetRowBytes(sheetWidth, depth);
  if (!knownDepth || (sheetHeight != 0 && rowBytes > BytesLeft(file) / sheetHeight)) {
    QVR::WARN("3DFont: bad sheet\n");
    return false;
  }
  const float texWidth = static_cast<float>(TextureSide(sheetWidth));
  const float texHeight = static_cast<float>(TextureSide(sheetHeight));

  std::unique_ptr<Q3DChar[]> chars(new (std::nothrow) Q3DChar[count]);
  const size_t nameSize = std::strlen(nameBytes) + 1;
  std::unique_ptr<char[]> name(new (std::nothrow) char[nameSize]);
  if (!chars || !name) return false;
  std::memcpy(name.get(), nameBytes, nameSize);
  for (unsigned i = 0; i < count; ++i) {
    const uint8_t* r = raw + i * kGlyphBytes;
    const unsigned x = static_cast<unsigned>(r[0] | r[1] << 8);
    const unsigned y = static_cast<unsigned>(r[2] | r[3] << 8);
    Q3DChar& g = chars[i];
    g.width = r[4];
    g.height = r[5];
    g.below = Clamp8(static_cast<int16_t>(static_cast<uint16_t>(r[6] | r[7] << 8)));
    g.above = Clamp8(static_cast<int>(g.height) - static_cast<int>(g.below));
    g.uLeft = static_cast<float>(x) / texWidth;
    g.uRight = static_cast<float>(x + g.width) / texWidth;
    g.vTop = static_cast<float>(y) / texHeight;
    g.vBottom = static_cast<float>(y + g.height) / texHeight;
  }

  m_name = name.release();
  m_chars = chars.release();
  m_first = first;
  m_last = last;
  m_whiteSize = whiteSize;
  m_spacing = spacing;
  m_ascent = ascent;
  m_descent = descent;
  return true;
}

bool Q3DFont::Save(QVRResFile&, int) { return false; }

unsigned Q3DFont::CharWidth(unsigned char c) const {
  if (c == ' ') return m_whiteSize;
  const Q3DChar* g = GetChar(c);
  return g ? g->width : 0;
}

unsigned Q3DFont::CharHeight(unsigned char c) const {
  const Q3DChar* g = c == ' ' ? nullptr : GetChar(c);
  return g ? g->height : 0;
}

unsigned Q3DFont::TextWidth(const char* text, unsigned int length) const {
  if (!m_name || !text || length == 0) return 0;
  uint64_t total = 0;
  for (unsigned i = 0; i < length && text[i]; ++i)
    total += CharWidth(static_cast<uint8_t>(text[i])) + m_spacing;
  if (total) total -= m_spacing;
  return total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(total);
}

void Q3DFont::TextSize(const char* text, unsigned int& width, unsigned int& height,
                       unsigned int length) const {
  width = height = 0;
  if (!m_name || !text || length == 0) return;
  width = TextWidth(text, length);
  int above = 0, below = 0;
  for (unsigned i = 0; i < length && text[i]; ++i) {
    const unsigned char c = static_cast<uint8_t>(text[i]);
    const Q3DChar* g = c == ' ' ? nullptr : GetChar(c);
    if (!g) continue;
    if (Above(*g) > above) above = Above(*g);
    if (g->below > below) below = g->below;
  }
  height = static_cast<unsigned>(above + below);
}

void Q3DFont::DrawChar(int x, int y, unsigned char c, float scale) {
  const Q3DChar* g = c == ' ' ? nullptr : GetChar(c);
  if (!g || g->width == 0) return;
  glBegin(GL_QUADS);
  Quad(*g, static_cast<float>(x) * scale, static_cast<float>(y) * scale, scale);
  glEnd();
}

void Q3DFont::DrawChar(unsigned char c, float scale) {
  const Q3DChar* g = c == ' ' ? nullptr : GetChar(c);
  if (!g || g->width == 0) return;
  glBegin(GL_QUADS);
  Quad(*g, 0.0f, 0.0f, scale);
  glEnd();
}

float Q3DFont::Baseline(int y, float scale, FontAlign align) const {
  if (align == ALIGN_TOP) return static_cast<float>(y) + static_cast<float>(m_ascent) * scale;
  if (align == ALIGN_BOTTOM) return static_cast<float>(y) - static_cast<float>(m_descent) * scale;
  return static_cast<float>(y);
}

void Q3DFont::DrawString(int x, int y, const char* text, unsigned int length, float scale,
                         FontAlign align) {
  Draw(static_cast<float>(x), Baseline(y, scale, align), text, length, scale, false, 0, 0, false);
}

void Q3DFont::DrawString(const char* text, unsigned int length, float scale, FontAlign align) {
  Draw(0.0f, Baseline(0, scale, align), text, length, scale, false, 0, 0, true);
}

void Q3DFont::DrawClipString(int x, int y, int left, int right, const char* text,
                             unsigned int length, float scale, FontAlign align) {
  if (x > right) return;
  Draw(static_cast<float>(x), Baseline(y, scale, align), text, length, scale, true,
       static_cast<float>(left), static_cast<float>(right), false);
}

// One loop for the three string operations. With `origin` the pen stays at
// the origin and the model-view matrix moves (one quad per glBegin, as
// glTranslatef cannot go between glBegin and glEnd); otherwise all quads go
// into one glBegin / glEnd.
void Q3DFont::Draw(float x, float by, const char* text, unsigned length, float scale, bool clip,
                   float left, float right, bool origin) {
  if (!text || !*text || length == 0 || !m_texture || !m_chars) return;
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBindTexture(GL_TEXTURE_2D, m_texture->id);
  if (origin) {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(0.0f, by, 0.0f);
  } else {
    glBegin(GL_QUADS);
  }
  float px = x;
  // ALL stops at the terminating zero; another length draws exactly that
  // many bytes.
  for (unsigned i = 0; length == ALL ? text[i] != 0 : i < length; ++i) {
    const unsigned char c = static_cast<uint8_t>(text[i]);
    float advance;
    if (c == ' ') {
      advance = static_cast<float>(m_whiteSize + m_spacing) * scale;
    } else {
      const Q3DChar* g = GetChar(c);
      if (!g || g->width == 0) continue;
      advance = static_cast<float>(g->width + m_spacing) * scale;
      if (clip && px + g->width * scale > right) break;
      if (!clip || px >= left) {
        if (origin) {
          glBegin(GL_QUADS);
          Quad(*g, 0.0f, 0.0f, scale);
          glEnd();
        } else {
          Quad(*g, px, by, scale);
        }
      }
    }
    if (origin)
      glTranslatef(advance, 0.0f, 0.0f);
    else
      px += advance;
  }
  if (origin)
    glPopMatrix();
  else
    glEnd();
  glDisable(GL_TEXTURE_2D);
}

void Q3DFont::PrintInfo(bool withChars) const {
  if (!m_name) {
    QVR::LOG("Font not defined\n");
    return;
  }
  auto printable = [](unsigned c) { return c >= 32 && c <= 127; };
  QVR::LOG("Font name       : %s\n", m_name);
  QVR::LOG("First char      : %d", static_cast<int>(m_first));
  if (printable(m_first))
    QVR::LOG(" [%c]\n", static_cast<int>(m_first));
  else
    QVR::LOG("\n");
  QVR::LOG("Last char       : %d", static_cast<int>(m_last));
  if (printable(m_last))
    QVR::LOG(" [%c]\n", static_cast<int>(m_last));
  else
    QVR::LOG("\n");
  QVR::LOG("  Total         : %d\n", static_cast<int>(m_last - m_first + 1));
  QVR::LOG("Char spacing    : %d\n", static_cast<int>(m_spacing));
  QVR::LOG("White char size : %d\n", static_cast<int>(m_whiteSize));
  QVR::LOG("Ascent          : %d\n", static_cast<int>(m_ascent));
  QVR::LOG("Descent         : %d\n", static_cast<int>(m_descent));
  if (!withChars || !m_chars) return;
  QVR::LOG("------------------- Characters :\n");
  for (unsigned c = m_first; c <= m_last; ++c) {
    const Q3DChar& g = m_chars[c - m_first];
    QVR::LOG("Char %d [", static_cast<int>(c));
    if (printable(c))
      QVR::LOG("%c", static_cast<int>(c));
    else
      QVR::LOG(" ");
    QVR::LOG("] : ");
    QVR::LOG("%3d %3d %3d %3d %3d\n", static_cast<int>(g.uLeft), static_cast<int>(g.vTop),
             static_cast<int>(g.uRight), static_cast<int>(g.vBottom), static_cast<int>(g.below));
  }
}
