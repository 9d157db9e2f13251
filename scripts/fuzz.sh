#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) and runs each
# for a while, starting from the seeds in fuzz/corpus/. Findings are written
# to build/fuzz/findings/ and make the script fail.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      (default: 60 s, every target)
#
# Installs clang and its fuzzer runtime from Debian when missing (needs root).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]} > 0)) || targets=(PipelineFuzz CodecPacketFuzz OggPlayerFuzz VorbisPacketFuzz SpeexPacketFuzz StoredGraphFuzz)

bash scripts/install-deps.sh
if ! command -v clang++ > /dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a > /dev/null 2>&1; then
    as_root=()
    ((EUID == 0)) || as_root=(sudo)
    "${as_root[@]}" apt-get install -y --no-install-recommends clang libclang-rt-14-dev > /dev/null
fi

cmake --preset fuzz > /dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p build/fuzz/findings
status=0
for target in "${targets[@]}"; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    echo "== fuzz: $target for $seconds s"
    # Bad input may be refused, never answered with a crash, a hang or an
    # allocation beyond these limits.
    log=build/fuzz/$target.log
    # Ogg files and Vorbis streams carry a set-up header of a few KiB.
    max_len=4096
    case $target in OggPlayerFuzz | VorbisPacketFuzz) max_len=65536 ;; esac
    if "build/fuzz/bin/$target" "$corpus" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 -max_len=$max_len \
        -artifact_prefix="build/fuzz/findings/$target-" -print_final_stats=1 > "$log" 2>&1; then
        grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log" || true
    else
        tail -n 40 "$log"
        status=1
    fi
done
if ((status != 0)); then
    echo "== fuzz: findings in build/fuzz/findings" >&2
fi
exit $status
