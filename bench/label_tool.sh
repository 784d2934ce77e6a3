#!/usr/bin/env bash
# Figures, not a test: quillon-label render as a whole process (start-up included) writing 1,
# 1,000 and 10,000 labels into one PDF, beside gLabels' batch renderer on the same records
# (bench/peer-label.glabels, batches of at most 1,000 as its memory needs). Wall time is the
# median of several runs; peak memory is the resident set size from /usr/bin/time.
#   bench/label_tool.sh [runs]        default 5 runs of each
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
runs=${1:-5}
if ! command -v glabels-3-batch >/dev/null; then
  echo "label_tool.sh: installing glabels for the comparison"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends glabels >/dev/null
fi
flock /tmp/quillon-build.lock bash -c 'cmake --preset release >/dev/null && cmake --build build/release --target quillon-label -j2 >/dev/null'

tool=build/release/tools/quillon-label
template=src/labels/LabBarcodeLabel.rpt
peer=bench/peer-label.glabels
work=$(mktemp -d /tmp/quillon-label-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
# No display: the tool chooses its headless platform itself, as on a server.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# The records bench_labels gives gLabels, in its columns: name, hn, group, barcode.
records() {
  awk -v n="$1" 'BEGIN {
    split("SANTOS,DELA CRUZ,REYES,GARCIA,MENDOZA,VILLANUEVA,BAUTISTA,AQUINO,CASTILLO,NAVARRO", s, ",")
    split("ANA,JUANA,PEDRO,MARIA LUISA,JOSE,ROSARIO,MIGUEL", g, ",")
    split("CHEM,HEMA,URINE,SERO,COAG", k, ",")
    print "name,hn,group,barcode"
    for (i = 0; i < n; i++)
      printf "\"%s %s\",\"%d\",\"%s\",\"24%08d\"\n", s[i % 10 + 1], g[i % 7 + 1], 100000 + i * 7, k[i % 5 + 1], 1150000 + i
  }'
}

# One run of a command: "<wall ms> <peak RSS kB>".
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; return 1; }
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000)) $(tail -n 1 "$work/rss")"
}

# The median wall time and the largest peak RSS of several runs: "<ms> <kB>".
median_of() {
  local n=$1; shift
  for _ in $(seq 1 "$n"); do measure "$@"; done |
    sort -n | awk '{ ms[NR] = $1; if ($2 > kb) kb = $2 } END { print ms[int((NR + 1) / 2)], kb }'
}

ours() { median_of "$runs" "$tool" render "$template" --records "$work/r$1.csv" -o "$work/ours-$1.pdf"; }

# gLabels on n records, in batches of at most 1,000: summed median times, the largest peak RSS.
theirs() {
  local n=$1 left=$1 batch ms=0 kb=0 m k
  while ((left > 0)); do
    batch=$((left < 1000 ? left : 1000))
    read -r m k < <(median_of "$(((runs + 1) / 2))" glabels-3-batch -i "$work/r$batch.csv" -o "$work/peer.pdf" "$peer")
    ms=$((ms + m)); kb=$((k > kb ? k : kb)); left=$((left - batch))
  done
  echo "$ms $kb"
}

for n in 1 1000 10000; do records "$n" >"$work/r$n.csv"; done

printf 'quillon-label render vs glabels-3-batch, whole process, records of bench_labels (%s runs, median)\n' "$runs"
printf 'load average at the start: %s (on %s cores; other work on the machine slows both alike)\n' \
  "$(cut -d' ' -f1 /proc/loadavg)" "$(nproc)"
printf '%-8s %12s %14s %10s   %12s %14s %10s   %9s\n' labels "ours ms" "ours ms/label" "ours MB" \
  "gLabels ms" "gLabels ms/lbl" "gLabels MB" "per label"
for n in 1 1000 10000; do
  read -r oms okb < <(ours "$n")
  pages=$(pdfinfo "$work/ours-$n.pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }')
  [ "${pages:-$n}" = "$n" ] || { echo "ours wrote $pages pages for $n records" >&2; exit 1; }
  if ((n <= 1000)); then
    read -r tms tkb < <(theirs "$n")
    awk -v n="$n" -v oms="$oms" -v okb="$okb" -v tms="$tms" -v tkb="$tkb" 'BEGIN {
      printf "%-8d %12d %14.3f %10.1f   %12d %14.3f %10.1f   %8.1fx\n", n, oms, oms / n, okb / 1024,
        tms, tms / n, tkb / 1024, (tms / n) / (oms / n) }'
  else
    awk -v n="$n" -v oms="$oms" -v okb="$okb" 'BEGIN {
      printf "%-8d %12d %14.3f %10.1f   %12s %14s %10s\n", n, oms, oms / n, okb / 1024, "-", "-", "-" }'
  fi
done
echo "aims: 1 label under 100 ms; 1,000 labels at least 10x faster per label than gLabels; memory flat"
