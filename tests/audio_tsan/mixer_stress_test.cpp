// Stress of the mixer under ThreadSanitizer: the game thread plays, stops,
// pauses, seeks, pans, changes volumes and loops on all 64 channels while
// the disk driver's thread mixes as fast as it can. A sanitizer report, a
// deadlock (the test's timeout) or an allocation on the audio thread fails.
// QVR_STRESS_SECONDS sets the duration (default 6 s).
#include <gtest/gtest.h>
#include <pthread.h>

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "audio/sound_helpers.h"
#include "qvr3d/mixer.h"
#include "qvr3d/music.h"
#include "qvr3d/sound.h"

// The sanitizer runtimes (TSan, ASan) call these on every malloc and free.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {

pthread_t g_gameThread;
std::atomic<bool> g_counting{false};
std::atomic<unsigned> g_audioAllocations{0};

void CountMalloc(const volatile void*, size_t) {
  if (g_counting.load(std::memory_order_relaxed) && !pthread_equal(pthread_self(), g_gameThread))
    g_audioAllocations.fetch_add(1, std::memory_order_relaxed);
}
void CountFree(const volatile void*) { CountMalloc(nullptr, 0); }

class RawSound : public QVRSound {
 public:
  RawSound(const std::string& bytes, int format, int freq, int channels) {
    m_format = format;
    m_freq = freq;
    m_channels = channels;
    m_size = uint32_t(bytes.size());
    m_data = static_cast<uint8_t*>(std::malloc(bytes.size()));
    std::memcpy(m_data, bytes.data(), bytes.size());
  }
};

double Seconds() {
  const char* env = std::getenv("QVR_STRESS_SECONDS");
  const double s = env ? std::atof(env) : 6.0;
  return s > 0 ? s : 6.0;
}

TEST(MixerStress, GameThreadAgainstTheAudioThread) {
  const bool hooked = __sanitizer_install_malloc_and_free_hooks(CountMalloc, CountFree) != 0;
  g_gameThread = pthread_self();
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  std::mt19937 rng(4242);

  QVRMixer* mixer = QVRMixer::Singleton();
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 44100, 1024, true, 64));
  std::vector<std::unique_ptr<RawSound>> sounds;
  for (int i = 0; i < 12; ++i) {
    std::string bytes(4 * (i < 4 ? 1 + rng() % 64 : 500 + rng() % 20000), '\0');
    for (char& c : bytes) c = char(rng());
    sounds.push_back(std::make_unique<RawSound>(bytes, QVR_AUDIO_S16LSB, 44100, 2));
  }
  // Musics on channels 60..63 only, one channel each; converted on the fly.
  std::vector<std::unique_ptr<soundtest::MemStream>> streams;
  std::vector<std::unique_ptr<QVRMusic>> musics;
  for (int i = 0; i < 4; ++i) {
    std::string pcm(20000 + 5000 * i, '\0');
    for (char& c : pcm) c = char(rng());
    streams.push_back(std::make_unique<soundtest::MemStream>(
        soundtest::PcmWav(1 + i % 2, 11025 << (i % 3), 8 << (i % 2), pcm)));
    musics.push_back(std::make_unique<QVRMusic>());
    ASSERT_TRUE(musics.back()->Load(**streams.back(), 0));
    musics.back()->SetMixerFormat();
  }
  ASSERT_NE(mixer->PlaySound(sounds[11].get(), 0, 10, 255, 127), 0xFFFFFFFFu);
  mixer->Unpause();
  SDL_Delay(200);
  const unsigned posBefore = mixer->ChGetPos(0);

  // The hook sees allocations of other threads.
  g_counting = true;
  pthread_t probe;
  pthread_create(
      &probe, nullptr, [](void*) -> void* { return std::malloc(16); }, nullptr);
  void* probed = nullptr;
  pthread_join(probe, &probed);
  std::free(probed);
  if (hooked) {
    EXPECT_GT(g_audioAllocations.load(), 0u);
  }
  g_audioAllocations = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds());
  unsigned long ops = 0;
  while (std::chrono::steady_clock::now() < end) {
    for (int burst = 0; burst < 200; ++burst, ++ops) {
      const unsigned ch = 1 + rng() % 59;
      switch (rng() % 14) {
        case 0:
        case 1:
        case 2: {
          const unsigned loops[] = {0, 1, 2, 3, 255};
          mixer->PlaySound(sounds[rng() % 11].get(), ch, uint8_t(rng() % 129),
                           uint8_t(loops[rng() % 5]), int(rng() % 201) - 100);
          break;
        }
        case 3:
          mixer->PlaySound(sounds[rng() % 11].get(), 0xFFFFFFFF, 128, 1, 127);
          break;
        case 4: {
          const unsigned m = rng() % 4;
          mixer->PlayMusic(musics[m].get(), 60 + m, uint8_t(rng() % 129), uint8_t(1 + rng() % 3),
                           127);
          break;
        }
        case 5:
          mixer->ChStop(ch);
          break;
        case 6:
          mixer->ChPause(rng() % 64, rng() & 1);
          break;
        case 7:
          mixer->ChSeek(rng() % 64, rng() % 30000);
          break;
        case 8:
          mixer->ChPan(rng() % 64, int(rng() % 241) - 120);
          break;
        case 9:
          mixer->ChVolume(rng() % 64, uint8_t(rng()));
          break;
        case 10:
          mixer->ChLoop(rng() % 64, uint8_t(rng() % 4));
          break;
        case 11: {
          int v, l, p;
          mixer->ChState(rng() % 64, &v, &l, &p);
          mixer->ChGetPos(rng() % 64);
          break;
        }
        case 12:
          mixer->ActiveChannels();
          break;
        default:
          if (rng() % 50 == 0) {
            mixer->Pause();
            mixer->Unpause();
          }
          break;
      }
    }
    SDL_Delay(1);
  }
  g_counting = false;
  // The audio thread mixes: a fresh channel moves on by itself.
  EXPECT_NE(posBefore, 0u);
  ASSERT_EQ(mixer->PlaySound(sounds[11].get(), 0, 10, 255, 127), 0u);
  SDL_Delay(100);
  const unsigned pos = mixer->ChGetPos(0);
  EXPECT_TRUE(pos != 0 && pos != 0xFFFFFFFFu) << pos;
  if (hooked) {
    EXPECT_EQ(g_audioAllocations.load(), 0u);
  } else {
    std::printf("no sanitizer allocation hooks: allocations on the audio thread not counted\n");
  }
  std::printf("%lu operations in %.1f s\n", ops, Seconds());

  // Shut down and start again while sounds play.
  mixer->Exit();
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 44100, 512, true, 64));
  mixer->Unpause();
  for (int i = 0; i < 64; ++i) mixer->PlaySound(sounds[i % 12].get(), 0xFFFFFFFF, 64, 255, 0);
  SDL_Delay(50);
  delete mixer;
}

}  // namespace
