#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds the release preset and runs `sonorix demo`.
# Arguments go to `sonorix demo` (for example --duration 2 --wav out.wav).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j2 --target sonorix
exec "$root/build/release/bin/sonorix" demo "$@"
