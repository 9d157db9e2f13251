#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) and runs each
# with a budget, starting from the seeds in fuzz/corpus/<target>/. New inputs
# go to build/fuzz/corpus/<target>/ (never into the committed seeds); findings
# go to build/fuzz/findings/ and make the script fail.
#
#   scripts/fuzz.sh [--runs N | --time S] [--jobs J] [--workers W] [--timeout S] [--no-build] [TARGET...]
#
#   --runs N     stop each target after N executions
#   --time S     stop each target after S seconds (default: 60)
#   --jobs J     run J targets at once (default: 1)
#   --workers W  run W processes of each target on its one corpus, each
#                picking up what the others add; --runs N is shared among
#                them (default: 1)
#   --timeout S  an input running longer than S seconds of wall-clock time is
#                a finding (default: 10; raise it when the fuzzers run at a low
#                priority beside other work, which can stall them that long)
#   --no-build   use the targets already in build/fuzz/bin
#
# With both budgets, a target stops at whichever comes first. Prints one line
# per target: executions, seconds, executions per second, corpus size, peak
# memory and findings. Installs clang and its fuzzer runtime from Debian when
# missing (needs root).
set -euo pipefail
# One compound command: bash reads it whole before running it, so editing
# this file during a long run cannot change what the run does.
{
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

runs=-1
seconds=
jobs=1
workers=1
timeout=10
build=1
targets=()
while (($# > 0)); do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --time) seconds=$2; shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        --workers) workers=$2; shift 2 ;;
        --timeout) timeout=$2; shift 2 ;;
        --no-build) build=0; shift ;;
        -h | --help) sed -n '3,24p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [0-9]*) seconds=$1; shift ;; # the old positional form: SECONDS first
        -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done
[[ -n $seconds || $runs != -1 ]] || seconds=60
((${#targets[@]} > 0)) || targets=(PipelineFuzz CodecPacketFuzz OggPlayerFuzz VorbisPacketFuzz SpeexPacketFuzz StoredGraphFuzz)

if ((build)); then
    bash scripts/install-deps.sh
    if ! command -v clang++ > /dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a > /dev/null 2>&1; then
        as_root=()
        ((EUID == 0)) || as_root=(sudo)
        "${as_root[@]}" apt-get install -y --no-install-recommends clang libclang-rt-14-dev > /dev/null
    fi
    cmake --preset fuzz > /dev/null
    cmake --build --preset fuzz -j2 --target "${targets[@]}"
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:intercept_tls_get_addr=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p build/fuzz/findings

# One target: its log is build/fuzz/<target>.log, its summary line on stdout.
fuzz_one() {
    local target=$1 corpus=build/fuzz/corpus/$1 log=build/fuzz/$1.log
    mkdir -p "$corpus"
    # Bad input may be refused, never answered with a crash, a hang or an
    # allocation beyond these limits. Ogg files and Vorbis streams carry a
    # set-up header of a few KiB; 8 KiB of Vorbis packets hold the headers
    # of a usual stream (3 to 4 KiB in the seeds) and as much again of audio
    # packets, and longer streams only cost time: an execution fed in blocks
    # of 1 to 16 bytes takes time in proportion to its length (per worker,
    # 1800 execs/s while the inputs stayed short, 950 at 16 KiB, 400 once
    # libFuzzer let them grow past 30 KiB under 64 KiB). Speex packets are tens of
    # bytes, and 1 KiB holds the headers and a dozen of them.
    local max_len=4096
    case $target in
        OggPlayerFuzz) max_len=65536 ;;
        VorbisPacketFuzz) max_len=8192 ;;
        SpeexPacketFuzz) max_len=1024 ;;
    esac
    # Each worker runs its share of the executions and writes its own log
    # (the first: build/fuzz/<target>.log, the others <target>.<n>.log).
    local share=$runs
    ((runs < 0)) || share=$(((runs + workers - 1) / workers))
    local budget=(-runs="$share")
    [[ -z $seconds ]] || budget+=(-max_total_time="$seconds")
    local started=$SECONDS status=0 worker wpids=() logs=()
    for ((worker = 1; worker <= workers; ++worker)); do
        local wlog=$log
        ((worker == 1)) || wlog=build/fuzz/$target.$worker.log
        logs+=("$wlog")
        "build/fuzz/bin/$target" "$corpus" "fuzz/corpus/$target" "${budget[@]}" \
            -timeout="$timeout" -rss_limit_mb=2048 -malloc_limit_mb=1024 -max_len=$max_len \
            -artifact_prefix="build/fuzz/findings/$target-" -print_final_stats=1 > "$wlog" 2>&1 &
        wpids+=($!)
    done
    # libFuzzer leaves with 72 when interrupted: not a finding, and no
    # worker's interruption hides another's finding.
    local interrupted= code
    for worker in "${wpids[@]}"; do
        code=0
        wait "$worker" || code=$?
        if ((code == 72)); then
            interrupted=" (interrupted)"
        elif ((code != 0)); then
            status=$code
        fi
    done
    local elapsed=$((SECONDS - started)) execs=0 rate units rss=0 findings n
    for wlog in "${logs[@]}"; do
        n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$wlog" | tail -n 1)
        execs=$((execs + ${n:-0}))
        n=$(sed -n 's/^stat::peak_rss_mb: *//p' "$wlog" | tail -n 1)
        ((${n:-0} <= rss)) || rss=$n
    done
    units=$(find "$corpus" -type f | wc -l)
    findings=$(find build/fuzz/findings -name "$target-*" -type f | wc -l)
    ((elapsed > 0)) && rate=$((execs / elapsed)) || rate=-
    printf '%-18s execs %-10s seconds %-6s execs/s %-7s corpus %-6s peak_rss_mb %-5s findings %s%s\n' \
        "$target" "$execs" "$elapsed" "$rate" "$units" "$rss" "$findings" \
        "$interrupted$( ((status == 0)) || echo " (exit $status, see $log)")"
    return $status
}

status=0
pids=()
for target in "${targets[@]}"; do
    fuzz_one "$target" &
    pids+=($!)
    if ((${#pids[@]} >= jobs)); then
        wait "${pids[0]}" || status=1
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do
    wait "$pid" || status=1
done
if ((status != 0)); then
    echo "== fuzz: findings in build/fuzz/findings" >&2
fi
exit $status
}
