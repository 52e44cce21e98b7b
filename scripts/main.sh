#!/usr/bin/env bash
# Builds everything (the shipped 32-bit stub, the x86_64 Windows build, the
# native tools), says where the stub is, then packs the example installer
# program with its files on the shipped stub and runs the result under 32-bit
# Wine (and the same on the x86_64 twin under wine64), printing what happened.
# Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${QF_JOBS:-2}"

scripts/install-deps.sh
for preset in mingw-x86 mingw-x64 native; do
  echo "=== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target all
done
scripts/check-pe.sh gui build/mingw-x86/bin/quillfen-stub.exe
echo
echo "The stub: $PWD/build/mingw-x86/bin/quillfen-stub.exe"
echo "The package builder: $PWD/build/native/bin/quillfen-pack"

pack=build/native/bin/quillfen-pack
trap 'for p in mingw-x86 mingw-x64; do WINEPREFIX="$PWD/build/$p/wineprefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true; done' EXIT

# Packs the example on one build's stub with this machine's processor vendor
# and baseboard maker (as that build's probe reads them) and runs it.
run_example() {
  local preset="$1" title="$2" demo="build/$1/examples" wine_run="$PWD/build/$1/wine-run"
  echo
  echo "=== the example, packed with $title"
  cp -r examples/payload/. "$demo/payload/"
  echo "What this machine reports (quillfen-probe):"
  local probe vendor board board_check=1
  probe=$("$wine_run" "$PWD/build/$preset/tools/probe/quillfen-probe.exe" | tr -d '\r')
  sed 's/^/  /' <<<"$probe"
  vendor=$(sed -n 's/^cpu\.vendor: "\(.*\)"$/\1/p' <<<"$probe")
  board=$(sed -n 's/^baseboard\.Manufacturer: "\(.*\)" (result 0.*/\1/p' <<<"$probe")
  [ -n "$board" ] || board_check=0
  sed -e "s/^Processor=.*/Processor=$vendor/" -e "s/^baseboard=.*/baseboard=$board_check/" \
      -e "/^\[baseboard\]/,/^\[/ s/^Manufacturer=.*/Manufacturer=$board/" examples/settings.ini > "$demo/settings.ini"
  "$pack" build --stub "build/$preset/bin/quillfen-stub.exe" --settings "$demo/settings.ini" \
    -o "$demo/setup.exe" "$demo/payload"
  "$pack" list "$demo/setup.exe"
  rm -f "$demo/report.txt"
  # Wine's desktop keeps the display of the program that started it: the probe
  # ran without one, so start afresh inside the virtual display.
  WINEPREFIX="$PWD/build/$preset/wineprefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  local code=0 exe="$PWD/$demo/setup.exe"
  (cd "$demo" && xvfb-run -a -s "-screen 0 1024x768x24" "$wine_run" "$exe") || code=$?
  echo "setup.exe ($title) ended with exit code $code"
  if [ -f "$demo/report.txt" ]; then
    echo "The example installer's report:"
    tr -d '\r' < "$demo/report.txt" | sed 's/^/  /'
  fi
  [ "$code" -eq 0 ] && [ -f "$demo/report.txt" ]
}

run_example mingw-x86 "the shipped 32-bit stub, run under 32-bit Wine"
run_example mingw-x64 "the x86_64 twin, run under wine64"
