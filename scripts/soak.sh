#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The soak: builds the asan preset (AddressSanitizer + UBSan) and runs the
# disabled soak test, an hour of audio in virtual time from 8 generators
# through a mixer, a buffer queue and the libav logger into a WAV file. Prints
# resident memory and allocated bytes per minute of audio; fails when either
# grows after the first minute.
#
#   scripts/soak.sh [SECONDS] [--no-build]     (default: 3600 s of audio)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

seconds=3600
build=1
for argument in "$@"; do
    case $argument in
        --no-build) build=0 ;;
        *) seconds=$argument ;;
    esac
done

if ((build)); then
    bash scripts/install-deps.sh
    cmake --preset asan > /dev/null
    cmake --build --preset asan -j2 --target SonorixTests
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:intercept_tls_get_addr=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
SONORIX_SOAK_SECONDS=$seconds /usr/bin/time -f 'soak: peak rss %M KiB, %e s wall, %U s user' \
    build/asan/bin/SonorixTests --gtest_also_run_disabled_tests \
    --gtest_filter='SoakTest.DISABLED_AnHourThroughMixerQueueAndLoggerKeepsMemoryFlat'
