#!/usr/bin/env bash
# The signing of a release, end to end, with a throwaway CA and code-signing
# certificate made here with openssl:
#   - scripts/dist.sh --sign PFX signs every shipped program, the password
#     given in a file (KOA_SIGN_PASSWORD_FILE); osslsigncode, watched through
#     a wrapper on PATH, gets the password only as a -readpass file of mode
#     600 that is gone afterwards, and never on its command line;
#   - each signature verifies against that CA (osslsigncode verify -CAfile);
#   - each program with its signature removed is the reproducible unsigned
#     build (the windows preset's program), byte for byte, PE checksum and
#     padding included;
#   - each .sha256 file is that of the signed program;
#   - each signed program still runs under Wine, as the unsigned one does.
# Builds the shipped programs once more from nothing (scripts/dist.sh).
#
# Usage: tests/windows/check-signing.sh [WINDOWS_BUILD_DIR]
# Ends with the line "signing: N passed, M failed" and exit status 0 only
# when M is 0.
set -uo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$(realpath -m "${1:-$source_dir/build/windows}")
work=$source_dir/build/signing

# shellcheck source=tests/windows/checks.sh
source "$source_dir/tests/windows/checks.sh"
finish() {
  echo "signing: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

mapfile -t programs < <("$source_dir/scripts/dist.sh" --list)
for program in "${programs[@]}"; do
  [ -f "$build_dir/$program.exe" ] || { fail "build output $build_dir/$program.exe exists" "build the windows preset first"; finish; }
done

rm -rf "$work"
mkdir -p "$work/bin" "$work/tmp" "$work/pki"

# ------------------------------------------------ a throwaway CA and signer
pki=$work/pki
cat >"$pki/extensions.cnf" <<'EOF'
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
password=$(openssl rand -hex 16)
if ! {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.crt" -days 2 \
    -subj "/CN=koa-update throwaway CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" &&
    openssl req -newkey rsa:2048 -nodes -keyout "$pki/signer.key" -out "$pki/signer.csr" \
      -subj "/CN=koa-update throwaway signer" &&
    openssl x509 -req -in "$pki/signer.csr" -CA "$pki/ca.crt" -CAkey "$pki/ca.key" -set_serial 1 -days 2 \
      -extfile "$pki/extensions.cnf" -extensions signer -out "$pki/signer.crt" &&
    openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.crt" -certfile "$pki/ca.crt" \
      -out "$pki/signer.pfx" -passout file:<(printf '%s' "$password")
} >"$pki/openssl.log" 2>&1; then
  fail "openssl makes the throwaway CA and signer" "$(tail -n 20 "$pki/openssl.log")"
  finish
fi
(umask 077 && printf '%s\n' "$password" >"$pki/password.txt")

# osslsigncode as dist.sh calls it: each call's arguments, and the mode of
# the -readpass file while it exists, go to calls.log.
real_osslsigncode=$(command -v osslsigncode) || { fail "osslsigncode is installed"; finish; }
cat >"$work/bin/osslsigncode" <<EOF
#!/usr/bin/env bash
printf 'call' >>"$work/calls.log"
printf ' %q' "\$@" >>"$work/calls.log"
previous=
for argument in "\$@"; do
  [ "\$previous" = -readpass ] && printf ' [mode %s]' "\$(stat -c %a "\$argument")" >>"$work/calls.log"
  previous=\$argument
done
echo >>"$work/calls.log"
exec "$real_osslsigncode" "\$@"
EOF
chmod +x "$work/bin/osslsigncode"

# ------------------------------------------------------------ dist.sh --sign
if PATH=$work/bin:$PATH TMPDIR=$work/tmp KOA_SIGN_PASSWORD_FILE=$pki/password.txt KOA_SIGN_CAFILE=$pki/ca.crt \
  "$source_dir/scripts/dist.sh" --sign "$pki/signer.pfx" --out "$work/dist" >"$work/dist.log" 2>&1; then
  pass "dist.sh --sign builds, signs and verifies every shipped program"
else
  fail "dist.sh --sign builds, signs and verifies every shipped program" "$(tail -n 30 "$work/dist.log")"
  finish
fi

not_in_file() { ! grep -qF "$1" "$2"; }
readpass_modes() { grep '^call sign ' "$work/calls.log" | grep -o '\[mode [0-7]*\]' | sort -u; }
check "osslsigncode signs ${#programs[@]} program(s) with SHA-256, the password read from a file" \
  test "$(grep -c '^call sign .* -readpass .* -h sha256 ' "$work/calls.log")" -eq "${#programs[@]}"
check "the password file osslsigncode reads has mode 600" test "$(readpass_modes)" = "[mode 600]"
check "the password is on no osslsigncode command line" not_in_file "$password" "$work/calls.log"
check "the password file is removed afterwards" test -z "$(ls -A "$work/tmp")"

for program in "${programs[@]}"; do
  signed=$work/dist/$program.exe
  osslsigncode verify -CAfile "$pki/ca.crt" -in "$signed" >"$work/$program.verify.log" 2>&1
  check "$program.exe: the signature verifies against the throwaway CA" \
    grep -qx 'Signature verification: ok' "$work/$program.verify.log"
  check "$program.exe: the signer is the throwaway signer" \
    grep -q -e 'Subject: /CN=koa-update throwaway signer' "$work/$program.verify.log"
  check "$program.exe: the signature's digest is SHA-256" \
    grep -qx 'Message digest algorithm  : SHA256' "$work/$program.verify.log"

  osslsigncode remove-signature -in "$signed" -out "$work/$program.unsigned.exe" >/dev/null 2>&1
  check "$program.exe without its signature is the reproducible unsigned build, byte for byte" \
    cmp "$work/$program.unsigned.exe" "$build_dir/$program.exe"
  check "$program.exe.sha256 is the signed program's" \
    bash -c "cd '$work/dist' && sha256sum --quiet -c '$program.exe.sha256'"
  check "$program.exe, signed, passes the hardening check (its PE checksum updated)" \
    python3 "$source_dir/scripts/pe-hardening-check.py" "$signed"
done

# ------------------------------------------------------------ under Wine
export WINEPREFIX=$build_dir/wine-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ] && ! timeout 300 wineboot --init >"$work/wineboot.log" 2>&1; then
  fail "the Wine prefix initialises" "$(tail -n 20 "$work/wineboot.log")"
  finish
fi
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# A rejected switch: each program prints its usage text (koa-update on
# standard output, koa-inventory on standard error) and exits with its code
# for a refused command line, and nothing of a machine is touched.
for program in "${programs[@]}"; do
  (cd "$work" && timeout 120 wine "$build_dir/$program.exe" /x >"$program.unsigned.out" 2>&1)
  unsigned_status=$?
  (cd "$work" && timeout 120 wine "$work/dist/$program.exe" /x >"$program.signed.out" 2>&1)
  signed_status=$?
  check "$program.exe, signed, runs under Wine: the unsigned program's exit status ($unsigned_status) on a rejected switch" \
    test "$unsigned_status" -ne 0 -a "$signed_status" -eq "$unsigned_status"
  check "$program.exe, signed, writes under Wine what the unsigned program writes" \
    bash -c "[ -s '$work/$program.unsigned.out' ] && cmp '$work/$program.unsigned.out' '$work/$program.signed.out'"
done

finish
