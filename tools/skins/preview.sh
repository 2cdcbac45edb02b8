#!/bin/bash
# Pictures of the editors as they draw from the rendered skins, for judging
# the art: for each plug-in, in <plugin>/skin/preview/,
#   editor.png      the editor at 100% with handles, keys, meters and texts
#   editor-3x.png   the same enlarged three times, pixel for pixel
#   about.png       the editor with the about panel open
#   sheet.png       the smaller bitmaps enlarged five times, pure white (the
#                   transparency key) shown as magenta
#
#   tools/skins/preview.sh [clampora|tonvela ...]
#
# Run tools/skins/render-skins.sh first.  Needs what that script needs.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
im=${KLV_CONVERT:-}
if [ -z "$im" ]; then
    if [ -x /usr/bin/convert ]; then im=/usr/bin/convert; else im=convert; fi
fi
montage=$(dirname "$(command -v "$im")")/montage
command -v "$montage" >/dev/null || montage=montage

plugins=("$@")
[ ${#plugins[@]} -gt 0 ] || plugins=(clampora tonvela)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for name in "${plugins[@]}"; do
    bmp="$root/$name/skin/bmp"
    out="$root/$name/skin/preview"
    tmp="$work/$name"
    mkdir -p "$tmp" "$out"
    keyed=$(awk '$6 == "keyed" { print $1 }' "$root/$name/skin/src/skin.manifest")
    sheet=()
    for f in "$bmp"/*.bmp; do
        id=$(basename "$f" .bmp)
        if grep -qx "$id" <<< "$keyed"; then
            "$im" "$f" -transparent '#FFFFFF' "$tmp/$id.png"
        else
            "$im" "$f" "$tmp/$id.png"
        fi
        if [ "$("$im" "$f" -format %w info:)" -lt 200 ]; then
            "$im" "$f" -fill '#FF00FF' -opaque '#FFFFFF' -scale 500% "$tmp/sheet-$id.png"
            sheet+=(-label "$id" "$tmp/sheet-$id.png")
        fi
    done
    python3 -B "$here/preview.py" "$name" "$tmp" "$tmp/editor.svg"
    python3 -B "$here/preview.py" "$name" "$tmp" "$tmp/about.svg" about
    rsvg-convert -o "$out/editor.png" "$tmp/editor.svg"
    rsvg-convert -o "$out/about.png" "$tmp/about.svg"
    "$im" "$out/editor.png" -scale 300% "$out/editor-3x.png"
    "$montage" "${sheet[@]}" -mode concatenate -tile 5x -geometry +8+8 -background '#7f7f7f' -fill '#000000' \
        -font Liberation-Sans -pointsize 12 "$out/sheet.png"
    echo "preview: ${out#"$root"/}/{editor,editor-3x,about,sheet}.png"
done
