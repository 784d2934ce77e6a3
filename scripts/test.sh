#!/usr/bin/env bash
# Sets everything up and runs every test: unit, offscreen window and end-to-end tests, built with
# warnings as errors under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
# The code stands as .clang-format lays it out.
if git rev-parse --git-dir >/dev/null 2>&1; then
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
fi
cmake --preset asan >/dev/null
cmake --build --preset asan -j2
# The Windows build and its installer, tested under Wine, where its dependencies are at hand.
bash scripts/windows.sh --if-deps
ctest --preset asan -j2
