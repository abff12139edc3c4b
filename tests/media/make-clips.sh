#!/usr/bin/env bash
# Makes the test clips once per build tree: make-clips.sh OUTDIR
#
# Every video frame shows its frame number twice: as digits in the top left
# corner and as a barcode in a band across the picture (see clip_reader.h for
# the layout). Joined clips number their frames on from the first part, so a
# frame's number is its index in the whole file. The clips of the usual
# containers run 75 frames, so that seeks cross the keyframe distances of 12
# (MPEG) and 25 (H.264) more than once.
set -euo pipefail

font=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
bits=12 # frame numbers up to 4095

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# Filter that draws frame number n + $1: a white band from 13/16 to 15/16 of
# the height, split into 2 * bits cells, each bit (most significant first) a
# pair of cells with one of them black: the first for a one, the second for a
# zero. The pair always differs, so a reader needs no threshold of its own.
number() {
  local off=$1 k mask cell f
  f="drawbox=x=0:y=ih*13/16:w=iw:h=ih/8:color=white:t=fill"
  for ((k = 0; k < bits; k++)); do
    mask=$((1 << (bits - 1 - k)))
    cell=$((2 * k))
    f+=",drawbox=x=iw*$cell/$((2 * bits)):y=ih*13/16:w=iw/$((2 * bits))+1:h=ih/8:color=black:t=fill"
    f+=":enable='gt(bitand(n+$off\,$mask)\,0)'"
    f+=",drawbox=x=iw*$((cell + 1))/$((2 * bits)):y=ih*13/16:w=iw/$((2 * bits))+1:h=ih/8:color=black:t=fill"
    f+=":enable='eq(bitand(n+$off\,$mask)\,0)'"
  done
  f+=",drawtext=fontfile=$font:text='%{eif\:n+$off\:d}':x=w/40:y=h/12:fontsize=h/5"
  f+=":fontcolor=white:box=1:boxcolor=black:boxborderw=4"
  printf '%s' "$f"
}

# video SOURCE SIZE RATE FRAMES [OFFSET]: a numbered lavfi source.
video() {
  local src=$1 size=$2 rate=$3 frames=$4 off=${5:-0}
  printf '%s=size=%s:rate=%s,%s,trim=end_frame=%s' "$src" "$size" "$rate" "$(number "$off")" "$frames"
}

tone() { printf 'sine=frequency=%s:sample_rate=%s:duration=%s' "$1" "$2" "$3"; }

# make-clips.sh --pal95 FILE makes only the interval benchmark's clip: 95
# seconds of numbered PAL at 4:3 in MPEG-2 with sound, in groups of 12
# frames as a DVD has them.
if [[ "${1:-}" == --pal95 ]]; then
  ff -f lavfi -i "$(video testsrc2 720x576 25 2375)" -f lavfi -i "$(tone 440 48000 95)" \
    -c:v mpeg2video -q:v 3 -g 12 -bf 2 -aspect 4:3 -c:a mp2 -b:a 192k -f vob "${2:?usage: make-clips.sh --pal95 FILE}"
  exit 0
fi

out="${1:?usage: make-clips.sh OUTDIR}"
mkdir -p "$out"
# The script works inside OUTDIR, so a relative OUTDIR is made absolute.
out="$(cd "$out" && pwd)"

# The clips are remade only when this script changes.
stamp="$out/.made-$(sha1sum "$0" | cut -c1-16)"
[[ -e "$stamp" ]] && exit 0
rm -rf "${out:?}"/* "$out"/.made-*

cd "$out"

# DV: the dv muxer writes the time code and recording date into the frames;
# the AVI copies take the frames as they are.
ff -f lavfi -i "$(video testsrc2 720x576 25 75)" -f lavfi -i "$(tone 440 48000 3)" \
  -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 -timecode 10:20:30:05 \
  -metadata creation_time=2024-05-17T14:32:10Z -f dv dv_pal.dv
ff -i dv_pal.dv -c copy dv_pal.avi

ff -f lavfi -i "$(video testsrc2 720x480 30000/1001 30)" -f lavfi -i "$(tone 660 48000 1.001)" \
  -c:v dvvideo -pix_fmt yuv411p -aspect 16:9 -c:a pcm_s16le -ac 2 -timecode 01:02:03:04 \
  -metadata creation_time=2023-11-02T08:15:00Z -f dv dv_ntsc_wide.dv
ff -i dv_ntsc_wide.dv -c copy dv_ntsc_wide.avi

# Two recordings three hours apart, joined: frames 0-24 and 25-49.
ff -f lavfi -i "$(video testsrc2 720x576 25 25)" -f lavfi -i "$(tone 440 48000 1)" \
  -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 -timecode 00:00:00:00 \
  -metadata creation_time=2024-05-17T09:00:00Z -f dv part1.dv
ff -f lavfi -i "$(video smptebars 720x576 25 25 25)" -f lavfi -i "$(tone 880 48000 1)" \
  -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 -timecode 00:00:01:00 \
  -metadata creation_time=2024-05-17T12:00:00Z -f dv part2.dv
cat part1.dv part2.dv >dv_joined.dv
rm part1.dv part2.dv
ff -i dv_joined.dv -c copy dv_joined.avi

# MPEG program streams: MPEG-1 with MP2 sound, MPEG-2 16:9 with AC-3 sound,
# and an interlaced MPEG-2 (top field first).
ff -f lavfi -i "$(video testsrc2 320x240 25 75)" -f lavfi -i "$(tone 440 44100 3)" \
  -c:v mpeg1video -q:v 4 -c:a mp2 -b:a 128k -f mpeg mpeg1.mpg
ff -f lavfi -i "$(video testsrc2 352x288 25 75)" -f lavfi -i "$(tone 440 48000 3)" \
  -c:v mpeg2video -q:v 4 -aspect 16:9 -c:a ac3 -b:a 128k -f vob mpeg2.mpg
ff -f lavfi -i "$(video testsrc2 352x288 25 75),setfield=tff" -f lavfi -i "$(tone 440 48000 3)" \
  -c:v mpeg2video -q:v 4 -aspect 4:3 -flags +ilme+ildct -top 1 -c:a mp2 -f vob mpeg2_interlaced.mpg

# MPEG-2 with two B-frames between references, in groups of 12 as a DVD
# has them, in a program and a transport stream: pictures decoded in another
# order than they are shown, and pictures that no other one refers to.
ff -f lavfi -i "$(video testsrc2 352x288 25 75)" -f lavfi -i "$(tone 440 48000 3)" \
  -c:v mpeg2video -q:v 4 -g 12 -bf 2 -c:a mp2 -f vob mpeg2_bframes.mpg
ff -f lavfi -i "$(video testsrc2 320x240 25 75)" -f lavfi -i "$(tone 440 48000 3)" \
  -c:v mpeg2video -q:v 4 -g 12 -bf 2 -c:a mp2 -f mpegts mpeg2_bframes.ts

# Truly interlaced PAL: pictures made at 50 a second, scrolling sideways,
# woven two by two into 25 frames (top field first), so every edge combs.
ff -f lavfi -i "testsrc2=size=720x576:rate=50,scroll=horizontal=0.006,tinterlace=mode=interleave_top,$(number 0),trim=end_frame=25" \
  -c:v mpeg2video -q:v 3 -flags +ilme+ildct -top 1 -aspect 4:3 -f vob interlaced_pal.mpg

# A format change: 320x240 for frames 0-24, then 352x288 for frames 25-49.
# Low delay, so that a decoder meeting the new size has no picture left to drop.
ff -f lavfi -i "$(video testsrc2 320x240 25 25)" -c:v mpeg2video -q:v 4 -flags +low_delay -f vob part1.mpg
ff -f lavfi -i "$(video smptebars 352x288 25 25 25)" -c:v mpeg2video -q:v 4 -flags +low_delay -f vob part2.mpg
cat part1.mpg part2.mpg >size_change.mpg
rm part1.mpg part2.mpg

# Raw elementary streams: no container, so no duration and no times of
# their own.
ff -f lavfi -i "$(video testsrc2 320x240 25 75)" -c:v mpeg2video -q:v 4 -f mpeg2video mpeg2.m2v
ff -f lavfi -i "$(video testsrc2 320x240 25 75)" -c:v mpeg1video -q:v 4 -f mpeg1video mpeg1.m1v
# One second at each common rate, small, with two B-frames between
# references in groups of 12 as a DVD has them: frame durations that are no
# whole number of 100-ns units, frames shorter than 25 a second, and
# pictures stored in another order than they are shown, with no times at all.
for rate in 24000/1001:24:23976 25:25:25 30000/1001:30:2997 50:50:50 60000/1001:60:5994; do
  IFS=: read -r fps frames name <<<"$rate"
  ff -f lavfi -i "$(video testsrc2 160x120 "$fps" "$frames")" -c:v mpeg2video -q:v 4 -g 12 -bf 2 \
    -f mpeg2video "mpeg2_$name.m2v"
done

# Transport streams.
ff -f lavfi -i "$(video testsrc2 320x240 25 75)" -f lavfi -i "$(tone 440 48000 3)" \
  -c:v mpeg2video -q:v 4 -c:a mp2 -f mpegts mpeg2.ts
ff -f lavfi -i "$(video testsrc2 320x240 25 75)" -f lavfi -i "$(tone 440 48000 3)" \
  -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 25 -c:a ac3 -b:a 128k -f mpegts -mpegts_m2ts_mode 1 h264.m2ts

# H.264 in MP4 and Matroska, Windows Media.
x264=(-c:v libx264 -preset veryfast -pix_fmt yuv420p -g 25)
ff -f lavfi -i "$(video testsrc2 320x240 25 75)" -f lavfi -i "$(tone 440 48000 3)" \
  "${x264[@]}" -c:a aac -b:a 96k h264.mp4
ff -f lavfi -i "$(video testsrc2 320x240 25 75)" -f lavfi -i "$(tone 440 48000 3)" \
  "${x264[@]}" -c:a ac3 -b:a 128k h264.mkv
ff -f lavfi -i "$(video testsrc2 320x240 25 75)" -f lavfi -i "$(tone 440 44100 3)" \
  -c:v wmv2 -q:v 4 -c:a wmav2 -b:a 64k wmv.wmv

# Rates of 1000/1001 in containers that round each time to their tick:
# Matroska counts milliseconds, a transport stream 90 kHz. Thirty frames
# each, small, a keyframe every twelve.
x264small=(-c:v libx264 -preset veryfast -pix_fmt yuv420p -g 12)
ff -f lavfi -i "$(video testsrc2 160x120 60000/1001 30)" "${x264small[@]}" h264_5994.mkv
ff -f lavfi -i "$(video testsrc2 160x120 24000/1001 30)" "${x264small[@]}" -f mpegts h264_23976.ts

# MPEG-4 pictures with two B-pictures between references in AVI, which keeps
# only the order they are decoded in, as the DivX and Xvid files of old have
# them.
ff -f lavfi -i "$(video testsrc2 160x120 25 30)" -c:v mpeg4 -q:v 4 -g 12 -bf 2 -vtag DX50 mpeg4_bframes.avi
ff -f lavfi -i "$(video testsrc2 160x120 25 30)" -c:v mpeg2video -q:v 4 -g 12 -bf 2 mpeg2_bframes.avi

# A transport stream that starts inside a group of pictures, as a recording
# of a broadcast does: cut twenty packets in, inside its first picture, so
# that frames 12-35 alone can be decoded.
ff -f lavfi -i "$(video testsrc2 160x120 25 36)" -c:v mpeg2video -q:v 4 -g 12 -bf 2 -f mpegts whole.ts
tail -c +$((20 * 188 + 1)) whole.ts >mid_group.ts
rm whole.ts

# Frames 13 and 14 dropped, as a capture that could not keep up drops them:
# the others keep their times, in Matroska and in a transport stream.
for container in mkv ts; do
  ff -f lavfi -i "$(video testsrc2 160x120 25 30),select='not(between(n\,13\,14))'" "${x264small[@]}" \
    -fps_mode passthrough "dropped.$container"
done

# HEVC in Matroska, which gives it no four-character tag.
ff -f lavfi -i "$(video testsrc2 160x120 25 30)" -c:v libx265 -preset ultrafast -pix_fmt yuv420p \
  -x265-params log-level=error:keyint=12 hevc.mkv

# Ninety-five seconds, for captures every so many seconds.
ff -f lavfi -i "$(video testsrc2 320x240 25 2375)" "${x264[@]}" long.mp4

# Eleven minutes at two pictures a second, a keyframe every thirty seconds:
# room for steps of ten minutes either way.
ff -f lavfi -i "$(video testsrc2 160x120 2 1320)" -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 60 eleven_minutes.mkv

# A hard cut at frame 25 from one picture to a wholly different one.
ff -f lavfi -i "testsrc2=size=320x240:rate=25,trim=end_frame=25" \
  -f lavfi -i "smptebars=size=320x240:rate=25,trim=end_frame=25" \
  -filter_complex "[0:v][1:v]concat=n=2:v=1:a=0,$(number 0)[v]" -map '[v]' \
  "${x264[@]}" hard_cut.mp4

# Text subtitles beside the picture.
printf '1\n00:00:00,000 --> 00:00:01,000\nFirst line\n\n2\n00:00:01,000 --> 00:00:02,000\nSecond line\n' >subtitles.srt
ff -f lavfi -i "$(video testsrc2 320x240 25 50)" -i subtitles.srt "${x264[@]}" -c:s srt subtitles.mkv
rm subtitles.srt

# Two sound tracks of different kinds: 440 Hz in AAC, 880 Hz in AC-3.
ff -f lavfi -i "$(video testsrc2 320x240 25 50)" -f lavfi -i "$(tone 440 48000 2)" -f lavfi -i "$(tone 880 48000 2)" \
  -map 0 -map 1 -map 2 "${x264[@]}" -c:a:0 aac -c:a:1 ac3 two_sounds.mkv

# Sound alone: 16-bit PCM.
ff -f lavfi -i "$(tone 440 44100 2)" -c:a pcm_s16le -ac 2 audio_only.wav

# Not a video at all, under a video's name.
LC_ALL=C awk 'BEGIN { srand(5); for (i = 0; i < 65536; i++) printf "%c", int(rand() * 256) }' >garbage.avi

# A name outside ASCII.
ff -f lavfi -i "$(video testsrc2 320x240 25 25)" "${x264[@]}" "vidéo ñ 日本.mp4"

# Matroska files cut short, as an interrupted copy leaves them: the headers
# and the start of the first cluster, nothing that decodes.
head -c 1280 two_sounds.mkv >two_sounds_cut.mkv
head -c 1280 h264.mkv >h264_cut.mkv

touch "$stamp"
