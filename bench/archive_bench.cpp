// Archive opening, name lookup and open-by-name through a search path, beside PhysicsFS 3 doing
// the same work on the same files. The PAK files (up to 30 000 small members) are written at start
// into a temporary folder, and the ratios are printed after the runs.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "qvr3d/archive.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/stream.h"

#if QVR_HAVE_PHYSFS
#include <physfs.h>
#endif

namespace {

constexpr unsigned kBigCount = 30000;
constexpr unsigned kSecondCount = 1000;
constexpr unsigned kFolderCount = 200;
constexpr unsigned kReadSize = 1024;

struct Files {
  std::string root;
  std::string folder;                      // plain files under local/
  std::string second;                      // patch/p%04d.dat
  std::string big;                         // data/d%03d/f%05d.dat, kBigCount members
  std::map<unsigned, std::string> bySize;  // PAKs of 100, 1000 and kBigCount members
  std::vector<std::string> folderNames, secondNames, bigNames;
};
Files g_files;

std::string DataName(unsigned i) {
  char name[64];
  std::snprintf(name, sizeof name, "data/d%03u/f%05u.dat", i / 100, i);
  return name;
}

std::string PatchName(unsigned i) {
  char name[64];
  std::snprintf(name, sizeof name, "patch/p%04u.dat", i);
  return name;
}

std::string LocalName(unsigned i) {
  char name[64];
  std::snprintf(name, sizeof name, "local/l%04u.dat", i);
  return name;
}

// Small members of 1024 to 1120 bytes, so that every one can give a full 1 KiB read.
std::string MemberBytes(unsigned i) {
  std::string bytes(kReadSize + i % 97, '\0');
  for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = char((i * 31 + k * 7) & 0xFF);
  return bytes;
}

// A PAK as Quake's tools lay it out: header, data back to back, directory at the end.
bool WritePak(const std::string& path, const std::vector<std::string>& names) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::string dir;
  uint32_t offset = 12;
  std::fwrite("PACK\0\0\0\0\0\0\0\0", 1, 12, f);
  for (unsigned i = 0; i < names.size(); ++i) {
    std::string bytes = MemberBytes(i);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    char record[64] = {};
    std::memcpy(record, names[i].data(), std::min<size_t>(names[i].size(), 56));
    uint32_t fields[2] = {offset, uint32_t(bytes.size())};
    std::memcpy(record + 56, fields, 8);  // little-endian host
    dir.append(record, 64);
    offset += uint32_t(bytes.size());
  }
  std::fwrite(dir.data(), 1, dir.size(), f);
  uint32_t header[2] = {offset, uint32_t(dir.size())};
  std::fseek(f, 4, SEEK_SET);
  std::fwrite(header, 4, 2, f);
  return std::fclose(f) == 0;
}

bool MakeFiles() {
  char templ[] = "/tmp/qvr-archive-bench-XXXXXX";
  if (!mkdtemp(templ)) return false;
  Files& g = g_files;
  g.root = templ;
  g.folder = g.root + "/folder";
  g.second = g.root + "/second.pak";
  g.big = g.root + "/big.pak";
  std::filesystem::create_directories(g.folder + "/local");
  for (unsigned i = 0; i < kFolderCount; ++i) {
    g.folderNames.push_back(LocalName(i));
    FILE* f = std::fopen((g.folder + "/" + g.folderNames.back()).c_str(), "wb");
    if (!f) return false;
    std::string bytes = MemberBytes(i);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  for (unsigned i = 0; i < kSecondCount; ++i) g.secondNames.push_back(PatchName(i));
  for (unsigned i = 0; i < kBigCount; ++i) g.bigNames.push_back(DataName(i));
  if (!WritePak(g.second, g.secondNames) || !WritePak(g.big, g.bigNames)) return false;
  g.bySize[kBigCount] = g.big;
  for (unsigned count : {100u, 1000u}) {
    std::string path = g.root + "/pak" + std::to_string(count) + ".pak";
    if (!WritePak(path, std::vector<std::string>(g.bigNames.begin(), g.bigNames.begin() + count)))
      return false;
    g.bySize[count] = path;
  }
  return true;
}

// The first `count` names of `names` in a fixed shuffled order, so that lookups do not walk the
// directory in storage order.
std::vector<std::string> Shuffled(const std::vector<std::string>& names, size_t count) {
  std::vector<std::string> out(names.begin(), names.begin() + std::min(count, names.size()));
  std::shuffle(out.begin(), out.end(), std::mt19937(12345));
  return out;
}

// Names for the open-by-name runs: source 0 the folder, 1 the second archive, 2 the big PAK,
// 3 an even mix of the three.
std::vector<std::string> OpenNames(int source) {
  const Files& g = g_files;
  if (source == 0) return Shuffled(g.folderNames, 200);
  if (source == 1) return Shuffled(g.secondNames, 1000);
  if (source == 2) return Shuffled(g.bigNames, 5000);
  std::vector<std::string> mix;
  for (int s = 0; s < 3; ++s) {
    std::vector<std::string> part = OpenNames(s);
    mix.insert(mix.end(), part.begin(), part.begin() + 200);
  }
  std::shuffle(mix.begin(), mix.end(), std::mt19937(54321));
  return mix;
}

const char* const kSourceNames[] = {"folder", "second", "bigpak", "mix"};

// ---- (a) opening the 30 000-entry PAK -------------------------------------------------------

void OpenQVR(benchmark::State& state) {
  for (auto _ : state) {
    QVRArchPAK pak;
    if (!pak.Open(g_files.big.c_str()) || pak.NbFiles() != kBigCount) {
      state.SkipWithError("QVRArchPAK::Open failed");
      break;
    }
    benchmark::DoNotOptimize(pak.NbFiles());
  }
}

// ---- (b) lookup by name in PAKs of 100, 1 000 and 30 000 entries -----------------------------

void FindQVR(benchmark::State& state, unsigned count) {
  QVRArchPAK pak;
  if (!pak.Open(g_files.bySize[count].c_str())) {
    state.SkipWithError("QVRArchPAK::Open failed");
    return;
  }
  std::vector<std::string> names = Shuffled(g_files.bigNames, count);
  size_t next = 0;
  for (auto _ : state) {
    unsigned found = pak.FindFile(names[next].c_str());
    benchmark::DoNotOptimize(found);
    if (++next == names.size()) next = 0;
  }
  if (pak.FindFile(names[0].c_str()) == QVRArchive::NONE) state.SkipWithError("name not found");
}

// ---- (c) open by name through three sources, read 1 KiB, close -------------------------------

void OpenReadQVR(benchmark::State& state, int source) {
  QVRResFinder finder;
  if (!finder.AddSource(g_files.folder.c_str(), false) ||
      !finder.AddSource(g_files.second.c_str(), false) ||
      !finder.AddSource(g_files.big.c_str(), false)) {
    state.SkipWithError("AddSource failed");
    return;
  }
  std::vector<std::string> names = OpenNames(source);
  char buffer[kReadSize];
  size_t next = 0;
  for (auto _ : state) {
    QVRResFile* f = finder.FindRes(names[next].c_str());
    if (!f || f->Read(buffer, kReadSize) != kReadSize) {
      delete f;
      state.SkipWithError("FindRes or Read failed");
      break;
    }
    benchmark::DoNotOptimize(buffer[0]);
    delete f;
    if (++next == names.size()) next = 0;
  }
}

#if QVR_HAVE_PHYSFS

void OpenPhysFS(benchmark::State& state) {
  for (auto _ : state) {
    if (!PHYSFS_mount(g_files.big.c_str(), nullptr, 1)) {
      state.SkipWithError("PHYSFS_mount failed");
      break;
    }
    PHYSFS_unmount(g_files.big.c_str());
  }
}

void FindPhysFS(benchmark::State& state, unsigned count) {
  const std::string& file = g_files.bySize[count];
  if (!PHYSFS_mount(file.c_str(), nullptr, 1)) {
    state.SkipWithError("PHYSFS_mount failed");
    return;
  }
  std::vector<std::string> names = Shuffled(g_files.bigNames, count);
  size_t next = 0;
  for (auto _ : state) {
    int found = PHYSFS_exists(names[next].c_str());
    benchmark::DoNotOptimize(found);
    if (++next == names.size()) next = 0;
  }
  if (!PHYSFS_exists(names[0].c_str())) state.SkipWithError("name not found");
  PHYSFS_unmount(file.c_str());
}

void OpenReadPhysFS(benchmark::State& state, int source) {
  const std::string mounts[] = {g_files.folder, g_files.second, g_files.big};
  for (const std::string& m : mounts) {
    if (!PHYSFS_mount(m.c_str(), nullptr, 1)) {
      state.SkipWithError("PHYSFS_mount failed");
      return;
    }
  }
  std::vector<std::string> names = OpenNames(source);
  char buffer[kReadSize];
  size_t next = 0;
  for (auto _ : state) {
    PHYSFS_File* f = PHYSFS_openRead(names[next].c_str());
    if (!f || PHYSFS_readBytes(f, buffer, kReadSize) != kReadSize) {
      if (f) PHYSFS_close(f);
      state.SkipWithError("PHYSFS_openRead or readBytes failed");
      break;
    }
    benchmark::DoNotOptimize(buffer[0]);
    PHYSFS_close(f);
    if (++next == names.size()) next = 0;
  }
  for (const std::string& m : mounts) PHYSFS_unmount(m.c_str());
}

#endif

// Console output, plus the times of every repetition kept by name: the ratio table compares
// medians, which one run disturbed by another program on the machine does not move.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Iteration) {
        Samples& samples = m_runs[run.run_name.str()];
        samples.cpu.push_back(run.GetAdjustedCPUTime());
        samples.real.push_back(run.GetAdjustedRealTime());
        m_times[run.run_name.str()] = {Median(samples.cpu), Median(samples.real)};
      } else if (run.aggregate_name == "median") {
        // With --benchmark_report_aggregates_only the repetitions are not reported one by one.
        m_times[run.run_name.str()] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    struct Goal {
      const char* prefix;
      double ratio;
    };
    const Goal goals[] = {{"a_open", 10.0}, {"b_find", 2.0}, {"c_openread", 1.5}};
    // CPU time decides: it counts the system calls, and unlike wall time it is not inflated when
    // other programs compete for the processors. The wall-time ratio is shown beside it.
    std::printf("\n%-22s %12s %12s %8s %8s  %s\n", "case (median CPU)", "QVR3d", "PhysicsFS",
                "ratio", "wall", "goal");
    for (const auto& [name, ours] : m_times) {
      const std::string tag = "/QVR";
      if (name.size() < tag.size() || name.compare(name.size() - tag.size(), tag.size(), tag))
        continue;
      const std::string base = name.substr(0, name.size() - tag.size());
      auto peer = m_times.find(base + "/PhysFS");
      if (peer == m_times.end()) continue;
      double goal = 0;
      for (const Goal& g : goals)
        if (base.compare(0, std::strlen(g.prefix), g.prefix) == 0) goal = g.ratio;
      const double ratio = peer->second.cpu / ours.cpu;
      std::printf("%-22s %12.3f %12.3f %7.2fx %7.2fx  >= %.1fx %s\n", base.c_str(), ours.cpu,
                  peer->second.cpu, ratio, peer->second.real / ours.real, goal,
                  ratio >= goal ? "met" : "MISSED");
    }
    std::printf("(times in each benchmark's unit: a_open us, b_find ns, c_openread ns)\n");
  }

 private:
  struct Times {
    double cpu;
    double real;
  };
  struct Samples {
    std::vector<double> cpu, real;
  };
  static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
  }
  std::map<std::string, Samples> m_runs;
  std::map<std::string, Times> m_times;
};

void Register() {
  struct Side {
    const char* tag;
    void (*open)(benchmark::State&);
    void (*find)(benchmark::State&, unsigned);
    void (*openRead)(benchmark::State&, int);
  };
  const Side sides[] = {
    {"QVR", OpenQVR, FindQVR, OpenReadQVR},
#if QVR_HAVE_PHYSFS
    {"PhysFS", OpenPhysFS, FindPhysFS, OpenReadPhysFS},
#endif
  };
  for (const Side& side : sides) {
    benchmark::RegisterBenchmark((std::string("a_open/30000/") + side.tag).c_str(), side.open)
        ->Unit(benchmark::kMicrosecond);
    for (unsigned n : {100u, 1000u, kBigCount})
      benchmark::RegisterBenchmark(("b_find/" + std::to_string(n) + "/" + side.tag).c_str(),
                                   side.find, n);
    for (int s = 0; s < 4; ++s)
      benchmark::RegisterBenchmark(
          (std::string("c_openread/") + kSourceNames[s] + "/" + side.tag).c_str(), side.openRead,
          s);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!MakeFiles()) {
    std::fprintf(stderr, "archive_bench: cannot write the test archives below /tmp\n");
    if (!g_files.root.empty()) std::filesystem::remove_all(g_files.root);
    return 1;
  }
#if QVR_HAVE_PHYSFS
  if (!PHYSFS_init(argv[0])) {
    std::fprintf(stderr, "archive_bench: PHYSFS_init failed\n");
    return 1;
  }
#endif
  Register();
  // Five repetitions unless asked otherwise: the ratios compare their medians.
  std::vector<char*> args(argv, argv + argc);
  bool repetitions = false;
  for (char* arg : args) repetitions |= std::strncmp(arg, "--benchmark_repetitions", 23) == 0;
  char fiveRuns[] = "--benchmark_repetitions=5";
  if (!repetitions) args.push_back(fiveRuns);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
#if QVR_HAVE_PHYSFS
  PHYSFS_deinit();
#endif
  std::filesystem::remove_all(g_files.root);
  return 0;
}
