#!/usr/bin/env bash
# Runs the end-to-end tests of the test suite a second time, with the Windows
# program on the simulated machine (koa-update-sim.exe) under Wine in place
# of the Linux program (tests/support/machine_run.h: KOA_TEST_WINDOWS_PROGRAM).
# The same expectations then hold the Windows build to the Linux build's
# console text, log, exit code and drive state, with the Windows runtime's
# wide characters, argument splitting and text mode (every line must end with
# CR LF) in between.
#
# Usage: tests/windows/run-end-to-end-under-wine.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]
set -uo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
linux_build=$(realpath -m "${1:-$source_dir/build/linux}")
windows_build=$(realpath -m "${2:-$source_dir/build/windows}")
tests=$linux_build/tests/koa_tests
sim_program=$windows_build/koa-update-sim.exe

# The suites whose tests start the program as a separate process.
suites=(
  ProgramOnEmptyMachine ProgramExitCode
  RunOnMachine MachineState ProcessCalls
  InboxRun InboxExampleRun InboxGranularityRun InboxDiscoveryRun InboxFailureRun
  IrstEndToEnd IrstExampleMachines
  VrocExampleMachines
)
# A parameterised suite is named "<prefix>/<suite>".
filter=
for suite in "${suites[@]}"; do filter+="$suite.*:*/$suite.*:"; done
filter=${filter%:}

for file in "$tests" "$sim_program"; do
  [ -f "$file" ] || { echo "missing $file: build the linux and windows presets first" >&2; exit 1; }
done

export WINEPREFIX=$windows_build/wine-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "initialising the Wine prefix $WINEPREFIX"
  timeout 300 wineboot --init >/dev/null 2>&1 || { echo "the Wine prefix does not initialise" >&2; exit 1; }
fi
# One Wine server for all runs: each run then costs the start of one Windows
# process, not of a whole Wine session.
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

count=$("$tests" --gtest_list_tests --gtest_filter="$filter" | grep -c '^  ')
echo "end-to-end tests under Wine: $count tests of ${#suites[@]} suites, program $sim_program"
start=$(date +%s)
KOA_TEST_WINDOWS_PROGRAM=$sim_program "$tests" --gtest_filter="$filter" --gtest_brief=1
status=$?
echo "end-to-end tests under Wine: $count tests in $(($(date +%s) - start)) s, exit status $status"
exit "$status"
