// Q3DFont: text drawn with OpenGL from the library's "QVRF" font files, one
// textured quad per glyph over the font's glyph sheet made a texture by
// Q3DTexMgr; Q3DChar holds one glyph's texture coordinates and placement.
#ifndef QVR3D_GLFONT_H
#define QVR3D_GLFONT_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/resource.h"

class QVRResFile;
struct Q3DTexture;

/// One glyph of an OpenGL font.
struct Q3DChar {
  float uLeft;    ///< texture coordinate of the left edge
  float vTop;     ///< of the top edge
  float uRight;   ///< of the right edge
  float vBottom;  ///< of the bottom edge
  uint8_t width;  ///< glyph size in pixels; width 0 means no glyph
  uint8_t height;
  int8_t below;  ///< rows below the baseline (the file's glyph descent, kept in -128..127)
  int8_t above;  ///< rows above the baseline, height - below (kept in -128..127)
};

/// A font for OpenGL. Load reads the metrics and glyph rectangles of a font
/// file and turns the rectangles into coordinates of the glyph sheet padded
/// to power-of-two sizes (at least 2); the game makes that texture from the
/// same file's sheet through Q3DTexMgr and attaches it with SetTexture.
///
///   Q3DFont font("small.fnt");
///   font.SetTexture(textures.LoadFromFile("small.fnt", GL_NEAREST, false, 0));
///   glOrtho(0, 640, 480, 0, -1, 1);     // y down, one unit per pixel
///   font.DrawString(10, 10, "Score", Q3DFont::ALL, 1.0f, Q3DFont::ALIGN_TOP);
///
/// A glyph's quad covers the rows from baseline - above to baseline + below
/// (its last row baseline + below - 1), columns pen to pen + width, all
/// scaled; the caller's model-view and projection place it.
class QVR_API Q3DFont : public QVRResource {
 public:
  /// Where the y argument of a text call lies.
  enum FontAlign : int {
    ALIGN_TOP = 0,       ///< y is the top of the text: baseline = y + ascent x scale
    ALIGN_BOTTOM = 1,    ///< y is the bottom: baseline = y - descent x scale
    ALIGN_BASELINE = 2,  ///< y is the baseline (also any other value)
  };
  /// A length meaning "up to the terminating zero".
  static constexpr unsigned ALL = 0xFFFFFFFFu;

  /// An empty font; with a file name, the disk file is read as Load(file, 0)
  /// does, and a file that does not open or load logs "Bad font file %s\n"
  /// (DBG) and leaves the font empty.
  explicit Q3DFont(const char* file = nullptr);
  Q3DFont(const Q3DFont&) = delete;
  Q3DFont& operator=(const Q3DFont&) = delete;
  ~Q3DFont() override;

  /// Frees the name and glyph table and zeroes the range and the metrics;
  /// the texture pointer stays.
  void Free();

  /// 20 x (last - first + 1) + the name's length + the size of the object.
  unsigned MemoryUsed() const override;
  /// Reads a "QVRF" font file (type 0 only). False, without a message and
  /// with the font unchanged, for another type, a stream that is not good or
  /// another magic. A version byte other than 2 logs "3DFont: unknown format
  /// version %d\n" (LOG) and is read as version 2. A range with first > last
  /// or last > 255 ("3DFont: bad character range %u - %u\n", WARN), a sheet
  /// block of an unknown depth or whose rows are not all in the stream
  /// ("3DFont: bad sheet\n", WARN), or any short read fail and leave the
  /// font empty. Offsets count from the stream position Load started at.
  bool Load(QVRResFile& file, int type) override;
  /// Always false: the font is written by QVRFont.
  bool Save(QVRResFile& file, int type) override;

  /// Attaches the glyph-sheet texture (not owned; null draws nothing).
  void SetTexture(Q3DTexture* texture) { m_texture = texture; }
  Q3DTexture* GetTexture() const { return m_texture; }
  /// The name, null when no font is loaded.
  const char* GetName() const { return m_name; }
  unsigned GetFirstChar() const { return m_first; }
  unsigned GetLastChar() const { return m_last; }
  /// The glyph of `c`, null outside the range.
  const Q3DChar* GetChar(unsigned char c) const {
    return m_chars && c >= m_first && c <= m_last ? &m_chars[c - m_first] : nullptr;
  }
  int GetAscent() const { return m_ascent; }
  int GetDescent() const { return m_descent; }
  unsigned GetSpacing() const { return m_spacing; }
  unsigned GetWhiteSize() const { return m_whiteSize; }

  /// Space: the white size; a code in range: its width; otherwise 0.
  unsigned CharWidth(unsigned char c) const;
  /// A code in range other than space: its height; otherwise 0.
  unsigned CharHeight(unsigned char c) const;
  /// Sum of the space or glyph widths (0 for codes out of range) plus the
  /// spacing after each character but the last, over at most `length`
  /// characters up to the terminating zero. 0 without a font, for a null
  /// text or a length of 0.
  unsigned TextWidth(const char* text, unsigned int length = ALL) const;
  /// Width as TextWidth; height = the largest rows above plus the largest
  /// rows below the baseline among the glyphs of codes in range (spaces
  /// excluded).
  void TextSize(const char* text, unsigned int& width, unsigned int& height,
                unsigned int length = ALL) const;

  /// One glyph quad with its pen at (x, y) on the baseline, every coordinate
  /// multiplied by `scale`. Enables and binds nothing: the caller has
  /// texturing enabled and the font's texture bound. Spaces and codes
  /// without a glyph draw nothing.
  void DrawChar(int x, int y, unsigned char c, float scale);
  /// One glyph quad at the origin of the current matrix.
  void DrawChar(unsigned char c, float scale);
  /// Draws `length` characters of `text` (ALL: up to the terminating zero,
  /// zero bytes otherwise count as codes) from pen x on the baseline given by
  /// y and `align`. Enables GL_TEXTURE_2D and GL_BLEND and binds the
  /// texture; texturing is disabled at the end, blending stays enabled. A
  /// space advances (white size + spacing) x scale, a glyph (width +
  /// spacing) x scale; other codes are skipped without advancing. Nothing
  /// without a texture or for a null or empty text.
  void DrawString(int x, int y, const char* text, unsigned int length = ALL, float scale = 1.0f,
                  FontAlign align = ALIGN_BASELINE);
  /// The same at the origin of the model-view matrix, moving with
  /// glTranslatef inside a glPushMatrix / glPopMatrix pair.
  void DrawString(const char* text, unsigned int length = ALL, float scale = 1.0f,
                  FontAlign align = ALIGN_BASELINE);
  /// As DrawString, clipped to the columns left .. right: nothing when x >
  /// right; a glyph whose right edge passes `right` ends the text; a glyph
  /// whose left edge lies left of `left` is not drawn but advances the pen.
  void DrawClipString(int x, int y, int left, int right, const char* text,
                      unsigned int length = ALL, float scale = 1.0f,
                      FontAlign align = ALIGN_BASELINE);

  /// Logs the font (name, range, spacing, white size, ascent, descent) at
  /// LOG level, with every glyph's texture coordinates (truncated to
  /// integers) and rows below the baseline when `withChars` is true; "Font
  /// not defined\n" without a font.
  void PrintInfo(bool withChars = false) const;

 private:
  // Baseline of y for `align`.
  float Baseline(int y, float scale, FontAlign align) const;
  // The string operations; `origin` draws at the model-view origin.
  void Draw(float x, float by, const char* text, unsigned length, float scale, bool clip,
            float left, float right, bool origin);

  char* m_name;
  Q3DTexture* m_texture;
  uint32_t m_first;
  uint32_t m_last;
  Q3DChar* m_chars;
  int16_t m_ascent;
  int16_t m_descent;
  uint8_t m_spacing;
  uint8_t m_whiteSize;
};

#endif
