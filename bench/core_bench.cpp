// String growth and colour parsing, beside the standard library doing the
// same work.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "qvr3d/parse.h"
#include "qvr3d/string.h"

namespace {

void BM_QVRString_AppendChar(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QVRString s;
    for (int i = 0; i < count; ++i) s += static_cast<char>('a' + (i & 15));
    benchmark::DoNotOptimize(s.Text());
  }
  state.SetItemsProcessed(state.iterations() * count);
}

void BM_StdString_AppendChar(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::string s;
    for (int i = 0; i < count; ++i) s += static_cast<char>('a' + (i & 15));
    benchmark::DoNotOptimize(s.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
}

void BM_QVRString_AppendWord(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QVRString s;
    for (int i = 0; i < count; ++i) s += "word ";
    benchmark::DoNotOptimize(s.Text());
  }
  state.SetItemsProcessed(state.iterations() * count);
}

void BM_StdString_AppendWord(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::string s;
    for (int i = 0; i < count; ++i) s += "word ";
    benchmark::DoNotOptimize(s.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
}

const char* const kColors[] = {"#FF8000", "color #10203040", "  #a0b0c0,", "#00ff00ff"};

void BM_QVRParse_ReadColor(benchmark::State& state) {
  unsigned char rgba[4] = {0, 0, 0, 255};
  for (auto _ : state) {
    for (const char* text : kColors) benchmark::DoNotOptimize(QVRParse::ReadColor(text, rgba));
  }
  state.SetItemsProcessed(state.iterations() * 4);
}

// The same job with the C library: find '#', then scan hex pairs.
void BM_Sscanf_Color(benchmark::State& state) {
  unsigned r = 0, g = 0, b = 0, a = 0;
  for (auto _ : state) {
    for (const char* text : kColors) {
      const char* hash = std::strchr(text, '#');
      benchmark::DoNotOptimize(std::sscanf(hash + 1, "%2x%2x%2x%2x", &r, &g, &b, &a));
    }
  }
  state.SetItemsProcessed(state.iterations() * 4);
}

}  // namespace

BENCHMARK(BM_QVRString_AppendChar)->Arg(64)->Arg(4096)->Arg(1 << 18);
BENCHMARK(BM_StdString_AppendChar)->Arg(64)->Arg(4096)->Arg(1 << 18);
BENCHMARK(BM_QVRString_AppendWord)->Arg(4096);
BENCHMARK(BM_StdString_AppendWord)->Arg(4096);
BENCHMARK(BM_QVRParse_ReadColor);
BENCHMARK(BM_Sscanf_Color);
BENCHMARK_MAIN();
