#!/usr/bin/env bash
# The SQL Server road under Wine: the installed station reaches the TDS test server through Wine's
# ODBC (which hands the calls to the host's unixODBC and FreeTDS), passes its setup check, looks a
# request up, prints it and records it. The server refused nothing it was sent. Installed with
# KIOSK=1, the logon entry starts the station as a kiosk, and starts it again after a crash only.
source "$(dirname "$0")/lib.sh" "$@"
install_msi KIOSK=1
make_installed_demo
start_tds_server
for setting in "Server 127.0.0.1,$port" "Database Laboratory" "User sa" "Password Lab-2024"; do
  set_setting 'ORVANT Current User\Connection' $setting
done
set_setting 'Wrenfold\LabBarcodes' vkchkAutoPrintRequests 0

check=$(cd "$DRIVE_C" && timeout 120 wine "$PROGRAM\\quillon.exe" --check 2>&1 || true)
for line in "ODBC driver: FreeTDS" "connection: logged in" "reads: " "write check: " "template: "; do
  grep -q "^ok     $line\|^WARN   $line" <<<"$check" || fail "the installed station's check: $check"
done

refnum=$(labdb "SELECT RefNum FROM tbLabMaster GROUP BY RefNum HAVING count(DISTINCT Barcode) >= 2 LIMIT 1;")
expected=$(labdb "SELECT DISTINCT Barcode FROM tbLabMaster WHERE RefNum = '$refnum';" | sort)
mark_spool
run_station
print_by_hand "$refnum"
wait_spooled "$(echo "$expected" | wc -l)"
expect_scanned "$expected"
items=$(labdb "SELECT RequestNum, Barcode FROM tbLabMaster WHERE RefNum = '$refnum' ORDER BY 1, 2;")
recorded() { [ "$(labdb "SELECT RequestNum, Barcode FROM tbLabBarcodeMaster ORDER BY 1, 2;")" = "$items" ]; }
wait_until 10 recorded || fail "the server's database does not hold one record per printed item"
grep -q "batch \"Laboratory..Lab_Barcode_GetRequests '$refnum',3\"" "$WORK/tds.log" ||
  fail "the lookup never reached the server"
! grep -q "refused\|error " "$WORK/tds.log" || fail "the server refused: $(grep "refused\|error " "$WORK/tds.log")"

# At logon Windows runs the Run value's command line: here from a script file, as cmd reads it.
stop_station
run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
wine_ reg query "$run" /v 'Quillon kiosk' | tr -d '\r' | sed -n 's/.*REG_SZ *//p' >"$DRIVE_C/logon.cmd"
kiosk_pid() { pgrep -f 'quillon.exe --kiosk' || true; }
kiosk_up() { # as another process than $1, its window shown
  pid=$(kiosk_pid)
  [ -n "$pid" ] && [ "$pid" != "$1" ] && xdotool search --onlyvisible --name '^ Quillon$' >/dev/null
}
(cd "$DRIVE_C" && QUILLON_KIOSK_DELAY=1 wine_ cmd /c 'C:\logon.cmd' >/dev/null)
wait_until 30 kiosk_up "" || fail "the logon entry did not start the station as a kiosk"
# A crash (ended with an access violation's status) brings it back; an Exit (status 0) does not.
x86_64-w64-mingw32-gcc-posix -O2 -o "$WORK/terminate.exe" "$SOURCE_DIR/tests/windows/terminate.c"
crashed=$pid
wine_ "$WORK/terminate.exe" quillon.exe 0xC0000005 || fail "no station to end"
wait_until 30 kiosk_up "$crashed" || fail "the kiosk did not start the station again after a crash"
wine_ "$WORK/terminate.exe" quillon.exe 0 || fail "no station to end"
kiosk_ended() { ! pgrep -f quillon-kiosk.cmd >/dev/null && [ -z "$(kiosk_pid)" ]; }
wait_until 15 kiosk_ended || fail "the kiosk started the station again after an Exit"
echo "windows SQL Server road: passed ($(echo "$expected" | wc -l) labels of $refnum printed and recorded; the kiosk started at logon, again after a crash, not after an Exit)"
