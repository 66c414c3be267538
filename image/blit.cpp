// QVRImage block copies: plain, with a key colour, and moves inside one image.
#include <cstring>
#include <new>

#include "image/pixel.h"
#include "qvr3d/image.h"

namespace {

// A block after clipping: destination and source corners and the size.
struct Block {
  int64_t dx, dy, sx, sy, w, h;
};

// Clips a w x h block of a srcWidth x srcHeight source at (sx, sy) to the
// destination clip rectangle at (dx, dy). False when nothing is left.
bool ClipBlock(int dx, int dy, int64_t srcWidth, int64_t srcHeight, int sx, int sy, unsigned w,
               unsigned h, int clipX1, int clipY1, int clipX2, int clipY2, Block& b) {
  if (dx > clipX2 || dy > clipY2 || sx < 0 || sy < 0 || sx >= srcWidth || sy >= srcHeight)
    return false;
  b = Block{dx, dy, sx, sy, static_cast<int64_t>(w), static_cast<int64_t>(h)};
  if (b.dx < clipX1) {
    int64_t d = clipX1 - b.dx;
    b.sx += d;
    b.w -= d;
    b.dx = clipX1;
  }
  if (b.sx + b.w > srcWidth) b.w = srcWidth - b.sx;
  if (b.dx + b.w - 1 > clipX2) b.w = clipX2 + 1 - b.dx;
  if (b.dy < clipY1) {
    int64_t d = clipY1 - b.dy;
    b.sy += d;
    b.h -= d;
    b.dy = clipY1;
  }
  if (b.sy + b.h > srcHeight) b.h = srcHeight - b.sy;
  if (b.dy + b.h - 1 > clipY2) b.h = clipY2 + 1 - b.dy;
  return b.w > 0 && b.h > 0;
}

}  // namespace

void QVRImage::CopyImage(int dx, int dy, const QVRImage* src, int sx, int sy, unsigned w,
                         unsigned h) {
  if (src == this) {
    // Copying within one image is a move; doing it as one keeps the source
    // intact where the blocks overlap.
    MoveInside(sx, sy, w, h, dx, dy);
    return;
  }
  if (src == nullptr || m_pixels == nullptr || src->m_pixels == nullptr || src->m_bpp != m_bpp)
    return;
  Block b;
  if (!ClipBlock(dx, dy, src->m_width, src->m_height, sx, sy, w, h, m_clipX1, m_clipY1, m_clipX2,
                 m_clipY2, b))
    return;
  size_t Bpp = GetBytesPerPixel();
  qvr::detail::CopyRows(
      m_pixels + static_cast<size_t>(b.dy) * m_pitch + static_cast<size_t>(b.dx) * Bpp, m_pitch,
      src->m_pixels + static_cast<size_t>(b.sy) * src->m_pitch + static_cast<size_t>(b.sx) * Bpp,
      src->m_pitch, static_cast<size_t>(b.w) * Bpp, static_cast<size_t>(b.h));
}

void QVRImage::TCopyImage(int dx, int dy, uint32_t key, const QVRImage* src, int sx, int sy,
                          unsigned w, unsigned h) {
  if (src == nullptr || m_pixels == nullptr || src->m_pixels == nullptr || src->m_bpp != m_bpp)
    return;
  size_t Bpp = GetBytesPerPixel();
  if (Bpp == 0 || Bpp > 4) return;
  Block b;
  if (!ClipBlock(dx, dy, src->m_width, src->m_height, sx, sy, w, h, m_clipX1, m_clipY1, m_clipX2,
                 m_clipY2, b))
    return;
  size_t rowBytes = static_cast<size_t>(b.w) * Bpp;
  const uint8_t* from =
      src->m_pixels + static_cast<size_t>(b.sy) * src->m_pitch + static_cast<size_t>(b.sx) * Bpp;
  size_t fromPitch = src->m_pitch;
  uint8_t* copy = nullptr;
  if (src == this) {
    // The source block is taken before any pixel of it can be overwritten.
    copy = new (std::nothrow) uint8_t[rowBytes * static_cast<size_t>(b.h)];
    if (copy == nullptr) return;
    qvr::detail::CopyRows(copy, rowBytes, from, fromPitch, rowBytes, static_cast<size_t>(b.h));
    from = copy;
    fromPitch = rowBytes;
  }
  uint8_t* to = m_pixels + static_cast<size_t>(b.dy) * m_pitch + static_cast<size_t>(b.dx) * Bpp;
  for (int64_t r = 0; r < b.h; ++r, to += m_pitch, from += fromPitch)
    qvr::detail::KeyCopyPixels(to, from, static_cast<size_t>(b.w), key, static_cast<unsigned>(Bpp));
  delete[] copy;
}

void QVRImage::MoveInside(int sx, int sy, unsigned w, unsigned h, int dx, int dy) {
  if (m_pixels == nullptr) return;
  Block b;
  if (!ClipBlock(dx, dy, m_width, m_height, sx, sy, w, h, m_clipX1, m_clipY1, m_clipX2, m_clipY2,
                 b))
    return;
  size_t Bpp = GetBytesPerPixel();
  size_t rowBytes = static_cast<size_t>(b.w) * Bpp;
  uint8_t* to = m_pixels + static_cast<size_t>(b.dy) * m_pitch + static_cast<size_t>(b.dx) * Bpp;
  const uint8_t* from =
      m_pixels + static_cast<size_t>(b.sy) * m_pitch + static_cast<size_t>(b.sx) * Bpp;
  size_t rows = static_cast<size_t>(b.h);
  // Rows go in the order that never overwrites a source row still to move.
  for (size_t i = 0; i < rows; ++i) {
    size_t r = b.sy > b.dy ? i : rows - 1 - i;
    std::memmove(to + r * m_pitch, from + r * m_pitch, rowBytes);
  }
}
