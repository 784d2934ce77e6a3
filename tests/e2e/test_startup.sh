#!/usr/bin/env bash
# The real station starts on a demo database and shows its window; with no settings it warns and ends.
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
STATION_PID=""
echo "e2e startup: passed"
