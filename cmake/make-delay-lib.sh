#!/usr/bin/env bash
# Makes a delay-load import library for one system DLL from the toolchain's
# ordinary import library: every export it names, loaded on first use.
# usage: make-delay-lib.sh TRIPLE DLL OUTDIR
set -euo pipefail
triple="$1"
dll="$2"
out="$3"
mkdir -p "$out"
def="$out/$dll.def"
{
  echo "LIBRARY $dll.dll"
  echo "EXPORTS"
  "$triple-nm" -g --defined-only "/usr/$triple/lib/lib$dll.a" |
    awk '$2 == "I" && $3 ~ /^__imp_/ { sub(/^__imp_/, "", $3); print $3 }' |
    if [ "$triple" = "i686-w64-mingw32" ]; then sed 's/^_//'; else cat; fi |
    sort -u
} > "$def"
flags=()
# 32-bit stdcall names carry "@n"; the DLL exports them without it.
[ "$triple" = "i686-w64-mingw32" ] && flags=(--kill-at)
"$triple-dlltool" --input-def "$def" --output-delaylib "$out/lib$dll.a" --dllname "$dll.dll" "${flags[@]}"
