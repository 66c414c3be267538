// QVRImage drawing primitives: runs, lines, frames, filled and shaded
// rectangles, circles and disks, all limited to the clip rectangle.
#include <cstdint>

#include "image/pixel.h"
#include "qvr3d/image.h"

using qvr::detail::Pixel;
using qvr::detail::WithBpp;

namespace {

// The store of one pixel in one drawing mode, chosen once per primitive.
template <unsigned Bpp, bool Xor>
struct Store {
  static void Apply(uint8_t* p, uint32_t c) {
    if (Xor)
      Pixel<Bpp>::Xor(p, c);
    else
      Pixel<Bpp>::Put(p, c);
  }
};

template <class F>
void WithStore(unsigned bytesPerPixel, QVRImage::DrawMode mode, F&& f) {
  WithBpp(bytesPerPixel, [&](auto tag) {
    constexpr unsigned Bpp = decltype(tag)::value;
    if (mode == QVRImage::DRAW_NORMAL)
      f(Store<Bpp, false>());
    else
      f(Store<Bpp, true>());
  });
}

void XorRun(uint8_t* p, size_t count, uint32_t colour, unsigned Bpp) {
  WithBpp(Bpp, [&](auto tag) {
    constexpr unsigned N = decltype(tag)::value;
    for (size_t i = 0; i < count; ++i, p += N) Pixel<N>::Xor(p, colour);
  });
}

// A run of `count` pixels: block fills in DRAW_NORMAL, one store per pixel
// in DRAW_XOR.
inline void Run(uint8_t* p, size_t count, uint32_t colour, QVRImage::DrawMode mode, unsigned Bpp) {
  if (mode == QVRImage::DRAW_NORMAL)
    qvr::detail::FillPixels(p, count, colour, Bpp);
  else
    XorRun(p, count, colour, Bpp);
}

// Clamps the span [start, start + length) to [low, high]; false when empty.
bool ClampSpan(int64_t start, uint64_t length, int low, int high, int64_t& first, int64_t& last) {
  if (length == 0) return false;
  first = start;
  last = start + static_cast<int64_t>(length) - 1;
  if (first > high || last < low) return false;
  if (first < low) first = low;
  if (last > high) last = high;
  return first <= last;
}

}  // namespace

void QVRImage::HLine(int x, int y, unsigned length, uint32_t colour, DrawMode mode) {
  unsigned Bpp = GetBytesPerPixel();
  if (m_pixels == nullptr || Bpp - 1 > 3 || y < m_clipY1 || y > m_clipY2 || length == 0) return;
  int64_t x1 = x, x2 = static_cast<int64_t>(x) + length - 1;
  if (x1 > m_clipX2 || x2 < m_clipX1) return;
  if (x1 < m_clipX1) x1 = m_clipX1;
  if (x2 > m_clipX2) x2 = m_clipX2;
  Run(m_pixels + static_cast<size_t>(y) * m_pitch + static_cast<size_t>(x1) * Bpp,
      static_cast<size_t>(x2 - x1 + 1), colour, mode, Bpp);
}

void QVRImage::VLine(int x, int y, unsigned length, uint32_t colour, DrawMode mode) {
  unsigned Bpp = GetBytesPerPixel();
  if (m_pixels == nullptr || x < m_clipX1 || x > m_clipX2) return;
  int64_t y1, y2;
  if (!ClampSpan(y, length, m_clipY1, m_clipY2, y1, y2)) return;
  uint8_t* p = m_pixels + static_cast<size_t>(y1) * m_pitch + static_cast<size_t>(x) * Bpp;
  size_t pitch = m_pitch;
  WithStore(Bpp, mode, [&](auto store) {
    for (int64_t n = y2 - y1 + 1; n > 0; --n, p += pitch) store.Apply(p, colour);
  });
}

void QVRImage::Line(int x1, int y1, int x2, int y2, uint32_t colour, DrawMode mode) {
  if (m_pixels == nullptr) return;
  const int cx1 = m_clipX1, cx2 = m_clipX2, cy1 = m_clipY1, cy2 = m_clipY2;
  // Both ends beyond the same edge: nothing of the line is visible.
  if ((x1 < cx1 && x2 < cx1) || (x1 > cx2 && x2 > cx2) || (y1 < cy1 && y2 < cy1) ||
      (y1 > cy2 && y2 > cy2))
    return;
  int64_t dx = static_cast<int64_t>(x2) - x1, dy = static_cast<int64_t>(y2) - y1;
  int sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
  int64_t nx = (dx >= 0 ? dx : -dx) + 1, ny = (dy >= 0 ? dy : -dy) + 1;
  uint8_t* pixels = m_pixels;
  size_t pitch = m_pitch;
  unsigned Bpp = GetBytesPerPixel();
  WithStore(Bpp, mode, [&](auto store) {
    auto plot = [&](int64_t x, int64_t y) {
      if (x >= cx1 && x <= cx2 && y >= cy1 && y <= cy2)
        store.Apply(pixels + static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * Bpp, colour);
    };
    int64_t x = x1, y = y1, err = 0;
    if (nx >= ny) {
      for (int64_t i = 0; i < nx; ++i, x += sx) {
        plot(x, y);
        err += ny;
        if (err >= nx) {
          err -= nx;
          y += sy;
        }
      }
    } else {
      for (int64_t i = 0; i < ny; ++i, y += sy) {
        plot(x, y);
        err += nx;
        if (err >= ny) {
          err -= ny;
          x += sx;
        }
      }
    }
  });
}

void QVRImage::Frame(int x, int y, unsigned w, unsigned h, uint32_t colour, DrawMode mode) {
  // A frame without width or height has no pixels.
  if (w == 0 || h == 0) return;
  int64_t right = static_cast<int64_t>(x) + w - 1, bottom = static_cast<int64_t>(y) + h - 1;
  HLine(x, y, w, colour, mode);
  if (bottom <= INT32_MAX) HLine(x, static_cast<int>(bottom), w, colour, mode);
  if (h >= 3 && y < INT32_MAX) {
    VLine(x, y + 1, h - 2, colour, mode);
    if (right <= INT32_MAX) VLine(static_cast<int>(right), y + 1, h - 2, colour, mode);
  }
}

void QVRImage::Rectangle(int x, int y, unsigned w, unsigned h, uint32_t colour, DrawMode mode) {
  unsigned Bpp = GetBytesPerPixel();
  if (m_pixels == nullptr || Bpp == 0 || Bpp > 4) return;
  int64_t x1, x2, y1, y2;
  if (!ClampSpan(x, w, m_clipX1, m_clipX2, x1, x2) || !ClampSpan(y, h, m_clipY1, m_clipY2, y1, y2))
    return;
  size_t count = static_cast<size_t>(x2 - x1 + 1), rows = static_cast<size_t>(y2 - y1 + 1);
  uint8_t* p = m_pixels + static_cast<size_t>(y1) * m_pitch + static_cast<size_t>(x1) * Bpp;
  // Whole rows lie back to back: one run covers the block.
  if (count * Bpp == m_pitch) {
    Run(p, count * rows, colour, mode, Bpp);
    return;
  }
  for (size_t r = 0; r < rows; ++r, p += m_pitch) Run(p, count, colour, mode, Bpp);
}

void QVRImage::Gradient(int x, int y, unsigned w, unsigned h, uint32_t colour1, uint32_t colour2,
                        int direction, DrawMode mode) {
  if (colour1 == colour2) {
    Rectangle(x, y, w, h, colour1, mode);
    return;
  }
  unsigned Bpp = GetBytesPerPixel();
  if (mode != DRAW_NORMAL || (direction != 0 && direction != 1)) return;
  if (m_pixels == nullptr || Bpp == 0 || Bpp > 4) return;
  int64_t x1, x2, y1, y2;
  if (!ClampSpan(x, w, m_clipX1, m_clipX2, x1, x2) || !ClampSpan(y, h, m_clipY1, m_clipY2, y1, y2))
    return;
  size_t cols = static_cast<size_t>(x2 - x1 + 1), rows = static_cast<size_t>(y2 - y1 + 1);
  size_t steps = direction == 0 ? rows : cols;
  uint8_t* origin = m_pixels + static_cast<size_t>(y1) * m_pitch + static_cast<size_t>(x1) * Bpp;
  size_t pitch = m_pitch;

  // Colour of step k, from single-precision accumulators advanced once per
  // step: the index as one number at 8 bits, the three low bytes separately
  // (with 0xFF on top) at the other depths.
  float acc[3], step[3];
  int channels = Bpp == 1 ? 1 : 3;
  for (int c = 0; c < channels; ++c) {
    float a =
        Bpp == 1 ? static_cast<float>(colour1) : static_cast<float>((colour1 >> (8 * c)) & 0xFF);
    float b =
        Bpp == 1 ? static_cast<float>(colour2) : static_cast<float>((colour2 >> (8 * c)) & 0xFF);
    acc[c] = a + 0.5f;
    step[c] = steps > 1 ? (b - a) / static_cast<float>(steps - 1) : 0.0f;
  }
  for (size_t k = 0; k < steps; ++k) {
    uint32_t value;
    if (k == 0 && steps == 1) {
      value = colour1;
    } else if (Bpp == 1) {
      value = static_cast<uint32_t>(static_cast<int64_t>(acc[0])) & 0xFFu;
    } else {
      value = 0xFF000000u;
      for (int c = 0; c < 3; ++c)
        value |= (static_cast<uint32_t>(static_cast<int64_t>(acc[c])) & 0xFFu) << (8 * c);
    }
    for (int c = 0; c < channels; ++c) acc[c] += step[c];
    if (direction == 0) {
      qvr::detail::FillPixels(origin + k * pitch, cols, value, Bpp);
    } else {
      WithBpp(Bpp, [&](auto tag) { Pixel<decltype(tag)::value>::Put(origin + k * Bpp, value); });
    }
  }
  // Left to right: every row repeats the first one.
  if (direction == 1) qvr::detail::CopyRows(origin + pitch, pitch, origin, 0, cols * Bpp, rows - 1);
}

void QVRImage::Circle(int cx, int cy, int r, uint32_t colour, DrawMode mode) {
  if (m_pixels == nullptr || r < 0) return;
  const int64_t cx1 = m_clipX1, cx2 = m_clipX2, cy1 = m_clipY1, cy2 = m_clipY2;
  if (static_cast<int64_t>(cx) + r < cx1 || static_cast<int64_t>(cx) - r > cx2 ||
      static_cast<int64_t>(cy) + r < cy1 || static_cast<int64_t>(cy) - r > cy2)
    return;
  uint8_t* pixels = m_pixels;
  size_t pitch = m_pitch;
  unsigned Bpp = GetBytesPerPixel();
  WithStore(Bpp, mode, [&](auto store) {
    auto plot = [&](int64_t px, int64_t py) {
      if (px >= cx1 && px <= cx2 && py >= cy1 && py <= cy2)
        store.Apply(pixels + static_cast<size_t>(py) * pitch + static_cast<size_t>(px) * Bpp,
                    colour);
    };
    int64_t x = 0, y = r, d = 1 - static_cast<int64_t>(r), dE = 3,
            dSE = 5 - 2 * static_cast<int64_t>(r);
    while (x <= y) {
      plot(cx + x, cy + y);
      if (x != 0) plot(cx - x, cy + y);
      if (y != 0) plot(cx + x, cy - y);
      if (x != 0 && y != 0) plot(cx - x, cy - y);
      if (x != y) {
        plot(cx + y, cy + x);
        if (x != 0) plot(cx + y, cy - x);
        if (y != 0) plot(cx - y, cy + x);
        if (x != 0 && y != 0) plot(cx - y, cy - x);
      }
      if (d < 0) {
        d += dE;
        dE += 2;
        dSE += 2;
      } else {
        d += dSE;
        dE += 2;
        dSE += 4;
        --y;
      }
      ++x;
    }
  });
}

void QVRImage::Disk(int cx, int cy, int r, uint32_t colour, DrawMode mode) {
  if (m_pixels == nullptr || r <= 0) return;
  if (static_cast<int64_t>(cx) + r < m_clipX1 || static_cast<int64_t>(cx) - r > m_clipX2 ||
      static_cast<int64_t>(cy) + r < m_clipY1 || static_cast<int64_t>(cy) - r > m_clipY2)
    return;
  // HLine clips the runs; a run starting left of the clip rectangle is cut
  // here first so that its start fits an int however large the radius.
  const int64_t left = m_clipX1;
  auto run = [&](int64_t x, int64_t y, int64_t length) {
    if (y < m_clipY1 || y > m_clipY2) return;
    if (x < left) {
      length -= left - x;
      x = left;
    }
    if (length > 0 && x <= INT32_MAX)
      HLine(static_cast<int>(x), static_cast<int>(y), static_cast<unsigned>(length), colour, mode);
  };
  int64_t x = 0, y = r, d = 1 - static_cast<int64_t>(r), dE = 3,
          dSE = 5 - 2 * static_cast<int64_t>(r);
  while (x <= y) {
    run(cx - y, cy - x, 2 * y);
    if (x != 0) run(cx - y, cy + x, 2 * y);
    if (d < 0) {
      d += dE;
      dE += 2;
      dSE += 2;
    } else {
      if (x != y) {
        run(cx - x, cy - y, 2 * x);
        if (y != 0) run(cx - x, cy + y, 2 * x);
      }
      d += dSE;
      dE += 2;
      dSE += 4;
      --y;
    }
    ++x;
  }
}
