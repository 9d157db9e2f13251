#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Speex encode and decode through the sonorix tool beside speexenc and
# speexdec on the same files, in the same run: narrowband (8 kHz) and
# wideband (16 kHz) mono, quality 8 and complexity 3 (speexenc's defaults). Reports the least
# CPU time (user + system) of N runs, since on a loaded machine wall-clock
# time mostly measures waiting, for the whole process and without each
# side's fixed cost (the same job on 0.1 s of audio subtracted). Both sides
# use the same libspeex.
#
#   bench/speex-compare.sh [build/release/bin/sonorix] [seconds of audio] [runs]
set -euo pipefail

SONORIX=${1:-build/release/bin/sonorix}
SECONDS_OF_AUDIO=${2:-60}
RUNS=${3:-5}
for tool in speexenc speexdec ffmpeg; do
    command -v $tool >/dev/null || { echo "$tool is needed (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -x "$SONORIX" ] || { echo "no sonorix tool at $SONORIX" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

best_cpu() {
    local best=""
    for _ in $(seq "$RUNS"); do
        # getrusage of the child: microseconds, where time(1) prints hundredths.
        # Counted from before the run: the interpreter's own start may already
        # have reaped children of its own.
        local t
        t=$(python3 -c 'import resource, subprocess, sys
cpu = lambda r: r.ru_utime + r.ru_stime
before = cpu(resource.getrusage(resource.RUSAGE_CHILDREN))
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
print(cpu(resource.getrusage(resource.RUSAGE_CHILDREN)) - before)' "$@") || { echo "failed: $*" >&2; exit 1; }
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    done
    echo "$best"
}
ratio() { awk -v s="$1" -v f="$2" 'BEGIN { printf "%.3f", s / f }'; }
secs() { awk -v t="$1" 'BEGIN { printf "%.3f", t }'; }

# The same jobs on 0.1 s of audio measure each side's fixed cost (loading,
# set-up, the first page); the "excluding start-up" columns subtract it.
echo "| Job ($SECONDS_OF_AUDIO s mono, least CPU of $RUNS) | sonorix CPU (s) | speexenc/speexdec CPU (s) | ratio | sonorix minus 0.1 s job | peer minus 0.1 s job | ratio |"
echo "|---|---|---|---|---|---|---|"
for band in narrow:8000:snSpeexNarrowBand wide:16000:snSpeexWideband; do
    IFS=: read -r name rate mode <<< "$band"
    for length in "$SECONDS_OF_AUDIO" 0.1; do
        # A speech-like test signal: two tones and a little noise.
        ffmpeg -v error -y -f lavfi \
            -i "aevalsrc=0.3*sin(2*PI*300*t)+0.2*sin(2*PI*1200*t)+0.03*random(0):s=$rate:d=$length" \
            -c:a pcm_s16le "$WORK/$name-$length.wav"
        speexenc --quiet --$name "$WORK/$name-$length.wav" "$WORK/$name-$length.spx"
    done
    declare -A cpu=()
    for length in "$SECONDS_OF_AUDIO" 0.1; do
        cpu[enc_s$length]=$(best_cpu "$SONORIX" run --quiet \
            "TSNLAVAudioPlayer FileName=$WORK/$name-$length.wav BufferSize=4096 ! TSNSpeexCompressor BandMode=$mode Quality=0.8 Complexity=3 ! TSNOggLogger FileName=$WORK/out.spx")
        cpu[enc_o$length]=$(best_cpu speexenc --quiet --$name "$WORK/$name-$length.wav" "$WORK/ref.spx")
        cpu[dec_s$length]=$(best_cpu "$SONORIX" run --quiet --wav "$WORK/out.wav" \
            "TSNOggPlayer FileName=$WORK/$name-$length.spx ! TSNSpeexDecompressor AudioFormat.SampleRate=$rate AudioFormat.Channels=1 AudioFormat.BufferSize=4096")
        cpu[dec_o$length]=$(best_cpu speexdec "$WORK/$name-$length.spx" "$WORK/ref.wav")
    done
    for job in enc:encode dec:"decode to WAV"; do
        IFS=: read -r key label <<< "$job"
        s=${cpu[${key}_s$SECONDS_OF_AUDIO]} o=${cpu[${key}_o$SECONDS_OF_AUDIO]}
        s_net=$(awk -v a="$s" -v b="${cpu[${key}_s0.1]}" 'BEGIN { print a - b }')
        o_net=$(awk -v a="$o" -v b="${cpu[${key}_o0.1]}" 'BEGIN { print a - b }')
        echo "| $label, $name band | $(secs "$s") | $(secs "$o") | $(ratio "$s" "$o") | $(secs "$s_net") | $(secs "$o_net") | $(ratio "$s_net" "$o_net") |"
    done
done
startup=$(best_cpu "$SONORIX" --version)
echo "| start-up: sonorix --version | $(secs "$startup") | | | | | |"
