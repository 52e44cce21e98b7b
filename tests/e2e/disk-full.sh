#!/usr/bin/env bash
# Runs the end-to-end case of a workspace drive that fills up. The stub puts
# its workspace on the fixed drive with the most room, so the case needs a Wine
# prefix of its own: a copy of the build's prefix (the large system folders
# hard-linked) in which C: counts as a network drive and D: is a small tmpfs.
# The tmpfs is mounted in a mount namespace of this script's own, so nothing
# outlives the run. Exits 77 (skipped) where no such namespace can be made.
# usage: disk-full.sh BUILD_DIR TEST_PROGRAM WINE_LOADER WINEARCH
set -euo pipefail
build_dir="$1"
program="$2"
wine="$3"
arch="$4"
main="$build_dir/wineprefix"
prefix="$build_dir/wineprefix-diskfull"
drive="$build_dir/diskfull-d"
server=/usr/lib/wine/wineserver64

make_prefix() {
  rm -rf "$prefix"
  mkdir -p "$prefix/drive_c/windows" "$prefix/dosdevices" "$drive"
  cp -a "$main"/*.reg "$main/.update-timestamp" "$prefix/"
  find "$main/drive_c" -mindepth 1 -maxdepth 1 ! -name windows -exec cp -a {} "$prefix/drive_c/" \;
  local entry
  while IFS= read -r -d '' entry; do
    case "$(basename "$entry")" in
      system32 | syswow64 | winsxs) cp -al "$entry" "$prefix/drive_c/windows/" ;;
      *) cp -a "$entry" "$prefix/drive_c/windows/" ;;
    esac
  done < <(find "$main/drive_c/windows" -mindepth 1 -maxdepth 1 -print0)
  ln -s ../drive_c "$prefix/dosdevices/c:"
  ln -s "$build_dir" "$prefix/dosdevices/q:"
  ln -s "$drive" "$prefix/dosdevices/d:"
  (
    export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$wine" reg add 'HKLM\Software\Wine\Drives' /v c: /d network /f >/dev/null 2>&1
    "$wine" reg add 'HKLM\Software\Wine\Drives' /v d: /d hd /f >/dev/null 2>&1
    "$server" -w
  ) </dev/null
  touch "$prefix/.quillfen-ready"
}

if [ "${QF_DISKFULL_INSIDE:-}" != 1 ]; then
  # The build's own prefix, made on its first use, is the original.
  "$build_dir/wine-run" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
  # A server of this prefix started outside the namespace would not see the tmpfs.
  WINEPREFIX="$prefix" "$server" -k 2>/dev/null || true
  [ -f "$prefix/.quillfen-ready" ] || make_prefix
  for flags in -m -rm; do
    if unshare "$flags" true 2>/dev/null; then
      QF_DISKFULL_INSIDE=1 exec unshare "$flags" bash "$0" "$@"
    fi
  done
  echo "disk-full: no mount namespace of its own can be made here; skipped"
  exit 77
fi

mkdir -p "$drive"
if ! mount -t tmpfs -o size=64m tmpfs "$drive"; then
  echo "disk-full: no tmpfs can be mounted here; skipped"
  exit 77
fi
status=0
QF_TEST_SMALL_DRIVE=D: QF_WINEPREFIX="$prefix" "$build_dir/wine-run" "$program" \
  --gtest_filter='StubRun.EveryScenario*' || status=$?
WINEPREFIX="$prefix" "$server" -k 2>/dev/null || true
exit "$status"
