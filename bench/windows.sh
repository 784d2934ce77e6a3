#!/usr/bin/env bash
# Start-up to a mapped window, and Print Now per label: the Windows build (build/mingw, installed
# from its MSI under Wine 8) beside the Debian build, on the same demo database, same machine, same
# run; prints each median and the ratio. Under Wine the figures are a sanity bound, not Windows ones.
# Usage: bench/windows.sh [linux-build-dir] [runs]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
runs=${2:-5}
# The end-to-end tests' display, private folders, template and Print Now helpers.
source "$root/tests/e2e/lib.sh" "$build/quillon" "$root"
work=$WORK
unset QT_QPA_PLATFORM ASAN_OPTIONS LSAN_OPTIONS # set per Debian run; the Windows build takes its own
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; cleanup' EXIT
start_display
"$LABDB_TOOL" demo "$work/lab.db" >/dev/null
cp "$work/lab.db" "$work/demo.db" # as made: every request unprinted
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
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
echo "start-up to window: Debian $debian ms, Windows under Wine $windows ms, ratio $(ratio "$windows" "$debian") (Wine: a sanity bound)"

# Print Now over the recent list, labels as PDF files: from the click to the last label file's
# time, divided by the labels. Each run on a fresh copy of the demo database, with no print log,
# label journal or label. Prints "<median ms per label> <labels>".
printnow() { # the station's database, its label folder, its other written folders, command...
  local db=$1 folder=$2 written=$3 runs_ms=() labels=0
  shift 3
  for _ in $(seq 1 "$runs"); do
    # shellcheck disable=SC2086 # the folders' paths hold no blanks (mktemp's)
    rm -rf "$folder" $written
    mkdir -p "$folder"
    cp "$work/demo.db" "$db"
    "$@" >/dev/null 2>&1 &
    local pid=$! win="" start last now count=-1
    until win=$(xdotool search --onlyvisible --name '^ Quillon$' 2>/dev/null | head -n 1) && [ -n "$win" ]; do
      kill -0 "$pid" 2>/dev/null || { echo "windows.sh: the station ended: $*" >&2; exit 1; }
      sleep 0.05
    done
    xdotool windowfocus --sync "$win" key alt+r # Refresh
    sleep 3
    find_print_now
    start=$(date +%s%N)
    print_now
    # Done when two seconds bring no new label (two minutes at most).
    for _ in $(seq 1 60); do
      sleep 2
      now=$(find "$folder" -name '*.pdf' | wc -l)
      [ "$now" -gt 0 ] && [ "$now" = "$count" ] && break
      count=$now
    done
    [ "$count" -gt 0 ] || { echo "windows.sh: Print Now printed nothing: $*" >&2; exit 1; }
    last=$(find "$folder" -name '*.pdf' -printf '%T@\n' | sort -n | tail -n 1)
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    labels=$count
    runs_ms+=("$(awk -v l="$last" -v s="$start" -v n="$count" 'BEGIN { printf "%.1f", (l * 1e9 - s) / 1e6 / n }')")
  done
  echo "$(printf '%s\n' "${runs_ms[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p") $labels"
}
point_template "pdf:$work/labels" "$work/LabBarcodeLabel.rpt"
cp "$build/quillon" "$work/quillon" # the template beside the executable
point_template pdf:C:/labels "$WINEPREFIX/drive_c/Program Files/Quillon/LabBarcodeLabel.rpt"
read -r debian n_debian < <(QT_QPA_PLATFORM=xcb printnow "$work/lab.db" "$work/labels" \
  "$work/PrintLog $work/data" "$work/quillon")
read -r windows n_windows < <(printnow "$WINEPREFIX/drive_c/lab.db" "$WINEPREFIX/drive_c/labels" \
  "$WINEPREFIX/drive_c/PrintLog $(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local/Quillon)" \
  wine 'C:\Program Files\Quillon\quillon.exe')
echo "Print Now per label ($n_debian and $n_windows PDF labels): Debian $debian ms, Windows under Wine $windows ms, ratio $(ratio "$windows" "$debian") (Wine: a sanity bound)"
