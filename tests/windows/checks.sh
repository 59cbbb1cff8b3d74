# The PASS/FAIL tally of the Windows-side test scripts; sourced, never run.
# Each script prints its own closing "N passed, M failed" line.
passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; [ $# -lt 2 ] || printf '%s\n' "$2" | sed 's/^/     /'; }
# check NAME COMMAND...: passes when the command succeeds.
check() {
  local name=$1 output
  shift
  if output=$("$@" 2>&1); then pass "$name"; else fail "$name" "$output"; fi
}
