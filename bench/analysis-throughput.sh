#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process throughput of level metering (one value per 100 ms) and of a
# 256-point spectrum over 60 s of 44.1 kHz 16-bit stereo: the sonorix tool
# beside ffmpeg (astats, showspectrum) and sox (stats, spectrogram).
#
#   bench/analysis-throughput.sh [build/release/bin/sonorix]
#
# Installs ffmpeg and sox from Debian when they are missing (needs root).
#
# Prints one line per run: tool, job, wall seconds, and the realtime factor
# (60 s of audio divided by the wall time).
set -euo pipefail

sonorix=${1:-build/release/bin/sonorix}
seconds=60
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wall time of a command in seconds (best of three).
timed() {
    local best=
    for _ in 1 2 3; do
        local start end
        start=$(date +%s.%N)
        "$@" > /dev/null 2>&1
        end=$(date +%s.%N)
        best=$(echo "$start $end $best" | awk '{ t = $2 - $1; if ($3 == "" || t < $3) print t; else print $3 }')
    done
    echo "$best"
}

report() {
    awk -v tool="$1" -v job="$2" -v t="$3" -v s="$seconds" \
        'BEGIN { printf "%-8s %-10s %8.3f s  %8.1fx realtime\n", tool, job, t, s / t }'
}

for tool in ffmpeg sox; do
    if ! command -v $tool > /dev/null; then
        apt-get install -y --no-install-recommends $tool > /dev/null || echo "could not install $tool" >&2
    fi
done

# The same stream for every tool: a 1 kHz tone on the left, 3 kHz on the right.
ffmpeg -loglevel error -f lavfi \
    -i "aevalsrc=0.5*sin(2*PI*1000*t)|0.5*sin(2*PI*3000*t):s=44100:d=$seconds" \
    -c:a pcm_s16le "$work/tone.wav"

# The tool reads the same file when it has the file player, else it
# generates the same format.
source=
if [[ -x $sonorix ]]; then
    if "$sonorix" list | grep -q '^TSNLAVAudioPlayer'; then
        source="TSNLAVAudioPlayer FileName=$work/tone.wav"
    elif "$sonorix" list | grep -q '^TSNSignalGen'; then
        source="TSNSignalGen Frequency=1000 AudioFormat.Channels=2 AudioFormat.SampleRate=44100 AudioFormat.Bits=16"
    fi
fi
if [[ -n $source ]]; then
    report sonorix levels "$(timed "$sonorix" run "$source ! TSNVUMeter Period=100 SynchronizeType=stNone" --duration $seconds --quiet)"
    report sonorix spectrum "$(timed "$sonorix" run "$source ! TSNSpectrum Order=8 Synchronize=false" --duration $seconds --quiet)"
else
    echo "sonorix  (skipped: $sonorix has neither TSNLAVAudioPlayer nor TSNSignalGen)"
fi

report ffmpeg levels "$(timed ffmpeg -nostdin -i "$work/tone.wav" -af astats=reset=4410:metadata=1 -f null -)"
report ffmpeg spectrum "$(timed ffmpeg -nostdin -i "$work/tone.wav" -lavfi showspectrum=s=1024x128:slide=replace -f null -)"

if command -v sox > /dev/null; then
    report sox levels "$(timed sox "$work/tone.wav" -n stats)"
    report sox spectrum "$(timed sox "$work/tone.wav" -n spectrogram -y 129 -x 10336 -o "$work/spec.png")"
else
    echo "sox      (skipped: not installed; scripts/install-deps.sh installs it)"
fi
