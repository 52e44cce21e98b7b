#!/usr/bin/env bash
# Tries a built installer under Wine, as a user's machine would run it, but
# silently: 32-bit Wine for an installer made with the shipped 32-bit stub,
# wine64 for one made with the x86_64 twin. The installer runs in a Wine
# prefix of its own (made on first use, kept for the next try) from a folder
# of that prefix, with /S and /LOG; this prints the log and the stub's exit
# code (the whole 32-bit value) and leaves nothing running.
#
# usage: scripts/try-installer.sh SETUP.EXE [ARGUMENT...]
#   QF_TRY_PREFIX=DIR   the Wine prefix to use (default ~/.cache/quillfen-try/win32 or win64)
#   QF_TRY_DISPLAY=1    run inside the current display instead of a virtual one
set -euo pipefail

if [ $# -lt 1 ] || [ ! -f "$1" ]; then
  echo "usage: $0 SETUP.EXE [ARGUMENT...]" >&2
  exit 2
fi
setup=$(realpath "$1")
shift

machine=$(python3 - "$setup" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read(4096)
pe = struct.unpack_from("<I", data, 0x3C)[0] if len(data) >= 0x40 and data[:2] == b"MZ" else None
if pe is None or data[pe:pe + 4] != b"PE\0\0":
    print("none")
else:
    print({0x14C: "i386", 0x8664: "x86-64"}.get(struct.unpack_from("<H", data, pe + 4)[0], "other"))
EOF
)
case "$machine" in
  i386) arch=win32 wine=/usr/lib/wine/wine ;;
  x86-64) arch=win64 wine=/usr/lib/wine/wine64 ;;
  *) echo "$setup is not a Windows program for i386 or x86-64" >&2; exit 2 ;;
esac
if [ ! -x "$wine" ]; then
  echo "$wine is missing: run scripts/install-deps.sh first" >&2
  exit 2
fi

export WINEPREFIX="${QF_TRY_PREFIX:-$HOME/.cache/quillfen-try/$arch}"
export WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
server=/usr/lib/wine/wineserver64
if [ ! -f "$WINEPREFIX/.quillfen-ready" ]; then
  echo "making the Wine prefix $WINEPREFIX ($arch)"
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$server" -w || true
  # Z: would be the host's root: a workspace could land there.
  rm -f "$WINEPREFIX/dosdevices/z:"
  # Without a window manager, hiding a window would stall.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  "$server" -w || true
  touch "$WINEPREFIX/.quillfen-ready"
fi
trap '"$server" -k 2>/dev/null || true' EXIT

# The installer runs from a folder of the prefix, as from a user's Downloads.
folder="$WINEPREFIX/drive_c/quillfen-try"
rm -rf "$folder"
mkdir -p "$folder"
cp "$setup" "$folder/setup.exe"
log="$folder/run.log"

# cmd reports the whole exit code; Wine's own exit status keeps only 8 bits.
arguments=""
for a in "$@"; do arguments+=" \"$a\""; done
printf '@echo off\r\nstart /wait "" "C:\\quillfen-try\\setup.exe" /S "/LOG=C:\\quillfen-try\\run.log"%s\r\necho exit code %%errorlevel%%\r\n' \
  "$arguments" >"$folder/try.cmd"
run=("$wine" cmd /c 'C:\quillfen-try\try.cmd')
if [ "${QF_TRY_DISPLAY:-0}" = 1 ]; then
  output=$("${run[@]}" </dev/null 2>/dev/null | tr -d '\r')  || true
else
  output=$(xvfb-run -a -s "-screen 0 1024x768x24" "${run[@]}" </dev/null 2>/dev/null | tr -d '\r') || true
fi
"$server" -k 2>/dev/null || true

echo "=== the log ($log)"
if [ -f "$log" ]; then
  cat "$log"
else
  echo "(no log was written)"
fi
code=$(sed -n 's/^exit code \(-\{0,1\}[0-9]*\)$/\1/p' <<<"$output" | tail -n 1)
echo "=== setup.exe ended with exit code ${code:-unknown}"
[ "${code:-1}" = 0 ]
