#!/usr/bin/env bash
# Tests of the Windows programs of the `windows` preset:
#   - facts of the shipped binary, read with mingw-w64's objdump: GUI
#     subsystem, manifest and version record, no link timestamp, no DLL but
#     Windows' own;
#   - runs under Wine: the platform checks, the device shim's error table
#     against Wine's RtlNtStatusToDosError, the shipped program on Wine's
#     real SetupAPI, and the program on the simulated machine. Their standard output and log are
#     checked line by line, and compared with the Linux program's on the same
#     machine when that program is given.
# The shipped program is only ever started with "/s" or with a command line
# that is rejected: anything else would wait for ever on its message box.
#
# Usage: tests/windows/run-wine-tests.sh [WINDOWS_BUILD_DIR] [LINUX_PROGRAM]
# Ends with the line "wine tests: N passed, M failed" and exit status 0 only
# when M is 0.
set -uo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$(realpath -m "${1:-$source_dir/build/windows}")
linux_program=${2:-}
[ -n "$linux_program" ] && linux_program=$(realpath -m "$linux_program")

program=$build_dir/koa-update.exe
sim_program=$build_dir/koa-update-sim.exe
platform_check=$build_dir/koa-win32-platform-check.exe
error_status_check=$build_dir/koa-error-status-check.exe
version_info_check=$build_dir/koa-version-info-check.exe
hardening_planted=$build_dir/koa-hardening-planted.exe
hardening_check=$source_dir/scripts/pe-hardening-check.py
mapfile -t shipped_programs < <("$source_dir/scripts/dist.sh" --list)
objdump=x86_64-w64-mingw32-objdump
work=$build_dir/wine-tests
separator='================================================================================================'
image_revision=GXB4LTMW
run_timeout=120

# shellcheck source=tests/windows/checks.sh
source "$source_dir/tests/windows/checks.sh"
finish() {
  echo "wine tests: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

for file in "$program" "$sim_program" "$platform_check" "$error_status_check" "$version_info_check" \
  "$hardening_planted"; do
  if [ ! -f "$file" ]; then
    fail "build output $file exists" "build the windows preset first"
    finish
  fi
done

# ---------------------------------------------------------------- helpers

# The Windows spelling of a Unix path, through Wine's Z: drive.
windows_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

# same_text EXPECTED_FILE ACTUAL_FILE: byte-equal, with a diff when not. An
# empty or missing expectation fails: no text here is ever expected empty.
same_text() {
  [ -s "$1" ] || { echo "the expected text $1 is missing or empty"; return 1; }
  diff -u --label expected --label actual "$1" "$2"
}

# same_report EXPECTED_LOG ACTUAL_LOG: the same report after the three lines
# of times and command line, which name the run's own times and paths.
same_report() {
  local file
  for file in "$1" "$2"; do
    [ -f "$file" ] || { echo "no log $file"; return 1; }
  done
  lf_text "$1" | tail -n +4 >"$1.report"
  lf_text "$2" | tail -n +4 >"$2.report"
  same_text "$1.report" "$2.report"
}

# The line ends of a text written on Windows are either all CR LF or all LF;
# lf_text FILE writes the text with LF line ends. A bare CR, a doubled CR or
# a mix of both conventions fails.
lf_text() {
  local file=$1 crlf lf
  crlf=$(grep -c $'\r$' "$file")
  lf=$(grep -c -v $'\r$' "$file")
  if [ "$crlf" -ne 0 ] && [ "$lf" -ne 0 ]; then
    echo "mixed line ends in $file: $crlf with CR LF, $lf with LF" >&2
    return 1
  fi
  if sed 's/\r$//' "$file" | grep -q $'\r'; then
    echo "a stray carriage return in $file" >&2
    return 1
  fi
  sed 's/\r$//' "$file"
}

# The bytes of the first resource of the given type (hexadecimal, as objdump
# prints it: 000018 for RT_MANIFEST), written to OUTPUT.
extract_resource() {
  local exe=$1 type=$2 output=$3 leaf address size image_base section_vma section_offset
  leaf=$("$objdump" -p "$exe" | awk -v type="ID: 0x$type," '
    /The .rsrc Resource Directory section/ { table = 1 }
    table && index($0, "Entry: " type) { want = 1 }
    table && want && /Leaf: Addr:/ { print; exit }')
  [ -n "$leaf" ] || return 1
  address=$(sed -E 's/.*Addr: 0x([0-9a-fA-F]+),.*/\1/' <<<"$leaf")
  size=$(sed -E 's/.*Size: 0x([0-9a-fA-F]+),.*/\1/' <<<"$leaf")
  image_base=$("$objdump" -p "$exe" | awk '$1 == "ImageBase" { print $2 }')
  read -r section_vma section_offset < <("$objdump" -h "$exe" | awk '$2 == ".rsrc" { print $4, $6 }')
  local offset=$((16#$address - (16#$section_vma - 16#$image_base) + 16#$section_offset))
  dd if="$exe" of="$output" bs=1 skip="$offset" count=$((16#$size)) status=none
}

imported_dlls() {
  "$objdump" -p "$1" | awk '/DLL Name:/ { print $3 }'
}

# Windows' own DLLs, which every Windows has; anything else (the mingw-w64
# runtime DLLs above all) means the program is not statically linked.
only_system_dlls() {
  local dll unexpected=()
  while read -r dll; do
    case "${dll,,}" in
      kernel32.dll | user32.dll | setupapi.dll | advapi32.dll | msvcrt.dll | ucrtbase.dll | ntdll.dll | \
        cfgmgr32.dll | api-ms-win-*.dll) ;;
      *) unexpected+=("$dll") ;;
    esac
  done < <(imported_dlls "$1")
  if [ ${#unexpected[@]} -ne 0 ]; then
    echo "imports from ${unexpected[*]}"
    return 1
  fi
}

imports_dll() {
  imported_dlls "$1" | grep -qix "$2"
}

subsystem_is() {
  local actual
  actual=$("$objdump" -p "$1" | awk '$1 == "Subsystem" { print $2 + 0 }')
  [ "$actual" = "$2" ] || { echo "subsystem $actual, expected $2"; return 1; }
}

no_timestamp() {
  local stamp
  stamp=$("$objdump" -p "$1" | awk -F'\t+' '$1 == "Time/Date" { print $2 }')
  [ "$stamp" = "Thu Jan  1 00:00:00 1970" ] || { echo "link timestamp: $stamp"; return 1; }
}

# The strings of a version record, UTF-16 with the zero bytes dropped, hold
# each name directly followed by its value.
version_value_is() {
  local record=$1 name=$2 value=$3
  tr -d '\0' <"$record" | grep -aqF "$name$value" || { echo "no $name \"$value\" in the version record"; return 1; }
}

# VS_FIXEDFILEINFO starts with the signature 0xFEEF04BD; dwFileVersionMS and
# dwFileVersionLS follow it after the structure version.
fixed_file_version_is() {
  local record=$1 major=$2 minor=$3 patch=$4 words
  words=$(od -An -v -tx4 -w4 "$record" | tr -d ' ' | grep -A3 -m1 '^feef04bd$' | tail -n2 | tr '\n' ' ')
  local expected
  expected=$(printf '%08x %08x ' $(((major << 16) | minor)) $((patch << 16)))
  [ "$words" = "$expected" ] || { echo "file version words '$words', expected '$expected'"; return 1; }
}

# --------------------------------------------------- facts of the binaries

project_version=$(awk -F= '/^CMAKE_PROJECT_VERSION:/ { print $2 }' "$build_dir/CMakeCache.txt")
IFS=. read -r version_major version_minor version_patch <<<"$project_version"

check "koa-update.exe is a Windows GUI program (subsystem 2)" subsystem_is "$program" 2
check "koa-update.exe carries no link timestamp" no_timestamp "$program"
check "koa-update.exe imports only Windows' own DLLs" only_system_dlls "$program"
check "koa-update.exe reaches SetupAPI through setupapi.dll" imports_dll "$program" setupapi.dll
check "koa-update-sim.exe is a console program (subsystem 3)" subsystem_is "$sim_program" 3
check "koa-update-sim.exe carries no link timestamp" no_timestamp "$sim_program"
check "koa-update-sim.exe imports only Windows' own DLLs" only_system_dlls "$sim_program"

rm -rf "$work"
mkdir -p "$work"
if extract_resource "$program" 000018 "$work/manifest.xml"; then
  pass "koa-update.exe has a manifest resource"
  check "the manifest resource is the build's manifest, byte for byte" \
    cmp "$work/manifest.xml" "$build_dir/resources/koa-update.manifest"
  check "the manifest asks for asInvoker" \
    grep -q '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' "$work/manifest.xml"
  check "the manifest declares the process DPI-aware" \
    grep -q '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>' \
    "$work/manifest.xml"
  check "the manifest declares Windows 10 and 11 supported" \
    grep -Pzq '<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">\s*<application>\s*(<!--[^>]*-->\s*)?<supportedOS Id="\{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a\}"/>\s*</application>\s*</compatibility>' \
    "$work/manifest.xml"
else
  fail "koa-update.exe has a manifest resource"
fi
if extract_resource "$program" 000010 "$work/version.bin"; then
  pass "koa-update.exe has a version resource"
  check "the version record names the product koa-update" \
    version_value_is "$work/version.bin" ProductName koa-update
  check "the version record's file version is the project's" \
    version_value_is "$work/version.bin" FileVersion "$project_version.0"
  check "the version record has a description" \
    version_value_is "$work/version.bin" FileDescription "koa-update: NVMe SSD firmware update"
  check "the fixed file version is the project's" \
    fixed_file_version_is "$work/version.bin" "$version_major" "$version_minor" "$version_patch"
else
  fail "koa-update.exe has a version resource"
fi

# The hardening check (scripts/pe-hardening-check.py) passes every shipped
# program and finds each rule that a planted program breaks: one linked
# without ASLR, high-entropy VA and NX, with a writable code section and an
# import that is no KnownDLL; and a shipped program whose PE checksum field
# was changed by one.
for shipped in "${shipped_programs[@]}"; do
  check "$shipped.exe passes the hardening check" python3 "$hardening_check" "$build_dir/$shipped.exe"
done
hardening_findings() {
  local file=$1 expected=$2 output
  output=$(cd "$(dirname "$file")" && python3 "$hardening_check" "$(basename "$file")")
  local status=$?
  [ "$status" -eq 1 ] || { echo "exit status $status, expected 1"; return 1; }
  diff -u --label expected --label actual <(printf '%s' "$expected") <(printf '%s\n' "$output")
}
planted=$(basename "$hardening_planted")
check "the hardening check names every rule the planted program breaks" hardening_findings "$hardening_planted" \
  "$planted: no ASLR: DllCharacteristics lacks DYNAMIC_BASE (0x0040)
$planted: no high-entropy ASLR: DllCharacteristics lacks HIGH_ENTROPY_VA (0x0020)
$planted: no DEP: DllCharacteristics lacks NX_COMPAT (0x0100)
$planted: section .wx is both writable and executable
$planted: imports VERSION.dll, which is no KnownDLL: Windows may load it from the program's folder
$planted: 5 hardening rule(s) broken
"
cp "$program" "$work/bad-checksum.exe"
checksum_offset=$(($(od -An -tu4 -j60 -N4 "$program") + 88))
stored_checksum=$(od -An -tu4 -j"$checksum_offset" -N4 "$program" | tr -d ' ')
printf "$(printf '\\x%02x' $(((stored_checksum + 1) & 255)))" |
  dd of="$work/bad-checksum.exe" bs=1 seek="$checksum_offset" conv=notrunc status=none
check "the hardening check refuses a PE checksum that is off by one" hardening_findings "$work/bad-checksum.exe" \
  "$(printf 'bad-checksum.exe: PE checksum 0x%08X, the file sums to 0x%08X' \
    $(((stored_checksum & ~255) | ((stored_checksum + 1) & 255))) "$stored_checksum")
bad-checksum.exe: 1 hardening rule(s) broken
"

# ------------------------------------------------------------- under Wine

export WINEPREFIX=$build_dir/wine-prefix
export WINEDEBUG=-all
# No Mono or Gecko installer prompt.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "initialising the Wine prefix $WINEPREFIX"
  if ! timeout 300 wineboot --init >"$work/wineboot.log" 2>&1; then
    fail "the Wine prefix initialises" "$(tail -n 20 "$work/wineboot.log")"
    finish
  fi
fi
stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

# run_wine NAME DIRECTORY PROGRAM ARGUMENTS...: runs in DIRECTORY, standard
# output and error in NAME.out and NAME.err under $work, exit status in
# $status (8 bits wide, as Wine hands it to Linux).
run_wine() {
  local name=$1 directory=$2
  shift 2
  (cd "$directory" && timeout "$run_timeout" wine "$@" >"$work/$name.out" 2>"$work/$name.err")
  status=$?
}

# run_linux NAME DIRECTORY ARGUMENTS...: the Linux program, for comparison.
run_linux() {
  local name=$1 directory=$2
  shift 2
  (cd "$directory" && timeout "$run_timeout" "$linux_program" "$@" >"$work/$name.out" 2>"$work/$name.err")
}

header() {
  printf '%s\n%s\n' "$separator" "$image_revision"
  sed -n 3p "$1"
  printf '%s\n' "$separator"
}

# The console of a run that finds no drive, after the header.
no_disk_console() {
  printf '\n >> KOA Started \n\n\n >> KOA Ended (Return Code : 1)\n\n'
}

usage_text() {
  printf '\nAllowed Behaviors:\n'
  printf '/s                  Execute update package in silently without user intervention.\n'
  printf '/log=<FILEPATH>     Write installation log to a specified file.\n'
}

# The log of a run that finds no drive, after the Input Command line.
no_disk_report() {
  printf '[No Disk]\nUpdated Firmware Version : %s\nReturn Code : 1\n' "$image_revision"
  printf 'Result Details : No disks are available for download.\n\n[Final Result]\nReturn Code : 1\n'
  printf 'Result Details : Patch Failed..\n'
}

timestamp_pattern='[0-3][0-9]-[01][0-9]-[0-9]{4}\([0-2][0-9]:[0-5][0-9]:[0-6][0-9]\)'

# check_console NAME OUT EXPECTED_AFTER_HEADER_FILE: the header, whose third
# line (the banner) must be there, then exactly the expected text.
check_console() {
  local name=$1 out=$2 rest=$3
  if ! lf_text "$out" >"$out.lf" 2>"$out.lines"; then
    fail "$name: line ends on standard output" "$(cat "$out.lines")"
    return
  fi
  if [ -z "$(sed -n 3p "$out.lf")" ]; then
    fail "$name: standard output begins with the run header" "$(head -n 5 "$out.lf")"
    return
  fi
  { header "$out.lf"; cat "$rest"; } >"$out.expected"
  check "$name: standard output is the run header and $(basename "$rest" .txt)" \
    same_text "$out.expected" "$out.lf"
}

# check_no_disk_log NAME LOG INPUT_COMMAND: the whole log of a run that found
# no drive, with times of the run's day.
check_no_disk_log() {
  local name=$1 log=$2 input_command=$3
  if [ ! -f "$log" ]; then
    fail "$name: the log file is written" "no file $log"
    return
  fi
  if ! lf_text "$log" >"$log.lf" 2>"$log.lines"; then
    fail "$name: line ends in the log" "$(cat "$log.lines")"
    return
  fi
  check "$name: the log's first line is the start time" line_matches "$log.lf" 1 "Start Time : $timestamp_pattern"
  check "$name: the log's second line is the end time" line_matches "$log.lf" 2 "End Time : $timestamp_pattern"
  { printf 'Input Command : %s\n' "$input_command"; no_disk_report; } >"$log.expected"
  tail -n +3 "$log.lf" >"$log.rest"
  check "$name: the log is the command line and the [No Disk] report" same_text "$log.expected" "$log.rest"
}

# line_matches FILE NUMBER REGEX: the whole line matches the extended regex.
line_matches() {
  local line
  line=$(sed -n "$2p" "$1")
  grep -qxE "$3" <<<"$line" || { echo "line $2 is '$line'"; return 1; }
}

exit_code_is() {
  [ "$1" = "$2" ] || { echo "exit code $1, expected $2"; return 1; }
}

file_is_absent() {
  [ ! -e "$1" ] || { echo "$1 exists"; return 1; }
}

# run_checks LABEL NAME PROGRAM: a check program under Wine, whose PASS or
# FAIL lines are counted here, each as a check of its own.
run_checks() {
  local label=$1 name=$2 count=0 line
  run_wine "$name" "$work" "$3"
  while IFS= read -r line; do
    case $line in
      "PASS "*) pass "$label: ${line#PASS }" ;;
      "FAIL "*) fail "$label: ${line#FAIL }" ;;
      *) continue ;;
    esac
    count=$((count + 1))
  done < <(tr -d '\r' <"$work/$name.out")
  check "$label: the checks ran ($count) and ended with exit status 0" test "$status" -eq 0 -a "$count" -gt 0
}

# The Win32 platform against Wine's SetupAPI and kernel.
run_checks "win32 platform" platform-check "$platform_check"
# The device shim's table from Windows error to NTSTATUS against Wine's
# RtlNtStatusToDosError, one line a row.
run_checks "device shim error table" error-status-check "$error_status_check"

# The version record of every shipped program as Windows reads it
# (GetFileVersionInfoW, VerQueryValueW): the project's version, the embedded
# image's revision, the program's own names.
for shipped in "${shipped_programs[@]}"; do
  run_wine "version-$shipped" "$work" "$version_info_check" "$(windows_path "$build_dir/$shipped.exe")"
  version_fields=$work/version-$shipped.out
  tr -d '\r' <"$version_fields" | grep -v '^FileDescription ' >"$version_fields.lf"
  {
    printf 'Signature 0xFEEF04BD\n'
    printf 'FixedFileVersion %s.0\nFixedProductVersion %s.0\n' "$project_version" "$project_version"
    printf 'Translation 0409 04B0\nCompanyName TORVALE\nFileVersion %s.0\n' "$project_version"
    printf 'InternalName %s\nOriginalFilename %s.exe\n' "$shipped" "$shipped"
    printf 'ProductName koa-update\nProductVersion %s\nFirmwareRevision %s\n' "$project_version" "$image_revision"
  } >"$version_fields.expected"
  check "$shipped.exe: Windows reads the version, the firmware revision and the names from its version record" \
    same_text "$version_fields.expected" "$version_fields.lf"
  check "$shipped.exe: Windows reads a FileDescription" grep -q '^FileDescription [^(]' "$version_fields"
done

# (a) The shipped program on Wine's SetupAPI finds no drive of the maker.
scenario=real-no-disk
mkdir -p "$work/$scenario"
log="$work/$scenario/no disk.log"
run_wine "$scenario" "$work/$scenario" "$program" /s "/log=$(windows_path "$log")"
check "$scenario: exit status 1" exit_code_is "$status" 1
no_disk_console >"$work/no disk console.txt"
check_console "$scenario" "$work/$scenario.out" "$work/no disk console.txt"
check_no_disk_log "$scenario" "$log" "$(windows_path "$program") /s /log=$(windows_path "$log") "
check "$scenario: no test.txt is created when /log= names the log" file_is_absent "$work/$scenario/test.txt"

# The full 32-bit exit code, as a deployment tool reads it through cmd. On
# one line cmd expands %ERRORLEVEL% when it reads the line, before the
# program has run (Wine's cmd happens to expand it later); delayed expansion
# (!ERRORLEVEL!) reads it after the program on every cmd.
scenario=real-errorlevel
mkdir -p "$work/$scenario"
cp "$program" "$work/$scenario/koa-update.exe"
run_wine "$scenario" "$work/$scenario" cmd /v:on /c 'koa-update.exe /s /log=errorlevel.log & echo !ERRORLEVEL!'
# cmd ends its own lines with CR LF.
errorlevel=$(tr -d '\r' <"$work/$scenario.out" | tail -n 1)
check "$scenario: !ERRORLEVEL! after a run without a drive is 1" exit_code_is "$errorlevel" 1
check "$scenario: the log is written" grep -q '^\[No Disk\]' "$work/$scenario/errorlevel.log"

# The shipped program's log path on Wine's own files. Wine resolves a Unix
# symbolic link as Windows resolves a link (GetFinalPathNameByHandleW names
# its target): one planted at the log's name, or on a folder of the way,
# pointing at a file outside, is refused and that file keeps every byte. A
# log on a drive letter and on a UNC share (a link in Wine's prefix) is
# written.
scenario=real-log-links
directory=$work/$scenario
rm -rf "$directory"
mkdir -p "$directory/logs" "$directory/outside"
printf '127.0.0.1 localhost\r\n' >"$directory/outside/hosts"
cp "$directory/outside/hosts" "$directory/hosts.before"
ln -s "$directory/outside/hosts" "$directory/logs/planted.log"
ln -s "$directory/outside" "$directory/logs/folder"
for planted in planted.log folder/hosts; do
  log_windows="Z:${directory//\//\\}\\logs\\${planted//\//\\}"
  run_wine "$scenario" "$directory" "$program" /s "/log=$log_windows"
  check "$scenario: $planted: exit status 1" exit_code_is "$status" 1
  check "$scenario: $planted: the path is refused" \
    grep -qF "[ERROR] $log_windows is invalid file path." "$work/$scenario.out"
  check "$scenario: $planted: the file the link points to is unchanged" \
    cmp "$directory/hosts.before" "$directory/outside/hosts"
done
share=$WINEPREFIX/dosdevices/unc/fileserver/koa-links
mkdir -p "$WINEPREFIX/dosdevices/unc/fileserver" "$WINEPREFIX/drive_c/koa-update logs"
rm -rf "$share" "$WINEPREFIX/drive_c/koa-update logs/real.log"
ln -s "$directory/logs" "$share"
for log_windows in 'C:\koa-update logs\real.log' '\\fileserver\koa-links\real.log'; do
  run_wine "$scenario" "$directory" "$program" /s "/log=$log_windows"
  check "$scenario: $log_windows: exit status 1" exit_code_is "$status" 1
done
check_no_disk_log "$scenario: drive letter" "$WINEPREFIX/drive_c/koa-update logs/real.log" \
  "$(windows_path "$program") /s /log=C:\\koa-update logs\\real.log "
check_no_disk_log "$scenario: UNC" "$directory/logs/real.log" \
  "$(windows_path "$program") /s /log=\\\\fileserver\\koa-links\\real.log "

# (b) A rejected command line: the header and the usage text, exit code 1,
# no log.
scenario=real-rejected
mkdir -p "$work/$scenario"
run_wine "$scenario" "$work/$scenario" "$program" /x
check "$scenario: exit status 1" exit_code_is "$status" 1
usage_text >"$work/usage text.txt"
check_console "$scenario" "$work/$scenario.out" "$work/usage text.txt"
check "$scenario: no log file is created" file_is_absent "$work/$scenario/test.txt"

# (c) The program on the simulated machine: an empty machine, "/s" and a log
# path with blanks.
machine=$source_dir/examples/machines/empty.json
scenario=sim-empty
mkdir -p "$work/$scenario/log dir with blanks"
log="$work/$scenario/log dir with blanks/run log.txt"
KOA_SIM_MACHINE=$(windows_path "$machine") run_wine "$scenario" "$work/$scenario" "$sim_program" /s \
  "/log=$(windows_path "$log")"
check "$scenario: exit status 1" exit_code_is "$status" 1
check_console "$scenario" "$work/$scenario.out" "$work/no disk console.txt"
check_no_disk_log "$scenario" "$log" "$(windows_path "$sim_program") /s /log=$(windows_path "$log") "

# The C runtime's text mode: every line of standard output and of the log
# ends with CR LF on Windows (lf_text above accepts LF alone as well).
all_lines_end_with_crlf() {
  local lines crlf
  lines=$(wc -l <"$1")
  crlf=$(grep -c $'\r$' "$1")
  [ "$lines" -gt 0 ] && [ "$lines" -eq "$crlf" ] || { echo "$crlf of $lines lines end with CR LF in $1"; return 1; }
}
check "$scenario: every line of standard output ends with CR LF" all_lines_end_with_crlf "$work/$scenario.out"
check "$scenario: every line of the log ends with CR LF" all_lines_end_with_crlf "$log"

# (d) A deployment's batch file on a machine whose drive needs a reboot: the
# full exit code 1602 in %ERRORLEVEL% on the next line and in !ERRORLEVEL!
# on the same line; the C runtime's argument splitting: an empty quoted
# argument (silent), a quoted "/log=..." with blanks, and quotes in the
# middle of an argument.
scenario=sim-batch
directory=$work/$scenario
mkdir -p "$directory"
sim_windows=$(windows_path "$sim_program")
directory_windows=$(windows_path "$directory")
{
  printf '@echo off\r\n'
  printf '"%s" "" "/log=%s\\quoted log.txt" /log="%s\\quotes inside.txt"\r\n' \
    "$sim_windows" "$directory_windows" "$directory_windows"
  printf 'echo next line %%ERRORLEVEL%%\r\n'
  printf 'setlocal EnableDelayedExpansion\r\n'
  printf '"%s" /s "/log=%s\\one line.txt" & echo same line !ERRORLEVEL!\r\n' "$sim_windows" "$directory_windows"
} >"$directory/deploy.cmd"
KOA_SIM_MACHINE=$(windows_path "$source_dir/examples/machines/workstation.json") \
  run_wine "$scenario" "$directory" cmd /c "$directory_windows\\deploy.cmd"
tr -d '\r' <"$work/$scenario.out" >"$work/$scenario.out.lf"
check "$scenario: %ERRORLEVEL% on the next line of a batch file is 1602" \
  grep -qx 'next line 1602' "$work/$scenario.out.lf"
check "$scenario: !ERRORLEVEL! on the same line is 1602" grep -qx 'same line 1602' "$work/$scenario.out.lf"
check "$scenario: the first log option's file is created and left empty" test -f "$directory/quoted log.txt" -a \
  ! -s "$directory/quoted log.txt"
tr -d '\r' <"$directory/quotes inside.txt" >"$directory/quotes inside.lf" 2>/dev/null
check "$scenario: the quotes are removed and the empty argument kept (two blanks) in Input Command" \
  line_matches "$directory/quotes inside.lf" 3 \
  "$(printf 'Input Command : %s  /log=%s\\quoted log.txt /log=%s\\quotes inside.txt ' "$sim_windows" \
    "$directory_windows" "$directory_windows" | sed 's/[][\\.^$*+?(){}|]/\\&/g')"
check "$scenario: the log's final result is 1602" grep -qx 'Return Code : 1602' <(tail -n 2 "$directory/quotes inside.lf")
check "$scenario: the one-line run's log ends with the final result 1602" \
  grep -q $'^Return Code : 1602\r$' "$directory/one line.txt"

# (e) Log paths of a deployment: a drive letter, a UNC share (Wine maps
# \\server\share to dosdevices/unc/server/share), a missing share, and
# characters beyond ASCII.
machine_windows=$(windows_path "$machine")
scenario=sim-drive-letter
mkdir -p "$work/$scenario" "$WINEPREFIX/drive_c/koa-update logs"
rm -f "$WINEPREFIX/drive_c/koa-update logs/run.log"
KOA_SIM_MACHINE=$machine_windows run_wine "$scenario" "$work/$scenario" "$sim_program" /s \
  '/log=C:\koa-update logs\run.log'
check "$scenario: exit status 1" exit_code_is "$status" 1
check_no_disk_log "$scenario" "$WINEPREFIX/drive_c/koa-update logs/run.log" \
  "$sim_windows /s /log=C:\\koa-update logs\\run.log "

# A log on a UNC share is written by the real program (real-log-links
# above). The simulator built for Windows goes through libstdc++'s
# std::filesystem on Wine for the host's own paths, which does not reach a
# UNC share, so it is not asked to write one.
scenario=sim-unc-missing
mkdir -p "$work/$scenario"
KOA_SIM_MACHINE=$machine_windows run_wine "$scenario" "$work/$scenario" "$sim_program" /s \
  '/log=\\fileserver\nosuchshare\HOST-042.log'
check "$scenario: exit status 1" exit_code_is "$status" 1
printf '[ERROR] \\\\fileserver\\nosuchshare\\HOST-042.log is invalid file path.\n' >"$work/unc path error.txt"
check_console "$scenario" "$work/$scenario.out" "$work/unc path error.txt"

scenario=sim-wide-path
mkdir -p "$work/$scenario"
wide_log="$work/$scenario/журнал ü.log"
KOA_SIM_MACHINE=$machine_windows run_wine "$scenario" "$work/$scenario" "$sim_program" /s \
  "/log=$(windows_path "$wide_log")"
check "$scenario: exit status 1" exit_code_is "$status" 1
# The log is narrow text: each UTF-16 unit of the path is written as its low
# byte (ж у р н а л -> 6 C @ = 0 ;, ü -> 0xFC).
check_no_disk_log "$scenario" "$wide_log" \
  "$sim_windows /s /log=$(windows_path "$work/$scenario")\\6C@=0; $(printf '\xfc').log "
scenario=sim-wide-missing
mkdir -p "$work/$scenario"
KOA_SIM_MACHINE=$machine_windows run_wine "$scenario" "$work/$scenario" "$sim_program" /s \
  "/log=$(windows_path "$work/$scenario")\\нет\\x.log"
check "$scenario: exit status 1" exit_code_is "$status" 1
printf '[ERROR] %s\\нет\\x.log is invalid file path.\n' "$(windows_path "$work/$scenario")" >"$work/wide path error.txt"
check_console "$scenario" "$work/$scenario.out" "$work/wide path error.txt"

# The same runs of the Linux program: the two builds write the same text.
if [ -n "$linux_program" ]; then
  mkdir -p "$work/linux-empty/log dir with blanks" "$work/linux-rejected"
  linux_log="$work/linux-empty/log dir with blanks/run log.txt"
  KOA_SIM_MACHINE=$machine run_linux linux-empty "$work/linux-empty" /s "/log=$linux_log"
  check "the Windows and Linux programs write the same console text on an empty machine" \
    same_text "$work/linux-empty.out" "$work/sim-empty.out.lf"
  check "the real Win32 program writes that same console text" \
    same_text "$work/linux-empty.out" "$work/real-no-disk.out.lf"
  check "the Windows and Linux programs write the same report" same_report "$linux_log" "$log"
  run_linux linux-rejected "$work/linux-rejected" /x
  check "the Windows and Linux programs reject a command line with the same text" \
    same_text "$work/linux-rejected.out" "$work/real-rejected.out.lf"
fi

finish
