// QVRImage: construction, palette, clip rectangle, pixel reads, canvas and
// format changes.
#include <cstring>
#include <new>

#include "image/image_access.h"
#include "image/pixel.h"
#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

bool ImageBytes(uint64_t width, uint64_t height, unsigned bpp, uint32_t& pitch, uint32_t& bytes) {
  uint64_t rowBytes = width * ((static_cast<uint64_t>(bpp) + 7) / 8);
  // Keeps MemoryUsed (bytes plus the object) within an unsigned.
  const uint64_t limit = 0xFFFFFFFFull - sizeof(QVRImage);
  if (rowBytes > limit || (height != 0 && rowBytes > limit / height)) return false;
  pitch = static_cast<uint32_t>(rowBytes);
  bytes = static_cast<uint32_t>(rowBytes * height);
  return true;
}

}  // namespace qvr::detail

using qvr::detail::ImageBytes;

namespace {

// Clip values are signed 16-bit: an image larger than that is drawable only
// in its first 32767 columns and rows, so a clip value never wraps negative.
int16_t ClipLimit(uint32_t size) {
  if (size == 0) return 0;
  return static_cast<int16_t>(size - 1 > qvr::detail::kMaxDrawSize ? qvr::detail::kMaxDrawSize
                                                                   : size - 1);
}

}  // namespace

QVRImage::QVRImage()
    : m_width(0),
      m_height(0),
      m_clipX1(0),
      m_clipX2(0),
      m_clipY1(0),
      m_clipY2(0),
      m_pixels(nullptr),
      m_palette(nullptr),
      m_pitch(0),
      m_bpp(0) {}

QVRImage::QVRImage(unsigned width, unsigned height, unsigned bpp) : QVRImage() {
  m_width = width;
  m_height = height;
  m_bpp = static_cast<uint16_t>(bpp);
  uint32_t pitch = 0, bytes = 0;
  if (!ImageBytes(width, height, m_bpp, pitch, bytes)) {
    QVR::WARN("Image: %u x %u x %u bpp is too large\n", width, height, bpp);
    m_width = m_height = 0;
  } else {
    m_pitch = pitch;
    if (width != 0 && height != 0) {
      m_pixels = new (std::nothrow) uint8_t[bytes];
      if (m_pixels == nullptr) {
        QVR::WARN("Image: cannot allocate %u x %u x %u bpp\n", width, height, bpp);
        m_width = m_height = m_pitch = 0;
      }
    }
  }
  ResetClipping();
}

QVRImage::QVRImage(const QVRImage* src) : QVRImage() {
  if (src == nullptr) return;
  m_width = src->m_width;
  m_height = src->m_height;
  m_clipX1 = src->m_clipX1;
  m_clipX2 = src->m_clipX2;
  m_clipY1 = src->m_clipY1;
  m_clipY2 = src->m_clipY2;
  m_pitch = src->m_pitch;
  m_bpp = src->m_bpp;
  if (src->m_pixels != nullptr) {
    size_t bytes = static_cast<size_t>(m_height) * m_pitch;
    m_pixels = new (std::nothrow) uint8_t[bytes];
    if (m_pixels == nullptr) {
      QVR::WARN("Image: cannot allocate %u x %u x %u bpp\n", static_cast<unsigned>(m_width),
                static_cast<unsigned>(m_height), static_cast<unsigned>(m_bpp));
      m_width = m_height = m_pitch = 0;
      ResetClipping();
    } else {
      std::memcpy(m_pixels, src->m_pixels, bytes);
    }
  }
  if (src->m_palette != nullptr) m_palette = new QVRPal(src->m_palette);
}

QVRImage::QVRImage(const QVRImage& other) : QVRImage(&other) {}

QVRImage::~QVRImage() {
  delete[] m_pixels;
  delete m_palette;
}

void QVRImage::SetPalette(const QVRPal* pal, unsigned first, unsigned count) {
  if (pal == nullptr || m_bpp != 8) return;
  uint64_t end = static_cast<uint64_t>(first) + count;
  unsigned want = end > QVRPal::MAX_ENTRIES ? QVRPal::MAX_ENTRIES + 1 : static_cast<unsigned>(end);
  if (m_palette == nullptr)
    m_palette = new QVRPal(want);
  else if (m_palette->GetCount() < end)
    m_palette->Resize(want);
  for (uint64_t i = first; i < end && i < m_palette->GetCount(); ++i) {
    const uint8_t* from = pal->Entry(static_cast<unsigned>(i));
    uint8_t* to = m_palette->Entry(static_cast<unsigned>(i));
    if (from != nullptr)
      std::memcpy(to, from, 4);
    else
      std::memset(to, 0, 4);
  }
}

void QVRImage::ReplacePalette(QVRPal* pal) {
  if (m_bpp != 8 || pal == m_palette) return;
  delete m_palette;
  m_palette = pal;
}

void QVRImage::ResetClipping() {
  m_clipX1 = 0;
  m_clipY1 = 0;
  m_clipX2 = ClipLimit(m_width);
  m_clipY2 = ClipLimit(m_height);
}

void QVRImage::SetClipping(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 < 0) x1 = 0;
  if (y1 < 0) y1 = 0;
  if (x2 < 0) x2 = 0;
  if (y2 < 0) y2 = 0;
  if (static_cast<unsigned>(x1) >= m_width || static_cast<unsigned>(y1) >= m_height) return;
  int maxX = ClipLimit(m_width), maxY = ClipLimit(m_height);
  if (x1 > maxX || y1 > maxY) return;
  m_clipX1 = static_cast<int16_t>(x1);
  m_clipY1 = static_cast<int16_t>(y1);
  m_clipX2 = static_cast<int16_t>(x2 > maxX ? maxX : x2);
  m_clipY2 = static_cast<int16_t>(y2 > maxY ? maxY : y2);
}

void QVRImage::GetClipping(int& x1, int& y1, int& x2, int& y2) const {
  x1 = m_clipX1;
  y1 = m_clipY1;
  x2 = m_clipX2;
  y2 = m_clipY2;
}

bool QVRImage::IsClipping() const {
  return !(m_clipX1 == 0 && m_clipY1 == 0 && m_clipX2 == ClipLimit(m_width) &&
           m_clipY2 == ClipLimit(m_height));
}

void QVRImage::StopClipping() { ResetClipping(); }

uint32_t QVRImage::GetPixel(int x, int y) const {
  if (m_pixels == nullptr || x < 0 || y < 0 || static_cast<unsigned>(x) >= m_width ||
      static_cast<unsigned>(y) >= m_height)
    return 0;
  const uint8_t* p =
      m_pixels + static_cast<size_t>(y) * m_pitch + static_cast<size_t>(x) * GetBytesPerPixel();
  switch (m_bpp) {
    case 8:
      return p[0];
    case 15:
    case 16:
      return p[0] | static_cast<uint32_t>(p[1]) << 8;
    case 24:
      return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
    case 32:
      return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
             static_cast<uint32_t>(p[3]) << 24;
    default:
      return 0;
  }
}

void QVRImage::VFlip() {
  if (m_pixels == nullptr) return;
  // Rows are exchanged in place, byte for byte, so no temporary row is needed.
  for (uint32_t top = 0, bottom = m_height - 1; top < m_height / 2; ++top, --bottom) {
    uint8_t* a = m_pixels + static_cast<size_t>(top) * m_pitch;
    uint8_t* b = m_pixels + static_cast<size_t>(bottom) * m_pitch;
    for (uint32_t i = 0; i < m_pitch; ++i) std::swap(a[i], b[i]);
  }
}

bool QVRImage::Resize(unsigned w, unsigned h) {
  if (w == 0 || h == 0) return false;
  uint32_t pitch = 0, bytes = 0;
  if (!ImageBytes(w, h, m_bpp, pitch, bytes)) return false;
  // Zeroed, so that what lies outside the old picture is 0.
  uint8_t* pixels = new (std::nothrow) uint8_t[bytes]();
  if (pixels == nullptr) return false;
  if (m_pixels != nullptr) {
    uint32_t rows = h < m_height ? h : m_height;
    uint32_t rowBytes = (w < m_width ? w : m_width) * GetBytesPerPixel();
    qvr::detail::CopyRows(pixels, pitch, m_pixels, m_pitch, rowBytes, rows);
    delete[] m_pixels;
  }
  m_pixels = pixels;
  m_width = w;
  m_height = h;
  m_pitch = pitch;
  ResetClipping();
  return true;
}

bool QVRImage::NewFormat(unsigned w, unsigned h, unsigned bpp) {
  if (bpp != 8 && bpp != 15 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (w == m_width && h == m_height && bpp == m_bpp) return true;
  uint32_t pitch = 0, bytes = 0;
  if (!ImageBytes(w, h, bpp, pitch, bytes)) return false;
  delete[] m_pixels;
  m_pixels = nullptr;
  if (w == 0 || h == 0) {
    m_width = m_height = m_pitch = 0;
    m_bpp = 0;
    ResetClipping();
    return true;
  }
  m_pixels = new (std::nothrow) uint8_t[bytes];
  if (m_pixels == nullptr) {
    QVR::WARN("Image: cannot allocate %u x %u x %u bpp\n", w, h, bpp);
    m_width = m_height = m_pitch = 0;
    m_bpp = 0;
    ResetClipping();
    return false;
  }
  m_width = w;
  m_height = h;
  m_bpp = static_cast<uint16_t>(bpp);
  m_pitch = pitch;
  ResetClipping();
  return true;
}

unsigned QVRImage::MemoryUsed() const {
  return m_height * m_pitch + static_cast<unsigned>(sizeof(QVRImage));
}

void QVRImage::PrintInfo() const {
  if (m_palette != nullptr)
    QVR::LOG("Image: %d x %d x %d bpp, pitch: %d, palette: %d colors\n", static_cast<int>(m_width),
             static_cast<int>(m_height), static_cast<int>(m_bpp), static_cast<int>(m_pitch),
             static_cast<int>(m_palette->GetCount()));
  else
    QVR::LOG("Image: %d x %d x %d bpp, pitch: %d\n", static_cast<int>(m_width),
             static_cast<int>(m_height), static_cast<int>(m_bpp), static_cast<int>(m_pitch));
}
