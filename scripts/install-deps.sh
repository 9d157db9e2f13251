#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian 12 packages that building and testing SonorixPkg need,
# and only those that are missing: a second run is a quick no-op.
set -euo pipefail

packages=(
    # toolchain
    build-essential cmake ninja-build pkg-config git
    # tests and benchmarks
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    # codec and analysis libraries
    libogg-dev libvorbis-dev libspeex-dev
    libavcodec-dev libavformat-dev libavutil-dev libswresample-dev
    libfftw3-dev libflac-dev
    # external tools that the interoperability tests compare against
    ffmpeg vorbis-tools speex python3 python3-numpy python3-scipy graphviz
    # the analysis throughput comparison (bench/analysis-throughput.sh)
    sox
)

missing=()
for pkg in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    if [[ $status != "install ok installed" ]]; then
        missing+=("$pkg")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-deps: all ${#packages[@]} packages already installed"
    exit 0
fi

echo "install-deps: missing: ${missing[*]}"

as_root=()
if ((EUID != 0)); then
    if command -v sudo > /dev/null 2>&1; then
        echo "install-deps: not running as root; using sudo for apt-get"
        as_root=(sudo)
    else
        echo "install-deps: not running as root and sudo is not available." >&2
        echo "install-deps: run this script as root, or install: ${missing[*]}" >&2
        exit 1
    fi
fi

export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
echo "install-deps: installed ${missing[*]}"
