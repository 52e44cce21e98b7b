#!/usr/bin/env bash
# Builds what a package author downloads and packs one archive per platform,
# with SHA-256 sums inside each archive and beside them:
#   quillfen-VERSION-windows.zip        i686 quillfen-stub.exe, quillfen-pack.exe
#                                       (and quillfen-probe.exe once it exists)
#   quillfen-VERSION-linux-x86_64.tar.gz  quillfen-pack for Linux and the stub
# both with README.md, docs/ and examples/settings.ini. VERSION is the
# project's (CMakeLists.txt) unless QF_VERSION says otherwise.
# Output: build/release/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${QF_JOBS:-2}"
version="${QF_VERSION:-$(sed -n 's/^project(Quillfen VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)}"
out=build/release
stage="$out/stage"
# Archives hold fixed times and owners, so the same sources give the same bytes.
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}"

scripts/install-deps.sh

echo "=== building the Windows programs (i686)"
cmake --preset mingw-x86 >/dev/null
cmake --build --preset mingw-x86 -j "$jobs"

echo "=== building quillfen-pack for Linux"
cmake -S . -B build/release-linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DQF_BUILD_TESTS=OFF \
  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_EXE_LINKER_FLAGS="-static-libstdc++ -static-libgcc" \
  -DOPENSSL_USE_STATIC_LIBS=TRUE -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build build/release-linux -j "$jobs"

rm -rf "$out"
windows="quillfen-$version-windows"
linux="quillfen-$version-linux-x86_64"
cmake --install build/mingw-x86 --prefix "$stage/$windows" >/dev/null
cmake --install build/release-linux --prefix "$stage/$linux" --strip >/dev/null
cp "$stage/$windows/quillfen-stub.exe" "$stage/$linux/"

echo "=== checking"
scripts/check-pe.sh gui "$stage/$windows/quillfen-stub.exe"
scripts/check-pe.sh console "$stage/$windows/quillfen-pack.exe"
if [ ! -f "$stage/$windows/quillfen-probe.exe" ]; then
  echo "note: this build has no quillfen-probe.exe yet; the archive goes without it"
fi
"$stage/$linux/quillfen-pack" --version

pack() {
  local dir="$1" name="$2"
  (cd "$stage/$dir" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
     xargs -d '\n' sha256sum >SHA256SUMS)
  find "$stage/$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  case "$name" in
    *.zip) (cd "$stage" && find "$dir" | LC_ALL=C sort | zip -X -q -D "../$name" -@) ;;
    *.tar.gz) tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
                -cf - "$dir" | gzip -n >"$out/$name" ;;
  esac
}
pack "$windows" "$windows.zip"
pack "$linux" "$linux.tar.gz"
(cd "$out" && sha256sum "$windows.zip" "$linux.tar.gz" >SHA256SUMS)

echo "=== checking that the archives unpack to working tools"
unpacked="$out/unpacked"
mkdir -p "$unpacked/app"
tar -C "$unpacked" -xzf "$out/$linux.tar.gz"
unzip -q -d "$unpacked" "$out/$windows.zip"
(cd "$unpacked/$linux" && sha256sum --check --quiet SHA256SUMS)
(cd "$unpacked/$windows" && sha256sum --check --quiet SHA256SUMS)
printf 'x' >"$unpacked/app/Installer.exe"
"$unpacked/$linux/quillfen-pack" build -q --settings "$unpacked/$linux/examples/settings.ini" \
  -o "$unpacked/example.exe" "$unpacked/app"
"$unpacked/$linux/quillfen-pack" verify "$unpacked/example.exe"
rm -rf "$unpacked"

echo
echo "=== release $version in $out"
(cd "$out" && ls -l "$windows.zip" "$linux.tar.gz" && cat SHA256SUMS)
