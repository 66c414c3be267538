// Sound loading from memory against SDL 1.2's SDL_LoadWAV_RW on the same
// bytes (60-second 44.1 kHz stereo MS ADPCM, IMA ADPCM and 16-bit PCM WAV
// files made with sox at start-up), and the size-changing conversions against
// memcpy of their output bytes between warm buffers. Ratios are printed at
// the end.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

#include "ratio_reporter.h"

namespace {

struct Source {
  const char* name;
  const char* encoding;
  std::vector<unsigned char> bytes;
};

Source g_sources[] = {{"msadpcm", "-e ms-adpcm", {}},
                      {"imaadpcm", "-e ima-adpcm", {}},
                      {"pcm16", "-e signed -b 16", {}},
                      {"pcm8", "-e unsigned -b 8", {}}};

bool MakeSources() {
  for (Source& s : g_sources) {
    std::string path = std::string("/tmp/qvr3d-sound-bench-") + s.name + ".wav";
    std::string cmd = std::string("sox -R -n -r 44100 -c 2 ") + s.encoding + " " + path +
                      " synth 60 sine 440 sine 660 synth 60 pinknoise mix vol 0.5 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    s.bytes.resize(size_t(size));
    bool ok = std::fread(s.bytes.data(), 1, s.bytes.size(), f) == s.bytes.size();
    std::fclose(f);
    std::remove(path.c_str());
    if (!ok) return false;
  }
  return true;
}

bool LoadInto(QVRSound& sound, Source& s) {
  QVRMemFile stream(unsigned(s.bytes.size()), QVRResFile::READ, s.bytes.data(), false, s.name);
  return sound.Load(stream, 0);
}

void BM_QVR_Load(benchmark::State& state, int which) {
  Source& s = g_sources[which];
  for (auto _ : state) {
    QVRSound sound;
    if (!LoadInto(sound, s)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(sound.GetData());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.bytes.size()));
}

void BM_SDL_Load(benchmark::State& state, int which) {
  Source& s = g_sources[which];
  for (auto _ : state) {
    SDL_AudioSpec spec;
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(SDL_RWFromConstMem(s.bytes.data(), int(s.bytes.size())), 1, &spec, &buffer,
                        &length))
      state.SkipWithError(SDL_GetError());
    benchmark::DoNotOptimize(buffer);
    SDL_FreeWAV(buffer);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.bytes.size()));
}

// A conversion on a fresh 60-second sound each time; the reload is not timed.
// Bytes processed are the conversion's output bytes.
template <void (QVRSound::*kConv)()>
void BM_Conv(benchmark::State& state, int which, bool mono) {
  QVRSound sound;
  int64_t output = 0;
  for (auto _ : state) {
    state.PauseTiming();
    LoadInto(sound, g_sources[which]);
    if (mono) sound.ConvMono();
    state.ResumeTiming();
    (sound.*kConv)();
    benchmark::DoNotOptimize(sound.GetData());
    output = sound.GetSize();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * output);
}

// The floor under any conversion of a fresh sound: one pass that only reads
// its bytes (as 64-bit words summed), timed like the conversions.
void BM_ReadLoaded(benchmark::State& state, int which) {
  QVRSound sound;
  for (auto _ : state) {
    state.PauseTiming();
    LoadInto(sound, g_sources[which]);
    state.ResumeTiming();
    const uint8_t* p = sound.GetData();
    uint64_t sum = 0;
    for (size_t i = 0; i + 8 <= sound.GetSize(); i += 8) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      sum += word;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * (60 * 44100 * 2));  // ConvMono's output
}

// memcpy of `bytes` between two buffers that are already in use.
void BM_Memcpy(benchmark::State& state) {
  const size_t bytes = size_t(state.range(0));
  std::vector<unsigned char> from(bytes, 1), to(bytes, 2);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// Output sizes of the conversions on 60 s of 44.1 kHz audio.
const int64_t kFrames = 60 * 44100;
const int64_t kMonoOut = kFrames * 2;    // ConvMono: 16-bit mono
const int64_t k8to16Out = kFrames * 4;   // Conv8to16L: 8-bit stereo to 16
const int64_t kMul2Out = kFrames * 8;    // ConvFreqMUL2: 16-bit stereo doubled
const int64_t kStereoOut = kFrames * 4;  // ConvStereo: 16-bit mono to stereo

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!MakeSources()) {
    std::fprintf(stderr, "sox could not make the benchmark files\n");
    return 1;
  }
  QVR::SetLogLevel(0);
  for (int i = 0; i < 3; ++i) {
    std::string name = g_sources[i].name;
    benchmark::RegisterBenchmark(("BM_QVR_Load/" + name).c_str(), BM_QVR_Load, i)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_SDL_Load/" + name).c_str(), BM_SDL_Load, i)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("BM_ConvMono", BM_Conv<&QVRSound::ConvMono>, 2, false)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_ReadLoaded", BM_ReadLoaded, 2)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Conv8to16L", BM_Conv<&QVRSound::Conv8to16L>, 3, false)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_ConvFreqMUL2", BM_Conv<&QVRSound::ConvFreqMUL2>, 2, false)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_ConvStereo", BM_Conv<&QVRSound::ConvStereo>, 2, true)
      ->Unit(benchmark::kMillisecond);
  for (int64_t bytes : {kMonoOut, k8to16Out, kMul2Out})
    benchmark::RegisterBenchmark("BM_Memcpy", BM_Memcpy)->Arg(bytes)->Unit(benchmark::kMillisecond);

  qvrbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\nRatios (ours / peer, bytes per second):\n");
  for (int i = 0; i < 3; ++i) {
    std::string name = g_sources[i].name;
    reporter.PrintRatio("BM_QVR_Load/" + name, "BM_SDL_Load/" + name);
  }
  auto memcpyName = [](int64_t bytes) { return "BM_Memcpy/" + std::to_string(bytes); };
  reporter.PrintRatio("BM_ConvMono", memcpyName(kMonoOut));
  // Reading the stereo input once, counted like ConvMono's output: the floor.
  reporter.PrintRatio("BM_ReadLoaded", memcpyName(kMonoOut));
  reporter.PrintRatio("BM_ConvMono", "BM_ReadLoaded");
  reporter.PrintRatio("BM_Conv8to16L", memcpyName(k8to16Out));
  reporter.PrintRatio("BM_ConvFreqMUL2", memcpyName(kMul2Out));
  reporter.PrintRatio("BM_ConvStereo", memcpyName(kStereoOut));
  return 0;
}
