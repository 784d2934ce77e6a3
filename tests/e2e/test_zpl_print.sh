#!/usr/bin/env bash
# The station prints to a network ZPL label printer (the simulated one, on loopback): a demo
# request straight over TCP, another through the spooler's stock ZPL driver; every label the
# printer receives is rendered by an independent ZPL renderer and scans back to the request's
# barcodes. Then the printer runs out of paper: Print Now stops with the printer's condition,
# nothing more is logged or printed; with paper again, Print Now prints every remaining request.
source "$(dirname "$0")/lib.sh" "$@"
ZPL_DIR="$SOURCE_DIR/tests/zpl"
[ -d "$ZPL_DIR/node_modules/zpl-renderer-js" ] || fail "the ZPL renderer is not installed: run scripts/setup.sh"
start_display
make_demo_lab
printf '[LabBarcodes]\nvkchkAutoPrintRequests=0\n' >"$XDG_CONFIG_HOME/quillon/Wrenfold.ini"

# The simulated printer: jobs to $WORK/jobs, its state from $WORK/control.
mkdir -p "$WORK/jobs"
"$BUILD_DIR/tests/simulated_printer" --port-file "$WORK/port" --jobs "$WORK/jobs" \
  --control "$WORK/control" >"$WORK/printer.log" 2>&1 &
PRINTER_PID=$!
trap 'kill "$PRINTER_PID" 2>/dev/null || true; cleanup' EXIT
for _ in $(seq 1 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
port=$(cat "$WORK/port")
[ -n "$port" ] || fail "the simulated printer did not start"

copy_station
point_template "zpl:tcp://127.0.0.1:$port"

jobs_count() { find "$WORK/jobs" -name 'job-*.zpl' | wc -l; }
wait_jobs() {
  local n=$1
  for _ in $(seq 1 240); do
    [ "$(jobs_count)" -ge "$n" ] && return 0
    sleep 0.25
  done
  fail "expected $n jobs at the printer, found $(jobs_count)"
}
# Renders the jobs numbered from $1 to $2 and prints every barcode read back, sorted.
scan_jobs() {
  local from=$1 to=$2 images="$WORK/images-$1" files=()
  mkdir -p "$images"
  for n in $(seq "$from" "$to"); do files+=("$WORK/jobs/job-$n.zpl"); done
  node "$ZPL_DIR/render.js" 50 25 8 "$images" "${files[@]}" >/dev/null || fail "a job does not render"
  for png in "$images"/*.png; do zbarimg -q --raw "$png" 2>/dev/null || true; done | sort
}
request_with_labels() { # the n-th newest demo request with several labels
  labdb "SELECT RefNum FROM tbLabMaster WHERE RequestStatus = 'X' GROUP BY RefNum
         HAVING count(DISTINCT Barcode) >= 2 ORDER BY max(Transdate) DESC LIMIT 1 OFFSET $1;"
}
barcodes_of() { labdb "SELECT DISTINCT Barcode FROM tbLabMaster WHERE RefNum = '$1';" | sort; }
logged_lines() { cat "$WORK"/PrintLog/*.txt 2>/dev/null | wc -l; }

open_station_window


# 1. Straight over TCP.
ref1=$(request_with_labels 0)
expected1=$(barcodes_of "$ref1")
n1=$(echo "$expected1" | wc -l)
print_by_hand "$ref1"
wait_jobs "$n1"
sleep 1
[ "$(jobs_count)" = "$n1" ] || fail "the printer received $(jobs_count) jobs for $n1 labels"
scanned=$(scan_jobs 1 "$n1")
[ "$scanned" = "$expected1" ] || fail "TCP labels scan back as [$scanned], expected [$expected1]"
[ "$(labdb "SELECT count(DISTINCT Barcode) FROM tbLabBarcodeMaster WHERE RefNum = '$ref1';")" = "$n1" ] ||
  fail "the database did not record the labels of $ref1"
grep -q -- "---$ref1"$'\r' "$WORK"/PrintLog/*.txt || fail "the print log does not hold $ref1"
screenshot zpl-tcp

# 2. A PDF through the spooler's stock ZPL driver, to the same printer.
bash "$SOURCE_DIR/scripts/cups.sh" zpl "$port"
point_template "LabelZPL"
ref2=$(request_with_labels 1)
expected2=$(barcodes_of "$ref2")
n2=$(echo "$expected2" | wc -l)
print_by_hand "$ref2"
wait_jobs $((n1 + n2))
sleep 1
scanned=$(scan_jobs $((n1 + 1)) $((n1 + n2)))
[ "$scanned" = "$expected2" ] || fail "driver labels scan back as [$scanned], expected [$expected2]"
grep -q -- "---$ref2"$'\r' "$WORK"/PrintLog/*.txt || fail "the print log does not hold $ref2"

# 3. Out of paper: Print Now stops at once with the printer's condition; nothing more is logged.
point_template "zpl:tcp://127.0.0.1:$port"
echo paper-out >"$WORK/control"
sleep 0.3
find_print_now
xdotool key alt+r # Refresh
sleep 3
lines=$(logged_lines)
before=$(jobs_count)
print_now
for _ in $(seq 1 60); do
  grep -q "The label printer at 127.0.0.1:$port is out of paper." "$WORK/station.log" && break
  sleep 0.25
done
grep -q "The label printer at 127.0.0.1:$port is out of paper." "$WORK/station.log" ||
  { cat "$WORK/station.log" >&2; fail "the station did not tell that the printer is out of paper"; }
screenshot zpl-paper-out
sleep 1
[ "$(logged_lines)" = "$lines" ] || fail "a request was logged while the printer was out of paper"
[ "$(jobs_count)" = "$before" ] || fail "a label was sent to a printer out of paper"

# 4. Paper again: Print Now prints every remaining request; each label scans back.
: >"$WORK/control"
sleep 0.3
print_now
still=0 last=-1
for _ in $(seq 1 240); do
  count=$(jobs_count)
  if [ "$count" = "$last" ]; then still=$((still + 1)); else still=0; fi
  [ "$count" -gt "$before" ] && [ "$still" -ge 8 ] && break
  last=$count
  sleep 0.25
done
after=$(jobs_count)
[ "$after" -gt "$before" ] || fail "nothing printed once the paper was back"
scanned=$(scan_jobs $((before + 1)) "$after")
recorded=$(labdb "SELECT DISTINCT Barcode FROM tbLabBarcodeMaster;" | sort)
all=$(printf '%s\n%s\n%s\n' "$expected1" "$expected2" "$scanned" | sort -u)
[ "$recorded" = "$all" ] || fail "the database recorded [$recorded], the labels scan back as [$all]"
[ "$(logged_lines)" -gt "$lines" ] || fail "nothing was logged once the paper was back"

kill "$STATION_PID"
wait "$STATION_PID" 2>/dev/null || true
STATION_PID=""
echo "e2e zpl print: passed ($n1 labels over TCP, $n2 through the ZPL driver, $((after - before)) after the paper was back)"
