// TGA codec: ImageMagick's files decode to ImageMagick's pixels, ours decode
// in ImageMagick to ours, row order and packets across rows, the run-length
// writer's packets, the alpha byte both ways, and refusals of bad headers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
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

std::string LE16(uint32_t v) { return std::string{char(v), char(v >> 8)}; }

// An 18-byte header without colour map.
std::string Header(unsigned type, unsigned w, unsigned h, unsigned depth, unsigned descriptor = 0) {
  return std::string{0, 0, char(type)} + std::string(5, '\0') + LE16(0) + LE16(0) + LE16(w) +
         LE16(h) + std::string{char(depth), char(descriptor)};
}

bool LoadBytes(QVRImage& img, const std::string& bytes) {
  std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  QVRMemFile file(unsigned(copy.size()), QVRResFile::READ, copy.data());
  return img.Load(file, QVRImage::IMG_TGA);
}

std::string Saved(QVRImage& img, int format) {
  QVRMemFile out(1 << 22, QVRResFile::READWRITE | QVRResFile::CREATE);
  if (!img.Save(out, format)) return "";
  return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetPos());
}

std::string Pixels(const QVRImage& img) {
  return std::string(reinterpret_cast<const char*>(img.GetPixels()),
                     size_t(img.GetPitch()) * img.GetHeight());
}

// The fourth bytes of a 32-bit image turned back into alpha values.
std::string AlphaOf(const QVRImage& img) {
  std::string alpha;
  for (size_t i = 0; i < size_t(img.GetWidth()) * img.GetHeight(); ++i)
    alpha += char(255 - img.GetPixels()[4 * i + 3]);
  return alpha;
}
std::string AlphaOfRGBA(const std::string& rgba) {
  std::string alpha;
  for (size_t i = 3; i < rgba.size(); i += 4) alpha += rgba[i];
  return alpha;
}

// ImageMagick's decoding of a TGA file in `layout` ("rgb" or "rgba"), top row
// first. ImageMagick 6 keeps a TGA's stored row order as an orientation tag
// rather than applying it, so its pixels are put upright with -auto-orient:
// that honours descriptor bit 5 as we, stb_image and netpbm do. (The same
// habit makes it write its own bottom-up files with the top row first,
// upside down for every other reader; the decoded pixels still agree.)
std::string MagickTga(const std::string& file, const std::string& layout, const TempDir& dir) {
  const std::string out = dir / "magick-tga.bin";
  std::remove(out.c_str());
  if (!qvrtest::Magick(qvrtest::HostArg(file) + " -auto-orient -depth 8 " + layout + ":" + qvrtest::HostArg(out)))
    return "";
  return qvrtest::ReadAll(out);
}

TEST(Tga, ImageMagickFilesDecodeToImageMagicksPixels) {
  QVR_REQUIRE_MAGICK();
  TempDir dir;
  const std::string src = dir / "src.png";
  ASSERT_TRUE(qvrtest::Magick("-seed 5 -size 37x23 plasma:fractal " + qvrtest::HostArg(src)));
  const std::string alpha = "-alpha set -channel A -fx '(i+j)/60' +channel";
  struct Case {
    const char* name;
    std::string args;
    unsigned type, bpp;
  } cases[] = {
      {"colour-mapped", "-colors 200 -type palette", 1, 8},
      {"colour-mapped run-length", "-colors 200 -type palette -compress rle", 9, 8},
      {"24-bit", "-type truecolor", 2, 24},
      {"24-bit run-length", "-type truecolor -compress rle", 10, 24},
      {"24-bit top-down", "-orient topleft -type truecolor", 2, 24},
      {"32-bit", alpha, 2, 32},
      {"32-bit run-length", alpha + " -compress rle", 10, 32},
      {"grey", "-colorspace gray -type grayscale", 3, 8},
      {"grey run-length", "-colorspace gray -type grayscale -compress rle", 11, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir / "in.tga";
    ASSERT_TRUE(qvrtest::Magick(qvrtest::HostArg(src) + " " + c.args + " TGA:" + qvrtest::HostArg(file)));
    ASSERT_EQ(unsigned(uint8_t(qvrtest::ReadAll(file)[2])), c.type)
        << "ImageMagick wrote another image type";
    QVRImage img;
    ASSERT_TRUE(qvrtest::LoadImageFile(img, file, QVRImage::IMG_TGA));
    EXPECT_EQ(img.GetWidth(), 37u);
    EXPECT_EQ(img.GetHeight(), 23u);
    EXPECT_EQ(img.GetBpp(), c.bpp);
    EXPECT_EQ(qvrtest::ImageRGB(img), MagickTga(file, "rgb", dir));
    if (c.bpp == 32) {
      const std::string expected = AlphaOfRGBA(MagickTga(file, "rgba", dir));
      EXPECT_NE(expected, std::string(expected.size(), '\xFF')) << "the test needs real alpha";
      EXPECT_EQ(AlphaOf(img), expected) << "fourth byte = 255 - alpha";
    }
  }
}

// Our files in both encodings at every depth the writers take; 32-bit
// images keep their fourth byte across a save and a load.
TEST(Tga, WrittenFilesDecodeInImageMagickToOurPixels) {
  QVR_REQUIRE_MAGICK();
  TempDir dir;
  for (unsigned bpp : {8u, 24u, 32u}) {
    for (int format : {int(QVRImage::IMG_TGA), int(QVRImage::IMG_TGA_RLE)}) {
      for (bool palette : {true, false}) {
        if (bpp != 8 && !palette) continue;
        SCOPED_TRACE(std::to_string(bpp) + " bits, format " + std::to_string(format) +
                     (palette ? "" : ", no palette"));
        QVRImage img(37, 23, bpp);
        qvrtest::FillPhotoLike(img, bpp);
        if (bpp == 8 && palette) {
          QVRPal pal(200);
          for (unsigned i = 0; i < 200; ++i) pal.SetEntry(i, uint8_t(i), uint8_t(3 * i), 99);
          img.SetPalette(&pal, 0, 200);
        }
        const std::string name = "out" + std::to_string(bpp) + "-" + std::to_string(format) +
                                 (palette ? "p" : "") + ".tga";
        ASSERT_TRUE(qvrtest::SaveImageFile(img, dir / name, format));
        QVRImage back;
        ASSERT_TRUE(qvrtest::LoadImageFile(back, dir / name, QVRImage::IMG_TGA));
        EXPECT_EQ(Pixels(back), Pixels(img));
        if (bpp == 8 && !palette) {
          // Without a palette the pixels are grey levels, in ImageMagick and for us.
          ASSERT_NE(back.GetPalette(), nullptr);
          EXPECT_EQ(MagickTga(dir / name, "rgb", dir), qvrtest::ImageRGB(back));
          continue;
        }
        EXPECT_EQ(MagickTga(dir / name, "rgb", dir), qvrtest::ImageRGB(img));
        if (bpp == 32) {
          EXPECT_EQ(AlphaOfRGBA(MagickTga(dir / name, "rgba", dir)), AlphaOf(img));
        }
      }
    }
  }
}

TEST(Tga, RowOrderAndPacketsAcrossRows) {
  // 14 x 2 at 24 bits: a raw packet of 10 pixels, a run of 10 starting 4
  // pixels before the end of the first row, and a raw packet of 8.
  std::string data, expected;
  data += char(9);
  for (int i = 0; i < 10; ++i) data += std::string{char(i), char(i + 100), char(i + 200)};
  data += std::string{char(0x89), 'a', 'b', 'c'};
  data += char(7);
  for (int i = 0; i < 8; ++i) data += std::string{char(50 + i), 0, 0};
  std::string first, second;
  for (int i = 0; i < 10; ++i) first += std::string{char(i), char(i + 100), char(i + 200)};
  for (int i = 0; i < 4; ++i) first += "abc";
  for (int i = 0; i < 6; ++i) second += "abc";
  for (int i = 0; i < 8; ++i) second += std::string{char(50 + i), 0, 0};

  QVRImage img;
  ASSERT_TRUE(LoadBytes(img, Header(10, 14, 2, 24, 0x20) + data));
  EXPECT_EQ(Pixels(img), first + second) << "bit 5 set: first file row on top";
  ASSERT_TRUE(LoadBytes(img, Header(10, 14, 2, 24) + data));
  EXPECT_EQ(Pixels(img), second + first) << "bit 5 clear: first file row at the bottom";

  // Stored rows follow the same rule; packets past the image are ignored.
  ASSERT_TRUE(LoadBytes(img, Header(2, 2, 2, 8) + "\1\2\3\4"));
  EXPECT_EQ(Pixels(img), "\3\4\1\2");
  ASSERT_TRUE(LoadBytes(img, Header(9, 3, 1, 8) + std::string("\x84\x07\x02\x01\x02\x03", 6)));
  EXPECT_EQ(Pixels(img), "\7\7\7");

  // 32-bit alpha 255 is a fourth byte of 0, and the writer turns it back.
  ASSERT_TRUE(LoadBytes(img, Header(2, 2, 1, 32, 8) + "\1\2\3\xFF\4\5\6\x40"));
  EXPECT_EQ(Pixels(img), std::string("\1\2\3\0\4\5\6\xBF", 8));
  for (int format : {int(QVRImage::IMG_TGA), int(QVRImage::IMG_TGA_RLE)}) {
    const std::string file = Saved(img, format);
    EXPECT_EQ(file.substr(0, 18), Header(format == QVRImage::IMG_TGA ? 2 : 10, 2, 1, 32, 8));
    QVRImage back;
    ASSERT_TRUE(LoadBytes(back, file));
    EXPECT_EQ(Pixels(back), Pixels(img)) << "format " << format;
  }
}

// Large images from disk take the buffered input across its 64 KiB refills,
// with packets split at every possible place by the buffer's edge.
TEST(Tga, RunLengthRoundTripsThroughTheBufferedInput) {
  TempDir dir;
  for (unsigned bpp : {8u, 24u, 32u}) {
    SCOPED_TRACE(bpp);
    QVRImage img(701, 97, bpp);
    qvrtest::FillPhotoLike(img, bpp + 1);
    if (bpp == 8) {
      QVRPal pal(256);
      for (unsigned i = 0; i < 256; ++i) pal.SetEntry(i, uint8_t(i), 0, 0);
      img.SetPalette(&pal, 0, 256);
    }
    const std::string name = dir / ("big" + std::to_string(bpp) + ".tga");
    ASSERT_TRUE(qvrtest::SaveImageFile(img, name, QVRImage::IMG_TGA_RLE));
    QVRImage fromDisk, fromMemory;
    ASSERT_TRUE(qvrtest::LoadImageFile(fromDisk, name, QVRImage::IMG_TGA));
    EXPECT_EQ(Pixels(fromDisk), Pixels(img));
    ASSERT_TRUE(LoadBytes(fromMemory, qvrtest::ReadAll(name)));
    EXPECT_EQ(Pixels(fromMemory), Pixels(img));
  }
}

TEST(Tga, RunLengthWriterPackets) {
  // One row: A A A B C D D, then 130 equal pixels, then 130 distinct ones.
  std::vector<uint8_t> row = {1, 1, 1, 2, 3, 4, 4};
  row.insert(row.end(), 130, 9);
  for (int i = 0; i < 130; ++i) row.push_back(uint8_t(i % 2 ? 200 + i % 50 : i % 50));
  QVRImage img(unsigned(row.size()), 1, 8);
  std::memcpy(img.GetPixels(), row.data(), row.size());
  const std::string file = Saved(img, QVRImage::IMG_TGA_RLE);
  ASSERT_GT(file.size(), 18u);
  EXPECT_EQ(uint8_t(file[2]), 11) << "no palette: grey";
  std::string expected = std::string("\x82\x01\x01\x02\x03\x81\x04", 7) + "\xFF\x09\x81\x09";
  expected += char(127);
  expected.append(reinterpret_cast<const char*>(row.data()) + 137, 128);
  expected += char(1);
  expected.append(reinterpret_cast<const char*>(row.data()) + 265, 2);
  EXPECT_EQ(file.substr(18), expected);

  // A 24-bit stretch ends where two equal neighbours begin, even at the row end.
  QVRImage rgb(3, 2, 24);
  std::memcpy(rgb.GetPixels(),
              "abcdefdef"
              "ghighighi",
              18);
  EXPECT_EQ(Saved(rgb, QVRImage::IMG_TGA_RLE).substr(18),
            std::string("\x82ghi", 4) + std::string("\x00"
                                                    "abc\x81"
                                                    "def",
                                                    8));

  // The costliest row for one-byte pixels: a single literal then a run of two,
  // 4 bytes per 3 pixels, more than the row itself.
  QVRImage worst(300, 2, 8);
  for (unsigned i = 0; i < 600; ++i) worst.GetPixels()[i] = uint8_t(i % 3 ? 7 + (i / 3) % 2 : 1);
  const std::string packed = Saved(worst, QVRImage::IMG_TGA_RLE);
  EXPECT_EQ(packed.size(), 18u + 2 * 400u);
  QVRMemFile back(unsigned(packed.size()), QVRResFile::READ,
                  reinterpret_cast<unsigned char*>(const_cast<char*>(packed.data())));
  QVRImage again;
  ASSERT_TRUE(again.Load(back, QVRImage::IMG_TGA));
  EXPECT_EQ(std::memcmp(again.GetPixels(), worst.GetPixels(), 600), 0);

  // 16-bit images have no TGA form here.
  LogCapture log;
  QVRImage deep(2, 2, 16);
  EXPECT_EQ(Saved(deep, QVRImage::IMG_TGA), "");
  EXPECT_EQ(Saved(deep, QVRImage::IMG_TGA_RLE), "");
  EXPECT_EQ(log.Text(), "TGA: can not handle 16 bits image.\nTGA: can not handle 16 bits image.\n");
}

TEST(Tga, ColourMaps) {
  // Colour map start 1 of length 3 with 32-bit entries: the first is
  // skipped, the others are read blue, green, red; an id field comes first.
  const std::string mapped = std::string{3, 1, 1} + LE16(1) + LE16(3) + char(32) +
                             std::string(4, '\0') + LE16(2) + LE16(1) + std::string("\x08\x00", 2) +
                             "ID!" + std::string("\1\1\1\1\x10\x20\x30\x40\x50\x60\x70\x80", 12) +
                             std::string("\1\0", 2);
  QVRImage img;
  ASSERT_TRUE(LoadBytes(img, mapped));
  ASSERT_NE(img.GetPalette(), nullptr);
  ASSERT_EQ(img.GetPalette()->GetCount(), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(img.GetPalette()->GetEntries()), 8),
            std::string("\x30\x20\x10\0\x70\x60\x50\0", 8));
  EXPECT_EQ(Pixels(img), std::string("\1\0", 2));

  // A zero-length map drops the palette; no map at all keeps it.
  std::string noMap = std::string{0, 1, 1} + LE16(0) + LE16(0) + char(24) + std::string(4, '\0') +
                      LE16(1) + LE16(1) + std::string("\x08\x00", 2) + "\5";
  ASSERT_TRUE(LoadBytes(img, Header(1, 1, 1, 8) + "\5"));
  EXPECT_NE(img.GetPalette(), nullptr);
  ASSERT_TRUE(LoadBytes(img, noMap));
  EXPECT_EQ(img.GetPalette(), nullptr);

  LogCapture log;
  std::string startPastLength = mapped;
  startPastLength[3] = 5;  // start 5 > length 3: the length stays 3
  EXPECT_FALSE(LoadBytes(img, startPastLength));
  std::string deepMapped = mapped;
  deepMapped[16] = 24;
  EXPECT_FALSE(LoadBytes(img, deepMapped));
  std::string smallEntries = mapped;
  smallEntries[7] = 16;
  EXPECT_FALSE(LoadBytes(img, smallEntries));
  EXPECT_FALSE(LoadBytes(img, mapped.substr(0, 25)));
  EXPECT_EQ(log.Text(),
            "TGA: Error, cmstart > cmlen !\nTGA: Error reading palette\n"
            "TGA: Error colormap in 24 bits mode\n"
            "TGA: error in colormap depth = 2 bytes.\n"
            "TGA: Error reading palette\n");
}

TEST(Tga, BadHeadersAndShortDataAreRefused) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"short header", std::string(10, '\0'), "TGA:: bad format\n"},
      {"colour-map type 2", std::string{0, 2} + Header(2, 1, 1, 24).substr(2) + "abc",
       "TGA:: bad format\n"},
      {"type 32", Header(32, 1, 1, 24) + "abc", "TGA:: Unsupported type 32\n"},
      {"zero width", Header(2, 0, 1, 24), "TGA:: bad format\n"},
      {"depth 7", Header(3, 1, 1, 7) + "a", "TGA:: bad format\n"},
      // 65535 x 65535 at 32 bits on a stream of a few bytes.
      {"huge stored image", Header(2, 65535, 65535, 32) + "abcdefgh",
       "TGA: Error reading data, line 0, x= 8"},
      {"huge run-length image", Header(10, 65535, 65535, 32) + "\xFF\1\2\3\4",
       "TGA: Error reading data, line 0, x= 0"},
      {"short stored rows", Header(2, 2, 3, 24) + std::string(10, 'x'),
       "TGA: Error reading data, line 1, x= 4"},
      {"short run-length data",
       Header(10, 3, 2, 24) + "\x83xyz\x01"
                              "ab",
       "TGA: Error reading data, line 1, x= 3"},
      {"short raw packet",
       Header(10, 3, 2, 24) + "\x05"
                              "abcdefghijklm",
       "TGA: Error reading data, line 1, x= 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    QVRImage img;
    EXPECT_FALSE(LoadBytes(img, c.bytes));
    EXPECT_EQ(log.Text(), c.message);
  }
}

}  // namespace

// Packets that cross rows at random, in images on both sides of the size
// from which rows are decoded in a scratch row and streamed out; a stream cut
// at a packet boundary fails but keeps the pixels decoded before the cut.
TEST(Tga, RandomPacketsAcrossRowsAtEverySize) {
  struct Case {
    unsigned w, h, depth;
  };
  for (const Case c : {Case{37, 11, 32}, Case{1500, 1400, 32}, Case{1700, 1700, 24},
                       Case{3001, 2900, 8}, Case{97, 5, 8}}) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " x " << c.depth);
    const size_t B = c.depth / 8, rowBytes = size_t(c.w) * B, total = rowBytes * c.h;
    std::mt19937 rng(c.w);
    std::string data, flat;  // packets, and the pixel bytes they give in file order
    size_t cutData = 0, cutFlat = 0;
    while (flat.size() < total) {
      if (cutData == 0 && flat.size() >= total / 2) cutData = data.size(), cutFlat = flat.size();
      const unsigned count = 1 + rng() % (rng() % 4 == 0 ? 128 : 12);
      const bool run = rng() & 1;
      data += char((run ? 0x80 : 0) | (count - 1));
      std::string pixel;
      for (unsigned i = 0; i < count; ++i) {
        if (i == 0 || !run) {
          pixel.clear();
          for (size_t b = 0; b < B; ++b) pixel += char(rng());
          data += pixel;
        }
        flat += pixel;
      }
    }
    flat.resize(total);
    // The image keeps 255 - alpha, rows bottom-up.
    if (B == 4)
      for (size_t i = 3; i < flat.size(); i += 4) flat[i] = char(~flat[i]);
    auto row = [&](size_t r) { return flat.substr(r * rowBytes, rowBytes); };
    std::string want;
    for (size_t r = c.h; r-- > 0;) want += row(r);

    const std::string head = Header(c.depth == 8 ? 11 : 10, c.w, c.h, c.depth);
    QVRImage img;
    ASSERT_TRUE(LoadBytes(img, head + data));
    ASSERT_EQ(Pixels(img), want);

    const size_t fullRows = cutFlat / rowBytes, partial = cutFlat % rowBytes;
    {
      LogCapture log;
      ASSERT_FALSE(LoadBytes(img, head + data.substr(0, cutData)));
      EXPECT_NE(
          log.Text().find("line " + std::to_string(fullRows) + ", x= " + std::to_string(partial)),
          std::string::npos)
          << log.Text();
    }
    const std::string got = Pixels(img);
    for (size_t r = 0; r < fullRows; ++r)
      ASSERT_EQ(got.substr((c.h - 1 - r) * rowBytes, rowBytes), row(r)) << "row " << r;
    EXPECT_EQ(got.substr((c.h - 1 - fullRows) * rowBytes, partial),
              row(fullRows).substr(0, partial));
  }
}
