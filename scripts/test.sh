#!/usr/bin/env bash
# The test command: installs what is missing, builds, makes the test clips and
# runs every test. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KESTROVA_BUILD_DIR:-$root/build}"

bash "$root/scripts/deps.sh"
KESTROVA_BUILD_DIR="$build" bash "$root/scripts/build.sh"

export QT_QPA_PLATFORM=offscreen
export KESTROVA_AUDIO=null
# A private sound server with a null sink, so that the PulseAudio path is
# tested too (those tests skip without it).
pulse="$build/pulse"
eval "$(bash "$root/scripts/pulse.sh" start "$pulse")"
trap 'bash "$root/scripts/pulse.sh" stop "$pulse"' EXIT
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 --no-tests=error
