// QVRMixer: the mixing routines against a plain per-sample reference over
// random channel sets in all six formats, the channel table's state on SDL's
// dummy driver, and the real audio thread writing through the disk driver.
#include <gtest/gtest.h>

#include <SDL.h>

#include <random>
#include <string>
#include <vector>

#include "audio/mixer_core.h"
#include "audio/mixer_helpers.h"
#include "audio/sound_helpers.h"
#include "common/log_capture.h"
#include "common/tmpdir.h"
#include "qvr3d/mixer.h"
#include "qvr3d/music.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

using mixtest::RawSound;
using mixtest::RefMixer;

namespace {

const int kFormats[] = {QVR_AUDIO_U8,     QVR_AUDIO_S8,     QVR_AUDIO_U16LSB,
                        QVR_AUDIO_S16LSB, QVR_AUDIO_U16MSB, QVR_AUDIO_S16MSB};

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 0);
  }
  void TearDown() override { delete QVRMixer::Instance(); }
  // What SDL hands the callback: its silence byte, 0 for 16-bit unsigned.
  static std::vector<uint8_t> SdlBuffer(int format, size_t len) {
    return std::vector<uint8_t>(len, format == QVR_AUDIO_U8 ? 0x80 : 0x00);
  }
  static void Mix(int format, std::vector<uint8_t>& buffer) {
    qvr::detail::MixerRoutine(format)(nullptr, buffer.data(), int(buffer.size()));
  }
};

std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = char(rng() & 0xFF);
  return s;
}

// A constant sample repeated: `value` is the centred sample in the format.
std::string Constant(int format, int value, size_t samples) {
  std::string s;
  for (size_t i = 0; i < samples; ++i) {
    const unsigned bytes = mixtest::Bytes(format);
    const unsigned v = unsigned(value) ^ ((format & 0x8000) ? 0u : (bytes == 1 ? 0x80u : 0x8000u));
    if (bytes == 1)
      s += char(v & 0xFF);
    else if (format & 0x1000)
      s += char((v >> 8) & 0xFF), s += char(v & 0xFF);
    else
      s += char(v & 0xFF), s += char((v >> 8) & 0xFF);
  }
  return s;
}

// ---- The key test: identical bytes to the per-sample rule --------------------

TEST_F(MixerTest, RoutinesWriteTheBytesOfThePerSampleRule) {
  QVRMixer* mixer = QVRMixer::Singleton();
  std::mt19937 rng(20261209);
  int rounds = 0;
  for (int format : kFormats) {
    for (bool stereo : {false, true}) {
      ASSERT_TRUE(mixer->Init(format, 22050, 512, stereo, 64));
      const QVRAudioSpec& spec = mixer->Spec();
      ASSERT_EQ(spec.format, format);
      const int channels = spec.channels;
      const unsigned frame = mixtest::Bytes(format) * unsigned(channels);
      for (int set = 0; set < 12; ++set, ++rounds) {
        SCOPED_TRACE("format " + std::to_string(format) + " channels " + std::to_string(channels) +
                     " set " + std::to_string(set));
        // A pool of sounds: a few frames (they loop several times in one
        // buffer), a few buffers long, odd byte counts, full scale.
        std::vector<std::unique_ptr<RawSound>> sounds;
        for (int i = 0; i < 10; ++i) {
          size_t frames = (i < 4) ? 1 + rng() % 40 : 100 + rng() % 3000;
          std::string bytes = RandomBytes(rng, frames * frame + (i == 5 ? 1 : 0));
          if (i == 6)
            bytes = Constant(format, mixtest::Bytes(format) == 1 ? 127 : 32767,
                             frames * unsigned(channels));
          if (i == 7)
            bytes = Constant(format, mixtest::Bytes(format) == 1 ? -128 : -32768,
                             frames * unsigned(channels));
          sounds.push_back(std::make_unique<RawSound>(bytes, format, 22050, channels));
        }
        // Two musics on the same file bytes, one for each side.
        const std::string wav =
            soundtest::PcmWav(1 + rng() % 2, 11025 * (1 + rng() % 4), (rng() & 1) ? 8 : 16,
                              RandomBytes(rng, 4 * (3000 + rng() % 6000)));
        soundtest::MemStream streamA(wav), streamB(wav);
        QVRMusic musicA, musicB;
        ASSERT_TRUE(musicA.Load(*streamA, 0));
        ASSERT_TRUE(musicB.Load(*streamB, 0));
        musicA.SetMixerFormat();
        musicB.SetMixerFormat();

        RefMixer ref(format, channels, 64);
        const unsigned count = 1 + rng() % 64;
        for (unsigned i = 0; i < count; ++i) {
          const int volume = int(rng() % 141);
          const int loops[] = {0, 1, 1, 2, 3, 255};
          const int loop = loops[rng() % 6];
          const int pans[] = {-120, -100, -37, 0, 1, 55, 100, 127, 127, 200};
          const int pan = (rng() & 1) ? pans[rng() % 10] : int(rng() % 201) - 100;
          const unsigned ch = (rng() % 3 == 0) ? rng() % 64 : 0xFFFFFFFFu;
          unsigned got, want;
          // One music at a time: two channels on one stream would share it.
          bool musicPlaying = false;
          for (unsigned c = 0; c < 64; ++c) musicPlaying |= ref.At(c).music != nullptr;
          if (!musicPlaying && rng() % 16 == 0) {
            got = mixer->PlayMusic(&musicA, ch, uint8_t(volume), uint8_t(loop), pan);
            want = ref.PlayMusic(&musicB, ch, volume, loop, pan);
          } else {
            RawSound* s = sounds[rng() % sounds.size()].get();
            got = mixer->PlaySound(s, ch, uint8_t(volume), uint8_t(loop), pan);
            want = ref.Play(s, ch, volume, loop, pan);
          }
          ASSERT_EQ(got, want);
          if (got == 0xFFFFFFFFu) continue;
          switch (rng() % 10) {
            case 0: {
              const unsigned pos = rng() % 4000;
              mixer->ChSeek(got, pos);
              ref.Seek(got, pos);
              break;
            }
            case 1:
              mixer->ChPause(got, false);
              ref.Pause(got, false);
              break;
            case 2:
              mixer->ChPause(got, true);
              ref.Pause(got, true);
              break;
            case 3:
              mixer->ChLoop(got, 0);
              ref.Loop(got, 0);
              break;
            case 4: {
              const int pan2 = int(rng() % 241) - 120;
              const int volume2 = int(rng() % 200);
              mixer->ChPan(got, pan2);
              ref.Pan(got, pan2);
              mixer->ChVolume(got, uint8_t(volume2));
              ref.Volume(got, volume2);
              break;
            }
            case 5:
              mixer->ChStop(got);
              ref.Free(got);
              break;
            default:
              break;
          }
        }

        for (int buffer = 0; buffer < 6; ++buffer) {
          const size_t len = buffer == 3 ? frame * (1 + rng() % 3000) : spec.size;
          std::vector<uint8_t> ours = SdlBuffer(format, len), theirs = ours;
          Mix(format, ours);
          ref.Mix(theirs.data(), theirs.size());
          ASSERT_EQ(ours, theirs) << "buffer " << buffer;
          ASSERT_EQ(mixer->ActiveChannels(), ref.Active());
          for (unsigned ch = 0; ch < 64; ++ch) {
            int v = -1, l = -1, p = -1;
            const int state = mixer->ChState(ch, &v, &l, &p);
            const RefMixer::Channel& r = ref.At(ch);
            ASSERT_EQ(state, r.state) << "channel " << ch;
            if (state == 0) continue;
            ASSERT_EQ(v, r.volume);
            ASSERT_EQ(l, r.loop);
            ASSERT_EQ(p, r.pan);
            ASSERT_EQ(mixer->ChGetPos(ch), ref.Pos(ch)) << "channel " << ch;
          }
        }
        for (unsigned ch = 0; ch < 64; ++ch) mixer->ChStop(ch);
      }
    }
  }
  EXPECT_EQ(rounds, 144);
}

// ---- Start-up ----------------------------------------------------------------

TEST_F(MixerTest, InitClampsAndSizesTheBuffer) {
  QVRMixer* mixer = QVRMixer::Singleton();
  EXPECT_EQ(QVRMixer::Singleton(), mixer);
  EXPECT_EQ(mixer->Status(), 0);
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 1000, 0, true, 100));
  EXPECT_EQ(mixer->Spec().freq, 4000);
  EXPECT_EQ(mixer->Spec().samples, 1024);
  EXPECT_EQ(mixer->NbChannels(), 64u);
  EXPECT_EQ(mixer->Status(), 2);  // opened paused
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_U8, 96000, 0, false, 0));
  EXPECT_EQ(mixer->Spec().freq, 48000);
  EXPECT_EQ(mixer->Spec().samples, 4096);
  EXPECT_EQ(mixer->NbChannels(), 4u);
  mixer->Unpause();
  EXPECT_EQ(mixer->Status(), 1);
  mixer->Pause();
  EXPECT_EQ(mixer->Status(), 2);
  mixer->Exit();
  EXPECT_EQ(mixer->Status(), 0);
  EXPECT_EQ(mixer->NbChannels(), 0u);
}

TEST_F(MixerTest, ClosedMixerRefusesEverySilently) {
  QVRMixer* mixer = QVRMixer::Singleton();
  RawSound s(std::string(64, '\1'), QVR_AUDIO_S16LSB, 22050, 2);
  qvrtest::LogCapture log;
  EXPECT_EQ(mixer->PlaySound(&s, 0xFFFFFFFF, 128, 1, 127), 0xFFFFFFFFu);
  EXPECT_EQ(mixer->ChGetPos(0), 0xFFFFFFFFu);
  EXPECT_FALSE(mixer->ChSeek(0, 0));
  EXPECT_EQ(mixer->ChState(0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(mixer->ChVolume(0, 3), 0);
  EXPECT_EQ(mixer->ChPan(0, 3), 0);
  EXPECT_EQ(mixer->ChLoop(0, 3), 0);
  mixer->ChPause(0, false);
  mixer->ChStop(0);
  mixer->PrintInfo();
  EXPECT_EQ(log.Text(), "Mixer not initialized\n");
}

// ---- Channel table -------------------------------------------------------------

TEST_F(MixerTest, ChannelTableAndVolumes) {
  QVRMixer* mixer = QVRMixer::Singleton();
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 44100, 0, true, 4));
  RawSound s(std::string(4000 * 4, '\x10'), QVR_AUDIO_S16LSB, 44100, 2);
  EXPECT_EQ(mixer->PlaySound(&s, 0xFFFFFFFF, 200, 1, -100), 0u);
  EXPECT_EQ(mixer->PlaySound(&s, 0xFFFFFFFF, 128, 255, 0), 1u);
  EXPECT_EQ(mixer->PlaySound(&s, 3, 64, 2, 100), 3u);
  EXPECT_EQ(mixer->PlaySound(&s, 0xFFFFFFFF, 128, 2, -300), 2u);
  EXPECT_EQ(mixer->ActiveChannels(), 4u);
  {
    qvrtest::LogCapture log;
    EXPECT_EQ(mixer->PlaySound(&s, 0xFFFFFFFF, 1, 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(log.Text(), "Mixer: no channel left\n");
  }
  // Replaying on a busy channel replaces it without counting it twice.
  EXPECT_EQ(mixer->PlaySound(&s, 1, 128, 3, 127), 1u);
  EXPECT_EQ(mixer->ActiveChannels(), 4u);
  int v, l, p;
  EXPECT_EQ(mixer->ChState(0, &v, &l, &p), 1);
  EXPECT_EQ(v, 128);
  EXPECT_EQ(p, -100);
  EXPECT_EQ(mixer->ChState(2, &v, &l, &p), 1);
  EXPECT_EQ(p, -100);
  EXPECT_EQ(mixer->ChPan(3, 127), 100);
  EXPECT_EQ(mixer->ChPan(3, 50), 127);
  EXPECT_EQ(mixer->ChVolume(3, 250), 64);
  EXPECT_EQ(mixer->ChLoop(3, 9), 2);
  qvrtest::LogCapture log;
  mixer->PrintInfo();
  EXPECT_EQ(log.Text(),
            "Mixer: signed 16 bits, little endian, 44100 Hz, stereo\n"
            "Channels (active/total): 4/4\n"
            "Mixer: state=paused, next=4, first=0, last=3\n"
            "Channel 0: 16000 bytes left, volume (128,127L,0R), loop=1, pan=-100\n"
            "Channel 1: 16000 bytes left, volume (128,128L,128R), loop=3, pan=127\n"
            "Channel 2: 16000 bytes left, volume (128,127L,0R), loop=2, pan=-100\n"
            "Channel 3: 16000 bytes left, volume (128,31L,95R), loop=9, pan=50\n");
  mixer->ChStop(1);
  EXPECT_EQ(mixer->ChState(1, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(mixer->ActiveChannels(), 3u);
  EXPECT_EQ(mixer->PlaySound(&s, 0xFFFFFFFF, 128, 1, 0), 1u);  // the freed one
}

TEST_F(MixerTest, MonoOutputIgnoresPan) {
  QVRMixer* mixer = QVRMixer::Singleton();
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 22050, 0, false, 4));
  RawSound s(std::string(200, '\x10'), QVR_AUDIO_S16LSB, 22050, 1);
  ASSERT_EQ(mixer->PlaySound(&s, 0, 100, 1, -50), 0u);
  EXPECT_EQ(mixer->ChPan(0, 30), 127);
  int p = 0;
  mixer->ChState(0, nullptr, nullptr, &p);
  EXPECT_EQ(p, 127);
}

TEST_F(MixerTest, EmptyAndPartialSounds) {
  QVRMixer* mixer = QVRMixer::Singleton();
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 22050, 256, true, 4));
  RawSound empty("", QVR_AUDIO_S16LSB, 22050, 2), tiny("\x01\x02\x03", QVR_AUDIO_S16LSB, 22050, 2);
  {
    qvrtest::LogCapture log;
    EXPECT_EQ(mixer->PlaySound(&empty, 0xFFFFFFFF, 128, 1, 127), 0xFFFFFFFFu);
    EXPECT_EQ(mixer->PlaySound(&tiny, 0xFFFFFFFF, 128, 255, 127), 0xFFFFFFFFu);
    EXPECT_EQ(mixer->PlaySound(nullptr, 0xFFFFFFFF, 128, 1, 127), 0xFFFFFFFFu);
    EXPECT_EQ(log.Text(), "Mixer: sound has no data\nMixer: sound has no data\n");
  }
  // Seven bytes: one whole stereo frame is played, the rest never read.
  RawSound odd(Constant(QVR_AUDIO_S16LSB, 1000, 3) + "\x7F", QVR_AUDIO_S16LSB, 22050, 2);
  ASSERT_EQ(mixer->PlaySound(&odd, 0, 128, 1, 127), 0u);
  std::vector<uint8_t> buffer(16, 0);
  Mix(QVR_AUDIO_S16LSB, buffer);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()),
            Constant(QVR_AUDIO_S16LSB, 1000, 2) + std::string(12, '\0'));
  EXPECT_EQ(mixer->ActiveChannels(), 0u);
  // A seek to the very end: the play ends at once, the next one starts.
  RawSound s(Constant(QVR_AUDIO_S16LSB, 7, 8), QVR_AUDIO_S16LSB, 22050, 2);
  ASSERT_EQ(mixer->PlaySound(&s, 0, 128, 2, 127), 0u);
  EXPECT_TRUE(mixer->ChSeek(0, 99));
  buffer.assign(24, 0);
  Mix(QVR_AUDIO_S16LSB, buffer);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()),
            Constant(QVR_AUDIO_S16LSB, 7, 8) + std::string(8, '\0'));
}

TEST_F(MixerTest, CueLoopsAndStops) {
  QVRMixer* mixer = QVRMixer::Singleton();
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 22050, 256, true, 8));
  const std::string tone = Constant(QVR_AUDIO_S16LSB, 300, 10) + Constant(QVR_AUDIO_S16LSB, -5, 10);
  RawSound s(tone, QVR_AUDIO_S16LSB, 22050, 2);
  const std::string silence(tone.size(), '\0');
  std::vector<uint8_t> buffer(tone.size() * 5, 0);

  // Cued: paused until started, even as the only channel.
  ASSERT_EQ(mixer->PlaySound(&s, 5, 128, 0, 127), 5u);
  EXPECT_EQ(mixer->ChState(5, nullptr, nullptr, nullptr), 2);
  Mix(QVR_AUDIO_S16LSB, buffer);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(buffer.size(), '\0'));
  mixer->ChPause(5, false);
  // Loop 3: heard three times, then the channel is free.
  mixer->ChLoop(5, 3);
  Mix(QVR_AUDIO_S16LSB, buffer);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), tone + tone + tone + silence + silence);
  EXPECT_EQ(mixer->ChState(5, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(mixer->ActiveChannels(), 0u);

  // 255 repeats until stopped.
  ASSERT_EQ(mixer->PlaySound(&s, 0, 128, 255, 127), 0u);
  for (int i = 0; i < 20; ++i) {
    Mix(QVR_AUDIO_S16LSB, buffer);
    ASSERT_EQ(std::string(buffer.begin(), buffer.end()), tone + tone + tone + tone + tone);
  }
  // A loop count of 0 on a playing channel ends it with the current play.
  mixer->ChSeek(0, 5);
  mixer->ChLoop(0, 0);
  Mix(QVR_AUDIO_S16LSB, buffer);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()),
            tone.substr(20) + silence + silence + silence + silence + std::string(20, '\0'));
  EXPECT_EQ(mixer->ActiveChannels(), 0u);

  // ChGetPos counts frames.
  RawSound longer(std::string(4000 * 4, '\x01'), QVR_AUDIO_S16LSB, 22050, 2);
  ASSERT_EQ(mixer->PlaySound(&longer, 1, 128, 1, 127), 1u);
  buffer.assign(4000, 0);
  Mix(QVR_AUDIO_S16LSB, buffer);
  EXPECT_EQ(mixer->ChGetPos(1), 1000u);
  EXPECT_TRUE(mixer->ChSeek(1, 3999));
  EXPECT_EQ(mixer->ChGetPos(1), 3999u);
  mixer->ChStop(1);
  EXPECT_EQ(mixer->ChGetPos(1), 0xFFFFFFFFu);
  EXPECT_FALSE(mixer->ChSeek(1, 0));
}

TEST_F(MixerTest, ClippingAndSilence) {
  QVRMixer* mixer = QVRMixer::Singleton();
  for (int format : kFormats) {
    SCOPED_TRACE(format);
    ASSERT_TRUE(mixer->Init(format, 22050, 256, true, 4));
    const bool eight = mixtest::Bytes(format) == 1;
    RawSound high(Constant(format, eight ? 127 : 32767, 64), format, 22050, 2);
    RawSound low(Constant(format, eight ? -128 : -32768, 64), format, 22050, 2);
    mixer->PlaySound(&high, 0, 128, 1, 127);
    mixer->PlaySound(&high, 1, 128, 1, 127);
    std::vector<uint8_t> buffer = SdlBuffer(format, 64 * mixtest::Bytes(format));
    Mix(format, buffer);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), Constant(format, eight ? 127 : 32767, 64));
    mixer->PlaySound(&low, 0, 128, 1, 127);
    mixer->PlaySound(&low, 1, 128, 1, 127);
    Mix(format, buffer);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()),
              Constant(format, eight ? -128 : -32768, 64));
    // Every channel paused: the buffer is the format's silence (0x8000 for
    // the unsigned 16-bit formats, where SDL hands over zeros).
    mixer->PlaySound(&low, 0, 128, 0, 127);
    buffer = SdlBuffer(format, 256);
    Mix(format, buffer);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()),
              Constant(format, 0, 256 / mixtest::Bytes(format)));
    // Ending inside a buffer: the rest is silence too.
    mixer->ChStop(0);
    RawSound one(Constant(format, 5, 2), format, 22050, 2);
    mixer->PlaySound(&one, 2, 128, 1, 127);
    buffer = SdlBuffer(format, 256);
    Mix(format, buffer);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()),
              Constant(format, 5, 2) + Constant(format, 0, 256 / mixtest::Bytes(format) - 2));
  }
}

TEST_F(MixerTest, SetMixerFormatConvertsSoundsAndMusic) {
  RawSound s(std::string(400, '\x40'), QVR_AUDIO_U8, 11025, 1);
  s.SetMixerFormat();  // no mixer yet: untouched
  EXPECT_EQ(s.GetFormat(), QVR_AUDIO_U8);
  QVRMixer* mixer = QVRMixer::Singleton();
  s.SetMixerFormat();  // not initialised: untouched
  EXPECT_EQ(s.GetFormat(), QVR_AUDIO_U8);
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 22050, 0, true, 4));
  EXPECT_FALSE(mixer->SameFormat(&s));
  EXPECT_FALSE(mixer->SameFormat(static_cast<QVRSound*>(nullptr)));
  s.SetMixerFormat();
  EXPECT_EQ(s.GetFormat(), QVR_AUDIO_S16LSB);
  EXPECT_EQ(s.GetFreq(), 22050);
  EXPECT_EQ(s.GetChannels(), 2);
  EXPECT_EQ(s.GetSize(), 400u * 8);
  EXPECT_TRUE(mixer->SameFormat(&s));
  const uint8_t* before = s.GetData();
  s.SetMixerFormat();  // already there: the same buffer
  EXPECT_EQ(s.GetData(), before);

  soundtest::MemStream stream(soundtest::PcmWav(1, 11025, 8, std::string(1000, '\x80')));
  QVRMusic music;
  ASSERT_TRUE(music.Load(*stream, 0));
  EXPECT_FALSE(mixer->SameFormat(&music));
  music.SetMixerFormat();
  EXPECT_TRUE(mixer->SameFormat(&music));
  ASSERT_EQ(mixer->PlayMusic(&music, 0xFFFFFFFF, 128, 1, 127), 0u);
  EXPECT_EQ(mixer->ChGetPos(0), 1000u);  // the first chunk is fetched
}

TEST_F(MixerTest, MusicLoopsAndRefusals) {
  QVRMixer* mixer = QVRMixer::Singleton();
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 22050, 512, true, 4));
  std::mt19937 rng(3);
  const std::string pcm = RandomBytes(rng, 20000);  // three chunks, the last short
  soundtest::MemStream stream(soundtest::PcmWav(2, 22050, 16, pcm));
  QVRMusic music;
  ASSERT_TRUE(music.Load(*stream, 0));
  ASSERT_EQ(mixer->PlayMusic(&music, 0xFFFFFFFF, 128, 2, 127), 0u);
  std::string heard;
  std::vector<uint8_t> buffer(2048);
  for (int i = 0; i < 40 && mixer->ActiveChannels() > 0; ++i) {
    std::fill(buffer.begin(), buffer.end(), 0);
    Mix(QVR_AUDIO_S16LSB, buffer);
    heard.append(buffer.begin(), buffer.end());
  }
  EXPECT_EQ(mixer->ActiveChannels(), 0u);
  ASSERT_GE(heard.size(), 2 * pcm.size());
  EXPECT_TRUE(heard.substr(0, 2 * pcm.size()) == pcm + pcm);
  EXPECT_EQ(heard.substr(2 * pcm.size()), std::string(heard.size() - 2 * pcm.size(), '\0'));

  // A music without data, or whose conversion is refused, is not played.
  soundtest::MemStream slow(soundtest::PcmWav(1, 10, 8, std::string(100, '\x90')));
  QVRMusic refused;
  ASSERT_TRUE(refused.Load(*slow, 0));
  qvrtest::LogCapture log;
  refused.SetMixerFormat();
  EXPECT_EQ(mixer->PlayMusic(&refused, 0xFFFFFFFF, 128, 1, 127), 0xFFFFFFFFu);
  EXPECT_EQ(mixer->PlayMusic(nullptr, 0xFFFFFFFF, 128, 1, 127), 0xFFFFFFFFu);
  const std::string text = log.Text();
  EXPECT_NE(text.find("Mixer: music has no data\n"), std::string::npos) << text;
  EXPECT_EQ(mixer->ActiveChannels(), 0u);
}

// ---- The real audio thread ------------------------------------------------------

TEST_F(MixerTest, DiskDriverWritesTheReferenceMix) {
  qvrtest::TempDir dir;
  const std::string out = dir / "out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "1", 1);
  std::mt19937 rng(77);
  const int format = QVR_AUDIO_S16LSB;
  {
    QVRMixer* mixer = QVRMixer::Singleton();
    ASSERT_TRUE(mixer->Init(format, 44100, 1024, true, 16));
    const unsigned size = mixer->Spec().size;
    // Sounds of up to a second, some looping, and a music file on disk
    // converted from 22050 Hz mono 8-bit.
    std::vector<std::unique_ptr<RawSound>> sounds;
    for (int i = 0; i < 6; ++i)
      sounds.push_back(std::make_unique<RawSound>(RandomBytes(rng, 4 * (2000 + rng() % 40000)),
                                                  format, 44100, 2));
    const std::string wavPath = dir / "music.wav";
    ASSERT_TRUE(
        qvrtest::WriteAll(wavPath, soundtest::PcmWav(1, 22050, 8, RandomBytes(rng, 22050))));
    QVRFile fileA(wavPath.c_str(), QVRResFile::READ), fileB(wavPath.c_str(), QVRResFile::READ);
    QVRMusic musicA, musicB;
    ASSERT_TRUE(musicA.Load(fileA, 0));
    ASSERT_TRUE(musicB.Load(fileB, 0));
    musicA.SetMixerFormat();
    musicB.SetMixerFormat();

    RefMixer ref(format, 2, 16);
    for (int i = 0; i < 6; ++i) {
      const int volume = 40 + int(rng() % 80), pan = int(rng() % 201) - 100, loop = 1 + i % 2;
      ASSERT_EQ(mixer->PlaySound(sounds[i].get(), 0xFFFFFFFF, uint8_t(volume), uint8_t(loop), pan),
                ref.Play(sounds[i].get(), 0xFFFFFFFF, volume, loop, pan));
    }
    ASSERT_EQ(mixer->PlayMusic(&musicA, 0xFFFFFFFF, 100, 1, 30),
              ref.PlayMusic(&musicB, 0xFFFFFFFF, 100, 1, 30));

    mixer->Unpause();
    for (int waited = 0; mixer->ActiveChannels() > 0 && waited < 20000; waited += 5) SDL_Delay(5);
    ASSERT_EQ(mixer->ActiveChannels(), 0u);
    SDL_Delay(30);  // a few silent buffers more
    mixer->Exit();

    const std::string written = qvrtest::ReadAll(out);
    ASSERT_EQ(written.size() % size, 0u);
    // Buffers written while paused are silent; the first mixed one is not.
    size_t start = 0;
    while (start < written.size() && written.compare(start, size, std::string(size, '\0')) == 0)
      start += size;
    ASSERT_LT(start, written.size());
    std::vector<uint8_t> expected(written.size() - start);
    for (size_t at = 0; at < expected.size(); at += size) ref.Mix(expected.data() + at, size);
    EXPECT_EQ(ref.Active(), 0u);
    EXPECT_TRUE(written.compare(start, std::string::npos,
                                std::string(expected.begin(), expected.end())) == 0);
  }
}

}  // namespace
