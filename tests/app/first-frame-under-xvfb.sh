#!/usr/bin/env bash
# The run command on a virtual X server (run through
# tests/scripts/under-xvfb.sh): `scripts/run.sh CLIP` shows the window with
# the clip's first frame, whose number is read back from a screenshot of the
# whole screen.
#
#   first-frame-under-xvfb.sh SOURCE_DIR BUILD_DIR SCREEN_FRAME CLIP
#
# The run command works on BUILD_DIR, built already; SCREEN_FRAME reads the
# frame number from a screenshot. Without ImageMagick's import the test is
# skipped (exit 77). A failed run leaves its last screenshot as
# first-frame-under-xvfb.png in the current folder.
set -euo pipefail
usage="usage: first-frame-under-xvfb.sh SOURCE_DIR BUILD_DIR SCREEN_FRAME CLIP"
source_dir="${1:?$usage}"
build_dir="${2:?$usage}"
reader="${3:?$usage}"
clip="$(realpath -- "${4:?$usage}")"

if ! command -v import >/dev/null; then
  echo "SKIPPED: import is not installed (scripts/deps.sh installs imagemagick)"
  exit 77
fi
[ -n "${DISPLAY:-}" ] || { echo "first-frame-under-xvfb.sh runs under tests/scripts/under-xvfb.sh" >&2; exit 2; }

work="$(mktemp -d)"
app=""
# Ends the program: politely, then for good.
stop() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$1" 2>/dev/null || true
}
cleanup() {
  [ -n "$app" ] && stop "$app"
  rm -rf "$work"
}
trap cleanup EXIT

# The run command ends by becoming the program.
KESTROVA_BUILD_DIR="$build_dir" bash "$source_dir/scripts/run.sh" "$clip" >"$work/program.log" 2>&1 &
app=$!

# The window comes up within a few seconds; a loaded machine gets more.
frame=-1
deadline=$((SECONDS + 30))
while [ "$SECONDS" -lt "$deadline" ]; do
  sleep 0.1
  if ! kill -0 "$app" 2>/dev/null; then
    echo "The run command ended early:"
    cat "$work/program.log"
    exit 1
  fi
  import -window root "$work/screen.png" 2>/dev/null || continue
  frame="$("$reader" "$work/screen.png")"
  [ "$frame" = 0 ] && break
done

if [ "$frame" != 0 ]; then
  cp "$work/screen.png" first-frame-under-xvfb.png 2>/dev/null || true
  echo "The screen shows frame $frame, not the first frame, of $clip (see first-frame-under-xvfb.png)"
  cat "$work/program.log"
  exit 1
fi
echo "The window shows the first frame of $clip"
