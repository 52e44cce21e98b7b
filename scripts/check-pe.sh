#!/usr/bin/env bash
# Checks a Windows program of ours: its machine type (i386 for the shipped
# build, x86-64 for the twin the tests run), the expected subsystem, imports at
# start-up only from kernel32.dll and msvcrt.dll (the C runtime of this
# toolchain, a known DLL), and no other DLL named anywhere in it (delay-loaded
# ones included) but system libraries, and no empty slot in its import
# address table before a list's end (check-import-slots.py).
# With --max-bytes N, each file must also be at most N bytes long.
# usage: check-pe.sh [--x64] [--max-bytes N] gui|console FILE...
set -euo pipefail
format='pei-i386'
objdump=i686-w64-mingw32-objdump
max_bytes=''
if [ "$1" = "--x64" ]; then
  format='pei-x86-64'
  objdump=x86_64-w64-mingw32-objdump
  shift
fi
if [ "$1" = "--max-bytes" ]; then
  max_bytes="$2"
  shift 2
fi
kind="$1"
shift
startup='^(kernel32|msvcrt)\.dll$'
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|msvcrt)\.dll$'
# The 32-bit runtime's start-up code names its shared unwinder only to ask
# whether it is already loaded (GetModuleHandle); it never loads it.
named_only='^libgcc_s_dw2-1\.dll$'
status=0
for exe in "$@"; do
  headers=$("$objdump" -p "$exe")
  if ! "$objdump" -f "$exe" | grep -q "file format $format"; then
    echo "FAIL $exe: not a $format file"; status=1
  fi
  case "$kind" in
    gui) want='(Windows GUI)' ;;
    console) want='(Windows CUI)' ;;
    *) echo "unknown kind $kind"; exit 2 ;;
  esac
  if ! grep -E '^Subsystem' <<<"$headers" | grep -qF "$want"; then
    echo "FAIL $exe: subsystem is not $want"; status=1
  fi
  while read -r dll; do
    if ! tr 'A-Z' 'a-z' <<<"$dll" | grep -qE "$startup"; then
      echo "FAIL $exe: imports $dll at start-up"; status=1
    fi
  done < <(grep 'DLL Name:' <<<"$headers" | awk '{print $3}')
  named=$(strings -a "$exe" | grep -i -E '^[a-z0-9_.-]+\.dll$' | tr 'A-Z' 'a-z' | sort -u)
  while read -r dll; do
    if [ -n "$dll" ] && ! grep -qE "$allowed" <<<"$dll" && ! grep -qE "$named_only" <<<"$dll"; then
      echo "FAIL $exe: loads $dll"; status=1
    fi
  done <<<"$named"
  if ! slots=$(python3 "$(dirname "$0")/check-import-slots.py" "$exe"); then
    printf '%s\n' "$slots" | grep '^FAIL'; status=1
  fi
  if [ -n "$max_bytes" ] && [ "$(stat -c %s "$exe")" -gt "$max_bytes" ]; then
    echo "FAIL $exe: $(stat -c %s "$exe") bytes, more than $max_bytes"; status=1
  fi
  if [ "$status" -eq 0 ]; then
    echo "ok   $exe: $format, $want, start-up imports $(grep 'DLL Name:' <<<"$headers" | awk '{print $3}' | tr '\n' ' ')," \
         "loads on use $(grep -v -E "$startup|$named_only" <<<"$named" | tr '\n' ' ')($(stat -c %s "$exe") bytes)," \
         "${slots#*: }"
  fi
done
exit "$status"
