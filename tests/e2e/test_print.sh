#!/usr/bin/env bash
# A scanner types a demo request number and Enter; Print sends one label per entry through the
# system spooler; the labels scan back to the request's barcodes, the database records them and
# the day's print log holds the request.
source "$(dirname "$0")/lib.sh" "$@"
start_display
make_demo_lab

refnum=$(labdb "SELECT RefNum FROM tbLabMaster WHERE RequestStatus = 'X' GROUP BY RefNum
                HAVING count(DISTINCT Barcode) >= 2 ORDER BY max(Transdate) DESC LIMIT 1;")
[ -n "$refnum" ] || fail "the demo database has no request with several labels"
expected=$(labdb "SELECT DISTINCT Barcode FROM tbLabMaster WHERE RefNum = '$refnum';" | sort)
labels=$(echo "$expected" | wc -l)

open_station_window
mark_spool
print_by_hand "$refnum"
wait_spooled "$labels"

expect_scanned "$expected"

recorded=$(labdb "SELECT count(DISTINCT Barcode) FROM tbLabBarcodeMaster WHERE RefNum = '$refnum';")
[ "$recorded" = "$labels" ] || fail "the database recorded $recorded barcodes, expected $labels"
dates=$(labdb "SELECT count(*) FROM tbLabBarcodeDate;")
[ "$dates" -ge "$labels" ] || fail "the database holds $dates date records"

day=$(labdb "SELECT strftime('%m %d %Y', max(Transdate)) FROM tbLabMaster WHERE RefNum = '$refnum';")
log="$WORK/PrintLog/PrintedLabBarcodes $day.txt"
[ -f "$log" ] || fail "no print log file $log"
[ "$(grep -c -- "---$refnum"$'\r'"\$" "$log")" = "$labels" ] || fail "the print log does not hold one line per label: $(cat "$log")"

kill "$STATION_PID"
wait "$STATION_PID" 2>/dev/null || true
STATION_PID=""
echo "e2e print: passed ($labels labels of $refnum)"
