#!/usr/bin/env bash
# The real station starts on a demo database and shows its window; with no settings it warns and ends.
# As a kiosk it waits instead, tries again by itself and starts once the fault is gone; the
# machine's connection file serves an account without settings.
source "$(dirname "$0")/lib.sh" "$@"
start_display

# No connection settings: the warning, then the program ends with status 2 and no station window.
start_station
box=$(wait_window '^Quillon$')
screenshot startup-no-database
xdotool search --onlyvisible --name '^ Quillon$' >/dev/null 2>&1 && fail "the station window opened without a database"
xdotool windowfocus --sync "$box"
xdotool key Return
wait_station_exit
[ "$STATION_STATUS" = 2 ] || fail "exit status after the warning was $STATION_STATUS, expected 2"
grep -q "database connection failed" "$WORK/station.log" || fail "no reason on the standard error"

# The demo database: the station window appears.
make_demo_lab
start_station
wait_window '^ Quillon$' >/dev/null
sleep 1
screenshot station
kill "$STATION_PID"
wait "$STATION_PID" 2>/dev/null || true

# The kiosk with the lab database down: it waits, prints nothing, tells why, and comes up within a
# pause of the database coming back, no key pressed. The settings are the machine's file.
rm "$XDG_CONFIG_HOME/quillon/ORVANT Current User.ini"
mv "$WORK/lab.db" "$WORK/lab.down"
copy_station
mkdir -p "$WORK/labels"
point_template "pdf:$WORK/labels"
printf '[Connection]\nServer=sqlite:%s\n' "$WORK/lab.db" >"$WORK/station/connection.ini"
waiting='^Quillon: waiting to start$'
kiosk_back_within() { # seconds: the station window is up that soon after the fault went
  local since=$SECONDS
  wait_window '^ Quillon$' >/dev/null
  [ $((SECONDS - since)) -le "$1" ] || fail "the kiosk started $((SECONDS - since)) s after the fault went"
  for _ in $(seq 1 25); do xdotool search --onlyvisible --name "$waiting" >/dev/null 2>&1 || break; sleep 0.2; done
  xdotool search --onlyvisible --name "$waiting" >/dev/null 2>&1 && fail "the waiting window stayed"
  kill "$STATION_PID"; wait "$STATION_PID" 2>/dev/null || true
}
start_station --kiosk
wait_window "$waiting" >/dev/null
for _ in $(seq 1 100); do grep -q "start-up try 2 failed" "$WORK/station.log" && break; sleep 0.2; done
screenshot kiosk-waiting
grep -q "start-up try 1 failed: Unable to contact the database server. No lab database file" \
  "$WORK/station.log" || fail "the kiosk did not log its try: $(cat "$WORK/station.log")"
xdotool search --onlyvisible --name '^(Quillon| Quillon)$' >/dev/null 2>&1 && fail "a box or the station opened"
mv "$WORK/lab.down" "$WORK/lab.db"
kiosk_back_within 13 # the pause after the second try is 10 s
[ -z "$(ls "$WORK/labels")" ] || fail "the kiosk printed while it waited"

# A password changed in the machine's file is taken at the next try; --check tells the refusal.
start_tds_server
printf '[Connection]\nServer=127.0.0.1,%s\nDatabase=Laboratory\nUser=sa\nPassword=old\n' \
  "$port" >"$WORK/station/connection.ini"
out=$("$QUILLON" --check || true)
grep -q "^FAULT  connection: .*Login failed.* Remedy: set the User and Password" <<<"$out" || fail "$out"
start_station --kiosk
wait_window "$waiting" >/dev/null
grep -q "try 1 failed: The lab database refused the login" "$WORK/station.log" ||
  fail "a refused login was not told as such: $(cat "$WORK/station.log")"
sed -i 's/^Password=old$/Password=Lab-2024/' "$WORK/station/connection.ini"
kiosk_back_within 8

# Exit in the waiting window ends the kiosk for good (status 0).
mv "$WORK/lab.db" "$WORK/lab.down"
printf '[Connection]\nServer=sqlite:%s\n' "$WORK/lab.db" >"$WORK/station/connection.ini"
start_station --kiosk
xdotool windowfocus --sync "$(wait_window "$waiting")"
xdotool key space
wait_station_exit
[ "$STATION_STATUS" = 0 ] || fail "Exit while waiting ended with status $STATION_STATUS"

# --check judges the print-log folder as the station acts and names a missing ODBC driver.
mv "$WORK/lab.down" "$WORK/lab.db"
mkdir "$WORK/fresh"
out=$(windir="$WORK/fresh\\Windows" "$QUILLON" --check || true)
grep -q "^ok     print log: .*not made yet" <<<"$out" || fail "$out"
mkdir -p "$WORK/fresh/PrintLog/PrintedLabBarcodes $(date '+%m %d %Y').txt" # today's: opens for nobody
out=$(windir="$WORK/fresh\\Windows" "$QUILLON" --check || true)
grep -q '^FAULT  print log: .*PrintedLabBarcodes' <<<"$out" || fail "$out"
out=$(windir="$WORK/gone\\Windows" "$QUILLON" --check || true)
grep -q '^FAULT  print log: .*cannot make it.* Remedy: make the folder' <<<"$out" || fail "$out"
out=$(windir='/sys/kernel\Windows' "$QUILLON" --check || true) # writable by its mode, for root
grep -q '^FAULT  print log: .*cannot make it' <<<"$out" || fail "$out"
printf '[Connection]\nServer=127.0.0.1,1\n' >"$WORK/station/connection.ini"
out=$(ODBCSYSINI="$WORK/fresh" HOME="$WORK/fresh" "$QUILLON" --check || true)
grep -q '^FAULT  ODBC driver: .*odbcinst -q -d.* Remedy: .*odbcinst -i -d -f' <<<"$out" || fail "$out"
STATION_PID=""
echo "e2e startup: passed"
