#!/usr/bin/env bash
# Start-up of the real station on a demo lab database under Xvfb: time from launch until its window
# is mapped, and the process's peak memory. Usage: bench/startup.sh [build-dir] [runs]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
runs=${2:-5}
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb :77 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:77 QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" windir="$work\\Windows"
sleep 1
mkdir -p "$work/config/quillon"
"$build/labdb/quillon-labdb" demo "$work/lab.db" >/dev/null
printf '[Connection]\nServer=sqlite:%s\n' "$work/lab.db" >"$work/config/quillon/ORVANT Current User.ini"
for i in $(seq 1 "$runs"); do
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/rss" "$build/quillon" >/dev/null 2>&1 &
  station=$!
  until xdotool search --onlyvisible --name '^ Quillon$' >/dev/null 2>&1; do sleep 0.01; done
  end=$(date +%s%N)
  sleep 0.5
  pkill -x quillon || true
  wait "$station" 2>/dev/null || true
  printf 'run %d: window after %d ms, peak memory %d KiB\n' "$i" $(((end - start) / 1000000)) "$(tail -n 1 "$work/rss")"
done
