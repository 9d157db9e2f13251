#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds a sanitizer preset and runs the whole test suite under it.
#   scripts/sanitize.sh [asan|tsan|all]     (default: all)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

which=${1:-all}
case $which in
    asan) presets=(asan) ;;
    tsan) presets=(tsan) ;;
    all) presets=(asan tsan) ;;
    *)
        echo "usage: $0 [asan|tsan|all]" >&2
        exit 2
        ;;
esac

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:intercept_tls_get_addr=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1}

bash scripts/install-deps.sh

status=0
for preset in "${presets[@]}"; do
    echo "== sanitize: $preset"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j2
    if ! ctest --preset "$preset"; then
        echo "== sanitize: $preset FAILED" >&2
        status=1
    fi
done
exit $status
