// Private access to QVRImage's fields for the image codecs, and the size
// check every path that allocates a pixel buffer goes through.
#ifndef QVR_IMAGE_IMAGE_ACCESS_H
#define QVR_IMAGE_IMAGE_ACCESS_H

#include <cstdint>

#include "qvr3d/image.h"

namespace qvr::detail {

// Bytes of a width x height buffer of `bpp` bits, or false when the pitch or
// the buffer does not fit the 32-bit fields and sizes of the image.
bool ImageBytes(uint64_t width, uint64_t height, unsigned bpp, uint32_t& pitch, uint32_t& bytes);

struct ImageAccess {
  static uint8_t*& Pixels(QVRImage& img) { return img.m_pixels; }
  static uint32_t& Width(QVRImage& img) { return img.m_width; }
  static uint32_t& Height(QVRImage& img) { return img.m_height; }
  static uint32_t& Pitch(QVRImage& img) { return img.m_pitch; }
  static uint16_t& Bpp(QVRImage& img) { return img.m_bpp; }
  static QVRPal*& Palette(QVRImage& img) { return img.m_palette; }
  static void ResetClipping(QVRImage& img) { img.ResetClipping(); }
};

}  // namespace qvr::detail

#endif
