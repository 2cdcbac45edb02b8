#!/usr/bin/env bash
# Sets up a Debian machine and runs every test tier:
#   1. native build (warnings as errors, benchmarks compiled), unit, binary
#      and renderer tests (CTest)
#   2. the same tests built with AddressSanitizer + UndefinedBehaviorSanitizer
#   3. 32- and 64-bit Windows DLLs cross-compiled and tested under Wine
#   4. the effect fuzzers (libFuzzer, clang, ASan + UBSan), about a minute
#   5. formatting check
# Ends with "Summary: N passed, N failed" (one line per step).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
fuzz_seconds=${KLV_FUZZ_SECONDS:-15}

bash scripts/setup.sh || { echo "setup failed"; exit 1; }

passed=0
failed=0
failures=()
step() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "!! $name failed"
  fi
}

configure_build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$@" >/dev/null &&
    cmake --build "$dir" -j "$jobs"
}

native() {
  configure_build build -DKLV_BENCH=ON && ctest --test-dir build -j "$jobs" --output-on-failure
}

sanitized() {
  configure_build build-asan -DKLV_SANITIZE=address,undefined &&
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-asan -j "$jobs" --output-on-failure
}

wine_tests() {
  export WINEPREFIX=${WINEPREFIX:-$root/build-wine-prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wineboot -i >/dev/null 2>&1 || true
  local ok=0 bits dir args kind name
  for bits in 32 64; do
    dir=build-win$bits
    configure_build "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw$bits.cmake" || return 1
    check_dlls "$dir" "$bits" || ok=1
    args=()
    for kind in clampora clampora-mono tonvela tonvela-mono; do
      name=$(dll_name "$kind")
      [ -f "$dir/plugins/$name" ] && args+=("$kind" "$dir/plugins/$name")
    done
    echo "-- Wine, $bits-bit: ${args[*]}"
    timeout 900 wine "$dir/bin/klv-wine-host.exe" "${args[@]}" | tr -d '\r' | tail -n 20 || ok=1
    # The same audio, bit for bit, as the Linux build.
    for kind in clampora clampora-mono tonvela tonvela-mono; do
      name=$(dll_name "$kind")
      [ -f "$dir/plugins/$name" ] || continue
      build/bin/klv-conformance --digest "build/plugins/${name%.dll}.so" > "$dir/digest-linux-$kind.txt"
      timeout 900 wine "$dir/bin/klv-wine-host.exe" --digest "$dir/plugins/$name" | tr -d '\r' > "$dir/digest-$kind.txt"
      if cmp -s "$dir/digest-linux-$kind.txt" "$dir/digest-$kind.txt" && [ -s "$dir/digest-$kind.txt" ]; then
        echo "-- $bits-bit $kind: audio identical to Linux ($(wc -l < "$dir/digest-$kind.txt") renders)"
      else
        echo "-- $bits-bit $kind: audio differs from Linux"
        diff "$dir/digest-linux-$kind.txt" "$dir/digest-$kind.txt" | head -n 10
        ok=1
      fi
    done
  done
  wineserver -k 2>/dev/null || true
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
  local f ok=0
  for f in build-fuzz/bin/fuzz_*; do
    mkdir -p "build-fuzz/corpus/$(basename "$f")"
    echo "-- $(basename "$f"), ${fuzz_seconds}s"
    "$f" -max_total_time="$fuzz_seconds" -max_len=4096 -print_final_stats=0 \
      -artifact_prefix="build-fuzz/" "build-fuzz/corpus/$(basename "$f")" 2>&1 | tail -n 3 || ok=1
  done
  return $ok
}

formatting() {
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
}

step "native build and tests" native
step "Linux exports" check_linux_exports
step "sanitizer build and tests" sanitized
step "Windows DLLs under Wine" wine_tests
step "fuzzing" fuzzing
step "formatting" formatting

echo
[ ${#failures[@]} -gt 0 ] && printf 'failed step: %s\n' "${failures[@]}"
echo "Summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
