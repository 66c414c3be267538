// Disk stream throughput on a 64 MiB text file beside the C library: block
// reads against fread, both GetLine forms against glibc's getline. The ratio
// of each pair (ours / the C library's bytes per second) is printed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "qvr3d/stream.h"
#include "qvr3d/string.h"

#include "ratio_reporter.h"

namespace {

const char* const kPath = "/tmp/qvr3d-stream-bench.txt";
constexpr long kFileSize = 64L << 20;
constexpr unsigned kBlock = 64 << 10;

// Lines of 0..120 random letters, written once and reused while the size fits.
bool MakeFile() {
  if (FILE* existing = std::fopen(kPath, "rb")) {
    std::fseek(existing, 0, SEEK_END);
    long size = std::ftell(existing);
    std::fclose(existing);
    if (size == kFileSize) return true;
  }
  FILE* out = std::fopen(kPath, "wb");
  if (out == nullptr) return false;
  std::mt19937 rng(12345);
  std::string line;
  long written = 0;
  while (written < kFileSize) {
    line.assign(rng() % 121, 'a');
    for (char& c : line) c = static_cast<char>('a' + rng() % 26);
    line += '\n';
    if (written + static_cast<long>(line.size()) > kFileSize)
      line.resize(static_cast<size_t>(kFileSize - written));
    std::fwrite(line.data(), 1, line.size(), out);
    written += static_cast<long>(line.size());
  }
  return std::fclose(out) == 0;
}

void BM_QVRFile_Read64K(benchmark::State& state) {
  std::vector<char> block(kBlock);
  for (auto _ : state) {
    QVRFile f(kPath, QVRResFile::READ);
    long total = 0;
    while (unsigned n = f.Read(block.data(), kBlock)) total += n;
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}

void BM_Fread_Read64K(benchmark::State& state) {
  std::vector<char> block(kBlock);
  for (auto _ : state) {
    FILE* f = std::fopen(kPath, "rb");
    long total = 0;
    while (size_t n = std::fread(block.data(), 1, kBlock, f)) total += static_cast<long>(n);
    std::fclose(f);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}

void BM_QVRFile_GetLineBuffer(benchmark::State& state) {
  char line[256];
  for (auto _ : state) {
    QVRFile f(kPath, QVRResFile::READ);
    long lines = 0;
    while (f.GetLine(line, sizeof line) != 0) ++lines;
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}

void BM_QVRFile_GetLineString(benchmark::State& state) {
  QVRString line;
  for (auto _ : state) {
    QVRFile f(kPath, QVRResFile::READ);
    long lines = 0;
    while (f.GetLine(line) != 0) ++lines;
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}

void BM_Glibc_Getline(benchmark::State& state) {
  char* line = nullptr;
  size_t capacity = 0;
  for (auto _ : state) {
    FILE* f = std::fopen(kPath, "rb");
    long lines = 0;
    while (getline(&line, &capacity, f) > 0) ++lines;
    std::fclose(f);
    benchmark::DoNotOptimize(lines);
  }
  std::free(line);
  state.SetBytesProcessed(state.iterations() * kFileSize);
}

}  // namespace

BENCHMARK(BM_QVRFile_Read64K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fread_Read64K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QVRFile_GetLineBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QVRFile_GetLineString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Glibc_Getline)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!MakeFile()) {
    std::fprintf(stderr, "cannot write %s\n", kPath);
    return 1;
  }
  qvrbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\nRatios (ours / C library, bytes per second):\n");
  reporter.PrintRatio("BM_QVRFile_Read64K", "BM_Fread_Read64K");
  reporter.PrintRatio("BM_QVRFile_GetLineBuffer", "BM_Glibc_Getline");
  reporter.PrintRatio("BM_QVRFile_GetLineString", "BM_Glibc_Getline");
  return 0;
}
