// Sounds written by sox, loaded and compared sample for sample with sox's own
// decoding of the same files to raw PCM.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/sound_helpers.h"
#include "common/host_command.h"
#include "common/tmpdir.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

namespace {

struct SoxCase {
  const char* name;
  const char* make;  // sox arguments between "-n" and the output file
  const char* ext;
  const char* synth;
  int format;
  int freq;
  int channels;
  bool adpcm;
};

std::ostream& operator<<(std::ostream& os, const SoxCase& c) { return os << c.name; }

const char* kTone = "synth 0.5 sine 440 sine 660";
const char* kNoise = "synth 0.3 whitenoise vol 0.7 synth 0.3 sine amod 3 1";
const char* kLoudNoise = "synth 0.2 whitenoise";

const SoxCase kCases[] = {
    {"wav_u8_mono", "-r 11025 -c 1 -b 8 -e unsigned", "wav", kTone, QVR_AUDIO_U8, 11025, 1, false},
    {"wav_u8_stereo", "-r 22050 -c 2 -b 8 -e unsigned", "wav", kTone, QVR_AUDIO_U8, 22050, 2,
     false},
    {"wav_s16_mono", "-r 44100 -c 1 -b 16 -e signed", "wav", kNoise, QVR_AUDIO_S16LSB, 44100, 1,
     false},
    {"wav_s16_stereo", "-r 22050 -c 2 -b 16 -e signed", "wav", kTone, QVR_AUDIO_S16LSB, 22050, 2,
     false},
    {"msadpcm_mono", "-r 22050 -c 1 -e ms-adpcm", "wav", kTone, QVR_AUDIO_S16LSB, 22050, 1, true},
    {"msadpcm_stereo", "-r 44100 -c 2 -e ms-adpcm", "wav", kTone, QVR_AUDIO_S16LSB, 44100, 2, true},
    {"msadpcm_noise", "-r 8000 -c 2 -e ms-adpcm", "wav", kNoise, QVR_AUDIO_S16LSB, 8000, 2, true},
    {"msadpcm_loud", "-r 11025 -c 1 -e ms-adpcm", "wav", kLoudNoise, QVR_AUDIO_S16LSB, 11025, 1,
     true},
    {"imaadpcm_mono", "-r 11025 -c 1 -e ima-adpcm", "wav", kTone, QVR_AUDIO_S16LSB, 11025, 1, true},
    {"imaadpcm_stereo", "-r 44100 -c 2 -e ima-adpcm", "wav", kTone, QVR_AUDIO_S16LSB, 44100, 2,
     true},
    {"imaadpcm_noise", "-r 22050 -c 2 -e ima-adpcm", "wav", kNoise, QVR_AUDIO_S16LSB, 22050, 2,
     true},
    {"imaadpcm_loud", "-r 8000 -c 1 -e ima-adpcm", "wav", kLoudNoise, QVR_AUDIO_S16LSB, 8000, 1,
     true},
    {"aiff_8_mono", "-r 8000 -c 1 -b 8", "aiff", kNoise, QVR_AUDIO_S8, 8000, 1, false},
    {"aiff_16_stereo", "-r 44100 -c 2 -b 16", "aiff", kTone, QVR_AUDIO_S16LSB, 44100, 2, false},
    {"aiff_16_mono", "-r 48000 -c 1 -b 16", "aiff", kNoise, QVR_AUDIO_S16LSB, 48000, 1, false},
    {"au_8_stereo", "-r 22050 -c 2 -b 8 -e signed", "au", kTone, QVR_AUDIO_S8, 22050, 2, false},
    {"au_16_mono", "-r 16000 -c 1 -b 16 -e signed", "au", kNoise, QVR_AUDIO_S16LSB, 16000, 1,
     false},
    {"au_16_stereo", "-r 44100 -c 2 -b 16 -e signed", "au", kTone, QVR_AUDIO_S16LSB, 44100, 2,
     false},
};

bool Sox(const std::string& command) {
  return qvrtest::HostShell("sox " + command + " 2>/dev/null") == 0;
}

class SoxDecode : public ::testing::TestWithParam<SoxCase> {};

TEST_P(SoxDecode, MatchesSoxOwnDecoding) {
  const SoxCase& c = GetParam();
  qvrtest::TempDir dir;
  const std::string file = dir / (std::string(c.name) + "." + c.ext);
  const std::string raw = dir / "decoded.raw";
  ASSERT_TRUE(Sox("-R -n " + std::string(c.make) + " " + qvrtest::HostArg(file) + " " + c.synth))
      << "sox could not write " << file;

  const bool eight = (c.format & 0xFF) == 8;
  const std::string rawArgs =
      eight ? ((c.format & 0x8000) ? "-e signed -b 8" : "-e unsigned -b 8") : "-e signed -b 16 -L";
  ASSERT_TRUE(Sox("-D " + qvrtest::HostArg(file) + " -t raw " + rawArgs + " " + qvrtest::HostArg(raw)));
  const std::string expected = qvrtest::ReadAll(raw);
  ASSERT_FALSE(expected.empty());

  // Through a disk stream, with the type detected.
  QVRSound sound;
  QVRFile stream(file.c_str(), QVRResFile::READ);
  ASSERT_TRUE(sound.Load(stream, QVRSound::SND_AUTO));
  EXPECT_EQ(sound.GetFormat(), c.format);
  EXPECT_EQ(sound.GetFreq(), c.freq);
  EXPECT_EQ(sound.GetChannels(), c.channels);
  EXPECT_EQ(sound.GetSize() % sound.GetFrameSize(), 0u);

  const std::string got = soundtest::Bytes(sound);
  if (!c.adpcm) {
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "decoded samples differ from sox's";
    return;
  }
  // ADPCM: whole blocks are decoded, so the sound may run past sox's length
  // by the padding of the last block; the common part is compared.
  ASSERT_GE(got.size(), expected.size());
  EXPECT_LT(got.size() - expected.size(), 4096u);
  size_t samples = expected.size() / 2, differ = 0;
  int worst = 0;
  for (size_t i = 0; i < samples; ++i) {
    int16_t a, b;
    std::memcpy(&a, got.data() + 2 * i, 2);
    std::memcpy(&b, expected.data() + 2 * i, 2);
    if (a != b) {
      ++differ;
      worst = std::max(worst, std::abs(a - b));
    }
  }
  RecordProperty("differing_samples", int(differ));
  std::printf("%s: %zu of %zu samples differ from sox (largest difference %d), %zu extra bytes\n",
              c.name, differ, samples, worst, got.size() - expected.size());
  EXPECT_EQ(differ, 0u);
}

INSTANTIATE_TEST_SUITE_P(Sox, SoxDecode, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SoxCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
