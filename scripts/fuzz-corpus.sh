#!/usr/bin/env bash
# Makes the fuzz target's seed corpus in the folder given (default build-fuzz/seeds): short
# files of the containers and codecs the converter reads, made with the ffmpeg program (a
# test tool). Each seed is one byte choosing the output format, then the file.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="${1:-$ROOT/build-fuzz/seeds}"
mkdir -p "$OUT"
TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT

TONE="-f lavfi -i sine=frequency=440:duration=0.3:sample_rate=8000"
STEREO="-f lavfi -i aevalsrc=sin(440*2*PI*t)|sin(660*2*PI*t):d=0.3:s=22050"
PICTURE="-f lavfi -i testsrc=size=32x24:rate=5:duration=0.4"

# name | ffmpeg arguments before the output file
SEEDS=(
  "tone.wav|$TONE -c:a pcm_s16le"
  "stereo.wav|$STEREO -c:a pcm_u8"
  "tone.flac|$TONE -c:a flac"
  "tone.mp3|$STEREO -c:a libmp3lame -b:a 32k"
  "tone.ogg|$TONE -c:a libvorbis -q:a 0"
  "tone.m4a|$TONE -c:a aac -b:a 24k"
  "tone.wma|$STEREO -c:a wmav2 -b:a 32k"
  "tone.mp2|$STEREO -c:a mp2 -b:a 64k"
  "tone.aiff|$TONE -c:a pcm_s16be"
  "tone.au|$TONE -c:a pcm_mulaw"
  "tone.opus|$TONE -ar 48000 -c:a libopus -b:a 16k"
  "clip.mkv|$PICTURE $TONE -c:v mpeg4 -c:a flac -shortest"
  "clip.avi|$PICTURE $TONE -c:v mjpeg -c:a pcm_s16le -shortest"
)

i=0
for seed in "${SEEDS[@]}"; do
  name="${seed%%|*}"
  args="${seed#*|}"
  # shellcheck disable=SC2086
  if ffmpeg -nostdin -hide_banner -loglevel error -y $args "$TMP/$name" >/dev/null 2>&1; then
    { printf "\\x$(printf %02x $((i % 7)))"; cat "$TMP/$name"; } > "$OUT/$name"
  else
    echo "fuzz-corpus: could not make $name" >&2
  fi
  i=$((i + 1))
done
ls "$OUT" | wc -l | xargs echo "fuzz-corpus: seeds in $OUT:"
