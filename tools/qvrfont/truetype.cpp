// Rendering the codes of a range from a TrueType or OpenType font with FreeType: each glyph's
// coverage quantised to the font depth and trimmed to its ink, placed in a cell as wide as its
// advance.
#include "qvrfont.h"

#include "../common/cli.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H

#include <algorithm>
#include <cstdlib>
#include <cstring>

using qvrtool::Error;
using qvrtool::g_logLevel;

namespace qvrfont {

namespace {

std::string FreeTypeError(FT_Error error) {
  const char* text = FT_Error_String(error);
  return text ? text : "FreeType error " + std::to_string(error);
}

// Owns the library and the face for the length of one build.
struct FreeTypeSession {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  FT_Bitmap converted;
  FreeTypeSession() { FT_Bitmap_Init(&converted); }
  ~FreeTypeSession() {
    if (library) FT_Bitmap_Done(library, &converted);
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

// The sheet value of a coverage (0-255) at a font depth: depth 1 a plain threshold, depth 2 the
// nearest of four levels, depth 8 the coverage itself.
uint8_t Quantise(unsigned coverage, unsigned depth) {
  switch (depth) {
    case 1:
      return coverage >= 128 ? 1 : 0;
    case 2:
      return uint8_t((coverage * 3 + 127) / 255);
    default:
      return uint8_t(coverage);
  }
}

// A describable name for a code in messages: 'A' (code 65).
std::string CodeName(unsigned code) {
  std::string text = "code " + std::to_string(code);
  if (code > 32 && code < 127) text = std::string("'") + char(code) + "' (" + text + ")";
  return text;
}

// Turns the rendered bitmap of the face's glyph slot into `glyph`. FreeType's bitmap covers the
// outline's rounded control box, so it may have empty rows and columns at its edges, and more
// after quantisation: those are trimmed, so that the record holds exactly the ink.
bool TakeBitmap(FreeTypeSession& ft, unsigned depth, GlyphBitmap& glyph) {
  FT_GlyphSlot slot = ft.face->glyph;
  const FT_Bitmap* bitmap = &slot->bitmap;
  glyph.present = true;
  glyph.advance = unsigned(std::max<FT_Pos>(0, (slot->advance.x + 32) >> 6));
  if (bitmap->rows == 0 || bitmap->width == 0) return true;  // no ink: the glyph only advances
  unsigned grays = 256;
  if (bitmap->pixel_mode != FT_PIXEL_MODE_GRAY) {
    // Monochrome strikes of bitmap fonts, and any other mode, as 8-bit levels.
    if (FT_Bitmap_Convert(ft.library, bitmap, &ft.converted, 1) != 0) return false;
    bitmap = &ft.converted;
    grays = bitmap->num_grays ? bitmap->num_grays : 2;
  }
  const unsigned rows = bitmap->rows, cols = bitmap->width;
  std::vector<uint8_t> values(size_t(rows) * cols);
  unsigned top = rows, bottom = 0, leftmost = cols, rightmost = 0;
  for (unsigned r = 0; r < rows; ++r) {
    // A negative pitch means the rows lie bottom to top in memory.
    const unsigned stored = bitmap->pitch >= 0 ? r : rows - 1 - r;
    const uint8_t* src = bitmap->buffer + size_t(stored) * unsigned(std::abs(bitmap->pitch));
    for (unsigned c = 0; c < cols; ++c) {
      unsigned coverage = grays == 256 ? src[c] : src[c] * 255u / (grays - 1);
      uint8_t v = Quantise(std::min(coverage, 255u), depth);
      values[size_t(r) * cols + c] = v;
      if (v == 0) continue;
      top = std::min(top, r);
      bottom = std::max(bottom, r);
      leftmost = std::min(leftmost, c);
      rightmost = std::max(rightmost, c);
    }
  }
  if (top == rows) return true;
  glyph.width = rightmost - leftmost + 1;
  glyph.height = bottom - top + 1;
  glyph.left = slot->bitmap_left + int(leftmost);
  // Bitmap row r lies bitmap_top - r - 1 rows above the row that sits on the baseline.
  glyph.descent = int(bottom) - slot->bitmap_top + 1;
  glyph.values.resize(size_t(glyph.width) * glyph.height);
  for (unsigned r = 0; r < glyph.height; ++r)
    std::memcpy(&glyph.values[size_t(r) * glyph.width], &values[size_t(top + r) * cols + leftmost],
                glyph.width);
  return true;
}

// Drops edge columns of the glyph's ink, the weaker side first, until it is `width` wide.
void FitToWidth(GlyphBitmap& glyph, unsigned width) {
  auto columnInk = [&](unsigned c) {
    unsigned sum = 0;
    for (unsigned r = 0; r < glyph.height; ++r) sum += glyph.values[size_t(r) * glyph.width + c];
    return sum;
  };
  unsigned from = 0, to = glyph.width;  // the columns kept
  while (to - from > width) {
    if (columnInk(from) <= columnInk(to - 1))
      ++from;
    else
      --to;
  }
  std::vector<uint8_t> kept(size_t(width) * glyph.height);
  for (unsigned r = 0; r < glyph.height; ++r)
    std::memcpy(&kept[size_t(r) * width], &glyph.values[size_t(r) * glyph.width + from], width);
  glyph.values.swap(kept);
  glyph.left += int(from);
  glyph.width = width;
}

}  // namespace

bool RenderTrueType(const BuildOptions& options, RenderedFont& out) {
  const char* path = options.fontPath.c_str();
  FreeTypeSession ft;
  FT_Error error = FT_Init_FreeType(&ft.library);
  if (error) {
    Error("cannot start FreeType: %s", FreeTypeError(error).c_str());
    return false;
  }
  error = FT_New_Face(ft.library, path, 0, &ft.face);
  if (error == FT_Err_Unknown_File_Format) {
    Error("%s: not a font file FreeType can read", path);
    return false;
  }
  if (error) {
    Error("%s: cannot read the font: %s", path, FreeTypeError(error).c_str());
    return false;
  }
  FT_Face face = ft.face;
  if (!FT_IS_SCALABLE(face)) {
    std::string sizes;
    for (int i = 0; i < face->num_fixed_sizes; ++i)
      sizes += (i ? ", " : "") + std::to_string((face->available_sizes[i].y_ppem + 32) >> 6);
    if (FT_Set_Pixel_Sizes(face, 0, options.size) != 0) {
      Error("%s: a bitmap font without a %u px size (it has: %s)", path, options.size,
            sizes.empty() ? "none" : sizes.c_str());
      return false;
    }
  } else if ((error = FT_Set_Pixel_Sizes(face, 0, options.size)) != 0) {
    Error("%s: cannot set the size %u px: %s", path, options.size, FreeTypeError(error).c_str());
    return false;
  }
  // Codes 128-255 are Latin-1, which is the first block of Unicode.
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
    if (!face->charmap) {
      Error("%s: the font has no character map", path);
      return false;
    }
    if (g_logLevel >= QVR::LOG_WARN)
      Error("warning: %s has no Unicode character map; its own codes are used", path);
  }

  const bool fixedPitch = FT_IS_FIXED_WIDTH(face);
  out.familyName = face->family_name ? face->family_name : "";
  const std::string style = face->style_name ? face->style_name : "";
  if (!style.empty() && style != "Regular" && style != "Book" && style != "Normal")
    out.familyName += (out.familyName.empty() ? "" : " ") + style;
  out.first = options.first;
  out.last = options.last;
  // FreeType rounds the scaled ascender up and the descender down, so that the two together
  // can exceed the line height by almost two pixels; rounded to the nearest, they add up to it.
  const FT_Size_Metrics& metrics = face->size->metrics;
  if (FT_IS_SCALABLE(face)) {
    out.ascent = int((FT_MulFix(face->ascender, metrics.y_scale) + 32) >> 6);
    out.descent = int((FT_MulFix(-face->descender, metrics.y_scale) + 32) >> 6);
  } else {
    out.ascent = int((metrics.ascender + 32) >> 6);
    out.descent = int((-metrics.descender + 32) >> 6);
  }
  out.lineHeight = unsigned((metrics.height + 32) >> 6);
  out.glyphs.assign(options.last - options.first + 1, GlyphBitmap());

  for (unsigned code = options.first; code <= options.last; ++code) {
    const FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0) continue;  // the font lacks the code
    error = FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL);
    GlyphBitmap& glyph = out.glyphs[code - options.first];
    if (error || !TakeBitmap(ft, options.depth, glyph)) {
      Error("%s: cannot render %s: %s", path, CodeName(code).c_str(),
            error ? FreeTypeError(error).c_str() : "unsupported bitmap");
      return false;
    }
    if (code == ' ') {
      out.hasSpace = true;
      out.spaceAdvance = glyph.advance;
    }
    // The cell of a glyph is its advance, and the ink must lie inside it: ink that sticks out by
    // the pixel or so of anti-aliasing is moved in. Ink wider than the advance widens the cell,
    // so that nothing is cut, except in a fixed-pitch font, whose pitch matters more than the
    // faint edge column that is then dropped.
    if (fixedPitch && glyph.width > glyph.advance && glyph.advance > 0) {
      FitToWidth(glyph, glyph.advance);
      ++out.narrowed;
    }
    unsigned cell = std::max(glyph.advance, glyph.width);
    glyph.left = std::clamp(glyph.left, 0, int(cell - glyph.width));
    glyph.advance = cell;
    if (cell > 255 || glyph.height > 255) {
      Error(
          "%s: at %u px %s is %u x %u px; glyphs can be at most 255 px wide and tall, use a "
          "smaller --size",
          path, options.size, CodeName(code).c_str(), cell, glyph.height);
      return false;
    }
  }
  return true;
}

}  // namespace qvrfont
