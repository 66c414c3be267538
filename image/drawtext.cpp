// QVRImage::DrawText and DrawTextEx: one line of text drawn glyph by glyph
// from a QVRFont's sheet, clipped to the clip rectangle and to the sheet.
#include <cstring>

#include "image/pixel.h"
#include "qvr3d/font.h"
#include "qvr3d/image.h"

namespace {

using qvr::detail::BppTag;
using qvr::detail::Pixel;

// How sheet bytes become colours: one byte per pixel, set pixels in
// colours[3]; one byte per pixel, value v & 3 in colours[v & 3]; several
// bytes per pixel, a pixel with any byte set in colours[3].
enum SheetMode { MONO, TWO_BIT, WIDE };

struct Target {
  uint8_t* pixels;
  size_t pitch;
  int64_t clipX1, clipX2, clipY1, clipY2;
};

struct Source {
  const uint8_t* sheet;  // null: glyphs advance but draw nothing
  uint32_t width, height;
  unsigned bytesPerPixel;
  const uint32_t* colours;
};

template <unsigned Bpp, SheetMode Mode>
void PaintBlock(uint8_t* dst, size_t dstPitch, const uint8_t* src, size_t srcPitch, unsigned srcBpp,
                size_t w, size_t h, const uint32_t* colours) {
  for (size_t r = 0; r < h; ++r, dst += dstPitch, src += srcPitch) {
    uint8_t* d = dst;
    const uint8_t* s = src;
    for (size_t c = 0; c < w; ++c, d += Bpp) {
      if (Mode == MONO) {
        if (s[c]) Pixel<Bpp>::Put(d, colours[3]);
      } else if (Mode == TWO_BIT) {
        const unsigned v = s[c] & 3u;
        if (v) Pixel<Bpp>::Put(d, colours[v]);
      } else {
        const uint8_t* p = s + c * srcBpp;
        bool set = false;
        for (unsigned k = 0; k < srcBpp; ++k) set |= p[k] != 0;
        if (set) Pixel<Bpp>::Put(d, colours[3]);
      }
    }
  }
}

// Draws the part of glyph `g` with its left column at `pen` and the baseline
// at `base` that lies both in the sheet and in the clip rectangle. A glyph
// rectangle reaching past the sheet is cut there, as if the sheet were
// transparent beyond its edges.
template <unsigned Bpp, SheetMode Mode>
void PaintGlyph(const Target& t, const Source& s, const QVRChar& g, int64_t pen, int64_t base) {
  if (!s.sheet || g.x >= s.width || g.y >= s.height) return;
  const int64_t visibleW = g.width < s.width - g.x ? g.width : s.width - g.x;
  const int64_t visibleH = g.height < s.height - g.y ? g.height : s.height - g.y;
  int64_t x1 = pen, x2 = pen + visibleW - 1;
  int64_t y1 = base - g.height + g.descent + 1, y2 = y1 + visibleH - 1;
  int64_t sx = g.x, sy = g.y;
  if (x1 < t.clipX1) {
    sx += t.clipX1 - x1;
    x1 = t.clipX1;
  }
  if (y1 < t.clipY1) {
    sy += t.clipY1 - y1;
    y1 = t.clipY1;
  }
  if (x2 > t.clipX2) x2 = t.clipX2;
  if (y2 > t.clipY2) y2 = t.clipY2;
  if (x1 > x2 || y1 > y2) return;
  const size_t srcPitch = static_cast<size_t>(s.width) * s.bytesPerPixel;
  const uint8_t* src =
      s.sheet + static_cast<size_t>(sy) * srcPitch + static_cast<size_t>(sx) * s.bytesPerPixel;
  uint8_t* dst = t.pixels + static_cast<size_t>(y1) * t.pitch + static_cast<size_t>(x1) * Bpp;
  PaintBlock<Bpp, Mode>(dst, t.pitch, src, srcPitch, s.bytesPerPixel,
                        static_cast<size_t>(x2 - x1 + 1), static_cast<size_t>(y2 - y1 + 1),
                        s.colours);
}

template <unsigned Bpp, SheetMode Mode>
void PaintText(const Target& t, const Source& s, const QVRFont& font, int64_t pen, int64_t base,
               const uint8_t* text, size_t count) {
  const unsigned white = font.GetWhiteSize();
  const unsigned spacing = font.GetSpacing();
  for (size_t i = 0; i < count && pen <= t.clipX2; ++i) {
    const uint8_t c = text[i];
    if (c == ' ') {
      pen += white;
    } else if (c == '\t') {
      pen += 8 * white;
    } else if (const QVRChar* g = font.GetChar(c)) {
      if (g->width) {
        PaintGlyph<Bpp, Mode>(t, s, *g, pen, base);
        pen += g->width;
      }
    }
    pen += spacing;
  }
}

struct TextCall {
  int64_t x, y;
  const char* text;
  const QVRFont* font;
  FontAlign align;
  int length;
  const uint32_t* colours;
  bool twoBit;  // colour by the sheet value of a depth-2 font
};

void Render(const Target& t, unsigned imageBpp, const TextCall& call) {
  const QVRFont* font = call.font;
  if (!font || !call.text || !t.pixels || call.x > t.clipX2) return;
  const int64_t ascent = font->GetAscent(), descent = font->GetDescent();
  const int64_t base = call.align == ALIGN_TOP      ? call.y + ascent - 1
                       : call.align == ALIGN_BOTTOM ? call.y - descent
                                                    : call.y;
  if (base - ascent > t.clipY2 || base + descent < t.clipY1) return;
  const size_t count = call.length < 0 ? std::strlen(call.text) : static_cast<size_t>(call.length);
  if (count == 0) return;

  Source s;
  s.bytesPerPixel = (font->GetDepth() + 7u) / 8u;
  s.sheet = s.bytesPerPixel ? font->GetSheet() : nullptr;
  s.width = font->GetSheetWidth();
  s.height = font->GetSheetHeight();
  s.colours = call.colours;
  const SheetMode mode = s.bytesPerPixel > 1                    ? WIDE
                         : call.twoBit && font->GetDepth() == 2 ? TWO_BIT
                                                                : MONO;
  const uint8_t* text = reinterpret_cast<const uint8_t*>(call.text);
  qvr::detail::WithBpp(imageBpp, [&](auto tag) {
    constexpr unsigned Bpp = decltype(tag)::value;
    if (mode == MONO)
      PaintText<Bpp, MONO>(t, s, *font, call.x, base, text, count);
    else if (mode == TWO_BIT)
      PaintText<Bpp, TWO_BIT>(t, s, *font, call.x, base, text, count);
    else
      PaintText<Bpp, WIDE>(t, s, *font, call.x, base, text, count);
  });
}

}  // namespace

void QVRImage::DrawText(int x, int y, const char* text, uint32_t colour, QVRFont* font,
                        FontAlign align, int length) {
  const uint32_t colours[4] = {colour, colour, colour, colour};
  const Target t{m_pixels, m_pitch, m_clipX1, m_clipX2, m_clipY1, m_clipY2};
  Render(t, GetBytesPerPixel(), TextCall{x, y, text, font, align, length, colours, false});
}

void QVRImage::DrawTextEx(int x, int y, const char* text, const FontParams& params, int length) {
  const Target t{m_pixels, m_pitch, m_clipX1, m_clipX2, m_clipY1, m_clipY2};
  Render(t, GetBytesPerPixel(),
         TextCall{x, y, text, params.font, params.align, length, params.colors, true});
}
