#!/usr/bin/env bash
# Runs every test tier, each a CMake workflow preset (configure, build, test):
# the native suites under the sanitizers (and the fuzz corpora replayed), a bounded
# libFuzzer run, the x86_64 Windows build (its import check), the shipped 32-bit build (its
# size and import checks, and the release archives), and the Windows tests and
# end-to-end scenarios run against that very file under 32-bit Wine. Installs
# what it needs first. Each tier's test preset writes build/<tier>/junit.xml;
# the closing line adds them up.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

# The plain native preset runs the same suites without sanitizers: quicker to
# build while working, and left out here, where they run once, sanitized.
tiers=(native-asan fuzz mingw-x64 mingw-x86 mingw-x86-tests)
passed=0
failed=0
summary=()
for tier in "${tiers[@]}"; do
  echo "=== tier $tier"
  rm -f "build/$tier/junit.xml"
  run=()
  # The Windows tests open windows: they get a display of their own.
  case "$tier" in mingw-x86-tests) run=(xvfb-run -a -s "-screen 0 1024x768x24") ;; esac
  "${run[@]}" cmake --workflow --preset "$tier"
  # The tier's Wine server outlives its programs for a minute: not past the tier.
  WINEPREFIX="$PWD/build/$tier/wineprefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  counts=$(python3 - "build/$tier/junit.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    cases = ET.parse(sys.argv[1]).getroot().iter("testcase")
except (OSError, ET.ParseError):
    print("0 1"); sys.exit()
ok = bad = 0
for case in cases:
    status = case.get("status", "run")
    if case.find("failure") is not None or case.find("error") is not None or status == "fail":
        bad += 1
    elif case.find("skipped") is None and status != "notrun" and status != "disabled":
        ok += 1
print(ok, bad)
PY
)
  read -r ok bad <<<"$counts"
  passed=$((passed + ok))
  failed=$((failed + bad))
  summary+=("$tier: $ok passed, $bad failed")
done

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "all tiers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
