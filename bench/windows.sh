#!/usr/bin/env bash
# Start-up to a mapped window: the Windows build (build/mingw, installed from its MSI under Wine 8)
# beside the Debian build, on the same demo database, same machine, same run; prints each median
# and the ratio. Under Wine the figure is a sanity bound, not a Windows one.
# Usage: bench/windows.sh [linux-build-dir] [runs]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
runs=${2:-5}
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
until [ -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")" XDG_CONFIG_HOME="$work/config" windir="$work\\Windows"
mkdir -p "$work/config/quillon"
"$build/labdb/quillon-labdb" demo "$work/lab.db" >/dev/null
printf '[Connection]\nServer=sqlite:%s\n' "$work/lab.db" >"$work/config/quillon/ORVANT Current User.ini"
printf '[LabBarcodes]\nvkchkAutoPrintRequests=0\n' >"$work/config/quillon/Wrenfold.ini"
wineboot -i >/dev/null 2>&1
wine msiexec /i "$(winepath -w "$root/build/mingw/quillon.msi")" /qn 2>/dev/null
cp "$work/lab.db" "$WINEPREFIX/drive_c/lab.db"
settings='HKCU\Software\VB and VBA Program Settings'
wine reg add "$settings\\ORVANT Current User\\Connection" /v Server /d 'sqlite:C:\lab.db' /f >/dev/null 2>&1
wine reg add "$settings\\Wrenfold\\LabBarcodes" /v vkchkAutoPrintRequests /d 0 /f >/dev/null 2>&1

# Milliseconds from launch to the mapped window, median of the runs.
startup() {
  local times=()
  for _ in $(seq 1 "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 &
    local pid=$!
    until xdotool search --onlyvisible --name '^ Quillon$' >/dev/null 2>&1; do sleep 0.01; done
    end=$(date +%s%N)
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    times+=($(((end - start) / 1000000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}
debian=$(QT_QPA_PLATFORM=xcb startup "$build/quillon")
windows=$(startup wine 'C:\Program Files\Quillon\quillon.exe')
echo "start-up to window: Debian $debian ms, Windows under Wine $windows ms, ratio $(awk -v a="$windows" -v b="$debian" 'BEGIN { printf "%.1f", a / b }')"
