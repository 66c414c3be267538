// OpenGL layer benchmarks.
//
// Needs a GL context for the texture loads: run it under Xvfb with Mesa,
//   tests/common/with_xvfb.sh build-bench/bench/gl_bench
// (`./dev bench gl` without a display runs the conversions only and says so).
//
// - Conversion of a 2048 x 2048 image into its texture layout in place:
//   32-bit into GL_RGBA (alpha = 255 - fourth byte) and 24-bit into GL_RGB,
//   beside memcpy of the same bytes. Goal: at least 0.8 x memcpy. In place
//   touches one buffer where memcpy touches two, so the same conversions
//   into a second buffer are measured too.
// - Q3DTexMgr::LoadFromFile of a 1024 x 1024 TGA (24 and 32 bits, rows bottom
//   up as most tools write them) through a QVRResFinder: decode, convert,
//   upload, beside the same work done with SDL_image (IMG_Load), a
//   hand-written conversion into an RGB(A) buffer and glTexImage2D. Each
//   iteration also deletes the texture. Goal: ours no slower (ratio >= 1).
// Every rate counts the image's pixel bytes, so ratios are ratios of time.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gl/texconvert.h"
#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/q3dscreen.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/stream.h"
#include "qvr3d/texmgr.h"

#include "ratio_reporter.h"

#if QVR_HAVE_SDL_IMAGE
#include <SDL_image.h>
#endif

namespace {

constexpr unsigned kConvertSide = 2048;
constexpr unsigned kLoadSide = 1024;

std::vector<uint8_t> Noise(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t s = 1;
  for (auto& b : v) {
    s = s * 1103515245u + 12345u;
    b = uint8_t(s >> 23);
  }
  return v;
}

void SetRate(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// ---- Conversions ---------------------------------------------------------------

void BM_ConvertRGBA_InPlace(benchmark::State& state) {
  const size_t pixels = size_t(kConvertSide) * kConvertSide;
  std::vector<uint8_t> buf = Noise(pixels * 4);
  for (auto _ : state) {
    qvr::detail::ConvertBGRTToRGBA(buf.data(), buf.data(), pixels);
    benchmark::ClobberMemory();
  }
  SetRate(state, pixels * 4);
}

void BM_ConvertRGB_InPlace(benchmark::State& state) {
  const size_t pixels = size_t(kConvertSide) * kConvertSide;
  std::vector<uint8_t> buf = Noise(pixels * 3);
  for (auto _ : state) {
    qvr::detail::ConvertBGRToRGB(buf.data(), buf.data(), pixels);
    benchmark::ClobberMemory();
  }
  SetRate(state, pixels * 3);
}

// The same conversions into another buffer (what LoadFromImage does), which
// moves as many bytes as memcpy does.
void BM_ConvertCopy(benchmark::State& state, unsigned bytesPerPixel) {
  const size_t pixels = size_t(kConvertSide) * kConvertSide;
  std::vector<uint8_t> src = Noise(pixels * bytesPerPixel), dst(pixels * bytesPerPixel);
  for (auto _ : state) {
    if (bytesPerPixel == 4)
      qvr::detail::ConvertBGRTToRGBA(dst.data(), src.data(), pixels);
    else
      qvr::detail::ConvertBGRToRGB(dst.data(), src.data(), pixels);
    benchmark::ClobberMemory();
  }
  SetRate(state, pixels * bytesPerPixel);
}

void BM_Memcpy(benchmark::State& state, unsigned bytesPerPixel) {
  const size_t bytes = size_t(kConvertSide) * kConvertSide * bytesPerPixel;
  std::vector<uint8_t> src = Noise(bytes), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::ClobberMemory();
  }
  SetRate(state, bytes);
}

// ---- Texture loads ---------------------------------------------------------------

std::string g_dir;
bool g_haveGL = false;

bool MakeFiles() {
  const char* tmp = std::getenv("TMPDIR");
  g_dir = std::string(tmp ? tmp : "/tmp") + "/qvr3d-gl-bench";
  mkdir(g_dir.c_str(), 0755);
  for (unsigned bpp : {24u, 32u}) {
    QVRImage img(kLoadSide, kLoadSide, bpp);
    const unsigned bytes = img.GetBytesPerPixel();
    for (unsigned y = 0; y < kLoadSide; ++y)
      for (unsigned x = 0; x < kLoadSide; ++x)
        for (unsigned c = 0; c < bytes; ++c)
          img.GetPixels()[(size_t(y) * kLoadSide + x) * bytes + c] =
              uint8_t(x / 4 + y / 3 + c * 40 + ((x * 7 + y * 13) & 3));
    const std::string path = g_dir + "/bench" + std::to_string(bpp) + ".tga";
    std::remove(path.c_str());
    QVRFile out(path.c_str(), QVRResFile::WRITE | QVRResFile::CREATE | QVRResFile::TRUNCATE);
    if (!out.Good() || !img.Save(out, QVRImage::IMG_TGA)) return false;
  }
  return true;
}

void BM_QVR_LoadFromFile(benchmark::State& state, unsigned bpp) {
  if (!g_haveGL) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  QVRResFinder finder;
  finder.AddSource(g_dir.c_str());
  Q3DTexMgr textures(finder, 4);
  const std::string name = "bench" + std::to_string(bpp) + ".tga";
  for (auto _ : state) {
    Q3DTexture* t = textures.LoadFromFile(name.c_str(), GL_NEAREST, false, 0);
    if (!t) {
      state.SkipWithError("LoadFromFile failed");
      break;
    }
    glFinish();
    textures.FreeTexture(t);
  }
  SetRate(state, size_t(kLoadSide) * kLoadSide * (bpp / 8));
}

#if QVR_HAVE_SDL_IMAGE
// What a game writes by hand: load with SDL_image, copy the surface into a
// tightly packed RGB or RGBA buffer through the surface's channel shifts,
// upload.
void BM_SDL_LoadConvertUpload(benchmark::State& state, unsigned bpp) {
  if (!g_haveGL) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  const std::string path = g_dir + "/bench" + std::to_string(bpp) + ".tga";
  for (auto _ : state) {
    SDL_Surface* s = IMG_Load(path.c_str());
    if (!s) {
      state.SkipWithError("IMG_Load failed");
      break;
    }
    const SDL_PixelFormat* f = s->format;
    const unsigned in = f->BytesPerPixel, out = f->Amask ? 4 : 3;
    const unsigned r = f->Rshift / 8, g = f->Gshift / 8, b = f->Bshift / 8, a = f->Ashift / 8;
    std::vector<uint8_t> texels(size_t(s->w) * s->h * out);
    SDL_LockSurface(s);
    for (int y = 0; y < s->h; ++y) {
      const uint8_t* src = static_cast<const uint8_t*>(s->pixels) + size_t(y) * s->pitch;
      uint8_t* dst = &texels[size_t(y) * s->w * out];
      for (int x = 0; x < s->w; ++x, src += in, dst += out) {
        dst[0] = src[r];
        dst[1] = src[g];
        dst[2] = src[b];
        if (out == 4) dst[3] = src[a];
      }
    }
    SDL_UnlockSurface(s);
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    const GLenum format = out == 4 ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), s->w, s->h, 0, format, GL_UNSIGNED_BYTE,
                 texels.data());
    glFinish();
    glDeleteTextures(1, &id);
    SDL_FreeSurface(s);
  }
  SetRate(state, size_t(kLoadSide) * kLoadSide * (bpp / 8));
}
#endif

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  QVR::SetLogLevel(0);
  if (!MakeFiles()) {
    std::fprintf(stderr, "could not write the benchmark files in %s\n", g_dir.c_str());
    return 1;
  }
  Q3DScreen* screen = nullptr;
  if (std::getenv("DISPLAY")) {
    screen = Q3DScreen::Singleton();
    g_haveGL = screen->Init(64, 64, 0, 32);
  }
  if (!g_haveGL)
    std::fprintf(stderr,
                 "No OpenGL context: the texture loads are skipped. Run under\n"
                 "  tests/common/with_xvfb.sh build-bench/bench/gl_bench\n");

  auto reg = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMillisecond);
  };
  reg("BM_ConvertRGBA_InPlace/2048", BM_ConvertRGBA_InPlace);
  reg("BM_ConvertRGBA_Copy/2048", [](benchmark::State& st) { BM_ConvertCopy(st, 4); });
  reg("BM_Memcpy/2048x32", [](benchmark::State& st) { BM_Memcpy(st, 4); });
  reg("BM_ConvertRGB_InPlace/2048", BM_ConvertRGB_InPlace);
  reg("BM_ConvertRGB_Copy/2048", [](benchmark::State& st) { BM_ConvertCopy(st, 3); });
  reg("BM_Memcpy/2048x24", [](benchmark::State& st) { BM_Memcpy(st, 3); });
  for (unsigned bpp : {24u, 32u}) {
    const std::string tag = "/tga" + std::to_string(bpp) + "_1024";
    reg("BM_QVR_LoadFromFile" + tag, [bpp](benchmark::State& st) { BM_QVR_LoadFromFile(st, bpp); });
#if QVR_HAVE_SDL_IMAGE
    reg("BM_SDL_LoadConvertUpload" + tag,
        [bpp](benchmark::State& st) { BM_SDL_LoadConvertUpload(st, bpp); });
#endif
  }

  qvrbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nRatios (ours / peer, bytes per second):\n");
  const double rgba = reporter.PrintRatio("BM_ConvertRGBA_InPlace/2048", "BM_Memcpy/2048x32");
  const double rgb = reporter.PrintRatio("BM_ConvertRGB_InPlace/2048", "BM_Memcpy/2048x24");
  reporter.PrintRatio("BM_ConvertRGBA_Copy/2048", "BM_Memcpy/2048x32");
  reporter.PrintRatio("BM_ConvertRGB_Copy/2048", "BM_Memcpy/2048x24");
  if (rgba > 0)
    std::printf("  RGBA conversion goal (>= 0.8 x memcpy) %s\n", rgba >= 0.8 ? "met" : "MISSED");
  if (rgb > 0)
    std::printf("  RGB conversion goal (>= 0.8 x memcpy) %s\n", rgb >= 0.8 ? "met" : "MISSED");
  for (unsigned bpp : {24u, 32u}) {
    const std::string tag = "/tga" + std::to_string(bpp) + "_1024";
    const double r =
        reporter.PrintRatio("BM_QVR_LoadFromFile" + tag, "BM_SDL_LoadConvertUpload" + tag);
    if (r > 0) std::printf("  load goal (ours no slower) %s\n", r >= 1.0 ? "met" : "MISSED");
  }
  delete screen;
  return 0;
}
