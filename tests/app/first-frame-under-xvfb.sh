#!/usr/bin/env bash
# The real program on a virtual X server opens the clip given on its command
# line and shows the clip's first frame: the frame number is read back from
# a screenshot of the whole screen.
#
#   first-frame-under-xvfb.sh PROGRAM SCREEN_FRAME CLIP
#
# PROGRAM is started with "/o=" and the clip's absolute path; SCREEN_FRAME
# reads the frame number from a screenshot. Without Xvfb or ImageMagick's
# import the test is skipped (exit 77). A failed run leaves its last
# screenshot as first-frame-under-xvfb.png in the current folder.
set -euo pipefail
program="${1:?usage: first-frame-under-xvfb.sh PROGRAM SCREEN_FRAME CLIP}"
reader="${2:?usage: first-frame-under-xvfb.sh PROGRAM SCREEN_FRAME CLIP}"
clip="$(realpath -- "${3:?usage: first-frame-under-xvfb.sh PROGRAM SCREEN_FRAME CLIP}")"

for tool in Xvfb import; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/deps.sh installs xvfb and imagemagick)"
    exit 77
  fi
done

work="$(mktemp -d)"
xvfb=""
app=""
# Ends a process this script started: politely, then for good.
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
  [ -n "$xvfb" ] && stop "$xvfb"
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display and writes its number once it listens.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start:"
  cat "$work/xvfb.log"
  exit 1
fi
export DISPLAY=":$(cat "$work/display")"

# A settings store, home and sound of the test's own; a real X window.
mkdir -p "$work/home" "$work/config"
KESTROVA_REGISTRY="$work/registry.reg" HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work" KESTROVA_AUDIO=null QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY= \
  "$program" "/o=$clip" >"$work/program.log" 2>&1 &
app=$!

# The window comes up within a second; a loaded machine gets more.
frame=-1
deadline=$((SECONDS + 15))
while [ "$SECONDS" -lt "$deadline" ]; do
  sleep 0.1
  if ! kill -0 "$app" 2>/dev/null; then
    echo "The program ended early:"
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
