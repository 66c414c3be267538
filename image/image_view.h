// A QVRImage over pixels it does not own (the software screen's surface), so
// that the screen draws with the image primitives and kernels themselves.
#ifndef QVR_IMAGE_IMAGE_VIEW_H
#define QVR_IMAGE_IMAGE_VIEW_H

#include <cstdint>

#include "image/pixel.h"
#include "qvr3d/image.h"

namespace qvr::detail {

// Rows are `pitch` bytes apart, which may be more than width x bytes per
// pixel. The clip rectangle is given inclusive and must lie inside the
// pixels. The view never frees the pixels, and has no palette.
class ImageView : public QVRImage {
 public:
  ImageView(uint8_t* pixels, unsigned width, unsigned height, unsigned pitch, unsigned bpp,
            int clipX1, int clipY1, int clipX2, int clipY2) {
    m_pixels = pixels;
    m_width = width;
    m_height = height;
    m_pitch = pitch;
    m_bpp = static_cast<uint16_t>(bpp);
    m_clipX1 = static_cast<int16_t>(Limit(clipX1));
    m_clipY1 = static_cast<int16_t>(Limit(clipY1));
    m_clipX2 = static_cast<int16_t>(Limit(clipX2));
    m_clipY2 = static_cast<int16_t>(Limit(clipY2));
  }
  ~ImageView() override {
    m_pixels = nullptr;
    m_palette = nullptr;
  }
  ImageView(const ImageView&) = delete;
  ImageView& operator=(const ImageView&) = delete;

 private:
  static int Limit(int v) {
    return v < 0 ? 0 : v > static_cast<int>(kMaxDrawSize) ? static_cast<int>(kMaxDrawSize) : v;
  }
};

}  // namespace qvr::detail

#endif
