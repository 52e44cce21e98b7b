#!/usr/bin/env bash
# How much the CPU time of one windowed run of the 1 GiB package varies: ours,
# ours without its digest, NSIS with its window (no CRC) and the floor (a
# program that only copies the same entries) in turn, each started directly by
# the build's Wine loader, with one wineserver and Wine's desktop kept up
# between runs; each run's files are read once before it. Run inside a
# display (bench/run.sh calls it inside xvfb-run).
# usage: spread.sh BENCH_BUILD_DIR [RUNS]
set -euo pipefail
dir="$1"
runs="${2:-9}"
export WINEPREFIX="$PWD/$dir/wineprefix" WINEDEBUG=-all
loader=$(sed -n "s/^wine='\(.*\)'$/\1/p" "$dir/wine-run")
# wine-run makes the prefix and starts the server; a window kept open keeps the desktop.
"$dir/wine-run" "$PWD/$dir/bin/qf_bench_runner.exe" --machine >/dev/null
"$loader" 'Q:\bin\qf_bench_runner.exe' --keep >/dev/null 2>&1 &
keeper=$!
export QF_TEST_RECORD='C:\qf-spread-record.txt' QF_TEST_EXIT_CODE=0
python3 bench/spread.py --remove "$dir/work/floor" --drive-q "$dir" "$runs" "ours=$loader 'Q:\\work\\ours-large.exe'" \
  "ours-nodigest=$loader 'Q:\\work\\ours-nodigest-large.exe'" \
  "nsis-window-nocrc=$loader 'Q:\\work\\nsis-window-nocrc-large.exe'" \
  "floor=$loader 'Q:\\bin\\qf_bench_floor.exe' 'Q:\\work\\ours-large.exe' 'Q:\\work\\floor'"
kill "$keeper" 2>/dev/null || true
wait "$keeper" 2>/dev/null || true
