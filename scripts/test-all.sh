#!/usr/bin/env bash
# Sets up a Debian machine and runs every test tier, one step each:
#   1. native build (warnings as errors, benchmarks compiled), unit, binary,
#      renderer and editor-window tests (CTest)
#   2. the Linux libraries export exactly the two entry names
#   3. the same tests built with AddressSanitizer + UndefinedBehaviorSanitizer
#   4. the editor tests built with ThreadSanitizer, with a ten-second
#      automation storm per editor
#   5. 32- and 64-bit Windows DLLs cross-compiled, checked with objdump and
#      run under Wine, editors included (the 32-bit runs only where 32-bit
#      programs can run)
#   6. where they cannot: the 32-bit arithmetic checked under qemu
#   7. the effect fuzzers (libFuzzer, clang, ASan + UBSan), about a minute
#   8. formatting check
# Ends with what ran where, and "Summary: N passed, N failed" (", N skipped"
# where a step does not apply to this machine).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
fuzz_seconds=${KLV_FUZZ_SECONDS:-15}

# shellcheck source=platform.sh
source scripts/platform.sh
bash scripts/setup.sh || { echo "setup failed"; exit 1; }

passed=0
failed=0
skipped=0
failures=()
notes=()
times=()
step() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "!! $name failed"
  fi
  times+=("$(printf '%5d s  %s' $((SECONDS - start)) "$name")")
}
skip() {
  echo "== $1: skipped, $2"
  skipped=$((skipped + 1))
  times+=("$(printf '%7s  %s (%s)' skipped "$1" "$2")")
}

# The system's Python for the skin checks: one under root's home (pyenv)
# is out of the unprivileged test user's reach.
python_option=()
[ -x /usr/bin/python3 ] && python_option=(-DPython3_EXECUTABLE=/usr/bin/python3)

configure_build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    "${python_option[@]}" "$@" >/dev/null &&
    cmake --build "$dir" -j "$jobs"
}

# The tests run as an unprivileged user, as most people run them: some check
# what a user who may not read or write a file gets, which root never does.
# Run as root, the script makes a system user klv-tester for them and hands
# it the build folder; where that user could not reach the tree, they run as
# root and the summary says so.
as_tester() {
  local dir=$1
  shift
  if [ "$(id -u)" -ne 0 ]; then
    "$@"
    return
  fi
  if ! id -u klv-tester >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin klv-tester >/dev/null 2>&1 || true
  fi
  if id -u klv-tester >/dev/null 2>&1 && chown -R klv-tester: "$dir" &&
    runuser -u klv-tester -- test -r "$root/CMakeLists.txt" -a -w "$dir"; then
    runuser -u klv-tester -- env HOME="$root/$dir" "$@"
  else
    notes+=("$dir: the tests ran as root (no unprivileged user could reach the tree); the permission cases skipped")
    "$@"
  fi
}

# ctest with its output kept in DIR/ctest.log; the tests it skipped are
# named in the summary, so that a skip never passes for a pass.
run_ctest() {
  local dir=$1 status names
  shift
  as_tester "$dir" env "$@" ctest --test-dir "$dir" -j "$jobs" --output-on-failure 2>&1 | tee "$dir/ctest.log"
  status=${PIPESTATUS[0]}
  names=$(sed -n '/The following tests did not run:/,/^$/p' "$dir/ctest.log" | grep '(Skipped)' |
    sed -E 's/^[[:space:]]*[0-9]+ - ([^ ]+) .*/\1/' | tr '\n' ' ')
  [ -n "$names" ] && notes+=("$dir: $(wc -w <<<"$names") tests skipped: $names")
  return "$status"
}

native() {
  configure_build build -DKLV_BENCH=ON && run_ctest build
}

sanitized() {
  configure_build build-asan -DKLV_SANITIZE=address,undefined &&
    run_ctest build-asan ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
}

# The editors under an automation storm (one thread sets every parameter as
# fast as it can while the window's thread idles and draws), built with
# ThreadSanitizer: only the editor tests are built there.
thread_sanitizer() {
  cmake -S "$root" -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DKLV_SANITIZE=thread >/dev/null &&
    cmake --build build-tsan -j "$jobs" --target editor_tests &&
    KLV_STORM_MS=10000 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
      build-tsan/bin/editor_tests --gtest_brief=1
}

# Runs a Windows program under Wine with the loader of its width. Debian's
# /usr/bin/wine starts the 32-bit loader whenever wine32 is installed, also
# for 64-bit programs, which fails where 32-bit programs cannot run; so the
# 64-bit loader is called directly, and WINELOADER makes Wine's own helper
# processes use it too.
wine_loader() {
  if [ "$1" = 32 ]; then echo /usr/lib/wine/wine; else echo /usr/lib/wine/wine64; fi
}
wine_run() {
  local loader
  loader=$(wine_loader "$1")
  shift
  env WINELOADER="$loader" timeout 900 "$loader" "$@"
}

wine_prefix() {
  export WINEPREFIX=${WINEPREFIX:-$root/build-wine-prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  # Inside the prefix, which git ignores with the other build folders.
  local log=$WINEPREFIX/klv-wineboot.log
  mkdir -p "$WINEPREFIX"
  # The registry reaches the disk when the server ends: wait for it.
  if ! wine_run 64 wineboot -i >"$log" 2>&1 || ! wineserver -w >>"$log" 2>&1 || [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wineboot could not make the Wine prefix $WINEPREFIX:"
    tail -n 20 "$log"
    return 1
  fi
}

wine_tests() {
  local ok=0 bits dir args kind name out status
  for bits in 32 64; do
    dir=build-win$bits
    configure_build "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw$bits.cmake" || return 1
    # The 32-bit record layout is pinned by static assertions in this build.
    check_dlls "$dir" "$bits" || ok=1
    if [ "$bits" = 32 ] && ! can_run_32bit; then
      echo "-- 32-bit Wine runs skipped: this machine cannot run 32-bit programs (no 32-bit kernel support);"
      echo "   the 32-bit DLLs were built and checked statically, their arithmetic is checked under qemu"
      notes+=("Windows 32-bit: DLLs built and checked statically; Wine runs skipped (no 32-bit support here)")
      # Half of this step did not run: counted as a skip of its own.
      skipped=$((skipped + 1))
      times+=("$(printf '%7s  %s (%s)' skipped "32-bit DLLs under Wine" "no 32-bit support here")")
      continue
    fi
    wine_prefix || return 1
    args=()
    for kind in clampora clampora-mono tonvela tonvela-mono; do
      name=$(dll_name "$kind")
      [ -f "$dir/plugins/$name" ] && args+=("$kind" "$dir/plugins/$name")
    done
    echo "-- Wine, $bits-bit: ${args[*]}"
    out=$(wine_run "$bits" "$dir/bin/klv-wine-host.exe" "${args[@]}" 2>&1 | tr -d '\r')
    status=$?
    printf '%s\n' "$out" | tail -n 20
    if [ "$status" -ne 0 ]; then
      echo "-- $bits-bit conformance under Wine: exit status $status"
      ok=1
    fi
    # The same audio, bit for bit, as the Linux build.
    for kind in clampora clampora-mono tonvela tonvela-mono; do
      name=$(dll_name "$kind")
      [ -f "$dir/plugins/$name" ] || continue
      compare_digests "$bits-bit $kind" "build/plugins/${name%.dll}.so" \
        env WINELOADER="$(wine_loader "$bits")" timeout 900 "$(wine_loader "$bits")" \
        "$dir/bin/klv-wine-host.exe" --digest "$dir/plugins/$name" || ok=1
    done
    # The editors in real windows: checks of the window and a misbehaving
    # host, then xdotool's drags and clicks, and the screenshots.
    echo "-- Wine, $bits-bit: editors"
    bash tests/wine/run-editor-tests.sh "$bits" "$dir" build | tail -n 12 || ok=1
    notes+=("Windows $bits-bit: DLLs built, checked and run under Wine, editors included")
  done
  wineserver -k 2>/dev/null || true
  return $ok
}

# compare_digests LABEL LINUX_SO COMMAND...: COMMAND prints the digests of
# the same renders; they must equal the Linux library's. A command that
# fails or prints nothing is reported as such, not as an audio difference.
compare_digests() {
  local label=$1 linux=$2 file status
  shift 2
  file="$root/build/digest-${label// /-}"
  build/bin/klv-conformance --digest "$linux" >"$file.linux" || {
    echo "-- $label: the Linux digests could not be made"
    return 1
  }
  "$@" 2>"$file.err" | tr -d '\r' >"$file.txt"
  status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ] || [ ! -s "$file.txt" ]; then
    echo "-- $label: the digest run failed (exit status $status, $(wc -l <"$file.txt") lines); its errors:"
    tail -n 10 "$file.err"
    return 1
  fi
  if cmp -s "$file.linux" "$file.txt"; then
    echo "-- $label: audio identical to Linux ($(wc -l <"$file.txt") renders)"
  else
    echo "-- $label: audio differs from Linux"
    diff "$file.linux" "$file.txt" | head -n 10
    return 1
  fi
}

# Where 32-bit programs cannot run, the 32-bit arithmetic (same compiler
# back end, same SSE2 flags as the 32-bit DLLs) is checked by a 32-bit
# Linux build of the plug-ins and the digest tool, run under qemu's
# user-mode emulation, which needs no kernel support.
linux32_arithmetic() {
  configure_build build-linux32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-linux32.cmake" \
    -DKLV_TESTS=OFF -DKLV_DIGEST_TOOL=ON -DKLV_HEADLESS=ON || return 1
  local ok=0 kind name
  for kind in clampora clampora-mono tonvela tonvela-mono; do
    name=$(dll_name "$kind")
    name=${name%.dll}.so
    compare_digests "32-bit-linux $kind" "build/plugins/$name" \
      qemu-i386-static build-linux32/bin/klv-conformance --digest "build-linux32/plugins/$name" || ok=1
  done
  notes+=("32-bit arithmetic: a 32-bit Linux build run under qemu-i386-static, digests compared with Linux")
  return $ok
}

dll_name() {
  case $1 in
    clampora) echo KLV_Clampora.dll ;;
    clampora-mono) echo KLV_Clampora_mono.dll ;;
    tonvela) echo KLV_Tonvela.dll ;;
    tonvela-mono) echo KLV_Tonvela_mono.dll ;;
  esac
}

# Machine type, exports and imports of every DLL.
check_dlls() {
  local dir=$1 bits=$2 dll magic bad=0 info exports imports i
  [ "$bits" = 32 ] && magic=010b || magic=020b
  for dll in "$dir"/plugins/*.dll; do
    info=$(objdump -p "$dll")
    [[ "$info" =~ Magic[[:space:]]+$magic ]] || { echo "$dll: wrong machine type"; bad=1; }
    exports=$(printf '%s\n' "$info" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[[:space:]]*\[ *[0-9]+\]/ {print $NF} on && /^$/ {on=0}' | sort | tr '\n' ' ')
    [ "$exports" = "VSTPluginMain main " ] || { echo "$dll: exports '$exports'"; bad=1; }
    imports=$(printf '%s\n' "$info" | awk '/DLL Name:/ {print tolower($3)}' | sort -u | tr '\n' ' ')
    for i in $imports; do
      case $i in
        kernel32.dll|user32.dll|gdi32.dll|ole32.dll|shell32.dll|msvcrt.dll|advapi32.dll|comdlg32.dll|msimg32.dll|oleaut32.dll|uuid.dll) ;;
        *) echo "$dll: imports $i"; bad=1 ;;
      esac
    done
    echo "-- $dll: PE $magic, exports $exports, imports $imports"
  done
  return $bad
}

# Exactly the two entry names leave each Linux library, and nothing is undefined.
check_linux_exports() {
  local so bad=0
  for so in build/plugins/*.so; do
    exports=$(nm -D --defined-only "$so" | awk '$2 ~ /[TtWi]/ {print $3}' | sort | tr '\n' ' ')
    [ "$exports" = "VSTPluginMain main " ] || { echo "$so: exports '$exports'"; bad=1; }
  done
  return $bad
}

fuzzing() {
  CC=clang CXX=clang++ configure_build build-fuzz -DKLV_FUZZ=ON -DKLV_TESTS=OFF -DKLV_SANITIZE=address,undefined || return 1
  local f ok=0 log
  for f in build-fuzz/bin/fuzz_*; do
    mkdir -p "build-fuzz/corpus/$(basename "$f")"
    log=build-fuzz/$(basename "$f").log
    # One line per fuzzer: libFuzzer's last status line, or its report.
    if "$f" -max_total_time="$fuzz_seconds" -max_len=4096 -print_final_stats=0 \
      -artifact_prefix="build-fuzz/" "build-fuzz/corpus/$(basename "$f")" >"$log" 2>&1; then
      echo "-- $(basename "$f"), ${fuzz_seconds}s: $(grep -E '^#[0-9]+' "$log" | tail -n 1)"
    else
      echo "-- $(basename "$f"): failed; see $log"
      grep -E 'ERROR|SUMMARY|artifact' "$log" | head -n 20
      ok=1
    fi
  done
  return $ok
}

formatting() {
  local files
  files=$(git ls-files '*.cpp' '*.h') || { echo "git could not list the files"; return 1; }
  printf '%s\n' "$files" | xargs clang-format --dry-run --Werror
}

step "native build and tests" native
step "Linux exports" check_linux_exports
step "sanitizer build and tests" sanitized
step "editors under ThreadSanitizer" thread_sanitizer
step "Windows DLLs under Wine" wine_tests
if can_run_32bit; then
  skip "32-bit arithmetic under qemu" "32-bit programs run here: the 32-bit DLLs run under Wine instead"
else
  step "32-bit arithmetic under qemu" linux32_arithmetic
fi
step "fuzzing" fuzzing
step "formatting" formatting

echo
printf '%s\n' "${times[@]}"
printf '%s\n' "${notes[@]}"
[ ${#failures[@]} -gt 0 ] && printf 'failed step: %s\n' "${failures[@]}"
if [ "$skipped" -gt 0 ]; then
  echo "Summary: $passed passed, $failed failed, $skipped skipped"
else
  echo "Summary: $passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
