// QVRSound's conversions on known samples, and ChangeFormat's order of steps
// and its handling of rates it cannot reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "audio/convert.h"
#include "audio/sound_helpers.h"
#include "qvr3d/sound.h"

using namespace soundtest;

namespace {

std::string S16(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) Le16(s, unsigned(v) & 0xFFFF);
  return s;
}

std::string S16BE(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) Be16(s, unsigned(v) & 0xFFFF);
  return s;
}

// A loaded sound: 16-bit from a PCM WAV, 8-bit unsigned from a WAV, 8-bit
// signed from an AU file.
void Make16(QVRSound& sound, int channels, int freq, const std::string& samples) {
  ASSERT_TRUE(LoadBytes(sound, PcmWav(unsigned(channels), uint32_t(freq), 16, samples)));
}
void MakeU8(QVRSound& sound, int channels, int freq, const std::string& samples) {
  ASSERT_TRUE(LoadBytes(sound, PcmWav(unsigned(channels), uint32_t(freq), 8, samples)));
}
void MakeS8(QVRSound& sound, int channels, int freq, const std::string& samples) {
  ASSERT_TRUE(LoadBytes(
      sound, Au(24, uint32_t(samples.size()), 2, uint32_t(freq), uint32_t(channels), samples)));
}

TEST(SoundConvert, SignEndianAndBitDepth) {
  QVRSound sound;
  Make16(sound, 1, 8000, S16({0, -1, 0x1234, -32768}));
  sound.ConvEndian();
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S16MSB);
  EXPECT_EQ(Bytes(sound), S16BE({0, -1, 0x1234, -32768}));
  sound.ConvSign();
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_U16MSB);
  EXPECT_EQ(Bytes(sound), S16BE({0x8000, 0x7FFF, 0x9234, 0}));
  sound.Conv16to8();
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_U8);
  EXPECT_EQ(Bytes(sound), std::string("\x80\x7F\x92\0", 4));
  EXPECT_EQ(sound.GetSize(), 4u);
  sound.Conv16to8();  // already 8-bit: nothing
  sound.ConvEndian();
  EXPECT_EQ(sound.GetSize(), 4u);
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_U8);

  sound.Conv8to16L();
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_U16LSB);
  EXPECT_EQ(Bytes(sound), S16({0x8000, 0x7F00, 0x9200, 0}));
  sound.ConvSign();
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S16LSB);
  EXPECT_EQ(Bytes(sound), S16({0, -256, 0x1200, -32768}));

  MakeS8(sound, 1, 8000, "\x01\xFF\x80");
  sound.Conv8to16B();
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S16MSB);
  EXPECT_EQ(Bytes(sound), S16BE({0x100, -256, -32768}));
  sound.Conv16to8();
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S8);
  EXPECT_EQ(Bytes(sound), "\x01\xFF\x80");
  sound.ConvSign();
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_U8);
  EXPECT_EQ(Bytes(sound), "\x81\x7F" + std::string(1, '\0'));
}

TEST(SoundConvert, RatesAndChannels) {
  QVRSound sound;
  Make16(sound, 2, 11025, S16({1, 2, 3, 4, 5, 6}));
  sound.ConvFreqMUL2();
  EXPECT_EQ(sound.GetFreq(), 22050);
  EXPECT_EQ(Bytes(sound), S16({1, 2, 1, 2, 3, 4, 3, 4, 5, 6, 5, 6}));
  sound.ConvFreqDIV2();
  sound.ConvFreqDIV2();  // 3 frames: frames 0 and 2 survive
  EXPECT_EQ(sound.GetFreq(), 5512);
  EXPECT_EQ(Bytes(sound), S16({1, 2, 5, 6}));

  // Mono sums, clipped; stereo writes each sample twice.
  Make16(sound, 2, 8000, S16({100, 200, 30000, 30000, -30000, -30000, -5, 5}));
  sound.ConvMono();
  EXPECT_EQ(sound.GetChannels(), 1);
  EXPECT_EQ(Bytes(sound), S16({300, 32767, -32768, 0}));
  sound.ConvMono();  // already mono: nothing
  EXPECT_EQ(sound.GetSize(), 8u);
  sound.ConvStereo();
  EXPECT_EQ(sound.GetChannels(), 2);
  EXPECT_EQ(Bytes(sound), S16({300, 300, 32767, 32767, -32768, -32768, 0, 0}));

  // The same sums in the other byte order and on unsigned samples.
  Make16(sound, 2, 8000, S16({30000, 30000, -2, 1}));
  sound.ConvEndian();
  sound.ConvMono();
  EXPECT_EQ(Bytes(sound), S16BE({32767, -1}));
  Make16(sound, 2, 8000, S16({-30000, -30000, 7, 1}));
  sound.ConvSign();
  sound.ConvMono();
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_U16LSB);
  EXPECT_EQ(Bytes(sound), S16({0, 0x8008}));
  MakeU8(sound, 2, 8000, "\xF0\xF0\x10\x10\x81\x82");
  sound.ConvMono();
  EXPECT_EQ(Bytes(sound), "\xFF" + std::string(1, '\0') + "\x83");
  MakeS8(sound, 2, 8000, "\x70\x70\x90\x90\x05\xFE");
  sound.ConvMono();
  EXPECT_EQ(Bytes(sound), "\x7F\x80\x03");
  sound.ConvStereo();
  EXPECT_EQ(Bytes(sound), "\x7F\x7F\x80\x80\x03\x03");

  // Nothing happens to an empty sound.
  QVRSound empty;
  empty.ConvStereo();
  empty.ConvFreqMUL2();
  empty.ConvSign();
  empty.Conv8to16L();
  empty.ChangeFormat(QVR_AUDIO_S16LSB, 44100, 2);
  EXPECT_EQ(empty.GetData(), nullptr);
  EXPECT_EQ(empty.GetFormat(), 0);
  EXPECT_EQ(empty.GetFreq(), 0);
}

// The word-at-a-time loops against a sample-by-sample model, on buffers long
// enough for them and with an odd tail, in every 16-bit byte order and sign.
TEST(SoundConvert, LongBuffersMatchSampleBySample) {
  const uint32_t frames = 1003;
  std::vector<uint8_t> in(frames * 4);
  uint32_t seed = 12345;
  for (size_t i = 0; i < in.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    in[i] = uint8_t(seed >> 24);
  }
  // Extremes that saturate the sums.
  for (int i = 0; i < 8; ++i) in[i] = (i & 2) ? 0x80 : 0x7F;

  for (int format : {QVR_AUDIO_S16LSB, QVR_AUDIO_S16MSB, QVR_AUDIO_U16LSB, QVR_AUDIO_U16MSB}) {
    const bool big = (format & 0x1000) != 0;
    const int bias = (format & 0x8000) ? 0 : 0x8000;
    auto get = [&](const uint8_t* p) {
      unsigned raw = big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
      return int(int16_t(uint16_t(raw ^ unsigned(bias))));
    };
    std::vector<uint8_t> out(frames * 2);
    qvr::detail::MixToMono(in.data(), frames, format, out.data());
    for (uint32_t i = 0; i < frames; ++i) {
      int want = std::clamp(get(&in[4 * i]) + get(&in[4 * i + 2]), -32768, 32767);
      ASSERT_EQ(get(&out[2 * i]), want) << "format " << format << " frame " << i;
    }
  }
  for (bool big : {false, true}) {
    std::vector<uint8_t> wide(in.size() * 2), narrow(in.size());
    qvr::detail::Widen8to16(in.data(), uint32_t(in.size()), wide.data(), big);
    qvr::detail::Narrow16to8(wide.data(), uint32_t(in.size()), narrow.data(), big);
    EXPECT_EQ(narrow, in);
    for (size_t i = 0; i < in.size(); ++i) {
      ASSERT_EQ(wide[2 * i + (big ? 0 : 1)], in[i]);
      ASSERT_EQ(wide[2 * i + (big ? 1 : 0)], 0);
    }
  }
  std::vector<uint8_t> flipped(in);
  qvr::detail::FlipSign(flipped.data(), uint32_t(flipped.size() - 1), QVR_AUDIO_S16MSB);
  for (size_t i = 0; i + 1 < in.size(); ++i)
    ASSERT_EQ(flipped[i], uint8_t(in[i] ^ ((i & 1) ? 0 : 0x80))) << i;
  EXPECT_EQ(flipped.back(), in.back());
}

TEST(SoundChangeFormat, StepOrderAndRates) {
  QVRSound sound;
  // 22050 Hz stereo S16LSB to 11025 Hz mono U8: summed to mono, halved
  // once, sign flipped, high bytes kept.
  Make16(sound, 2, 22050, S16({0x1000, 0x0100, 0x7000, 0x7000, -0x2000, 0x1000, 5, 5}));
  sound.ChangeFormat(QVR_AUDIO_U8, 11025, 1);
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_U8);
  EXPECT_EQ(sound.GetFreq(), 11025);
  EXPECT_EQ(sound.GetChannels(), 1);
  EXPECT_EQ(Bytes(sound), "\x91\x70");

  // Already in the wanted format (22000 counts as 22050): untouched.
  Make16(sound, 1, 22050, S16({1, 2}));
  const uint8_t* before = sound.GetData();
  sound.ChangeFormat(QVR_AUDIO_S16LSB, 22000, 1);
  EXPECT_EQ(sound.GetData(), before);
  EXPECT_EQ(sound.GetFreq(), 22050);

  // 44100 towards 30000 Hz: halved to 22050, then doubled back.
  Make16(sound, 1, 44100, S16({1, 2, 3, 4}));
  sound.ChangeFormat(QVR_AUDIO_S16LSB, 30000, 1);
  EXPECT_EQ(sound.GetFreq(), 44100);
  EXPECT_EQ(Bytes(sound), S16({1, 1, 3, 3}));

  // 8-bit mono to big-endian 16-bit stereo at twice the rate: the byte-order
  // step skips 8-bit data, the widening lands in the right order.
  MakeU8(sound, 1, 11025, "\x80\x01");
  sound.ChangeFormat(QVR_AUDIO_S16MSB, 22050, 2);
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S16MSB);
  EXPECT_EQ(sound.GetFreq(), 22050);
  EXPECT_EQ(sound.GetChannels(), 2);
  EXPECT_EQ(Bytes(sound), S16BE({0, 0, 0, 0, -0x7F00, -0x7F00, -0x7F00, -0x7F00}));

  // Rates that can never be reached end the loops instead of spinning.
  for (int target : {0, -5, INT_MIN, INT_MAX}) {
    Make16(sound, 1, 8000, S16({1, 2, 3, 4}));
    sound.ChangeFormat(QVR_AUDIO_S16LSB, target, 1);
    EXPECT_NE(sound.GetData(), nullptr);
    if (target <= 0) {
      EXPECT_LE(sound.GetFreq(), 1);
    }
  }
  ASSERT_TRUE(LoadBytes(sound, PcmWav(1, 0, 8, "ab")));
  sound.ChangeFormat(QVR_AUDIO_U8, 44100, 1);
  EXPECT_EQ(sound.GetFreq(), 0);
  EXPECT_EQ(sound.GetSize(), 2u);
}

}  // namespace
