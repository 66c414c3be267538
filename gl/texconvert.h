// Private pixel conversions of the texture manager: the image layouts of
// QVRImage turned into the byte orders OpenGL takes, one run of pixels at a
// time, vectorised where the processor allows.
#ifndef QVR_GL_TEXCONVERT_H
#define QVR_GL_TEXCONVERT_H

#include <cstddef>
#include <cstdint>

namespace qvr::detail {

/// 24-bit pixels b0 b1 b2 into b2 b1 b0 (QVRImage's blue, green, red into
/// GL_RGB). `dst` may equal `src`; otherwise the runs must not overlap.
void ConvertBGRToRGB(uint8_t* dst, const uint8_t* src, size_t pixels);
/// 32-bit pixels b0 b1 b2 t into b2 b1 b0 (255 - t): the fourth byte of an
/// image is a transparency, GL_RGBA wants an opacity. `dst` may equal `src`.
void ConvertBGRTToRGBA(uint8_t* dst, const uint8_t* src, size_t pixels);
/// 8-bit indices through `table` (256 entries of red, green, blue) into
/// GL_RGB triples. The runs must not overlap.
void ExpandIndexed(uint8_t* dst, const uint8_t* src, size_t pixels, const uint8_t* table);
/// Each byte twice (luminance and alpha equal, GL_LUMINANCE_ALPHA).
void DoubleBytes(uint8_t* dst, const uint8_t* src, size_t count);

/// How an image's bytes become texture bytes.
enum class TexConversion { COPY, DOUBLE, INDEXED, BGR, BGRT };
/// Bytes per pixel of the source and of the result of a conversion.
unsigned SourceBytes(TexConversion kind);
unsigned TexelBytes(TexConversion kind);

/// Converts the srcWidth x srcHeight pixels of `src` (rows `srcPitch` bytes
/// apart) into a dstWidth x dstHeight texture at `dst` (rows packed, no
/// gaps); the texels right of and below the image hold what a zero pixel
/// converts to. dstWidth >= srcWidth and dstHeight >= srcHeight. `table` is
/// the RGB table of INDEXED. `dst` may equal `src` only when the sizes are
/// equal and the conversion keeps the pixel size.
void ConvertImage(TexConversion kind, uint8_t* dst, unsigned dstWidth, unsigned dstHeight,
                  const uint8_t* src, unsigned srcWidth, unsigned srcHeight, size_t srcPitch,
                  const uint8_t* table);

}  // namespace qvr::detail

#endif
