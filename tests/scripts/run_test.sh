#!/usr/bin/env bash
# scripts/run.sh hands the program the video as "/o=" and its absolute path,
# and without one a generated clip. The script runs in a tree of its own
# where installing, building and making clips are stand-ins and the program
# writes down the arguments it was given.
#   run_test.sh SOURCE_DIR
set -euo pipefail
source_dir="${1:?usage: run_test.sh SOURCE_DIR}"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT

mkdir -p "$tree/scripts" "$tree/tests/media" "$tree/videos/my films"
cp "$source_dir/scripts/run.sh" "$tree/scripts/run.sh"
printf '#!/usr/bin/env bash\nexit 0\n' >"$tree/scripts/deps.sh"
cat >"$tree/scripts/build.sh" <<'STUB'
#!/usr/bin/env bash
mkdir -p "$KESTROVA_BUILD_DIR/app"
printf '#!/usr/bin/env bash\nprintf "%%s\\n" "$@" >"%s/arguments"\n' "$KESTROVA_BUILD_DIR" >"$KESTROVA_BUILD_DIR/app/kestrova"
chmod +x "$KESTROVA_BUILD_DIR/app/kestrova"
STUB
printf '#!/usr/bin/env bash\nmkdir -p "$1" && touch "$1/dv_pal.avi"\n' >"$tree/tests/media/make-clips.sh"
touch "$tree/videos/my films/vidéo 1.mkv"
export KESTROVA_BUILD_DIR="$tree/build" QT_QPA_PLATFORM=offscreen

fail() {
  echo "run_test.sh: $*" >&2
  exit 1
}
expect() {
  local got
  got="$(cat "$KESTROVA_BUILD_DIR/arguments")"
  [[ "$got" == "$1" ]] || fail "expected arguments <$1>, got <$got>"
  rm -f "$KESTROVA_BUILD_DIR/arguments"
}

# A relative path, with spaces and letters outside ASCII.
(cd "$tree/videos" && bash "$tree/scripts/run.sh" "my films/vidéo 1.mkv")
expect "/o=$tree/videos/my films/vidéo 1.mkv"
# An absolute path, through a detour.
bash "$tree/scripts/run.sh" "$tree/videos/../videos/my films/vidéo 1.mkv"
expect "/o=$tree/videos/my films/vidéo 1.mkv"
# No video: a generated clip.
bash "$tree/scripts/run.sh"
expect "/o=$tree/build/clips/dv_pal.avi"
# A video that is not there starts nothing.
if bash "$tree/scripts/run.sh" "$tree/videos/none.avi" 2>/dev/null; then
  fail "a missing video started the program"
fi
[[ ! -e "$KESTROVA_BUILD_DIR/arguments" ]] || fail "a missing video started the program"
echo "run.sh hands the video on as an open switch"
