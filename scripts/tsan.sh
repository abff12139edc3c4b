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

# ctest names tests after the GoogleTest cases, not after their program: pick
# the names of the tests whose command is one of the programs.
pick="$build/pick-tests.cmake"
cat > "$pick" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
file(READ "${JSON}" json)
string(JSON count LENGTH "${json}" tests)
set(names "")
if(count GREATER 0)
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON command ERROR_VARIABLE missing GET "${json}" tests ${i} command 0)
    if(NOT missing)
      get_filename_component(program "${command}" NAME)
      if(program IN_LIST PROGRAMS)
        string(JSON name GET "${json}" tests ${i} name)
        # Names of parameterised cases hold "GetParam() = ...": every
        # character a regular expression reads is taken as it stands.
        string(REGEX REPLACE "([][.*+?^$(){}|\\])" "\\\\\\1" name "${name}")
        list(APPEND names "${name}")
      endif()
    endif()
  endforeach()
endif()
list(JOIN names "|" regex)
if(regex)
  set(regex "^(${regex})$")
endif()
file(WRITE "${OUT}" "${regex}")
CMAKE
ctest --test-dir "$build" --show-only=json-v1 > "$build/tests.json"
cmake -DJSON="$build/tests.json" -DOUT="$build/tests.regex" -DPROGRAMS="$(IFS=';'; echo "${programs[*]}")" -P "$pick"
regex="$(cat "$build/tests.regex")"
if [ -z "$regex" ]; then
  echo "tsan.sh: no tests found in ${programs[*]}" >&2
  exit 1
fi

export QT_QPA_PLATFORM=offscreen
export KESTROVA_AUDIO=null
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4:suppressions=$root/scripts/tsan.supp"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 -R "$regex"
