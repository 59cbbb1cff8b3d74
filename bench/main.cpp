// The transfer benchmark: each path sending the whole image to a device that
// answers at once, against the floor for the same pieces.
//
//   bench [Google Benchmark flags]
//       runs every case and ends with the table of ratios to the floor;
//       exits with 1 when a path failed or sent the wrong number of requests;
//   bench --koa_case=<path>/<kind>/<granularity> --koa_times=<n>
//       runs one case n times and nothing else, for instruction counts:
//       valgrind --tool=callgrind --toggle-collect='*measuredRuns*' ...
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bench/null_device.h"
#include "bench/ratio_reporter.h"
#include "bench/transfer_cases.h"
#include "report/console.h"
#include "transfer/firmware_image.h"

namespace koa::bench {

// Kept out of line, so that callgrind can count its instructions alone.
[[gnu::noinline]] bool measuredRuns(const TransferCase& transfer, long times) {
  bool ok = true;
  for (long i = 0; i < times; ++i) ok = transfer.run() && ok;
  return ok;
}

namespace {

// The value of --<name>=<value>, removed from argv; empty when absent.
std::string takeFlag(int& argc, char** argv, std::string_view name) {
  const std::string prefix = "--" + std::string(name) + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]).substr(0, prefix.size()) != prefix) continue;
    std::string value = argv[i] + prefix.size();
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    return value;
  }
  return {};
}

void registerCase(const TransferCase& transfer, const NullDevice& device) {
  benchmark::RegisterBenchmark(transfer.name().c_str(), [&transfer, &device](benchmark::State& state) {
    const std::uint64_t before = device.requests();
    bool ok = true;
    for (auto _ : state) ok = transfer.run() && ok;
    const auto iterations = static_cast<std::uint64_t>(state.iterations());
    // A path that failed or skipped pieces would look fast; it must not be
    // reported as a figure.
    if (!ok) state.SkipWithError("the path did not report success");
    if (device.requests() - before != transfer.requests * iterations)
      state.SkipWithError("the path did not make the expected number of requests");
    state.SetBytesProcessed(static_cast<std::int64_t>(iterations * kImageSize));
    state.counters["pieces"] = transfer.pieces;
    state.counters["per_piece"] = benchmark::Counter(
        transfer.pieces, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  })->Unit(benchmark::kMicrosecond);
}

}  // namespace
}  // namespace koa::bench

int main(int argc, char** argv) {
  using namespace koa::bench;
  koa::loadImage();
  NullDevice device;
  koa::installPlatform(device);
  // The display blocks and the [PASS] lines are not part of what is measured
  // on a terminal.
  koa::console::setSinkForTesting([](std::string_view) {});
  const std::vector<TransferCase> cases = transferCases();

  if (const std::string only = takeFlag(argc, argv, "koa_case"); !only.empty()) {
    const long times = std::strtol(takeFlag(argc, argv, "koa_times").c_str(), nullptr, 10);
    for (const TransferCase& transfer : cases)
      if (transfer.name() == only) return measuredRuns(transfer, times > 0 ? times : 1) ? 0 : 1;
    std::fprintf(stderr, "bench: no case %s\n", only.c_str());
    return 2;
  }

  for (const TransferCase& transfer : cases) registerCase(transfer, device);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Colours only on a terminal: logs and CI output stay plain text.
  RatioReporter reporter(isatty(fileno(stdout)) != 0 ? benchmark::ConsoleReporter::OO_ColorTabular
                                                     : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.anyError() ? 1 : 0;
}
