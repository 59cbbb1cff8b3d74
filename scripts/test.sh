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

# The end-to-end tests again, with the Windows program on the simulated
# machine under Wine in place of the Linux program.
tests/windows/run-end-to-end-under-wine.sh build/linux build/windows

# The program as shipped, built twice from nothing in two directories: the
# same bytes both times; leaves dist/koa-update.exe and its SHA-256.
scripts/dist.sh --check
