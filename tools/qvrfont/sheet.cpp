// Making fonts out of glyph bitmaps: packing rendered glyphs into a near-square sheet, and
// cutting a sheet image of fixed cells into proportional glyphs.
#include "qvrfont.h"

#include "../common/cli.h"

#include <algorithm>
#include <cstring>

using qvrtool::Error;
using qvrtool::g_logLevel;

namespace qvrfont {

namespace {

// Row-by-row packing at a given sheet width; returns the sheet height.
unsigned PackAt(unsigned sheetWidth, const std::vector<unsigned>& widths,
                const std::vector<unsigned>& heights, unsigned gap, std::vector<unsigned>& xs,
                std::vector<unsigned>& ys) {
  unsigned x = 0, y = 0, rowHeight = 0;
  for (size_t i = 0; i < widths.size(); ++i) {
    xs[i] = ys[i] = 0;
    if (widths[i] == 0 || heights[i] == 0) continue;  // takes no room in the sheet
    if (x > 0 && x + widths[i] > sheetWidth) {
      y += rowHeight + gap;
      x = rowHeight = 0;
    }
    xs[i] = x;
    ys[i] = y;
    x += widths[i] + gap;
    rowHeight = std::max(rowHeight, heights[i]);
  }
  return y + rowHeight;
}

}  // namespace

unsigned PackRows(const std::vector<unsigned>& widths, const std::vector<unsigned>& heights,
                  unsigned gap, std::vector<unsigned>& xs, std::vector<unsigned>& ys,
                  unsigned& height) {
  xs.assign(widths.size(), 0);
  ys.assign(widths.size(), 0);
  unsigned widest = 0;
  for (size_t i = 0; i < widths.size(); ++i)
    if (heights[i] != 0) widest = std::max(widest, widths[i]);
  // Wider sheets are never taller, so the first width whose sheet is no taller than wide is the
  // smallest; a single row is always that wide or the tallest glyph stops the search.
  for (unsigned width = std::max(widest, 1u);; ++width) {
    height = PackAt(width, widths, heights, gap, xs, ys);
    if (height <= width) return width;
  }
}

std::unique_ptr<QVRFont> PackFont(const RenderedFont& rendered, const std::string& name,
                                  unsigned depth) {
  const size_t count = rendered.glyphs.size();
  std::vector<unsigned> widths(count), heights(count), xs, ys;
  for (size_t i = 0; i < count; ++i) {
    const GlyphBitmap& g = rendered.glyphs[i];
    // The space code never gets a glyph; its advance is the white size.
    if (!g.present || rendered.first + i == ' ') continue;
    widths[i] = g.advance;
    heights[i] = g.height;
  }
  unsigned sheetHeight = 0;
  const unsigned sheetWidth = PackRows(widths, heights, 1, xs, ys, sheetHeight);
  // An empty sheet cannot be saved; a range without ink still gets one transparent pixel.
  QVRImage sheet(sheetWidth, std::max(sheetHeight, 1u), 8);
  if (!sheet.GetPixels()) {
    Error("cannot allocate a %u x %u glyph sheet", sheetWidth, sheetHeight);
    return nullptr;
  }
  uint8_t* pixels = sheet.GetPixels();
  std::memset(pixels, 0, size_t(sheet.GetPitch()) * sheet.GetHeight());
  for (size_t i = 0; i < count; ++i) {
    const GlyphBitmap& g = rendered.glyphs[i];
    if (widths[i] == 0) continue;
    for (unsigned r = 0; r < g.height; ++r)
      std::memcpy(pixels + size_t(ys[i] + r) * sheet.GetPitch() + xs[i] + unsigned(g.left),
                  &g.values[size_t(r) * g.width], g.width);
  }
  auto font = std::make_unique<QVRFont>(name.c_str(), rendered.first, rendered.last, &sheet,
                                        static_cast<unsigned char>(depth));
  if (!font->GetSheet()) {
    Error("cannot make the font's glyph sheet");
    return nullptr;
  }
  for (size_t i = 0; i < count; ++i) {
    const GlyphBitmap& g = rendered.glyphs[i];
    // Present glyphs without ink still advance: a record of height 0.
    if (!g.present || g.advance == 0 || rendered.first + i == ' ') continue;
    QVRChar record = {uint16_t(xs[i]), uint16_t(ys[i]), uint8_t(g.advance), uint8_t(g.height),
                      int16_t(g.descent)};
    font->SetChar(static_cast<unsigned char>(rendered.first + i), &record);
  }
  font->SetAscent(int16_t(rendered.ascent));
  font->SetDescent(int16_t(rendered.descent));
  return font;
}

std::unique_ptr<QVRFont> CutGrid(const QVRImage& sheet, const GridOptions& options,
                                 const std::string& name, const std::string& path) {
  const unsigned cw = options.cellWidth, ch = options.cellHeight;
  const unsigned columns = sheet.GetWidth() / cw, rows = sheet.GetHeight() / ch;
  if (columns == 0 || rows == 0) {
    Error("%s: the cell %u x %u is larger than the sheet (%u x %u)", path.c_str(), cw, ch,
          sheet.GetWidth(), sheet.GetHeight());
    return nullptr;
  }
  const uint64_t cells = uint64_t(columns) * rows;
  const unsigned used = unsigned(std::min<uint64_t>(cells, 256 - options.first));
  const unsigned last = options.first + used - 1;
  if (g_logLevel >= QVR::LOG_WARN) {
    if (sheet.GetWidth() % cw || sheet.GetHeight() % ch)
      Error(
          "warning: %s: %u x %u is not a whole number of %u x %u cells; the %u columns on the "
          "right and %u rows at the bottom are left out",
          path.c_str(), sheet.GetWidth(), sheet.GetHeight(), cw, ch, sheet.GetWidth() % cw,
          sheet.GetHeight() % ch);
    if (used < cells)
      Error("warning: %s: %u cells hold codes %u-255; the %llu after them are left out",
            path.c_str(), used, options.first, (unsigned long long)(cells - used));
  }

  // The font's sheet keeps the cells where they are, cropped to those in use.
  const unsigned usedColumns = std::min(columns, used);
  const unsigned usedRows = (used + columns - 1) / columns;
  QVRImage ink(usedColumns * cw, usedRows * ch, 8);
  if (!ink.GetPixels()) {
    Error("%s: cannot allocate the glyph sheet", path.c_str());
    return nullptr;
  }
  const uint32_t background = sheet.GetPixel(0, 0);
  uint8_t* inkPixels = ink.GetPixels();
  for (unsigned y = 0; y < ink.GetHeight(); ++y)
    for (unsigned x = 0; x < ink.GetWidth(); ++x)
      inkPixels[size_t(y) * ink.GetPitch() + x] = sheet.GetPixel(int(x), int(y)) != background;

  auto font = std::make_unique<QVRFont>(name.c_str(), options.first, last, &ink, 1);
  if (!font->GetSheet()) {
    Error("%s: cannot make the font's glyph sheet", path.c_str());
    return nullptr;
  }
  for (unsigned i = 0; i < used; ++i) {
    const unsigned x0 = (i % columns) * cw, y0 = (i / columns) * ch;
    unsigned width = 0;  // one past the rightmost ink column
    for (unsigned y = y0; y < y0 + ch; ++y)
      for (unsigned x = x0 + cw; x > x0 + width; --x)
        if (inkPixels[size_t(y) * ink.GetPitch() + x - 1]) {
          width = x - x0;
          break;
        }
    if (width == 0) continue;  // an empty cell: the code has no glyph
    QVRChar record = {uint16_t(x0), uint16_t(y0), uint8_t(width), uint8_t(ch),
                      int16_t(ch - 1 - options.baseline)};
    font->SetChar(static_cast<unsigned char>(options.first + i), &record);
  }
  font->SetAscent(int16_t(options.baseline + 1));
  font->SetDescent(int16_t(ch - 1 - options.baseline));
  return font;
}

}  // namespace qvrfont
