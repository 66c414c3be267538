// Image file dispatch: detection and its probe order, the ids Load and Save
// accept, what Load resets, writer round trips through every stream kind, and
// the buffered decoder input the codecs share.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/log_capture.h"
#include "../common/tmpdir.h"
#include "image/codec.h"
#include "magick.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

namespace {

using qvrtest::LogCapture;
using qvrtest::TempDir;

// A read-only memory stream over a copy of `bytes`.
struct Mem {
  explicit Mem(const std::string& bytes)
      : data(bytes.begin(), bytes.end()),
        file(unsigned(data.size()), QVRResFile::READ, data.data(), false) {}
  std::vector<unsigned char> data;
  QVRMemFile file;
};

std::string Saved(QVRImage& img, int format) {
  QVRMemFile out(1 << 20, QVRResFile::READWRITE | QVRResFile::CREATE);
  if (!img.Save(out, format)) return "";
  return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetPos());
}

QVRImage MakeImage(unsigned w, unsigned h, unsigned bpp) {
  QVRImage img(w, h, bpp);
  qvrtest::FillPhotoLike(img, bpp);
  if (bpp == 8) {
    QVRPal pal(256);
    for (unsigned i = 0; i < 256; ++i)
      pal.SetEntry(i, uint8_t(i), uint8_t(255 - i), uint8_t(i * 7));
    img.SetPalette(&pal, 0, 256);
  }
  return img;
}

std::string Pixels(const QVRImage& img) {
  return img.GetPixels() ? std::string(reinterpret_cast<const char*>(img.GetPixels()),
                                       size_t(img.GetPitch()) * img.GetHeight())
                         : std::string();
}

TEST(ImageFile, DetectionFollowsTheProbeOrderAtAnyPosition) {
  struct Case {
    std::string head;
    int id;
  } cases[] = {
      {"BMxx", QVRImage::IMG_BMP},
      {"GIF8", QVRImage::IMG_GIF},
      {"QVRF", QVRImage::IMG_FONT},
      {std::string("\x0A\x05\x01\x08", 4), QVRImage::IMG_PCX},
      {std::string("\x0A\x03\x01\x08", 4), QVRImage::IMG_TGA},
      {"RIFF", QVRImage::IMG_TGA},
      {"BMGIF", QVRImage::IMG_BMP},
  };
  for (const Case& c : cases) {
    Mem m("pre" + c.head + "tail");
    ASSERT_TRUE(m.file.Seek(3, 0));
    QVRImage img;
    EXPECT_EQ(img.FindFormat(m.file), c.id) << c.head;
    EXPECT_EQ(m.file.GetPos(), 3u) << "position restored";
    EXPECT_TRUE(m.file.Good());
  }
}

TEST(ImageFile, ShortStreamsAndRefusedIds) {
  {
    Mem m("BM!");
    LogCapture log;
    QVRImage img;
    EXPECT_EQ(img.FindFormat(m.file), QVRImage::IMG_AUTO);
    EXPECT_NE(log.Text().find("Can not read file header\n"), std::string::npos);
  }
  {
    Mem m("BM!");
    QVRImage img;
    EXPECT_FALSE(img.Load(m.file, 0)) << "goes on to the PCX reader, which refuses it";
  }
  QVRImage img = MakeImage(4, 3, 24);
  const std::string tga = Saved(img, QVRImage::IMG_TGA);
  ASSERT_FALSE(tga.empty());
  for (int id : {int(QVRImage::IMG_TGA_RLE), 7, -1, 100}) {
    Mem m(tga);
    QVRImage other;
    EXPECT_FALSE(other.Load(m.file, id)) << id;
  }
  for (int id : {int(QVRImage::IMG_GIF), int(QVRImage::IMG_FONT), 7, -1})
    EXPECT_EQ(Saved(img, id), "") << id;

  QVRMemFile closed;
  EXPECT_FALSE(img.Load(closed, 0));
  EXPECT_FALSE(img.Save(closed, QVRImage::IMG_BMP));
  EXPECT_EQ(img.GetWidth(), 4u) << "a refused stream leaves the image alone";
}

TEST(ImageFile, AutoSavePicksPcxForPalettesAndRunLengthTgaForDeepImages) {
  QVRImage eight = MakeImage(5, 4, 8);
  const std::string pcx = Saved(eight, QVRImage::IMG_AUTO);
  ASSERT_GE(pcx.size(), 128u);
  EXPECT_EQ(pcx.substr(0, 3), std::string("\x0A\x05\x01", 3));
  EXPECT_EQ(pcx, Saved(eight, QVRImage::IMG_PCX));

  QVRImage deep = MakeImage(5, 4, 24);
  const std::string tga = Saved(deep, QVRImage::IMG_AUTO);
  ASSERT_GE(tga.size(), 18u);
  EXPECT_EQ(uint8_t(tga[2]), 10) << "run-length true-colour image type";
  EXPECT_EQ(tga, Saved(deep, QVRImage::IMG_TGA_RLE));
}

// Every writer at every depth it takes, read back by detection from a memory
// stream, a disk file, and a window inside a larger file (the buffered input
// and a stream that does not start at 0).
TEST(ImageFile, WritersRoundTripThroughEveryStreamKind) {
  TempDir dir;
  struct Case {
    int format;
    unsigned bpp;
  } cases[] = {{QVRImage::IMG_BMP, 8},  {QVRImage::IMG_BMP, 24},     {QVRImage::IMG_BMP, 32},
               {QVRImage::IMG_PCX, 8},  {QVRImage::IMG_PCX, 24},     {QVRImage::IMG_TGA, 8},
               {QVRImage::IMG_TGA, 24}, {QVRImage::IMG_TGA_RLE, 24}, {QVRImage::IMG_TGA_RLE, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE("format " + std::to_string(c.format) + " bpp " + std::to_string(c.bpp));
    QVRImage img = MakeImage(37, 23, c.bpp);
    const std::string bytes = Saved(img, c.format);
    ASSERT_FALSE(bytes.empty());

    const std::string path = dir / "window.bin";
    const std::string prefix(1000, 'z');
    ASSERT_TRUE(qvrtest::WriteAll(path, prefix + bytes + "trailing bytes"));
    for (int kind = 0; kind < 3; ++kind) {
      Mem mem(bytes);
      QVRFile disk;
      QVRPackFile window;
      QVRResFile* stream = &mem.file;
      if (kind == 1) {
        ASSERT_TRUE(qvrtest::WriteAll(dir / "plain.bin", bytes));
        ASSERT_TRUE(disk.Open((dir / "plain.bin").c_str(), QVRResFile::READ));
        stream = &disk;
      } else if (kind == 2) {
        ASSERT_TRUE(window.Open(path.c_str(), unsigned(prefix.size()),
                                unsigned(prefix.size() + bytes.size() + 14), QVRResFile::READ));
        stream = &window;
      }
      QVRImage back(3, 3, 8);
      back.SetClipping(1, 1, 1, 1);
      ASSERT_TRUE(back.Load(*stream, 0)) << "stream kind " << kind;
      EXPECT_EQ(back.GetWidth(), 37u);
      EXPECT_EQ(back.GetHeight(), 23u);
      EXPECT_EQ(back.GetBpp(), c.bpp);
      EXPECT_EQ(back.GetPitch(), 37u * back.GetBytesPerPixel());
      EXPECT_FALSE(back.IsClipping()) << "clip rectangle reset to the whole image";
      EXPECT_EQ(Pixels(back), Pixels(img));
      if (c.bpp == 8) {
        ASSERT_NE(back.GetPalette(), nullptr);
        EXPECT_EQ(std::memcmp(back.GetPalette()->GetEntries(), img.GetPalette()->GetEntries(), 3),
                  0);
      }
    }
  }
}

// The buffered input: in-place reads of memory streams, and for other streams
// refills across the 64 KiB buffer and a final position at the first byte not
// consumed.
TEST(ImageFile, StreamInputConsumesExactlyWhatItHandsOut) {
  using qvr::detail::StreamInput;
  TempDir dir;
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 131 + (i >> 9));
  ASSERT_TRUE(qvrtest::WriteAll(dir / "data.bin", data));

  for (int kind = 0; kind < 2; ++kind) {
    SCOPED_TRACE(kind ? "disk" : "memory");
    Mem mem(data);
    QVRFile disk((dir / "data.bin").c_str(), QVRResFile::READ);
    QVRResFile& file = kind ? static_cast<QVRResFile&>(disk) : mem.file;
    ASSERT_TRUE(file.Seek(10, 0));
    {
      StreamInput in(file);
      EXPECT_EQ(in.Byte(), uint8_t(data[10]));
      std::string got(70000, '\0');
      EXPECT_EQ(in.Read(&got[0], got.size()), got.size());
      EXPECT_EQ(got, data.substr(11, 70000));
      EXPECT_EQ(in.Skip(60000), 60000u);
      ASSERT_TRUE(in.Refill(1000));
      EXPECT_EQ(*in.cur, uint8_t(data[130011]));
      in.cur += 5;
      in.Finish();
      EXPECT_EQ(file.GetPos(), 130016u);
      EXPECT_TRUE(file.Good());
    }
    EXPECT_EQ(file.GetPos(), 130016u) << "Finish runs once";
    {
      StreamInput in(file);
      EXPECT_EQ(in.Skip(1u << 30), data.size() - 130016);
      EXPECT_EQ(in.Byte(), -1);
      EXPECT_FALSE(in.Refill(1));
    }
    EXPECT_TRUE(file.Eof()) << "consumed to the end";
  }
}

}  // namespace
