#!/usr/bin/env bash
# Instruction counts of each transfer path's download loop against its floor,
# under callgrind: a ratio that a loaded machine cannot disturb (the wall-time
# ratios come from build/linux/bench/bench). Needs valgrind and the linux
# build.
#
#   scripts/bench-instructions.sh [granularity ...]    (default: 1 8 128 255)
set -euo pipefail
cd "$(dirname "$0")/.."
bench=build/linux/bench/bench
times=4
granularities=("$@")
[ ${#granularities[@]} -gt 0 ] || granularities=(1 8 128 255)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Instructions of one run of the case, inside measuredRuns only.
instructions() {
  valgrind --tool=callgrind --toggle-collect='*measuredRuns*' --callgrind-out-file="$work/out" \
    "$bench" --koa_case="$1" --koa_times=$times >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  awk -v times=$times '/^summary:|^totals:/ { print int($2 / times); exit }' "$work/out"
}

printf '%-6s %5s %14s %14s %7s\n' path g floor download ratio
for g in "${granularities[@]}"; do
  for path in inbox irst vroc; do
    floor=$(instructions "$path/floor/$g")
    download=$(instructions "$path/download/$g")
    printf '%-6s %5s %14s %14s %7s\n' "$path" "$g" "$floor" "$download" \
      "$(awk -v a="$download" -v b="$floor" 'BEGIN { printf "%.3f", a / b }')"
  done
done
