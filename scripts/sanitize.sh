#!/usr/bin/env bash
# Builds the libraries that need no widgets with AddressSanitizer and
# UndefinedBehaviorSanitizer under clang, runs their tests, and replays the
# fuzz corpora.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KESTROVA_SAN_BUILD_DIR:-$root/build-san}"

bash "$root/scripts/deps.sh"
CC=clang-14 CXX=clang++-14 KESTROVA_BUILD_DIR="$build" bash "$root/scripts/build.sh" \
  -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_CORE_ONLY=ON -DKESTROVA_SANITIZE=address,undefined \
  -DKESTROVA_FUZZ=ON -DKESTROVA_BENCH=OFF

export QT_QPA_PLATFORM=offscreen
export KESTROVA_AUDIO=null
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 --no-tests=error
