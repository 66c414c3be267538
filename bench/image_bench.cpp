// Image primitives at 1024 x 768 and every depth, beside the C library and
// SDL 1.2 doing the same work: Rectangle and HLine against memset of the same
// bytes, CopyImage against memcpy, and TCopyImage against SDL's colour-key
// blits (plain and run-length accelerated) on sources with half the pixels
// keyed, either one by one at random (/0) or in runs of 1-64 (/1) or 1-48
// pixels (/2).
// Ratios of bytes per second are printed at the end (medians when repeated).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "qvr3d/image.h"

#include "ratio_reporter.h"

namespace {

constexpr unsigned kWidth = 1024;
constexpr unsigned kHeight = 768;
// A colour with distinct bytes, so no depth can use a one-byte fill.
constexpr uint32_t kColour = 0x00C0FFEE;
constexpr uint32_t kKey8 = 0xAB;
constexpr uint32_t kKey32 = 0x00FF00FF;

unsigned BytesPerPixel(unsigned bpp) { return (bpp + 7) / 8; }

// ---- Fills ----------------------------------------------------------------

void BM_Rectangle(benchmark::State& state) {
  unsigned bpp = unsigned(state.range(0));
  QVRImage img(kWidth, kHeight, bpp);
  for (auto _ : state) {
    img.Rectangle(0, 0, kWidth, kHeight, kColour);
    benchmark::DoNotOptimize(img.GetPixels());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kHeight * img.GetPitch());
}

void BM_Memset_Image(benchmark::State& state) {
  size_t bytes = size_t(kWidth) * kHeight * BytesPerPixel(unsigned(state.range(0)));
  std::vector<uint8_t> buf(bytes);
  for (auto _ : state) {
    std::memset(buf.data(), 0xEE, bytes);
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

// Every row of the image as its own run: HLine against one memset per row.
void BM_HLine(benchmark::State& state) {
  unsigned bpp = unsigned(state.range(0));
  QVRImage img(kWidth, kHeight, bpp);
  for (auto _ : state) {
    for (unsigned y = 0; y < kHeight; ++y) img.HLine(0, int(y), kWidth, kColour);
    benchmark::DoNotOptimize(img.GetPixels());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kHeight * img.GetPitch());
}

void BM_Memset_Rows(benchmark::State& state) {
  size_t row = size_t(kWidth) * BytesPerPixel(unsigned(state.range(0)));
  std::vector<uint8_t> buf(row * kHeight);
  for (auto _ : state) {
    for (unsigned y = 0; y < kHeight; ++y) std::memset(buf.data() + y * row, 0xEE, row);
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * row * kHeight);
}

// ---- Copies ---------------------------------------------------------------

void BM_CopyImage(benchmark::State& state) {
  unsigned bpp = unsigned(state.range(0));
  QVRImage src(kWidth, kHeight, bpp), dst(kWidth, kHeight, bpp);
  std::memset(src.GetPixels(), 0x5A, size_t(src.GetPitch()) * kHeight);
  for (auto _ : state) {
    dst.CopyImage(0, 0, &src, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(dst.GetPixels());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kHeight * dst.GetPitch());
}

void BM_Memcpy_Image(benchmark::State& state) {
  size_t bytes = size_t(kWidth) * kHeight * BytesPerPixel(unsigned(state.range(0)));
  std::vector<uint8_t> src(bytes, 0x5A), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

// ---- Colour-key copies ------------------------------------------------------

// Source pixels with about half of them keyed: pattern 0 keys pixels one by
// one at random, 1 alternates keyed and opaque runs of 1 to 64 pixels, 2 runs
// of 1 to 48.
std::vector<uint8_t> KeyedPixels(unsigned bpp, int pattern) {
  const bool runs = pattern != 0;
  const unsigned longest = pattern == 2 ? 48 : 64;
  unsigned Bpp = BytesPerPixel(bpp);
  uint32_t key = bpp == 8 ? kKey8 : kKey32;
  std::mt19937 rng(1234);
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * Bpp);
  bool keyed = false;
  unsigned left = 0;
  for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
    if (runs) {
      if (left == 0) {
        keyed = !keyed;
        left = 1 + rng() % longest;
      }
      --left;
    } else {
      keyed = rng() & 1;
    }
    uint32_t value = keyed ? key : rng() & (bpp == 8 ? 0xFFu : 0xFFFFFFu);
    if (!keyed && value == key) value ^= 1;
    for (unsigned b = 0; b < Bpp; ++b) pixels[i * Bpp + b] = uint8_t(value >> (8 * b));
  }
  return pixels;
}

void BM_TCopyImage(benchmark::State& state) {
  unsigned bpp = unsigned(state.range(0));
  const int pattern = int(state.range(1));
  QVRImage src(kWidth, kHeight, bpp), dst(kWidth, kHeight, bpp);
  std::vector<uint8_t> pixels = KeyedPixels(bpp, pattern);
  std::memcpy(src.GetPixels(), pixels.data(), pixels.size());
  std::memset(dst.GetPixels(), 0, pixels.size());
  uint32_t key = bpp == 8 ? kKey8 : kKey32;
  for (auto _ : state) {
    dst.TCopyImage(0, 0, key, &src, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(dst.GetPixels());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * pixels.size());
}

SDL_Surface* MakeSurface(unsigned bpp, const uint8_t* pixels) {
  SDL_Surface* s = bpp == 8 ? SDL_CreateRGBSurface(SDL_SWSURFACE, kWidth, kHeight, 8, 0, 0, 0, 0)
                            : SDL_CreateRGBSurface(SDL_SWSURFACE, kWidth, kHeight, 32, 0x00FF0000,
                                                   0x0000FF00, 0x000000FF, 0);
  if (s == nullptr) return nullptr;
  size_t row = size_t(kWidth) * BytesPerPixel(bpp);
  for (unsigned y = 0; y < kHeight; ++y) {
    uint8_t* to = static_cast<uint8_t*>(s->pixels) + size_t(y) * s->pitch;
    if (pixels != nullptr)
      std::memcpy(to, pixels + y * row, row);
    else
      std::memset(to, 0, row);
  }
  return s;
}

void SDLKeyBlit(benchmark::State& state, Uint32 flags) {
  unsigned bpp = unsigned(state.range(0));
  const int pattern = int(state.range(1));
  std::vector<uint8_t> pixels = KeyedPixels(bpp, pattern);
  SDL_Surface* src = MakeSurface(bpp, pixels.data());
  SDL_Surface* dst = MakeSurface(bpp, nullptr);
  if (src == nullptr || dst == nullptr) {
    state.SkipWithError("SDL_CreateRGBSurface failed");
    return;
  }
  SDL_SetColorKey(src, flags, bpp == 8 ? kKey8 : kKey32);
  SDL_BlitSurface(src, nullptr, dst, nullptr);  // run-length encoding happens here
  for (auto _ : state) {
    SDL_BlitSurface(src, nullptr, dst, nullptr);
    benchmark::DoNotOptimize(dst->pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * pixels.size());

  // The two blits must agree pixel for pixel for the comparison to hold.
  QVRImage ours(kWidth, kHeight, bpp), image(kWidth, kHeight, bpp);
  std::memcpy(image.GetPixels(), pixels.data(), pixels.size());
  std::memset(ours.GetPixels(), 0, pixels.size());
  ours.TCopyImage(0, 0, bpp == 8 ? kKey8 : kKey32, &image, 0, 0, kWidth, kHeight);
  for (unsigned y = 0; y < kHeight; ++y)
    if (std::memcmp(static_cast<uint8_t*>(dst->pixels) + size_t(y) * dst->pitch,
                    ours.GetPixels() + size_t(y) * ours.GetPitch(), ours.GetPitch()) != 0) {
      state.SkipWithError("SDL and TCopyImage results differ");
      break;
    }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
}

void BM_SDL_BlitKey(benchmark::State& state) { SDLKeyBlit(state, SDL_SRCCOLORKEY); }
void BM_SDL_BlitKeyRLE(benchmark::State& state) {
  SDLKeyBlit(state, SDL_SRCCOLORKEY | SDL_RLEACCEL);
}

}  // namespace

BENCHMARK(BM_Rectangle)->Arg(8)->Arg(15)->Arg(16)->Arg(24)->Arg(32);
BENCHMARK(BM_Memset_Image)->Arg(8)->Arg(15)->Arg(16)->Arg(24)->Arg(32);
BENCHMARK(BM_HLine)->Arg(8)->Arg(15)->Arg(16)->Arg(24)->Arg(32);
BENCHMARK(BM_Memset_Rows)->Arg(8)->Arg(15)->Arg(16)->Arg(24)->Arg(32);
BENCHMARK(BM_CopyImage)->Arg(8)->Arg(15)->Arg(16)->Arg(24)->Arg(32);
BENCHMARK(BM_Memcpy_Image)->Arg(8)->Arg(15)->Arg(16)->Arg(24)->Arg(32);
BENCHMARK(BM_TCopyImage)->ArgsProduct({{8, 32}, {0, 1, 2}});
BENCHMARK(BM_SDL_BlitKey)->ArgsProduct({{8, 32}, {0, 1, 2}});
BENCHMARK(BM_SDL_BlitKeyRLE)->ArgsProduct({{8, 32}, {0, 1, 2}});

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  qvrbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf(
      "\nRatios (ours / peer, bytes per second; pattern 0 scattered keys, 1 runs of 1-64, 2 runs "
      "of 1-48):\n");
  for (const char* bpp : {"8", "15", "16", "24", "32"}) {
    std::string b(bpp);
    reporter.PrintRatio("BM_Rectangle/" + b, "BM_Memset_Image/" + b);
    reporter.PrintRatio("BM_HLine/" + b, "BM_Memset_Rows/" + b);
    reporter.PrintRatio("BM_CopyImage/" + b, "BM_Memcpy_Image/" + b);
  }
  for (const char* arg : {"8/0", "8/1", "8/2", "32/0", "32/1", "32/2"}) {
    std::string a(arg);
    reporter.PrintRatio("BM_TCopyImage/" + a, "BM_SDL_BlitKey/" + a);
    reporter.PrintRatio("BM_TCopyImage/" + a, "BM_SDL_BlitKeyRLE/" + a);
  }
  return 0;
}
