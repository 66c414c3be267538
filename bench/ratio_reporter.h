// Console reporter of the benchmarks that keeps each run's bytes per second
// (the median when repeated) and prints ours / peer ratios at the end.
#ifndef QVR_BENCH_RATIO_REPORTER_H
#define QVR_BENCH_RATIO_REPORTER_H

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace qvrbench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(1) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        m_rates[name] = it->second;
        m_medians.insert(name);
      } else if (run.run_type == Run::RT_Iteration && !m_medians.count(name)) {
        m_rates[name] = it->second;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Bytes per second of `name`, 0 when it did not run.
  double Rate(const std::string& name) const {
    auto it = m_rates.find(name);
    return it == m_rates.end() ? 0 : it->second;
  }
  // Prints and returns ours / peer (0 when either did not run).
  double PrintRatio(const std::string& ours, const std::string& peer) const {
    const double a = Rate(ours), b = Rate(peer);
    if (a <= 0 || b <= 0) return 0;
    std::printf("%-34s / %-30s = %.2f\n", ours.c_str(), peer.c_str(), a / b);
    return a / b;
  }

 private:
  std::map<std::string, double> m_rates;
  std::set<std::string> m_medians;
};

}  // namespace qvrbench

#endif
