#!/usr/bin/env bash
# Instructions of both sides of the benchmarks that take turns (the filters'
# Seek and Decode, the navigation's steps, seeks and opening), counted by
# callgrind over every thread of the process: the figure that a loaded
# machine does not move. Prints, per benchmark and clip, each side's
# instructions per round and the program's side divided by FFmpeg's.
# Usage: bench/count-instructions.sh [program] [benchmark filter]
#   program: bench_platform_filters (default) or bench_nav
#   (build dir: $KESTROVA_BUILD_DIR or build/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KESTROVA_BUILD_DIR:-$root/build}"
program="${1:-bench_platform_filters}"
case "$program" in
bench_nav) default_filter="." ;;
*) default_filter="BM_Seek|BM_Decode" ;;
esac
filter="${2:-$default_filter}"
command -v valgrind >/dev/null || { echo "valgrind is missing: bash scripts/deps.sh" >&2; exit 1; }
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
QT_QPA_PLATFORM=offscreen KESTROVA_AUDIO=null valgrind --tool=callgrind --callgrind-out-file="$out/run" \
  --dump-instr=no --dump-line=no --compress-strings=no \
  "$build/bench/$program" --benchmark_filter="$filter" >"$out/bench" 2>"$out/log" ||
  { cat "$out/log" >&2; exit 1; }
printf "%-22s %-12s %16s %16s %8s\n" bench clip "program Ir/round" "FFmpeg Ir/round" ratio
# Each dump is one side of one round: "<benchmark> <side> <clip>" and its
# total. FFmpeg's side is named floor or plain; the other is the program's.
for f in "$out"/run.*; do
  awk '/^desc: Trigger: Client Request: /{sub(/^desc: Trigger: Client Request: /, ""); label=$0}
       /^totals: /{print label, $2}' "$f"
done | awk '
  { key = $1 " " $3; if ($2 == "floor" || $2 == "plain") { f[key] += $4 } else { g[key] += $4; n[key]++ } }
  END {
    for (k in g) {
      split(k, part, " ")
      printf "%-22s %-12s %16.0f %16.0f %8.3f\n", part[1], part[2], g[k] / n[k], f[k] / n[k], g[k] / f[k]
    }
  }' | sort
