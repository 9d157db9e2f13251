#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process times, median of N runs (default 21), in milliseconds:
#   1. sonorix run --duration 0.1 --quiet --wav x.wav 'TSNSignalGen'
#      (start-up, a tenth of a second of tone, the WAV written, exit);
#   2. a one-second 44100 Hz 16-bit stereo WAV read and written again by the
#      libav player and logger, beside sox and gst-launch-1.0 doing the same.
#
#   bench/startup-compare.sh [BUILD_DIR] [N]      (default: build/release 21)
set -euo pipefail

build_dir=${1:-build/release}
runs=${2:-21}
sonorix=$build_dir/bin/sonorix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

missing=()
command -v sox > /dev/null 2>&1 || missing+=(sox)
command -v gst-launch-1.0 > /dev/null 2>&1 || missing+=(gstreamer1.0-tools gstreamer1.0-plugins-good)
if ((${#missing[@]} > 0)); then
    echo "startup-compare: installing ${missing[*]} from Debian"
    as_root=()
    ((EUID == 0)) || as_root=(sudo)
    "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}" > /dev/null
fi

# Median of $runs runs of the command: wall-clock milliseconds (bash's own
# clock, no process started to read it) and, when perf is there, CPU
# milliseconds (task-clock: user and system time of all threads), which a
# loaded machine disturbs far less.
median() {
    sort -g | sed -n "$(((runs + 1) / 2))p" | xargs printf '%.1f'
}

measure() {
    local wall=() cpu=()
    "$@" > /dev/null 2>&1 # once to warm the page cache
    for ((i = 0; i < runs; ++i)); do
        local start=$EPOCHREALTIME
        "$@" > /dev/null 2>&1
        local end=$EPOCHREALTIME
        wall+=("$(echo "($end - $start) * 1000" | bc -l)")
        if command -v perf > /dev/null 2>&1; then
            perf stat -x, -e task-clock -o "$work/perf.csv" "$@" > /dev/null 2>&1
            cpu+=("$(awk -F, '/task-clock/ {print $1}' "$work/perf.csv")")
        fi
    done
    local cpu_median=-
    ((${#cpu[@]} > 0)) && cpu_median=$(printf '%s\n' "${cpu[@]}" | median)
    printf '%8s ms wall %8s ms CPU' "$(printf '%s\n' "${wall[@]}" | median)" "$cpu_median"
}

report() {
    printf '%-44s %s\n' "$1" "$2"
}

echo "median of $runs runs, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
report "sonorix run TSNSignalGen 0.1 s --wav" \
    "$(measure "$sonorix" run --duration 0.1 --quiet --wav "$work/x.wav" TSNSignalGen)"
report "sonorix --version (start-up and exit)" "$(measure "$sonorix" --version)"

sox -n -r 44100 -b 16 -c 2 "$work/in.wav" synth 1 sine 440
report "sonorix libav player ! libav logger, 1 s WAV" \
    "$(measure "$sonorix" run --quiet \
        "TSNLAVAudioPlayer FileName=$work/in.wav ! TSNLAVAudioLogger FileName=$work/lav.wav")"
report "sox in.wav out.wav" "$(measure sox "$work/in.wav" "$work/sox.wav")"
report "gst-launch-1.0 wavparse ! wavenc" \
    "$(measure gst-launch-1.0 -q filesrc location="$work/in.wav" ! wavparse ! wavenc ! \
        filesink location="$work/gst.wav")"
for f in lav sox gst; do
    [[ -s $work/$f.wav ]] || { echo "startup-compare: $f wrote nothing" >&2; exit 1; }
done
