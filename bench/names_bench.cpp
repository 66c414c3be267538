// Opening files through a folder source by names written for a file system that ignores letter
// case: 10 000 opens of existing files named exactly, then the same opens named in the wrong
// case (every component, and the file name only), once the folder cache is warm. The tree
// (100 folders of 100 files) is written at start into a temporary folder; the cost of each
// wrong-case run against the exact one is printed after the runs.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qvr3d/resfinder.h"
#include "qvr3d/stream.h"

namespace {

constexpr unsigned kFolders = 100;
constexpr unsigned kFilesPerFolder = 100;
constexpr unsigned kOpens = kFolders * kFilesPerFolder;

struct Tree {
  std::string root;
  std::vector<std::string> exact;     // Data/Set07/Map00712.DAT
  std::vector<std::string> wrong;     // data\set07\map00712.dat
  std::vector<std::string> lastOnly;  // Data/Set07/map00712.dat
};
Tree g_tree;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool MakeTree() {
  char templ[] = "/tmp/qvr3d-names-bench-XXXXXX";
  if (!mkdtemp(templ)) return false;
  g_tree.root = templ;
  for (unsigned d = 0; d < kFolders; ++d) {
    char folder[32];
    std::snprintf(folder, sizeof folder, "Data/Set%02u", d);
    std::filesystem::create_directories(g_tree.root + "/" + folder);
    for (unsigned f = 0; f < kFilesPerFolder; ++f) {
      char file[32];
      std::snprintf(file, sizeof file, "Map%05u.DAT", d * kFilesPerFolder + f);
      std::string name = std::string(folder) + "/" + file;
      FILE* out = std::fopen((g_tree.root + "/" + name).c_str(), "wb");
      if (!out) return false;
      std::fputs(name.c_str(), out);
      std::fclose(out);
      std::string wrong = Lower(name);
      for (char& c : wrong)
        if (c == '/') c = '\\';
      g_tree.exact.push_back(name);
      g_tree.wrong.push_back(wrong);
      g_tree.lastOnly.push_back(std::string(folder) + "/" + Lower(file));
    }
  }
  return true;
}

// One iteration: every name of the list found, opened, its first bytes read, and closed.
void Opens(benchmark::State& state, const std::vector<std::string>* names) {
  QVRResFinder finder;
  if (!finder.AddSource(g_tree.root.c_str())) {
    state.SkipWithError("cannot add the folder source");
    return;
  }
  // Warm the folder cache, and check that every name is found.
  for (const std::string& name : *names) {
    std::unique_ptr<QVRResFile> file(finder.FindRes(name.c_str()));
    if (!file) {
      state.SkipWithError(("not found: " + name).c_str());
      return;
    }
  }
  char head[8];
  for (auto _ : state) {
    for (const std::string& name : *names) {
      std::unique_ptr<QVRResFile> file(finder.FindRes(name.c_str()));
      benchmark::DoNotOptimize(file->Read(head, sizeof head));
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kOpens);
}

class CostReporter : public benchmark::ConsoleReporter {
 public:
  // Keeps the median of each benchmark's repetitions: the machine may be shared, and one slow
  // repetition should not decide the figure.
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        m_times[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintCosts() const {
    auto exact = m_times.find("a_exact");
    if (exact == m_times.end() || exact->second <= 0) return;
    for (const char* name : {"b_wrong_case", "c_wrong_case_file_only"}) {
      auto it = m_times.find(name);
      if (it == m_times.end()) continue;
      std::printf("%-24s / a_exact = %.2fx the time of an exact open\n", name,
                  it->second / exact->second);
    }
  }

 private:
  std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv) {
  if (!MakeTree()) {
    std::fprintf(stderr, "names_bench: cannot write the test tree below /tmp\n");
    if (!g_tree.root.empty()) std::filesystem::remove_all(g_tree.root);
    return 1;
  }
  const std::pair<const char*, const std::vector<std::string>*> runs[] = {
      {"a_exact", &g_tree.exact},
      {"b_wrong_case", &g_tree.wrong},
      {"c_wrong_case_file_only", &g_tree.lastOnly},
  };
  for (const auto& run : runs) {
    benchmark::RegisterBenchmark(run.first, Opens, run.second)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
  }
  benchmark::Initialize(&argc, argv);
  CostReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintCosts();
  benchmark::Shutdown();
  std::filesystem::remove_all(g_tree.root);
  return 0;
}
