#!/usr/bin/env bash
# The benchmark: the stub against NSIS under wine64, and the extraction core
# natively against cp -r. Installs what it needs, builds optimised programs,
# makes the payloads and the installers, runs everything, prints a table and
# writes build/bench/results.json. It is not part of the tests.
#   QF_BENCH_RUNS=N   measured runs per installer (default 5, plus one warm-up)
#   QF_BENCH_KEEP=1   keep the 1 GiB payload and its installers afterwards
# Needs about 5 GiB of free disk while it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${QF_BENCH_RUNS:-5}"
jobs="${QF_JOBS:-2}"
out=build/bench
x64=build/bench-x64
native=build/bench-native
work="$x64/work"  # Q:\work inside the bench's Wine prefix
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

echo "=== building: the shipped stub, an optimised x86_64 stub with the bench programs, quillfen-pack"
cmake --preset mingw-x86 >/dev/null
cmake --build --preset mingw-x86 -j "$jobs" --target quillfen-stub
# The x86_64 twin built as the shipped stub is (size-optimised, no exceptions), since that is what runs under wine64.
toolchain=()
[ -f "$x64/CMakeCache.txt" ] || toolchain=(--toolchain cmake/toolchain-mingw-x64.cmake)
cmake -S . -B "$x64" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DQF_SHIPPING=ON -DQF_BUILD_TESTS=OFF -DQF_BUILD_BENCH=ON >/dev/null
cmake --build "$x64" -j "$jobs" --target quillfen-stub qf_bench_runner qf_bench_installer
cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -DQF_BUILD_TESTS=OFF >/dev/null
cmake --build "$native" -j "$jobs" --target quillfen-pack

echo "=== payloads and installers"
rm -rf "$work" "$out"
mkdir -p "$work" "$out"
settings() {
  printf '[validate]\r\ncpu=0\r\nbios=0\r\nbaseboard=0\r\n[executable]\r\nfile=Installer.exe\r\nparam=-s\r\n'
  printf '[message]\r\nfail=This machine is not among the accepted ones.\r\n'
}
# The reference package's shape: the installer program, a second program of
# 3,961,394 bytes, the settings.
mkdir -p "$work/small"
cp "$x64/bin/qf_bench_installer.exe" "$work/small/Installer.exe"
head -c 3961394 /dev/urandom >"$work/small/SetupHelper1.exe"
settings >"$work/small/\$Settings.ini"
# 64 files, 1 GiB in all: the installer program, 62 data files, the settings.
mkdir -p "$work/large"
cp "$x64/bin/qf_bench_installer.exe" "$work/large/Installer.exe"
settings >"$work/large/\$Settings.ini"
rest=$(((1 << 30) - $(stat -c %s "$work/large/Installer.exe") - $(stat -c %s "$work/large/\$Settings.ini")))
for i in $(seq -w 1 62); do
  size=$((rest / 62))
  [ "$i" = 62 ] && size=$((rest - 61 * (rest / 62)))
  head -c "$size" /dev/urandom >"$work/large/data$i.bin"
done

for payload in small large; do
  "$pack" build -q -s "$x64/bin/quillfen-stub.exe" -o "$work/ours-$payload.exe" "$work/$payload"
  for mode in window silent; do
    case "$mode" in
      window) directives='AutoCloseWindow true\nPage instfiles' ;;
      silent) directives='SilentInstall silent' ;;
    esac
    sed -e "s|@OUTPUT@|$PWD/$work/nsis-$mode-$payload.exe|" -e "s|@PAYLOAD@|$PWD/$work/$payload|" \
      -e "s|@MODE@|$directives|" bench/peer.nsi.in >"$work/nsis-$mode-$payload.nsi"
    makensis -V1 "$work/nsis-$mode-$payload.nsi"
  done
done
ls -l "$work"/*.exe

echo "=== under wine64: $runs runs of each installer after one warm-up run"
xvfb-run -a -s "-screen 0 1024x768x24" bash bench/wine-runs.sh "$x64" "$runs" "$out/runs.jsonl"

echo "=== natively: quillfen-pack extract against cp -r of the same files, $runs runs each"
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
  t=$(timed "$pack" extract -o "$scratch" "$work/ours-large.exe")
  [ "$i" -gt 0 ] && extract_times+=("$t")
  rm -rf "$scratch"
  t=$(timed cp -r "$work/large" "$scratch")
  [ "$i" -gt 0 ] && copy_times+=("$t")
  rm -rf "$scratch"
done
calls() {
  strace -f -c -o "$out/strace.txt" "$@" >/dev/null
  awk '$NF == "read" || $NF == "write" || $NF == "copy_file_range" || $NF == "sendfile" {printf "\"%s\":%s,", $NF, $4}' \
    "$out/strace.txt" | sed 's/,$//'
}
extract_calls=$(calls "$pack" extract -o "$scratch" "$work/ours-large.exe")
rm -rf "$scratch"
copy_calls=$(calls cp -r "$work/large" "$scratch")
rm -rf "$scratch"
cat >"$native_json" <<EOF
{"bytes": $(find "$work/large" -type f -printf '%s\n' | awk '{s += $1} END {print s}'),
 "files": $(find "$work/large" -type f | wc -l),
 "extract_seconds": [$(IFS=,; echo "${extract_times[*]}")],
 "copy_seconds": [$(IFS=,; echo "${copy_times[*]}")],
 "extract_calls": {$extract_calls},
 "copy_calls": {$copy_calls},
 "disk": "$(df -h --output=source,fstype "$work" | tail -1 | tr -s ' ')"}
EOF

python3 bench/report.py --runs "$out/runs.jsonl" --native "$native_json" \
  --stub build/mingw-x86/bin/quillfen-stub.exe --peer-stub /usr/share/nsis/Stubs/zlib-x86-unicode \
  --json "$out/results.json"

if [ "${QF_BENCH_KEEP:-0}" != 1 ]; then
  rm -rf "$work/large" "$work"/*-large.exe "$scratch"
fi
