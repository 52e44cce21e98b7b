#!/usr/bin/env bash
# Links a program against delay-load import libraries so that every delay-
# loaded function keeps its loader thunk.
#
# Each member of such a library holds the function's address slot and the
# thunk that loads the DLL on the first call. Our code names only the slot
# (__imp_Name); the 32-bit GNU ld then drops the member's code, and the slot,
# which should point into that code, is left 0. So the program is linked once
# to learn which members it pulls in, and again with each of their thunks
# named as required.
# usage: link-delay-thunks.sh DELAYLIB_DIR NM -- LINK COMMAND...
set -euo pipefail
dir="$1"
nm="$2"
shift 3

out=''
prev=''
for arg in "$@"; do
  [ "$prev" = "-o" ] && out="$arg"
  prev="$arg"
done
map="${out:-a.out}.delay-map"
"$@" "-Wl,-Map,$map"

# The map names each archive member it took at the start of a line. Each
# archive is listed once (a listing takes a quarter of a second), then its
# members' code symbols are picked out.
members=$(grep -oE "^$(sed 's/[.[\*^$]/\\&/g' <<<"$dir")/lib[A-Za-z0-9_]+\.a\([^)]+\)" "$map" | sort -u || true)
required=()
for archive in $(sed -n 's/(.*//p' <<<"$members" | sort -u); do
  taken=$(sed -n "s|^$archive(\(.*\))\$|\1|p" <<<"$members" | tr '\n' ' ')
  while read -r symbol; do
    required+=("-Wl,--require-defined,$symbol")
  done < <("$nm" -A --defined-only "$archive" |
             awk -F'[: ]+' -v taken=" $taken" 'index(taken, " " $2 " ") && $4 == "T" { print $5 }')
done
rm -f "$map"
[ "${#required[@]}" -gt 0 ] || exit 0
exec "$@" "${required[@]}"
