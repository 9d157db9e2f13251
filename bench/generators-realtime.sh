#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process throughput of each generator through the sonorix tool, as a
# realtime factor: seconds of audio produced per second of wall-clock time.
#
#   bash bench/generators-realtime.sh [SONORIX] [SECONDS] [WAV] [RUNS]
#
# SONORIX defaults to build/release/bin/sonorix, SECONDS to 600, WAV (where
# the audio goes) to /dev/null, RUNS to 3 (the best run counts: the machine
# is shared). Prints one Markdown table row per pipeline.
set -euo pipefail

SONORIX=${1:-build/release/bin/sonorix}
SECONDS_OF_AUDIO=${2:-600}
WAV=${3:-/dev/null}
RUNS=${4:-3}

if [[ ! -x $SONORIX ]]; then
    echo "generators-realtime.sh: no sonorix at '$SONORIX' (build it first)" >&2
    exit 2
fi
if [[ ! -x /usr/bin/time ]]; then
    echo "generators-realtime.sh: /usr/bin/time is needed (Debian package 'time')" >&2
    exit 2
fi

PIPELINES=(
    "TSNSignalGen"
    "TSNSignalGen SignalType=atTriangle Frequency=1000"
    "TSNSignalGen SignalType=atSquare Frequency=1000"
    "TSNSignalGen SignalType=atSawToothUp Frequency=1000"
    "TSNRandomGen"
    "TSNGaussGen"
    "TSNSignalGen ! TSNAmplifier Coefficient=0.5"
)

echo "| Pipeline (44100 Hz, 16 bits, 2 channels, 1024 frames) | Wall s | User s | Realtime factor |"
echo "|---|---|---|---|"
for PIPELINE in "${PIPELINES[@]}"; do
    BEST_WALL=""
    BEST_USER=""
    for ((RUN = 0; RUN < RUNS; RUN++)); do
        TIMES=$( { /usr/bin/time -f "%e %U" "$SONORIX" run "$PIPELINE" --duration "$SECONDS_OF_AUDIO" \
                      --wav "$WAV" --quiet >/dev/null; } 2>&1 | tail -n 1)
        read -r WALL USER <<<"$TIMES"
        if [[ -z $BEST_WALL ]] || awk "BEGIN { exit !($WALL < $BEST_WALL) }"; then
            BEST_WALL=$WALL
            BEST_USER=$USER
        fi
    done
    FACTOR=$(awk "BEGIN { w = $BEST_WALL; if (w < 0.01) w = 0.01; printf \"%.0f\", $SECONDS_OF_AUDIO / w }")
    echo "| \`$PIPELINE\` | $BEST_WALL | $BEST_USER | ${FACTOR}x |"
done
