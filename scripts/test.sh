#!/usr/bin/env bash
# Runs every test tier: native, native with sanitizers (and the fuzz corpora
# replayed), a bounded libFuzzer run, the Windows build under wine64, and the
# shipped 32-bit build: checked, then the Windows tests and the end-to-end
# scenarios run against that very file under 32-bit Wine. Installs what it
# needs first.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs="${QF_JOBS:-2}"
fuzz_seconds="${QF_FUZZ_SECONDS:-30}"
passed=0
failed=0
summary=()

scripts/install-deps.sh || exit 1

configure_and_build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs" "${@:2}"
}

# Adds a tier's ctest counts to the totals.
count_ctest() {
  local tier="$1" log="$2" line total failures
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1)); summary+=("$tier: no test ran"); return
  fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  failures=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - failures)); failed=$((failed + failures))
  summary+=("$tier: $((total - failures)) passed, $failures failed")
}

check() {
  local tier="$1"; shift
  if "$@"; then passed=$((passed + 1)); summary+=("$tier: ok");
  else failed=$((failed + 1)); summary+=("$tier: FAILED"); fi
}

tier_ctest() {
  local preset="$1" log
  log=$(mktemp)
  echo "=== tier $preset"
  if configure_and_build "$preset"; then
    shift
    "$@" ctest --preset "$preset" 2>&1 | tee "$log"
    count_ctest "$preset" "$log"
  else
    failed=$((failed + 1)); summary+=("$preset: build FAILED")
  fi
  rm -f "$log"
}

tier_ctest native
tier_ctest native-asan

echo "=== tier fuzz (${fuzz_seconds} s per target)"
fuzz_log=$(mktemp)
if cmake --preset fuzz -DQF_FUZZ_SECONDS="$fuzz_seconds" >/dev/null &&
   cmake --build --preset fuzz -j "$jobs" --target qf_fuzz_load_table qf_fuzz_seeds qf_ini_fuzz; then
  ctest --test-dir build/fuzz -L fuzz -j "$jobs" --output-on-failure 2>&1 | tee "$fuzz_log"
  count_ctest fuzz "$fuzz_log"
else
  failed=$((failed + 1)); summary+=("fuzz: build FAILED")
fi
rm -f "$fuzz_log"

echo "=== tier mingw-x64 (under wine64)"
tier_ctest mingw-x64 xvfb-run -a -s "-screen 0 1024x768x24"
check mingw-x64-imports scripts/check-pe.sh --x64 gui build/mingw-x64/bin/quillfen-stub.exe
WINEPREFIX="$PWD/build/mingw-x64/wineprefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true

echo "=== tier mingw-x86 (the shipped build: checked, then run under 32-bit Wine)"
# The shipped stub stays smaller than the 32-bit stub of the installer system
# users compare it with (92,672 bytes).
stub_max_bytes=92671
shipped=build/mingw-x86/bin/quillfen-stub.exe
check mingw-x86 bash -c "cmake --preset mingw-x86 >/dev/null && cmake --build --preset mingw-x86 -j $jobs && \
  scripts/check-pe.sh --max-bytes $stub_max_bytes gui $shipped"
# The import check must see an empty slot when there is one.
planted=$(mktemp --suffix=.exe)
check mingw-x86-slot-check bash -c "python3 scripts/check-import-slots.py --plant-fault $shipped $planted && \
  ! python3 scripts/check-import-slots.py $planted"
rm -f "$planted"
tier_ctest mingw-x86-tests xvfb-run -a -s "-screen 0 1024x768x24"
WINEPREFIX="$PWD/build/mingw-x86-tests/wineprefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true

echo "=== tier release (every build the release makes, archives unpacked and run)"
check release scripts/release.sh

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "all tiers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
