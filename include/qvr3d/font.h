// QVRFont: a proportional bitmap font (a glyph sheet, one rectangle per code
// of a contiguous range, and the metrics of text layout) with its "QVRF" file
// in versions 1 and 2, and the FontParams record of QVRImage::DrawTextEx.
#ifndef QVR3D_FONT_H
#define QVR3D_FONT_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/image.h"
#include "qvr3d/resource.h"

class QVRResFile;

/// One glyph: its rectangle in the sheet and its place on the baseline. The
/// bottom row lies at baseline + descent, the top row at baseline + descent -
/// height + 1. Also the 8-byte glyph record of the font file.
struct QVRChar {
  uint16_t x;       ///< left column in the sheet
  uint16_t y;       ///< top row in the sheet
  uint8_t width;    ///< width in pixels and pen advance; 0 means no glyph
  uint8_t height;   ///< height in pixels
  int16_t descent;  ///< rows below the baseline
};

/// Font, alignment and colours of QVRImage::DrawTextEx. A depth-2 font draws
/// a glyph pixel of value v in colors[v & 3]; other fonts draw every set
/// pixel in colors[3]. colors[0] is never used (value 0 is transparent).
struct FontParams {
  QVRFont* font;
  FontAlign align;
  uint32_t colors[4];
};

/// A bitmap font. Sheet pixels are 0 (transparent) or set: 0-1 for format
/// depth 1, 0-3 (intensity levels) for depth 2, 0-255 for depth 8. A font
/// without a name is not defined and measures, saves and prints as empty.
///
///   QVRFont font("small.fnt");
///   unsigned w = font.TextWidth("Score");
///   screenImage.DrawText(320 - w / 2, 10, "Score", 15, &font, ALIGN_TOP);
class QVR_API QVRFont : public QVRResource {
 public:
  /// An empty font; with a non-empty `file`, Load(file, 0) from that disk
  /// file. A file that does not open or load logs "Font: bad file %s\n"
  /// (WARN). A null or empty name gives the empty font silently.
  explicit QVRFont(const char* file = nullptr);
  /// An empty font, then Load(file, id). A stream that is not good, or a
  /// failed load, logs "Font: bad resource file\n" (WARN).
  QVRFont(QVRResFile& file, int id);
  /// A font called `name` (may be null) for the codes first .. last, with
  /// zeroed glyph records: first and last are exchanged when first > last
  /// and each is limited to 255. The format depth is `depth`; `sheet` (may
  /// be null) is copied as SetImage does.
  QVRFont(const char* name, unsigned first, unsigned last, const QVRImage* sheet = nullptr,
          unsigned char depth = 8);
  QVRFont(const QVRFont&) = delete;
  QVRFont& operator=(const QVRFont&) = delete;
  /// Frees the name, glyph table and sheet.
  ~QVRFont() override;

  /// Frees the name, glyph table and sheet and zeroes sheet size, range,
  /// spacing, white size, ascent and descent; the format depth stays.
  void Free();

  /// Sheet bytes, name length, glyph table and the size of the object.
  unsigned MemoryUsed() const override;
  /// Reads a version-2 font file (id 0 or 1). False for another id, a
  /// stream that is not good, a magic other than "QVRF" (silently), another
  /// version ("Font: unknown format version %d\n", WARN), a bad range or
  /// sheet, or a short read. A failed load after the header leaves the font
  /// empty, as Free does.
  bool Load(QVRResFile& file, int id) override;
  /// Reads a version-1 font file (the magic, then the blocks back to back);
  /// otherwise as Load.
  bool LoadV1(QVRResFile& file, int id);
  /// Writes a version-2 font file (id 0 or 1). False, writing nothing, for
  /// another id, a stream that is not good, a font without a name, a name
  /// longer than 254 characters, no sheet or a depth other than 1, 2 or 8;
  /// false when a write fails.
  bool Save(QVRResFile& file, int id) override;

  /// Moves the start of the range to `c`, zeroing new records and dropping
  /// those before `c`; nothing when c > last or c == first.
  void SetFirstChar(unsigned char c);
  /// Moves the end of the range to `c`, zeroing new records and dropping
  /// those after `c`; nothing when c < first.
  void SetLastChar(unsigned char c);
  /// Copies `glyph` into the record of `c`, or zeroes it for a null glyph.
  /// Nothing for a code outside the range, for the space code or without a
  /// glyph table.
  void SetChar(unsigned char c, const QVRChar* glyph);
  /// Replaces the sheet with a copy of `sheet`'s pixels and sets the format
  /// depth. False (nothing changed) for a null image, one whose bytes per
  /// pixel are not (depth + 7) / 8, or a failed allocation.
  bool SetImage(const QVRImage* sheet, unsigned char depth);
  /// Replaces the name with a copy of `name`; null makes the font undefined.
  void SetName(const char* name);
  void SetAscent(int16_t ascent) { m_ascent = ascent; }
  void SetDescent(int16_t descent) { m_descent = descent; }
  void SetSpacing(uint8_t spacing) { m_spacing = spacing; }
  void SetWhiteSize(uint8_t size) { m_whiteSize = size; }

  /// The name, null when the font is not defined.
  const char* GetName() const { return m_name; }
  /// Sheet bytes, width x height x ((depth + 7) / 8), rows top to bottom;
  /// null without a sheet.
  const uint8_t* GetSheet() const { return m_sheet; }
  unsigned GetSheetWidth() const { return m_sheetWidth; }
  unsigned GetSheetHeight() const { return m_sheetHeight; }
  unsigned GetFirstChar() const { return m_first; }
  unsigned GetLastChar() const { return m_last; }
  /// The record of `c`, null outside the range or without a glyph table.
  const QVRChar* GetChar(unsigned char c) const {
    return m_chars && c >= m_first && c <= m_last ? &m_chars[c - m_first] : nullptr;
  }
  int GetAscent() const { return m_ascent; }
  int GetDescent() const { return m_descent; }
  unsigned GetSpacing() const { return m_spacing; }
  unsigned GetWhiteSize() const { return m_whiteSize; }
  unsigned GetDepth() const { return m_depth; }

  /// Space: the white size; tab: 8 x white size; a code in the range: its
  /// record's width; otherwise 0.
  unsigned CharWidth(unsigned char c) const;
  /// A code in the range other than space: its record's height; otherwise 0.
  unsigned CharHeight(unsigned char c) const;
  /// Width of one line of at most `length` characters (up to the terminating
  /// zero): advances plus the spacing between characters. 0 for an undefined
  /// font, a null text or a length of 0.
  unsigned TextWidth(const char* text, unsigned length = 0xFFFFFFFFu) const;
  /// Width as TextWidth; height = the largest rows above the baseline plus
  /// the largest rows below it among the glyphs of codes in the range
  /// (spaces and tabs excluded). Both 0 for an undefined font, a null text
  /// or a length of 0.
  void TextSize(const char* text, unsigned& width, unsigned& height,
                unsigned length = 0xFFFFFFFFu) const;
  /// Logs name, range, spacing, white size, ascent, descent and depth at LOG
  /// level ("Font not defined\n" without a name), and every glyph record
  /// with `chars`.
  void PrintInfo(bool chars = false) const;

 private:
  // The info block at the current position, then the glyph table and the
  // sheet block, at the given stream positions or, without seekToBlocks,
  // each right behind the one before.
  bool LoadBlocks(QVRResFile& file, bool seekToBlocks, uint64_t glyphPos, uint64_t sheetPos);

  char* m_name;
  uint8_t* m_sheet;
  uint32_t m_sheetWidth;
  uint32_t m_sheetHeight;
  uint32_t m_first;
  uint32_t m_last;
  QVRChar* m_chars;
  int16_t m_ascent;
  int16_t m_descent;
  uint8_t m_spacing;
  uint8_t m_whiteSize;
  uint8_t m_depth;
};

#endif
