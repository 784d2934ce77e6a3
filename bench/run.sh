#!/usr/bin/env bash
# Builds the benchmarks in the release configuration and runs the label benchmark, with gLabels'
# batch renderer as its peer (installed here when missing; it is not needed by the tests).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if ! command -v glabels-3-batch >/dev/null; then
  echo "run.sh: installing glabels for the comparison"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends glabels >/dev/null
fi
flock /tmp/quillon-build.lock bash -c 'cmake --preset release >/dev/null && cmake --build build/release --target bench_labels -j2'
./build/release/bench/bench_labels "$@"
