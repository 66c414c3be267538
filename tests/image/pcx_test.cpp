// PCX codec tests: ImageMagick's files decode to its own pixels and ours
// decode in ImageMagick to the same; the writer's byte layout and run-length
// rules; palettes by version; refusals and hostile run-length data.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/log_capture.h"
#include "common/tmpdir.h"
#include "image/magick.h"
#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace {

using qvrtest::TempDir;

bool LoadBytes(QVRImage& img, std::string bytes, int format = QVRImage::IMG_PCX) {
  QVRMemFile in(unsigned(bytes.size()), QVRResFile::READ,
                reinterpret_cast<unsigned char*>(&bytes[0]));
  return img.Load(in, format);
}

// The bytes Save writes for `img`, "" on failure.
std::string SavedBytes(QVRImage& img, int format = QVRImage::IMG_PCX) {
  QVRMemFile out(1 << 20, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  if (!img.Save(out, format)) return "";
  return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetPos());
}

std::vector<uint8_t> Bytes(const QVRImage& img) {
  const uint8_t* p = img.GetPixels();
  return std::vector<uint8_t>(p, p + size_t(img.GetPitch()) * img.GetHeight());
}

// A header for `planes` planes of `lineBytes` bytes, width x height.
std::string Header(unsigned width, unsigned height, unsigned planes, unsigned lineBytes,
                   unsigned version = 5, unsigned bits = 8) {
  std::string h(128, '\0');
  h[0] = 0x0A;
  h[1] = char(version);
  h[2] = 1;
  h[3] = char(bits);
  h[8] = char((width - 1) & 0xFF);
  h[9] = char((width - 1) >> 8);
  h[10] = char((height - 1) & 0xFF);
  h[11] = char((height - 1) >> 8);
  h[65] = char(planes);
  h[66] = char(lineBytes & 0xFF);
  h[67] = char(lineBytes >> 8);
  return h;
}

std::string PhotoPPM(unsigned w, unsigned h) {
  QVRImage img(w, h, 24);
  qvrtest::FillPhotoLike(img, w);
  std::string s = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (unsigned y = 0; y < h; ++y)
    for (unsigned x = 0; x < w; ++x) {
      const uint8_t* p = img.GetPixels() + size_t(y) * img.GetPitch() + 3 * x;
      s += {char(p[2]), char(p[1] * 3), char(p[0] ^ (x * y))};
    }
  return s;
}

// The image as ImageMagick's "rgba" layout (32-bit pixels are blue, green,
// red, alpha in memory).
std::string ImageRGBA(const QVRImage& img) {
  std::string s;
  const uint8_t* p = img.GetPixels();
  for (size_t i = 0; i < size_t(img.GetWidth()) * img.GetHeight(); ++i, p += 4)
    s += {char(p[2]), char(p[1]), char(p[0]), char(p[3])};
  return s;
}

TEST(Pcx, ImageMagickFilesAndOursAgree) {
  QVR_REQUIRE_MAGICK();
  TempDir dir;
  const std::string ppm = dir / "in.ppm";
  for (unsigned w : {37u, 40u}) {
    ASSERT_TRUE(qvrtest::WriteAll(ppm, PhotoPPM(w, 23)));
    for (const char* type : {"-colors 200", "-type TrueColor"}) {
      SCOPED_TRACE(std::to_string(w) + " " + type);
      const std::string theirs = dir / "theirs.pcx", ours = dir / "ours.pcx";
      ASSERT_TRUE(qvrtest::Magick(qvrtest::HostArg(ppm) + " " + type + " " + qvrtest::HostArg(theirs)));
      const std::string expected = qvrtest::MagickRaw(theirs, "rgb", dir);
      ASSERT_EQ(expected.size(), size_t(w) * 23 * 3);
      QVRImage img;
      ASSERT_TRUE(qvrtest::LoadImageFile(img, theirs));
      EXPECT_EQ(img.GetBpp(), type[1] == 'c' ? 8u : 24u);
      EXPECT_TRUE(qvrtest::ImageRGB(img) == expected);

      std::remove(ours.c_str());  // CREATE opens new files only
      ASSERT_TRUE(qvrtest::SaveImageFile(img, ours, QVRImage::IMG_PCX));
      EXPECT_TRUE(qvrtest::MagickRaw(ours, "rgb", dir) == expected);
      QVRImage again;
      ASSERT_TRUE(qvrtest::LoadImageFile(again, ours));
      EXPECT_EQ(Bytes(again), Bytes(img));
    }
  }
  // Four planes: red, green, blue, alpha in the file, blue, green, red,
  // alpha in memory, both ways.
  const std::string theirs = dir / "rgba.pcx", ours = dir / "ours32.pcx";
  ASSERT_TRUE(
      qvrtest::Magick(qvrtest::HostArg(ppm) + " -alpha set -channel A -fx 'i/w' +channel " + qvrtest::HostArg(theirs)));
  const std::string expected = qvrtest::MagickRaw(theirs, "rgba", dir);
  QVRImage img;
  ASSERT_TRUE(qvrtest::LoadImageFile(img, theirs));
  ASSERT_EQ(img.GetBpp(), 32u);
  EXPECT_TRUE(ImageRGBA(img) == expected);
  EXPECT_NE(img.GetPixels()[3], img.GetPixels()[4 * 39 + 3]);  // the alpha ramp arrived
  ASSERT_TRUE(qvrtest::SaveImageFile(img, ours, QVRImage::IMG_PCX));
  EXPECT_TRUE(qvrtest::MagickRaw(ours, "rgba", dir) == expected);
}

TEST(Pcx, WriterLayoutAndRuns) {
  // Width 5, 8 bits: bytes per line 6, a zero byte after each row's data,
  // then 0x0C and 256 palette triples.
  QVRImage img(5, 2, 8);
  const uint8_t px[10] = {1, 2, 3, 4, 5, 0xC5, 7, 7, 7, 9};
  std::memcpy(img.GetPixels(), px, 10);
  QVRPal pal(2);
  pal.SetEntry(0, 10, 20, 30);
  pal.SetEntry(1, 40, 50, 60, 99);
  img.SetPalette(&pal, 0, 2);
  const std::string file = SavedBytes(img);
  ASSERT_EQ(file.size(), 128u + 6 + 6 + 1 + 768);
  std::string head = Header(5, 2, 1, 6);
  head[12] = head[14] = 72;
  head[68] = 1;
  EXPECT_TRUE(file.substr(0, 128) == head);
  EXPECT_EQ(file.substr(128, 13),
            std::string("\x01\x02\x03\x04\x05\x00\xC1\xC5\xC3\x07\x09\x00", 12) + "\x0C");
  EXPECT_EQ(file.substr(128 + 13, 7), std::string("\x0A\x14\x1E\x28\x32\x3C\x00", 7));
  EXPECT_EQ(file.substr(128 + 13 + 6), std::string(762, '\0'));

  // A run of 100 equal bytes is a run of 63 and one of 37.
  QVRImage wide(100, 1, 8);
  std::memset(wide.GetPixels(), 0x21, 100);
  EXPECT_EQ(SavedBytes(wide).substr(128, 5), "\xFF\x21\xE5\x21\x0C");

  // 24 and 32 bits: planes red, green, blue (and alpha) from blue, green,
  // red (and alpha) in memory; no palette follows.
  QVRImage deep(1, 1, 32);
  const uint8_t bgra[4] = {1, 2, 3, 4};
  std::memcpy(deep.GetPixels(), bgra, 4);
  std::string f32 = SavedBytes(deep);
  EXPECT_EQ(f32[65], 4);
  EXPECT_EQ(f32.substr(128), std::string("\x03\x00\x02\x00\x01\x00\x04\x00", 8));
  QVRImage back;
  ASSERT_TRUE(LoadBytes(back, f32, QVRImage::IMG_AUTO));
  EXPECT_EQ(Bytes(back), (std::vector<uint8_t>{1, 2, 3, 4}));

  QVRImage rgb(37, 23, 24);
  qvrtest::FillPhotoLike(rgb, 3);
  ASSERT_TRUE(LoadBytes(back, SavedBytes(rgb)));
  EXPECT_EQ(back.GetBpp(), 24u);
  EXPECT_EQ(Bytes(back), Bytes(rgb));

  QVRImage hi(4, 4, 16);
  EXPECT_EQ(SavedBytes(hi), "");
}

TEST(Pcx, ReaderPalettesAndRefusals) {
  const std::string data = std::string("\x01\xC3\x02", 3) + std::string("\x05\x06\x07\x08", 4);
  {
    // Version 5: the palette after the 0x0C marker; version 3: never read.
    std::string table(768, '\x11');
    table[3] = 'A';
    QVRImage img;
    ASSERT_TRUE(LoadBytes(img, Header(4, 2, 1, 4) + data + "\x0C" + table));
    EXPECT_EQ(Bytes(img), (std::vector<uint8_t>{1, 2, 2, 2, 5, 6, 7, 8}));
    ASSERT_NE(img.GetPalette(), nullptr);
    EXPECT_EQ(img.GetPalette()->GetCount(), 256u);
    EXPECT_EQ(img.GetPalette()->Entry(1)[0], 'A');
    EXPECT_EQ(img.GetPalette()->Entry(1)[3], 0);

    QVRImage v3, ended;
    ASSERT_TRUE(LoadBytes(v3, Header(4, 2, 1, 4, 3) + data + "\x0C" + table));
    EXPECT_EQ(v3.GetPalette(), nullptr);
    ASSERT_TRUE(LoadBytes(ended, Header(4, 2, 1, 4) + data));
    EXPECT_EQ(ended.GetPalette(), nullptr);
    EXPECT_EQ(Bytes(ended), Bytes(img));
    // A deep image keeps the palette it has, even when a version-5 file
    // carries a table.
    QVRImage deep(1, 1, 8);
    QVRPal three(3);
    deep.SetPalette(&three, 0, 3);
    ASSERT_TRUE(LoadBytes(
        deep, Header(1, 1, 3, 2) + std::string("\x01\x00\x02\x00\x03\x00", 6) + "\x0C" + table));
    EXPECT_EQ(deep.GetBpp(), 24u);
    EXPECT_EQ(deep.GetPalette()->GetCount(), 3u);
  }
  {
    // Runs stop at the end of their plane line; values past the width are
    // dropped.
    QVRImage img;
    const std::string runs = std::string("\xFF\x09\xC2\x04\x05\x06", 6);
    ASSERT_TRUE(LoadBytes(img, Header(3, 2, 1, 4) + runs));
    EXPECT_EQ(Bytes(img), (std::vector<uint8_t>{9, 9, 9, 4, 4, 5}));
    ASSERT_TRUE(LoadBytes(img, Header(1, 1, 3, 2) + std::string("\xFF\x01\xC5\x02\x03\x00", 6)));
    EXPECT_EQ(Bytes(img), (std::vector<uint8_t>{3, 2, 1}));
  }
  {
    testing::internal::CaptureStderr();
    QVRImage img;
    EXPECT_FALSE(LoadBytes(img, Header(4, 2, 1, 2, 5, 4) + data));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "PCX: format not supported, 4 bits per pixel.\n");
  }
  {
    QVRImage img;
    std::string notPcx = Header(4, 2, 1, 4) + data;
    notPcx[2] = 0;
    EXPECT_FALSE(LoadBytes(img, notPcx));
    EXPECT_FALSE(LoadBytes(img, Header(4, 2, 1, 4).substr(0, 100)));
    const unsigned level = QVR::GetLogLevel();
    QVR::SetLogLevel(255);
    qvrtest::LogCapture log;
    EXPECT_FALSE(LoadBytes(img, Header(4, 2, 2, 4) + data + data));
    EXPECT_FALSE(LoadBytes(img, Header(5, 2, 1, 4) + data));  // line shorter than the row
    // Sizes the data cannot fill are refused before allocating; data that
    // ends early fails.
    EXPECT_FALSE(LoadBytes(img, Header(32767, 32767, 4, 32768) + "\xFF\x00"));
    EXPECT_FALSE(LoadBytes(img, Header(4, 2, 1, 4) + data.substr(0, 6)));
    EXPECT_FALSE(LoadBytes(img, Header(4, 2, 1, 4) + data.substr(0, 2)));
    EXPECT_EQ(log.Text(),
              "PCX: format not supported, 2 planes.\nPCX: bad image size\nPCX: bad image size\n"
              "PCX: unexpected end of image data\nPCX: unexpected end of image data\n");
    QVR::SetLogLevel(level);
  }
}

}  // namespace
