#!/bin/bash
# Renders the editor skins of both plug-ins from their vector sources into
# 24-bit BMP files (BI_RGB, bottom-up), then checks them.
#
#   tools/skins/render-skins.sh [--scale N] [clampora|tonvela ...]
#
# Scale 1 writes <plugin>/skin/bmp/<id>.bmp, the files the plug-in build
# embeds; scale N > 1 writes <plugin>/skin/bmp-<N>x/ for the checks and the
# same pixels as PNG files into <plugin>/skin/png-<N>x/, which the plug-ins
# embed for the editor scales above 1 (2 and 3 are the sets they carry).
# Needs: python3, rsvg-convert (librsvg2-bin), ImageMagick 6 (imagemagick),
# fonts-liberation2.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
scale=1
plugins=()
while [ $# -gt 0 ]; do
    case "$1" in
        --scale) scale=${2:?--scale needs a number}; shift 2 ;;
        --scale=*) scale=${1#--scale=}; shift ;;
        -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
        clampora|tonvela) plugins+=("$1"); shift ;;
        *) echo "render-skins: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
[ ${#plugins[@]} -gt 0 ] || plugins=(clampora tonvela)
case "$scale" in ''|*[!0-9]*|0) echo "render-skins: --scale takes a whole number from 1" >&2; exit 2 ;; esac

# ImageMagick's own convert (a stand-in earlier in PATH may not do it all)
im=${KLV_CONVERT:-}
if [ -z "$im" ]; then
    if [ -x /usr/bin/convert ]; then im=/usr/bin/convert; else im=convert; fi
fi
for tool in python3 rsvg-convert "$im"; do
    command -v "$tool" >/dev/null || { echo "render-skins: $tool not found (apt-get install python3 librsvg2-bin imagemagick fonts-liberation2)" >&2; exit 1; }
done
fc-list 2>/dev/null | grep -q "Liberation Sans" || echo "render-skins: warning: Liberation Sans not installed (fonts-liberation2); labels will use a substitute" >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# render_plugin NAME
render_plugin() {
    local name=$1
    local skin="$root/$name/skin"
    local out="$skin/bmp"
    [ "$scale" = 1 ] || out="$skin/bmp-${scale}x"
    local png="$skin/png-${scale}x"
    local tmp="$work/$name"
    mkdir -p "$tmp" "$out"
    [ "$scale" = 1 ] || mkdir -p "$png"

    python3 -B "$here/skingen.py" "$skin/design.py" "$skin/src"

    local id file w h frames mode x y matte
    local -a rows=()
    while read -r id file w h frames mode x y matte; do
        case "$id" in ''|\#*) continue ;; esac
        rows+=("$id $file $w $h $frames $mode $x $y $matte")
        rsvg-convert --zoom "$scale" -o "$tmp/$id.png" "$skin/src/$file"
    done < "$skin/src/skin.manifest"

    # The editor picture that overlays are blended onto: the background with
    # the meter dials in place.
    local bgid
    bgid=$(awk '$6 == "back" { print $1; exit }' "$skin/src/skin.manifest")
    "$im" "$tmp/$bgid.png" -background '#808080' -alpha remove -alpha off "$tmp/scene.png"
    local pass row
    for pass in dial over; do
        for row in "${rows[@]}"; do
            read -r id file w h frames mode x y matte <<< "$row"
            [ "$mode" = "$pass" ] || continue
            local W=$((w * scale)) FH=$((h * scale / frames))
            local patch=("$im" "$tmp/scene.png" -crop "${W}x${FH}+$((x * scale))+$((y * scale))" +repage)
            [ "$frames" -gt 1 ] && patch+=(-duplicate $((frames - 1)) -append)
            "${patch[@]}" "$tmp/$id.png" -composite -alpha off "$tmp/$id.flat.png"
            if [ "$mode" = dial ]; then
                "$im" "$tmp/scene.png" "$tmp/$id.flat.png" -geometry "+$((x * scale))+$((y * scale))" \
                    -composite "$tmp/scene.png"
            fi
        done
    done

    for row in "${rows[@]}"; do
        read -r id file w h frames mode x y matte <<< "$row"
        local bmp="$out/$id.bmp"
        case "$mode" in
            back|plain)
                "$im" "$tmp/$id.png" -background '#808080' -alpha remove -alpha off \
                    -fill '#FEFEFE' -opaque '#FFFFFF' -type TrueColor "BMP3:$bmp" ;;
            dial|over)
                "$im" "$tmp/$id.flat.png" -fill '#FEFEFE' -opaque '#FFFFFF' -type TrueColor "BMP3:$bmp" ;;
            keyed)
                # Visible pixels flattened on the colour they sit on (no light
                # fringe), pixels under 40% cover become the key colour.
                "$im" "$tmp/$id.png" -background "$matte" -alpha remove -alpha off \
                    -fill '#FEFEFE' -opaque '#FFFFFF' "$tmp/$id.flat.png"
                "$im" "$tmp/$id.png" -alpha extract -threshold 40% "$tmp/$id.mask.png"
                "$im" -size "$((w * scale))x$((h * scale))" xc:'#FFFFFF' "$tmp/$id.flat.png" \
                    "$tmp/$id.mask.png" -composite -alpha off -type TrueColor "BMP3:$bmp" ;;
            *) echo "render-skins: $name: unknown mode '$mode' for $id" >&2; return 1 ;;
        esac
        # 8-bit RGB without dates, so the same art gives the same bytes.
        [ "$scale" = 1 ] || "$im" "$bmp" -strip -define png:exclude-chunks=date,time \
            -define png:compression-level=9 "PNG24:$png/$id.png"
    done
    echo "render-skins: $name: ${#rows[@]} bitmaps in ${out#"$root"/}"
}

for p in "${plugins[@]}"; do
    render_plugin "$p"
done
python3 -B "$here/check_bmps.py" --scale "$scale" "${plugins[@]}"
[ "$scale" != 1 ] || python3 -B "$here/check_layout.py" "${plugins[@]}"
