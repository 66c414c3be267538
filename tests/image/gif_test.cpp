// GIF reader tests: ImageMagick's files (plain and interlaced) decode to its
// own pixels, block handling and colour tables of hand-built files, the LZW
// decoder against an independent encoder, and hostile code streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
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

class Log {
 public:
  Log() : m_level(QVR::GetLogLevel()) { QVR::SetLogLevel(255); }
  ~Log() { QVR::SetLogLevel(m_level); }
  std::string Text() { return m_capture.Text(); }

 private:
  unsigned m_level;
  qvrtest::LogCapture m_capture;
};

bool LoadBytes(QVRImage& img, std::string bytes, int format = QVRImage::IMG_GIF) {
  QVRMemFile in(unsigned(bytes.size()), QVRResFile::READ,
                reinterpret_cast<unsigned char*>(&bytes[0]));
  return img.Load(in, format);
}

void Put16(std::string& s, unsigned v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}

// Codes packed least significant bit first.
struct BitPacker {
  std::string bytes;
  uint32_t acc = 0;
  unsigned bits = 0;
  void Put(unsigned code, unsigned width) {
    acc |= uint32_t(code) << bits;
    bits += width;
    while (bits >= 8) {
      bytes += char(acc & 0xFF);
      acc >>= 8;
      bits -= 8;
    }
  }
  std::string Done() {
    if (bits) bytes += char(acc & 0xFF);
    acc = bits = 0;
    return bytes;
  }
};

// A plain dictionary LZW encoder. With `clearWhenFull` false a full table is
// kept and codes go on at 12 bits, as some encoders do.
std::string LzwEncode(const std::vector<uint8_t>& pixels, unsigned minBits,
                      bool clearWhenFull = true) {
  const unsigned clear = 1u << minBits;
  std::vector<unsigned> dict(4096 * 256, 0);  // (prefix code, byte) -> code, 0 for none
  unsigned next = clear + 2, width = minBits + 1;
  BitPacker out;
  out.Put(clear, width);
  int cur = -1;
  bool added = false;  // the decoder adds an entry for every code but the first
  for (uint8_t b : pixels) {
    if (cur < 0) {
      cur = b;
      continue;
    }
    if (const unsigned code = dict[unsigned(cur) * 256 + b]) {
      cur = int(code);
      continue;
    }
    out.Put(unsigned(cur), width);
    added = true;
    if (next < 4096) {
      dict[unsigned(cur) * 256 + b] = next++;
      if (next - 1 == (1u << width) && width < 12) ++width;
    } else if (clearWhenFull) {
      out.Put(clear, width);
      std::fill(dict.begin(), dict.end(), 0u);
      next = clear + 2;
      width = minBits + 1;
      added = false;
    }
    cur = b;
  }
  if (cur >= 0) out.Put(unsigned(cur), width);
  if (added && next == (1u << width) && width < 12) ++width;
  out.Put(clear + 1, width);
  return out.Done();
}

std::string SubBlocks(const std::string& data) {
  std::string s;
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    s += char(n);
    s += data.substr(at, n);
  }
  return s + char(0);
}

// An image block: descriptor, optional local table, code stream.
std::string ImageBlock(unsigned w, unsigned h, const std::string& codes, unsigned minBits,
                       bool interlaced = false, const std::string& localTable = "") {
  std::string s = ",";
  Put16(s, 0);
  Put16(s, 0);
  Put16(s, w);
  Put16(s, h);
  unsigned flags = interlaced ? 0x40 : 0;
  if (!localTable.empty()) {
    unsigned bits = 0;
    while ((2u << bits) < localTable.size() / 3) ++bits;
    flags |= 0x80 | bits;
  }
  s += char(flags);
  s += localTable;
  s += char(minBits);
  return s + SubBlocks(codes);
}

// Header, screen descriptor and global table; `blocks` and the trailer follow.
std::string GifFile(const std::string& blocks, const std::string& globalTable = "",
                    const char* magic = "GIF89a") {
  std::string s = magic;
  Put16(s, 1);
  Put16(s, 1);
  unsigned flags = 0;
  if (!globalTable.empty()) {
    unsigned bits = 0;
    while ((2u << bits) < globalTable.size() / 3) ++bits;
    flags = 0x80 | bits;
  }
  s += char(flags);
  s += char(0);
  s += char(0);
  return s + globalTable + blocks + ";";
}

// `count` entries, entry i = (i, 255 - i, i / 2).
std::string Table(unsigned count) {
  std::string t;
  for (unsigned i = 0; i < count; ++i) t += {char(i), char(255 - i), char(i / 2)};
  return t;
}

std::vector<uint8_t> Pixels(const QVRImage& img) {
  const uint8_t* p = img.GetPixels();
  return p ? std::vector<uint8_t>(p, p + size_t(img.GetWidth()) * img.GetHeight())
           : std::vector<uint8_t>();
}

// A binary PPM of photo-like content with a noisy corner, for convert.
std::string PhotoPPM(unsigned w, unsigned h, unsigned seed) {
  QVRImage img(w, h, 24);
  qvrtest::FillPhotoLike(img, seed);
  std::string s = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  uint32_t state = seed;
  for (unsigned y = 0; y < h; ++y)
    for (unsigned x = 0; x < w; ++x) {
      const uint8_t* p = img.GetPixels() + size_t(y) * img.GetPitch() + 3 * x;
      state = state * 1664525u + 1013904223u;
      const char noise = (x < w * 3 / 4 && y < h * 3 / 4) ? char(state >> 24) : 0;
      s += {char(p[2] ^ noise), char(p[1]), char(p[0])};
    }
  return s;
}

TEST(Gif, DecodesImageMagickFilesExactly) {
  QVR_REQUIRE_MAGICK();
  TempDir dir;
  struct Case {
    unsigned w, h;
    const char* options;
  };
  const Case cases[] = {{37, 23, ""},
                        {37, 23, "-interlace GIF"},
                        {351, 303, ""},  // over 64 KiB: buffered reads refill mid-stream
                        {351, 303, "-interlace GIF"},
                        {19, 7, "-colors 2"},
                        {64, 33, "-colors 5 -interlace GIF"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " " + c.options);
    const std::string ppm = dir / "in.ppm", gif = dir / "out.gif";
    ASSERT_TRUE(qvrtest::WriteAll(ppm, PhotoPPM(c.w, c.h, c.w)));
    ASSERT_TRUE(qvrtest::Magick(qvrtest::HostArg(ppm) + " " + c.options + " " + qvrtest::HostArg(gif)));
    if (c.w > 300) {
      EXPECT_GT(qvrtest::ReadAll(gif).size(), 65536u);
    }
    const std::string expected = qvrtest::MagickRaw(gif, "rgb", dir);
    ASSERT_EQ(expected.size(), size_t(c.w) * c.h * 3);

    QVRImage fromDisk, fromMemory;
    ASSERT_TRUE(qvrtest::LoadImageFile(fromDisk, gif));
    EXPECT_EQ(fromDisk.GetWidth(), c.w);
    EXPECT_EQ(fromDisk.GetHeight(), c.h);
    EXPECT_EQ(fromDisk.GetBpp(), 8u);
    EXPECT_TRUE(qvrtest::ImageRGB(fromDisk) == expected);
    ASSERT_TRUE(LoadBytes(fromMemory, qvrtest::ReadAll(gif), QVRImage::IMG_AUTO));
    EXPECT_TRUE(Pixels(fromMemory) == Pixels(fromDisk));
  }
}

TEST(Gif, SignaturesBlocksAndImageCount) {
  const std::string one = ImageBlock(2, 1, LzwEncode({3, 1}, 2), 2);
  const std::string two = ImageBlock(2, 1, LzwEncode({2, 2}, 2), 2);
  for (const char* good : {"GIF87a", "GIF89a"}) {
    QVRImage img;
    EXPECT_TRUE(LoadBytes(img, GifFile(one, Table(4), good))) << good;
    EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{3, 1}));
  }
  for (const char* bad : {"GIF88a", "GIF89b", "GIF8"}) {
    Log log;
    QVRImage img;
    EXPECT_FALSE(LoadBytes(img, GifFile(one, Table(4), bad))) << bad;
    EXPECT_EQ(log.Text(), "GIF: error reading magic number\n");
  }
  {
    // Extensions of every kind are skipped, stray bytes between blocks are
    // ignored, and of two images the first is loaded.
    std::string blocks = "!\xFE" + SubBlocks("comment");
    blocks += std::string("!\xF9\x04\x05\x10\x00\x02", 7) + char(0);
    blocks += "!\xFF" + SubBlocks("NETSCAPE2.0") + "\x07";
    QVRImage img;
    EXPECT_TRUE(LoadBytes(img, GifFile(blocks + one + two, Table(4))));
    EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{3, 1}));
  }
  {
    Log log;
    QVRImage img(4, 4, 8);
    EXPECT_FALSE(LoadBytes(img, GifFile("!\xFE" + SubBlocks("only a comment"), Table(4))));
    EXPECT_EQ(log.Text(), "GIF: only 0/1 images found in file\n");
    EXPECT_EQ(img.GetPixels(), nullptr);
  }
  {
    Log log;
    QVRImage img;
    std::string cut = GifFile(one, Table(4));
    EXPECT_FALSE(LoadBytes(img, cut.substr(0, 11)));
    EXPECT_FALSE(LoadBytes(img, cut.substr(0, 13 + 6)));
    EXPECT_FALSE(LoadBytes(img, cut.substr(0, 13 + 12)));
    EXPECT_FALSE(LoadBytes(img, cut.substr(0, 13 + 12 + 5)));
    EXPECT_FALSE(LoadBytes(img, GifFile("!", Table(4)).substr(0, 13 + 12 + 1)));
    EXPECT_EQ(log.Text(),
              "GIF: failed to read screen descriptor\n"
              "GIF: bad colormap\nGIF: error reading global colormap\n"
              "GIF: EOF / read error on image data\n"
              "GIF: couldn't read left/top/width/height\n"
              "GIF: EOF / read error on extension function code\n");
  }
}

TEST(Gif, InterlacedRowsComeInFourPasses) {
  // Row k of the code stream holds the value k, so the image shows where
  // each decoded row went.
  const std::pair<unsigned, std::vector<unsigned>> cases[] = {
      {5, {0, 3, 2, 4, 1}}, {3, {0, 2, 1}}, {10, {0, 5, 3, 6, 2, 7, 4, 8, 1, 9}}};
  for (const auto& c : cases) {
    const unsigned height = c.first;
    std::vector<uint8_t> stream;
    for (unsigned k = 0; k < height; ++k) stream.insert(stream.end(), {uint8_t(k), uint8_t(k)});
    QVRImage img;
    ASSERT_TRUE(
        LoadBytes(img, GifFile(ImageBlock(2, height, LzwEncode(stream, 4), 4, true), Table(16))));
    // rowValue[y] is the stream row that image row y received.
    std::vector<unsigned> rowValue;
    for (unsigned y = 0; y < height; ++y) rowValue.push_back(img.GetPixels()[2 * y]);
    EXPECT_EQ(rowValue, c.second) << "height " << height;
  }
}

TEST(Gif, ColourTables) {
  const std::string codes = LzwEncode({0, 1, 2, 3}, 2);
  {
    // A local table of 4 entries wins over a global one of 256.
    std::string local = Table(4);
    local[0] = char(200);
    QVRImage img;
    ASSERT_TRUE(LoadBytes(img, GifFile(ImageBlock(4, 1, codes, 2, false, local), Table(256))));
    ASSERT_NE(img.GetPalette(), nullptr);
    EXPECT_EQ(img.GetPalette()->GetCount(), 4u);
    const uint8_t* e0 = img.GetPalette()->Entry(0);
    const uint8_t* e3 = img.GetPalette()->Entry(3);
    EXPECT_EQ(std::vector<int>(e0, e0 + 4), (std::vector<int>{200, 255, 0, 0}));
    EXPECT_EQ(std::vector<int>(e3, e3 + 4), (std::vector<int>{3, 252, 1, 0}));
  }
  {
    QVRImage img;
    ASSERT_TRUE(LoadBytes(img, GifFile(ImageBlock(4, 1, codes, 2), Table(8))));
    EXPECT_EQ(img.GetPalette()->GetCount(), 8u);
  }
  {
    // No table at all: grey levels for every byte value.
    QVRImage img;
    ASSERT_TRUE(LoadBytes(img, GifFile(ImageBlock(4, 1, codes, 2))));
    ASSERT_EQ(img.GetPalette()->GetCount(), 256u);
    const uint8_t* e = img.GetPalette()->Entry(130);
    EXPECT_EQ(std::vector<int>(e, e + 4), (std::vector<int>{130, 130, 130, 0}));
  }
  {
    Log log;
    QVRImage img;
    std::string file = GifFile(ImageBlock(4, 1, codes, 2, false, Table(4)));
    EXPECT_FALSE(LoadBytes(img, file.substr(0, 13 + 10 + 7)));
    EXPECT_EQ(log.Text(), "GIF: bad colormap\nGIF: error reading local colormap\n");
  }
}

TEST(Gif, LzwMatchesAnIndependentEncoder) {
  // Noise fills the table many times over; a long single-colour stretch
  // builds strings (and prefix chains) near 4096 long.
  uint32_t state = 7;
  for (unsigned minBits : {1u, 2u, 5u, 8u}) {
    for (bool clearWhenFull : {true, false}) {
      SCOPED_TRACE(std::to_string(minBits) + (clearWhenFull ? " clear" : " no clear"));
      const unsigned w = 509, h = 97;
      std::vector<uint8_t> px(size_t(w) * h);
      for (size_t i = 0; i < px.size(); ++i) {
        state = state * 1103515245u + 12345u;
        const unsigned v = (i / 1500) % 3 == 0 ? 1 : (state >> 16);
        px[i] = uint8_t(v & ((1u << minBits) - 1));
      }
      QVRImage img;
      ASSERT_TRUE(LoadBytes(
          img, GifFile(ImageBlock(w, h, LzwEncode(px, minBits, clearWhenFull), minBits))));
      EXPECT_TRUE(Pixels(img) == px);
    }
  }
  // One colour over 3000 x 3000 without a clear: strings grow one byte per
  // code until the table is full near 4096 bytes, then go on at 12 bits.
  std::vector<uint8_t> flat(3000u * 3000u, 5);
  QVRImage img;
  ASSERT_TRUE(LoadBytes(img, GifFile(ImageBlock(3000, 3000, LzwEncode(flat, 8, false), 8))));
  EXPECT_TRUE(Pixels(img) == flat);
}

TEST(Gif, HostileCodeStreams) {
  {
    // A code beyond the next free slot ends the data: what came before stays,
    // the rest of the image is 0.
    BitPacker codes;
    codes.Put(4, 3);  // clear
    codes.Put(1, 3);
    codes.Put(3, 3);   // makes 6 = "1 3"
    codes.Put(6, 3);   // makes 7 = "3 1"; the width grows to 4
    codes.Put(8, 4);   // the slot being made: "1 3 1"
    codes.Put(15, 4);  // beyond the table
    codes.Put(1, 4);
    QVRImage img;
    ASSERT_TRUE(LoadBytes(img, GifFile(ImageBlock(12, 1, codes.Done(), 2))));
    EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{1, 3, 1, 3, 1, 3, 1, 0, 0, 0, 0, 0}));
  }
  {
    // A first code that would need a previous string, and a code stream that
    // ends (sub-blocks and file) long before the image is full.
    BitPacker bad;
    bad.Put(4, 3);
    bad.Put(6, 3);
    QVRImage img;
    ASSERT_TRUE(LoadBytes(img, GifFile(ImageBlock(3, 2, bad.Done(), 2))));
    EXPECT_EQ(Pixels(img), (std::vector<uint8_t>(6, 0)));
    std::string cut = GifFile(ImageBlock(50, 50, LzwEncode(std::vector<uint8_t>(2500, 2), 2), 2));
    ASSERT_TRUE(LoadBytes(img, cut.substr(0, cut.size() - 8)));
    std::vector<uint8_t> px = Pixels(img);
    EXPECT_EQ(px[0], 2);
    EXPECT_EQ(px[2499], 0);
  }
  for (int minBits : {0, 9, 12, 255}) {
    // The code stream cannot start: the image is dropped and the file ends
    // without one.
    Log log;
    QVRImage img;
    EXPECT_FALSE(LoadBytes(img, GifFile(ImageBlock(2, 2, "\x01\x02", unsigned(minBits)))));
    EXPECT_EQ(log.Text(), "GIF: error reading image\nGIF: only 0/1 images found in file\n");
  }
  {
    // Sizes the stream cannot back are refused before any allocation.
    Log log;
    QVRImage img;
    std::string huge = GifFile(ImageBlock(32767, 32767, "\x00\x01", 8));
    EXPECT_LT(huge.size(), 40u);
    EXPECT_FALSE(LoadBytes(img, huge));
    EXPECT_FALSE(LoadBytes(img, GifFile(ImageBlock(0, 5, "\x00\x01", 8))));
    EXPECT_EQ(log.Text(), "GIF: error reading image\nGIF: error reading image\n");
    EXPECT_EQ(img.GetPixels(), nullptr);
  }
}

}  // namespace
