#!/usr/bin/env bash
# Refresh lists the demo requests of the last six hours; Print Now prints every one of them
# through the system spooler, once per label, records them in the database and the day's print
# log; a request whose barcode cannot be printed fails alone, unlogged, and every other label
# scans back; a second Print Now prints nothing more. Labels that appear after their request was
# printed (an exam added, a blank barcode filled in) print once, by themselves.
source "$(dirname "$0")/lib.sh" "$@"
start_display
make_demo_lab
# Automatic printing off, so every label comes from Print Now.
printf '[LabBarcodes]\nvkchkAutoPrintRequests=0\n' >"$XDG_CONFIG_HOME/quillon/Wrenfold.ini"

recent_requests
first=$(echo "$requests" | head -n 1)
last=$(echo "$requests" | tail -n 1)
# A label of the first request has no barcode yet: it is passed over, the request completes.
copy_item() { # request, suffix of the new item's number, barcode (SQL)
  labdb "INSERT INTO tbLabMaster (RequestNum, RefNum, Transdate, RequestStatus, ItemId, HospNum,
           IdNum, SpecimenId, SectionId, ProfileId, Barcode, InstrumentId)
         SELECT RequestNum || '$2', RefNum, Transdate, RequestStatus, ItemId, HospNum, IdNum,
           SpecimenId, SectionId, ProfileId, $3, InstrumentId FROM tbLabMaster
         WHERE RefNum = '$1' LIMIT 1;"
}
copy_item "$first" N NULL
# A poison request among them: a copy of a recent item whose barcode Code 128 cannot encode.
labdb "INSERT INTO tbLabMaster (RequestNum, RefNum, Transdate, RequestStatus, ItemId, HospNum,
         IdNum, SpecimenId, SectionId, ProfileId, Barcode, InstrumentId)
       SELECT RequestNum || 'P', 'POISON1', strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime',
         '-1 minutes'), 'X', ItemId, HospNum, IdNum, SpecimenId, SectionId, ProfileId, 'B3€0',
         InstrumentId FROM tbLabMaster WHERE RefNum IN ($recent) LIMIT 1;"

open_station_window
find_print_now


xdotool key alt+r # Refresh
sleep 3

# Waits until n new labels have landed and no more arrive for a few seconds; prints the count.
wait_labels() {
  local n=$1 count=0 last=-1 still=0
  for _ in $(seq 1 360); do
    count=$(spooled_pdfs | wc -l)
    if [ "$count" = "$last" ]; then still=$((still + 1)); else still=0; fi
    [ "$count" -ge "$n" ] && [ "$still" -ge 6 ] && break
    last=$count
    sleep 0.5
  done
  echo "$count"
}

mark_spool
print_now
count=$(wait_labels "$labels")
screenshot autoprint
[ "$count" = "$labels" ] || fail "Print Now printed $count labels, expected $labels"

recorded=$(labdb "SELECT DISTINCT Barcode FROM tbLabBarcodeMaster;" | sort)
[ "$recorded" = "$expected" ] || fail "the database recorded [$recorded], expected [$expected]"
dates=$(labdb "SELECT count(DISTINCT RequestNum) FROM tbLabBarcodeDate;")
items=$(labdb "SELECT count(*) FROM tbLabMaster WHERE RefNum IN ($recent) AND Barcode IS NOT NULL;")
[ "$dates" -ge 1 ] && [ "$dates" -le "$items" ] || fail "the database holds date records of $dates items"

# Each request's day file: the cycle's entry, then one entry per printed label.
for ref in $requests; do
  day=$(labdb "SELECT strftime('%m %d %Y', min(Transdate)) FROM tbLabMaster WHERE RefNum = '$ref';")
  log="$WORK/PrintLog/PrintedLabBarcodes $day.txt"
  n=$(labdb "SELECT count(DISTINCT Barcode) FROM tbLabMaster WHERE RefNum = '$ref';")
  got=$(grep -c -- "---$ref"$'\r'"\$" "$log" 2>/dev/null || true)
  [ "$got" = $((n + 1)) ] || fail "the print log holds $got entries of $ref, expected $((n + 1))"
done
lines=$(cat "$WORK"/PrintLog/*.txt | wc -l)
! grep -q -- "---POISON1" "$WORK"/PrintLog/*.txt || fail "the poison request was logged as printed"
grep -q "Request POISON1 was not printed: .*B3€0" "$WORK/station.log" ||
  fail "the poison request's failure was not told on the standard error"
grep -q "quillon.print info: request .*: printed 1 copy of " "$XDG_DATA_HOME/Quillon/quillon.log" ||
  fail "the station log does not tell the print jobs"
# Every label that came out scans back as one of the good requests' barcodes.
expect_scanned "$expected"

# Every row is marked now: a second run prints and logs nothing.
mark_spool
print_now
sleep 4
[ "$(spooled_pdfs | wc -l)" = 0 ] || fail "the second Print Now printed again"
[ "$(cat "$WORK"/PrintLog/*.txt | wc -l)" = "$lines" ] || fail "the second Print Now wrote to the log"

# The blank barcode is filled in and an exam is added to the last request: the next run prints
# those two labels, once, and nothing else.
labdb "UPDATE tbLabMaster SET Barcode = 'FILLED1' WHERE RefNum = '$first' AND Barcode IS NULL;"
copy_item "$last" A "'ADDON1'"
mark_spool
print_now
count=$(wait_labels 2)
[ "$count" = 2 ] || fail "the run printed $count labels after the changes, expected 2"
expect_scanned $'ADDON1\nFILLED1'
[ "$(labdb "SELECT count(*) FROM tbLabBarcodeMaster WHERE Barcode IN ('ADDON1', 'FILLED1');")" = 2 ] ||
  fail "the new labels were not recorded once each"
mark_spool
print_now
sleep 4
[ "$(spooled_pdfs | wc -l)" = 0 ] || fail "a run after the new labels printed again"

kill "$STATION_PID"
wait "$STATION_PID" 2>/dev/null || true
STATION_PID=""
echo "e2e autoprint: passed ($(echo "$requests" | wc -l) requests, $labels labels)"
