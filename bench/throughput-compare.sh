#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process cost of the simplest jobs, the sonorix tool beside sox,
# gst-launch-1.0 and ffmpeg, all in the same run on the same files: 10 minutes
# of 44.1 kHz stereo 16-bit WAV (a tone pair with noise, made by sox), files in
# and out through TSNLAVAudioPlayer and TSNLAVAudioLogger on our side. Each
# command runs N times; the median wall-clock and CPU (user + system) seconds
# are printed, then each job's ratio ours / fastest peer by wall time, by CPU
# time and by CPU time less each tool's own start-up. The last row is the
# start-up: the same WAV copy on a one-second file. The tools take turns run by
# run.
#
#   bench/throughput-compare.sh [build-dir] [runs]   (default build/release 3)
#
# Environment: AUDIO_SECONDS (default 600), JOBS (a space-separated subset of
# the job names below, default all).
#
# The algorithms of a job are comparable, not identical, between the tools:
# FIR is a 41-tap Hamming low pass at 1 kHz everywhere (sox fir and ffmpeg afir
# with the same taps, GStreamer's windowed sinc of 41 taps); IIR is an order-4
# low pass at 1 kHz (ours Butterworth, sox and ffmpeg two biquads, GStreamer a
# 4-pole Chebyshev); levels are one reading per 100 ms (sox stats reports once
# for the whole file); the spectrum is 256 points (ffmpeg's showspectrum runs
# at a few times real time and is left out). GStreamer and ffmpeg convert to
# float where their elements need it. The mixer's AudioFormat asks for the
# stereo output the peers write (without it the mixer's channel count is the
# sum of its inputs', a 4-channel file of twice the size) in buffers of the
# players' size.
#
# Installs sox, ffmpeg and the GStreamer tools and plugins from Debian when
# missing (needs root).
set -euo pipefail

build=${1:-build/release}
runs=${2:-3}
seconds=${AUDIO_SECONDS:-600}
jobs=${JOBS:-"read-wav read-flac wav-copy gain fir41 iir4 mix spectrum rms vu flac vorbis startup"}
sonorix="$build/bin/sonorix"
[[ -x $sonorix ]] || { echo "throughput-compare: $sonorix not built" >&2; exit 1; }

need=()
command -v sox > /dev/null || need+=(sox libsox-fmt-all)
command -v ffmpeg > /dev/null || need+=(ffmpeg)
command -v gst-launch-1.0 > /dev/null || need+=(gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
command -v bc > /dev/null || need+=(bc)
if ((${#need[@]})); then
    echo "throughput-compare: installing ${need[*]}"
    as_root=()
    ((EUID == 0)) || as_root=(sudo)
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}" > /dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
in="$work/in.wav"
sox -n -r 44100 -c 2 -b 16 "$in" synth "$seconds" sine 440 sine 660 whitenoise vol 0.3 2> /dev/null || \
    sox -n -r 44100 -c 2 -b 16 "$in" synth "$seconds" sine 440 vol 0.5
sox -n -r 44100 -c 2 -b 16 "$work/b.wav" synth "$seconds" sine 880 vol 0.5
sox -n -r 44100 -c 2 -b 16 "$work/short.wav" synth 1 sine 440 vol 0.5
ffmpeg -nostdin -loglevel error -y -i "$in" -c:a flac "$work/in.flac"

# 41 Hamming-windowed sinc taps for 1 kHz at 44.1 kHz, unity gain at DC, as
# text for sox and as a float WAV for ffmpeg's afir.
python3 - "$work" << 'PY'
import math, struct, sys
n, fc = 41, 1000.0 / 44100.0
h = []
for i in range(n):
    m = i - (n - 1) / 2
    s = 2 * fc if m == 0 else math.sin(2 * math.pi * fc * m) / (math.pi * m)
    h.append(s * (0.54 - 0.46 * math.cos(2 * math.pi * i / (n - 1))))
g = sum(h)
h = [x / g for x in h]
open(f"{sys.argv[1]}/taps.txt", "w").write("\n".join(repr(x) for x in h) + "\n")
data = struct.pack(f"<{n}f", *h)
hdr = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data), b"WAVE", b"fmt ", 16, 3, 1, 44100,
                  44100 * 4, 4, 32, b"data", len(data))
open(f"{sys.argv[1]}/ir.wav", "wb").write(hdr + data)
PY

# Median of $runs runs of a command: "wall cpu" in seconds. A failed run
# prints "fail fail".
median() {
    local walls=() cpus=() line
    for ((r = 0; r < runs; ++r)); do
        if ! line=$( { TIMEFORMAT='%3R %3U %3S'; time "$@" > /dev/null 2> "$work/err"; } 2>&1 | tail -1) ||
            [[ ! $line =~ ^[0-9.]+\ [0-9.]+\ [0-9.]+$ ]]; then
            echo "fail fail"
            echo "  failed: $* ($(tail -1 "$work/err"))" >&2
            return
        fi
        walls+=("$(awk '{ print $1 }' <<< "$line")")
        cpus+=("$(awk '{ print $2 + $3 }' <<< "$line")")
    done
    local mid=$((runs / 2))
    echo "$(printf '%s\n' "${walls[@]}" | sort -g | sed -n "$((mid + 1))p")" \
        "$(printf '%s\n' "${cpus[@]}" | sort -g | sed -n "$((mid + 1))p")"
}

player() { echo "TSNLAVAudioPlayer FileName=${1:-$in} BufferSize=4096"; }
logger() { echo "TSNLAVAudioLogger FileName=$work/$1"; }
sn() { median "$sonorix" run --quiet "$@"; }
gst() { median gst-launch-1.0 -q "$@"; }
ff() { median ffmpeg -nostdin -loglevel error -y -threads 1 "$@"; }
wavin() { echo "filesrc location=${1:-$in} ! wavparse"; }

# One job: its name, then "tool|command" per tool, each command a function
# call above. Prints the tools' medians and keeps them for the ratios.
declare -A wall_of cpu_of
job_names=()
# The tools take turns, one run each per round: the speed of a shared machine
# drifts by more than these ratios within a minute, and turns spread the drift
# over every tool of the job alike.
job() {
    local name=$1
    shift
    job_names+=("$name")
    local -A walls=() cpus=()
    local round entry
    for ((round = 0; round < runs; ++round)); do
        for entry in "$@"; do
            local tool=${entry%%|*} cmd=${entry#*|} wall cpu
            [[ ${walls[$tool]:-} == fail ]] && continue
            read -r wall cpu <<< "$(runs=1 eval "$cmd")"
            if [[ $wall == fail ]]; then
                walls[$tool]=fail
                continue
            fi
            walls[$tool]+="$wall "
            cpus[$tool]+="$cpu "
        done
    done
    local mid=$((runs / 2))
    for entry in "$@"; do
        local tool=${entry%%|*} wall=fail cpu=fail
        if [[ ${walls[$tool]} != fail ]]; then
            wall=$(tr ' ' '\n' <<< "${walls[$tool]}" | sed '/^$/d' | sort -g | sed -n "$((mid + 1))p")
            cpu=$(tr ' ' '\n' <<< "${cpus[$tool]}" | sed '/^$/d' | sort -g | sed -n "$((mid + 1))p")
        fi
        printf '%-10s %-8s wall %8s s   cpu %8s s\n' "$name" "$tool" "$wall" "$cpu"
        [[ $wall == fail ]] && continue
        wall_of[$name,$tool]=$wall
        cpu_of[$name,$tool]=$cpu
    done
}

# Ours / fastest peer, by wall time, by CPU time, and by CPU time less each
# tool's own start-up (the startup row's CPU), when that row was run.
ratios() {
    echo
    echo "job        ours/fastest peer: wall (peer)    cpu (peer)    cpu less start-up (peer)"
    for name in "${job_names[@]}"; do
        [[ -n ${wall_of[$name,sonorix]:-} ]] || continue
        local out="" kind
        for kind in wall cpu net; do
            local best="" best_tool="" tool value ours
            for tool in sox gst ffmpeg; do
                [[ -n ${wall_of[$name,$tool]:-} ]] || continue
                case $kind in
                wall) value=${wall_of[$name,$tool]} ;;
                cpu) value=${cpu_of[$name,$tool]} ;;
                net)
                    [[ $name != startup && -n ${cpu_of[startup,$tool]:-} ]] || continue
                    value=$(echo "${cpu_of[$name,$tool]} - ${cpu_of[startup,$tool]}" | bc -l) ;;
                esac
                if [[ -z $best ]] || (($(echo "$value < $best" | bc -l))); then
                    best=$value best_tool=$tool
                fi
            done
            case $kind in
            wall) ours=${wall_of[$name,sonorix]} ;;
            cpu) ours=${cpu_of[$name,sonorix]} ;;
            net) ours=$(echo "${cpu_of[$name,sonorix]} - ${cpu_of[startup,sonorix]:-0}" | bc -l) ;;
            esac
            if [[ -n $best ]] && (($(echo "$best > 0" | bc -l))); then
                out+=$(printf '  %6.2f (%-6s)' "$(echo "$ours / $best" | bc -l)" "$best_tool")
            else
                out+=$(printf '  %6s %8s' "-" "")
            fi
        done
        printf '%-10s%s\n' "$name" "$out"
    done
}

echo "$seconds s of 44.1 kHz stereo 16-bit; median of $runs runs; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for j in $jobs; do
    case $j in
    read-wav)
        job read-wav "sonorix|sn '$(player)'" "sox|median sox '$in' -n" \
            "gst|gst $(wavin) ! fakesink" "ffmpeg|ff -i '$in' -f null -" ;;
    read-flac)
        job read-flac "sonorix|sn '$(player "$work/in.flac")'" "sox|median sox '$work/in.flac' -n" \
            "gst|gst filesrc location='$work/in.flac' ! flacparse ! flacdec ! fakesink" \
            "ffmpeg|ff -i '$work/in.flac' -f null -" ;;
    wav-copy)
        job wav-copy "sonorix|sn '$(player) ! $(logger s.wav)'" "sox|median sox '$in' '$work/x.wav'" \
            "gst|gst $(wavin) ! wavenc ! filesink location='$work/g.wav'" \
            "ffmpeg|ff -i '$in' -c:a pcm_s16le '$work/f.wav'" ;;
    gain)
        job gain "sonorix|sn '$(player) ! TSNAmplifier Coefficient=0.5 ! $(logger s.wav)'" \
            "sox|median sox '$in' '$work/x.wav' vol 0.5" \
            "gst|gst $(wavin) ! volume volume=0.5 ! wavenc ! filesink location='$work/g.wav'" \
            "ffmpeg|ff -i '$in' -af volume=0.5 -c:a pcm_s16le '$work/f.wav'" ;;
    fir41)
        job fir41 "sonorix|sn '$(player) ! TSNLowPass Frequency=1000 Order=41 WindowType=wtHamming ! $(logger s.wav)'" \
            "sox|median sox '$in' '$work/x.wav' fir '$work/taps.txt'" \
            "gst|gst $(wavin) ! audioconvert ! audiowsinclimit mode=low-pass cutoff=1000 length=41 window=hamming ! audioconvert ! wavenc ! filesink location='$work/g.wav'" \
            "ffmpeg|ff -i '$in' -i '$work/ir.wav' -filter_complex '[0:a][1:a]afir=gtype=none:irfmt=mono,aformat=sample_fmts=s16[o]' -map '[o]' -c:a pcm_s16le '$work/f.wav'" ;;
    iir4)
        job iir4 "sonorix|sn '$(player) ! TSNLowPass Frequency=1000 FilterType=ftIIR IIRFilterType=iirButterworth Order=4 ! $(logger s.wav)'" \
            "sox|median sox '$in' '$work/x.wav' lowpass 1000 lowpass 1000" \
            "gst|gst $(wavin) ! audioconvert ! audiocheblimit mode=low-pass cutoff=1000 poles=4 ! audioconvert ! wavenc ! filesink location='$work/g.wav'" \
            "ffmpeg|ff -i '$in' -af lowpass=f=1000,lowpass=f=1000 -c:a pcm_s16le '$work/f.wav'" ;;
    mix)
        job mix "sonorix|sn '$(player) ! mix.InputPins[0]  $(player "$work/b.wav") ! mix.InputPins[1]  TSNAudioMixer name=mix Channels.Count=2 Channels[0].Coefficient=0.5 Channels[1].Coefficient=0.5 AudioFormat.Enabled=true AudioFormat.BufferSize=4096 ! $(logger s.wav)'" \
            "sox|median sox -m '$in' '$work/b.wav' '$work/x.wav'" \
            "gst|gst adder name=a ! wavenc ! filesink location='$work/g.wav' $(wavin) ! a. $(wavin "$work/b.wav") ! a." \
            "ffmpeg|ff -i '$in' -i '$work/b.wav' -filter_complex '[0][1]amix=inputs=2,aformat=sample_fmts=s16' -c:a pcm_s16le '$work/f.wav'" ;;
    spectrum)
        job spectrum "sonorix|sn '$(player) ! TSNSpectrum Order=8 Synchronize=false'" \
            "sox|median sox '$in' -n spectrogram -y 129 -x 1000 -o '$work/spec.png'" \
            "gst|gst $(wavin) ! audioconvert ! spectrum bands=129 interval=5805000 post-messages=true ! fakesink" ;;
    rms)
        job rms "sonorix|sn '$(player) ! TSNRMSMeter Period=100 SynchronizeType=stNone'" \
            "sox|median sox '$in' -n stats" \
            "gst|gst $(wavin) ! level interval=100000000 post-messages=true ! fakesink" \
            "ffmpeg|ff -i '$in' -af astats=reset=4410:metadata=1 -f null -" ;;
    vu)
        job vu "sonorix|sn '$(player) ! TSNVUMeter Period=100 SynchronizeType=stNone'" \
            "sox|median sox '$in' -n stats" \
            "gst|gst $(wavin) ! level interval=100000000 post-messages=true ! fakesink" \
            "ffmpeg|ff -i '$in' -af astats=reset=4410:metadata=1 -f null -" ;;
    flac)
        job flac "sonorix|sn '$(player) ! $(logger s.flac)'" "sox|median sox '$in' '$work/x.flac'" \
            "gst|gst $(wavin) ! flacenc ! filesink location='$work/g.flac'" \
            "ffmpeg|ff -i '$in' -c:a flac '$work/f.flac'" ;;
    vorbis)
        job vorbis "sonorix|sn '$(player) ! $(logger s.ogg)'" "sox|median sox '$in' '$work/x.ogg'" \
            "gst|gst $(wavin) ! audioconvert ! vorbisenc ! oggmux ! filesink location='$work/g.ogg'" \
            "ffmpeg|ff -i '$in' -c:a libvorbis '$work/f.ogg'" ;;
    startup)
        job startup "sonorix|sn '$(player "$work/short.wav") ! $(logger s.wav)'" \
            "sox|median sox '$work/short.wav' '$work/x.wav'" \
            "gst|gst $(wavin "$work/short.wav") ! wavenc ! filesink location='$work/g.wav'" \
            "ffmpeg|ff -i '$work/short.wav' -c:a pcm_s16le '$work/f.wav'" ;;
    *) echo "throughput-compare: unknown job $j" >&2 ;;
    esac
done

ratios
