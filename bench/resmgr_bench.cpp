// The resource manager's cache hit: Load of a name already in the table, with
// 100, 10 000 and 100 000 resources named like a game's data
// ("gfx/sprites/item01234.pcx"), picked at random. No file is touched: a hit
// is one binary search and a reference count.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "qvr3d/qvr3d.h"

namespace {

struct Blank : QVRResource {
  unsigned MemoryUsed() const override { return sizeof *this; }
  bool Load(QVRResFile&, int) override { return true; }
  bool Save(QVRResFile&, int) override { return false; }
};

void CachedLoad(benchmark::State& state) {
  const unsigned count = static_cast<unsigned>(state.range(0));
  QVRResFinder finder;
  QVRResMgr res(finder);
  std::vector<std::string> names;
  names.reserve(count);
  const char* folders[] = {"gfx/sprites/item", "gfx/tiles/floor", "sfx/hits/hit", "maps/level"};
  for (unsigned i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%05u.pcx", folders[i % 4], i);
    names.emplace_back(name);
    res.Add(QVRResMgr::RES_IMAGE, name, new Blank);
  }
  // A fixed random order, walked round, so the branch predictor cannot learn it.
  std::mt19937 rng(1234);
  std::vector<const char*> order(4096);
  for (auto& name : order) name = names[rng() % count].c_str();
  size_t at = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(res.Load(QVRResMgr::RES_IMAGE, order[at], 0, true));
    at = (at + 1) & (order.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CachedLoad)->Arg(100)->Arg(10000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
