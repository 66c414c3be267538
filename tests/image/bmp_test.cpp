// BMP codec: files written by ImageMagick decode to ImageMagick's own pixels,
// our files decode in ImageMagick to ours, the writer's exact layout, the
// run-length decoder's clipping, and the refusal of what is not supported.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../common/tmpdir.h"
#include "common/log_capture.h"
#include "magick.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace {

using qvrtest::LogCapture;
using qvrtest::TempDir;

uint32_t U32(const std::string& s, size_t at) {
  return uint8_t(s[at]) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}
void SetU32(std::string& s, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) s[at + k] = char(v >> (8 * k));
}
std::string LE32(uint32_t v) {
  std::string s(4, '\0');
  SetU32(s, 0, v);
  return s;
}
std::string LE16(uint32_t v) { return std::string{char(v), char(v >> 8)}; }

bool LoadBytes(QVRImage& img, const std::string& bytes, int format = QVRImage::IMG_BMP) {
  std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  QVRMemFile file(unsigned(copy.size()), QVRResFile::READ, copy.data());
  return img.Load(file, format);
}

// A file header and a 40-byte info header for an 8-bit image with
// `palette` 4-byte entries (all zero but entry i = (i, i, i)) and `data`.
std::string Bmp8(int32_t w, int32_t h, uint32_t compression, const std::string& data,
                 unsigned palette = 256, uint32_t bits = 8) {
  std::string pal;
  for (unsigned i = 0; i < palette; ++i) pal += std::string{char(i), char(i), char(i), 0};
  const uint32_t offset = 54 + uint32_t(pal.size());
  return "BM" + LE32(offset + uint32_t(data.size())) + LE32(0) + LE32(offset) + LE32(40) +
         LE32(uint32_t(w)) + LE32(uint32_t(h)) + LE16(1) + LE16(bits) + LE32(compression) +
         LE32(uint32_t(data.size())) + LE32(0) + LE32(0) + LE32(palette) + LE32(0) + pal + data;
}

std::string Pixels(const QVRImage& img) {
  return std::string(reinterpret_cast<const char*>(img.GetPixels()),
                     size_t(img.GetPitch()) * img.GetHeight());
}

// Every kind of BMP ImageMagick writes that we read, with its header size.
TEST(Bmp, ImageMagickFilesDecodeToImageMagicksPixels) {
  QVR_REQUIRE_MAGICK();
  TempDir dir;
  const std::string src = dir / "src.png";
  ASSERT_TRUE(qvrtest::Magick("-seed 7 -size 37x23 plasma:fractal " + qvrtest::HostArg(src)));
  struct Case {
    const char* name;
    const char* args;  // between the source and the output
    const char* prefix;
    unsigned bpp, headerSize, fileBits, compression, palette;
  } cases[] = {
      {"24-bit", "-type truecolor", "BMP3", 24, 40, 24, 0, 0},
      {"32-bit alpha", "-alpha set -channel A -fx i/w +channel -define bmp3:alpha=true", "BMP3", 32,
       40, 32, 0, 0},
      {"8-bit", "-colors 200 -type palette -compress none", "BMP3", 8, 40, 8, 0, 256},
      {"8-bit run-length", "-colors 200 -type palette -compress rle", "BMP3", 8, 40, 8, 1, 256},
      {"4-bit", "-colors 12", "BMP3", 8, 40, 4, 0, 16},
      {"1-bit", "-monochrome", "BMP3", 8, 40, 1, 0, 2},
      {"24-bit V5 header", "-type truecolor", "BMP", 24, 124, 24, 0, 0},
      {"8-bit run-length V5 header", "-colors 100 -type palette", "BMP", 8, 124, 8, 1, 256},
      {"24-bit core header", "-type truecolor", "BMP2", 24, 12, 24, 0, 0},
      {"4-bit core header", "-colors 16", "BMP2", 8, 12, 4, 0, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir / "in.bmp";
    ASSERT_TRUE(qvrtest::Magick(qvrtest::HostArg(src) + " " + c.args + " " + c.prefix + ":" + qvrtest::HostArg(file)));
    const std::string bytes = qvrtest::ReadAll(file);
    ASSERT_EQ(U32(bytes, 14), c.headerSize) << "ImageMagick wrote another header";
    if (c.headerSize == 12) {
      ASSERT_EQ(U32(bytes, 24) & 0xFFFF, c.fileBits);
    } else {
      ASSERT_EQ(U32(bytes, 28) & 0xFFFF, c.fileBits);
      ASSERT_EQ(U32(bytes, 30), c.compression);
    }

    QVRImage img;
    ASSERT_TRUE(qvrtest::LoadImageFile(img, file));
    EXPECT_EQ(img.GetWidth(), 37u);
    EXPECT_EQ(img.GetHeight(), 23u);
    EXPECT_EQ(img.GetBpp(), c.bpp);
    EXPECT_EQ(qvrtest::ImageRGB(img), qvrtest::MagickRaw(file, "rgb", dir));
    if (c.palette != 0) {
      ASSERT_NE(img.GetPalette(), nullptr);
      EXPECT_EQ(img.GetPalette()->GetCount(), c.palette);
    }
    if (c.bpp == 32) {
      const std::string rgba = qvrtest::MagickRaw(file, "rgba", dir);
      ASSERT_EQ(rgba.size(), 37u * 23 * 4);
      for (size_t i = 0; i < 37u * 23; ++i)
        ASSERT_EQ(img.GetPixels()[4 * i + 3], uint8_t(rgba[4 * i + 3])) << "pixel " << i;
    }
    if (std::string(c.name) == "1-bit") {
      for (size_t i = 0; i < 37u * 23; ++i) ASSERT_LE(img.GetPixels()[i], 1);
    }
  }

  // ImageMagick writes 16-bit and alpha images with a V5 header as bit
  // fields (compression 3), which we do not read: refused with a message.
  for (const char* args : {"-define bmp:subtype=RGB565", "-alpha set -type truecolormatte"}) {
    SCOPED_TRACE(args);
    const std::string file = dir / "fields.bmp";
    ASSERT_TRUE(qvrtest::Magick(qvrtest::HostArg(src) + " " + args + " BMP:" + qvrtest::HostArg(file)));
    ASSERT_EQ(U32(qvrtest::ReadAll(file), 30), 3u);
    LogCapture log;
    QVRImage img;
    EXPECT_FALSE(qvrtest::LoadImageFile(img, file));
    EXPECT_EQ(log.Text(), "BMP: compressed data not supported.\n");
  }
}

// A 40-byte header with a negative height holds its rows top-down; turning
// ImageMagick's bottom-up file around that way must give the same image, in
// ImageMagick's reading and in ours.
TEST(Bmp, NegativeHeightReadsRowsTopDown) {
  QVR_REQUIRE_MAGICK();
  TempDir dir;
  const std::string file = dir / "up.bmp";
  for (const char* args : {"-type truecolor", "-colors 12"}) {
    SCOPED_TRACE(args);
    ASSERT_TRUE(qvrtest::Magick("-seed 3 -size 37x23 plasma:fractal " + std::string(args) +
                                " BMP3:" + qvrtest::HostArg(file)));
    std::string bytes = qvrtest::ReadAll(file);
    const uint32_t offset = U32(bytes, 10);
    const size_t stride = (bytes.size() - offset) / 23;
    std::string flipped = bytes.substr(0, offset);
    for (int row = 22; row >= 0; --row) flipped += bytes.substr(offset + row * stride, stride);
    SetU32(flipped, 22, uint32_t(-23));
    const std::string down = dir / "down.bmp";
    ASSERT_TRUE(qvrtest::WriteAll(down, flipped));

    QVRImage img;
    ASSERT_TRUE(qvrtest::LoadImageFile(img, down));
    EXPECT_EQ(img.GetHeight(), 23u);
    const std::string expected = qvrtest::MagickRaw(file, "rgb", dir);
    EXPECT_EQ(qvrtest::ImageRGB(img), expected);
    EXPECT_EQ(qvrtest::MagickRaw(down, "rgb", dir), expected);
  }
}

// Our files, read by ImageMagick and by us, at every depth the writer takes.
TEST(Bmp, WrittenFilesDecodeInImageMagickToOurPixels) {
  QVR_REQUIRE_MAGICK();
  TempDir dir;
  for (unsigned bpp : {8u, 24u, 32u}) {
    for (unsigned w : {37u, 3u, 1u}) {
      SCOPED_TRACE(std::to_string(bpp) + " bits, width " + std::to_string(w));
      QVRImage img(w, 5, bpp);
      qvrtest::FillPhotoLike(img, w);
      if (bpp == 8) {
        QVRPal pal(256);
        for (unsigned i = 0; i < 256; ++i) pal.SetEntry(i, uint8_t(i * 3), uint8_t(255 - i), 77);
        img.SetPalette(&pal, 0, 256);
      }
      const std::string file =
          dir / ("out" + std::to_string(bpp) + "-" + std::to_string(w) + ".bmp");
      ASSERT_TRUE(qvrtest::SaveImageFile(img, file, QVRImage::IMG_BMP));
      EXPECT_EQ(qvrtest::MagickRaw(file, "rgb", dir), qvrtest::ImageRGB(img));
      QVRImage back;
      ASSERT_TRUE(qvrtest::LoadImageFile(back, file));
      EXPECT_EQ(back.GetBpp(), bpp);
      EXPECT_EQ(Pixels(back), Pixels(img));
    }
  }
}

TEST(Bmp, WriterLayout) {
  TempDir dir;
  // Width 3 at 24 bits: 9 pixel bytes and 3 zero bytes a row, bottom row
  // first; the image size field counts the padded rows.
  QVRImage rgb(3, 2, 24);
  for (unsigned i = 0; i < 18; ++i) rgb.GetPixels()[i] = uint8_t(i + 1);
  ASSERT_TRUE(qvrtest::SaveImageFile(rgb, dir / "a.bmp", QVRImage::IMG_BMP));
  std::string bytes = qvrtest::ReadAll(dir / "a.bmp");
  ASSERT_EQ(bytes.size(), 54u + 24);
  EXPECT_EQ(U32(bytes, 2), 78u) << "file size";
  EXPECT_EQ(U32(bytes, 10), 54u);
  EXPECT_EQ(U32(bytes, 14), 40u);
  EXPECT_EQ(U32(bytes, 34), 24u) << "image size";
  EXPECT_EQ(U32(bytes, 46), 0u) << "no palette for 24 bits";
  EXPECT_EQ(bytes.substr(54, 12), std::string("\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11\x12\0\0\0", 12));
  EXPECT_EQ(bytes.substr(66, 12), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\0\0\0", 12));

  // A 16-entry palette fills 256 slots: the rest are zero; colours used 16.
  QVRImage idx(4, 1, 8);
  std::memcpy(idx.GetPixels(), "\x00\x05\x0A\x0F", 4);
  QVRPal pal(16);
  for (unsigned i = 0; i < 16; ++i) pal.SetEntry(i, uint8_t(i), uint8_t(16 * i), 200, uint8_t(i));
  idx.SetPalette(&pal, 0, 16);
  ASSERT_TRUE(qvrtest::SaveImageFile(idx, dir / "b.bmp", QVRImage::IMG_BMP));
  bytes = qvrtest::ReadAll(dir / "b.bmp");
  ASSERT_EQ(bytes.size(), 54u + 1024 + 4);
  EXPECT_EQ(U32(bytes, 10), 54u + 1024);
  EXPECT_EQ(U32(bytes, 28) & 0xFFFF, 8u);
  EXPECT_EQ(U32(bytes, 46), 16u);
  EXPECT_EQ(U32(bytes, 50), 16u);
  EXPECT_EQ(bytes.substr(54 + 4 * 5, 4), std::string("\xC8\x50\x05\x05", 4)) << "b, g, r, a";
  EXPECT_EQ(bytes.substr(54 + 64, 960), std::string(960, '\0'));
  QVRImage back;
  ASSERT_TRUE(qvrtest::LoadImageFile(back, dir / "b.bmp"));
  EXPECT_EQ(back.GetPalette()->GetCount(), 256u);
  EXPECT_EQ(std::memcmp(back.GetPalette()->GetEntries(), pal.GetEntries(), 64), 0);

  // A deep image keeps the palette of an 8-bit image loaded before it, but
  // the palette never reaches the file (it would take 2^24 or 2^32 slots).
  QVRImage deep;
  ASSERT_TRUE(LoadBytes(deep, Bmp8(2, 1, 0, std::string(4, '\1'))));
  const std::string deepFile = "BM" + LE32(70) + LE32(0) + LE32(54) + LE32(40) + LE32(2) + LE32(2) +
                               LE16(1) + LE16(32) + std::string(24, '\0') + std::string(16, '\7');
  ASSERT_TRUE(LoadBytes(deep, deepFile));
  ASSERT_EQ(deep.GetBpp(), 32u);
  ASSERT_NE(deep.GetPalette(), nullptr);
  ASSERT_TRUE(qvrtest::SaveImageFile(deep, dir / "c.bmp", QVRImage::IMG_BMP));
  bytes = qvrtest::ReadAll(dir / "c.bmp");
  EXPECT_EQ(bytes.size(), 54u + 16);
  EXPECT_EQ(U32(bytes, 10), 54u);
  EXPECT_EQ(U32(bytes, 46), 0u);

  QVRImage empty;
  EXPECT_FALSE(qvrtest::SaveImageFile(empty, dir / "d.bmp", QVRImage::IMG_BMP));
}

// Runs, literal runs and moves that leave the image are cut at its edges.
TEST(Bmp, RunLengthDataIsClippedToTheImage) {
  // 4 x 3, bottom row first. Bottom row: a run of 10 (cut to 4), end of
  // line. Middle row: a run of 2, a literal of 5 (cut to 2; its pad byte
  // skipped), end of line. Top row: a move far past the right edge, a run
  // that lands nowhere, and a move of 9 rows up, which ends decoding.
  const std::string rle = std::string("\x0A\x07\x00\x00", 4) +
                          std::string("\x02\x01\x00\x05\x10\x11\x12\x13\x14\x00\x00\x00", 12) +
                          std::string("\x00\x02\xC8\x00\x03\x09\x00\x02\x00\x09\x05\x05", 12);
  QVRImage img;
  ASSERT_TRUE(LoadBytes(img, Bmp8(4, 3, 1, rle)));
  EXPECT_EQ(Pixels(img), std::string("\0\0\0\0"
                                     "\x01\x01\x10\x11"
                                     "\x07\x07\x07\x07",
                                     12));

  // Top-down run-length data fills from the first image row.
  ASSERT_TRUE(LoadBytes(img, Bmp8(4, -2, 1, std::string("\x03\x04\x00\x00\x01\x05\x00\x01", 8))));
  EXPECT_EQ(Pixels(img), std::string("\x04\x04\x04\0\x05\0\0\0", 8));

  // Data that ends before the bitmap does is an error, not a success.
  LogCapture log;
  EXPECT_FALSE(LoadBytes(img, Bmp8(4, 3, 1, std::string("\x04\x01\x00\x00\x02", 5))));
  EXPECT_EQ(log.Text(), "BMP: unexpected EOF\n");
}

TEST(Bmp, HostileAndUnsupportedHeadersAreRefused) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"no signature", "BN" + std::string(60, '\0'), "BMP: bad file header\n"},
      {"short file header", "BM\0\0", "BMP: bad file header\n"},
      {"16-byte OS/2 header",
       "BM" + std::string(8, '\0') + LE32(30) + LE32(16) + LE32(4) + LE32(4) + LE32(0x00080001) +
           std::string(16, '\0'),
       "BMP: bad file header\n"},
      {"bit fields", Bmp8(2, 2, 3, std::string(8, '\0'), 0, 16),
       "BMP: compressed data not supported.\n"},
      {"4-bit run-length", Bmp8(2, 2, 2, std::string(8, '\0'), 16, 4),
       "BMP: compressed data not supported.\n"},
      {"run-length at 24 bits", Bmp8(2, 2, 1, std::string(8, '\0'), 0, 24),
       "BMP: compressed data not supported.\n"},
      {"2 bits", Bmp8(2, 2, 0, std::string(8, '\0'), 4, 2), "BMP: bad file header\n"},
      {"zero width", Bmp8(0, 2, 0, std::string(8, '\0')), "BMP: bad file header\n"},
      {"negative width", Bmp8(-4, 2, 0, std::string(8, '\0')), "BMP: bad file header\n"},
      {"side beyond the clip rectangle", Bmp8(40000, 1, 0, std::string(40000, '\0')),
       "BMP: can not allocate image\n"},
      // 32767 x 32767 at 32 bits claims 4 GiB on a stream of a few bytes.
      {"huge stored image", Bmp8(32767, 32767, 0, std::string(16, '\0'), 0, 32),
       "BMP: unexpected EOF\n"},
      {"huge run-length image", Bmp8(32767, 32767, 1, std::string("\x00\x01", 2)),
       "BMP: unexpected EOF\n"},
      {"truncated rows", Bmp8(8, 4, 0, std::string(20, '\0')), "BMP: unexpected EOF\n"},
      {"offset past the end",
       [] {
         std::string b = Bmp8(2, 2, 0, std::string(8, '\0'));
         SetU32(b, 10, 0x7FFFFFF0);
         return b;
       }(),
       "BMP: unexpected EOF\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    QVRImage img;
    EXPECT_FALSE(LoadBytes(img, c.bytes));
    EXPECT_EQ(log.Text(), c.message);
  }

  // The last row may lack its padding; anything shorter fails.
  QVRImage img;
  EXPECT_TRUE(LoadBytes(img, Bmp8(3, 2, 0, std::string("\1\2\3\0\4\5\6", 7))));
  EXPECT_EQ(Pixels(img), std::string("\4\5\6\1\2\3"));
  LogCapture log;
  EXPECT_FALSE(LoadBytes(img, Bmp8(3, 2, 0, std::string("\1\2\3\0\4\5", 6))));
  EXPECT_EQ(log.Text(), "BMP: unexpected EOF\n");
}

// The palette comes from the bytes between the header and the pixels: a
// writer listing fewer than 2^bits colours leaves black entries, not pixel
// bytes, in the rest.
TEST(Bmp, ShortPaletteLeavesTheOtherEntriesBlack) {
  QVRImage img;
  ASSERT_TRUE(LoadBytes(img, Bmp8(4, 1, 0, std::string("\x00\x01\x01\x00", 4), 2)));
  const QVRPal* pal = img.GetPalette();
  ASSERT_NE(pal, nullptr);
  ASSERT_EQ(pal->GetCount(), 256u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pal->Entry(1)), 4),
            std::string("\1\1\1\0", 4));
  for (unsigned i = 2; i < 256; ++i)
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(pal->Entry(i)), 4), std::string(4, '\0'));
}

}  // namespace

// Files in memory are copied from their bytes a row at a time, with streaming
// stores once the image is large; they must give what the row reads of a
// disk file give: odd widths with padding on every row, both row orders, and
// a last row whose padding the file leaves out.
TEST(Bmp, RowsFromMemoryMatchRowsFromDisk) {
  TempDir dir;
  struct Case {
    int32_t w, h;
    uint32_t bits;
  };
  for (const Case c :
       {Case{13, 7, 24}, Case{13, -7, 8}, Case{1601, 1800, 24}, Case{1450, -1450, 32}}) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " x " << c.bits);
    const uint32_t h = uint32_t(c.h < 0 ? -c.h : c.h);
    const size_t packed = size_t(c.w) * c.bits / 8, stride = (packed + 3) & ~size_t(3);
    std::string data(stride * h, '\xEE'), want(packed * h, '\0');
    for (uint32_t r = 0; r < h; ++r) {
      const uint32_t y = c.h < 0 ? r : h - 1 - r;
      for (size_t x = 0; x < packed; ++x)
        data[r * stride + x] = want[y * packed + x] = char(x * 131 + r * 7 + 1);
    }
    for (bool cut : {false, true}) {
      const std::string file =
          Bmp8(c.w, c.h, 0, cut ? data.substr(0, data.size() - stride + packed) : data,
               c.bits == 8 ? 256 : 0, c.bits);
      QVRImage fromMemory, fromDisk;
      std::vector<uint8_t> copy(file.begin(), file.end());
      QVRMemFile mem(unsigned(copy.size()), QVRResFile::READ, copy.data());
      ASSERT_TRUE(fromMemory.Load(mem, QVRImage::IMG_BMP)) << cut;
      EXPECT_TRUE(mem.Eof()) << "the stream is left after the pixels";
      EXPECT_EQ(Pixels(fromMemory), want) << cut;
      const std::string name = dir / "rows.bmp";
      {
        std::remove(name.c_str());
        QVRFile out(name.c_str(), QVRResFile::WRITE | QVRResFile::TRUNCATE | QVRResFile::CREATE);
        out.Write(file.data(), unsigned(file.size()));
      }
      ASSERT_TRUE(qvrtest::LoadImageFile(fromDisk, name, QVRImage::IMG_BMP)) << cut;
      EXPECT_EQ(Pixels(fromDisk), want) << cut;
    }
  }
}
