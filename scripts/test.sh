#!/usr/bin/env bash
# Builds everything and runs every test: the suite; the suite again under
# AddressSanitizer, LeakSanitizer and UBSan, with the fault sweep; and a
# bounded libFuzzer run. Prints the count of each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh

# The fault sweep runs once, under the sanitizers, below.
cmake --preset linux
cmake --build --preset linux
ctest --preset linux -E '^FaultSweep\.'

# Smoke run of the transfer benchmark: every path sends the whole image at
# every granularity, and a path that fails or sends the wrong number of
# requests makes it exit with 1. The figures of so short a run mean nothing;
# docs/performance.md has the real ones.
build/linux/bench/bench --benchmark_min_time=0.01 --benchmark_color=false

# The Windows programs, cross-built with mingw-w64 and run under Wine.
cmake --preset windows
cmake --build --preset windows
tests/windows/run-wine-tests.sh build/windows build/linux/koa-update

# The end-to-end tests again, with the Windows program on the simulated
# machine under Wine in place of the Linux program.
tests/windows/run-end-to-end-under-wine.sh build/linux build/windows

# The shipped program, unmodified, under Wine on the devices of every
# example machine and of tests/windows/machines/, presented by the device
# shim and answered by the simulated machine: the same console text, log,
# exit code, device calls and final state as the Linux program.
tests/windows/run-wine-device-suite.sh

# The program as shipped, built twice from nothing in two directories: the
# same bytes both times, hardened; leaves the shipped programs in dist/ with their SHA-256.
scripts/dist.sh --check

# Signed with a throwaway certificate (one more clean build): the signature
# verifies, removing it gives back the unsigned bytes, the signed program
# runs under Wine.
tests/windows/check-signing.sh build/windows

cmake --preset sanitize
cmake --build --preset sanitize
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --preset sanitize -E '^FaultSweep\.' | tee build/sanitize/ctest.log
echo "sanitizers: $(grep -Eo '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' build/sanitize/ctest.log)"
build/sanitize/tests/koa_tests --gtest_filter='FaultSweep.*' | tee build/sanitize/sweep.log
echo "fault sweep: $(grep -Eo '[0-9]+ runs, [0-9]+ failure points' build/sanitize/sweep.log | paste -sd ';' -)"

cmake --preset fuzz
cmake --build --preset fuzz
# New inputs go to build/fuzz/corpus; the committed seeds are only read. The
# seed is fixed so that this gate tries the same inputs on every machine (the
# faster the machine, the more of them); exploratory runs with other seeds
# belong outside the gate, and what they find goes to tests/fuzz/regressions/.
mkdir -p build/fuzz/corpus build/fuzz/artifacts
build/fuzz/tests/fuzz/koa_fuzz -seed=1 -max_total_time=60 -timeout=120 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix=build/fuzz/artifacts/ build/fuzz/corpus tests/fuzz/corpus >build/fuzz/fuzz.log 2>&1 ||
  { tail -n 60 build/fuzz/fuzz.log; exit 1; }
echo "fuzzer: $(grep -Eo 'stat::number_of_executed_units: [0-9]+' build/fuzz/fuzz.log) in 60 s," \
     "$(grep -Eo 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' build/fuzz/fuzz.log | tail -n 1)"
