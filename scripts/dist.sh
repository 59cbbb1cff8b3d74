#!/usr/bin/env bash
# Builds the programs as shipped (the `windows` preset's koa-update.exe and
# koa-inventory.exe) in a clean build directory and writes each to dist/ with
# its .sha256 (sha256sum format: `cd dist && sha256sum -c koa-update.exe.sha256`
# checks it).
#
# Usage: scripts/dist.sh [--check] [CMAKE_OPTION...]
#   --check        build a second time in another clean directory and fail
#                  unless both builds give the same bytes (the build is
#                  reproducible: no timestamp, no build path in the programs)
#   CMAKE_OPTION   passed to the configure step, e.g.
#                  -DKOA_FIRMWARE_IMAGE=/path/to/image.bin
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi

# build_in DIRECTORY: configure from nothing and build the shipped program.
build_in() {
  rm -rf "$1"
  cmake --preset windows -B "$1" "${@:2}" >"$1.configure.log" 2>&1 ||
    { cat "$1.configure.log"; return 1; }
  cmake --build "$1" --target koa-update koa-inventory -j 2 >"$1.build.log" 2>&1 ||
    { cat "$1.build.log"; return 1; }
}

mkdir -p build
first=build/dist-first
build_in "$first" "$@"

if [ "$check" -eq 1 ]; then
  second=build/dist-second
  build_in "$second" "$@"
  for program in koa-update.exe koa-inventory.exe; do
    if ! cmp "$first/$program" "$second/$program"; then
      echo "dist: two clean builds of $program differ" >&2
      exit 1
    fi
  done
  echo "dist: two clean builds in $first and $second gave identical bytes"
  rm -rf "$second" "$second".*.log
fi

rm -rf dist
mkdir -p dist
for program in koa-update.exe koa-inventory.exe; do
  cp "$first/$program" "dist/$program"
  (cd dist && sha256sum "$program" >"$program.sha256")
  cat "dist/$program.sha256"
done
rm -rf "$first" "$first".*.log
