// QVRImage: the in-memory raster in 8, 15, 16, 24 or 32 bits per pixel with a
// clip rectangle, software drawing primitives, block copies with and without
// a key colour, canvas resizing and text drawing with a bitmap font.
#ifndef QVR3D_IMAGE_H
#define QVR3D_IMAGE_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/resource.h"

class QVRResFile;
class QVRPal;
class QVRFont;
struct FontParams;

namespace qvr::detail {
struct ImageAccess;
}  // namespace qvr::detail

/// Where the y argument of a text call lies.
enum FontAlign : int {
  ALIGN_TOP = 0,       ///< y is the top row of the text
  ALIGN_BOTTOM = 1,    ///< y is the bottom row of the text
  ALIGN_BASELINE = 2,  ///< y is the baseline (also any other value)
};

/// A rectangle of pixels, rows top to bottom with no gap bytes (pitch =
/// width x bytes per pixel). Colour values: 8 bits a palette index (low byte),
/// 15/16 bits the low 16-bit word, 24 bits stored as the bytes c, c >> 8,
/// c >> 16 (0xRRGGBB lies as blue, green, red), 32 bits the word itself.
/// Drawing touches only the clip rectangle (inclusive on all sides).
///
///   QVRImage img(320, 200, 8);
///   img.Rectangle(0, 0, 320, 200, 0, QVRImage::DRAW_NORMAL);
///   img.Circle(160, 100, 50, 15, QVRImage::DRAW_NORMAL);
class QVR_API QVRImage : public QVRResource {
 public:
  /// How a drawn pixel combines with the one in place. Any non-zero value
  /// acts as DRAW_XOR: 8 bits pixel ^= colour & 0xFF; deeper images invert
  /// the pixel and ignore the colour.
  enum DrawMode : int { DRAW_NORMAL = 0, DRAW_XOR = 1 };
  /// Image format ids of Load, Save and FindFormat.
  enum Format : int {
    IMG_AUTO = 0,
    IMG_BMP = 1,
    IMG_PCX = 2,
    IMG_GIF = 3,
    IMG_TGA = 4,
    IMG_TGA_RLE = 5,
    IMG_FONT = 6,
  };

  /// An empty image: no pixels, all fields zero.
  QVRImage();
  /// A width x height image of `bpp` bits (the depth is stored unchecked);
  /// pixels allocated but not initialised when both sizes are non-zero. A
  /// size whose buffer cannot be represented or allocated leaves the image
  /// empty (width and height 0) and logs a warning.
  QVRImage(unsigned width, unsigned height, unsigned bpp);
  /// A copy of `src` (fields, clip rectangle, pixels and palette); empty for
  /// a null `src`.
  explicit QVRImage(const QVRImage* src);
  QVRImage(const QVRImage& other);
  QVRImage& operator=(const QVRImage&) = delete;
  /// Frees the pixels and the palette.
  ~QVRImage() override;

  unsigned GetWidth() const { return m_width; }
  unsigned GetHeight() const { return m_height; }
  /// Bytes per row.
  unsigned GetPitch() const { return m_pitch; }
  /// Bits per pixel.
  unsigned GetBpp() const { return m_bpp; }
  /// Bytes per pixel, (bpp + 7) / 8.
  unsigned GetBytesPerPixel() const { return (m_bpp + 7u) / 8u; }
  /// The pixel buffer (height x pitch bytes), null for an empty image.
  uint8_t* GetPixels() { return m_pixels; }
  const uint8_t* GetPixels() const { return m_pixels; }
  /// The palette of an 8-bit image, owned by the image; null when none.
  QVRPal* GetPalette() { return m_palette; }
  const QVRPal* GetPalette() const { return m_palette; }

  /// Copies entries first .. first + count - 1 of `pal` into the image's
  /// palette (creating or growing it); entries `pal` lacks become zero.
  /// Ignored for a null `pal` or an image that is not 8-bit.
  void SetPalette(const QVRPal* pal, unsigned first, unsigned count);
  /// 8-bit images: destroys the palette and adopts `pal` (may be null).
  /// Other depths: nothing happens and the caller keeps `pal`.
  void ReplacePalette(QVRPal* pal);

  /// Sets the clip rectangle (inclusive): the corners are ordered, negative
  /// values become 0, the far corner is limited to the image; ignored when
  /// the near corner lies beyond the image.
  void SetClipping(int x1, int y1, int x2, int y2);
  /// The clip rectangle (inclusive).
  void GetClipping(int& x1, int& y1, int& x2, int& y2) const;
  /// False exactly when the clip rectangle is the whole image.
  bool IsClipping() const;
  /// Clip rectangle = whole image.
  void StopClipping();

  /// The pixel at (x, y), ignoring the clip rectangle; 0 outside the image or
  /// without pixels. 24 bits: the bytes b0, b1, b2 as (b0 << 16) | (b1 << 8)
  /// | b2.
  uint32_t GetPixel(int x, int y) const;
  /// `length` pixels from (x, y) to the right.
  void HLine(int x, int y, unsigned length, uint32_t colour, DrawMode mode = DRAW_NORMAL);
  /// `length` pixels from (x, y) downwards.
  void VLine(int x, int y, unsigned length, uint32_t colour, DrawMode mode = DRAW_NORMAL);
  /// A line from (x1, y1) to (x2, y2), both end points included.
  void Line(int x1, int y1, int x2, int y2, uint32_t colour, DrawMode mode = DRAW_NORMAL);
  /// Outline of a w x h rectangle; corners belong to the top and bottom runs.
  void Frame(int x, int y, unsigned w, unsigned h, uint32_t colour, DrawMode mode = DRAW_NORMAL);
  /// Filled w x h rectangle.
  void Rectangle(int x, int y, unsigned w, unsigned h, uint32_t colour,
                 DrawMode mode = DRAW_NORMAL);
  /// Filled rectangle shaded from colour1 to colour2 over its visible part:
  /// direction 0 top to bottom, 1 left to right. Equal colours fill as
  /// Rectangle; otherwise only DRAW_NORMAL and directions 0 and 1 draw.
  void Gradient(int x, int y, unsigned w, unsigned h, uint32_t colour1, uint32_t colour2,
                int direction, DrawMode mode = DRAW_NORMAL);
  /// Circle outline of radius r around (cx, cy), each pixel touched once.
  void Circle(int cx, int cy, int r, uint32_t colour, DrawMode mode = DRAW_NORMAL);
  /// Filled disk of radius r around (cx, cy): columns cx - r .. cx + r - 1,
  /// every row drawn once.
  void Disk(int cx, int cy, int r, uint32_t colour, DrawMode mode = DRAW_NORMAL);

  /// Copies the w x h block of `src` at (sx, sy) to (dx, dy). Nothing unless
  /// both images have pixels of the same depth; the palette is not copied.
  /// The blocks must not overlap (see MoveInside).
  void CopyImage(int dx, int dy, const QVRImage* src, int sx, int sy, unsigned w, unsigned h);
  /// As CopyImage, but source pixels equal to `key` (compared at the pixel's
  /// size; 24 bits as b0 | b1 << 8 | b2 << 16) are not copied.
  void TCopyImage(int dx, int dy, uint32_t key, const QVRImage* src, int sx, int sy, unsigned w,
                  unsigned h);
  /// Turns the image upside down.
  void VFlip();
  /// Moves the w x h block at (sx, sy) to (dx, dy) inside the image; the
  /// blocks may overlap.
  void MoveInside(int sx, int sy, unsigned w, unsigned h, int dx, int dy);
  /// Changes the canvas to w x h keeping the overlapping pixels and zeroing
  /// the rest. False (image unchanged) for a zero size or a buffer that
  /// cannot be represented or allocated.
  bool Resize(unsigned w, unsigned h);
  /// Reallocates for a new size and depth (8, 15, 16, 24 or 32); pixels are
  /// not kept unless nothing changes. A zero size empties the image. False
  /// (image unchanged) for another depth or a buffer that cannot be
  /// represented; false with an empty image when the allocation fails.
  bool NewFormat(unsigned w, unsigned h, unsigned bpp);

  /// Draws `text` (`length` bytes, -1 up to the terminating zero) with
  /// `font` in `colour`, y placed by `align`.
  void DrawText(int x, int y, const char* text, uint32_t colour, QVRFont* font,
                FontAlign align = ALIGN_BASELINE, int length = -1);
  /// As DrawText with the font, alignment and colours of `params`.
  void DrawTextEx(int x, int y, const char* text, const FontParams& params, int length = -1);

  /// height x pitch plus the size of the object (the palette not counted).
  unsigned MemoryUsed() const override;
  /// Reads an image from `file` in format `format` (0 detects). Returns false
  /// when the stream is not good or the format is not available.
  bool Load(QVRResFile& file, int format) override;
  /// Writes the image in format `format`. Returns false when the stream is
  /// not good or the format is not available.
  bool Save(QVRResFile& file, int format) override;
  /// The detected format id of `file` (0 when unknown); the position is
  /// restored.
  int FindFormat(QVRResFile& file);
  /// Logs "Image: W x H x B bpp, pitch: P" and the palette size at LOG level.
  void PrintInfo() const;

 protected:
  friend struct qvr::detail::ImageAccess;

  /// Clip rectangle = whole image (0 for a zero size).
  void ResetClipping();

  uint32_t m_width;
  uint32_t m_height;
  int16_t m_clipX1;
  int16_t m_clipX2;
  int16_t m_clipY1;
  int16_t m_clipY2;
  uint8_t* m_pixels;
  QVRPal* m_palette;
  uint32_t m_pitch;
  uint16_t m_bpp;
};

#endif
