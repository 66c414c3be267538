// Image file decoding and encoding from memory at 2048 x 2048 and at an odd
// size (1531 x 1021, the "_odd" rows), photo-like
// content made by ImageMagick (a plasma fractal, quantised where the format
// needs a palette), beside stb_image, SDL_image 1.2 and giflib on the same
// bytes, memcpy of the decoded pixel bytes as the floor, and stb_image_write
// for the writers. Every rate counts the decoded (or encoded) image's pixel
// bytes, so ratios are ratios of time. Ratios are printed at the end.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/stream.h"

#include "ratio_reporter.h"

#if QVR_HAVE_STB
#include <stb_image.h>
#include <stb_image_write.h>
#endif
#if QVR_HAVE_SDL_IMAGE
#include <SDL_image.h>
#endif
#if QVR_HAVE_GIFLIB
#include <gif_lib.h>
#endif

namespace {

constexpr unsigned kSide = 2048;

struct Source {
  const char* name;
  const char* options;  // ImageMagick options from the base picture to the file
  const char* file;
  bool odd = false;  // from the odd-sized base picture rather than the square one
  std::string bytes;
  size_t pixelBytes = 0;  // of the decoded image
};

// The odd-sized picture: rows that are no whole number of words or vectors,
// and padded BMP rows.
constexpr unsigned kOddWidth = 1531, kOddHeight = 1021;

Source g_sources[] = {
    {"bmp24", "-type truecolor", "BMP3:bmp24.bmp", {}},
    {"tga32rle", "-alpha set -channel A -fx 0.8 +channel -compress RLE", "tga32rle.tga", {}},
    {"tga8", "+dither -colors 256 -type palette -compress none", "tga8.tga", {}},
    {"pcx8", "+dither -colors 256 -type palette", "pcx8.pcx", {}},
    {"pcx24", "-type truecolor", "pcx24.pcx", {}},
    {"gif", "+dither -colors 256", "gif.gif", {}},
    {"gif_interlaced", "+dither -colors 256 -interlace GIF", "gifi.gif", {}},
    {"bmp24_odd", "-type truecolor", "BMP3:bmp24_odd.bmp", true, {}},
    {"tga32rle_odd",
     "-alpha set -channel A -fx 0.8 +channel -compress RLE",
     "tga32rle_odd.tga",
     true,
     {}},
    {"tga8_odd", "+dither -colors 256 -type palette -compress none", "tga8_odd.tga", true, {}},
    {"gif_interlaced_odd", "+dither -colors 256 -interlace GIF", "gifi_odd.gif", true, {}},
};
constexpr int kSourceCount = int(sizeof(g_sources) / sizeof(g_sources[0]));

std::string ReadFile(const std::string& path) {
  std::string data;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, got);
    std::fclose(f);
  }
  return data;
}

bool Run(const std::string& cmd) { return std::system((cmd + " 2>/dev/null").c_str()) == 0; }

// Makes the files once into a cache folder (quantising 4 M pixels takes a
// while) and loads them into memory.
bool MakeSources() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp ? tmp : "/tmp") + "/qvr3d-imagefile-bench";
  mkdir(dir.c_str(), 0755);
  const std::string convert =
      access("/usr/bin/convert-im6.q16", X_OK) == 0 ? "/usr/bin/convert-im6.q16" : "convert";
  const std::string bases[2] = {dir + "/base.miff", dir + "/base_odd.miff"};
  const unsigned widths[2] = {kSide, kOddWidth}, heights[2] = {kSide, kOddHeight};
  for (int b = 0; b < 2; ++b)
    if (access(bases[b].c_str(), R_OK) != 0 &&
        !Run(convert + " -size " + std::to_string(widths[b]) + "x" + std::to_string(heights[b]) +
             " -seed 7 plasma:fractal -blur 0x1.5 '" + bases[b] + "'"))
      return false;
  for (Source& s : g_sources) {
    std::string file = s.file;
    const size_t colon = file.find(':');
    const std::string path =
        dir + "/" + (colon == std::string::npos ? file : file.substr(colon + 1));
    const std::string target = colon == std::string::npos ? path : file.substr(0, colon + 1) + path;
    if (access(path.c_str(), R_OK) != 0 &&
        !Run(convert + " '" + bases[s.odd ? 1 : 0] + "' " + s.options + " '" + target + "'"))
      return false;
    s.bytes = ReadFile(path);
    QVRMemFile mem(unsigned(s.bytes.size()), QVRResFile::READ,
                   reinterpret_cast<unsigned char*>(&s.bytes[0]), false);
    QVRImage img;
    if (!img.Load(mem, 0)) {
      std::fprintf(stderr, "%s: QVR3d could not load it\n", path.c_str());
      return false;
    }
    s.pixelBytes = size_t(img.GetPitch()) * img.GetHeight();
  }
  return true;
}

void SetRate(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_QVR(benchmark::State& state, int i) {
  Source& s = g_sources[i];
  for (auto _ : state) {
    QVRMemFile mem(unsigned(s.bytes.size()), QVRResFile::READ,
                   reinterpret_cast<unsigned char*>(&s.bytes[0]), false);
    QVRImage img;
    if (!img.Load(mem, 0)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(img.GetPixels());
  }
  SetRate(state, s.pixelBytes);
}

#if QVR_HAVE_STB
void BM_STB(benchmark::State& state, int i) {
  Source& s = g_sources[i];
  for (auto _ : state) {
    int w, h, n;
    stbi_uc* px = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(s.bytes.data()),
                                        int(s.bytes.size()), &w, &h, &n, 0);
    if (!px) state.SkipWithError("stb_image failed");
    benchmark::DoNotOptimize(px);
    stbi_image_free(px);
  }
  SetRate(state, s.pixelBytes);
}
#endif

#if QVR_HAVE_SDL_IMAGE
void BM_SDL(benchmark::State& state, int i) {
  Source& s = g_sources[i];
  const bool tga = std::strncmp(s.name, "tga", 3) == 0;
  for (auto _ : state) {
    SDL_RWops* rw = SDL_RWFromConstMem(s.bytes.data(), int(s.bytes.size()));
    // TGA has no signature, so SDL_image only reads it when told the type.
    SDL_Surface* surf =
        tga ? IMG_LoadTyped_RW(rw, 1, const_cast<char*>("TGA")) : IMG_Load_RW(rw, 1);
    if (!surf) state.SkipWithError("SDL_image failed");
    benchmark::DoNotOptimize(surf);
    SDL_FreeSurface(surf);
  }
  SetRate(state, s.pixelBytes);
}
#endif

#if QVR_HAVE_GIFLIB
struct GifSource {
  const std::string* bytes;
  size_t pos;
};

int GifRead(GifFileType* gif, GifByteType* out, int count) {
  auto* src = static_cast<GifSource*>(gif->UserData);
  size_t left = src->bytes->size() - src->pos;
  size_t n = size_t(count) < left ? size_t(count) : left;
  std::memcpy(out, src->bytes->data() + src->pos, n);
  src->pos += n;
  return int(n);
}

void BM_GIFLIB(benchmark::State& state, int i) {
  Source& s = g_sources[i];
  for (auto _ : state) {
    GifSource src{&s.bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&src, GifRead, &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib failed");
    benchmark::DoNotOptimize(gif);
    if (gif) DGifCloseFile(gif, &error);
  }
  SetRate(state, s.pixelBytes);
}
#endif

void BM_Memcpy(benchmark::State& state, int i) {
  const size_t bytes = g_sources[i].pixelBytes;
  std::vector<uint8_t> from(bytes, 0x5A), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  SetRate(state, bytes);
}

// The floor for a decoder that must hand out a new buffer: allocate it and
// copy the output bytes into it.
void BM_MallocCopy(benchmark::State& state, int i) {
  const size_t bytes = g_sources[i].pixelBytes;
  std::vector<uint8_t> from(bytes, 0x5A);
  for (auto _ : state) {
    uint8_t* to = new uint8_t[bytes];
    std::memcpy(to, from.data(), bytes);
    benchmark::DoNotOptimize(to);
    benchmark::ClobberMemory();
    delete[] to;
  }
  SetRate(state, bytes);
}

// ---- Writers ---------------------------------------------------------------

// The decoded source image the writers encode: ours as loaded, and the same
// pixels in stb's red-green-blue(-alpha) order.
struct WriteSource {
  QVRImage img;
  std::vector<uint8_t> rgb;
  unsigned channels = 0;
};

WriteSource g_write[2];  // 0: 24-bit for BMP, 1: 32-bit for run-length TGA

bool MakeWriteSources() {
  const int from[2] = {0, 1};
  for (int k = 0; k < 2; ++k) {
    Source& s = g_sources[from[k]];
    QVRMemFile mem(unsigned(s.bytes.size()), QVRResFile::READ,
                   reinterpret_cast<unsigned char*>(&s.bytes[0]), false);
    WriteSource& w = g_write[k];
    if (!w.img.Load(mem, 0)) return false;
    w.channels = w.img.GetBytesPerPixel();
    const size_t n = size_t(w.img.GetWidth()) * w.img.GetHeight();
    w.rgb.resize(n * w.channels);
    const uint8_t* px = w.img.GetPixels();
    for (size_t p = 0; p < n; ++p) {
      w.rgb[p * w.channels + 0] = px[p * w.channels + 2];
      w.rgb[p * w.channels + 1] = px[p * w.channels + 1];
      w.rgb[p * w.channels + 2] = px[p * w.channels + 0];
      if (w.channels == 4) w.rgb[p * 4 + 3] = px[p * 4 + 3];
    }
  }
  return true;
}

void BM_QVR_Write(benchmark::State& state, int k, int format) {
  WriteSource& w = g_write[k];
  const size_t bytes = size_t(w.img.GetPitch()) * w.img.GetHeight();
  std::vector<unsigned char> out(bytes * 2 + 65536);
  for (auto _ : state) {
    QVRMemFile mem(unsigned(out.size()), QVRResFile::READWRITE, out.data(), false);
    if (!w.img.Save(mem, format)) state.SkipWithError("save failed");
    benchmark::DoNotOptimize(out.data());
  }
  SetRate(state, bytes);
}

#if QVR_HAVE_STB
struct Sink {
  std::vector<unsigned char>* out;
  size_t pos;
};

void SinkWrite(void* context, void* data, int size) {
  auto* sink = static_cast<Sink*>(context);
  if (sink->pos + size_t(size) > sink->out->size()) return;
  std::memcpy(sink->out->data() + sink->pos, data, size_t(size));
  sink->pos += size_t(size);
}

void BM_STB_Write(benchmark::State& state, int k, bool tga) {
  WriteSource& w = g_write[k];
  const size_t bytes = size_t(w.img.GetPitch()) * w.img.GetHeight();
  std::vector<unsigned char> out(bytes * 2 + 65536);
  const int width = int(w.img.GetWidth()), height = int(w.img.GetHeight());
  stbi_write_tga_with_rle = 1;
  for (auto _ : state) {
    Sink sink{&out, 0};
    int ok =
        tga ? stbi_write_tga_to_func(SinkWrite, &sink, width, height, int(w.channels), w.rgb.data())
            : stbi_write_bmp_to_func(SinkWrite, &sink, width, height, int(w.channels),
                                     w.rgb.data());
    if (!ok) state.SkipWithError("stb_image_write failed");
    benchmark::DoNotOptimize(out.data());
  }
  SetRate(state, bytes);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  QVR::SetLogLevel(0);
  if (!MakeSources() || !MakeWriteSources()) {
    std::fprintf(stderr, "ImageMagick could not make the benchmark files\n");
    return 1;
  }
  auto reg = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMillisecond);
  };
  for (int i = 0; i < kSourceCount; ++i) {
    const std::string name = g_sources[i].name;
    const bool gif = name.compare(0, 3, "gif") == 0;
    reg("BM_QVR/" + name, [i](benchmark::State& st) { BM_QVR(st, i); });
#if QVR_HAVE_STB
    if (name.compare(0, 3, "pcx") != 0)  // stb_image has no PCX reader
      reg("BM_STB/" + name, [i](benchmark::State& st) { BM_STB(st, i); });
#endif
#if QVR_HAVE_SDL_IMAGE
    reg("BM_SDL/" + name, [i](benchmark::State& st) { BM_SDL(st, i); });
#endif
#if QVR_HAVE_GIFLIB
    if (gif) reg("BM_GIFLIB/" + name, [i](benchmark::State& st) { BM_GIFLIB(st, i); });
#endif
    (void)gif;
    reg("BM_Memcpy/" + name, [i](benchmark::State& st) { BM_Memcpy(st, i); });
    reg("BM_MallocCopy/" + name, [i](benchmark::State& st) { BM_MallocCopy(st, i); });
  }
  reg("BM_QVR_Write/bmp24", [](benchmark::State& st) { BM_QVR_Write(st, 0, QVRImage::IMG_BMP); });
  reg("BM_QVR_Write/tga32rle",
      [](benchmark::State& st) { BM_QVR_Write(st, 1, QVRImage::IMG_TGA_RLE); });
#if QVR_HAVE_STB
  reg("BM_STB_Write/bmp24", [](benchmark::State& st) { BM_STB_Write(st, 0, false); });
  reg("BM_STB_Write/tga32rle", [](benchmark::State& st) { BM_STB_Write(st, 1, true); });
#endif

  qvrbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nRatios (ours / peer, bytes per second):\n");
  for (int i = 0; i < kSourceCount; ++i) {
    const std::string name = g_sources[i].name;
    const std::string ours = "BM_QVR/" + name;
    const double stb = reporter.PrintRatio(ours, "BM_STB/" + name);
    const double sdl = reporter.PrintRatio(ours, "BM_SDL/" + name);
    const double gif = reporter.PrintRatio(ours, "BM_GIFLIB/" + name);
    const double floor = reporter.PrintRatio(ours, "BM_Memcpy/" + name);
    reporter.PrintRatio(ours, "BM_MallocCopy/" + name);
    // Goal: twice the faster peer (giflib alone for GIF), but never more
    // than 0.8 x memcpy of the output.
    double faster = gif > 0 ? gif : 0;
    if (gif <= 0) {
      if (stb > 0 && (sdl <= 0 || stb < sdl))
        faster = stb;  // smaller ratio = faster peer
      else if (sdl > 0)
        faster = sdl;
    }
    if (faster > 0 && floor > 0) {
      const bool met = faster >= 2.0 || floor >= 0.8;
      std::printf("  %-14s goal %s (x faster peer %.2f, x memcpy %.2f)\n", name.c_str(),
                  met ? "met" : "MISSED", faster, floor);
    }
  }
  reporter.PrintRatio("BM_QVR_Write/bmp24", "BM_STB_Write/bmp24");
  reporter.PrintRatio("BM_QVR_Write/tga32rle", "BM_STB_Write/tga32rle");
  return 0;
}
