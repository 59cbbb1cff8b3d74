#include "bench/ratio_reporter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "bench/transfer_cases.h"

namespace koa::bench {
namespace {

// The goals for the download loops: 1.5 times the floor at granularity 1
// (512 requests, where the per-request work weighs most), 1.2 at 128.
double goalFor(std::int32_t granularity) {
  if (granularity == 1) return 1.5;
  if (granularity == 128) return 1.2;
  return 0;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& reports) {
  ConsoleReporter::ReportRuns(reports);
  for (const Run& run : reports) {
    if (run.error_occurred) anyError_ = true;
    if (run.error_occurred) continue;
    // Each repetition, or (with --benchmark_report_aggregates_only) the
    // median over them.
    if (run.run_type == Run::RT_Iteration)
      cpuTimes_[run.run_name.str()].push_back(run.GetAdjustedCPUTime());
    else if (run.aggregate_name == "median")
      medianCpuTimes_[run.run_name.str()] = run.GetAdjustedCPUTime();
  }
}

void RatioReporter::Finalize() {
  ConsoleReporter::Finalize();
  for (const auto& [name, time] : medianCpuTimes_) cpuTimes_[name] = {time};
  std::ostream& out = GetOutputStream();
  bool header = false;
  for (const char* path : {"inbox", "irst", "vroc"}) {
    for (const char* kind : {"download", "update"}) {
      std::string row;
      for (const std::int32_t g : kGranularities) {
        const std::string suffix = "/" + std::to_string(g);
        const auto measured = cpuTimes_.find(std::string(path) + "/" + kind + suffix);
        const auto floor = cpuTimes_.find(std::string(path) + "/floor" + suffix);
        std::string cell = "-";
        if (measured != cpuTimes_.end() && floor != cpuTimes_.end()) {
          const double ratio = median(measured->second) / median(floor->second);
          const double goal = goalFor(g);
          cell = fixed(ratio, 2) + (std::string(kind) == "download" && goal != 0 && ratio > goal ? " (over)" : "");
        }
        row += "  " + std::string(14 - std::min<std::size_t>(cell.size(), 14), ' ') + cell;
      }
      if (row.find_first_not_of(" -") == std::string::npos) continue;
      if (!header) {
        out << "\nRatio to the floor (median CPU time over the repetitions; goal for the download\n"
               "loops: 1.5 at granularity 1, 1.2 at 128)\n"
            << "path  kind    ";
        for (const std::int32_t g : kGranularities)
          out << "  " << std::string(14 - 2 - std::to_string(g).size(), ' ') << "g=" << g;
        out << '\n';
        header = true;
      }
      char label[32];
      std::snprintf(label, sizeof label, "%-5s %-8s", path, kind);
      out << label << row << '\n';
    }
  }
  out.flush();
}

}  // namespace koa::bench
