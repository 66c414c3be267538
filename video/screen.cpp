// QVRScreen: the software screen. Drawing goes through an image view over the
// surface pixels, so the screen and QVRImage share one set of primitives.
#include "qvr3d/screen.h"

#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/image_view.h"
#include "io/platform.h"
#include "qvr3d/fileutils.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"

QVRScreen* QVRScreen::m_instance = nullptr;
SDL_Cursor* QVRScreen::m_cursor = nullptr;

using qvr::detail::ImageView;

namespace {

// The arrow: black outline, white inside; one 16-bit row per line, high
// byte first, most significant bit leftmost (data 1 and mask 1 black, data 0
// and mask 1 white, both 0 transparent).
// clang-format off
const Uint8 kCursorData[32] = {
    0x80, 0x00,  0xC0, 0x00,  0xA0, 0x00,  0x90, 0x00,
    0x88, 0x00,  0x84, 0x00,  0x82, 0x00,  0x81, 0x00,
    0x80, 0x80,  0x80, 0x40,  0x80, 0x20,  0x8F, 0xF0,
    0x90, 0x00,  0xA0, 0x00,  0xC0, 0x00,  0x80, 0x00};
const Uint8 kCursorMask[32] = {
    0x80, 0x00,  0xC0, 0x00,  0xE0, 0x00,  0xF0, 0x00,
    0xF8, 0x00,  0xFC, 0x00,  0xFE, 0x00,  0xFF, 0x00,
    0xFF, 0x80,  0xFF, 0xC0,  0xFF, 0xE0,  0xFF, 0xF0,
    0xF0, 0x00,  0xE0, 0x00,  0xC0, 0x00,  0x80, 0x00};
// clang-format on

// Direct pixel access for the lifetime of the object: the surface is locked
// when SDL requires it (the pixel pointer is only valid while locked), and
// the view is an image over its pixels clipped to the surface's clip
// rectangle.
class SurfacePixels {
 public:
  explicit SurfacePixels(SDL_Surface* s) : m_surface(s) {
    if (s == nullptr) return;
    if (SDL_MUSTLOCK(s)) {
      if (SDL_LockSurface(s) < 0) return;
      m_locked = true;
    }
    if (s->pixels == nullptr || s->w <= 0 || s->h <= 0) return;
    const SDL_Rect& c = s->clip_rect;
    // The view's clip rectangle is inclusive: an empty SDL rectangle has no
    // such form, so it draws nothing at all.
    m_clipEmpty = c.w == 0 || c.h == 0;
    m_view.emplace(static_cast<uint8_t*>(s->pixels), static_cast<unsigned>(s->w),
                   static_cast<unsigned>(s->h), s->pitch, s->format->BitsPerPixel, c.x, c.y,
                   c.x + c.w - 1, c.y + c.h - 1);
  }
  ~SurfacePixels() {
    m_view.reset();
    if (m_locked) SDL_UnlockSurface(m_surface);
  }
  SurfacePixels(const SurfacePixels&) = delete;
  SurfacePixels& operator=(const SurfacePixels&) = delete;

  // The view for reads (whole surface), null when there are no pixels.
  ImageView* Read() { return m_view ? &*m_view : nullptr; }
  // The view for drawing, null also when the clip rectangle is empty.
  ImageView* Draw() { return m_clipEmpty ? nullptr : Read(); }

 private:
  SDL_Surface* m_surface;
  bool m_locked = false;
  bool m_clipEmpty = true;
  std::optional<ImageView> m_view;
};

QVRImage::DrawMode ImageMode(QVRScreen::DrawMode mode) {
  return mode == QVRScreen::DRAW_NORMAL ? QVRImage::DRAW_NORMAL : QVRImage::DRAW_XOR;
}

SDL_Palette* SurfacePalette(SDL_Surface* s) {
  return s != nullptr && s->format != nullptr ? s->format->palette : nullptr;
}

// Masks of a surface made over an image's pixels for SDL_DisplayFormat; 0
// lets SDL choose its defaults.
void ConvertMasks(unsigned bpp, Uint32& r, Uint32& g, Uint32& b) {
  r = g = b = 0;
  if (bpp == 15) {
    r = 0x7C00;
    g = 0x03E0;
    b = 0x001F;
  } else if (bpp == 16) {
    r = 0xF800;
    g = 0x07E0;
    b = 0x001F;
  } else if (bpp == 24) {
    r = 0xFF0000;
    g = 0x00FF00;
    b = 0x0000FF;
  }
}

// A surface over the pixels of `image` (which SDL only reads), with the
// image's palette for 8 bits. Null when SDL cannot make it.
SDL_Surface* SurfaceOver(const QVRImage* image, Uint32 r, Uint32 g, Uint32 b) {
  SDL_Surface* s = SDL_CreateRGBSurfaceFrom(
      const_cast<uint8_t*>(image->GetPixels()), static_cast<int>(image->GetWidth()),
      static_cast<int>(image->GetHeight()), static_cast<int>(image->GetBpp()),
      static_cast<int>(image->GetPitch()), r, g, b, 0);
  if (s == nullptr) return nullptr;
  const QVRPal* pal = image->GetPalette();
  if (image->GetBpp() <= 8 && pal != nullptr && pal->GetCount() != 0 && s->format->palette)
    SDL_SetColors(s, reinterpret_cast<SDL_Color*>(const_cast<uint8_t*>(pal->GetEntries())), 0,
                  static_cast<int>(pal->GetCount()));
  return s;
}

// The fade steps of a speed byte: the largest power of two not above it, at
// least 2, and its logarithm.
void FadeSteps(char speed, unsigned& steps, unsigned& shift) {
  unsigned s = static_cast<unsigned char>(speed);
  steps = 2;
  shift = 1;
  while (2 * steps <= s) {
    steps *= 2;
    ++shift;
  }
}

void ScaleColours(const SDL_Color* from, SDL_Color* to, int n, unsigned i, unsigned shift) {
  for (int k = 0; k < n; ++k) {
    to[k].r = Uint8((from[k].r * i) >> shift);
    to[k].g = Uint8((from[k].g * i) >> shift);
    to[k].b = Uint8((from[k].b * i) >> shift);
    to[k].unused = from[k].unused;
  }
}

// An SDL_RWops that collects what is written into a growing buffer, so that a
// screenshot is complete in memory before any file is created.
struct MemoryOut {
  std::vector<unsigned char> bytes;
  size_t pos = 0;
};

int MemSeek(SDL_RWops* rw, int offset, int whence) {
  auto* out = static_cast<MemoryOut*>(rw->hidden.unknown.data1);
  long long base = whence == RW_SEEK_SET   ? 0
                   : whence == RW_SEEK_CUR ? (long long)out->pos
                                           : (long long)out->bytes.size();
  long long at = base + offset;
  if (at < 0 || at > 0x7FFFFFFF) {
    SDL_SetError("screenshot: seek out of range");
    return -1;
  }
  out->pos = static_cast<size_t>(at);
  return static_cast<int>(at);
}

int MemRead(SDL_RWops*, void*, int, int) { return 0; }

int MemWrite(SDL_RWops* rw, const void* data, int size, int num) {
  auto* out = static_cast<MemoryOut*>(rw->hidden.unknown.data1);
  if (size <= 0 || num <= 0) return 0;
  size_t bytes = static_cast<size_t>(size) * static_cast<size_t>(num);
  if (out->pos + bytes > 0x7FFFFFFF) return 0;
  if (out->bytes.size() < out->pos + bytes) out->bytes.resize(out->pos + bytes);
  std::memcpy(out->bytes.data() + out->pos, data, bytes);
  out->pos += bytes;
  return num;
}

int MemClose(SDL_RWops* rw) {
  SDL_FreeRW(rw);
  return 0;
}

// The surface as a BMP file in memory; false when SDL cannot write it.
bool EncodeBMP(SDL_Surface* s, MemoryOut& out) {
  SDL_RWops* rw = SDL_AllocRW();
  if (rw == nullptr) return false;
  rw->seek = MemSeek;
  rw->read = MemRead;
  rw->write = MemWrite;
  rw->close = MemClose;
  rw->hidden.unknown.data1 = &out;
  return SDL_SaveBMP_RW(s, rw, 1) == 0 && !out.bytes.empty();
}

// Creates `name` exclusively and writes `bytes` into it. 1 written, 0 the
// name exists already, -1 any other failure (nothing is left behind).
int WriteNewFile(const std::string& name, const std::vector<unsigned char>& bytes) {
  std::string path;
  if (!qvr::detail::NativePath(name.c_str(), path)) return -1;
  errno = 0;
  FILE* f = std::fopen(path.c_str(), "wbx");
  if (f == nullptr) return errno == EEXIST ? 0 : -1;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    std::remove(path.c_str());
    return -1;
  }
  return 1;
}

}  // namespace

QVRScreen::QVRScreen() : QVRSDLMgr(SDL_INIT_VIDEO), m_surface(nullptr), m_flags(0) {}

QVRScreen::~QVRScreen() {
  if (m_instance == this) m_instance = nullptr;
  if (m_surface != nullptr) SDL_FreeSurface(m_surface);
  m_surface = nullptr;
  if (m_cursor != nullptr) {
    SDL_FreeCursor(m_cursor);
    m_cursor = nullptr;
  }
}

QVRScreen* QVRScreen::Singleton() {
  if (m_instance == nullptr) m_instance = new QVRScreen();
  return m_instance;
}

bool QVRScreen::Init(unsigned width, unsigned height, unsigned flags, unsigned bpp) {
  if (m_surface != nullptr) {
    SDL_FreeSurface(m_surface);
    m_surface = nullptr;
  }
  if ((flags & SDL_FULLSCREEN) != 0 && (flags & SDL_RESIZABLE) != 0)
    flags &= ~Uint32(SDL_RESIZABLE);
  m_surface = SDL_SetVideoMode(static_cast<int>(width), static_cast<int>(height),
                               static_cast<int>(bpp), flags);
  m_flags = flags;
  if (m_surface == nullptr) return false;
  if (m_cursor == nullptr)
    m_cursor = SDL_CreateCursor(const_cast<Uint8*>(kCursorData), const_cast<Uint8*>(kCursorMask),
                                16, 16, 1, 1);
  if (m_cursor != nullptr) SDL_SetCursor(m_cursor);
  return true;
}

bool QVRScreen::Resize(unsigned width, unsigned height) {
  if (m_surface == nullptr) return false;
  // sdl12-compat reports neither SDL_RESIZABLE nor the other window flags on
  // the surface: the flags the mode was asked with count too.
  Uint32 flags = m_surface->flags | (m_flags & SDL_RESIZABLE);
  if ((flags & SDL_RESIZABLE) == 0 || (flags & SDL_FULLSCREEN) != 0) return false;
  SDL_Surface* s = SDL_SetVideoMode(static_cast<int>(width), static_cast<int>(height),
                                    m_surface->format->BitsPerPixel, flags);
  // A refused size may still have replaced the old mode: keep whatever SDL
  // now shows.
  m_surface = s != nullptr ? s : SDL_GetVideoSurface();
  return s != nullptr;
}

QVRPal* QVRScreen::GetPalette() const {
  SDL_Palette* p = SurfacePalette(m_surface);
  if (p == nullptr) return nullptr;
  QVRPal* pal = new QVRPal(static_cast<unsigned>(p->ncolors));
  if (pal->GetCount() == static_cast<unsigned>(p->ncolors) && p->ncolors > 0)
    std::memcpy(pal->GetEntries(), p->colors, static_cast<size_t>(p->ncolors) * 4);
  return pal;
}

void QVRScreen::SetPalette(const QVRPal* pal, unsigned first, unsigned count) {
  if (pal == nullptr || SurfacePalette(m_surface) == nullptr || first >= pal->GetCount()) return;
  // Only the entries the palette has: SDL would read past its array.
  if (count > pal->GetCount() - first) count = pal->GetCount() - first;
  if (count == 0) return;
  SDL_SetColors(m_surface,
                reinterpret_cast<SDL_Color*>(const_cast<uint8_t*>(pal->GetEntries())) + first,
                static_cast<int>(first), static_cast<int>(count));
}

void QVRScreen::ReplacePalette(const QVRPal* pal) {
  if (pal == nullptr || SurfacePalette(m_surface) == nullptr || pal->GetCount() == 0) return;
  SDL_SetColors(m_surface, reinterpret_cast<SDL_Color*>(const_cast<uint8_t*>(pal->GetEntries())), 0,
                static_cast<int>(pal->GetCount()));
}

void QVRScreen::SetClipping(int x1, int y1, int x2, int y2) {
  if (m_surface == nullptr) return;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  // SDL keeps the rectangle in 16-bit fields: limit it to what the surface
  // can hold before it is narrowed, so that a far corner cannot wrap.
  auto limit = [](int v, int high) { return v < -1 ? -1 : v > high ? high : v; };
  int64_t lx = limit(x1, m_surface->w), ly = limit(y1, m_surface->h);
  int64_t hx = limit(x2, m_surface->w), hy = limit(y2, m_surface->h);
  SDL_Rect r;
  if (lx < 0) lx = 0;
  if (ly < 0) ly = 0;
  r.x = Sint16(lx);
  r.y = Sint16(ly);
  r.w = Uint16(hx >= lx ? hx - lx + 1 : 0);
  r.h = Uint16(hy >= ly ? hy - ly + 1 : 0);
  SDL_SetClipRect(m_surface, &r);
}

uint32_t QVRScreen::GetPixel(int x, int y) {
  SurfacePixels px(m_surface);
  return px.Read() != nullptr ? px.Read()->GetPixel(x, y) : 0;
}

void QVRScreen::PutPixel(int x, int y, uint32_t colour) {
  SurfacePixels px(m_surface);
  if (ImageView* v = px.Draw()) v->HLine(x, y, 1, colour, QVRImage::DRAW_NORMAL);
}

void QVRScreen::XorPixel(int x, int y, uint32_t colour) {
  SurfacePixels px(m_surface);
  if (ImageView* v = px.Draw()) v->HLine(x, y, 1, colour, QVRImage::DRAW_XOR);
}

void QVRScreen::HLine(int x, int y, unsigned length, uint32_t colour, DrawMode mode) {
  SurfacePixels px(m_surface);
  if (ImageView* v = px.Draw()) v->HLine(x, y, length, colour, ImageMode(mode));
}

void QVRScreen::VLine(int x, int y, unsigned length, uint32_t colour, DrawMode mode) {
  SurfacePixels px(m_surface);
  if (ImageView* v = px.Draw()) v->VLine(x, y, length, colour, ImageMode(mode));
}

void QVRScreen::Frame(int x, int y, unsigned w, unsigned h, uint32_t colour, DrawMode mode) {
  SurfacePixels px(m_surface);
  if (ImageView* v = px.Draw()) v->Frame(x, y, w, h, colour, ImageMode(mode));
}

void QVRScreen::MoveInside(int sx, int sy, unsigned w, unsigned h, int dx, int dy) {
  SurfacePixels px(m_surface);
  if (ImageView* v = px.Draw()) v->MoveInside(sx, sy, w, h, dx, dy);
}

void QVRScreen::CopyImage(int dx, int dy, const QVRImage* src, int sx, int sy, unsigned w,
                          unsigned h) {
  if (src == nullptr || src->GetPixels() == nullptr || m_surface == nullptr ||
      src->GetBpp() != m_surface->format->BitsPerPixel)
    return;
  SurfacePixels px(m_surface);
  if (ImageView* v = px.Draw()) v->CopyImage(dx, dy, src, sx, sy, w, h);
}

void QVRScreen::TCopyImage(int dx, int dy, uint32_t key, const QVRImage* src, int sx, int sy,
                           unsigned w, unsigned h) {
  if (src == nullptr || src->GetPixels() == nullptr || m_surface == nullptr ||
      src->GetBpp() != m_surface->format->BitsPerPixel)
    return;
  SurfacePixels px(m_surface);
  if (ImageView* v = px.Draw()) v->TCopyImage(dx, dy, key, src, sx, sy, w, h);
}

QVRImage* QVRScreen::ScreenFormat(const QVRImage* image) {
  if (m_surface == nullptr || image == nullptr || image->GetPixels() == nullptr) return nullptr;
  const unsigned screenBpp = m_surface->format->BitsPerPixel;
  if (image->GetBpp() == screenBpp) return const_cast<QVRImage*>(image);
  Uint32 r, g, b;
  ConvertMasks(image->GetBpp(), r, g, b);
  SDL_Surface* temp = SurfaceOver(image, r, g, b);
  if (temp == nullptr) return nullptr;
  SDL_Surface* converted = SDL_DisplayFormat(temp);
  SDL_FreeSurface(temp);
  if (converted == nullptr) return nullptr;
  QVRImage* out = new QVRImage(image->GetWidth(), image->GetHeight(), screenBpp);
  if (out->GetPixels() == nullptr || converted->w != static_cast<int>(out->GetWidth()) ||
      converted->h != static_cast<int>(out->GetHeight())) {
    delete out;
    SDL_FreeSurface(converted);
    return nullptr;
  }
  SDL_Palette* cp = converted->format->palette;
  if (screenBpp == 8 && cp != nullptr && cp->ncolors > 0) {
    QVRPal* pal = new QVRPal(static_cast<unsigned>(cp->ncolors));
    if (pal->GetCount() == static_cast<unsigned>(cp->ncolors))
      std::memcpy(pal->GetEntries(), cp->colors, static_cast<size_t>(cp->ncolors) * 4);
    out->ReplacePalette(pal);
  }
  bool locked = SDL_MUSTLOCK(converted) && SDL_LockSurface(converted) == 0;
  if (!SDL_MUSTLOCK(converted) || locked) {
    qvr::detail::CopyRows(out->GetPixels(), out->GetPitch(),
                          static_cast<const uint8_t*>(converted->pixels), converted->pitch,
                          out->GetPitch(), out->GetHeight());
  }
  if (locked) SDL_UnlockSurface(converted);
  SDL_FreeSurface(converted);
  return out;
}

void QVRScreen::Refresh(int x, int y, unsigned w, unsigned h) {
  if (m_surface == nullptr) return;
  // In 64 bits: x + w and the cuts below must not wrap. An update rectangle
  // that reaches beyond the surface corrupts memory in some SDL drivers.
  int64_t left = x, top = y, width = w, height = h;
  const int64_t sw = m_surface->w, sh = m_surface->h;
  if (left >= sw || top >= sh || left + width < 0 || top + height < 0) return;
  if (left < 0) {
    width += left;
    left = 0;
  }
  if (top < 0) {
    height += top;
    top = 0;
  }
  if (width > sw - left) width = sw - left;
  if (height > sh - top) height = sh - top;
  if (width <= 0 || height <= 0) return;
  SDL_Rect r = {Sint16(left), Sint16(top), Uint16(width), Uint16(height)};
  SDL_UpdateRects(m_surface, 1, &r);
}

void QVRScreen::Flip() {
  if (m_surface == nullptr) return;
  if ((m_surface->flags & SDL_DOUBLEBUF) != 0)
    SDL_Flip(m_surface);
  else if ((m_surface->flags & SDL_OPENGL) != 0)
    SDL_GL_SwapBuffers();
}

void QVRScreen::FadeIn(const QVRPal* target, char speed) {
  SDL_Palette* p = SurfacePalette(m_surface);
  if (target == nullptr || p == nullptr) return;
  int n = p->ncolors < static_cast<int>(target->GetCount()) ? p->ncolors
                                                            : static_cast<int>(target->GetCount());
  if (n <= 0) return;
  unsigned steps, shift;
  FadeSteps(speed, steps, shift);
  const SDL_Color* full = reinterpret_cast<const SDL_Color*>(target->GetEntries());
  std::vector<SDL_Color> colours(static_cast<size_t>(n));
  for (unsigned i = 0; i <= steps; ++i) {
    ScaleColours(full, colours.data(), n, i, shift);
    SDL_SetPalette(m_surface, SDL_PHYSPAL, colours.data(), 0, n);
  }
  std::memcpy(colours.data(), full, static_cast<size_t>(n) * sizeof(SDL_Color));
  SDL_SetPalette(m_surface, SDL_LOGPAL | SDL_PHYSPAL, colours.data(), 0, n);
}

void QVRScreen::FadeOut(char speed) {
  SDL_Palette* p = SurfacePalette(m_surface);
  if (p == nullptr || p->ncolors <= 0) return;
  int n = p->ncolors;
  unsigned steps, shift;
  FadeSteps(speed, steps, shift);
  std::vector<SDL_Color> from(p->colors, p->colors + n), colours(static_cast<size_t>(n));
  for (unsigned i = steps; i-- > 0;) {
    ScaleColours(from.data(), colours.data(), n, i, shift);
    SDL_SetPalette(m_surface, SDL_PHYSPAL, colours.data(), 0, n);
  }
  SDL_SetPalette(m_surface, SDL_LOGPAL | SDL_PHYSPAL, colours.data(), 0, n);
}

void QVRScreen::BlackOut() {
  if (m_surface == nullptr) return;
  if (SDL_Palette* p = SurfacePalette(m_surface)) {
    std::vector<SDL_Color> black(static_cast<size_t>(p->ncolors), SDL_Color{0, 0, 0, 0});
    if (!black.empty()) SDL_SetColors(m_surface, black.data(), 0, p->ncolors);
  }
  SDL_FillRect(m_surface, nullptr, 0);
  SDL_UpdateRect(m_surface, 0, 0, 0, 0);
}

bool QVRScreen::BMPScreenshot(const char* prefix) {
  if (m_surface == nullptr || prefix == nullptr) return false;
  MemoryOut bmp;
  bool encoded = false;
  for (int number = 0; number < 1000; ++number) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%03d.bmp", number);
    std::string name = std::string(prefix) + suffix;
    if (QVRFileUtils::FileExist(name.c_str())) continue;
    // Encoded once, and only when a free name exists.
    if (!encoded) {
      if (!EncodeBMP(m_surface, bmp)) return false;
      encoded = true;
    }
    // The name is created exclusively: one that appeared since the test
    // above is left alone and the next number is tried.
    int written = WriteNewFile(name, bmp.bytes);
    if (written != 0) return written > 0;
  }
  return false;
}

void QVRScreen::SetNames(const char* title, const char* icon) {
  SDL_WM_SetCaption(title, icon != nullptr ? icon : title);
}

void QVRScreen::SetIcon(const QVRImage* image, bool useKey, uint32_t key) {
  if (image == nullptr || image->GetPixels() == nullptr) return;
  Uint32 r = 0, g = 0, b = 0;
  unsigned bpp = image->GetBpp();
  if (bpp == 32) {
    r = 0xFF0000;
    g = 0x00FF00;
    b = 0x0000FF;
  } else {
    ConvertMasks(bpp, r, g, b);
  }
  SDL_Surface* s = SurfaceOver(image, r, g, b);
  if (s == nullptr) return;
  if (useKey) SDL_SetColorKey(s, SDL_SRCCOLORKEY, key);
  SDL_WM_SetIcon(s, nullptr);
  SDL_FreeSurface(s);
}
