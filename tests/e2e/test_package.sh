#!/usr/bin/env bash
# The Debian package as a lab's IT installs it: lintian finds no error; apt installs it with its
# maintainer scripts; as a station account that is not root, "quillon --check" passes on a demo
# database with a PDF folder and names each fault it is shown, the installed station prints a
# request by hand and its labels scan back, and the kiosk start brings a killed station back.
# It upgrades the previous release (built from its commit) keeping the lab's data, registers the
# ODBC driver once, lets a second account append to the first one's day file; remove and purge
# leave only the print logs (and their group), and a link or mount at the print-log folder's place
# is left alone. Installs on this machine: one run at a time.
source "$(dirname "$0")/lib.sh" "$@"
exec 9>/tmp/quillon-e2e-package.lock
flock 9

(cd "$WORK" && cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1) ||
  { cat "$WORK/cpack.log" >&2; fail "the package could not be built"; }
deb=$(ls "$WORK"/pkg/quillon_*.deb)
lintian --no-tag-display-limit "$deb" >"$WORK/lintian.log" 2>&1 || true
grep '^E:' "$WORK/lintian.log" >&2 && fail "lintian reports errors"
# The previous release, 1.0.0, built from its commit once and kept in the build folder.
old_deb="$BUILD_DIR/previous-release/quillon_1.0.0_$(dpkg --print-architecture).deb"
if [ ! -f "$old_deb" ]; then
  mkdir -p "$WORK/old" "$(dirname "$old_deb")"
  # Unoptimised, no debug information: it is only installed and upgraded, and builds fastest.
  { git -C "$SOURCE_DIR" archive ba6a3b4 | tar -x -C "$WORK/old" &&
    cmake -S "$WORK/old" -B "$WORK/old/build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
      -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr && cmake --build "$WORK/old/build" -j2 &&
    (cd "$WORK/old/build" && cpack -B "$WORK/old/pkg") && cp "$WORK"/old/pkg/quillon_1.0.0_*.deb "$old_deb"; } \
    >"$WORK/old.log" 2>&1 || { tail -30 "$WORK/old.log" >&2; fail "the previous release 1.0.0 was not built"; }
fi
# The ODBC driver list the maintainer scripts see is the test's own.
export ODBCSYSINI="$WORK/odbc"
mkdir -p "$ODBCSYSINI"
apt_q() { DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o Dpkg::Options::=--force-confold "$@" >"$WORK/apt.log" 2>&1 ||
  { cat "$WORK/apt.log" >&2; fail "apt-get $* failed"; }; }

fonts=/etc/fonts/conf.d/60-quillon-station-fonts.conf
cp -p "$fonts" "$WORK/fonts.conf" 2>/dev/null || true
user=quillon-e2e
home="$WORK/home"
folder=/var/lib/quillon/PrintLog
uninstall() {
  [ -n "$STATION_PID" ] && kill "$STATION_PID" 2>/dev/null || true
  [ -n "${KIOSK_PID:-}" ] && kill "$KIOSK_PID" 2>/dev/null || true
  [ -n "${PRINTER_PID:-}" ] && kill "$PRINTER_PID" 2>/dev/null || true
  lpadmin -x QuillonStopped 2>/dev/null || true
  for pid in $(pgrep -u "$user" 2>/dev/null); do kill "$pid" 2>/dev/null || true; done
  mountpoint -q $folder && umount $folder
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quillon >/dev/null 2>&1 || true
  sleep 0.5
  userdel "$user" 2>/dev/null || true
  userdel "$user-2" 2>/dev/null || true
  rm -rf /var/lib/quillon
  delgroup --quiet quillon 2>/dev/null || true
  [ -f "$WORK/fonts.conf" ] && cp -p "$WORK/fonts.conf" "$fonts"
  cleanup
}
trap uninstall EXIT
apt_q install "$old_deb"
[ "$(stat -c '%G %a' /var/lib/quillon/PrintLog)" = "quillon 2775" ] ||
  fail "the package did not make the shared print-log folder"

# The station account, in the group, with its own configuration and a demo database.
chmod 711 "$WORK"
userdel "$user" 2>/dev/null || true # left by an aborted run
useradd --home-dir "$home" --create-home --groups quillon "$user"
# Runs a command as the account, in its own configuration, without "windir".
printf '#!/bin/sh\nexec runuser -u %s -- env -u windir HOME=%s XDG_CONFIG_HOME=%s/.config XDG_DATA_HOME=%s/.local/share XDG_RUNTIME_DIR=%s ASAN_OPTIONS=%s LSAN_OPTIONS=%s DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$@"\n' \
  "$user" "$home" "$home" "$home" "$home" "$ASAN_OPTIONS" "$LSAN_OPTIONS" >"$WORK/as-user"
printf '#!/bin/sh\nexec sh %s quillon\n' "$WORK/as-user" >"$WORK/station"
chmod 755 "$WORK/as-user" "$WORK/station"
as_user() { "$WORK/as-user" "$@"; }
as_user quillon-labdb demo "$home/lab.db" >/dev/null
settings="$home/.config/quillon/ORVANT Current User.ini"
as_user mkdir -p "$home/.config/quillon"
as_user sh -c "printf '[Connection]\nServer=sqlite:%s\nPassword=unused\n' '$home/lab.db' >'$settings' && chmod 600 '$settings'"
as_user sh -c "printf '[LabBarcodes]\nvkchkAutoPrintRequests=0\n' >'$home/.config/quillon/Wrenfold.ini'"
template=/etc/quillon/LabBarcodeLabel.rpt
cp "$template" "$WORK/template.rpt"
point_template() {
  sed -E "s#(\"printer\"[[:space:]]*:[[:space:]]*)\"[^\"]*\"#\\1\"$1\"#" "$WORK/template.rpt" >"$template"
}
point_template "pdf:labels"

# The upgrade keeps the edited template and the print logs, and mends a day file 1.0.0 made.
old_day="$folder/PrintedLabBarcodes 12 08 2026.txt"
as_user sh -c "umask 022; echo '2026-12-08 09:00:00 2026-12-08 09:01:00 ---OLD1' >'$old_day'"
apt_q install "$deb"
[ "$(env -u DISPLAY quillon --version)" = "quillon $(dpkg-deb -f "$deb" Version)" ] || fail "the upgrade did not install the new station"
grep -q '"pdf:labels"' $template && grep -q -- ---OLD1 "$old_day" || fail "the upgrade lost the template's edit or a print log"
[ "$(stat -c %a "$old_day")" = 664 ] || fail "the upgrade left an older day file the group cannot append"
odbcinst -q -d -n FreeTDS | grep -q '^Driver=libtdsodbc.so' || fail "the FreeTDS driver was not registered"

# Passes, then names each fault with its remedy.
as_user quillon --check >"$WORK/check.txt" 2>&1 || { cat "$WORK/check.txt" >&2; fail "the check does not pass"; }
grep -q "^ok     printer: $home/.local/share/Quillon/labels" "$WORK/check.txt" ||
  fail "a relative PDF folder does not resolve under the user's data folder"
expect_fault() { # what, pattern: the check fails, with the pattern on the line of that check
  local out
  out=$(as_user quillon --check 2>&1) && fail "the check passes with $1"
  grep -q "^FAULT  .*$2.* Remedy: " <<<"$out" || { echo "$out" >&2; fail "no fault line for $1"; }
}
mv "$home/lab.db" "$home/lab.moved"
expect_fault "a missing database" "connection: .*lab.db"
mv "$home/lab.moved" "$home/lab.db"
chmod 644 "$settings"
expect_fault "a settings file others can read" "settings: .*other users can read"
chmod 600 "$settings"
chmod 2755 /var/lib/quillon/PrintLog
expect_fault "a print-log folder the user cannot write" "print log: .*PrintLog"
chmod 2775 /var/lib/quillon/PrintLog
sed 's/"width"/"widht"/' "$WORK/template.rpt" >"$template"
expect_fault "a template fault" "template: .*widht"

"$BUILD_DIR/tests/simulated_printer" --port-file "$WORK/port" --jobs "$WORK/jobs" \
  --control "$WORK/control" >"$WORK/printer.log" 2>&1 &
PRINTER_PID=$!
for _ in $(seq 1 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
point_template "zpl:tcp://127.0.0.1:$(cat "$WORK/port")"
echo paused >"$WORK/control"
expect_fault "a paused ZPL printer" "printer: .*paused"
echo paper-out >"$WORK/control"
expect_fault "a ZPL printer out of paper" "printer: .*paper"
bash "$SOURCE_DIR/scripts/cups.sh" start
lpadmin -p QuillonStopped -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd -E 2>/dev/null ||
  fail "the spooler queue for the check could not be made"
cupsdisable QuillonStopped
point_template "QuillonStopped"
expect_fault "a stopped spooler queue" "printer: .*QuillonStopped.*stopped"
point_template "pdf:labels"

# The installed station, started by the account, prints a request by hand to its PDF folder.
userdb() { sqlite3 -batch -noheader "$home/lab.db" "$1"; }
refnum=$(userdb "SELECT RefNum FROM tbLabMaster WHERE RequestStatus = 'X' GROUP BY RefNum
                 ORDER BY max(Transdate) DESC LIMIT 1;")
expected=$(userdb "SELECT DISTINCT Barcode FROM tbLabMaster WHERE RefNum = '$refnum';" | sort)
start_display
QUILLON="$WORK/station"
open_station_window
print_by_hand "$refnum"
labels="$home/.local/share/Quillon/labels"
count=$(echo "$expected" | wc -l)
for _ in $(seq 1 60); do
  [ "$(find "$labels" -name '*.pdf' 2>/dev/null | wc -l)" -ge "$count" ] && break
  sleep 0.5
done
scanned=$(for pdf in "$labels"/*.pdf; do scan_pdf "$pdf"; done | sort)
[ "$scanned" = "$expected" ] || fail "labels scanned back as [$scanned], expected [$expected]"
grep -q -- "---$refnum" /var/lib/quillon/PrintLog/*.txt ||
  fail "the request is not in the shared print log"
# A second bench account appends to the day files the first one made.
useradd --home-dir "$home-2" --create-home --groups quillon "$user-2"
sed "s#$user#$user-2#; s#$home#$home-2#g" "$WORK/as-user" >"$WORK/as-user-2"
day=$(grep -l -- "---$refnum" $folder/*.txt | head -n 1)
sh "$WORK/as-user-2" sh -c "[ -w '$day' ] && quillon --check" >"$WORK/check-2.txt" 2>&1 || true
grep -q "^ok     print log" "$WORK/check-2.txt" ||
  fail "a second account cannot append to the day file $(stat -c '%U %a' "$day") or the check says so"
kill "$STATION_PID"
wait "$STATION_PID" 2>/dev/null || true
STATION_PID=""
station_pid() { pgrep -u "$user" -x quillon | head -n 1 || true; }
for _ in $(seq 1 50); do [ -z "$(station_pid)" ] && break; sleep 0.2; done

# The kiosk start, as its autostart entry runs it: a killed station is back within the delay.
kiosk=$(sed -n 's/^Exec=//p' /usr/share/quillon/quillon-kiosk.desktop)
"$WORK/as-user" $kiosk >"$WORK/kiosk.log" 2>&1 &
KIOSK_PID=$!
first=""
for _ in $(seq 1 100); do first=$(station_pid); [ -n "$first" ] && break; sleep 0.2; done
[ -n "$first" ] || fail "the kiosk start did not start the station"
sleep 2
kill -9 "$first" || { cat "$WORK/kiosk.log" >&2; fail "the station the kiosk started ended by itself"; }
killed=$(date +%s)
second=""
for _ in $(seq 1 150); do
  second=$(station_pid)
  [ -n "$second" ] && [ "$second" != "$first" ] && break
  sleep 0.2
done
[ -n "$second" ] && [ "$second" != "$first" ] || fail "the kiosk start did not start the station again"
restarted=$(($(date +%s) - killed))
((restarted <= 12)) || fail "the station came back after $restarted s, not within the documented 10 s"
grep -q "status 137" "$WORK/kiosk.log" || fail "the kiosk start did not tell why it restarted"
kill "$KIOSK_PID" 2>/dev/null || true
kill "$second" 2>/dev/null || true
wait "$KIOSK_PID" 2>/dev/null || true
KIOSK_PID=""

# Remove keeps the template; purge keeps the print logs, which hold the lab's records.
apt_q remove quillon
[ -f "$template" ] && [ ! -e /usr/bin/quillon ] || fail "remove did not leave the configuration alone"
apt_q purge quillon
[ ! -e /etc/quillon ] || fail "purge left /etc/quillon"
ls /var/lib/quillon/PrintLog/*.txt >/dev/null 2>&1 && getent group quillon >/dev/null ||
  fail "purge removed the print logs or their group"

# Reinstalls leave an administrator's driver entry as it is, and their link or mount at the
# print-log folder's place, with what it points to, through install and purge.
sed -i 's/^Description=.*/Description=the lab'"'"'s own/' "$ODBCSYSINI/odbcinst.ini"
apt_q install "$deb"
apt_q install --reinstall "$deb"
[ "$(grep -c -e '^\[FreeTDS\]' -e "lab's own" "$ODBCSYSINI/odbcinst.ini")" = 2 ] || fail "the driver entry was overridden"
mv $folder "$WORK/share" && ln -s "$WORK/share" $folder
apt_q purge quillon
[ -L $folder ] && ls "$WORK"/share/*.txt >/dev/null || fail "purge did not leave a linked print-log folder alone"
ln -sfn "$WORK/not-yet" $folder
apt_q install "$deb"
[ "$(readlink $folder)" = "$WORK/not-yet" ] && grep -q "is not a folder" "$WORK/apt.log" || fail "install did not leave a dangling link alone"
rm $folder && mkdir $folder && mount --bind "$WORK/share" $folder
apt_q purge quillon
mountpoint -q $folder && ls $folder/*.txt >/dev/null || fail "purge did not leave a mounted print-log folder alone"
echo "e2e package: passed ($deb, $count labels of $refnum, kiosk restart in $restarted s)"
