# Shared helpers of the end-to-end tests: a private X display, a private configuration and print-log
# folder, a demo lab database, and the real station executable.
# Usage from a test: source lib.sh "$@"   (arguments: path to quillon, source folder)
set -euo pipefail

QUILLON=${1:?path to the quillon executable}
SOURCE_DIR=${2:?source folder}
BUILD_DIR=$(cd "$(dirname "$QUILLON")" && pwd)
LABDB_TOOL="$BUILD_DIR/labdb/quillon-labdb"
WORK=$(mktemp -d /tmp/quillon-e2e.XXXXXX)
SHOTS="$BUILD_DIR/e2e-shots"
mkdir -p "$SHOTS" "$WORK/config/quillon"
export XDG_CONFIG_HOME="$WORK/config"
export XDG_DATA_HOME="$WORK/data" # the station log: $XDG_DATA_HOME/Quillon/quillon.log
export windir="$WORK\\Windows"
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$SOURCE_DIR/tests/lsan.supp:print_suppressions=0"
XVFB_PID=""
STATION_PID=""
TDS_PID=""

fail() { echo "FAIL: $*" >&2; exit 1; }

cleanup() {
  [ -n "$STATION_PID" ] && kill "$STATION_PID" 2>/dev/null || true
  [ -n "$TDS_PID" ] && kill "$TDS_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

start_display() {
  # Xvfb picks a free display itself and writes its number once it accepts connections.
  local numberfile="$WORK/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 100); do
    [ -s "$numberfile" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb did not start"
    sleep 0.1
  done
  [ -s "$numberfile" ] || fail "Xvfb did not report its display"
  export DISPLAY=":$(head -n 1 "$numberfile")"
}

# Creates the demo lab database and stores the connection settings for it.
make_demo_lab() {
  "$LABDB_TOOL" demo "$WORK/lab.db" >/dev/null
  printf '[Connection]\nServer=sqlite:%s\n' "$WORK/lab.db" >"$XDG_CONFIG_HOME/quillon/ORVANT Current User.ini"
}

# The station reads its label template beside its executable: a copy of both in $WORK/station,
# the template's printer set by point_template.
copy_station() {
  mkdir -p "$WORK/station"
  cp "$QUILLON" "$WORK/station/quillon"
  QUILLON="$WORK/station/quillon"
}
point_template() { # printer [the template written, the station's copy by default]
  sed -E "s#(\"printer\"[[:space:]]*:[[:space:]]*)\"[^\"]*\"#\\1\"$1\"#" \
    "$SOURCE_DIR/src/labels/LabBarcodeLabel.rpt" >"${2:-$WORK/station/LabBarcodeLabel.rpt}"
}

start_station() {
  "$QUILLON" "$@" >"$WORK/station.log" 2>&1 &
  STATION_PID=$!
}

# Starts the station and waits for its window, focused; its id in $win for the helpers below.
open_station_window() {
  start_station
  win=$(wait_window '^ Quillon$')
  xdotool windowfocus --sync "$win"
  sleep 0.5
}

# Waits until a window whose name matches the pattern is mapped; prints its id.
wait_window() {
  local pattern=$1 id
  for _ in $(seq 1 150); do
    id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$STATION_PID" 2>/dev/null || { cat "$WORK/station.log" >&2; fail "the station ended early"; }
    sleep 0.2
  done
  cat "$WORK/station.log" >&2
  fail "no window named '$pattern' appeared"
}

screenshot() {
  import -window root "$SHOTS/$1.png"
  [ -s "$SHOTS/$1.png" ] || fail "screenshot $1 is empty"
}

# Waits for the station to end; its exit status goes to STATION_STATUS.
wait_station_exit() {
  STATION_STATUS=0
  for _ in $(seq 1 100); do
    kill -0 "$STATION_PID" 2>/dev/null || break
    sleep 0.1
  done
  wait "$STATION_PID" || STATION_STATUS=$?
  STATION_PID=""
}

# The PDF files the spooler's PDF printer (or the station, into $PDF_FOLDER) wrote after the marker
# file was made.
SPOOL_MARKER="$WORK/spool-marker"
mark_spool() { touch "$SPOOL_MARKER"; sleep 1; }
spooled_pdfs() {
  find "${PDF_FOLDER:-$(bash "$SOURCE_DIR/scripts/cups.sh" outdir)}" -maxdepth 1 -name '*.pdf' \
    -newer "$SPOOL_MARKER" 2>/dev/null | sort
}

# Fails unless the labels spooled since the marker scan back as the barcodes given (sorted, one a
# line); with a second argument a label printed twice counts once.
expect_scanned() {
  local scanned
  scanned=$(spooled_pdfs | while read -r pdf; do scan_pdf "$pdf"; done | sort ${2:+-u})
  [ "$scanned" = "$1" ] || fail "the labels scanned back as [$scanned], expected [$1]"
}

# Waits until at least n new PDF files have landed and no more arrive for a moment.
wait_spooled() {
  local n=$1 count=0 last=-1
  for _ in $(seq 1 120); do
    count=$(spooled_pdfs | wc -l)
    if [ "$count" -ge "$n" ] && [ "$count" = "$last" ]; then
      return 0
    fi
    last=$count
    sleep 0.5
  done
  fail "expected $n printed labels in the spooler's folder, found $count"
}

# The barcode a printed label carries, scanned from its rasterised page.
scan_pdf() {
  local pdf=$1 png="$WORK/scan"
  pdftoppm -q -r 300 -png -singlefile "$pdf" "$png"
  zbarimg -q --raw "$png.png" 2>/dev/null | head -n 1
}

# As a scanner does: the number typed into the station window ($win) and Enter, then Print, which
# has the focus after a lookup.
print_by_hand() {
  xdotool windowfocus --sync "$win"
  xdotool type --delay 30 "$1"
  xdotool key Return
  sleep 1.5
  screenshot lookup
  xdotool key space
}

# Defines print_now: a click on Print Now in the station window ($win). The window has no frame
# under Xvfb, its working area is centred in it, and design places are twips (15 to a pixel at
# 96 dpi).
find_print_now() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  read -r print_x print_y < <(awk -v x="$X" -v y="$Y" -v w="$WIDTH" -v h="$HEIGHT" 'BEGIN {
    left = (w * 15 / 2 - 12465 / 2) / 15; top = (h * 15 / 2 - 10155 / 2) / 15
    printf "%d %d\n", x + left + (9480 + 1845 / 2) / 15, y + top + (360 + 465 / 2) / 15 }')
  print_now() { xdotool mousemove --sync "$print_x" "$print_y" click 1; }
}

# The TDS test server over $WORK/lab.db (arguments passed on), on a free loopback port: $port.
# What it was sent, and refused, goes to $WORK/tds.log.
start_tds_server() {
  /usr/bin/python3 "$SOURCE_DIR/tests/support/tds_server.py" "$WORK/lab.db" "$@" >"$WORK/port" 2>"$WORK/tds.log" &
  TDS_PID=$!
  for _ in $(seq 1 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
  port=$(sed -n 's/^port //p' "$WORK/port")
  [ -n "$port" ] || fail "the TDS test server did not start: $(cat "$WORK/tds.log")"
}

labdb() { sqlite3 -batch -noheader "$WORK/lab.db" "$1"; }

# Runs a command every 0.1 s until it succeeds, for at most the seconds given: its success.
wait_until() { local end=$((SECONDS + $1)); shift; until "$@"; do ((SECONDS < end)) || return 1; sleep 0.1; done; }

# The requests the recent list shows and their labels: sets recent (the query), requests,
# labels (how many) and expected (their barcodes, sorted).
recent_requests() {
  recent="SELECT DISTINCT A.RefNum FROM tbLabMaster A
          JOIN tbcolabexam B ON A.ItemId = B.LabexamId
          WHERE A.RequestStatus = 'X' AND B.Form <> 'P'
          AND A.Transdate >= strftime('%Y-%m-%d %H:%M:00', 'now', 'localtime', '-359 minutes')"
  requests=$(labdb "$recent;")
  [ -n "$requests" ] || fail "the demo database has no recent request"
  labels=$(labdb "SELECT count(DISTINCT Barcode) FROM tbLabMaster WHERE RefNum IN ($recent);")
  expected=$(labdb "SELECT DISTINCT Barcode FROM tbLabMaster WHERE RefNum IN ($recent) AND Barcode IS NOT NULL;" | sort)
}
