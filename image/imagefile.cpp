// QVRImage::Load, Save and FindFormat: the format ids, the probe order of
// detection, and which codec reads or writes each id.
#include <cstring>

#include "image/codec.h"
#include "image/image_access.h"
#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/stream.h"

namespace {

using namespace qvr::detail;

bool WriteTGAStored(QVRImage& img, QVRResFile& file) { return WriteTGA(img, file, false); }
bool WriteTGARle(QVRImage& img, QVRResFile& file) { return WriteTGA(img, file, true); }

// How detection treats a row: by its magic, as what is left when no magic
// matched (TGA has no signature), or never (an id that only selects a writer).
enum class Probe { MAGIC, FALLBACK, NONE };

// Every image format id, in probe order. Detection reads the first four bytes
// at the current position and puts them back, so it also works inside an
// archive.
struct ImageFormat {
  int id;
  const char* name;
  Probe probe;
  const char* magic;
  unsigned magicLength;
  bool (*read)(QVRImage&, QVRResFile&);   // null: Load refuses the id
  bool (*write)(QVRImage&, QVRResFile&);  // null: Save refuses the id
};

const ImageFormat kFormats[] = {
    {QVRImage::IMG_BMP, "BMP", Probe::MAGIC, "BM", 2, ReadBMP, WriteBMP},
    {QVRImage::IMG_GIF, "GIF", Probe::MAGIC, "GIF", 3, ReadGIF, nullptr},
    {QVRImage::IMG_FONT, "font sheet", Probe::MAGIC, "QVRF", 4, ReadFontSheet, nullptr},
    {QVRImage::IMG_PCX, "PCX", Probe::MAGIC, "\x0A\x05\x01", 3, ReadPCX, WritePCX},
    {QVRImage::IMG_TGA, "TGA", Probe::FALLBACK, nullptr, 0, ReadTGA, WriteTGAStored},
    {QVRImage::IMG_TGA_RLE, "TGA run-length", Probe::NONE, nullptr, 0, nullptr, WriteTGARle},
};

const ImageFormat* FormatRow(int id) {
  for (const ImageFormat& row : kFormats) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

// The detected id, or -1 when four bytes cannot be read.
int Detect(QVRResFile& file) {
  uint8_t head[4];
  if (file.Read(head, 4) < 4) {
    QVR::LOG("Can not read file header\n");
    return -1;
  }
  file.Seek(-4, QVRResFile::SEEK_FROM_CURRENT);
  int fallback = -1;
  for (const ImageFormat& row : kFormats) {
    if (row.probe == Probe::MAGIC && std::memcmp(head, row.magic, row.magicLength) == 0) {
      return row.id;
    }
    if (row.probe == Probe::FALLBACK) fallback = row.id;
  }
  return fallback;
}

}  // namespace

bool QVRImage::Load(QVRResFile& file, int format) {
  if (!file.Good()) return false;
  if (format == IMG_AUTO) {
    format = Detect(file);
    // Too short to hold a header: the PCX reader refuses it in turn.
    if (format < 0) format = IMG_PCX;
  }
  const ImageFormat* row = FormatRow(format);
  if (row == nullptr || row->read == nullptr) return false;
  if (!row->read(*this, file)) return false;
  m_pitch = m_width * GetBytesPerPixel();
  ResetClipping();
  return true;
}

bool QVRImage::Save(QVRResFile& file, int format) {
  if (!file.Good()) return false;
  // Automatic choice: palette images as PCX, deeper ones as run-length TGA.
  if (format == IMG_AUTO) format = m_bpp <= 8 ? IMG_PCX : IMG_TGA_RLE;
  const ImageFormat* row = FormatRow(format);
  if (row == nullptr || row->write == nullptr) return false;
  return row->write(*this, file);
}

int QVRImage::FindFormat(QVRResFile& file) {
  const int format = Detect(file);
  return format < 0 ? IMG_AUTO : format;
}
