#!/usr/bin/env bash
# Checks a shipped 32-bit Windows program: i386 machine type, the expected
# subsystem, and imports only from system libraries that Windows always loads
# from System32 (msvcrt.dll is the C runtime of this toolchain and a known DLL).
# usage: check-pe.sh gui|console FILE...
set -euo pipefail
kind="$1"
shift
objdump=i686-w64-mingw32-objdump
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|msvcrt)\.dll$'
status=0
for exe in "$@"; do
  headers=$("$objdump" -p "$exe")
  if ! "$objdump" -f "$exe" | grep -q 'file format pei-i386'; then
    echo "FAIL $exe: not an i386 PE file"; status=1
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
    if ! tr 'A-Z' 'a-z' <<<"$dll" | grep -qE "$allowed"; then
      echo "FAIL $exe: imports $dll"; status=1
    fi
  done < <(grep 'DLL Name:' <<<"$headers" | awk '{print $3}')
  if [ "$status" -eq 0 ]; then
    echo "ok   $exe: i386, $want, imports $(grep 'DLL Name:' <<<"$headers" | awk '{print $3}' | tr '\n' ' ')($(stat -c %s "$exe") bytes)"
  fi
done
exit "$status"
