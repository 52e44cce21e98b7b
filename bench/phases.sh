#!/usr/bin/env bash
# Where the stub's time goes under Wine: runs one installer of the bench a few
# times with the wineserver (which opens, creates and removes every file of a
# Windows program) and the started processes traced, and prints the phases.
# Run inside a display (bench/run.sh calls it inside xvfb-run).
# usage: phases.sh BENCH_BUILD_DIR INSTALLER_NAME [RUNS]
set -euo pipefail
dir="$1"
installer="$2"
runs="${3:-3}"
export WINEPREFIX="$PWD/$dir/wineprefix" WINEDEBUG=-all
# The build's own Wine loader, started directly as the bench's runner starts
# installers (wine-run would add Wine's boot check to every run).
loader=$(sed -n "s/^wine='\(.*\)'$/\1/p" "$dir/wine-run")
traces=$(mktemp -d)
server=/usr/lib/wine/wineserver64
"$server" -k 2>/dev/null || true
# Only the traced calls stop the server (seccomp), so the trace costs little.
strace -f --seccomp-bpf -tt -e trace=openat,mkdir,unlink,rmdir -o "$traces/server" "$server" -f -p60 &
tracer=$!
sleep 0.5
# A first run starts Wine's services and desktop, which the bench's runner
# also keeps up between its runs.
"$dir/wine-run" "Q:\\work\\$installer" >/dev/null 2>&1 || true
clients=()
for i in $(seq 1 "$runs"); do
  sync
  strace -f --seccomp-bpf -tt -e trace=execve,exit_group -o "$traces/client$i" \
    "$loader" "Q:\\work\\$installer" >/dev/null 2>&1 || true
  clients+=("$traces/client$i")
done
"$server" -k 2>/dev/null || true
wait "$tracer" 2>/dev/null || true
python3 bench/phases.py "$traces/server" "${clients[@]}"
rm -rf "$traces"
