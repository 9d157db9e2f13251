#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Decode and encode speed of the libav player and logger through the sonorix
# tool, beside the ffmpeg command doing the same job, as realtime factors
# (seconds of audio per second of wall-clock time; best of N runs).
#
#   bench/lav-realtime.sh [build/dev/bin/sonorix] [seconds of audio] [runs]
set -euo pipefail

SONORIX=${1:-build/dev/bin/sonorix}
SECONDS_OF_AUDIO=${2:-60}
RUNS=${3:-3}
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed (scripts/install-deps.sh)" >&2; exit 1; }
[ -x "$SONORIX" ] || { echo "no sonorix tool at $SONORIX" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Stereo 44.1 kHz, 16 bits: two tones and a little noise, so that the
# encoders have real work.
ffmpeg -v error -y -f lavfi -i "aevalsrc=0.4*sin(2*PI*440*t)+0.05*random(0)|0.4*sin(2*PI*660*t)+0.05*random(1):s=44100:d=$SECONDS_OF_AUDIO" \
    -c:a pcm_s16le "$WORK/in.wav"
ffmpeg -v error -y -i "$WORK/in.wav" -c:a flac "$WORK/in.flac"
ffmpeg -v error -y -i "$WORK/in.wav" -c:a libvorbis "$WORK/in.ogg"
ffmpeg -v error -y -i "$WORK/in.wav" -c:a libmp3lame "$WORK/in.mp3"

# Best wall-clock time of RUNS runs of a command, in seconds.
best_time() {
    local best=""
    for _ in $(seq "$RUNS"); do
        local start end t
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
        end=$(date +%s.%N)
        t=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    done
    echo "$best"
}

factor() { awk -v a="$SECONDS_OF_AUDIO" -v t="$1" 'BEGIN { printf "%.0f", a / t }'; }
ratio() { awk -v s="$1" -v f="$2" 'BEGIN { printf "%.2f", s / f }'; }

echo "| Job | sonorix (x realtime) | ffmpeg (x realtime) | sonorix / ffmpeg time |"
echo "|---|---|---|---|"
for codec in flac ogg mp3; do
    s=$(best_time "$SONORIX" run --quiet "TSNLAVAudioPlayer FileName=$WORK/in.$codec BufferSize=4096")
    f=$(best_time ffmpeg -v error -threads 1 -i "$WORK/in.$codec" -f null -)
    echo "| decode $codec | $(factor "$s") | $(factor "$f") | $(ratio "$s" "$f") |"
done
for codec in flac ogg mp3; do
    s=$(best_time "$SONORIX" run --quiet "TSNLAVAudioPlayer FileName=$WORK/in.wav BufferSize=4096 ! TSNLAVAudioLogger FileName=$WORK/out.$codec")
    f=$(best_time ffmpeg -v error -threads 1 -y -i "$WORK/in.wav" "$WORK/ref.$codec")
    echo "| encode wav to $codec | $(factor "$s") | $(factor "$f") | $(ratio "$s" "$f") |"
done
