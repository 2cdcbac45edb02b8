#!/usr/bin/env bash
# The editors in real windows under Wine and Xvfb, for every DLL of one
# Windows build:
#   tests/wine/run-editor-tests.sh BITS BUILD_DIR LINUX_BUILD_DIR
# BITS (32 or 64) picks Wine's loader; the caller knows whether this machine
# runs 32-bit programs. For each DLL in BUILD_DIR/plugins, klv-wine-host.exe
# runs --editor (windows, sizes, leaks, a misbehaving host), --mouse
# (xdotool drags and clicks: what the host heard, values, audio) and --host
# (quick taps a late host finds, closes in the middle of a drag, a held drag
# beside a second editor); the stereo DLLs all three again on a display of
# 192 dpi (a copy of the prefix with LogPixels 192), where the DPI-aware
# host's editors open at scale 2. Each --mouse screenshot is compared with
# the picture LINUX_BUILD_DIR's
# klv-snapshot draws of the same state, text displays left out (Wine's font
# rasteriser draws the text). Screenshots and logs: BUILD_DIR/editor-tests.
# Wine prefix: build-wine-mouse (made on first use). KLV_MOUSE_PAUSE sets
# xdotool's pause between press, moves and release (seconds, default 0.3).
# Exit status 0 when everything passed, 1 when a check failed, 2 when a tool
# could not run (which says nothing about the plug-ins); the last line says
# which.
set -uo pipefail

kinds=(clampora clampora-mono tonvela tonvela-mono)
dll_name() {
  case $1 in
    clampora) echo KLV_Clampora.dll ;;
    clampora-mono) echo KLV_Clampora_mono.dll ;;
    tonvela) echo KLV_Tonvela.dll ;;
    tonvela-mono) echo KLV_Tonvela_mono.dll ;;
  esac
}

cannot_run() {
  echo "run-editor-tests: cannot run: $*"
  exit 2
}

if [ $# -ne 3 ] || { [ "$1" != 32 ] && [ "$1" != 64 ]; }; then
  cannot_run "usage: tests/wine/run-editor-tests.sh 32|64 BUILD_DIR LINUX_BUILD_DIR"
fi
bits=$1
build=$(cd "$2" 2>/dev/null && pwd) || cannot_run "no build directory $2"
linux=$(cd "$3" 2>/dev/null && pwd) || cannot_run "no build directory $3"
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 2
out=$build/editor-tests
host=$build/bin/klv-wine-host.exe
snapshot=$linux/bin/klv-snapshot
# Debian's /usr/bin/wine picks the 32-bit loader whenever wine32 is
# installed; the 64-bit loader is called directly, and WINELOADER makes
# Wine's own helper processes use the same one.
if [ "$bits" = 32 ]; then loader=/usr/lib/wine/wine; else loader=/usr/lib/wine/wine64; fi
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$root/build-wine-mouse WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
dpi_prefix=$WINEPREFIX-dpi192
export KLV_MOUSE_PAUSE=${KLV_MOUSE_PAUSE:-0.3}

# The runs under Xvfb: this script again, inside xvfb-run. Each run's output
# goes to KIND-MODE[-2x].log, its exit status to KIND-MODE[-2x].status.
if [ "${KLV_EDITOR_TESTS_INSIDE:-}" = 1 ]; then
  run_host() {
    local mode=$1 kind=$2 scale=${3:-1} tag=$2-$1 file
    [ "$scale" = 1 ] || tag=$tag-${scale}x
    file=$out/$tag.bmp
    [ "$mode" = host ] && file=$out/$tag.marker
    WINELOADER=$loader timeout 600 "$loader" "$host" "--$mode" "$kind" "$build/plugins/$(dll_name "$kind")" \
      "$file" "$scale" 2>&1 | tr -d '\r' >"$out/$tag.log"
    echo "${PIPESTATUS[0]}" >"$out/$tag.status"
  }
  # Wine must be able to start the host at all (it answers a bare call with
  # its usage), or nothing below says anything about the plug-ins.
  WINELOADER=$loader timeout 300 "$loader" "$host" 2>&1 | tr -d '\r' >"$out/usage.log"
  echo "${PIPESTATUS[0]}" >"$out/usage.status"
  if grep -q '^usage: klv-wine-host' "$out/usage.log"; then
    for kind in "${kinds[@]}"; do
      [ -f "$build/plugins/$(dll_name "$kind")" ] || continue
      run_host editor "$kind"
      run_host mouse "$kind"
      run_host host "$kind"
    done
    "$wineserver" -w
    # On a display of 192 dpi the DPI-aware test host's editors draw at 2.
    export WINEPREFIX=$dpi_prefix
    for kind in clampora tonvela; do
      [ -f "$build/plugins/$(dll_name "$kind")" ] || continue
      run_host editor "$kind" 2
      run_host mouse "$kind" 2
      run_host host "$kind" 2
    done
  fi
  # Whatever Wine still runs for this prefix ends before the display goes.
  "$wineserver" -w
  exit 0
fi

for tool in "$loader" "$wineserver" "$host" "$snapshot"; do
  [ -x "$tool" ] || [ -f "$tool" ] || cannot_run "$tool is missing"
done
command -v xvfb-run >/dev/null || cannot_run "xvfb-run is missing (package xvfb)"
xdotool=$(command -v xdotool) || cannot_run "xdotool is missing (package xdotool)"
export KLV_XDOTOOL=$xdotool
dlls=0
for kind in "${kinds[@]}"; do [ -f "$build/plugins/$(dll_name "$kind")" ] && dlls=$((dlls + 1)); done
[ "$dlls" -gt 0 ] || cannot_run "no plug-in DLLs in $build/plugins"

started=$(date +%s)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "-- making the Wine prefix $WINEPREFIX"
  WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 wineboot -i >"$build/wineboot.log" 2>&1
  "$wineserver" -w
  [ -f "$WINEPREFIX/system.reg" ] || cannot_run "wineboot could not make $WINEPREFIX (see $build/wineboot.log)"
fi

if [ ! -f "$dpi_prefix/user.reg" ] || ! grep -qi '"LogPixels"=dword:000000c0' "$dpi_prefix/user.reg"; then
  rm -rf "$dpi_prefix"
  cp -a "$WINEPREFIX" "$dpi_prefix" || cannot_run "cannot copy $WINEPREFIX to $dpi_prefix"
  WINEPREFIX=$dpi_prefix WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' \
    /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
  WINEPREFIX=$dpi_prefix "$wineserver" -w
  grep -qi '"LogPixels"=dword:000000c0' "$dpi_prefix/user.reg" || cannot_run "could not set 192 dpi in $dpi_prefix"
fi

rm -rf "$out"
mkdir -p "$out" || cannot_run "cannot make $out"
KLV_EDITOR_TESTS_INSIDE=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@" >"$out/xvfb.log" 2>&1
[ -f "$out/usage.status" ] || cannot_run "Xvfb did not start: $(tail -n 1 "$out/xvfb.log")"
grep -q '^usage: klv-wine-host' "$out/usage.log" ||
  cannot_run "Wine ($loader) cannot start $host: $(tail -n 1 "$out/usage.log")"

# One run's result, appended to $line; failures and their reasons collect
# in $problems, tools that could not run in $broken.
problems=()
broken=()
checks=0
summary() {
  local kind=$1 mode=$2 log=$out/$1-$2.log status counts
  status=$(cat "${log%.log}.status" 2>/dev/null || echo missing)
  counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
  if [ "$status" = 3 ]; then
    broken+=("$kind: $(grep -m 1 'pointer cannot be driven' "$log" | sed 's/^klv-wine-host: //')")
    line+=" $mode: pointer not driven"
    return
  fi
  [ -n "$counts" ] && checks=$((checks + ${counts%% passed*}))
  if [ "$status" = 0 ] && [[ "$counts" = *" 0 failed" ]]; then
    line+=" $mode ${counts%%,*},"
    return
  fi
  grep '^FAIL' "$log" | sed "s/^/   /"
  if [ -z "$counts" ]; then
    problems+=("$kind $mode ended without a result (exit status $status)")
    tail -n 5 "$log" | sed "s/^/   /"
  else
    problems+=("$kind $mode: ${counts#*, }")
  fi
  line+=" $mode $counts,"
}

pictures=0
for variant in "${kinds[@]}" clampora@2x tonvela@2x; do
  kind=${variant%@*}
  suffix=""
  [ "$variant" = "$kind" ] || suffix=-${variant#*@}
  [ -f "$build/plugins/$(dll_name "$kind")" ] || continue
  line="-- $bits-bit $kind${suffix:+ at 192 dpi}:"
  summary "$kind" "editor$suffix"
  summary "$kind" "mouse$suffix"
  summary "$kind" "host$suffix"
  # The screenshot after the mouse, against klv-snapshot's picture of the
  # same state (at the same scale): bitmaps identical, text displays left out.
  shot=$out/$kind-mouse$suffix.bmp
  read -r -a arguments <<<"$(sed -n 's/^snapshot arguments: //p' "$out/$kind-mouse$suffix.log")"
  if [ ${#arguments[@]} -gt 0 ] && [ -f "$shot" ]; then
    pictures=$((pictures + 1))
    "$snapshot" "${arguments[@]}" "$out/$kind-reference$suffix.png" >/dev/null 2>&1
    picture=$("$snapshot" --compare --except-text "${arguments[@]}" "$shot" 2>&1)
    status=$?
    case $status in
      0) ;;
      1) problems+=("$kind: the screenshot differs from klv-snapshot's picture") ;;
      *) broken+=("$kind: klv-snapshot could not compare (exit status $status): $picture") ;;
    esac
    line+=" picture: ${picture#"$shot": }"
  fi
  echo "$line"
done

elapsed=$(($(date +%s) - started))
joined() { printf '%s; ' "$@" | sed 's/; $//'; }
if [ ${#problems[@]} -gt 0 ]; then
  [ ${#broken[@]} -gt 0 ] && problems+=("also, tools could not run: $(joined "${broken[@]}")")
  echo "run-editor-tests: FAILED $bits-bit: $(joined "${problems[@]}") (${elapsed}s)"
  exit 1
fi
[ ${#broken[@]} -gt 0 ] && cannot_run "$bits-bit: $(joined "${broken[@]}") (${elapsed}s)"
echo "run-editor-tests: $bits-bit passed: $dlls DLLs (the stereo ones also at 192 dpi), $checks checks and $pictures pictures (${elapsed}s)"
