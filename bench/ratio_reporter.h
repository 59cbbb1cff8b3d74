// The console report, followed by each path's time as a ratio to its floor
// measured in the same run: the median CPU time of each benchmark over its
// repetitions, divided by the median of the floor for the same path and
// granularity.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace koa::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}
  void ReportRuns(const std::vector<Run>& reports) override;
  void Finalize() override;
  // True when a benchmark reported an error (a path that failed or sent the
  // wrong number of requests): the run must not pass as a measurement.
  [[nodiscard]] bool anyError() const { return anyError_; }

 private:
  bool anyError_ = false;
  std::map<std::string, std::vector<double>> cpuTimes_;  // by benchmark name, one per repetition
  std::map<std::string, double> medianCpuTimes_;         // the median aggregates, when reported
};

}  // namespace koa::bench
