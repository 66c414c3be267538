// Sizes and offsets read from files whose products or sums do not fit in 32
// bits. Where size_t has 32 bits (the Windows build) a wrapped product would
// make a small buffer for a large image, and a wrapped sum would let a member
// run past the end of its archive; every such file must be refused, or read
// no further than its bytes go, on every platform.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "common/tmpdir.h"
#include "qvr3d/qvr3d.h"

namespace {

using Bytes = std::string;

// The readers' complaints are expected here: silenced for one test.
struct Quiet {
  Quiet() : level(QVR::GetLogLevel()) { QVR::SetLogLevel(0); }
  ~Quiet() { QVR::SetLogLevel(level); }
  unsigned level;
};

void Put16(Bytes& b, unsigned v) {
  b += static_cast<char>(v & 0xFF);
  b += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Put32BE(Bytes& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b += static_cast<char>((v >> shift) & 0xFF);
}

bool LoadImage(Bytes file) {
  QVRMemFile mem(static_cast<unsigned>(file.size()), QVRResFile::READ,
                 reinterpret_cast<unsigned char*>(&file[0]));
  QVRImage img;
  return img.Load(mem, QVRImage::IMG_AUTO);
}

// A BMP header of `w` x `h` at `bpp` bits with `compression`, then `data`.
Bytes Bmp(int32_t w, int32_t h, unsigned bpp, unsigned compression, const Bytes& data) {
  Bytes info;
  Put32(info, 40);
  Put32(info, static_cast<uint32_t>(w));
  Put32(info, static_cast<uint32_t>(h));
  Put16(info, 1);
  Put16(info, bpp);
  Put32(info, compression);
  for (int i = 0; i < 5; ++i) Put32(info, 0);
  const Bytes palette = bpp <= 8 ? Bytes(4u << bpp, '\0') : Bytes();
  Bytes file = "BM";
  Put32(file, static_cast<uint32_t>(14 + info.size() + palette.size() + data.size()));
  Put32(file, 0);
  Put32(file, static_cast<uint32_t>(14 + info.size() + palette.size()));
  return file + info + palette + data;
}

Bytes Tga(unsigned w, unsigned h, unsigned bpp, unsigned type, const Bytes& data) {
  Bytes file;
  file += '\0';
  file += '\0';
  file += static_cast<char>(type);
  file += Bytes(5, '\0');
  Put16(file, 0);
  Put16(file, 0);
  Put16(file, w);
  Put16(file, h);
  file += static_cast<char>(bpp);
  file += '\x20';
  return file + data;
}

TEST(Sizes, ImagesLargerThanFourGigabytesAreRefused) {
  Quiet quiet;
  // 32767 x 32767 at 32 bits is 4 294 705 156 bytes: one row short of what
  // 32 bits can count, and nothing the few bytes here could fill.
  EXPECT_FALSE(LoadImage(Bmp(32767, 32767, 32, 0, Bytes(64, '\x11'))));
  EXPECT_FALSE(LoadImage(Bmp(32767, -32767, 24, 0, Bytes(64, '\x11'))));
  EXPECT_FALSE(LoadImage(Bmp(32767, 32767, 8, 1, Bytes("\x00\x01", 2))));  // run-length
  // A width whose row in bytes wraps 32 bits.
  EXPECT_FALSE(LoadImage(Bmp(0x40000001, 1, 32, 0, Bytes(64, '\x11'))));
  EXPECT_FALSE(LoadImage(Tga(32767, 32767, 32, 2, Bytes(64, '\x22'))));
  EXPECT_FALSE(LoadImage(Tga(32767, 32767, 32, 10, Bytes(64, '\x22'))));
  EXPECT_FALSE(LoadImage(Tga(65535, 65535, 32, 2, Bytes(64, '\x22'))));

  Bytes pcx;
  pcx += "\x0A\x05\x01\x08";
  for (unsigned v : {0u, 0u, 32766u, 32766u, 72u, 72u}) Put16(pcx, v);
  pcx += Bytes(48, '\0');
  pcx += '\0';
  pcx += '\x04';  // four planes
  Put16(pcx, 32768);
  pcx += Bytes(128 - pcx.size(), '\0');
  pcx += Bytes(64, '\xC1');
  EXPECT_FALSE(LoadImage(pcx));

  Bytes gif = "GIF89a";
  Put16(gif, 32767);
  Put16(gif, 32767);
  gif += Bytes("\x00\x00\x00,", 4);
  for (unsigned v : {0u, 0u, 32767u, 32767u}) Put16(gif, v);
  gif += Bytes("\x00\x08\x02\x4C\x01\x00;", 7);
  EXPECT_FALSE(LoadImage(gif));
}

// A PAK of one directory entry over `start` and `size`, and 64 bytes of data.
Bytes Pak(uint32_t start, uint32_t size) {
  Bytes file = "PACK";
  Put32(file, 12 + 64);
  Put32(file, 64);
  file += Bytes(64, 'd');
  Bytes name = "member.bin";
  name.resize(56, '\0');
  file += name;
  Put32(file, start);
  Put32(file, size);
  return file;
}

TEST(Sizes, ArchiveMembersWhoseEndWrapsAreRefused) {
  Quiet quiet;
  qvrtest::TempDir dir;
  const std::string path = dir / "wrap.pak";
  {
    ASSERT_TRUE(qvrtest::WriteAll(path, Pak(12, 64)));  // the sound one, for comparison
    QVRArchPAK pak;
    ASSERT_TRUE(pak.Open(path.c_str()));
    EXPECT_EQ(pak.FileSize(0), 64u);
  }
  // start + size is 0x10 in 32 bits, past the end in 64.
  for (const auto& [start, size] : {std::pair<uint32_t, uint32_t>{0xFFFFFFF0u, 0x20u},
                                    {12u, 0xFFFFFFFFu},
                                    {0x80000000u, 0x80000000u}}) {
    SCOPED_TRACE(start);
    ASSERT_TRUE(qvrtest::WriteAll(path, Pak(start, size)));
    QVRArchPAK pak;
    EXPECT_FALSE(pak.Open(path.c_str()));
    std::unique_ptr<QVRArchive> any(QVRArchive::OpenArchive(path.c_str()));
    EXPECT_EQ(any, nullptr);
  }
  // A directory whose offset plus length wraps.
  Bytes pak = Pak(12, 64);
  pak.replace(4, 4, Bytes("\xC0\xFF\xFF\xFF", 4));
  ASSERT_TRUE(qvrtest::WriteAll(path, pak));
  QVRArchPAK wrapped;
  EXPECT_FALSE(wrapped.Open(path.c_str()));

  // A QVR archive whose count of 44-byte records passes 4 GiB.
  Bytes qvr = "QVRA";
  Put32(qvr, 12);
  Put32(qvr, 0x08000000u);
  qvr += Bytes(200, '\0');
  ASSERT_TRUE(qvrtest::WriteAll(dir / "count.qvr", qvr));
  QVRArchQVR many;
  EXPECT_FALSE(many.Open((dir / "count.qvr").c_str()));
}

TEST(Sizes, SoundChunksLongerThanTheirFileStopAtItsEnd) {
  Quiet quiet;
  const Bytes samples(64, '\x40');
  // WAV: a data chunk that claims 4 GiB.
  Bytes wav = "RIFF";
  Put32(wav, 0xFFFFFFF0u);
  wav += "WAVEfmt ";
  Put32(wav, 16);
  Put16(wav, 1);
  Put16(wav, 1);
  Put32(wav, 8000);
  Put32(wav, 8000);
  Put16(wav, 1);
  Put16(wav, 8);
  wav += "data";
  Put32(wav, 0xFFFFFFF8u);
  wav += samples;
  // AU: a data size near 4 GiB (0xFFFFFFFF itself means "to the end").
  Bytes au = ".snd";
  Put32BE(au, 24);
  Put32BE(au, 0xFFFFFFF0u);
  Put32BE(au, 2);  // 8-bit linear
  Put32BE(au, 8000);
  Put32BE(au, 1);
  au += samples;
  for (Bytes* file : {&wav, &au}) {
    QVRMemFile mem(static_cast<unsigned>(file->size()), QVRResFile::READ,
                   reinterpret_cast<unsigned char*>(&(*file)[0]));
    QVRSound sound;
    if (sound.Load(mem, QVRSound::SND_AUTO)) {
      EXPECT_LE(sound.GetSize(), samples.size());
      EXPECT_NE(sound.GetData(), nullptr);
    }
  }
}

}  // namespace
