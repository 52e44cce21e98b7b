#!/usr/bin/env bash
# Draws the application icon (icon 130) and packs it into
# src/app/res/quillfen.ico: 16, 32 and 48 pixels as bitmaps, which every
# Windows reads, and 256 pixels as a compressed PNG (Windows scales the others
# from these). The icon is most of the stub's resources, so it stays small.
# Run it again only to change the icon; its result is committed.
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
command -v icotool >/dev/null || need+=(icoutils)
[ -x /usr/bin/convert ] || need+=(imagemagick)
if [ "${#need[@]}" -gt 0 ]; then
  sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${need[@]}"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A teal tile with a white quill whose nib writes a short stroke.
/usr/bin/convert -size 256x256 xc:none \
  -fill '#0f6b73' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#ffffff' -draw 'path "M 196,36 C 120,52 78,110 70,190 L 84,192 C 104,126 140,84 196,36 Z"' \
  -fill '#d9f2f0' -draw 'path "M 196,36 C 170,96 130,150 84,192 L 92,178 C 132,140 166,96 196,36 Z"' \
  -stroke '#ffffff' -strokewidth 10 -fill none -draw 'line 70,190 58,214' \
  -stroke '#f2c14e' -strokewidth 12 -draw 'line 92,214 196,214' \
  -depth 8 "PNG32:$work/drawn.png"
for s in 16 32 48; do
  /usr/bin/convert "$work/drawn.png" -filter Lanczos -resize ${s}x${s} "$work/$s.png"
done
# No text chunks or time stamps; the filter and level that pack this drawing smallest.
/usr/bin/convert "$work/drawn.png" -strip -define png:compression-level=9 -define png:compression-filter=1 \
  -define png:compression-strategy=0 "PNG32:$work/256.png"
icotool -c -o src/app/res/quillfen.ico "$work/16.png" "$work/32.png" "$work/48.png" -r "$work/256.png"
echo "wrote src/app/res/quillfen.ico ($(stat -c %s src/app/res/quillfen.ico) bytes)"
