// The software screen on SDL's dummy driver at 1024 x 768, beside the C
// library and SDL 1.2 doing the same work: CopyImage against memcpy and
// SDL_BlitSurface, TCopyImage against SDL's colour-key blits (plain and
// run-length accelerated) on sources with half the pixels keyed in
// sprite-like runs of 1-64 pixels. Then WaitAcc beside SDL_Delay for 1 to
// 60 ms: median and worst overshoot. Ratios are printed at the end.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/screen.h"
#include "qvr3d/timer.h"

#include "ratio_reporter.h"

namespace {

constexpr unsigned kWidth = 1024;
constexpr unsigned kHeight = 768;
constexpr uint32_t kKey8 = 0xAB;
constexpr uint32_t kKey32 = 0x00FF00FF;

// The screen surface at `bpp` bits, with a grey palette at 8 bits.
SDL_Surface* OpenScreen(unsigned bpp) {
  QVRScreen* screen = QVRScreen::Singleton();
  if (!screen->Init(kWidth, kHeight, 0, bpp)) return nullptr;
  if (bpp == 8) {
    QVRPal grey;
    grey.GenerateGreyScale(256);
    screen->ReplacePalette(&grey);
  }
  return screen->GetSurface();
}

// Pixels with about half of them keyed in alternating runs of 1 to 64.
std::vector<uint8_t> SpritePixels(unsigned bpp, uint32_t key) {
  const unsigned Bpp = bpp / 8;
  std::mt19937 rng(1234);
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * Bpp);
  bool keyed = false;
  unsigned left = 0;
  for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
    if (left == 0) {
      keyed = !keyed;
      left = 1 + rng() % 64;
    }
    --left;
    uint32_t value = keyed ? key : rng() & (bpp == 8 ? 0xFFu : 0xFFFFFFu);
    if (!keyed && value == key) value ^= 1;
    for (unsigned b = 0; b < Bpp; ++b) pixels[i * Bpp + b] = uint8_t(value >> (8 * b));
  }
  return pixels;
}

// A surface in the screen's own format (same palette at 8 bits), so that
// SDL's blit is a straight copy.
SDL_Surface* SourceSurface(SDL_Surface* screen, const std::vector<uint8_t>& pixels) {
  SDL_PixelFormat* f = screen->format;
  SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, kWidth, kHeight, f->BitsPerPixel, f->Rmask,
                                        f->Gmask, f->Bmask, 0);
  if (s == nullptr) return nullptr;
  if (f->palette != nullptr) SDL_SetColors(s, f->palette->colors, 0, f->palette->ncolors);
  const size_t row = size_t(kWidth) * f->BytesPerPixel;
  for (unsigned y = 0; y < kHeight; ++y)
    std::memcpy(static_cast<uint8_t*>(s->pixels) + size_t(y) * s->pitch, pixels.data() + y * row,
                row);
  return s;
}

void BM_Screen_CopyImage(benchmark::State& state) {
  const unsigned bpp = unsigned(state.range(0));
  SDL_Surface* surface = OpenScreen(bpp);
  if (surface == nullptr) return state.SkipWithError("no screen");
  QVRImage src(kWidth, kHeight, bpp);
  std::memset(src.GetPixels(), 0x5A, size_t(src.GetPitch()) * kHeight);
  QVRScreen* screen = QVRScreen::m_instance;
  for (auto _ : state) {
    screen->CopyImage(0, 0, &src, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(surface->pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kHeight * src.GetPitch());
}

void BM_Memcpy(benchmark::State& state) {
  const size_t bytes = size_t(kWidth) * kHeight * (state.range(0) / 8);
  std::vector<uint8_t> src(bytes, 0x5A), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

void BM_SDL_BlitSurface(benchmark::State& state) {
  const unsigned bpp = unsigned(state.range(0));
  SDL_Surface* surface = OpenScreen(bpp);
  if (surface == nullptr) return state.SkipWithError("no screen");
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * (bpp / 8), 0x5A);
  SDL_Surface* src = SourceSurface(surface, pixels);
  if (src == nullptr) return state.SkipWithError("SDL_CreateRGBSurface failed");
  for (auto _ : state) {
    SDL_BlitSurface(src, nullptr, surface, nullptr);
    benchmark::DoNotOptimize(surface->pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * pixels.size());
  SDL_FreeSurface(src);
}

void BM_Screen_TCopyImage(benchmark::State& state) {
  const unsigned bpp = unsigned(state.range(0));
  const uint32_t key = bpp == 8 ? kKey8 : kKey32;
  SDL_Surface* surface = OpenScreen(bpp);
  if (surface == nullptr) return state.SkipWithError("no screen");
  std::vector<uint8_t> pixels = SpritePixels(bpp, key);
  QVRImage src(kWidth, kHeight, bpp);
  std::memcpy(src.GetPixels(), pixels.data(), pixels.size());
  QVRScreen* screen = QVRScreen::m_instance;
  for (auto _ : state) {
    screen->TCopyImage(0, 0, key, &src, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(surface->pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * pixels.size());
}

void SDLKeyBlit(benchmark::State& state, Uint32 flags) {
  const unsigned bpp = unsigned(state.range(0));
  const uint32_t key = bpp == 8 ? kKey8 : kKey32;
  SDL_Surface* surface = OpenScreen(bpp);
  if (surface == nullptr) return state.SkipWithError("no screen");
  std::vector<uint8_t> pixels = SpritePixels(bpp, key);
  SDL_Surface* src = SourceSurface(surface, pixels);
  if (src == nullptr) return state.SkipWithError("SDL_CreateRGBSurface failed");
  SDL_SetColorKey(src, flags, key);
  // The same picture underneath both: the screen's blit and SDL's must agree.
  SDL_FillRect(surface, nullptr, 0);
  SDL_BlitSurface(src, nullptr, surface, nullptr);  // run-length encoding happens here
  for (auto _ : state) {
    SDL_BlitSurface(src, nullptr, surface, nullptr);
    benchmark::DoNotOptimize(surface->pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * pixels.size());
  QVRImage expect(kWidth, kHeight, bpp), image(kWidth, kHeight, bpp);
  std::memcpy(image.GetPixels(), pixels.data(), pixels.size());
  std::memset(expect.GetPixels(), 0, pixels.size());
  expect.TCopyImage(0, 0, key, &image, 0, 0, kWidth, kHeight);
  for (unsigned y = 0; y < kHeight; ++y)
    if (std::memcmp(static_cast<uint8_t*>(surface->pixels) + size_t(y) * surface->pitch,
                    expect.GetPixels() + size_t(y) * expect.GetPitch(), expect.GetPitch()) != 0) {
      state.SkipWithError("SDL and TCopyImage results differ");
      break;
    }
  SDL_FreeSurface(src);
}

void BM_SDL_BlitKey(benchmark::State& state) { SDLKeyBlit(state, SDL_SRCCOLORKEY); }
void BM_SDL_BlitKeyRLE(benchmark::State& state) {
  SDLKeyBlit(state, SDL_SRCCOLORKEY | SDL_RLEACCEL);
}

// Overshoot in milliseconds of `wait` for 1 to 60 ms, `passes` times each.
template <class Wait>
std::vector<double> Overshoots(Wait wait, int passes) {
  std::vector<double> out;
  for (int pass = 0; pass < passes; ++pass)
    for (unsigned ms = 1; ms <= 60; ++ms) {
      auto start = std::chrono::steady_clock::now();
      wait(ms);
      std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
      out.push_back(took.count() - ms);
    }
  return out;
}

void PrintOvershoot(const char* name, std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::printf("%-22s median %+.3f ms  worst %+.3f ms  earliest %+.3f ms  (%zu waits)\n", name,
              v[v.size() / 2], v.back(), v.front(), v.size());
}

}  // namespace

BENCHMARK(BM_Screen_CopyImage)->Arg(8)->Arg(32);
BENCHMARK(BM_Memcpy)->Arg(8)->Arg(32);
BENCHMARK(BM_SDL_BlitSurface)->Arg(8)->Arg(32);
BENCHMARK(BM_Screen_TCopyImage)->Arg(8)->Arg(32);
BENCHMARK(BM_SDL_BlitKey)->Arg(8)->Arg(32);
BENCHMARK(BM_SDL_BlitKeyRLE)->Arg(8)->Arg(32);

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  qvrbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  delete QVRScreen::m_instance;

  std::printf("\nRatios (ours / peer, bytes per second):\n");
  for (const char* bpp : {"8", "32"}) {
    const std::string b(bpp);
    reporter.PrintRatio("BM_Screen_CopyImage/" + b, "BM_Memcpy/" + b);
    reporter.PrintRatio("BM_Screen_CopyImage/" + b, "BM_SDL_BlitSurface/" + b);
    reporter.PrintRatio("BM_Screen_TCopyImage/" + b, "BM_SDL_BlitKey/" + b);
    reporter.PrintRatio("BM_Screen_TCopyImage/" + b, "BM_SDL_BlitKeyRLE/" + b);
  }

  const int passes = std::getenv("QVR_WAIT_PASSES") ? std::atoi(std::getenv("QVR_WAIT_PASSES")) : 3;
  if (passes > 0) {
    std::printf("\nWaits of 1 to 60 ms, overshoot = time taken - time asked:\n");
    QVRTimer timer;
    PrintOvershoot("QVRTimer::WaitAcc",
                   Overshoots([&](unsigned ms) { timer.WaitAcc(ms); }, passes));
    PrintOvershoot("SDL_Delay", Overshoots([](unsigned ms) { SDL_Delay(ms); }, passes));
  }
  return 0;
}
