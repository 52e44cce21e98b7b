#!/usr/bin/env bash
# Builds everything: the shipped 32-bit stub, the x86_64 Windows build and the
# native tools. Installs what it needs first, then says where the stub is.
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
