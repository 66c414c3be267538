// QVRImage::Load, Save and FindFormat: the format ids, the probe order of
// detection, and which codec reads or writes each id.
#include <cstring>

#include "image/codec.h"
#include "image/image_access.h"
#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/stream.h"

namespace {

// Detection from the first four bytes, read at the current position and put
// back, so that it also works inside an archive. TGA has no signature and is
// what is left. Returns -1 when four bytes cannot be read.
int Detect(QVRResFile& file) {
  uint8_t head[4];
  if (file.Read(head, 4) < 4) {
    QVR::LOG("Can not read file header\n");
    return -1;
  }
  file.Seek(-4, 1);
  if (head[0] == 'B' && head[1] == 'M') return QVRImage::IMG_BMP;
  if (std::memcmp(head, "GIF", 3) == 0) return QVRImage::IMG_GIF;
  if (std::memcmp(head, "QVRF", 4) == 0) return QVRImage::IMG_FONT;
  if (head[0] == 0x0A && head[1] == 0x05 && head[2] == 0x01) return QVRImage::IMG_PCX;
  return QVRImage::IMG_TGA;
}

}  // namespace

bool QVRImage::Load(QVRResFile& file, int format) {
  using namespace qvr::detail;
  if (!file.Good()) return false;
  if (format == IMG_AUTO) {
    format = Detect(file);
    // Too short to hold a header: the PCX reader refuses it in turn.
    if (format < 0) format = IMG_PCX;
  }
  bool ok = false;
  switch (format) {
    case IMG_BMP:
      ok = ReadBMP(*this, file);
      break;
    case IMG_PCX:
      ok = ReadPCX(*this, file);
      break;
    case IMG_GIF:
      ok = ReadGIF(*this, file);
      break;
    case IMG_TGA:
      ok = ReadTGA(*this, file);
      break;
    case IMG_FONT:
      ok = ReadFontSheet(*this, file);
      break;
    default:
      return false;
  }
  if (ok) {
    m_pitch = m_width * GetBytesPerPixel();
    ResetClipping();
  }
  return ok;
}

bool QVRImage::Save(QVRResFile& file, int format) {
  using namespace qvr::detail;
  if (!file.Good()) return false;
  switch (format) {
    case IMG_AUTO:
      return m_bpp <= 8 ? WritePCX(*this, file) : WriteTGA(*this, file, true);
    case IMG_BMP:
      return WriteBMP(*this, file);
    case IMG_PCX:
      return WritePCX(*this, file);
    case IMG_TGA:
      return WriteTGA(*this, file, false);
    case IMG_TGA_RLE:
      return WriteTGA(*this, file, true);
    default:
      return false;
  }
}

int QVRImage::FindFormat(QVRResFile& file) {
  const int format = Detect(file);
  return format < 0 ? IMG_AUTO : format;
}
