#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process throughput of a 41-tap low pass (1000 Hz, Hamming, 44.1 kHz)
# over a 60 s stereo 16-bit tone, generated and written to WAV by each tool:
# sonorix (TSNSignalGen ! TSNLowPass), sox (synth + fir with the same taps)
# and ffmpeg (lavfi sine + afir with the same taps). Each is also run without
# the filter, so the filter's own share shows.
#
#   bench/compare-lowpass.sh [build-dir]      (default build/release)
#
# Installs sox, ffmpeg and python3-scipy from Debian when they are missing
# (the taps for sox and ffmpeg come from scipy.signal.firwin, which the tests
# show equal to DGFilterCalc's within 1e-12).
set -euo pipefail

build=${1:-build/release}
sonorix="$build/bin/sonorix"
[[ -x $sonorix ]] || { echo "compare-lowpass: $sonorix not built" >&2; exit 1; }

need=()
command -v sox > /dev/null || need+=(sox)
command -v ffmpeg > /dev/null || need+=(ffmpeg)
/usr/bin/python3 -c 'import scipy' 2> /dev/null || need+=(python3-scipy)
if ((${#need[@]})); then
    echo "compare-lowpass: installing ${need[*]}"
    as_root=()
    ((EUID == 0)) || as_root=(sudo)
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=60
rate=44100

/usr/bin/python3 - "$work" <<'PY'
import sys
import numpy as np
from scipy import signal
from scipy.io import wavfile
taps = signal.firwin(41, 1000.0, window="hamming", fs=44100.0)
with open(f"{sys.argv[1]}/taps.txt", "w") as f:
    f.write("\n".join(repr(float(t)) for t in taps) + "\n")
wavfile.write(f"{sys.argv[1]}/ir.wav", 44100, taps.astype(np.float32))
PY

# Best of three runs: the CPU time (user + system) in seconds, which a
# loaded machine disturbs less than the wall time.
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

source_element="TSNSignalGen Frequency=440 AudioFormat.Channels=2 AudioFormat.Bits=16 AudioFormat.SampleRate=$rate"
lowpass="TSNLowPass Frequency=1000 Order=41 WindowType=wtHamming"

report() {
    local name=$1 plain=$2 filtered=$3
    local realtime
    realtime=$(echo "$seconds / $filtered" | bc -l)
    printf '%-8s %8ss %8ss %10.0fx realtime  %12.0f frames/s  (filter alone: %s s)\n' "$name" "$plain" \
        "$filtered" "$realtime" "$(echo "$seconds * $rate / $filtered" | bc -l)" "$(echo "$filtered - $plain" | bc -l)"
}

echo "60 s stereo 16-bit 44.1 kHz, CPU seconds, best of 3 (tone only, tone + 41-tap low pass)"
if "$sonorix" list | grep -q '^TSNSignalGen'; then
    report sonorix \
        "$(best "$sonorix" run --quiet --duration $seconds --wav "$work/s0.wav" "$source_element")" \
        "$(best "$sonorix" run --quiet --duration $seconds --wav "$work/s1.wav" "$source_element ! $lowpass")"
else
    echo "sonorix  skipped: this build registers no TSNSignalGen to feed the filter"
fi
report sox \
    "$(best sox -n -r $rate -c 2 -b 16 "$work/x0.wav" synth $seconds sine 440)" \
    "$(best sox -n -r $rate -c 2 -b 16 "$work/x1.wav" synth $seconds sine 440 fir "$work/taps.txt")"
report ffmpeg \
    "$(best ffmpeg -y -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=$seconds" \
        -af aformat=sample_fmts=s16:channel_layouts=stereo -c:a pcm_s16le "$work/f0.wav")" \
    "$(best ffmpeg -y -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=$seconds" -i "$work/ir.wav" \
        -filter_complex "[0:a]aformat=channel_layouts=stereo[s];[s][1:a]afir=gtype=none:irfmt=mono,aformat=sample_fmts=s16[o]" \
        -map "[o]" -c:a pcm_s16le "$work/f1.wav")"
