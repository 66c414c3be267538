// QVRSound loading: type detection and the life cycle of a sound, the WAV
// chunk walk, both ADPCM decoders on hand-made blocks, the AIFF and AU
// readers, and hostile headers that must fail cleanly or decode soundly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "audio/readers.h"
#include "audio/sound_helpers.h"
#include "common/tmpdir.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

using namespace soundtest;

namespace {

std::string Samples16(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) Le16(s, unsigned(v) & 0xFFFF);
  return s;
}

// An MS ADPCM "fmt " body: the 7 standard pairs unless told otherwise.
std::string MsFmt(unsigned channels, unsigned blockAlign, unsigned samplesPerBlock,
                  unsigned numCoef = 7, unsigned bits = 4) {
  static const int kCoef[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                  {240, 0}, {460, -208}, {392, -232}};
  std::string s = FmtBody(2, channels, 22050, blockAlign, bits);
  Le16(s, 4 + 4 * numCoef);
  Le16(s, samplesPerBlock);
  Le16(s, numCoef);
  for (unsigned i = 0; i < numCoef && i < 7; ++i) {
    Le16(s, unsigned(kCoef[i][0]) & 0xFFFF);
    Le16(s, unsigned(kCoef[i][1]) & 0xFFFF);
  }
  return s;
}

std::string ImaFmt(unsigned channels, unsigned blockAlign, unsigned samplesPerBlock) {
  std::string s = FmtBody(0x11, channels, 11025, blockAlign, 4);
  Le16(s, 2);
  Le16(s, samplesPerBlock);
  return s;
}

// A mono MS ADPCM block header: predictor, delta, sample 1, sample 2.
std::string MsHeader(unsigned predictor, int delta, int sample1, int sample2) {
  std::string s(1, char(predictor));
  Le16(s, unsigned(delta) & 0xFFFF);
  Le16(s, unsigned(sample1) & 0xFFFF);
  Le16(s, unsigned(sample2) & 0xFFFF);
  return s;
}

// Loads `bytes` and returns the log text, with the result in *ok.
std::string LoadLogged(QVRSound& sound, const std::string& bytes, bool* ok, int type = 0) {
  LogCapture log;
  *ok = LoadBytes(sound, bytes, type);
  return log.Text();
}

TEST(SoundLoad, DetectionTypesAndLifeCycle) {
  QVRSound sound;
  EXPECT_EQ(sound.GetFormat(), 0);
  EXPECT_EQ(sound.GetData(), nullptr);
  EXPECT_EQ(sound.MemoryUsed(), unsigned(sizeof(QVRSound)));

  const std::string wav = PcmWav(2, 22050, 16, Samples16({1, -1, 300, -300}));
  ASSERT_TRUE(LoadBytes(sound, wav, QVRSound::SND_AUTO));
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S16LSB);
  EXPECT_EQ(sound.GetFreq(), 22050);
  EXPECT_EQ(sound.GetChannels(), 2);
  EXPECT_EQ(Bytes(sound), Samples16({1, -1, 300, -300}));
  EXPECT_EQ(sound.MemoryUsed(), 8u + unsigned(sizeof(QVRSound)));

  // The explicit type must match the file; a failed load leaves it empty.
  EXPECT_FALSE(LoadBytes(sound, wav, QVRSound::SND_AIFF));
  EXPECT_EQ(sound.GetFormat(), 0);
  EXPECT_EQ(sound.GetData(), nullptr);
  EXPECT_EQ(sound.GetSize(), 0u);
  EXPECT_TRUE(LoadBytes(sound, wav, QVRSound::SND_WAV));
  EXPECT_FALSE(LoadBytes(sound, wav, 4));
  EXPECT_EQ(sound.GetFormat(), 0);
  EXPECT_FALSE(LoadBytes(sound, "OggS and more bytes"));
  EXPECT_FALSE(LoadBytes(sound, "RIF"));

  // A stream that is not good: nothing read, no message.
  QVRMemFile closed;
  {
    LogCapture log;
    EXPECT_FALSE(sound.Load(closed, 0));
    EXPECT_EQ(log.Text(), "");
  }
  MemStream stream(wav);
  EXPECT_FALSE(sound.LoadOGG(*stream));
  EXPECT_FALSE(sound.Save(*stream, 1));

  // The single readers keep the sound as it was when they fail.
  ASSERT_TRUE(LoadBytes(sound, wav));
  MemStream notAu(wav);
  EXPECT_FALSE(sound.LoadAU(*notAu));
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S16LSB);
  EXPECT_EQ(sound.GetSize(), 8u);
  MemStream au(Au(24, 2, 2, 8000, 1, "\x05\xFB"));
  EXPECT_TRUE(sound.LoadAU(*au));
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S8);
  EXPECT_EQ(Bytes(sound), "\x05\xFB");

  sound.Clear();
  EXPECT_EQ(sound.GetData(), nullptr);
  EXPECT_EQ(sound.GetFreq(), 0);
  EXPECT_EQ(sound.GetChannels(), 0);
}

TEST(SoundLoad, FromFileNamePrintInfoAndFormatNames) {
  qvrtest::TempDir dir;
  const std::string path = dir / "beep.wav";
  ASSERT_TRUE(qvrtest::WriteAll(path, PcmWav(1, 11025, 8, "\x80\x90\x70")));
  QVRSound sound(path.c_str());
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_U8);
  EXPECT_EQ(sound.GetSize(), 3u);
  {
    LogCapture log;
    sound.PrintInfo();
    EXPECT_EQ(log.Text(), "Sound format : 11025 Hz, 8 bits unsigned (8), Mono, 3 bytes\n");
  }
  sound.ConvStereo();
  sound.Conv8to16B();
  {
    LogCapture log;
    sound.PrintInfo();
    EXPECT_EQ(log.Text(),
              "Sound format : 11025 Hz, 16 bits unsigned MSB (1010), Stereo, 12 bytes\n");
  }
  EXPECT_STREQ(QVRSound::FormatName(QVR_AUDIO_S8), "8 bits signed");
  EXPECT_STREQ(QVRSound::FormatName(QVR_AUDIO_U16LSB), "16 bits unsigned LSB");
  EXPECT_STREQ(QVRSound::FormatName(QVR_AUDIO_S16LSB), "16 bits signed LSB");
  EXPECT_STREQ(QVRSound::FormatName(QVR_AUDIO_S16MSB), "16 bits signed MSB");
  EXPECT_STREQ(QVRSound::FormatName(0x20), "unknown");

  QVRSound missing;
  EXPECT_FALSE(missing.LoadName((dir / "none.wav").c_str(), 0));
  EXPECT_EQ(missing.GetFormat(), 0);
}

TEST(SoundWav, ChunkWalkAndPcmFormats) {
  QVRSound sound;
  bool ok;
  // Odd length in 16-bit stereo: only whole 4-byte frames are kept.
  ASSERT_TRUE(LoadBytes(sound, PcmWav(2, 8000, 16, std::string("\1\0\2\0\3\0\4\0\5", 9))));
  EXPECT_EQ(sound.GetSize(), 8u);

  // A LIST chunk before "fmt " (odd length, with and without its pad byte)
  // and one between "fmt " and "data".
  const std::string fmt = Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8));
  const std::string data = Chunk("data", "\x10\x20\x30");
  for (const std::string& list : {Chunk("LIST", "INFOabc") + std::string(1, '\0'),
                                  Chunk("LIST", "INFOabc"), Chunk("junk", "12")}) {
    ASSERT_TRUE(LoadBytes(sound, Riff(list + fmt + list + data)));
    EXPECT_EQ(Bytes(sound), "\x10\x20\x30");
  }
  // "data" before "fmt " is found too.
  ASSERT_TRUE(LoadBytes(sound, Riff(data + fmt)));
  EXPECT_EQ(sound.GetSize(), 3u);
  // An empty data chunk is a valid, empty sound.
  ASSERT_TRUE(LoadBytes(sound, Riff(fmt + Chunk("data", ""))));
  EXPECT_EQ(sound.GetSize(), 0u);
  EXPECT_NE(sound.GetData(), nullptr);

  EXPECT_EQ(LoadLogged(sound, Riff(fmt), &ok), "Sound: no data in file test.snd\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(LoadLogged(sound, Riff(data), &ok), "Sound: internal error\n");
  EXPECT_EQ(LoadLogged(sound, PcmWav(1, 8000, 24, "abc"), &ok),
            "Sound: unknown 24-bits PCM format - test.snd\n");
  EXPECT_FALSE(ok);
  std::string notWave = Riff(fmt + data);
  std::memcpy(&notWave[8], "AVI ", 4);
  EXPECT_EQ(LoadLogged(sound, notWave, &ok, 1), "Sound: bad file type (not WAV) (test.snd)\n");
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", FmtBody(0x55, 1, 8000, 1, 8)) + data), &ok),
            "Sound: Unknown WAV data format - test.snd\n");
  EXPECT_FALSE(ok);
}

TEST(SoundWav, HostileHeadersFailCleanly) {
  QVRSound sound;
  bool ok;
  const std::string data = Chunk("data", "\x10\x20\x30\x40");
  // Channel counts other than 1 and 2.
  for (unsigned channels : {0u, 3u, 6u}) {
    EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", FmtBody(1, channels, 8000, 1, 8)) + data), &ok),
              "Sound: " + std::to_string(channels) + " channels not supported - test.snd\n");
    EXPECT_FALSE(ok);
  }
  // A format chunk shorter than its fields, or cut by the end of the stream.
  EXPECT_EQ(
      LoadLogged(sound, Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8).substr(0, 10)) + data), &ok),
      "Sound: bad file test.snd\n");
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", "\1\0\1\0", 16)), &ok),
            "Sound: bad file test.snd\n");
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", FmtBody(0x11, 1, 8000, 36, 4)) + data), &ok),
            "Sound: bad file test.snd\n");
  // Data sizes the stream cannot deliver are refused before any allocation.
  const std::string fmt = Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8));
  for (uint32_t size : {0xFFFFFFFFu, 5u, 0x7FFFFFF0u}) {
    EXPECT_EQ(LoadLogged(sound, Riff(fmt + Chunk("data", "\1\2\3\4", size)), &ok),
              "Sound: error reading data - test.snd\n");
    EXPECT_FALSE(ok);
  }
  // A chunk length that would lead backwards (or past the end) ends the walk.
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("junk", "", 0xFFFFFFF8u) + fmt + data), &ok),
            "Sound: internal error\n");
  EXPECT_EQ(LoadLogged(sound, Riff(fmt + Chunk("junk", "", 0x7FFFFFFFu) + data), &ok),
            "Sound: no data in file test.snd\n");
  EXPECT_EQ(sound.GetData(), nullptr);
}

TEST(SoundMsAdpcm, BlocksDecodeAndHostileParametersFail) {
  QVRSound sound;
  bool ok;
  // spb 4, mono, block align 8: header, then one byte of codes 1 and -1.
  std::string block = MsHeader(0, 16, 100, 50) + "\x1F";
  ASSERT_TRUE(LoadBytes(sound, Riff(Chunk("fmt ", MsFmt(1, 8, 4)) + Chunk("data", block))));
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S16LSB);
  EXPECT_EQ(Bytes(sound), Samples16({50, 100, 116, 100}));

  // Predictions round down: (-1 x 460) / 256 gives -2, then (-2 x 460 + 208)
  // / 256 gives -3 (truncation would give -1 and 0). A trailing partial block
  // is dropped.
  block = MsHeader(5, 16, -1, 0) + std::string(1, '\0');
  ASSERT_TRUE(LoadBytes(sound, Riff(Chunk("fmt ", MsFmt(1, 8, 4)) + Chunk("data", block + "xyz"))));
  EXPECT_EQ(Bytes(sound), Samples16({0, -1, -2, -3}));

  // Stereo: headers field by field, then left in the high nibble.
  std::string stereo = std::string("\0\0", 2);
  Le16(stereo, 16), Le16(stereo, 16), Le16(stereo, 10), Le16(stereo, 20);
  Le16(stereo, 0), Le16(stereo, 0);
  stereo += "\x1F\x70";
  ASSERT_TRUE(LoadBytes(sound, Riff(Chunk("fmt ", MsFmt(2, 16, 4)) + Chunk("data", stereo))));
  EXPECT_EQ(Bytes(sound), Samples16({0, 0, 10, 20, 26, 4, 10 + 16 + 7 * 16, 4}));

  const std::string data = Chunk("data", MsHeader(0, 16, 0, 0) + "\x11");
  const std::string decodeFailed = "Sound: MS_ADPCM_decode - test.snd\n";
  // Block align 0, a block too small for its samples, a predictor of 7.
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", MsFmt(1, 0, 4)) + data), &ok), decodeFailed);
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", MsFmt(1, 8, 6)) + data), &ok), decodeFailed);
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", MsFmt(1, 8, 1)) + data), &ok), decodeFailed);
  EXPECT_EQ(
      LoadLogged(
          sound,
          Riff(Chunk("fmt ", MsFmt(1, 8, 4)) + Chunk("data", MsHeader(7, 16, 0, 0) + "\x11")), &ok),
      decodeFailed);
  EXPECT_FALSE(ok);
  // Coefficient tables: a count other than 7, or longer than the chunk.
  const std::string initFailed = "Sound: InitMS_ADPCM failed - test.snd\n";
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", MsFmt(1, 8, 4, 6)) + data), &ok), initFailed);
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", MsFmt(1, 8, 4, 8)) + data), &ok), initFailed);
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", MsFmt(1, 8, 4).substr(0, 40)) + data), &ok),
            initFailed);
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", MsFmt(1, 8, 4).substr(0, 20)) + data), &ok),
            initFailed);
  // ADPCM data declared as 8 or 16 bits per sample.
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", MsFmt(1, 8, 4, 7, 8)) + data), &ok),
            "Sound: unknown 8-bits PCM format - test.snd\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(sound.GetData(), nullptr);
}

TEST(SoundImaAdpcm, BlocksDecodeAndHostileParametersFail) {
  QVRSound sound;
  bool ok;
  // 5 samples per block: the header sample and half a group (4 codes), which
  // is decoded as far as the block's sample count goes.
  std::string block = Samples16({1000}) + std::string("\0\0\x44\x80\0\0", 6);
  ASSERT_TRUE(LoadBytes(sound, Riff(Chunk("fmt ", ImaFmt(1, 8, 5)) + Chunk("data", block))));
  EXPECT_EQ(Bytes(sound), Samples16({1000, 1007, 1017, 1018, 1017}));

  // Stereo, 9 samples per block: each channel's 4-byte group in turn.
  std::string stereo = Samples16({0}) + std::string("\0\0", 2) + Samples16({-5}) +
                       std::string("\0\0", 2) + std::string("\x04\0\0\0", 4) +
                       std::string("\x0C\0\0\0", 4);
  ASSERT_TRUE(LoadBytes(sound, Riff(Chunk("fmt ", ImaFmt(2, 16, 9)) + Chunk("data", stereo))));
  ASSERT_EQ(sound.GetSize(), 36u);
  EXPECT_EQ(Bytes(sound).substr(0, 8), Samples16({0, -5, 7, -12}));

  // A step index past the table starts from 0; the samples stay in range.
  block = Samples16({32767}) + std::string("\xC8\0\x77\x77\0\0", 6);
  ASSERT_TRUE(LoadBytes(sound, Riff(Chunk("fmt ", ImaFmt(1, 8, 5)) + Chunk("data", block))));
  EXPECT_EQ(Bytes(sound), Samples16({32767, 32767, 32767, 32767, 32767}));

  const std::string decodeFailed = "Sound: IMA_ADPCM_decode - test.snd\n";
  const std::string data = Chunk("data", std::string(8, '\0'));
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", ImaFmt(1, 0, 9)) + data), &ok), decodeFailed);
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", ImaFmt(1, 8, 10)) + data), &ok), decodeFailed);
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", ImaFmt(1, 8, 0)) + data), &ok), decodeFailed);
  EXPECT_FALSE(ok);
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", ImaFmt(3, 24, 9)) + data), &ok),
            "Sound: 3 channels not supported - test.snd\n");
  EXPECT_EQ(LoadLogged(sound, Riff(Chunk("fmt ", ImaFmt(1, 8, 9).substr(0, 18)) + data), &ok),
            "Sound: bad file test.snd\n");
  EXPECT_FALSE(ok);
  // Data shorter than one block: no frames, but a sound.
  ASSERT_TRUE(LoadBytes(sound, Riff(Chunk("fmt ", ImaFmt(1, 8, 9)) + Chunk("data", "abc"))));
  EXPECT_EQ(sound.GetSize(), 0u);
}

TEST(SoundAiff, RatesChunksAndTruncation) {
  QVRSound sound;
  bool ok;
  const std::string pcm = "\x01\x02\x03\x04\x05\x06\x07\x08";
  // 16-bit stereo at 44100 Hz (0x400E AC44...), swapped to little-endian;
  // an unknown chunk and an odd-length chunk with its pad are skipped.
  std::string file =
      Aiff(AiffChunk("ANNO", "odd") + AiffChunk("COMM", CommBody(2, 2, 16, Extended(44100))) +
           AiffChunk("SSND", SsndBody(4, pcm)));
  EXPECT_EQ(Extended(44100).substr(0, 4), std::string("\x40\x0E\xAC\x44", 4));
  {
    LogCapture log;
    ASSERT_TRUE(LoadBytes(sound, file));
    EXPECT_EQ(log.Text(), "Sound: offset=4, datasize=0, position=" +
                              std::to_string(12 + 12 + 26 + 8 + 8 + 4) + "\n");
  }
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S16LSB);
  EXPECT_EQ(sound.GetFreq(), 44100);
  EXPECT_EQ(Bytes(sound), "\x02\x01\x04\x03\x06\x05\x08\x07");

  // SSND before COMM; 8-bit data stay signed.
  ASSERT_TRUE(LoadBytes(sound, Aiff(AiffChunk("SSND", SsndBody(0, "\x80\x7F")) +
                                    AiffChunk("COMM", CommBody(1, 2, 8, Extended(8000))))));
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S8);
  EXPECT_EQ(Bytes(sound), "\x80\x7F");

  // Rates that are zero, negative, infinite, NaN, below 2 or above 2^30 give
  // rate 0 with a warning; the samples still load.
  const std::string bad[] = {std::string(10, '\0'),
                             std::string("\xC0\x0E\xAC\x44\0\0\0\0\0\0", 10),
                             std::string("\x7F\xFF\x80\0\0\0\0\0\0\0", 10),
                             std::string("\x7F\xFF\xC0\0\0\0\0\0\0\1", 10),
                             std::string("\x3F\xFF\x80\0\0\0\0\0\0\0", 10),
                             std::string("\x40\x1D\x80\0\0\0\0\0\0\0", 10)};
  for (const std::string& rate : bad) {
    std::string log = LoadLogged(
        sound,
        Aiff(AiffChunk("COMM", CommBody(1, 2, 8, rate)) + AiffChunk("SSND", SsndBody(0, "ab"))),
        &ok);
    EXPECT_TRUE(ok);
    EXPECT_NE(log.find("Sound: bad sample rate test.snd\n"), std::string::npos);
    EXPECT_EQ(sound.GetFreq(), 0);
  }
  int rate = 0;
  EXPECT_TRUE(qvr::detail::AIFFRate(
      reinterpret_cast<const uint8_t*>("\x40\x1C\xFF\xFF\xFF\xFF\0\0\0\0"), &rate));
  EXPECT_EQ(rate, 0x3FFFFFFF);

  // A frame count whose product passes 32 bits, or a file cut short: the
  // whole frames that are there.
  ASSERT_TRUE(
      LoadBytes(sound, Aiff(AiffChunk("COMM", CommBody(2, 0xFFFFFFFFu, 16, Extended(8000))) +
                            AiffChunk("SSND", SsndBody(0, pcm + "xy")))));
  EXPECT_EQ(sound.GetSize(), 8u);
  std::string cut = Aiff(AiffChunk("COMM", CommBody(1, 100, 16, Extended(8000))) +
                         AiffChunk("SSND", SsndBody(0, std::string(200, 'a'))));
  ASSERT_TRUE(LoadBytes(sound, cut.substr(0, cut.size() - 51)));
  EXPECT_EQ(sound.GetSize(), 148u);

  EXPECT_EQ(LoadLogged(sound,
                       Aiff(AiffChunk("COMM", CommBody(1, 2, 24, Extended(8000))) +
                            AiffChunk("SSND", SsndBody(0, "abcdef"))),
                       &ok),
            "Sound: sample size not supported - test.snd\n");
  EXPECT_FALSE(ok);
  // An SSND offset past its chunk; no COMM; no SSND (no message).
  std::string log = LoadLogged(
      sound,
      Aiff(AiffChunk("COMM", CommBody(1, 2, 8, Extended(8000))) +
           AiffChunk("SSND", SsndBody(0, "ab").replace(0, 4, std::string("\0\0\x10\0", 4)))),
      &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(log.find("Sound: not a valid AIFF file test.snd\n"), std::string::npos);
  log = LoadLogged(sound, Aiff(AiffChunk("SSND", SsndBody(0, "ab"))), &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(log.find("Sound: not a valid AIFF file test.snd\n"), std::string::npos);
  EXPECT_EQ(LoadLogged(sound, Aiff(AiffChunk("COMM", CommBody(1, 2, 8, Extended(8000)))), &ok), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(LoadLogged(sound, Aiff(AiffChunk("COMM", CommBody(0, 2, 8, Extended(8000)))), &ok),
            "Sound: 0 channels not supported - test.snd\n");
  EXPECT_EQ(LoadLogged(sound, Aiff(AiffChunk("COMM", "\0\1\0\0")), &ok),
            "Sound: not a valid AIFF file test.snd\n");
  std::string aifc = Aiff("");
  std::memcpy(&aifc[8], "AIFC", 4);
  EXPECT_EQ(LoadLogged(sound, aifc, &ok, 2), "Sound: not a valid AIFF file test.snd\n");
  EXPECT_FALSE(ok);
}

TEST(SoundAu, EncodingsSizesAndOffsets) {
  QVRSound sound;
  bool ok;
  // 16-bit stereo with an annotation: swapped to little-endian, odd tail cut.
  ASSERT_TRUE(LoadBytes(sound, Au(32, 9, 3, 22050, 2, "\x01\x02\x03\x04\x05\x06\x07\x08\x09")));
  EXPECT_EQ(sound.GetFormat(), QVR_AUDIO_S16LSB);
  EXPECT_EQ(sound.GetFreq(), 22050);
  EXPECT_EQ(sound.GetChannels(), 2);
  EXPECT_EQ(Bytes(sound), "\x02\x01\x04\x03\x06\x05\x08\x07");
  // Data size 0xFFFFFFFF: up to the end of the stream.
  ASSERT_TRUE(LoadBytes(sound, Au(24, 0xFFFFFFFFu, 2, 8000, 1, "abcde")));
  EXPECT_EQ(Bytes(sound), "abcde");

  EXPECT_EQ(LoadLogged(sound, Au(24, 4, 1, 8000, 1, "abcd"), &ok),
            "Sound: AU encoding not supported (1) - test.snd\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(LoadLogged(sound, Au(24, 4, 2, 8000, 3, "abcd"), &ok),
            "Sound: 3 channels not supported - test.snd\n");
  // A data offset inside the header, a header cut short.
  EXPECT_EQ(LoadLogged(sound, Au(8, 4, 2, 8000, 1, "abcd"), &ok),
            "Sound: not a valid AU file test.snd\n");
  EXPECT_EQ(LoadLogged(sound, Au(24, 4, 2, 8000, 1, "").substr(0, 20), &ok),
            "Sound: not a valid AU file test.snd\n");
  // Sizes or offsets past the end fail without a message.
  EXPECT_EQ(LoadLogged(sound, Au(24, 5, 2, 8000, 1, "abcd"), &ok), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(LoadLogged(sound, Au(24, 0x7FFFFFFFu, 2, 8000, 1, "abcd"), &ok), "");
  std::string far = Au(24, 4, 2, 8000, 1, "abcd");
  far[4] = '\x40';
  EXPECT_EQ(LoadLogged(sound, far, &ok), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(sound.GetData(), nullptr);
}

}  // namespace
