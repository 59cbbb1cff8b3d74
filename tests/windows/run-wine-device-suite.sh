#!/usr/bin/env bash
# The shipped program on Wine devices against the Linux program, machine by
# machine: for every machine file, build/windows/koa-update.exe runs under
# Wine through tests/windows/run-on-wine-devices.sh, build/linux/koa-update
# on the simulated machine, and the two must agree on the console text, the
# log (after its three lines of times and command line), the exit code (the
# full code through cmd against the Linux status and the log's final code),
# the device calls with their request bytes (koa-device-trace-compare) and
# the drives' final state, line ends apart. Then the runner's own failures:
# a bad machine file, a machine Wine cannot present, a port in use, a shim
# that fails to load, a model that exits mid-run: each one error line and a
# non-zero status, and no process of the run left. On every machine also
# build/windows/koa-inventory.exe /json against build/linux/koa-inventory
# /json: the same document, the machine's name apart, and the same exit code.
#
# Then two runs at once: a second run started while the first is held
# inside a device request exits with 1618 and changes nothing, and the first
# ends as a run alone.
#
# Usage: tests/windows/run-wine-device-suite.sh [MACHINE...]
#   (default: examples/machines/*.json and tests/windows/machines/*.json)
# Ends with "wine device suite: N passed, M failed"; status 0 only when M is 0.
set -uo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
runner=$source_dir/tests/windows/run-on-wine-devices.sh
linux_program=$source_dir/build/linux/koa-update
linux_inventory=$source_dir/build/linux/koa-inventory
windows_inventory=$source_dir/build/windows/koa-inventory.exe
host=$source_dir/build/linux/koa-sim-host
compare=$source_dir/build/linux/koa-device-trace-compare
work=$source_dir/build/windows/wine-device-suite

# shellcheck source=tests/windows/checks.sh
source "$source_dir/tests/windows/checks.sh"

for file in "$linux_program" "$linux_inventory" "$host" "$compare"; do
  [ -f "$file" ] || { echo "missing $file: build the linux preset first" >&2; exit 1; }
done
if [ $# -gt 0 ]; then
  machines=("$@")
else
  machines=("$source_dir"/examples/machines/*.json "$source_dir"/tests/windows/machines/*.json)
fi
rm -rf "$work"
mkdir -p "$work"

# The text with LF line ends; a file whose lines end now in CR LF, now in
# LF, or with a stray CR, fails.
lf_text() {
  local crlf lf
  crlf=$(grep -c $'\r$' "$1")
  lf=$(grep -c -v $'\r$' "$1")
  if [ "$crlf" -ne 0 ] && [ "$lf" -ne 0 ]; then
    echo "mixed line ends in $1: $crlf with CR LF, $lf with LF" >&2
    return 1
  fi
  sed 's/\r$//' "$1"
}

same_text() {
  diff -u --label linux --label wine "$1" "$2"
}

# The log after its Start Time, End Time and Input Command lines, which name
# the run's own times and paths.
report_of() {
  lf_text "$1" | tail -n +4
}

same_exit_code() {
  local full=$1 linux_status=$2 log=$3 final
  final=$(report_of "$log" | awk -F' : ' '$1 == "Return Code" { code = $2 } END { print code }')
  [ "$full" = "$final" ] || { echo "exit code $full through cmd, the log's final Return Code $final"; return 1; }
  [ $((full & 255)) -eq "$linux_status" ] || { echo "exit code $full, the Linux program's status $linux_status"; return 1; }
}

# No process left whose environment names the run's Wine prefix.
nothing_left() {
  local prefix=$1 environ left=()
  for environ in /proc/[0-9]*/environ; do
    if tr '\0' '\n' <"$environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix"; then
      left+=("$(basename "$(dirname "$environ")")")
    fi
  done
  [ ${#left[@]} -eq 0 ] || { echo "processes of $prefix still run: ${left[*]}"; return 1; }
}

# linux_run MACHINE DIR: the Linux program alone on the machine, its results
# in DIR; returns its exit status.
linux_run() {
  (cd "$2" && KOA_SIM_MACHINE=$1 KOA_SIM_TRACE=$2/trace.jsonl KOA_SIM_STATE_OUT=$2/state.json timeout 120 \
    "$linux_program" /s "/log=$2/run.log" >"$2/stdout.txt" 2>"$2/stderr.txt")
}

# same_as_linux NAME LINUX_DIR WINE_DIR LINUX_STATUS: the Wine run's console
# text, log, exit code, device calls and final state are the Linux run's, and
# nothing of it is left running.
same_as_linux() {
  local name=$1 linux_dir=$2 wine_dir=$3 linux_status=$4 full
  full=$(cat "$wine_dir/exit-code.txt")
  if lf_text "$wine_dir/stdout.txt" >"$wine_dir/stdout.lf" && report_of "$wine_dir/run.log" >"$wine_dir/report.lf"; then
    check "$name: the console text is the Linux program's" same_text "$linux_dir/stdout.txt" "$wine_dir/stdout.lf"
    report_of "$linux_dir/run.log" >"$linux_dir/report.lf"
    check "$name: the log is the Linux program's" same_text "$linux_dir/report.lf" "$wine_dir/report.lf"
    check "$name: the exit code $full is the log's and the Linux program's ($linux_status)" \
      same_exit_code "$full" "$linux_status" "$wine_dir/run.log"
  else
    fail "$name: the line ends of the console text and the log"
  fi
  check "$name: the device calls and their request bytes are the Linux program's" \
    "$compare" "$linux_dir/trace.jsonl" "$wine_dir/trace.jsonl"
  check "$name: the drives' final state is the Linux program's" cmp "$linux_dir/state.json" "$wine_dir/state.json"
  check "$name: nothing of the run is left running" nothing_left "$wine_dir/prefix"
}

start=$(date +%s)
for machine in "${machines[@]}"; do
  machine=$(realpath -m "$machine")
  name=$(basename "$machine" .json)
  linux_dir=$work/$name/linux
  wine_dir=$work/$name/wine
  mkdir -p "$linux_dir"
  linux_run "$machine" "$linux_dir"
  linux_status=$?

  if ! KOA_WINE_DEVICES_OUT=$wine_dir "$runner" "$machine" /s "/log=$wine_dir/run.log" \
    >"$work/$name/runner.out" 2>"$work/$name/runner.err"; then
    fail "$name: the run on the Wine devices" "$(cat "$work/$name/runner.err")"
    continue
  fi
  same_as_linux "$name" "$linux_dir" "$wine_dir" "$linux_status"

  # koa-inventory: the document without the machine's name, which only Windows knows.
  inventory_dir=$work/$name/inventory
  mkdir -p "$inventory_dir/linux"
  (cd "$inventory_dir/linux" && KOA_SIM_MACHINE=$machine timeout 120 "$linux_inventory" /json \
    >"$inventory_dir/linux/stdout.txt" 2>"$inventory_dir/linux/stderr.txt")
  inventory_status=$?
  if ! KOA_WINE_DEVICES_PROGRAM=$windows_inventory KOA_WINE_DEVICES_OUT=$inventory_dir/wine "$runner" "$machine" \
    /json >"$inventory_dir/runner.out" 2>"$inventory_dir/runner.err"; then
    fail "$name: koa-inventory on the Wine devices" "$(cat "$inventory_dir/runner.err")"
    continue
  fi
  # Both carry a name: the simulated machine's, and the one Wine gives.
  grep -v '^  "machineName": ' "$inventory_dir/linux/stdout.txt" >"$inventory_dir/linux/stdout.unnamed"
  if lf_text "$inventory_dir/wine/stdout.txt" | grep -v '^  "machineName": ' >"$inventory_dir/wine/stdout.lf"; then
    check "$name: koa-inventory's document is the Linux program's" \
      same_text "$inventory_dir/linux/stdout.unnamed" "$inventory_dir/wine/stdout.lf"
  else
    fail "$name: the line ends of koa-inventory's document"
  fi
  check "$name: koa-inventory's exit code is the Linux program's ($inventory_status)" \
    test "$(cat "$inventory_dir/wine/exit-code.txt")" = "$inventory_status"
  check "$name: nothing of the inventory's run is left running" nothing_left "$inventory_dir/wine/prefix"
done
echo "wine device suite: ${#machines[@]} machines in $(($(date +%s) - start)) s"

# ---- two runs at once: the first is held inside its third download piece
# (a "hold" fault that koa-sim-host honours), a second run is started, must
# change nothing and exit with 1618, and only then is the first let go: it
# must end exactly as the Linux program's run alone on the same machine.
two=$work/two-runs
linux_dir=$two/linux
wine_dir=$two/wine
mkdir -p "$linux_dir"
sed 's|"faults": \[\]|"faults": [{"action": "hold", "device": "\\\\\\\\.\\\\PHYSICALDRIVE1", "request": "inbox.download", "nth": 3}]|' \
  "$source_dir/examples/machines/workstation.json" >"$two/held-download.json"
linux_run "$two/held-download.json" "$linux_dir"
linux_status=$?
if KOA_WINE_DEVICES_OUT=$wine_dir KOA_WINE_DEVICES_SECOND_RUN="/s /log=$two/second.log" \
  "$runner" "$two/held-download.json" /s "/log=$wine_dir/run.log" >"$two/runner.out" 2>"$two/runner.err"; then
  check "two runs: the second exits with 1618" grep -qx 1618 "$wine_dir/second-exit-code.txt"
  { head -n 4 "$linux_dir/stdout.txt"
    echo "  [ERROR] Another koa-update is running on this machine; this run changed nothing."
  } >"$two/second-expected.txt"
  if lf_text "$wine_dir/second-stdout.txt" >"$wine_dir/second-stdout.lf"; then
    check "two runs: the second writes the run header and one line" \
      same_text "$two/second-expected.txt" "$wine_dir/second-stdout.lf"
  else
    fail "two runs: the line ends of the second run's console text"
  fi
  check "two runs: the second creates no log" test ! -e "$two/second.log"
  check "two runs: the first was held inside a download" grep -q '"faultAction":"hold"' "$wine_dir/trace.jsonl"
  same_as_linux "two runs: the first" "$linux_dir" "$wine_dir" "$linux_status"
else
  fail "two runs: the runs on the Wine devices" "$(cat "$two/runner.err")"
fi

# ---- the runner's own failures: one line on standard error, a non-zero
# status, nothing left running.

# expect_failure NAME PATTERN [VAR=VALUE...] -- MACHINE: the runner fails
# with one line matching PATTERN (an extended regular expression).
expect_failure() {
  local name=$1 pattern=$2 out=$work/failures/$1 status
  shift 2
  local environment=()
  while [ "$1" != -- ]; do environment+=("$1"); shift; done
  shift
  mkdir -p "$out"
  env KOA_WINE_DEVICES_OUT="$out/run" "${environment[@]}" timeout 600 "$runner" "$1" /s \
    >"$out/stdout" 2>"$out/stderr"
  status=$?
  local lines
  lines=$(grep -c . "$out/stderr")
  if [ "$status" -ne 0 ] && [ "$status" -ne 124 ] && [ "$lines" -eq 1 ] && grep -qE "$pattern" "$out/stderr"; then
    pass "$name: one error line and status $status"
  else
    fail "$name: one error line matching /$pattern/ and a non-zero status" \
      "status $status, standard error:"$'\n'"$(cat "$out/stderr")"
  fi
  check "$name: nothing of the run is left running" nothing_left "$out/run/prefix"
}

mkdir -p "$work/failures"
examples=$source_dir/examples/machines
printf '{"drives": {"ssd": {"serialNumber": 3}}}\n' >"$work/failures/bad-machine.json"
expect_failure bad-machine-file '^run-on-wine-devices: the model did not start: koa-sim-host: .*/drives/ssd/serialNumber' \
  -- "$work/failures/bad-machine.json"
sed 's|"faults": \[\]|"faults": [{"action": "failOpen", "path": "\\\\\\\\.\\\\PHYSICALDRIVE1", "nth": 2, "error": 5}]|' \
  "$examples/workstation.json" >"$work/failures/nth-open.json"
expect_failure machine-wine-cannot-present '/faults/0/nth: Wine 8 ignores a driver.s answer to an open' \
  -- "$work/failures/nth-open.json"

# A port another program listens on: a model of our own holds it.
KOA_SIM_MACHINE=$examples/empty.json "$host" --ready "$work/failures/holder.ready" --accept-timeout 120 \
  >/dev/null 2>&1 &
holder=$!
for _ in $(seq 100); do [ -f "$work/failures/holder.ready" ] && break; sleep 0.1; done
held_port=$(awk '$1 == "port" { print $2 }' "$work/failures/holder.ready" 2>/dev/null)
expect_failure port-in-use "cannot listen on 127\.0\.0\.1:${held_port:-none}: Address already in use" \
  KOA_WINE_DEVICES_PORT="${held_port:-1}" -- "$examples/empty.json"
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null

expect_failure shim-fails-to-load '^run-on-wine-devices: the device shim koa-error-status-check.exe failed to load' \
  KOA_WINE_DEVICES_SHIM="$source_dir/build/windows/koa-error-status-check.exe" -- "$examples/workstation.json"
expect_failure model-exits-mid-run '^run-on-wine-devices: the model exited during the run \(status 3\)' \
  KOA_SIM_HOST_ARGS="--stop-after 40" -- "$examples/workstation.json"

echo "wine device suite: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
