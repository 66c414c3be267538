// The mixing callback for 1, 8, 32 and 64 playing channels of 16-bit stereo
// 44.1 kHz into a 4096-byte buffer, ours against SDL_mixer 1.2's own
// callback on the same channels; and music streaming from a disk file:
// pass-through against plain read() of the same 8192-byte chunks, and each
// conversion path.
//
// Both callbacks are called directly on a paused device (SDL's dummy
// driver), so that only the mixing is timed: this program defines
// SDL_OpenAudio, which records the callback that each mixer hands to SDL and
// forwards to SDL's own. SDL_mixer's callback does its channel bookkeeping,
// SDL_MixAudio per channel and its post-mix step, ours takes its lock and
// mixes; neither converts anything.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/mixer.h"
#include "qvr3d/music.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

#if QVR_HAVE_SDL_MIXER
#include <SDL_mixer.h>
#endif

#include "ratio_reporter.h"

namespace {

using Callback = void (*)(void*, Uint8*, int);
Callback g_callback = nullptr;
void* g_userdata = nullptr;

}  // namespace

extern "C" int SDL_OpenAudio(SDL_AudioSpec* desired, SDL_AudioSpec* obtained) {
  using Open = int (*)(SDL_AudioSpec*, SDL_AudioSpec*);
  static Open real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "SDL_OpenAudio"));
  g_callback = desired->callback;
  g_userdata = desired->userdata;
  return real(desired, obtained);
}

namespace {

constexpr int kBuffer = 4096;
constexpr int kMaxChannels = 64;

// 64 different two-second stereo 16-bit sounds of noise at moderate level.
std::vector<std::string> MakeSamples() {
  std::vector<std::string> samples;
  uint32_t state = 12345;
  for (int s = 0; s < kMaxChannels; ++s) {
    std::string bytes(44100 * 4 * 2, '\0');
    for (size_t i = 0; i < bytes.size(); i += 2) {
      state = state * 1103515245u + 12345u;
      const int16_t v = int16_t(int(state >> 16 & 0x3FFF) - 0x2000);
      bytes[i] = char(v & 0xFF);
      bytes[i + 1] = char((v >> 8) & 0xFF);
    }
    samples.push_back(bytes);
  }
  return samples;
}

const std::vector<std::string>& Samples() {
  static const std::vector<std::string> samples = MakeSamples();
  return samples;
}

class BenchSound : public QVRSound {
 public:
  explicit BenchSound(const std::string& bytes) {
    m_format = QVR_AUDIO_S16LSB;
    m_freq = 44100;
    m_channels = 2;
    m_size = uint32_t(bytes.size());
    m_data = static_cast<uint8_t*>(std::malloc(bytes.size()));
    std::memcpy(m_data, bytes.data(), bytes.size());
  }
};

QVRMixer* g_mixer = nullptr;
bool g_sdlMixerOpen = false;

void CloseAll() {
#if QVR_HAVE_SDL_MIXER
  if (g_sdlMixerOpen) Mix_CloseAudio();
#endif
  g_sdlMixerOpen = false;
  g_mixer->Exit();
}

// range(0) channels, range(1) their volume (128 is full volume; anything
// lower takes the general multiply-and-divide path of both mixers).
void BM_QVRMixer(benchmark::State& state) {
  const int channels = int(state.range(0));
  const uint8_t volume = uint8_t(state.range(1));
  CloseAll();
  if (!g_mixer->Init(QVR_AUDIO_S16LSB, 44100, kBuffer / 4, true, 64)) {
    state.SkipWithError("mixer init failed");
    return;
  }
  Callback callback = g_callback;
  std::vector<std::unique_ptr<BenchSound>> sounds;
  for (int i = 0; i < channels; ++i) {
    sounds.push_back(std::make_unique<BenchSound>(Samples()[i]));
    g_mixer->PlaySound(sounds.back().get(), unsigned(i), volume, 255, 127);
  }
  std::vector<Uint8> buffer(kBuffer);
  for (auto _ : state) {
    callback(nullptr, buffer.data(), kBuffer);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBuffer);
  g_mixer->Exit();
}

#if QVR_HAVE_SDL_MIXER
void BM_SDLMixer(benchmark::State& state) {
  const int channels = int(state.range(0));
  const int volume = int(state.range(1));
  CloseAll();
  if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, kBuffer / 4) < 0) {
    state.SkipWithError(Mix_GetError());
    return;
  }
  g_sdlMixerOpen = true;
  SDL_PauseAudio(1);  // only our calls run the callback
  Callback callback = g_callback;
  void* userdata = g_userdata;
  Mix_AllocateChannels(kMaxChannels);
  std::vector<Mix_Chunk*> chunks;
  for (int i = 0; i < channels; ++i) {
    const std::string& bytes = Samples()[i];
    Mix_Chunk* chunk = Mix_QuickLoad_RAW(reinterpret_cast<Uint8*>(const_cast<char*>(bytes.data())),
                                         Uint32(bytes.size()));
    chunks.push_back(chunk);
    Mix_Volume(i, volume);
    Mix_PlayChannel(i, chunk, -1);
  }
  std::vector<Uint8> buffer(kBuffer);
  for (auto _ : state) {
    std::memset(buffer.data(), 0, kBuffer);  // SDL hands the callback silence
    callback(userdata, buffer.data(), kBuffer);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBuffer);
  Mix_HaltChannel(-1);
  for (Mix_Chunk* chunk : chunks) Mix_FreeChunk(chunk);
  Mix_CloseAudio();
  g_sdlMixerOpen = false;
}
#endif

// ---- Music from a disk file ------------------------------------------------------

struct MusicFile {
  const char* name;
  const char* sox;  // sox output options
  const char* ext;
  int outFormat, outFreq, outChannels;
};

const MusicFile kMusic[] = {
    {"passthrough_s16_stereo_44k", "-r 44100 -c 2 -b 16 -e signed", "wav", QVR_AUDIO_S16LSB, 44100,
     2},
    {"aiff_swap_s16_stereo_44k", "-r 44100 -c 2 -b 16", "aiff", QVR_AUDIO_S16LSB, 44100, 2},
    {"u8_mono_22k_to_s16_stereo_44k", "-r 22050 -c 1 -b 8 -e unsigned", "wav", QVR_AUDIO_S16LSB,
     44100, 2},
    {"s16_stereo_44k_to_u8_mono_22k", "-r 44100 -c 2 -b 16 -e signed", "wav", QVR_AUDIO_U8, 22050,
     1},
    {"s16_stereo_44k_to_s16msb", "-r 44100 -c 2 -b 16 -e signed", "wav", QVR_AUDIO_S16MSB, 44100,
     2},
    {"s16_stereo_44k_to_u16lsb", "-r 44100 -c 2 -b 16 -e signed", "wav", QVR_AUDIO_U16LSB, 44100,
     2},
    {"s16_mono_22k_to_s16_stereo_44k", "-r 22050 -c 1 -b 16 -e signed", "wav", QVR_AUDIO_S16LSB,
     44100, 2},
};

std::string MusicPath(const MusicFile& m) {
  return std::string("/tmp/qvr3d-mixer-bench-") + m.name + "." + m.ext;
}

bool MakeMusic() {
  for (const MusicFile& m : kMusic) {
    const std::string cmd = std::string("sox -R -n ") + m.sox + " " + MusicPath(m) +
                            " synth 30 sine 440 sine 660 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return false;
  }
  return true;
}

void BM_MusicNextData(benchmark::State& state) {
  const MusicFile& m = kMusic[state.range(0)];
  QVRFile file(MusicPath(m).c_str(), QVRResFile::READ);
  QVRMusic music;
  if (!music.Load(file, 0)) {
    state.SkipWithError("music load failed");
    return;
  }
  music.ChangeFormat(m.outFormat, m.outFreq, m.outChannels);
  uint64_t out = 0;
  for (auto _ : state) {
    while (const unsigned char* chunk = music.NextData()) {
      benchmark::DoNotOptimize(chunk);
      out += music.GetSize();
    }
  }
  // File bytes per second.
  state.SetBytesProcessed(int64_t(state.iterations()) * music.GetDataSize());
  state.counters["out_bytes"] = double(out) / double(state.iterations());
}

// The same chunks with read(2) on a file descriptor (range(1) 0) or with
// stdio's fread (range(1) 1), which the library's disk stream uses.
void BM_PlainRead(benchmark::State& state) {
  const MusicFile& m = kMusic[state.range(0)];
  const bool stdio = state.range(1) != 0;
  QVRFile header(MusicPath(m).c_str(), QVRResFile::READ);
  QVRMusic music;
  if (!music.Load(header, 0)) {
    state.SkipWithError("music load failed");
    return;
  }
  const uint32_t start = header.GetPos(), size = music.GetDataSize();
  const int fd = open(MusicPath(m).c_str(), O_RDONLY);
  FILE* file = std::fopen(MusicPath(m).c_str(), "rb");
  std::vector<unsigned char> chunk(QVRMusic::kChunkBytes);
  for (auto _ : state) {
    if (stdio)
      std::fseek(file, long(start), SEEK_SET);
    else
      lseek(fd, start, SEEK_SET);
    for (uint32_t done = 0; done < size;) {
      const uint32_t want = size - done < chunk.size() ? size - done : uint32_t(chunk.size());
      const ssize_t got =
          stdio ? ssize_t(std::fread(chunk.data(), 1, want, file)) : read(fd, chunk.data(), want);
      if (got <= 0) break;
      done += uint32_t(got);
      benchmark::DoNotOptimize(chunk.data());
    }
  }
  std::fclose(file);
  close(fd);
  state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  QVR::SetLogLevel(1);
  if (!MakeMusic()) {
    std::fprintf(stderr, "sox could not write the music files\n");
    return 1;
  }
  g_mixer = QVRMixer::Singleton();
  const int counts[] = {1, 8, 32, 64};
  for (int n : counts) {
    for (int volume : {128, 100}) {
      if (volume != 128 && n != 64) continue;
      benchmark::RegisterBenchmark("BM_QVRMixer", BM_QVRMixer)
          ->Args({n, volume})
          ->Unit(benchmark::kMicrosecond);
#if QVR_HAVE_SDL_MIXER
      benchmark::RegisterBenchmark("BM_SDLMixer", BM_SDLMixer)
          ->Args({n, volume})
          ->Unit(benchmark::kMicrosecond);
#endif
    }
  }
  for (int i = 0; i < int(sizeof(kMusic) / sizeof(kMusic[0])); ++i)
    benchmark::RegisterBenchmark((std::string("BM_MusicNextData/") + kMusic[i].name).c_str(),
                                 BM_MusicNextData)
        ->Arg(i)
        ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_PlainRead/passthrough_s16_stereo_44k", BM_PlainRead)
      ->Args({0, 0})
      ->Args({0, 1})
      ->Unit(benchmark::kMillisecond);

  qvrbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\nRatios (ours / peer, bytes per second):\n");
  for (int n : counts)
    reporter.PrintRatio("BM_QVRMixer/" + std::to_string(n) + "/128",
                        "BM_SDLMixer/" + std::to_string(n) + "/128");
  reporter.PrintRatio("BM_QVRMixer/64/100", "BM_SDLMixer/64/100");
  reporter.PrintRatio("BM_MusicNextData/passthrough_s16_stereo_44k/0",
                      "BM_PlainRead/passthrough_s16_stereo_44k/0/0");
  reporter.PrintRatio("BM_MusicNextData/passthrough_s16_stereo_44k/0",
                      "BM_PlainRead/passthrough_s16_stereo_44k/0/1");
  std::printf("\nConversion paths (file MB/s):\n");
  for (int i = 0; i < int(sizeof(kMusic) / sizeof(kMusic[0])); ++i) {
    const std::string name =
        std::string("BM_MusicNextData/") + kMusic[i].name + "/" + std::to_string(i);
    std::printf("  %-44s %8.1f\n", kMusic[i].name, reporter.Rate(name) / 1e6);
  }
  delete g_mixer;
  return 0;
}
