#!/usr/bin/env bash
# Runs a shipped program, build/windows/koa-update.exe by default, unmodified under
# Wine on the devices of a machine file: the model (build/linux/koa-sim-host,
# the simulated machine) answers the device shim (koa-device-shim.sys, a
# driver that Wine's winedevice.exe loads), which presents the machine's
# device nodes, interfaces and DOS names to Wine and relays every open,
# close and device control of the program to the model.
#
# Usage: tests/windows/run-on-wine-devices.sh MACHINE [ARGS...]
#   ARGS go to the program (start it with /s: without it, it waits on its
#   message box). A /log= path that starts with / is handed over as its Z:
#   path. Example:
#     tests/windows/run-on-wine-devices.sh examples/machines/workstation.json /s /log=/tmp/fw.log
#
# Environment (all optional):
#   KOA_WINE_DEVICES_PROGRAM  the program to run (default build/windows/koa-update.exe;
#                          e.g. build/windows/koa-inventory.exe)
#   KOA_WINE_DEVICES_OUT   where the results go (default build/windows/wine-devices/<machine name>)
#   KOA_WINE_DEVICES_PORT  the model's port on 127.0.0.1 (default: a free one)
#   KOA_WINE_DEVICES_SHIM  the driver to load (default build/windows/koa-device-shim.sys)
#   KOA_WINE_DEVICES_HOST  the model to run (default build/linux/koa-sim-host; e.g. the sanitize build's)
#   KOA_SIM_HOST_ARGS      more arguments for koa-sim-host (tests use --stop-after N)
#   KOA_WINE_DEVICES_WINEDEBUG  WINEDEBUG for the program (default -all; e.g. +setupapi)
#   KOA_WINE_DEVICES_TIME  not empty: /usr/bin/time -v of the program's run in program-time.txt
#   KOA_WINE_DEVICES_KEEP_PREFIX  not empty: leave the run's Wine prefix in the output directory
#   KOA_WINE_DEVICES_SECOND_RUN  not empty: the arguments (one word each) of a second run
#     of the program, started while the first is held inside a device request
#     by a "hold" fault of the machine (koa-sim-host --hold-signal); once the
#     second has ended, the first is let go. Its results: second-stdout.txt
#     and second-exit-code.txt. A first run that ends without reaching a hold
#     fails the script.
#
# Results in the output directory: stdout.txt and stderr.txt (the program's
# standard output and standard error), exit-code.txt (the full exit code,
# read as !ERRORLEVEL! through cmd /v:on), trace.jsonl (KOA_SIM_TRACE of the
# model: the program's device calls), state.json (KOA_SIM_STATE_OUT),
# state-now.json (the machine before the reset, KOA_SIM_STATE_NOW_OUT),
# host.err and wine.log (the model's
# and Wine's messages, the shim's DbgPrint lines among them), and the log
# where /log= puts it (test.txt in the output directory by default).
#
# Every wait is bounded. Exit status 0 when the run went through; otherwise
# one line "run-on-wine-devices: ..." on standard error and status 1.
# Everything started here (the model, Wine's server and with it services.exe
# and winedevice.exe) is stopped by process id before the script ends.
set -uo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
windows_build=$source_dir/build/windows
program=$(realpath -m "${KOA_WINE_DEVICES_PROGRAM:-$windows_build/koa-update.exe}")
shim=${KOA_WINE_DEVICES_SHIM:-$windows_build/koa-device-shim.sys}
host=${KOA_WINE_DEVICES_HOST:-$source_dir/build/linux/koa-sim-host}
template=$windows_build/wine-devices-template
service=koa-device-shim
run_timeout=300
stop_timeout=60

fail() {
  echo "run-on-wine-devices: $*" >&2
  exit 1
}

[ $# -ge 1 ] || fail "usage: tests/windows/run-on-wine-devices.sh MACHINE [ARGS...]"
machine=$(realpath -m "$1")
shift
for file in "$program" "$host"; do
  [ -f "$file" ] || fail "missing $file: build the linux and windows presets first"
done
[ -f "$shim" ] || fail "missing the device shim $shim: build the windows preset first"

name=$(basename "$machine" .json)
out=$(realpath -m "${KOA_WINE_DEVICES_OUT:-$windows_build/wine-devices/$name}")
case $out in
  / | "$source_dir" | "$windows_build") fail "KOA_WINE_DEVICES_OUT names $out, which the run would empty" ;;
esac
rm -rf "$out"
mkdir -p "$out" || fail "cannot make $out"
prefix=$out/prefix

export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# The Windows spelling of a Unix path, through Wine's Z: drive.
windows_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

host_pid=
server_pid=
stop_everything() {
  if [ -n "$host_pid" ] && kill -0 "$host_pid" 2>/dev/null; then
    kill "$host_pid" 2>/dev/null
    wait "$host_pid" 2>/dev/null
  fi
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1
    for _ in $(seq 100); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
  fi
  host_pid=
  server_pid=
  [ -n "${KOA_WINE_DEVICES_KEEP_PREFIX:-}" ] || rm -rf "$prefix"
}
trap stop_everything EXIT
trap 'exit 130' INT TERM

# ---- the model
read -r -a host_args <<<"${KOA_SIM_HOST_ARGS:-}"
hold_dir=$out/hold
if [ -n "${KOA_WINE_DEVICES_SECOND_RUN:-}" ]; then
  mkdir -p "$hold_dir"
  host_args+=(--hold-signal "$hold_dir")
fi
KOA_SIM_MACHINE=$machine KOA_SIM_TRACE=$out/trace.jsonl KOA_SIM_STATE_OUT=$out/state.json \
  KOA_SIM_STATE_NOW_OUT=$out/state-now.json "$host" --port "${KOA_WINE_DEVICES_PORT:-0}" --ready "$out/ready.txt" "${host_args[@]}" \
  >"$out/host.out" 2>"$out/host.err" &
host_pid=$!
for _ in $(seq 300); do
  [ -f "$out/ready.txt" ] && break
  kill -0 "$host_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -f "$out/ready.txt" ]; then
  wait "$host_pid" 2>/dev/null
  host_pid=
  fail "the model did not start: $(head -n 1 "$out/host.err")"
fi
port=$(awk '$1 == "port" { print $2 }' "$out/ready.txt")

# ---- a private Wine prefix: a fresh copy of a template made once. Hard
# links keep the copy cheap; the registry, which Wine rewrites, is copied.
# services.exe gives a service 10 s to report that it runs unless
# ServicesPipeTimeout says otherwise; winedevice.exe loading the shim on a
# busy machine can take longer, and a service late by a second is then
# stopped and reported as not started. 90 s stays inside the 120 s bound
# on the start below.
(
  flock 9
  if ! grep -qs '"ServicesPipeTimeout"="90000"' "$template/system.reg"; then
    rm -rf "$template"
    WINEPREFIX=$template timeout 300 wineboot --init >"$out/wineboot.log" 2>&1 &&
      WINEPREFIX=$template timeout 60 wine reg add 'HKLM\System\CurrentControlSet\Control' \
        /v ServicesPipeTimeout /t REG_SZ /d 90000 /f >>"$out/wineboot.log" 2>&1 &&
      WINEPREFIX=$template timeout 60 wineserver -w
  fi
) 9>"$windows_build/wine-devices-template.lock"
grep -qs '"ServicesPipeTimeout"="90000"' "$template/system.reg" ||
  fail "the Wine prefix template does not initialise: see $out/wineboot.log"
cp -al "$template" "$prefix" || fail "cannot copy the Wine prefix template to $prefix"
for file in "$prefix"/*.reg; do cp --remove-destination "$template/$(basename "$file")" "$file"; done
mkdir -p "$prefix/drive_c/koa-device-shim"
cp "$shim" "$prefix/drive_c/koa-device-shim/$service.sys"

# Opens the machine refuses are staged in Wine's own namespace (Wine 8
# ignores a driver's answer to an open): a dosdevices entry that is a
# directory refuses an open with ERROR_ACCESS_DENIED, a file that the shim
# holds open without sharing with ERROR_SHARING_VIOLATION, and no entry at
# all gives ERROR_FILE_NOT_FOUND.
mkdir -p "$out/staged/denied"
staged=0
while read -r kind error entry; do
  [ "$kind" = refuse ] || continue
  case $error in
    5) ln -s "$out/staged/denied" "$prefix/dosdevices/$entry" ;;
    32) staged=$((staged + 1)); : >"$out/staged/held-$staged"; ln -s "$out/staged/held-$staged" "$prefix/dosdevices/$entry" ;;
    2) ;;
    *) fail "the model asks for an open refused with error $error, which cannot be staged" ;;
  esac
done <"$out/ready.txt"

# ---- Wine's server, in the foreground so that its process id is known;
# the first Wine program waits for its socket.
# Its socket is /tmp/.wine-<uid>/server-<dev>-<inode>/socket, or on Debian's
# Wine under the directory that the prefix's file "wineserver" names.
WINEPREFIX=$prefix wineserver -f -p >"$out/wineserver.log" 2>&1 &
server_pid=$!
server_socket() {
  local base=/tmp/.wine-$(id -u) inode
  [ -f "$prefix/wineserver" ] && base=/tmp/$(cat "$prefix/wineserver")
  inode=$(printf '%x-%x' $(stat -c '%d %i' "$prefix"))
  printf '%s/server-%s/socket' "$base" "$inode"
}
for _ in $(seq 100); do
  [ -S "$(server_socket)" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
[ -S "$(server_socket)" ] || fail "Wine's server did not start: $(head -n 1 "$out/wineserver.log")"

# ---- the shim as a kernel driver service, its model's port in the service
# key. services.exe and winedevice.exe inherit this first program's standard
# error: the shim's DbgPrint lines (warn+debugstr) and sc's own reasons
# (err+sc) go to wine.log. A service that exists already is not created
# again, so that the script can be run a second time.
cat >"$out/start-shim.cmd" <<EOF
@echo off
sc query $service >nul
if errorlevel 1 sc create $service type= kernel start= demand binpath= C:\\koa-device-shim\\$service.sys >nul
if errorlevel 1 exit /b 11
reg add HKLM\\System\\CurrentControlSet\\Services\\$service /v ModelPort /t REG_DWORD /d $port /f >nul
if errorlevel 1 exit /b 12
sc start $service >nul
if errorlevel 1 exit /b 13
EOF
sed -i 's/$/\r/' "$out/start-shim.cmd"
# A service manager that is still starting up can refuse the creation; that
# is tried again. A start is not: once the shim has reached the model, the
# model answers no second shim.
for attempt in 1 2 3; do
  WINEPREFIX=$prefix WINEDEBUG=-all,warn+debugstr,err+ntoskrnl,err+sc timeout 120 \
    wine cmd /c "$(windows_path "$out/start-shim.cmd")" >"$out/start-shim.out" 2>>"$out/wine.log"
  status=$?
  [ "$status" -eq 11 ] && [ "$attempt" -lt 3 ] || break
  sleep 1
done
if [ "$status" -ne 0 ]; then
  reason=$(grep -m 1 -h '^koa-sim-host: device shim:' "$out/host.err")
  [ -n "$reason" ] || reason=$(grep -m 1 -ho 'koa-device-shim: .*' "$out/wine.log")
  # (the existence check's "failed to open service 1060" is no reason)
  [ -n "$reason" ] || reason=$(grep -v 'err:sc:query_service' "$out/wine.log" | grep -m 1 -o 'err:sc:.*')
  case $status in
    11) what="the service cannot be created" ;;
    12) what="its ModelPort cannot be written" ;;
    13) what="it did not start" ;;
    124) what="it did not start within 120 s" ;;
    *) what="Wine ended with status $status" ;;
  esac
  fail "the device shim $(basename "$shim") failed to load: $what${reason:+ ($reason)}"
fi

# ---- the program, through cmd /v:on so that the full exit code arrives:
# one line of a batch file, so that paths with blanks can be quoted (Wine
# would escape quotes inside a cmd /c argument in a way cmd does not read).
line=$(printf '"%s"' "$(windows_path "$program")")
# A machine without administrator rights: the program runs with the limited
# token, so that it sees what such a caller sees (Wine gives every program an
# elevated one).
if grep -qx 'token limited' "$out/ready.txt"; then
  launcher=$windows_build/koa-limited-token.exe
  [ -f "$launcher" ] || fail "$launcher is missing: build the windows preset"
  line=$(printf '"%s" %s' "$(windows_path "$launcher")" "$line")
fi
launcher_line=$line
# program_script FILE STDOUT STDERR ARGS...: the batch file of one run.
program_script() {
  local script=$1 stdout=$2 stderr=$3 argument program_line=$launcher_line
  shift 3
  for argument in "$@"; do
    case $argument in
      /log=/*) argument="/log=$(windows_path "${argument#/log=}")" ;;
    esac
    program_line+=" \"$argument\""
  done
  program_line+=" >\"$(windows_path "$stdout")\" 2>\"$(windows_path "$stderr")\" & echo !ERRORLEVEL!"
  printf '@echo off\r\n%s\r\n' "$program_line" >"$script"
}
program_script "$out/run-program.cmd" "$out/stdout.txt" "$out/stderr.txt" "$@"
measure=()
[ -z "${KOA_WINE_DEVICES_TIME:-}" ] || measure=(/usr/bin/time -v -o "$out/program-time.txt")
run_first() {
  (cd "$out" && WINEPREFIX=$prefix WINEDEBUG=${KOA_WINE_DEVICES_WINEDEBUG:--all} timeout "$run_timeout" \
    "${measure[@]}" wine cmd /v:on /c "$(windows_path "$out/run-program.cmd")" >"$out/cmd.out" 2>"$out/cmd.err")
}
if [ -z "${KOA_WINE_DEVICES_SECOND_RUN:-}" ]; then
  run_first
  status=$?
else
  # The first run in the background until the model holds it inside a
  # request; the second in the foreground; then the first is let go. Every
  # wait is bounded; none is a guess at how long something takes.
  run_first &
  first_pid=$!
  for _ in $(seq 1200); do
    [ -f "$hold_dir/held" ] && break
    kill -0 "$first_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -f "$hold_dir/held" ]; then
    : >"$hold_dir/release"
    wait "$first_pid"
    fail "the first run ended or did not reach the hold within 120 s"
  fi
  read -r -a second_args <<<"$KOA_WINE_DEVICES_SECOND_RUN"
  program_script "$out/run-second.cmd" "$out/second-stdout.txt" "$out/second-stderr.txt" "${second_args[@]}"
  (cd "$out" && WINEPREFIX=$prefix WINEDEBUG=${KOA_WINE_DEVICES_WINEDEBUG:--all} timeout 40 \
    wine cmd /v:on /c "$(windows_path "$out/run-second.cmd")" >"$out/second-cmd.out" 2>"$out/second-cmd.err")
  second_status=$?
  : >"$hold_dir/release"
  wait "$first_pid"
  status=$?
  [ "$second_status" -ne 124 ] || fail "the second run did not end within 40 s while the first was held"
  tr -d '\r' <"$out/second-cmd.out" | awk 'NF { line = $0 } END { print line }' >"$out/second-exit-code.txt"
fi
model_alive=yes
kill -0 "$host_pid" 2>/dev/null || model_alive=no
[ "$status" -ne 124 ] || fail "the program did not end within $run_timeout s"
exit_code=$(tr -d '\r' <"$out/cmd.out" | awk 'NF { line = $0 } END { print line }')
printf '%s\n' "$exit_code" >"$out/exit-code.txt"

# ---- the shim unloads (its goodbye ends the model's run), then Wine stops.
WINEPREFIX=$prefix WINEDEBUG=-all timeout "$stop_timeout" wine sc stop "$service" >"$out/stop-shim.out" 2>&1
host_status=
for _ in $(seq 300); do
  kill -0 "$host_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$host_pid" 2>/dev/null; then
  fail "the model did not end after the shim unloaded"
fi
wait "$host_pid"
host_status=$?
host_pid=
stop_everything

if [ "$model_alive" = no ]; then
  fail "the model exited during the run (status $host_status): $(grep -m 1 '^koa-sim-host:' "$out/host.err")"
fi
case $host_status in
  0) ;;
  2) fail "the run left the simulated machine's answers: $(grep -m 1 '^koa-sim-host:' "$out/host.err")" ;;
  *) fail "the model ended with status $host_status: $(grep -m 1 '^koa-sim-host:' "$out/host.err")" ;;
esac
case $exit_code in
  '' | *[!0-9]*) fail "no exit code came back through cmd (got '$exit_code')" ;;
esac
echo "$(basename "$program") exit code: $exit_code"
echo "results in $out"
