#!/usr/bin/env bash
# Sets everything up and starts the station on a fresh embedded demo database. Everything the demo
# writes stays in ./demo: its settings, lab database, print log and the printed labels (PDF files).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target quillon quillon-labdb

demo="$root/demo"
# A new lab database starts a new print log and label ledger: the old ones speak of its old labels.
rm -rf "$demo/PrintLog" "$demo/lab.db" "$demo/data/Quillon/label-ledger.db"*
mkdir -p "$demo/config/quillon" "$demo/station" "$demo/labels"
build/release/labdb/quillon-labdb demo "$demo/lab.db"
printf '[Connection]\nServer=sqlite:%s\n' "$demo/lab.db" >"$demo/config/quillon/ORVANT Current User.ini"

# The station reads its label template beside its executable: give the demo copy a template
# that writes each label as a PDF file into demo/labels.
cp build/release/quillon "$demo/station/quillon"
sed -E "s#(\"printer\"[[:space:]]*:[[:space:]]*)\"[^\"]*\"#\\1\"pdf:$demo/labels\"#" \
  src/labels/LabBarcodeLabel.rpt >"$demo/station/LabBarcodeLabel.rpt"

export XDG_CONFIG_HOME="$demo/config"
export XDG_DATA_HOME="$demo/data" # the station log: demo/data/Quillon/quillon.log
export windir="$demo\\Windows" # the print log goes to demo/PrintLog
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :99 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  export DISPLAY=:99
  echo "demo: no display found; the station runs on the virtual display :99"
  echo "demo: see it with: DISPLAY=:99 import -window root station.png"
fi
echo "demo: labels are written to $demo/labels, the print log to $demo/PrintLog,"
echo "demo: the station log to $demo/data/Quillon/quillon.log"
exec "$demo/station/quillon"
