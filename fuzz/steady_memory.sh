#!/usr/bin/env bash
# Runs a fuzz target on one input a few times and many times, and fails when
# the sanitizer's store of allocation stacks grows with the runs: each run of
# the same input must leave nothing behind.
#   steady_memory.sh TARGET INPUT
set -euo pipefail
target="${1:?usage: steady_memory.sh TARGET INPUT}"
input="${2:?usage: steady_memory.sh TARGET INPUT}"

# Allocations are unwound from the unwind tables, whatever the caller set:
# the fast unwinder follows frame pointers, which Qt's libraries do not keep,
# and makes up a new stack for the same allocation from one run to the next,
# so a target whose memory is steady would seem to grow.
stacks() {
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0:atexit=1:print_stats=1" \
    "$target" -runs="$1" "$input" 2>&1 |
    sed -n 's/.*StackDepot: \([0-9]*\) ids.*/\1/p'
}
few="$(stacks 100)"
many="$(stacks 1100)"
if [[ -z "$few" || -z "$many" ]]; then
  echo "steady_memory.sh: $target printed no sanitizer statistics" >&2
  exit 1
fi
echo "stacks recorded: $few after 100 runs, $many after 1100"
# A few new stacks may come from paths the first runs did not take; a
# thousand runs of the same input add none each.
if ((many - few > 100)); then
  echo "steady_memory.sh: $target recorded $((many - few)) new stacks in 1000 runs of one input" >&2
  exit 1
fi
