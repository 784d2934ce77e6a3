#!/usr/bin/env bash
# Windows printer queues, the printers Wine makes of the queues of a private cupsd:
# - ZPL raw: the installed quillon-label.exe prints a label to "zpl:queue:LabelRaw", and the label
#   printer behind the queue receives the very bytes the Debian build makes of that label
#   (tests/zpl/small-label.zpl); a queue that takes no jobs fails the label and nothing comes out.
# - A named printer through the Windows print system: the label printed to "LabelGdi" (Wine's
#   PostScript driver behind it) scans back as its barcode.
source "$(dirname "$0")/lib.sh" "$@"
[ "$(id -u)" = 0 ] || { echo "windows queues: skipped: the private cupsd runs as root"; exit 77; }
install_msi

# The label printer: the bytes of every connection appended to printed.zpl.
python3 -c 'import socket, sys
server = socket.create_server(("127.0.0.1", 0))
print(server.getsockname()[1], flush=True)
while True:
    client, _ = server.accept()
    with client, open(sys.argv[1], "ab") as out:
        out.write(b"".join(iter(lambda: client.recv(65536), b"")))' "$WORK/printed.zpl" >"$WORK/port" &
PRINTER_PID=$!
# A cupsd of the test's own on a socket, which Wine's libcups finds through CUPS_SERVER.
cups=$WORK/cups
mkdir -p "$cups"/{spool,cache,state,log}
chmod o+x "$WORK" # the backend runs as lp and reads the job from the spool folder
printf 'Listen %s/socket\nBrowsing No\n<Location />\nOrder allow,deny\nAllow all\n</Location>\n' "$cups" >"$cups/cupsd.conf"
printf '%s\n' "ServerRoot $cups" "RequestRoot $cups/spool" "CacheDir $cups/cache" "StateDir $cups/state" \
  "ErrorLog $cups/log/error_log" "AccessLog $cups/log/access_log" "PageLog $cups/log/page_log" \
  "SystemGroup root" >"$cups/cups-files.conf"
/usr/sbin/cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf" &
CUPSD_PID=$!
trap 'kill "$PRINTER_PID" "$CUPSD_PID" 2>/dev/null || true; e2e_cleanup' EXIT
export CUPS_SERVER=$cups/socket
wait_until 10 test -S "$CUPS_SERVER" -a -s "$WORK/port" || true
for queue in LabelRaw LabelGdi; do
  lpadmin -p $queue -v "socket://127.0.0.1:$(cat "$WORK/port")" -m raw -E 2>/dev/null ||
    fail "the private cupsd did not take the queue $queue"
done

# The small label, printed by the installed quillon-label.exe to the printer given.
print_label() {
  sed "s#^{ #{ \"printer\": \"$1\", #" "$SOURCE_DIR/tests/zpl/small-label.rpt" >"$DRIVE_C/label.rpt"
  (cd "$DRIVE_C" && wine_ "$PROGRAM\\quillon-label.exe" print 'C:\label.rpt' --values '2401150001,SANTOS\, ANA,42') \
    >"$WORK/label.txt" 2>&1 || { cat "$WORK/label.txt"; return 1; }
}
golden=$SOURCE_DIR/tests/zpl/small-label.zpl
print_label zpl:queue:LabelRaw || fail "the label did not print"
out_as_big() { [ "$(stat -c %s "$WORK/printed.zpl" 2>/dev/null)" = "$(stat -c %s "$golden")" ]; }
wait_until 10 out_as_big || true
cmp "$golden" "$WORK/printed.zpl" || fail "the printer received other bytes than $golden"

cupsreject LabelRaw
! print_label zpl:queue:LabelRaw >/dev/null || fail "a label counted as printed on a queue that takes no jobs"
grep -q 'The label printer queue "LabelRaw" did not take the label' "$WORK/label.txt" ||
  fail "the refused label was told as: $(cat "$WORK/label.txt")"
sleep 1
cmp -s "$golden" "$WORK/printed.zpl" || fail "a refused label reached the printer"

# The printer behind LabelGdi is the same listener: its job is what follows the ZPL.
before=$(stat -c %s "$WORK/printed.zpl")
print_label LabelGdi || fail "the label did not print to LabelGdi"
page_ended() { tail -c +$((before + 1)) "$WORK/printed.zpl" >"$WORK/gdi.ps" && tail -n 1 "$WORK/gdi.ps" | grep -q '^%%EOF'; }
wait_until 10 page_ended || true
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pnggray -r300 -sOutputFile="$WORK/gdi.png" "$WORK/gdi.ps" ||
  fail "the printer behind LabelGdi received no page: $(head -c 200 "$WORK/gdi.ps")"
[ "$(zbarimg -q --raw "$WORK/gdi.png" 2>/dev/null)" = 2401150001 ] || fail "the label on LabelGdi does not scan as 2401150001"
echo "windows queues: passed (ZPL raw, and a named printer through the Windows print system)"
