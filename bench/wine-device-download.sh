#!/usr/bin/env bash
# One whole 2 MiB download through the device shim under Wine, measured with
# /usr/bin/time -v: the shipped program on one inbox drive of granularity 1
# (512 pieces of 4 KiB, tests/machines/inbox/one-drive.json), against the
# same machine with the drive already on the image's revision (the same
# discovery and no transfer). The difference is the download: 512 requests
# relayed by the shim to the model, which checks and traces each.
#
# Usage: bench/wine-device-download.sh [REPETITIONS]   (default 5)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
work=$source_dir/build/windows/wine-device-bench
rm -rf "$work"
mkdir -p "$work"
download=$source_dir/tests/machines/inbox/one-drive.json
sed 's/"GXB3LTMW"/"GXB4LTMW"/g' "$download" >"$work/no-download.json"

elapsed() {  # seconds from /usr/bin/time -v's "Elapsed (wall clock) time (h:mm:ss or m:ss): m:ss.cc"
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + t[i]; print s }' "$1"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for machine in "$download" "$work/no-download.json"; do
  name=$(basename "$machine" .json)
  for run in $(seq "$runs"); do
    out=$work/$name-$run
    KOA_WINE_DEVICES_OUT=$out KOA_WINE_DEVICES_TIME=1 "$source_dir/tests/windows/run-on-wine-devices.sh" \
      "$machine" /s "/log=$out/run.log" >/dev/null
    elapsed "$out/program-time.txt" >>"$work/$name.seconds"
    requests=$(grep -c '"op":"DeviceIoControl"' "$out/trace.jsonl")
  done
  echo "$name: median $(median <"$work/$name.seconds") s over $runs runs ($(paste -sd ' ' "$work/$name.seconds")), $requests device controls"
done
with=$(median <"$work/one-drive.seconds")
without=$(median <"$work/no-download.seconds")
awk -v a="$with" -v b="$without" 'BEGIN { d = a - b; printf "download: %.2f s for 512 pieces: %.2f ms per piece, %.0f requests/s\n", d, d * 1000 / 512, 512 / d }'
grep -E 'Maximum resident|Elapsed' "$work/one-drive-1/program-time.txt"
