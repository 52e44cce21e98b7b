#!/usr/bin/env bash
# The Wine half of bench/run.sh, run inside one display. One wineserver, kept
# by the build's wine-run, and one runner process that starts every installer
# in turn, so that Wine's desktop stays up between runs. Before each run the
# runner waits while this script flushes the disk, so that no run pays for the
# writing of the one before, and reads the run's files.
# usage: wine-runs.sh BENCH_BUILD_DIR STUB ARCH RUNS OUTPUT.jsonl
set -euo pipefail
dir="$1"
stub="$2"
arch="$3"
runs="$4"
output="$5"
work="$dir/work"
pack=build/bench-native/bin/quillfen-pack
run="$dir/wine-run"
export WINEPREFIX="$PWD/$dir/wineprefix"

# This machine's processor and baseboard maker, for an installer whose
# platform checks pass here, as the reference package's settings would.
machine=$("$run" "$PWD/$dir/bin/qf_bench_runner.exe" --machine | tr -d '\r')
vendor=$(sed -n 's/^vendor=//p' <<<"$machine")
baseboard=$(sed -n 's/^baseboard=//p' <<<"$machine")
echo "this machine: processor '$vendor', baseboard '$baseboard'"
mkdir -p "$work/small-checks"
for f in Installer.exe SetupHelper1.exe; do ln -f "$work/small/$f" "$work/small-checks/$f"; done
{
  printf '[validate]\r\ncpu=1\r\nbios=0\r\nbaseboard=%s\r\n' "$([ -n "$baseboard" ] && echo 1 || echo 0)"
  printf '[cpu]\r\nProcessor=%s\r\nAdvanced=\r\n[baseboard]\r\nManufacturer=%s\r\n' "$vendor" "$baseboard"
  printf '[executable]\r\nfile=Installer.exe\r\nparam=-s\r\n[message]\r\nfail=Not this machine.\r\n'
} >"$work/small-checks/\$Settings.ini"
"$pack" build -q -s "$stub" -o "$work/ours-checks-small.exe" "$work/small-checks"

installers=()
for payload in small large; do
  # Ours with and without its digest (the same package, the record's algorithm
  # set to none) side by side, in turn: the pair measures what the digest costs.
  # Ours with /S beside NSIS built silent: neither shows a window.
  installers+=("$arch $payload/ours=Q:\\work\\ours-$payload.exe" +
    "$arch $payload/ours-nodigest=Q:\\work\\ours-nodigest-$payload.exe")
  installers+=("$arch $payload/ours-silent=Q:\\work\\ours-$payload.exe|/S" +
    "$arch $payload/ours-nodigest-silent=Q:\\work\\ours-nodigest-$payload.exe|/S")
  for kind in nsis-window nsis-silent nsis-window-nocrc nsis-silent-nocrc; do
    installers+=("$arch $payload/$kind=Q:\\work\\$kind-$payload.exe")
  done
  # The floor: the same entries copied by a program that does nothing else.
  installers+=("$arch $payload/floor=Q:\\bin\\qf_bench_floor.exe|Q:\\work\\ours-$payload.exe Q:\\work\\floor")
  [ "$payload" = small ] && installers+=("$arch small/ours-checks=Q:\\work\\ours-checks-small.exe")
done

marker="$work/settle"
rm -f "$marker"
"$run" "$PWD/$dir/bin/qf_bench_runner.exe" --settle 'Q:\work\settle' "$runs" "${installers[@]}" | tr -d '\r' >"$output" &
runner=$!
while kill -0 "$runner" 2>/dev/null; do
  if [ -e "$marker" ]; then
    rm -rf "$work/floor"
    sync
    # Every file the next run names, read once: each run starts with its
    # package in the page cache.
    python3 bench/named_files.py "$dir" "$marker"
    rm -f "$marker"
  fi
  sleep 0.02
done
wait "$runner"
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
echo "$(wc -l <"$output") runs recorded in $output"
