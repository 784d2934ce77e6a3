#!/usr/bin/env bash
# Two stations on one print-log folder keep one label history: a request printed by the
# automatic cycle at A and printed again by hand at B with a reason shows both at a lookup on
# either, and `quillon --history` lists them with station, account, printer and reason. A label
# whose history could not be written when it printed, its station killed then, is in the
# history once after the restart. Requests that left the list unprinted (7 and 20 hours old)
# are told, printed by hand from their list, and then no longer listed; one 30 hours old is not.
source "$(dirname "$0")/lib.sh" "$@"
start_display
make_demo_lab
copy_station
point_template "pdf:$WORK/labels"
settings="$XDG_CONFIG_HOME/quillon/Wrenfold.ini"
station_as() { # name, account: its own journal and station log, the shared print-log folder
  printf '[LabBarcodes]\nvkchkAutoPrintRequests=0\nStationName=%s\nAskReprintReason=1\nReprintReasons=Smudged|Tube replaced\n' "$1" >"$settings"
  export XDG_DATA_HOME="$WORK/data-$1" USER=$2
}
stop_station() { kill "$STATION_PID"; wait_station_exit; }
csv_of() { "$QUILLON" --history "$@" | tr -d '\r'; }
left_line() { { "$QUILLON" --check || true; } | grep "left the list:"; }
slog() { cat "$WORK/data-$1/Quillon/quillon.log"; }

recent="SELECT A.RefNum FROM tbLabMaster A JOIN tbcolabexam B ON A.ItemId = B.LabexamId
  WHERE A.RequestStatus = 'X' AND B.Form <> 'P' AND A.Barcode IS NOT NULL
  AND A.Transdate >= strftime('%Y-%m-%d %H:%M:00', 'now', 'localtime', '-359 minutes')"
first=$(labdb "$recent ORDER BY A.Transdate DESC LIMIT 1;")
labels=$(labdb "SELECT count(DISTINCT Barcode) FROM tbLabMaster WHERE RefNum = '$first';")

# A: the automatic cycle prints the list.
station_as A alice
open_station_window
find_print_now
xdotool key alt+r
sleep 3
print_now
for _ in $(seq 1 60); do
  csv_of "$first" | grep -q ',A,alice,' && break
  sleep 0.5
done
sleep 2
stop_station

# B: printed again by hand; the reason is asked, the lookup shows A's print.
station_as B bob
open_station_window
print_by_hand "$first"
sleep 1.5
screenshot reprint-reason
xdotool key Down Return # the second reason
sleep 3
csv=$(csv_of "$first")
echo "$csv"
[ "$(echo "$csv" | head -n 1)" = "time,station,account,printer,template,request,barcode,event,copies,reprint,reason,confirmed" ] ||
  fail "the CSV header"
[ "$(echo "$csv" | grep -c ",A,alice,pdf:$WORK/labels,LabBarcodeLabel.rpt,$first,.*,printed,1,no,,file label-")" = "$labels" ] ||
  fail "A's prints of $first"
[ "$(echo "$csv" | grep -c ",B,bob,pdf:$WORK/labels,LabBarcodeLabel.rpt,$first,.*,printed,1,yes,Tube replaced,")" = "$labels" ] ||
  fail "B's reprints of $first, with the reason"
slog B | grep -q "quillon.lookup info: label .* of $first: printed 1x, last .* at A" || fail "B's lookup did not show A's print"
slog B | grep -q "label history: the index is up to date" || fail "B did not read the history in from its start"

# The history out of reach while B prints another request by hand, and B killed then.
month="$WORK/PrintLog/LabelHistory $(date +%Y-%m).tsv"
mv "$month" "$month.away" && mkdir "$month"
second=$(labdb "$recent AND A.RefNum <> '$first' ORDER BY A.Transdate DESC LIMIT 1;")
print_by_hand "$second" # A printed it too: a reason is asked
sleep 1.5
xdotool key Down Return
sleep 3
grep -q "The label history could not be written" "$WORK/station.log" || fail "no notice of the unwritable history"
kill -9 "$STATION_PID"; wait_station_exit
rmdir "$month" && mv "$month.away" "$month"
csv_of "$second" | grep -q ',B,bob,' && fail "B's events of $second before the restart"
open_station_window
find_print_now
print_now # the run's reconciliation appends what the journal owes
sleep 3
stop_station
n=$(labdb "SELECT count(DISTINCT Barcode) FROM tbLabMaster WHERE RefNum = '$second';")
[ "$(csv_of "$second" | grep -c ',B,bob,.*,printed,')" = "$n" ] || fail "the owed events of $second, once each"

# A again: its lookup shows both stations' prints.
station_as A alice
open_station_window
xdotool type --delay 30 "$first"; xdotool key Return; sleep 2
slog A | grep -q "quillon.lookup info: label .* of $first: printed 2x, last .* at B" || fail "A's lookup did not show B's reprint"
stop_station

# Requests that left the list: 7, 20 and 30 hours old, never printed.
for h in 7 20 30; do
  labdb "INSERT INTO tbLabMaster (RequestNum, RefNum, Transdate, RequestStatus, ItemId, HospNum, IdNum,
           SpecimenId, SectionId, ProfileId, Barcode, InstrumentId)
         SELECT RequestNum || 'L$h', 'LEFT$h', strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime', '-$h hours'),
           'X', ItemId, HospNum, IdNum, SpecimenId, SectionId, ProfileId, 'L$h' || Barcode, InstrumentId
         FROM tbLabMaster WHERE RefNum = '$first' AND Barcode IS NOT NULL LIMIT 1;"
done
left_line | grep -q 'LEFT7 .*LEFT20\|LEFT20 .*LEFT7' || fail "--check did not tell LEFT7 and LEFT20"
left_line | grep -q LEFT30 && fail "--check told LEFT30"
open_station_window
sleep 12
grep -q "2 request(s) left the list unprinted: LEFT7, LEFT20" "$WORK/station.log" || fail "the status line did not tell them"
eval "$(xdotool getwindowgeometry --shell "$win")"
read -r ux uy < <(awk -v x="$X" -v y="$Y" -v w="$WIDTH" -v h="$HEIGHT" 'BEGIN {
  left = (w * 15 / 2 - 12465 / 2) / 15; top = (h * 15 / 2 - 10155 / 2) / 15
  printf "%d %d\n", x + left + (5640 + 1845 / 2) / 15, y + top + (360 + 465 / 2) / 15 }')
for pick in "Return" "Return"; do
  xdotool mousemove --sync "$ux" "$uy" click 1
  sleep 1.5
  screenshot unprinted
  xdotool key $pick
  sleep 2
  xdotool key space # Print, which has the focus after the lookup
  sleep 3
done
for h in 7 20; do
  [ "$(csv_of "LEFT$h" | grep -c ',printed,')" = 1 ] || fail "LEFT$h was not printed from the list"
done
left_line | grep -q 'no request of the last 24 hours' || fail "--check still lists them"
[ -z "$(csv_of LEFT30 | tail -n +2)" ] || fail "LEFT30 was printed"
stop_station
echo "PASS"
