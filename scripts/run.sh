#!/usr/bin/env bash
# The run command: installs what is missing, builds, and starts Kestrova.
#
#   scripts/run.sh [VIDEO]
#
# The program reads its command line as switches ("/o=FILE" opens a file; a
# word without a prefix is ignored, and an absolute path, starting with "/",
# would read as an unknown switch), so the video is handed on as "/o=" and
# its absolute path. Without a video, one of the generated test clips opens
# (made first when missing). Without a display the program runs offscreen.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KESTROVA_BUILD_DIR:-$root/build}"

video=""
if [ $# -gt 0 ]; then
  if [ ! -f "$1" ]; then
    echo "run.sh: no such video: $1" >&2
    exit 1
  fi
  video="$(realpath -- "$1")"
  shift
fi

bash "$root/scripts/deps.sh"
KESTROVA_BUILD_DIR="$build" bash "$root/scripts/build.sh"

if [ -z "$video" ]; then
  bash "$root/tests/media/make-clips.sh" "$build/clips"
  video="$build/clips/dv_pal.avi"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
fi
exec "$build/app/kestrova" "/o=$video" "$@"
