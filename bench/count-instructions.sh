#!/usr/bin/env bash
# Instructions of both sides of the filters' Seek and Decode benchmarks,
# counted by callgrind over every thread of the process: the figure that a
# loaded machine does not move. Prints, per benchmark and clip, each side's
# instructions per round and the graph's divided by FFmpeg's.
# Usage: bench/count-instructions.sh [benchmark filter]   (build dir: $KESTROVA_BUILD_DIR or build/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KESTROVA_BUILD_DIR:-$root/build}"
filter="${1:-BM_Seek|BM_Decode}"
command -v valgrind >/dev/null || { echo "valgrind is missing: bash scripts/deps.sh" >&2; exit 1; }
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
QT_QPA_PLATFORM=offscreen KESTROVA_AUDIO=null valgrind --tool=callgrind --callgrind-out-file="$out/run" \
  --dump-instr=no --dump-line=no --compress-strings=no \
  "$build/bench/bench_platform_filters" --benchmark_filter="$filter" >"$out/bench" 2>"$out/log" ||
  { cat "$out/log" >&2; exit 1; }
printf "%-8s %-12s %16s %16s %8s\n" bench clip "graph Ir/round" "FFmpeg Ir/round" ratio
# Each dump is one side of one round: "<benchmark> <side> <clip>" and its total.
for f in "$out"/run.*; do
  awk '/^desc: Trigger: Client Request: /{sub(/^desc: Trigger: Client Request: /, ""); label=$0}
       /^totals: /{print label, $2}' "$f"
done | awk '
  { key = $1 " " $3; side = $2; if (side == "graph") { g[key] += $4; n[key]++ } else { f[key] += $4; other[key] = side } }
  END {
    for (k in g) {
      split(k, part, " ")
      printf "%-8s %-12s %16.0f %16.0f %8.3f\n", part[1], part[2], g[k] / n[k], f[k] / n[k], g[k] / f[k]
    }
  }' | sort
