#!/usr/bin/env bash
# Builds the shipped programs (the `windows` preset's programs listed in
# `programs` below) in a clean build directory, checks their hardening
# (scripts/pe-hardening-check.py), and writes each as dist/<program>.exe with
# dist/<program>.exe.sha256 (sha256sum format: `cd dist && sha256sum -c
# koa-update.exe.sha256` checks it).
#
# Usage: scripts/dist.sh [--check] [--sign PFX] [--out DIR] [CMAKE_OPTION...]
#        scripts/dist.sh --list
#   --check        build a second time in another clean directory and fail
#                  unless both builds give the same bytes (the build is
#                  reproducible: no timestamp, no build path in the program);
#                  with --sign also fail unless each signed program with its
#                  signature removed is the second build's program, byte for
#                  byte
#   --sign PFX     sign every program with the certificate and key of the
#                  PKCS#12 file PFX (Authenticode, SHA-256) and verify the
#                  signature; the .sha256 files are those of the signed
#                  programs. Without --sign the programs are the reproducible
#                  unsigned build.
#   --out DIR      write to DIR instead of dist
#   --list         print the names of the shipped programs, one a line
#   CMAKE_OPTION   passed to the configure step, e.g.
#                  -DKOA_FIRMWARE_IMAGE=/path/to/image.bin
#
# Signing (osslsigncode) reads, from the environment:
#   KOA_SIGN_PASSWORD or KOA_SIGN_PASSWORD_FILE (a file holding it)
#                  the PFX's password. It reaches osslsigncode only through a
#                  file of mode 600 that this script makes and removes, never
#                  on a command line, where any process could read it.
#   KOA_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping server; the signature
#                  then stays valid after the certificate expires
#   KOA_SIGN_CAFILE  the CA certificates to verify the signature against
#                  (default: the system's)
set -euo pipefail
cd "$(dirname "$0")/.."

# The shipped programs: targets of the windows preset, each <name>.exe.
programs=(koa-update koa-inventory)

check=0
sign_pfx=
out=dist
while [ $# -gt 0 ]; do
  case $1 in
    --check) check=1 ;;
    --sign) sign_pfx=${2:?--sign needs the PFX file}; shift ;;
    --out) out=${2:?--out needs a directory}; shift ;;
    --list) printf '%s\n' "${programs[@]}"; exit 0 ;;
    *) break ;;
  esac
  shift
done

fail() { echo "dist: $*" >&2; exit 1; }

password_file=
remove_password_file() { [ -z "$password_file" ] || rm -f "$password_file"; }
trap remove_password_file EXIT
if [ -n "$sign_pfx" ]; then
  command -v osslsigncode >/dev/null || fail "--sign needs osslsigncode (scripts/install-dependencies.sh)"
  [ -r "$sign_pfx" ] || fail "cannot read the PFX file $sign_pfx"
  sign_pfx=$(realpath "$sign_pfx")
  if [ -n "${KOA_SIGN_PASSWORD+set}" ] && [ -n "${KOA_SIGN_PASSWORD_FILE:-}" ]; then
    fail "set KOA_SIGN_PASSWORD or KOA_SIGN_PASSWORD_FILE, not both"
  fi
  password_file=$(umask 077 && mktemp)
  if [ -n "${KOA_SIGN_PASSWORD+set}" ]; then
    printf '%s' "$KOA_SIGN_PASSWORD" >"$password_file"
  elif [ -n "${KOA_SIGN_PASSWORD_FILE:-}" ]; then
    [ -r "$KOA_SIGN_PASSWORD_FILE" ] || fail "cannot read KOA_SIGN_PASSWORD_FILE $KOA_SIGN_PASSWORD_FILE"
    cat "$KOA_SIGN_PASSWORD_FILE" >"$password_file"
  else
    fail "--sign needs the PFX's password in KOA_SIGN_PASSWORD or KOA_SIGN_PASSWORD_FILE"
  fi
fi

# build_in DIRECTORY: configure from nothing and build the shipped programs.
build_in() {
  rm -rf "$1"
  cmake --preset windows -B "$1" "${@:2}" >"$1.configure.log" 2>&1 ||
    { cat "$1.configure.log"; return 1; }
  cmake --build "$1" --target "${programs[@]}" -j 2 >"$1.build.log" 2>&1 ||
    { cat "$1.build.log"; return 1; }
}

mkdir -p build
first=build/dist-first
second=build/dist-second
build_in "$first" "$@"

if [ "$check" -eq 1 ]; then
  build_in "$second" "$@"
  for program in "${programs[@]}"; do
    cmp "$first/$program.exe" "$second/$program.exe" || fail "two clean builds of $program.exe differ"
  done
  echo "dist: two clean builds in $first and $second gave identical bytes"
fi

first_programs=()
for program in "${programs[@]}"; do first_programs+=("$first/$program.exe"); done
python3 scripts/pe-hardening-check.py "${first_programs[@]}" || fail "a program fails the hardening check"

mkdir -p "$out"
for program in "${programs[@]}"; do
  rm -f "$out/$program.exe" "$out/$program.exe.sha256"
done

for program in "${programs[@]}"; do
  shipped=$out/$program.exe
  if [ -z "$sign_pfx" ]; then
    cp "$first/$program.exe" "$shipped"
  else
    sign_options=(-pkcs12 "$sign_pfx" -readpass "$password_file" -h sha256)
    [ -z "${KOA_SIGN_TIMESTAMP_URL:-}" ] || sign_options+=(-ts "$KOA_SIGN_TIMESTAMP_URL")
    osslsigncode sign "${sign_options[@]}" -in "$first/$program.exe" -out "$shipped" >"$first.sign.log" 2>&1 ||
      { cat "$first.sign.log"; fail "signing $program.exe failed"; }
    verify_options=()
    [ -z "${KOA_SIGN_CAFILE:-}" ] || verify_options=(-CAfile "$KOA_SIGN_CAFILE")
    osslsigncode verify "${verify_options[@]}" -in "$shipped" >"$first.verify.log" 2>&1 ||
      { cat "$first.verify.log"; fail "the signature of $shipped does not verify"; }
    echo "dist: signed $shipped; the signature verifies"
    if [ "$check" -eq 1 ]; then
      osslsigncode remove-signature -in "$shipped" -out "$second/$program.unsigned.exe" >/dev/null ||
        fail "cannot remove the signature of $shipped"
      cmp "$second/$program.unsigned.exe" "$second/$program.exe" ||
        fail "$shipped without its signature is not the unsigned build"
      echo "dist: $shipped without its signature is the unsigned build, byte for byte"
    fi
    # The signer must have kept the PE checksum valid.
    python3 scripts/pe-hardening-check.py "$shipped" || fail "$shipped fails the hardening check"
  fi
done
remove_password_file

# The checksums of what ships, signed or not.
for program in "${programs[@]}"; do
  (cd "$out" && sha256sum "$program.exe" >"$program.exe.sha256")
  cat "$out/$program.exe.sha256"
done
rm -rf "$first" "$first".*.log "$second" "$second".*.log
