#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds the release preset and runs the whole test
# suite. Exits non-zero when anything fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j2
ctest --preset release
