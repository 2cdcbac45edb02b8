#!/usr/bin/env bash
# Speed of klv-render end to end, against sox copying the same file (the
# floor: reading and writing a WAV and nothing else):
#   - a 5-minute 44.1 kHz stereo 24-bit WAV through KLV Clampora "mix1",
#     also with the loudness figures (-L);
#   - a chain of KLV Tonvela "hot tape3" into KLV Clampora "mix1", against
#     each plug-in rendered alone and, where klv-bench-host is built
#     (-DKLV_BENCH=ON), against the plug-ins' own processing time;
#   - a batch of 20 such files with -j 1 and -j 2.
# Times are the median of several runs of the whole command (wall clock).
#   bench/render-bench.sh [BUILD_DIR]     (default: build)
# Environment: KLV_BENCH_RUNS (default 5), KLV_BENCH_BATCH (default 20),
# KLV_BENCH_DIR (work folder, default a new one under $TMPDIR or /tmp;
# it needs about 3.5 GB while the batch runs).
set -euo pipefail
build=${1:-build}
render=$build/bin/klv-render
benchhost=$build/bin/klv-bench-host
runs=${KLV_BENCH_RUNS:-5}
batch=${KLV_BENCH_BATCH:-20}
seconds=300
for tool in sox "$render"; do
  command -v "$tool" >/dev/null || { echo "render-bench: $tool not found (apt-get install sox; build klv-render)"; exit 1; }
done
clampora=$build/plugins/KLV_Clampora.so
tonvela=$build/plugins/KLV_Tonvela.so
[ -f "$clampora" ] && [ -f "$tonvela" ] || { echo "render-bench: build the plug-ins in $build first"; exit 1; }

work=${KLV_BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/klv-render-bench-XXXXXX")}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
in=$work/in.wav
# Pink noise with a slow level swing, the same on every run (-R).
sox -R -n -r 44100 -c 2 -b 24 "$in" synth $seconds pinknoise tremolo 0.1 60 vol 0.5
frames=$((seconds * 44100))

now() { date +%s.%N; }
# median_time COMMAND...: the median wall time of $runs runs; the output
# files are removed before each run.
median_time() {
  local times=() start end
  for _ in $(seq "$runs"); do
    rm -rf "$work/out.wav" "$work/out.sox.wav" "$work/batch-out"
    sync
    start=$(now)
    "$@" >/dev/null
    end=$(now)
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN {print b - a}')")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{t[NR] = $1} END {printf "%.3f\n", t[int((NR + 1) / 2)]}'
}
speed() { awk -v t="$1" -v s="$2" 'BEGIN {printf "%.0f", s / t}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

echo "klv-render end to end: $seconds s of 44.1 kHz stereo 24-bit WAV, median of $runs runs"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo
floor=$(median_time sox "$in" "$work/out.sox.wav")
mix1=$(median_time "$render" -q -p mix1 "$clampora" "$in" "$work/out.wav")
loud=$(median_time "$render" -q -L -p mix1 "$clampora" "$in" "$work/out.wav")
tape=$(median_time "$render" -q -p "hot tape3" "$tonvela" "$in" "$work/out.wav")
chain=$(median_time "$render" -q -p "hot tape3" "$tonvela" + -p mix1 "$clampora" "$in" "$work/out.wav")

printf '| %-52s | %7s | %11s |\n' "what" "seconds" "x real time"
printf '|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..54})" "---------" "-------------"
row() { printf '| %-52s | %7s | %11s |\n' "$1" "$2" "$(speed "$2" $seconds)"; }
row "sox copy of the file (the floor)" "$floor"
row "KLV Clampora \"mix1\"" "$mix1"
row "KLV Clampora \"mix1\" with loudness (-L)" "$loud"
row "KLV Tonvela \"hot tape3\"" "$tape"
row "chain: Tonvela \"hot tape3\" + Clampora \"mix1\"" "$chain"
echo
echo "chain against the two renders one after the other: $(ratio "$chain" "$(awk -v a="$mix1" -v b="$tape" 'BEGIN {print a + b}')")"

if [ -x "$benchhost" ]; then
  # The plug-ins' own processing of the same number of frames, with no
  # file at all: what a chain has to cost at least.
  table=$("$benchhost" --seconds 10 --rounds 7 "$clampora@mix1" "$tonvela@hot tape3")
  ns_clampora=$(printf '%s\n' "$table" | awk '/KLV_Clampora.so@mix1/ {print $(NF-1)}')
  ns_tonvela=$(printf '%s\n' "$table" | awk '/KLV_Tonvela.so@hot tape3/ {print $(NF-1)}')
  plugins=$(awk -v a="$ns_clampora" -v b="$ns_tonvela" -v n=$frames 'BEGIN {print (a + b) * n / 1e9}')
  tonvela_alone=$(awk -v b="$ns_tonvela" -v n=$frames 'BEGIN {print b * n / 1e9}')
  added=$(awk -v a="$chain" -v b="$mix1" 'BEGIN {print a - b}')
  echo "plug-ins alone (klv-bench-host): Clampora $ns_clampora ns, Tonvela $ns_tonvela ns per frame;"
  echo "  both for $frames frames: $(printf '%.3f' "$plugins") s; the chain end to end: $chain s" \
    "($(ratio "$chain" "$plugins") of the plug-ins' sum, files included)"
  echo "  Tonvela added to Clampora's render: $(printf '%.3f' "$added") s;" \
    "Tonvela's own processing: $(printf '%.3f' "$tonvela_alone") s ($(ratio "$added" "$tonvela_alone") of it)"
fi

echo
echo "batch of $batch such files (copies), through KLV Clampora \"mix1\" into a folder:"
mkdir -p "$work/batch"
for i in $(seq -w 1 "$batch"); do cp "$in" "$work/batch/take$i.wav"; done
total=$((seconds * batch))
for jobs in 1 2; do
  t=$(median_time "$render" -q -j "$jobs" -o "$work/batch-out" -p mix1 "$clampora" "$work/batch")
  eval "batch_$jobs=$t"
  echo "  -j $jobs: $t s, $(speed "$t" $total)x real time"
done
echo "  -j 2 against -j 1: $(ratio "$batch_1" "$batch_2") times the speed"
