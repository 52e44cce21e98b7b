#!/usr/bin/env bash
# The benchmark: the stub against NSIS under Wine — the shipped 32-bit stub
# under 32-bit Wine against NSIS's x86 stub, and the x86_64 twin under wine64
# against NSIS's amd64 stub — and the extraction core natively against cp -r.
# Installs what it needs, builds optimised programs, makes the payloads and the
# installers, runs everything, prints a table and writes
# build/bench/results.json. It is not part of the tests.
#   QF_BENCH_RUNS=N     measured runs per installer (default 7, plus one warm-up)
#   QF_BENCH_ARCHS=...  which Wine rows to run (default "x86 x64")
#   QF_BENCH_KEEP=1     keep the 1 GiB payload and its installers afterwards
#   QF_BENCH_SPREAD=N   windowed runs of the 1 GiB package, ours and NSIS in
#                       turn, for the spread of their CPU time (default 9; 0: none)
# Needs about 8 GiB of free disk while it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${QF_BENCH_RUNS:-7}"
archs="${QF_BENCH_ARCHS:-x86 x64}"
jobs="${QF_JOBS:-2}"
out=build/bench
native=build/bench-native
payloads="$out/payload"
pack="$native/bin/quillfen-pack"

echo "=== dependencies"
scripts/install-deps.sh
bench_packages=(nsis python3 strace)
missing=()
for p in "${bench_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

echo "=== building: the shipped stub, the optimised bench programs for both Windows builds, quillfen-pack"
cmake --preset mingw-x86 >/dev/null
cmake --build --preset mingw-x86 -j "$jobs" --target quillfen-stub
for arch in $archs; do
  dir="build/bench-$arch"
  toolchain=()
  [ -f "$dir/CMakeCache.txt" ] || toolchain=(--toolchain "cmake/toolchain-mingw-$arch.cmake")
  # Built as the shipped stub is (size-optimised, no exceptions); for x86 the
  # stub under test is the shipped file itself.
  cmake -S . -B "$dir" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DQF_SHIPPING=ON -DQF_BUILD_TESTS=OFF -DQF_BUILD_BENCH=ON >/dev/null
  cmake --build "$dir" -j "$jobs" --target quillfen-stub qf_bench_runner qf_bench_installer qf_bench_floor
done
cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -DQF_BUILD_TESTS=OFF >/dev/null
cmake --build "$native" -j "$jobs" --target quillfen-pack

echo "=== payloads and installers"
rm -rf "$out"
mkdir -p "$payloads/small" "$payloads/large"
# The reference package's shape: the installer program, a second program of
# 3,961,394 bytes, the settings.
head -c 3961394 /dev/urandom >"$payloads/small/SetupHelper1.exe"
# 64 files, 1 GiB in all: the installer program, 62 data files, the settings.
# The installer program differs per build; the data files are shared.
settings_bytes=$(( $(stat -c %s bench/settings.ini) ))
installer_bytes=$(stat -c %s "build/bench-$(cut -d' ' -f1 <<<"$archs")/bin/qf_bench_installer.exe")
rest=$(((1 << 30) - installer_bytes - settings_bytes))
for i in $(seq -w 1 62); do
  size=$((rest / 62))
  [ "$i" = 62 ] && size=$((rest - 61 * (rest / 62)))
  head -c "$size" /dev/urandom >"$payloads/large/data$i.bin"
done

for arch in $archs; do
  dir="build/bench-$arch"
  work="$dir/work"  # Q:\work inside that build's Wine prefix
  stub="$dir/bin/quillfen-stub.exe"
  target=amd64-unicode
  if [ "$arch" = x86 ]; then
    stub=build/mingw-x86/bin/quillfen-stub.exe
    target=x86-unicode
  fi
  rm -rf "$work"
  mkdir -p "$work"
  for payload in small large; do
    mkdir -p "$work/$payload"
    ln -f "$payloads/$payload"/* "$work/$payload/"
    cp "$dir/bin/qf_bench_installer.exe" "$work/$payload/Installer.exe"
    cp bench/settings.ini "$work/$payload/\$Settings.ini"
    # The bench measures the stub on any machine: its settings switch no check on.
    "$pack" build -q --allow-any-machine -s "$stub" -o "$work/ours-$payload.exe" "$work/$payload"
    # The same installer read as one without digests: the stub record's
    # algorithm set to none, every other byte the same.
    python3 bench/without-digest.py "$work/ours-$payload.exe" "$work/ours-nodigest-$payload.exe"
    for mode in window silent window-nocrc silent-nocrc; do
      case "$mode" in
        window*) directives='AutoCloseWindow true\nPage instfiles' ;;
        silent*) directives='SilentInstall silent' ;;
      esac
      crc=on
      [ "${mode#*-}" = nocrc ] && crc=off
      sed -e "s|@OUTPUT@|$PWD/$work/nsis-$mode-$payload.exe|" -e "s|@PAYLOAD@|$PWD/$work/$payload|" \
        -e "s|@MODE@|$directives|" -e "s|@TARGET@|$target|" -e "s|@CRC@|$crc|" \
        bench/peer.nsi.in >"$work/nsis-$mode-$payload.nsi"
      makensis -V1 "$work/nsis-$mode-$payload.nsi"
    done
  done
  ls -l "$work"/*.exe
  echo "=== $arch under Wine: $runs runs of each installer after one warm-up run"
  xvfb-run -a -s "-screen 0 1024x768x24" bash bench/wine-runs.sh "$dir" "$stub" "$arch" "$runs" "$out/runs-$arch.jsonl"
  spread="${QF_BENCH_SPREAD:-9}"
  if [ "$spread" -gt 0 ]; then
    echo "=== $arch: CPU time of $spread windowed runs of the 1 GiB package each, ours and NSIS in turn"
    xvfb-run -a -s "-screen 0 1024x768x24" bash bench/spread.sh "$dir" "$spread" | tee "$out/spread-$arch.txt"
  fi
  echo "=== $arch: where the time goes in the 1 GiB package's runs (traced, so a little slower)"
  xvfb-run -a -s "-screen 0 1024x768x24" bash bench/phases.sh "$dir" ours-large.exe 3 | tee "$out/phases-$arch.txt"
done

echo "=== natively: quillfen-pack extract against cp -r of the same files, $runs runs each"
first="build/bench-$(cut -d' ' -f1 <<<"$archs")/work"
native_json="$out/native.json"
scratch="$out/scratch"
extract_times=()
copy_times=()
timed() {
  local start end
  sync
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  python3 -c "print($end - $start)"
}
for i in $(seq 0 "$runs"); do
  rm -rf "$scratch"
  t=$(timed "$pack" extract -o "$scratch" "$first/ours-large.exe")
  [ "$i" -gt 0 ] && extract_times+=("$t")
  rm -rf "$scratch"
  t=$(timed cp -r "$first/large" "$scratch")
  [ "$i" -gt 0 ] && copy_times+=("$t")
  rm -rf "$scratch"
done
calls() {
  strace -f -c -o "$out/strace.txt" "$@" >/dev/null
  awk '$NF == "read" || $NF == "write" || $NF == "copy_file_range" || $NF == "sendfile" {printf "\"%s\":%s,", $NF, $4}' \
    "$out/strace.txt" | sed 's/,$//'
}
extract_calls=$(calls "$pack" extract -o "$scratch" "$first/ours-large.exe")
rm -rf "$scratch"
copy_calls=$(calls cp -r "$first/large" "$scratch")
rm -rf "$scratch"
cat >"$native_json" <<JSON
{"bytes": $(find "$first/large" -type f -printf '%s\n' | awk '{s += $1} END {print s}'),
 "files": $(find "$first/large" -type f | wc -l),
 "extract_seconds": [$(IFS=,; echo "${extract_times[*]}")],
 "copy_seconds": [$(IFS=,; echo "${copy_times[*]}")],
 "extract_calls": {$extract_calls},
 "copy_calls": {$copy_calls},
 "disk": "$(df -h --output=source,fstype "$first" | tail -1 | tr -s ' ')"}
JSON

cat "$out"/runs-*.jsonl >"$out/runs.jsonl"
python3 bench/report.py --runs "$out/runs.jsonl" --native "$native_json" \
  --stub build/mingw-x86/bin/quillfen-stub.exe --peer-stub /usr/share/nsis/Stubs/zlib-x86-unicode \
  --json "$out/results.json"

if [ "${QF_BENCH_KEEP:-0}" != 1 ]; then
  rm -rf "$payloads/large" build/bench-*/work/large build/bench-*/work/*-large.exe "$scratch"
fi
