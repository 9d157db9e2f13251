#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A decode, a filter chain and an encode in one pipeline, with the codecs'
# Threading off and on: Ogg Vorbis file -> TSNOggPlayer ! TSNVorbisDecompressor
# ! TSNLowPass ! TSNVorbisCompressor ! TSNOggLogger. Reports wall-clock and CPU
# time (user + system) of each run, alternating off and on, and the least and
# the median wall time of each. The input is made with ffmpeg and oggenc.
#
#   bench/codec-threading.sh [build/release/bin/sonorix] [seconds of audio] [runs]
set -euo pipefail

SONORIX=${1:-build/release/bin/sonorix}
SECONDS_OF_AUDIO=${2:-180}
RUNS=${3:-5}
for tool in ffmpeg oggenc; do
    command -v $tool >/dev/null || { echo "$tool is needed (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -x "$SONORIX" ] || { echo "no sonorix tool at $SONORIX" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
ffmpeg -v error -y -f lavfi \
    -i "aevalsrc=0.3*sin(2*PI*440*t)*sin(2*PI*0.5*t)+0.2*sin(2*PI*1250*t)|0.3*sin(2*PI*660*t)+0.05*random(0):s=44100:d=$SECONDS_OF_AUDIO" \
    -c:a pcm_s16le "$WORK/in.wav"
oggenc -Q -q 4 -o "$WORK/in.ogg" "$WORK/in.wav"

run() {
    python3 -c 'import resource, subprocess, sys, time
t = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, close_fds=False)
w = time.monotonic() - t
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.3f %.3f" % (w, r.ru_utime + r.ru_stime))' "$@"
}

declare -A walls=([off]="" [on]="")
echo "| run | threading | wall (s) | CPU (s) |"
echo "|---|---|---|---|"
for i in $(seq "$RUNS"); do
    for mode in off on; do
        option=""
        [ $mode = on ] && option=" Threading.Enabled=true"
        read -r wall cpu < <(run "$SONORIX" run --quiet \
            "TSNOggPlayer FileName=$WORK/in.ogg ! TSNVorbisDecompressor$option ! TSNLowPass ! TSNVorbisCompressor$option ! TSNOggLogger FileName=$WORK/out-$mode.ogg")
        walls[$mode]+="$wall "
        echo "| $i | $mode | $wall | $cpu |"
    done
done
stats() { tr ' ' '\n' <<< "$1" | grep . | sort -n | awk '{ a[NR] = $1 } END { printf "%.3f %.3f", a[1], a[int((NR + 1) / 2)] }'; }
read -r off_min off_med <<< "$(stats "${walls[off]}")"
read -r on_min on_med <<< "$(stats "${walls[on]}")"
echo
echo "least wall: off $off_min s, on $on_min s, speed-up $(awk -v a="$off_min" -v b="$on_min" 'BEGIN { printf "%.2f", a / b }')"
echo "median wall: off $off_med s, on $on_med s, speed-up $(awk -v a="$off_med" -v b="$on_med" 'BEGIN { printf "%.2f", a / b }')"
