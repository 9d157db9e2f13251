#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process cost of three jobs on the same 60 s stereo 16-bit 44.1 kHz
# WAV file (a swept tone with level changes, made by sox), each tool reading
# the file and writing a WAV file:
#   compressor  sonorix TSNDynamicRangeCompressor Threshold=-30 CompressRatio=8
#               sox compand (8:1 above -30 dB), ffmpeg acompressor (8:1, -30 dB)
#   equalizer   sonorix TSNGraphicEqualizer, 10 bands 31 Hz .. 15.9 kHz, 101 taps
#               sox: 10 x equalizer (peaking biquads), ffmpeg firequalizer (10 entries)
#   resampling  sonorix TSNRepack to 48 kHz, sox rate (default quality), ffmpeg aresample
# The algorithms differ between the tools (see docs/performance.md); each tool
# also copies the file without processing, so the job's own share shows.
#
#   bench/dynamics-compare.sh [build-dir]      (default build/release)
set -euo pipefail

build=${1:-build/release}
sonorix="$build/bin/sonorix"
[[ -x $sonorix ]] || { echo "dynamics-compare: $sonorix not built" >&2; exit 1; }
for tool in sox ffmpeg bc; do
    command -v $tool > /dev/null || { echo "dynamics-compare: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
in="$work/in.wav"
sox -n -r 44100 -c 2 -b 16 "$in" synth 60 sine 40-16000 tremolo 0.5 90 vol 0.9

# Best of three runs: CPU seconds (user + system).
best() {
    local best_time=""
    for _ in 1 2 3; do
        local line cpu
        line=$( { TIMEFORMAT='%3U %3S'; time "$@" > /dev/null 2>&1; } 2>&1 | tail -1)
        cpu=$(echo "$line" | awk '{ print $1 + $2 }')
        if [[ -z $best_time ]] || (($(echo "$cpu < $best_time" | bc -l))); then
            best_time=$cpu
        fi
    done
    printf '%.3f' "$best_time"
}

player="TSNLAVAudioPlayer FileName=$in BufferSize=4096"
sn() { best "$sonorix" run --quiet --wav "$work/s.wav" "$player${1:+ ! $1}"; }
sx() { best sox "$in" "$work/x.wav" "$@"; }
ff() { best ffmpeg -y -threads 1 -i "$in" "$@" -c:a pcm_s16le "$work/f.wav"; }

bands=""
fx_eq=()
entries=""
gains=(0 -6 3 0 -12 0 2 -40 0 -3)
for k in $(seq 0 9); do
    f=$((31 << k))
    g=${gains[$k]}
    coef=$(echo "e($g / 20 * l(10))" | bc -l)
    bands+=" Channels[$k].Coefficient=$coef"
    fx_eq+=(equalizer $f 1o "$g")
    entries+="${entries:+;}entry($f,$g)"
done
equalizer="TSNGraphicEqualizer Order=101 Channels.Count=10$bands"
compressor="TSNDynamicRangeCompressor Threshold=-30 CompressRatio=8"
repack="TSNRepack AudioFormat.Enabled=true AudioFormat.SampleRate=48000"

row() {
    printf '%-11s %-7s copy %7ss   job %7ss   job alone %7ss\n' "$1" "$2" "$3" "$4" "$(echo "$4 - $3" | bc -l)"
}

echo "60 s stereo 16-bit 44.1 kHz WAV in and out; CPU seconds, best of 3"
s0=$(sn ""); x0=$(sx); f0=$(ff)
row compressor sonorix "$s0" "$(sn "$compressor")"
row compressor sox "$x0" "$(sx compand 0.00005,0.25 -30,-30,0,-26.25 0 0)"
row compressor ffmpeg "$f0" "$(ff -af acompressor=threshold=-30dB:ratio=8:attack=0.05:release=250)"
row equalizer sonorix "$s0" "$(sn "$equalizer")"
row equalizer sox "$x0" "$(sx "${fx_eq[@]}")"
row equalizer ffmpeg "$f0" "$(ff -af "firequalizer=gain_entry='$entries'")"
row resampling sonorix "$s0" "$(sn "$repack")"
row resampling sox "$x0" "$(sx rate 48k)"
row resampling ffmpeg "$f0" "$(ff -af aresample=48000)"
