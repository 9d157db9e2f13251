#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs a configured and built SonorixPkg tree into a temporary prefix and
# builds tests/install against it twice: with find_package() and with
# pkg-config. Both consumers must build and run. Then the example module of
# examples/ is built against the same tree and run by the installed tool.
#
#   check-install.sh BUILD_DIR [CONSUMER_SOURCE_DIR]
#
# CXX picks the compiler; SONORIX_CONSUMER_FLAGS (";"- or space-separated)
# carries the package's sanitizer flags, since a sanitized library only runs
# inside a sanitized program.
set -euo pipefail

build_dir=$(cd "${1:?usage: check-install.sh BUILD_DIR [CONSUMER_SOURCE_DIR]}" && pwd)
consumer_dir=$(cd "${2:-$(dirname "${BASH_SOURCE[0]}")}" && pwd)
cxx=${CXX:-c++}
read -r -a extra_flags <<< "${SONORIX_CONSUMER_FLAGS//;/ }"

work=$(mktemp -d "${TMPDIR:-/tmp}/sonorix-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

echo "== cmake --install into $prefix"
cmake --install "$build_dir" --prefix "$prefix" > "$work/install.log" || {
    cat "$work/install.log"
    exit 1
}

libdir=$(dirname "$(find "$prefix" -name 'libSonorixPkg.so' -print -quit)")
pcdir=$(dirname "$(find "$prefix" -name 'SonorixPkg.pc' -print -quit)")
for f in "$libdir/libSonorixPkg.so" "$libdir/libVorbisDLL.so" "$libdir/libOggDLL.so" "$pcdir/SonorixPkg.pc" "$prefix/include/SonorixPkg/SNTypes.h"; do
    [[ -e $f ]] || { echo "missing after install: $f" >&2; exit 1; }
done

echo "== consumer with find_package(SonorixPkg)"
cmake -S "$consumer_dir" -B "$work/cmake-build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_CXX_FLAGS="${extra_flags[*]}" \
    -DCMAKE_PREFIX_PATH="$prefix" > "$work/configure.log" || {
    cat "$work/configure.log"
    exit 1
}
cmake --build "$work/cmake-build"
"$work/cmake-build/sonorix_consumer"

echo "== consumer with pkg-config"
export PKG_CONFIG_PATH="$pcdir${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
pkg-config --exists --print-errors SonorixPkg
read -r -a pc_flags <<< "$(pkg-config --cflags --libs SonorixPkg)"
echo "pkg-config --cflags --libs SonorixPkg: ${pc_flags[*]}"
"$cxx" -std=c++20 "${extra_flags[@]}" "$consumer_dir/main.cpp" -o "$work/pc-consumer" "${pc_flags[@]}"
LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$work/pc-consumer"

echo "== the example module against the installed package, run by the installed tool"
example_dir=$(cd "$consumer_dir/../../examples/gain-module" && pwd)
cmake -S "$example_dir" -B "$work/module-build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_CXX_FLAGS="${extra_flags[*]}" \
    -DCMAKE_PREFIX_PATH="$prefix" > "$work/module-configure.log" || {
    cat "$work/module-configure.log"
    exit 1
}
cmake --build "$work/module-build"
"$prefix/bin/sonorix" --load "$work/module-build/libSNExampleGain.so" run --quiet --duration 0.1 \
    --wav "$work/gain.wav" 'TSNSignalGen ! TSNExampleGain GainDB=-6'
# The libav module is found beside the installed library, without a path.
"$prefix/bin/sonorix" run --quiet --duration 0.1 "TSNSignalGen ! TSNLAVAudioLogger FileName=$work/tone.flac"
[[ -s $work/gain.wav && -s $work/tone.flac ]] || { echo "the installed tool wrote no audio" >&2; exit 1; }

echo "install_consumer: both consumers built and ran, and the installed tool ran the example module"
