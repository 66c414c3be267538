// QVRScreen: the process-wide software screen on SDL's video surface, with
// the image drawing primitives, palettes, fades, refresh, screenshots, the
// window caption and icon.
#ifndef QVR3D_SCREEN_H
#define QVR3D_SCREEN_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/sdlmgr.h"

struct SDL_Surface;
struct SDL_Cursor;
class QVRImage;
class QVRPal;

/// The video surface and what a game draws on it. Colour values follow the
/// surface's pixel size as in QVRImage (1 byte the low byte, 2 bytes the low
/// word, 3 bytes c, c >> 8, c >> 16, 4 bytes the word); drawing touches only
/// the surface's clip rectangle and locks the surface when SDL requires it.
/// Every drawing, palette and fade operation does nothing without a surface.
///
///   QVRScreen* screen = QVRScreen::Singleton();
///   if (screen->Init(640, 480, 0, 32)) screen->CopyImage(0, 0, &title, 0, 0, 640, 480);
///   screen->Refresh(0, 0, 640, 480);
class QVR_API QVRScreen : public QVRSDLMgr {
 public:
  /// As QVRImage::DrawMode: any non-zero value acts as DRAW_XOR.
  enum DrawMode : int { DRAW_NORMAL = 0, DRAW_XOR = 1 };

  /// Holds SDL's video subsystem; no surface until Init succeeds.
  QVRScreen();
  /// Clears the singleton, frees the surface and the cursor (a later screen
  /// makes a new cursor).
  ~QVRScreen() override;

  /// The screen, created on first call; the caller destroys it.
  static QVRScreen* Singleton();

  /// Opens a width x height mode of `bpp` bits with the SDL video `flags`
  /// (SDL_RESIZABLE is dropped beside SDL_FULLSCREEN) and sets the library's
  /// arrow cursor. False when SDL refuses the mode (the screen then has no
  /// surface).
  bool Init(unsigned width, unsigned height, unsigned flags, unsigned bpp);
  /// New size for a resizable window (opened with SDL_RESIZABLE), same depth
  /// and flags. False without a surface, for a window that is not resizable
  /// or is full screen, or when SDL refuses the size.
  bool Resize(unsigned width, unsigned height);
  /// The video surface, null before a successful Init.
  SDL_Surface* GetSurface() const { return m_surface; }

  /// A new palette (owned by the caller) with the surface palette's colours;
  /// null without a surface or a surface palette.
  QVRPal* GetPalette() const;
  /// Sets surface colours first .. first + count - 1 from the same entries of
  /// `pal` (only the entries `pal` has).
  void SetPalette(const QVRPal* pal, unsigned first, unsigned count);
  /// Sets the surface colours from all of `pal` (which the screen does not
  /// keep).
  void ReplacePalette(const QVRPal* pal);

  /// Clips drawing to the rectangle (x1, y1)-(x2, y2), inclusive, corners
  /// ordered; SDL limits it to the surface.
  void SetClipping(int x1, int y1, int x2, int y2);
  /// The pixel at (x, y), ignoring the clip rectangle; 0 outside the surface.
  /// 3-byte pixels read as (b0 << 16) | (b1 << 8) | b2.
  uint32_t GetPixel(int x, int y);
  /// Stores `colour` at (x, y) inside the clip rectangle.
  void PutPixel(int x, int y, uint32_t colour);
  /// Inside the clip rectangle: 1 byte ^= colour & 0xFF, wider pixels
  /// inverted.
  void XorPixel(int x, int y, uint32_t colour);
  /// `length` pixels from (x, y) to the right.
  void HLine(int x, int y, unsigned length, uint32_t colour, DrawMode mode = DRAW_NORMAL);
  /// `length` pixels from (x, y) downwards.
  void VLine(int x, int y, unsigned length, uint32_t colour, DrawMode mode = DRAW_NORMAL);
  /// Outline of a w x h rectangle; corners belong to the top and bottom runs.
  void Frame(int x, int y, unsigned w, unsigned h, uint32_t colour, DrawMode mode = DRAW_NORMAL);
  /// Moves the w x h block at (sx, sy) to (dx, dy); the blocks may overlap.
  void MoveInside(int sx, int sy, unsigned w, unsigned h, int dx, int dy);
  /// Copies the w x h block of `src` at (sx, sy) to (dx, dy); nothing unless
  /// `src` has pixels of the surface's bits per pixel.
  void CopyImage(int dx, int dy, const QVRImage* src, int sx, int sy, unsigned w, unsigned h);
  /// As CopyImage, but source pixels equal to `key` are not copied.
  void TCopyImage(int dx, int dy, uint32_t key, const QVRImage* src, int sx, int sy, unsigned w,
                  unsigned h);

  /// `image` in the screen's pixel format: the same pointer when its depth is
  /// already the screen's, else a new image owned by the caller (8-bit
  /// screens give it the converted palette). Null without a surface, image or
  /// pixels, or when SDL cannot convert.
  QVRImage* ScreenFormat(const QVRImage* image);
  /// Pushes the rectangle (cut to the surface) to the display.
  void Refresh(int x, int y, unsigned w, unsigned h);
  /// Shows the back buffer of a double-buffered or OpenGL surface.
  void Flip();
  /// 8-bit screens: fades the displayed colours from black to `target` in
  /// steps set by `speed` (a larger speed gives more steps, up to 128), then
  /// sets `target` as the logical palette too.
  void FadeIn(const QVRPal* target, char speed);
  /// 8-bit screens: fades the displayed colours to black; the logical
  /// palette ends black too.
  void FadeOut(char speed);
  /// Black colours (palette screens), a black surface, and a full refresh.
  void BlackOut();
  /// Saves the surface as `prefix` + "000.bmp" .. "999.bmp", the first number
  /// whose file does not exist; an existing file is never overwritten. False
  /// without a surface or prefix, when all names are taken, or when the file
  /// cannot be written (nothing is left behind then).
  bool BMPScreenshot(const char* prefix);
  /// Window title and icon title (the title when `icon` is null).
  void SetNames(const char* title, const char* icon = nullptr);
  /// Window icon from `image`; with `useKey`, pixels equal to `key` are
  /// transparent.
  void SetIcon(const QVRImage* image, bool useKey = false, uint32_t key = 0);

  /// The singleton, null when none lives.
  static QVRScreen* m_instance;
  /// The arrow cursor, made by the first successful Init.
  static SDL_Cursor* m_cursor;

 private:
  SDL_Surface* m_surface;
  uint32_t m_flags;  // the SDL video flags the mode was opened with
};

#endif
