// What the parts of qvrfont share: the glyph bitmaps a source yields, the sheet packer that turns
// them into a font, and the output and input helpers of the commands.
#ifndef QVR_TOOLS_QVRFONT_H
#define QVR_TOOLS_QVRFONT_H

#include <qvr3d/qvr3d.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qvrfont {

// One rendered code: `width` x `height` sheet values (0 transparent) placed `left` columns into a
// cell of `advance` columns, its bottom row `descent` rows below the baseline row. A code without
// a glyph has `present` false; a present glyph may have no ink (height 0) and still advance.
struct GlyphBitmap {
  bool present = false;
  unsigned advance = 0;
  int left = 0;
  unsigned width = 0;
  unsigned height = 0;
  int descent = 0;
  std::vector<uint8_t> values;  // width x height, rows top to bottom
};

// What `build` asks of a TrueType or OpenType font.
struct BuildOptions {
  std::string fontPath;
  unsigned size = 0;
  unsigned depth = 1;
  unsigned first = 32;
  unsigned last = 126;
};

// A rendered font, ready to be packed: one entry per code first .. last.
struct RenderedFont {
  std::string familyName;  // "DejaVu Sans", with the style when it is not the regular one
  unsigned first = 0;
  unsigned last = 0;
  std::vector<GlyphBitmap> glyphs;
  int ascent = 0;
  int descent = 0;
  unsigned lineHeight = 0;
  unsigned spaceAdvance = 0;
  bool hasSpace = false;
  unsigned narrowed = 0;  // glyphs of a fixed-pitch font whose ink was cut to the pitch
};

// Renders every code of the range with FreeType. False after printing why.
bool RenderTrueType(const BuildOptions& options, RenderedFont& out);

// Packs the glyphs into a near-square sheet in rows with a 1-pixel gap and makes the font, the
// glyph records pointing into that sheet. Null after printing why.
std::unique_ptr<QVRFont> PackFont(const RenderedFont& rendered, const std::string& name,
                                  unsigned depth);

// The width of a sheet of `widths` x `heights` glyphs packed in rows `gap` apart: the smallest
// that keeps the sheet no taller than wide. Places each glyph; `height` receives the sheet height.
unsigned PackRows(const std::vector<unsigned>& widths, const std::vector<unsigned>& heights,
                  unsigned gap, std::vector<unsigned>& xs, std::vector<unsigned>& ys,
                  unsigned& height);

// How `grid` cuts a sheet of fixed cells.
struct GridOptions {
  unsigned cellWidth = 0;
  unsigned cellHeight = 0;
  unsigned first = 32;
  unsigned baseline = 0;  // row of the cell that sits on the baseline
};

// Cuts `sheet` into cells, left to right and top to bottom, one per code from `first` on (at most
// up to code 255), and makes a depth-1 font of them: pixels that differ from the one at (0, 0)
// are ink, and each glyph loses its empty columns on the right. Null after printing why; `path`
// names the sheet in messages.
std::unique_ptr<QVRFont> CutGrid(const QVRImage& sheet, const GridOptions& options,
                                 const std::string& name, const std::string& path);

// Opens and reads an image, format detected; false after printing why.
bool LoadImage(const std::string& path, QVRImage& img);

// Opens and reads a font file of either version; false after printing why.
bool LoadFont(const std::string& path, QVRFont& font);

// True when `path` names something other than a folder; otherwise prints why.
bool CheckInput(const std::string& path);

}  // namespace qvrfont

#endif
