#!/usr/bin/env bash
# Sets everything up and runs every test: unit, offscreen window and end-to-end tests, built with
# warnings as errors under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset asan >/dev/null
cmake --build --preset asan -j2
ctest --preset asan -j2
