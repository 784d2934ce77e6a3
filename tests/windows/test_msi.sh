#!/usr/bin/env bash
# The MSI under Wine: a silent install; the installed station, its settings written to the
# registry, on a demo database made by the installed quillon-labdb.exe, prints every recent label
# once by itself into a PDF folder (scanned back and matched to the database) and logs it in
# C:\PrintLog as the Debian build does; a kill in the middle of the run and a restart lose no
# label and print at most one twice; a newer version upgrades it in place; a silent removal leaves
# the print log and the settings.
source "$(dirname "$0")/lib.sh" "$@"
install_msi
installed_whole() {
  for f in quillon.exe quillon-labdb.exe quillon-label.exe LabBarcodeLabel.rpt platforms/qwindows.dll \
    platforms/qoffscreen.dll sqldrivers/qsqlite.dll sqldrivers/qsqlodbc.dll; do
    [ -f "$INSTALLED/$f" ] || fail "$1: no $f"
  done
}
installed_whole "the MSI did not install it all"
# The Start-menu entry: every account's (Wine puts it into the installing account's menu).
[ -n "$(find "$DRIVE_C" -path '*Start Menu/Programs/Quillon.lnk')" ] || fail "no Start-menu entry"

make_installed_demo
mkdir "$WORK/debian" && cp "$WORK/lab.db" "$WORK/debian/lab.db"
set_setting 'ORVANT Current User\Connection' Server 'sqlite:C:\lab.db'
set_setting 'Wrenfold\LabBarcodes' vkchkAutoPrintRequests 1

recent_requests

# The list fills at the first refresh: asked for at once, as someone at the bench does.
run_and_refresh() { run_station && xdotool key alt+r; }
count_labels() { spooled_pdfs | wc -l; }
mark_spool
run_and_refresh
# The first automatic run comes a minute after the start: the station is killed once its first
# label is out.
out_alive() { # at least $1 labels out, the station running all the while
  kill -0 "$STATION_PID" 2>/dev/null || { cat "$WORK/station.log" >&2; fail "the station ended"; }
  [ "$(count_labels)" -ge "$1" ]
}
wait_until 180 out_alive 1 || true
stop_station
at_kill=$(count_labels)
[ "$at_kill" -ge 1 ] || fail "no label printed in the first automatic run"
run_and_refresh
wait_until 180 out_alive "$labels" || true
sleep 5
count=$(count_labels)
[ "$count" -ge "$labels" ] && [ "$count" -le $((labels + 1)) ] ||
  fail "$count labels printed for $labels (killed after $at_kill)"
expect_scanned "$expected" unique
recorded=$(labdb "SELECT DISTINCT Barcode FROM tbLabBarcodeMaster;" | sort)
[ "$recorded" = "$expected" ] || fail "the database recorded [$recorded], expected [$expected]"

# C:\PrintLog holds the day files the Debian build writes for the same requests (its windowless
# station over the untouched copy), line for line apart from the print times, CR LF and all.
logs=("$DRIVE_C"/PrintLog/PrintedLabBarcodes*.txt)
[ -f "${logs[0]}" ] || fail "no day file in C:\\PrintLog"
point_template pdf:labels "$WORK/debian/LabBarcodeLabel.rpt"
ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen "$DEBIAN_BUILD/tests/road_child" "$WORK/debian" \
  >/dev/null 2>&1 || fail "the Debian build did not print the same requests"
day_lines() { (cd "$1" && for f in PrintedLabBarcodes*.txt; do sed -E "s/^(\S+ \S+) \S+ \S+/$f: \1 (time)/" "$f"; done) | sort -u; }
diff <(day_lines "$WORK/debian/PrintLog") <(day_lines "$DRIVE_C/PrintLog") >"$WORK/days.diff" ||
  fail "the day files differ from the Debian build's: $(cat -A "$WORK/days.diff" | head -5)"
for ref in $requests; do
  n=$(labdb "SELECT count(DISTINCT Barcode) FROM tbLabMaster WHERE RefNum = '$ref';")
  got=$(cat "${logs[@]}" | grep -c -- "---$ref"$'\r'"\$" || true)
  [ "$got" -ge $((n + 1)) ] && [ "$got" -le $((n + 2)) ] ||
    fail "the print log holds $got entries of $ref, expected $((n + 1))"
done
[ -n "$(find "$DRIVE_C/users" -path '*/AppData/Local/Quillon/quillon.log' -size +0)" ] ||
  fail "no station log under %LOCALAPPDATA%\\Quillon"

stop_station
# A newer version replaces this one in place: one entry among the installed programs, every file
# still there once the older version went (it goes last).
newer=$(($(sed -nE 's/.*<Product [^>]*Version="([0-9]+)\..*/\1/p' "$MINGW/quillon.wxs") + 1)).0.0
sed -E "s/(<Product [^>]*Version=\")[^\"]*/\\1$newer/" "$MINGW/quillon.wxs" >"$WORK/newer.wxs"
(cd "$MINGW" && wixl --arch x64 -o "$WORK/newer.msi" "$WORK/newer.wxs") || fail "no newer MSI was made"
wine_ msiexec /i "$(winepath -w "$WORK/newer.msi")" /qn || fail "the newer MSI did not install"
entries=$(wine_ reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r')
[ "$(grep -c 'DisplayName *REG_SZ *Quillon$' <<<"$entries")" = 1 ] && grep -q "REG_SZ *$newer\$" <<<"$entries" ||
  fail "the upgrade left: $(grep -A1 'DisplayName *REG_SZ *Quillon$' <<<"$entries")"
installed_whole "the upgrade took a file"
wine_ msiexec /x "$(winepath -w "$WORK/newer.msi")" /qn || fail "the MSI did not uninstall"
[ ! -e "$INSTALLED/quillon.exe" ] || fail "quillon.exe is still installed"
[ -f "${logs[0]}" ] || fail "the removal took the print log"
wine_ reg query "$SETTINGS\\ORVANT Current User\\Connection" /v Server >/dev/null 2>&1 ||
  fail "the removal took the settings"
echo "windows msi: passed ($labels labels, $at_kill out at the kill, $count printed)"
