#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh

cmake --preset linux
cmake --build --preset linux
ctest --preset linux

# Smoke run of the transfer benchmark: every path sends the whole image at
# every granularity, and a path that fails or sends the wrong number of
# requests makes it exit with 1. The figures of so short a run mean nothing;
# docs/performance.md has the real ones.
build/linux/bench/bench --benchmark_min_time=0.01 --benchmark_color=false

# The Windows programs, cross-built with mingw-w64 and run under Wine.
cmake --preset windows
cmake --build --preset windows
tests/windows/run-wine-tests.sh build/windows build/linux/koa-update
