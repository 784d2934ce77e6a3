#!/usr/bin/env bash
# The SQL Server road: the station reaches the TDS test server through unixODBC and FreeTDS
# (Server=127.0.0.1,PORT) on an encrypted link whose certificate a test CA vouches for, prints a
# request by hand and the recent ones with Print Now into a PDF folder. The labels scan back, a patient name with accents and Greek letters prints exactly, the
# server's database holds one record of each printed item, the server refused no statement, and
# what it received never holds the password or a request number in clear.
source "$(dirname "$0")/lib.sh" "$@"
start_display
"$LABDB_TOOL" demo "$WORK/lab.db" >/dev/null
printf '[LabBarcodes]\nvkchkAutoPrintRequests=0\n' >"$XDG_CONFIG_HOME/quillon/Wrenfold.ini"

# A new request of a patient whose name is not ASCII: the items of a demo request with several
# labels, two minutes old, under new barcodes.
name='Núñez, Zoë Ελένη'
refnum=T2612099001C
source_ref=$(labdb "SELECT RefNum FROM tbLabMaster GROUP BY RefNum HAVING count(DISTINCT Barcode) >= 2 LIMIT 1;")
labdb "INSERT INTO tbLabPatient VALUES ('0109001', 'Núñez', 'Zoë', 'Ελένη', '301', '34', 'F');
       INSERT INTO tbLabMaster (RequestNum, RefNum, Transdate, RequestStatus, ItemId, HospNum, IdNum,
         SpecimenId, SectionId, ProfileId, Barcode, InstrumentId)
       SELECT RequestNum || 'U', '$refnum', strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime', '-2 minutes'),
         'X', ItemId, '0109001', IdNum, SpecimenId, SectionId, ProfileId, Barcode || 'U', InstrumentId
       FROM tbLabMaster WHERE RefNum = '$source_ref';"
expected=$(labdb "SELECT DISTINCT Barcode FROM tbLabMaster WHERE RefNum = '$refnum';" | sort)

start_tds_server --encryption require --tls-dir "$WORK/tls" --record "$WORK/received"
printf '[Connection]\nServer=127.0.0.1,%s\nDatabase=Laboratory\nUser=sa\nPassword=Lab-2024\nEncrypt=yes\nCAFile=%s\n' \
  "$port" "$WORK/tls/ca.pem" >"$XDG_CONFIG_HOME/quillon/ORVANT Current User.ini"
check=$("$QUILLON" --check 2>&1 || true)
grep -q "^ok     connection: .*encrypted, the server's certificate verified against $WORK/tls/ca.pem" <<<"$check" ||
  fail "the check does not tell a verified encrypted link: $check"
settings="$XDG_CONFIG_HOME/quillon/ORVANT Current User.ini"
cp "$settings" "$WORK/settings" && echo TrustServerCertificate=yes >>"$settings"
grep -q "^WARN   connection: .*certificate is NOT verified.* Remedy: " <<<"$("$QUILLON" --check 2>&1 || true)" ||
  fail "the check does not warn of a certificate trusted unverified"
mv "$WORK/settings" "$settings"

# The station prints into a folder of PDF labels.
copy_station
PDF_FOLDER="$WORK/labels"
mkdir -p "$PDF_FOLDER"
point_template "pdf:$PDF_FOLDER"

open_station_window
mark_spool
print_by_hand "$refnum"
wait_spooled "$(echo "$expected" | wc -l)"
expect_scanned "$expected"
# The label shows the name and the request's time exactly as the database holds them.
label=$(pdftotext "$(spooled_pdfs | head -n 1)" -)
for text in "$name" "$(labdb "SELECT max(Transdate) FROM tbLabMaster WHERE RefNum = '$refnum';")"; do
  grep -qF "$text" <<<"$label" || fail "the label does not show $text: $label"
done

# Print Now prints every other recent request; every label of the run scans back.
find_print_now
xdotool key alt+r # Refresh
sleep 3
mark_spool
print_now
recent="SELECT DISTINCT A.RefNum FROM tbLabMaster A JOIN tbcolabexam B ON A.ItemId = B.LabexamId
        WHERE A.RequestStatus = 'X' AND B.Form <> 'P'
        AND A.Transdate >= strftime('%Y-%m-%d %H:%M:00', 'now', 'localtime', '-359 minutes')"
others=$(labdb "SELECT DISTINCT Barcode FROM tbLabMaster WHERE RefNum IN ($recent) AND RefNum <> '$refnum'
               AND Barcode IS NOT NULL;" | sort)
wait_spooled "$(echo "$others" | wc -l)"
screenshot sqlserver-road
expect_scanned "$others"

# One master and one date record per item of each printed label, at the server's time of the print.
printed=$(printf '%s\n%s\n' "$expected" "$others" | sed "s/.*/'&'/" | paste -sd,)
items="SELECT RequestNum, Barcode FROM tbLabMaster WHERE Barcode IN ($printed) ORDER BY 1, 2"
[ "$(labdb "SELECT RequestNum, Barcode FROM tbLabBarcodeMaster ORDER BY 1, 2;")" = "$(labdb "$items;")" ] ||
  fail "tbLabBarcodeMaster does not hold one record per printed item"
[ "$(labdb "SELECT RequestNum FROM tbLabBarcodeDate WHERE ServerTime BETWEEN
        datetime('now', 'localtime', '-5 minutes') AND datetime('now', 'localtime', '+1 seconds') ORDER BY 1;")" = \
  "$(labdb "SELECT RequestNum FROM ($items) ORDER BY 1;")" ] ||
  fail "tbLabBarcodeDate does not hold one record of this print per printed item"
[ "$(labdb "SELECT DISTINCT HospNum FROM tbLabBarcodeMaster WHERE RefNum = '$refnum';")" = 0109001 ] ||
  fail "the request of $name was not recorded under its patient"
! grep -q "error 102" "$WORK/tds.log" || fail "the server refused a statement: $(grep "error 102" "$WORK/tds.log")"
python3 - "$WORK/received" "$refnum" <<'PY' || fail "the server received the password or a request number in clear"
import sys
got, password = open(sys.argv[1], "rb").read(), "Lab-2024".encode("utf-16-le")
clear = [password, bytes(((b << 4 | b >> 4) & 0xFF) ^ 0xA5 for b in password), sys.argv[2].encode("utf-16-le")]
sys.exit(len(got) < 2000 or any(c in got for c in clear))
PY
! grep -qE "\[(unixODBC|FreeTDS)\]|QODBC" "$WORK/station.log" || fail "a message shows the driver's layers: $(cat "$WORK/station.log")"

kill "$STATION_PID"
wait "$STATION_PID" 2>/dev/null || true
STATION_PID=""
echo "e2e SQL Server road (encrypted, verified): passed ($(echo "$expected" | wc -l) labels by hand, $(echo "$others" | wc -l) by Print Now)"
