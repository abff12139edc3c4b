#!/usr/bin/env bash
# Builds the given test programs (default: test_platform_win) with
# ThreadSanitizer under clang and runs their tests through ctest.
# Usage: scripts/tsan.sh [TEST_PROGRAM...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KESTROVA_TSAN_BUILD_DIR:-$root/build-tsan}"
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(test_platform_win)

bash "$root/scripts/deps.sh"
launcher=()
# Paths relative to the tree, so that a fresh clone elsewhere hits the cache.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DKESTROVA_CORE_ONLY=ON -DKESTROVA_SANITIZE=thread -DKESTROVA_BENCH=OFF >/dev/null
cmake --build "$build" --target "${programs[@]}"

# Every test carries its program's name as a label.
labels="^($(IFS='|'; echo "${programs[*]}"))\$"

export QT_QPA_PLATFORM=offscreen
export KESTROVA_AUDIO=null
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4:suppressions=$root/scripts/tsan.supp"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 --no-tests=error -L "$labels"
