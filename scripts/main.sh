#!/usr/bin/env bash
# Builds everything (the shipped 32-bit stub, the x86_64 Windows build, the
# native tools), says where the stub is, then packs the example installer
# program with its files and runs the result under Wine, printing what
# happened. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${QF_JOBS:-2}"

scripts/install-deps.sh
for preset in mingw-x86 mingw-x64 native; do
  echo "=== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
scripts/check-pe.sh gui build/mingw-x86/bin/quillfen-stub.exe
echo
echo "The stub: $PWD/build/mingw-x86/bin/quillfen-stub.exe"
echo "The package builder: $PWD/build/native/bin/quillfen-pack"

pack=build/native/bin/quillfen-pack
for preset in mingw-x86 mingw-x64; do
  cp -r examples/payload/. "build/$preset/examples/payload/"
done

echo
echo "=== the example, packed with the shipped stub"
"$pack" build --stub build/mingw-x86/bin/quillfen-stub.exe --settings examples/settings.ini \
  -o build/mingw-x86/examples/setup.exe build/mingw-x86/examples/payload

echo
echo "=== the example, packed with the x86_64 twin and run under Wine"
demo=build/mingw-x64/examples
wine_run=build/mingw-x64/wine-run
export WINEPREFIX="$PWD/build/mingw-x64/wineprefix"
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
echo "What this machine reports (quillfen-probe):"
probe=$("$wine_run" "$PWD/build/mingw-x64/tools/probe/quillfen-probe.exe" | tr -d '\r')
sed 's/^/  /' <<<"$probe"
# The example's checks, with this machine's processor vendor and baseboard maker.
vendor=$(sed -n 's/^cpu\.vendor: "\(.*\)"$/\1/p' <<<"$probe")
board=$(sed -n 's/^baseboard\.Manufacturer: "\(.*\)" (result 0.*/\1/p' <<<"$probe")
board_check=1
[ -n "$board" ] || board_check=0
sed -e "s/^Processor=.*/Processor=$vendor/" -e "s/^baseboard=.*/baseboard=$board_check/" \
    -e "/^\[baseboard\]/,/^\[/ s/^Manufacturer=.*/Manufacturer=$board/" examples/settings.ini > "$demo/settings.ini"
"$pack" build --stub build/mingw-x64/bin/quillfen-stub.exe --settings "$demo/settings.ini" \
  -o "$demo/setup.exe" "$demo/payload"
"$pack" list "$demo/setup.exe"
rm -f "$demo/report.txt"
# Wine's desktop keeps the display of the program that started it: the probe
# ran without one, so start afresh inside the virtual display.
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
set +e
(cd "$demo" && xvfb-run -a -s "-screen 0 1024x768x24" "$PWD/../wine-run" "$PWD/setup.exe")
code=$?
set -e
echo "setup.exe ended with exit code $code"
if [ -f "$demo/report.txt" ]; then
  echo "The example installer's report:"
  tr -d '\r' < "$demo/report.txt" | sed 's/^/  /'
fi
[ "$code" -eq 0 ] && [ -f "$demo/report.txt" ]
