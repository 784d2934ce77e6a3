#!/usr/bin/env bash
# The Debian package: built from this build, unpacked into a fresh root, its programs run from
# there. --version answers with no display; the template tool's sample label scans back; the
# installed station, started on a demo database made by the installed tool, prints a request
# through the spooler and its labels scan back.
source "$(dirname "$0")/lib.sh" "$@"

(cd "$WORK" && cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1) ||
  { cat "$WORK/cpack.log" >&2; fail "the package could not be built"; }
deb=$(ls "$WORK"/pkg/quillon_*.deb)
control=$(dpkg-deb -I "$deb")
for dep in libqt6sql6-sqlite libqt6sql6-odbc libqt6widgets6 libzint libodbc2; do
  grep -q "^ Depends:.*$dep" <<<"$control" || fail "the package does not depend on $dep"
done
root="$WORK/root"
dpkg-deb -x "$deb" "$root"
for file in usr/libexec/quillon/LabBarcodeLabel.rpt usr/share/applications/quillon.desktop \
            usr/share/icons/hicolor/scalable/apps/quillon.svg \
            usr/share/icons/hicolor/256x256/apps/quillon.png etc/fonts/conf.d/60-quillon-station-fonts.conf; do
  [ -f "$root/$file" ] || fail "the package has no $file"
done

version=$(sed -n 's/^ Version: //p' <<<"$control")
[ "$(env -u DISPLAY "$root/usr/bin/quillon" --version)" = "quillon $version" ] ||
  fail "the installed station does not tell its version $version"

"$root/usr/bin/quillon-label" render "$root/usr/libexec/quillon/LabBarcodeLabel.rpt" --sample \
  -o "$WORK/sample.png" >/dev/null || fail "the installed template tool could not render"
[ -n "$(zbarimg -q --raw "$WORK/sample.png")" ] || fail "the sample label does not scan"

start_display
"$root/usr/bin/quillon-labdb" demo "$WORK/lab.db" >/dev/null
printf '[Connection]\nServer=sqlite:%s\n' "$WORK/lab.db" >"$XDG_CONFIG_HOME/quillon/ORVANT Current User.ini"
refnum=$(labdb "SELECT RefNum FROM tbLabMaster WHERE RequestStatus = 'X' GROUP BY RefNum
                ORDER BY max(Transdate) DESC LIMIT 1;")
expected=$(labdb "SELECT DISTINCT Barcode FROM tbLabMaster WHERE RefNum = '$refnum';" | sort)

QUILLON="$root/usr/bin/quillon"
open_station_window
mark_spool
print_by_hand "$refnum"
wait_spooled "$(echo "$expected" | wc -l)"
scanned=$(for pdf in $(spooled_pdfs); do scan_pdf "$pdf"; done | sort)
[ "$scanned" = "$expected" ] || fail "labels scanned back as [$scanned], expected [$expected]"
grep -q "quillon.print info: request $refnum: printed" "$XDG_DATA_HOME/Quillon/quillon.log" ||
  fail "the installed station's log does not tell the print"

kill "$STATION_PID"
wait "$STATION_PID" 2>/dev/null || true
STATION_PID=""
echo "e2e package: passed ($deb, $(echo "$expected" | wc -l) labels of $refnum)"
