// libFuzzer target "glfont": the input is a font file for Q3DFont::Load (no
// OpenGL context needed). A failed load leaves the font empty; a loaded font
// has a valid range, texture coordinates that are the glyph rectangles over
// the padded sheet, and measures consistent with its glyphs. Whatever
// QVRFont::Load reads, Q3DFont::Load must read too, with the same metrics.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/font.h"
#include "qvr3d/glfont.h"
#include "qvr3d/stream.h"

namespace {

uint64_t Side(uint32_t n) {
  uint64_t side = 2;
  while (side < n) side <<= 1;
  return side;
}

uint32_t Get32(const std::vector<unsigned char>& b, size_t at) {
  if (at + 4 > b.size()) return 0;
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

void CheckAgainstQVRFont(const Q3DFont& font, std::vector<unsigned char>& bytes) {
  QVRMemFile in(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  QVRFont soft;
  if (!soft.Load(in, 0)) return;
  if (!font.GetName()) abort();  // QVRFont read it: so must Q3DFont
  if (std::strcmp(font.GetName(), soft.GetName()) != 0 ||
      font.GetFirstChar() != soft.GetFirstChar() || font.GetLastChar() != soft.GetLastChar() ||
      font.GetAscent() != soft.GetAscent() || font.GetDescent() != soft.GetDescent() ||
      font.GetSpacing() != soft.GetSpacing() || font.GetWhiteSize() != soft.GetWhiteSize())
    abort();
  const double texWidth = double(Side(soft.GetSheetWidth()));
  const double texHeight = double(Side(soft.GetSheetHeight()));
  for (unsigned c = soft.GetFirstChar(); c <= soft.GetLastChar(); ++c) {
    const QVRChar* s = soft.GetChar(uint8_t(c));
    const Q3DChar* g = font.GetChar(uint8_t(c));
    if (!s || !g) abort();
    const int below = s->descent < -128 ? -128 : s->descent > 127 ? 127 : s->descent;
    if (g->width != s->width || g->height != s->height || g->below != below) abort();
    // Exact: the coordinates are 16-bit integers over powers of two.
    if (double(g->uLeft) * texWidth != double(s->x) ||
        double(g->uRight) * texWidth != double(s->x + s->width) ||
        double(g->vTop) * texHeight != double(s->y) ||
        double(g->vBottom) * texHeight != double(s->y + s->height))
      abort();
  }
  if (font.TextWidth("AZaz09 .") != soft.TextWidth("AZaz09 .")) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  QVR::SetLogLevel(0);
  std::vector<unsigned char> bytes(data, data + size);
  if (bytes.empty()) bytes.push_back(0);
  QVRMemFile in(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  Q3DFont font;
  if (!font.Load(in, 0)) {
    if (font.GetName() || font.GetChar('A') || font.GetFirstChar() || font.GetLastChar()) abort();
    CheckAgainstQVRFont(font, bytes);
    return 0;
  }
  if (!font.GetName() || font.GetFirstChar() > font.GetLastChar() || font.GetLastChar() > 255)
    abort();

  // The sheet sizes as the file gives them (offsets count from the start).
  const uint32_t sheetAt = Get32(bytes, 13);
  const double texWidth = double(Side(Get32(bytes, sheetAt)));
  const double texHeight = double(Side(Get32(bytes, size_t(sheetAt) + 4)));
  uint64_t width = 0;
  char all[256];
  unsigned n = 0;
  for (unsigned c = 1; c < 256; ++c) {
    const Q3DChar* g = font.GetChar(uint8_t(c));
    if ((g != nullptr) != (c >= font.GetFirstChar() && c <= font.GetLastChar())) abort();
    if (g) {
      if (g->uLeft < 0 || g->vTop < 0 || g->uRight < g->uLeft || g->vBottom < g->vTop) abort();
      if (double(g->uRight - g->uLeft) * texWidth != double(g->width) ||
          double(g->vBottom - g->vTop) * texHeight != double(g->height))
        abort();
      if (g->above != std::max(-128, std::min(127, int(g->height) - int(g->below)))) abort();
    }
    width += font.CharWidth(uint8_t(c)) + font.GetSpacing();
    all[n++] = char(c);
  }
  all[n] = 0;
  if (width) width -= font.GetSpacing();
  if (font.TextWidth(all) != width) abort();
  unsigned w = 0, h = 0;
  font.TextSize(all, w, h);
  if (w != width) abort();
  font.TextSize(all, w, h, 3);
  if (font.MemoryUsed() < sizeof(Q3DFont)) abort();
  font.PrintInfo(true);
  // No texture: the drawing operations return before any OpenGL call.
  font.DrawString(0, 0, all);
  font.DrawClipString(0, 0, 0, 10, all);
  CheckAgainstQVRFont(font, bytes);
  return 0;
}
