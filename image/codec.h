// Private interface of the image codecs: one reader and writer pair per file
// format (bmp.cpp, tga.cpp, pcx.cpp, gif.cpp, fontsheet.cpp) behind the
// dispatch in imagefile.cpp, and the machinery they share: the checked
// replacement of an image's pixel buffer, the bytes a stream can still
// deliver, and a buffered input for the run-length and LZW decoders.
#ifndef QVR_IMAGE_CODEC_H
#define QVR_IMAGE_CODEC_H

#include <cstddef>
#include <cstdint>

#include "io/streamutil.h"
#include "qvr3d/image.h"

class QVRResFile;
class QVRMemFile;
class QVRPal;

namespace qvr::detail {

// ---- The codecs ------------------------------------------------------------
// Readers follow one contract: they replace the image's pixel buffer, width,
// height and depth (pitch = width x bytes per pixel), and for 8-bit results
// resize or create the palette. Load resets the clip rectangle afterwards.
// All return false on failure, with the format's messages.

bool ReadBMP(QVRImage& img, QVRResFile& file);
bool WriteBMP(QVRImage& img, QVRResFile& file);
bool ReadTGA(QVRImage& img, QVRResFile& file);
// `rle`: run-length encoded (image types 9 and 10) rather than stored.
bool WriteTGA(QVRImage& img, QVRResFile& file, bool rle);
bool ReadPCX(QVRImage& img, QVRResFile& file);
bool WritePCX(QVRImage& img, QVRResFile& file);
bool ReadGIF(QVRImage& img, QVRResFile& file);
bool ReadFontSheet(QVRImage& img, QVRResFile& file);

// ---- Shared machinery ------------------------------------------------------

// Largest width or height a reader accepts: the clip rectangle is held in
// signed 16-bit fields, so larger images could not be drawn whole.
constexpr uint32_t kMaxImageSide = 32767;

// Frees the pixel buffer and allocates one for width x height pixels of
// `bpp` bits, storing the four fields. `slack` extra bytes are allocated past
// the end for decoders that copy in whole words (not counted in any field).
// False, with the fields left as they were but no pixel buffer, when a side
// is zero or above kMaxImageSide, the size does not fit, or memory runs out.
bool ReplacePixels(QVRImage& img, uint64_t width, uint64_t height, unsigned bpp, size_t slack = 0);

// The image's palette resized to `count` entries, created when missing.
QVRPal* PaletteOfSize(QVRImage& img, unsigned count);

// Decoded images at least this large are written with streaming stores: they
// do not stay in the caches anyway, and stores that bypass them spare the
// read of every destination line that is about to be overwritten whole.
constexpr size_t kStreamingBytes = static_cast<size_t>(8) << 20;

// Copies `bytes` from `src` to `dst`; with `streaming`, through non-temporal
// stores where the processor has them, which StreamFence must follow before
// anything reads the image.
void CopyOut(uint8_t* dst, const uint8_t* src, size_t bytes, bool streaming);
void StreamFence();

// A forward reader over the rest of a stream for byte-at-a-time decoders.
// Memory streams are read in place; other streams through a 64 KiB buffer.
// Decoders work on [cur, end) directly and call Refill when they need more;
// Finish puts the stream at the first byte not consumed.
class StreamInput {
 public:
  explicit StreamInput(QVRResFile& file);
  ~StreamInput();
  StreamInput(const StreamInput&) = delete;
  StreamInput& operator=(const StreamInput&) = delete;

  // True when the stream is a memory stream read in place: everything it
  // still holds lies in [cur, end) and Refill never brings more.
  bool InPlace() const { return m_mem != nullptr; }
  // Makes at least `need` bytes (at most kBufferSize) available at cur,
  // reading more when needed. False when the stream has fewer left; the
  // bytes that remain stay available.
  bool Refill(size_t need);
  size_t Avail() const { return static_cast<size_t>(end - cur); }
  // The next byte, or -1 at the end of the data.
  int Byte() {
    if (cur == end && !Refill(1)) return -1;
    return *cur++;
  }
  // Copies up to `count` bytes to `dst`; returns how many arrived.
  size_t Read(void* dst, size_t count);
  // Skips up to `count` bytes; returns how many were skipped.
  size_t Skip(size_t count);
  // Positions the stream after the consumed bytes (idempotent). A memory
  // stream consumed to its end is left as a read to its end leaves it.
  void Finish();

  static constexpr size_t kBufferSize = 64 * 1024;

  const uint8_t* cur = nullptr;
  const uint8_t* end = nullptr;

 private:
  QVRResFile& m_file;
  QVRMemFile* m_mem = nullptr;  // in-place reads
  uint8_t* m_buffer = nullptr;
  bool m_finished = false;
  bool m_atEnd = false;
};

}  // namespace qvr::detail

#endif
