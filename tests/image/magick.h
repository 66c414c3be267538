// Test helpers around ImageMagick's convert: make image files with it at
// test time, ask it for its own decoding as raw RGB/RGBA bytes, and expand a
// QVRImage to the same layout for comparison.
#ifndef QVR_TESTS_MAGICK_H
#define QVR_TESTS_MAGICK_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../common/host_command.h"
#include "../common/tmpdir.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace qvrtest {

// The convert program of ImageMagick 6, "" when it is not installed.
inline const std::string& MagickConvert() {
  static const std::string path = [] {
    for (const char* candidate : {"/usr/bin/convert-im6.q16", "/usr/bin/convert"})
      if (HostShell(std::string("test -x ") + candidate) == 0) return std::string(candidate);
    return std::string(HostShell("command -v convert >/dev/null 2>&1") == 0 ? "convert" : "");
  }();
  return path;
}

// Runs convert with `args` (shell words); true on exit status 0.
inline bool Magick(const std::string& args) {
  if (MagickConvert().empty()) return false;
  std::string cmd = MagickConvert() + " " + args + " 2>/dev/null";
  return HostShell(cmd) == 0;
}

#define QVR_REQUIRE_MAGICK()                                                  \
  do {                                                                        \
    if (::qvrtest::MagickConvert().empty()) GTEST_SKIP() << "no ImageMagick"; \
  } while (0)

// ImageMagick's decoding of `file` as 8-bit samples in `layout` ("rgb" or
// "rgba"), row by row from the top; "" when convert fails.
inline std::string MagickRaw(const std::string& file, const std::string& layout,
                             const TempDir& dir) {
  const std::string out = dir / "magick-raw.bin";
  std::remove(out.c_str());
  if (!Magick(qvrtest::HostArg(file) + " -depth 8 " + layout + ":" + qvrtest::HostArg(out))) return "";
  return ReadAll(out);
}

// The image expanded to 8-bit RGB triples (palette looked up for 8 bits, the
// blue-green-red order of 24 and 32 bits turned around), or "" for a depth
// that has no such expansion here.
inline std::string ImageRGB(const QVRImage& img) {
  std::string rgb;
  const unsigned bpp = img.GetBpp(), w = img.GetWidth(), h = img.GetHeight();
  const uint8_t* px = img.GetPixels();
  if (px == nullptr) return rgb;
  rgb.reserve(size_t(w) * h * 3);
  for (unsigned y = 0; y < h; ++y) {
    const uint8_t* row = px + size_t(y) * img.GetPitch();
    for (unsigned x = 0; x < w; ++x) {
      if (bpp == 8) {
        const QVRPal* pal = img.GetPalette();
        const uint8_t* e = pal ? pal->Entry(row[x]) : nullptr;
        if (e == nullptr) return "";
        rgb.append({char(e[0]), char(e[1]), char(e[2])});
      } else if (bpp == 24 || bpp == 32) {
        const uint8_t* p = row + x * (bpp / 8);
        rgb.append({char(p[2]), char(p[1]), char(p[0])});
      } else {
        return "";
      }
    }
  }
  return rgb;
}

// Loads `path` from disk with `format`; the result of Load.
inline bool LoadImageFile(QVRImage& img, const std::string& path, int format = 0) {
  QVRFile file(path.c_str(), QVRResFile::READ);
  return file.Good() && img.Load(file, format);
}

// Saves to `path` on disk with `format`; the result of Save.
inline bool SaveImageFile(QVRImage& img, const std::string& path, int format) {
  std::remove(path.c_str());  // CREATE refuses an existing file
  QVRFile file(path.c_str(), QVRResFile::WRITE | QVRResFile::TRUNCATE | QVRResFile::CREATE);
  return file.Good() && img.Save(file, format);
}

// Deterministic photo-like content: smooth gradients with a little noise, so
// run-length coders meet both runs and literal stretches.
inline void FillPhotoLike(QVRImage& img, unsigned seed = 1) {
  uint32_t state = seed * 2654435761u + 1;
  const unsigned bpp = (img.GetBpp() + 7) / 8;
  for (unsigned y = 0; y < img.GetHeight(); ++y) {
    uint8_t* row = img.GetPixels() + size_t(y) * img.GetPitch();
    for (unsigned x = 0; x < img.GetWidth(); ++x) {
      state = state * 1103515245u + 12345u;
      const unsigned noise = (state >> 16) & 3;
      for (unsigned c = 0; c < bpp; ++c)
        row[x * bpp + c] = uint8_t((x / 4 + y / 3 + c * 40 + ((x / 16) % 2 ? noise : 0)));
    }
  }
}

}  // namespace qvrtest

#endif
