#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Vorbis encode and decode through the sonorix tool beside oggenc -q 1 and
# oggdec on the same files, in the same run (best of N wall-clock times).
# Both sides use the same libvorbis, so the ratio is the framework's overhead
# (reading and writing the files, the pipeline, the packet framing).
#
#   bench/ogg-vorbis-compare.sh [build/release/bin/sonorix] [seconds of audio] [runs]
set -euo pipefail

SONORIX=${1:-build/release/bin/sonorix}
SECONDS_OF_AUDIO=${2:-60}
RUNS=${3:-5}
for tool in oggenc oggdec ffmpeg; do
    command -v $tool >/dev/null || { echo "$tool is needed (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -x "$SONORIX" ] || { echo "no sonorix tool at $SONORIX" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Stereo 44.1 kHz, 16 bits: two tones and a little noise.
ffmpeg -v error -y -f lavfi -i "aevalsrc=0.4*sin(2*PI*440*t)+0.05*random(0)|0.4*sin(2*PI*660*t)+0.05*random(1):s=44100:d=$SECONDS_OF_AUDIO" \
    -c:a pcm_s16le "$WORK/in.wav"
oggenc -Q -q 1 -o "$WORK/in.ogg" "$WORK/in.wav"

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
# Least CPU time (user + system) of RUNS runs, in seconds: on a loaded
# machine the wall-clock time mostly measures waiting.
best_cpu() {
    local best=""
    for _ in $(seq "$RUNS"); do
        /usr/bin/time -f "%U %S" -o "$WORK/cpu" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
        local t
        t=$(awk '{ print $1 + $2 }' "$WORK/cpu")
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    done
    echo "$best"
}
ratio() { awk -v s="$1" -v f="$2" 'BEGIN { printf "%.3f", s / f }'; }
secs() { awk -v t="$1" 'BEGIN { printf "%.3f", t }'; }

# Quality 0.1 of the encoder is oggenc's -q 1 (oggenc counts in tenths).
enc_s=$(best_time "$SONORIX" run --quiet \
    "TSNLAVAudioPlayer FileName=$WORK/in.wav BufferSize=4096 ! TSNVorbisCompressor Quality=0.1 ! TSNOggLogger FileName=$WORK/out.ogg")
enc_o=$(best_time oggenc -Q -q 1 -o "$WORK/ref.ogg" "$WORK/in.wav")
dec_s=$(best_time "$SONORIX" run --quiet --wav "$WORK/out.wav" \
    "TSNOggPlayer FileName=$WORK/in.ogg ! TSNVorbisDecompressor AudioFormat.BufferSize=4096")
dec_o=$(best_time oggdec -Q -o "$WORK/ref.wav" "$WORK/in.ogg")

ENC_S=("$SONORIX" run --quiet "TSNLAVAudioPlayer FileName=$WORK/in.wav BufferSize=4096 ! TSNVorbisCompressor Quality=0.1 ! TSNOggLogger FileName=$WORK/out.ogg")
DEC_S=("$SONORIX" run --quiet --wav "$WORK/out.wav" "TSNOggPlayer FileName=$WORK/in.ogg ! TSNVorbisDecompressor AudioFormat.BufferSize=4096")
enc_sc=$(best_cpu "${ENC_S[@]}")
enc_oc=$(best_cpu oggenc -Q -q 1 -o "$WORK/ref.ogg" "$WORK/in.wav")
dec_sc=$(best_cpu "${DEC_S[@]}")
dec_oc=$(best_cpu oggdec -Q -o "$WORK/ref.wav" "$WORK/in.ogg")
startup=$(best_cpu "$SONORIX" --version)

echo "| Job ($SECONDS_OF_AUDIO s, 44.1 kHz stereo, best of $RUNS) | sonorix wall (s) | vorbis-tools wall (s) | wall ratio | sonorix CPU (s) | vorbis-tools CPU (s) | CPU ratio |"
echo "|---|---|---|---|---|---|---|"
echo "| encode, quality 0.1 / oggenc -q 1 | $(secs "$enc_s") | $(secs "$enc_o") | $(ratio "$enc_s" "$enc_o") | $(secs "$enc_sc") | $(secs "$enc_oc") | $(ratio "$enc_sc" "$enc_oc") |"
echo "| decode to WAV / oggdec | $(secs "$dec_s") | $(secs "$dec_o") | $(ratio "$dec_s" "$dec_o") | $(secs "$dec_sc") | $(secs "$dec_oc") | $(ratio "$dec_sc" "$dec_oc") |"
echo "| start-up: sonorix --version | | | | $(secs "$startup") | | |"
