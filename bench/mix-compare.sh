#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Two-input mix of 60 s of 44100 Hz 16-bit stereo audio: the sonorix tool
# beside sox -m and ffmpeg's amix filter. Each tool mixes the same two WAV
# files of sine tones; wall-clock seconds per run (best of three) are printed.
#
#   bench/mix-compare.sh [BUILD_DIR]        (default: build/release)
#
# The sonorix run reads the files with the libav file player
# (TSNLAVAudioPlayer), or mixes two generated tones (TSNSignalGen) when only
# the generator is there; with neither, only the reference tools are timed.
set -euo pipefail

build_dir=${1:-build/release}
sonorix=$build_dir/bin/sonorix
seconds=60
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

missing=()
command -v sox > /dev/null 2>&1 || missing+=(sox)
command -v ffmpeg > /dev/null 2>&1 || missing+=(ffmpeg)
if ((${#missing[@]} > 0)); then
    echo "mix-compare: installing ${missing[*]} from Debian"
    as_root=()
    ((EUID == 0)) || as_root=(sudo)
    "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}" > /dev/null
fi

# Best wall-clock time of three runs of the given command, in seconds.
best_of_three() {
    local best=""
    for _ in 1 2 3; do
        local start end elapsed
        start=$(date +%s.%N)
        "$@" > /dev/null 2>&1
        end=$(date +%s.%N)
        elapsed=$(echo "$end - $start" | bc -l)
        if [[ -z $best ]] || (($(echo "$elapsed < $best" | bc -l))); then
            best=$elapsed
        fi
    done
    printf '%.3f' "$best"
}

report() {
    # name, seconds of wall clock
    printf '%-10s %8s s   %8.1f x real time\n' "$1" "$2" "$(echo "$seconds / $2" | bc -l)"
}

# Two input files of 60 s (tones), made once; every tool mixes the same two
# files, so reading them is part of each one's work.
sox -n -r 44100 -b 16 -c 2 "$work/a.wav" synth $seconds sine 440
sox -n -r 44100 -b 16 -c 2 "$work/b.wav" synth $seconds sine 660

report "sox -m" "$(best_of_three sox -m "$work/a.wav" "$work/b.wav" "$work/sox.wav")"
report "ffmpeg" "$(best_of_three ffmpeg -nostdin -y -loglevel error -i "$work/a.wav" -i "$work/b.wav" \
    -filter_complex "[0][1]amix=inputs=2,aformat=sample_fmts=s16:channel_layouts=stereo" \
    "$work/ffmpeg.wav")"

if [[ ! -x $sonorix ]]; then
    echo "mix-compare: $sonorix not built (cmake --preset release && cmake --build --preset release)" >&2
    exit 1
fi
mix="TSNAudioMixer name=mix Channels.Count=2 Channels[0].Coefficient=0.5 Channels[1].Coefficient=0.5"
classes=$("$sonorix" list | cut -f1)
if grep -qx TSNLAVAudioPlayer <<< "$classes"; then
    report "sonorix" "$(best_of_three "$sonorix" run --quiet --wav "$work/sonorix.wav" \
        "TSNLAVAudioPlayer FileName=$work/a.wav ! mix.InputPins[0]  TSNLAVAudioPlayer FileName=$work/b.wav ! mix.InputPins[1]  $mix")"
elif grep -qx TSNSignalGen <<< "$classes"; then
    # Generated tones instead of files (the generators' own format).
    report "sonorix" "$(best_of_three "$sonorix" run --quiet --duration "$seconds" --wav "$work/sonorix.wav" \
        "TSNSignalGen Frequency=440 ! mix.InputPins[0]  TSNSignalGen Frequency=660 ! mix.InputPins[1]  $mix")"
else
    echo "sonorix    (skipped: neither a file player nor a signal generator is in this build's catalogue)"
fi
