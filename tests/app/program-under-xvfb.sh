#!/usr/bin/env bash
# The program as a user starts it, on a virtual X server (run through
# tests/scripts/under-xvfb.sh, which gives it a fresh home and registry),
# driven by real key presses:
#   1. a fresh home: "/o=CLIP /g /quit" grabs into the pictures folder, asks
#      where to keep the preferences and ends once that is answered;
#   2. with the preferences stored: "/o=OTHER /addi=1 /qual=75 /g /quit"
#      opens OTHER (not the file of the last run), stores 75 and grabs once
#      (the number restarts at 1 with the file), without a question; the
#      same again on the offscreen platform;
#   3. F12 opens the script window; quitting the main window ends the
#      program although the script window is still open.
#
#   program-under-xvfb.sh PROGRAM CLIP OTHER
set -euo pipefail
usage="usage: program-under-xvfb.sh PROGRAM CLIP OTHER"
program="${1:?$usage}"
clip="$(realpath -- "${2:?$usage}")"
other="$(realpath -- "${3:?$usage}")"
[ -n "${DISPLAY:-}" ] || { echo "program-under-xvfb.sh runs under tests/scripts/under-xvfb.sh" >&2; exit 2; }

log="$(mktemp)"
pid=""
trap '[ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; rm -f "$log"' EXIT

fail() {
  echo "FAILED: $*"
  echo "--- program output"
  cat "$log"
  exit 1
}
start() {
  "$program" "$@" >"$log" 2>&1 &
  pid=$!
}
# The id of the visible window whose title holds $1, within $2 seconds.
window() {
  local deadline=$((SECONDS + $2)) id
  while [ "$SECONDS" -lt "$deadline" ]; do
    kill -0 "$pid" 2>/dev/null || return 1
    id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)" || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Real key presses to window $1 (given the keyboard focus first).
press() {
  local id="$1"
  shift
  xdotool windowfocus --sync "$id"
  sleep 0.3
  xdotool key --delay 100 "$@"
}
# Whether the program ended by itself within $1 seconds, with status 0.
ends_within() {
  local deadline=$((SECONDS + $1))
  while [ "$SECONDS" -lt "$deadline" ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      local status=$?
      pid=""
      return "$status"
    fi
    sleep 0.1
  done
  return 1
}
no_warnings() {
  if grep -E 'QAction::event|Ambiguous|QWidget::|QObject::|QPainter::|QLayout|qt\.[a-z.]+:|Warning:' "$log"; then
    fail "Qt printed warnings ($1)"
  fi
}
registry="${KESTROVA_REGISTRY:?}"
# The value `name` under the main window's key of the stored registry.
stored() {
  grep -i -m1 "^\"$1\"=" "$registry" | sed -E 's/^"[^"]*"=(dword:)?"?//; s/"$//'
}

# 1. A fresh home with a pictures folder, as a desktop session has it.
pictures="$HOME/Pictures"
mkdir -p "$pictures"
start "/o=$clip" /g /quit
question="$(window "Saving the preferences" 30)" || fail "no question where to save the preferences"
press "$question" Return
ends_within 20 || fail "the program did not end after /quit and the answer"
ls "$pictures"/Kestrova_* >/dev/null 2>&1 || fail "no picture in $pictures: $(ls -A "$pictures" "$HOME")"
[ -f "$registry" ] || fail "the answer Normal stored nothing in the registry"
[ "$(stored DossierSave)" = "$pictures" ] || [ "$(stored DossierSave)" = "$pictures/" ] || fail "the picture folder stored is <$(stored DossierSave)>"
[ -n "$(stored waLAVFolder)" ] || fail "the private filter folder is stored empty"
grep -q "Impossible to install" "$log" && fail "a private filter message on the way"
no_warnings "first run"

# 2. The stored preferences load first; the command line acts on them, once.
for platform in xcb offscreen; do
  rm -f "$pictures/Kestrova_001.bmp"
  QT_QPA_PLATFORM=$platform start "/o=$other" /addi=1 /qual=75 /g /quit
  ends_within 30 || fail "the run on $platform did not end by itself (a question was asked?)"
  [ "$(stored JpegCompressionQuality)" = 0000004b ] ||
    fail "the quality stored on $platform is <$(stored JpegCompressionQuality)>, not 75 (hex 4b)"
  [ "$(stored CurrentFileName)" = "$other" ] || fail "the file open at the end is <$(stored CurrentFileName)>, not $other"
  [ "$(stored RecentFilename1)" = "$other" ] || fail "the last file opened is <$(stored RecentFilename1)>, not $other"
  [ -f "$pictures/Kestrova_001.bmp" ] || fail "no picture 001 on $platform: $(ls "$pictures")"
  [ "$(stored NextNum)" = 00000002 ] || fail "one grab on $platform left the next number at $(stored NextNum), not 2"
  no_warnings "second run on $platform"
done

# 3. The script window stays open while the main window quits.
start "/o=$clip"
main="$(window "by Morvek" 30)" || fail "no main window"
sleep 1
press "$main" F12
scripts="$(window "Scripts for" 10)" || fail "F12 opened no script window"
# The desktop shows the program's icon for each of its windows.
for id in "$main" "$scripts"; do
  # Read whole: a reader that stops early would cut xprop off (pipefail).
  icon="$(xprop -id "$id" _NET_WM_ICON)" || fail "xprop could not read window $id"
  [[ "$icon" == *=* ]] || fail "window $(xdotool getwindowname "$id") has no icon: $icon"
done
press "$main" alt+F4
ends_within 20 || fail "the program stayed alive behind its script window"
no_warnings "script window"
echo "program-under-xvfb: 4 passed, 0 failed"
