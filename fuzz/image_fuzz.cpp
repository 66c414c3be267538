// libFuzzer target "image": the first byte picks the format id given to
// QVRImage::Load (0 detect, 1 BMP, 2 PCX, 3 GIF, 4 TGA, 6 font sheet) and the
// stream kind; the rest is the file. A loaded image must be consistent, be
// drawable, and survive every writer and a reload of what they wrote.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace {

// A memory stream seen through the generic stream interface only, so that the
// decoders take their buffered path (as for disk files and archive members)
// instead of reading the block in place.
class OpaqueStream : public QVRResFile {
 public:
  explicit OpaqueStream(QVRMemFile& inner) : m_inner(inner) { Sync(); }
  bool Seek(int offset, int origin) override {
    m_inner.Seek(offset, origin);
    return Sync();
  }
  unsigned GetPos() const override { return m_inner.GetPos(); }
  unsigned Read(void* data, unsigned count) override {
    const unsigned got = m_inner.Read(data, count);
    Sync();
    return got;
  }
  unsigned Write(const void*, unsigned) override { return 0; }
  bool Eof() const override { return m_inner.Eof(); }
  void PrintInfo() const override {}

 private:
  bool Sync() {
    m_state = uint8_t(m_inner.GetState());
    m_mode = uint8_t(m_inner.GetMode());
    m_eof = m_inner.Eof();
    return Good();
  }
  QVRMemFile& m_inner;
};

void CheckImage(const QVRImage& img) {
  const unsigned bpp = img.GetBpp();
  if (img.GetPixels() == nullptr || img.GetWidth() == 0 || img.GetHeight() == 0) __builtin_trap();
  if (bpp != 8 && bpp != 15 && bpp != 16 && bpp != 24 && bpp != 32) __builtin_trap();
  if (img.GetPitch() != img.GetWidth() * img.GetBytesPerPixel()) __builtin_trap();
  if (bpp == 8 && img.GetPalette() == nullptr) return;
  // Touch every byte so that ASan sees a buffer shorter than its fields.
  volatile uint8_t sum = 0;
  const uint8_t* px = img.GetPixels();
  for (size_t i = 0, n = size_t(img.GetPitch()) * img.GetHeight(); i < n; ++i) sum += px[i];
  (void)sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    QVR::SetLogLevel(0);
    return true;
  }();
  (void)quiet;
  if (size < 2) return 0;
  static const int kIds[8] = {0, 1, 2, 3, 4, 5, 6, 0};
  const uint8_t pick = data[0];
  std::vector<unsigned char> bytes(data + 1, data + size);

  QVRImage img;
  bool ok;
  QVRMemFile mem(unsigned(bytes.size()), QVRResFile::READ, bytes.data(), false, "fuzz");
  if (pick & 0x80) {
    OpaqueStream opaque(mem);
    ok = img.Load(opaque, kIds[pick & 7]);
  } else {
    ok = img.Load(mem, kIds[pick & 7]);
  }
  if (!ok) return 0;
  CheckImage(img);
  img.PrintInfo();

  // Writers and a reload of their output; outputs are bounded by the image.
  if (size_t(img.GetPitch()) * img.GetHeight() > (1u << 22)) return 0;
  static const int kWriters[] = {QVRImage::IMG_BMP, QVRImage::IMG_PCX, QVRImage::IMG_TGA,
                                 QVRImage::IMG_TGA_RLE};
  const int writer = kWriters[(pick >> 3) & 3];
  const size_t cap = size_t(img.GetPitch()) * img.GetHeight() * 2 + 8192;
  QVRMemFile out(unsigned(cap), QVRResFile::READWRITE | QVRResFile::CREATE);
  if (img.Save(out, writer)) {
    const unsigned written = out.GetPos();
    QVRMemFile back(written ? written : 1, QVRResFile::READ, out.GetData(), false, "written");
    QVRImage again;
    const int readId = writer == QVRImage::IMG_TGA_RLE ? QVRImage::IMG_TGA : writer;
    if (written && again.Load(back, readId)) CheckImage(again);
  }
  return 0;
}
