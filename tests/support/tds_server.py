#!/usr/bin/python3
"""A TDS 7.4 server for the SQL Server road's tests, over a reference lab database (SQLite).

It answers the statement texts the station sends, and what FreeTDS sends at login and for
transactions; any other text is refused with an error, so an unexpected statement fails a test.
Prints "port N" once it listens. Control: words in the file given by --control, read before
every request: "drop" (the next request's connection is closed unanswered; the word is used up),
"deny <procedure>" (error 229 for that procedure), "clock <minutes>" (the server's clock that many
minutes from the machine's, as a server in another time zone or with a clock set wrong),
"cut <lock>" (the connection that holds that application lock is closed at its next request). A lock on the SQLite file held longer than
--lock-wait-ms fails with error 1222.

Encryption, as SQL Server negotiates it in the pre-login (--encryption): "none" offers none (the
login goes in clear), "off" encrypts the login packet only unless the client asks for more,
"require" encrypts the whole session and drops a client that cannot. The TLS handshake travels in
pre-login packets, then TLS records go straight over TCP. --tls-dir holds the certificates, made
with openssl when missing: ca.pem signed server.pem (127.0.0.1 and localhost); other-ca.pem signed
nothing the server shows. --record appends every byte received from clients, as a capture.
"""
import argparse, datetime, os, re, socket, socketserver, sqlite3, ssl, struct, subprocess, sys, threading

# -- The station's statements, character for character ------------------------------------------
RECENT_HEAD = ("   select distinct top 50     A.RefNum as [RefNum],transdate   from Laboratory..tbLabMaster A"
               "     left outer join Build_File..tbcolabexam B on A.ItemId = B.LabexamId   where RequestStatus"
               " = 'X' and B.Form <> 'P' and      datediff(minute,A.Transdate,getdate())<360")
RECENT_ORDER = " order by transdate desc "
FINGERPRINTS = ("select A.RefNum as [RefNum], count(*) as [Items], checksum_agg(checksum(A.ItemId, A.Barcode))"
                " as [Labels] from"
                " Laboratory..tbLabMaster A where A.Transdate >= dateadd(minute, datediff(minute, 0, getdate())"
                " - 359, 0) group by A.RefNum")
EXAMS_HEAD = ("   select     A.HospNum as [HospNum],     A.IdNum as [IdNum],     A.RefNum as [RefNum], "
              "    A.RequestNum as [RequestNum],     isnull(E.LabExam,'') as [Exam],a.transdate as transdate, "
              "    isnull(C.LastName,'')+', '+ isnull(C.FirstName,'')+' '+ isnull(C.MiddleName,'') as "
              "[PatientName]   from Laboratory..tbLabMaster A     left outer join Build_File..tbcolabexam B on"
              " A.ItemId = B.LabexamId     left outer join Laboratory..vwPatientResultEntry C on A.HospNum="
              "C.HospNum     left outer join Build_File..tbcolabprofileexams D on A.ItemId = D.ProfileId    "
              " inner join Laboratory..tbLabInstrumentExams LI on LI.ItemID = D.ExamId and LI.Active = '1'  "
              "   left outer join Build_File..tbcolabexam E on D.ExamId = E.LabexamId     left outer join "
              "Laboratory..tblabinstrumentdlhemaresult F on A.requestnum = F.RequestNum   where a.RefNum = ")
WRITE_CHECK = """SET LOCK_TIMEOUT 5000;
BEGIN TRY
    BEGIN TRANSACTION;
    EXEC Laboratory..Lab_Barcode_SaveDate '','','','20000101','0','write check';
    ROLLBACK TRANSACTION;
    SET LOCK_TIMEOUT -1;
END TRY
BEGIN CATCH
    IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
    SET LOCK_TIMEOUT -1;
    DECLARE @message nvarchar(2048) = ERROR_MESSAGE();
    RAISERROR('%s', 16, 1, @message);
END CATCH"""
END_WRITE_CHECK = "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION; SET LOCK_TIMEOUT -1"
LIT = r"'((?:[^']|'')*)'"
PROC = r"Laboratory\.\.(Lab_Barcode_\w+) "

# -- The same statements in the SQLite dialect (src/app/SqliteLabDatabase.cpp) -------------------
NAME = "ifnull({0}.LastName,'') || ', ' || ifnull({0}.FirstName,'') || ' ' || ifnull({0}.MiddleName,'')"
RECENT = ("SELECT DISTINCT A.RefNum AS RefNum, A.Transdate AS transdate FROM tbLabMaster A"
          " LEFT OUTER JOIN tbcolabexam B ON A.ItemId = B.LabexamId WHERE A.RequestStatus = 'X' AND"
          " B.Form <> 'P' AND A.Transdate >= strftime('%Y-%m-%d %H:%M:00', 'now', 'localtime', '-359 minutes')")
RECENT_SQL = RECENT + " ORDER BY transdate DESC, RefNum DESC LIMIT 50"
FINGERPRINTS_SQL = ("SELECT W.RefNum AS RefNum, count(*) AS Items, group_concat(ifnull(W.ItemId, '') || '=' ||"
                    " ifnull(W.Barcode, ''), ' ') AS Labels FROM (SELECT A.RefNum, A.ItemId, A.Barcode FROM"
                    " tbLabMaster A WHERE A.Transdate >= strftime('%Y-%m-%d %H:%M:00', 'now', 'localtime',"
                    " '-359 minutes') ORDER BY A.RefNum, A.ItemId, A.Barcode) W GROUP BY W.RefNum")
OLDER_SQL = RECENT + " AND A.Transdate < ? ORDER BY transdate DESC, RefNum DESC LIMIT 50"
EXAMS_SQL = ("SELECT A.HospNum AS HospNum, A.IdNum AS IdNum, A.RefNum AS RefNum, A.RequestNum AS RequestNum,"
             " ifnull(E.LabExam, '') AS Exam, A.Transdate AS transdate, " + NAME.format("C") +
             " AS PatientName FROM tbLabMaster A LEFT OUTER JOIN tbcolabexam B ON A.ItemId = B.LabexamId"
             " LEFT OUTER JOIN vwPatientResultEntry C ON A.HospNum = C.HospNum"
             " LEFT OUTER JOIN tbcolabprofileexams D ON A.ItemId = D.ProfileId"
             " INNER JOIN tbLabInstrumentExams LI ON LI.ItemID = D.ExamId AND LI.Active = '1'"
             " LEFT OUTER JOIN tbcolabexam E ON D.ExamId = E.LabexamId"
             " LEFT OUTER JOIN tblabinstrumentdlhemaresult F ON A.RequestNum = F.RequestNum"
             " WHERE A.RefNum = ? ORDER BY A.rowid, D.rowid, LI.rowid, F.rowid")
LABELS_SQL = ("WITH hits AS (SELECT rowid AS rid, HospNum, Transdate, Barcode, InstrumentId FROM tbLabMaster"
              " WHERE {} = ?), labels AS (SELECT *, row_number() OVER (PARTITION BY Barcode ORDER BY rid) AS k"
              " FROM hits) SELECT L.HospNum AS HospNum, " + NAME.format("P") + " AS PatientName,"
              " L.Transdate AS TransDate, P.RoomID AS RoomID, P.Age AS Age, P.Sex AS Sex, L.Barcode AS Barcode,"
              " I.Instrument AS Instrument FROM labels L LEFT OUTER JOIN tbLabPatient P ON P.HospNum = L.HospNum"
              " LEFT OUTER JOIN tbLabInstrument I ON I.InstrumentId = L.InstrumentId WHERE L.k = 1 ORDER BY L.rid")
ROWS_SQL = ("SELECT A.RefNum AS RefNum, A.IdNum AS IDNum, A.HospNum AS HospNum, A.Barcode AS Barcode,"
            " A.ItemId AS ItemId, A.SpecimenId AS SpecimenId, A.RequestNum AS RequestNum, A.ProfileId AS"
            " ProfileId, A.SectionId AS SectionId, " + NAME.format("P") + " AS PatientName,"
            " ifnull(E.LabExam, '') AS Exam FROM tbLabMaster A LEFT OUTER JOIN tbLabPatient P ON"
            " P.HospNum = A.HospNum LEFT OUTER JOIN tbcolabexam E ON E.LabexamId = A.ItemId"
            " WHERE A.Barcode = ? ORDER BY A.rowid")
NOW = "strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')"
MASTER_SQL = ("INSERT INTO tbLabBarcodeMaster (RefNum, IDNum, HospNum, Barcode, ItemId, SpecimenId, SectionId,"
              " RequestNum, ProfileId, RecordedAt) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, " + NOW + ")")
DATE_SQL = ("INSERT INTO tbLabBarcodeDate (RequestNum, ItemId, SectionId, ServerTime, StatusFlag, Remarks,"
            " RecordedAt) VALUES (?, ?, ?, ?, ?, ?, " + NOW + ")")


def any_case(statement):
    """SQL Server's usual collation (_CI_) finds "T1C" for "t1c"; SQLite's = compares exactly."""
    return statement.replace("RefNum = ?", "RefNum = ? COLLATE NOCASE")


NVARCHAR = {"Exam", "PatientName", "Instrument"}  # nvarchar in the lab's tables; the rest varchar
DATETIME = {"transdate", "serverdate"}
INT = {"DATA_TYPE", "PRECISION", "Items"}

# The change probe and the session-owned application lock of the lease for automatic printing.
PROBE = ("select count(*) as items, max(A.Transdate) as newest from Laboratory..tbLabMaster A "
         "where A.RequestStatus = 'X' and A.Transdate >= dateadd(minute, datediff(minute, 0, getdate()) - 359, 0)")
PROBE_SQL = ("SELECT count(*) AS items, max(Transdate) AS newest FROM tbLabMaster WHERE RequestStatus = 'X'"
             " AND Transdate >= strftime('%Y-%m-%d %H:%M:00', 'now', 'localtime', '-359 minutes')")
TAKE_LOCK = (r"DECLARE @result int; EXEC @result = sp_getapplock @Resource = N" + LIT +
             r", @LockMode = 'Exclusive', @LockOwner = 'Session', @LockTimeout = 0, @DbPrincipal = 'public';"
             r" SELECT @result AS result")
LOCK_MODE = r"SELECT APPLOCK_MODE\('public', N" + LIT + r", 'Session'\) AS mode"
LOCK_TEST = r"SELECT APPLOCK_TEST\('public', N" + LIT + r", 'Exclusive', 'Session'\) AS free"
RELEASE_LOCK = r"EXEC sp_releaseapplock @Resource = N" + LIT + r", @LockOwner = 'Session', @DbPrincipal = 'public'"
LEFT_LIST = (r"select distinct top 500 A\.RefNum as \[RefNum\], A\.Transdate as transdate from Laboratory\.\.tbLabMaster A"
             r" left outer join Build_File\.\.tbcolabexam B on A\.ItemId = B\.LabexamId where A\.RequestStatus = 'X'"
             r" and B\.Form <> 'P' and not \(A\.Transdate >= dateadd\(minute, datediff\(minute, 0, getdate\(\)\) - 359,"
             r" 0\)\) and A\.Transdate >= dateadd\(hour, -(\d+), getdate\(\)\) order by transdate desc")
LEFT_LIST_SQL = ("SELECT DISTINCT A.RefNum AS RefNum, A.Transdate AS transdate FROM tbLabMaster A LEFT OUTER JOIN"
                 " tbcolabexam B ON A.ItemId = B.LabexamId WHERE A.RequestStatus = 'X' AND B.Form <> 'P' AND NOT"
                 " (A.Transdate >= strftime('%Y-%m-%d %H:%M:00', 'now', 'localtime', '-359 minutes')) AND"
                 " A.Transdate >= strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime', ?) ORDER BY transdate DESC LIMIT 500")
DATETIME.add("newest")
INT.update({"items", "result", "free"})
APPLOCKS, APPLOCKS_GUARD = {}, threading.Lock()  # resource -> [owning session, grant count]


class SqlError(Exception):
    def __init__(self, number, text, state=1, severity=16):
        super().__init__(text)
        self.number, self.text, self.state, self.severity = number, text, state, severity


def lock_timeout():
    return SqlError(1222, "Lock request time out period exceeded.", 56)


def permission(proc):
    return SqlError(229, f"The EXECUTE permission was denied on the object '{proc}', "
                         "database 'Laboratory', schema 'dbo'.", 5, 14)


def refused(text):
    return SqlError(102, f"Incorrect syntax near '{text[:40]}'.", 1, 15)


def server_time(text):
    for form in ("%Y-%m-%dT%H:%M:%S.%f", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d %H:%M:%S", "%Y%m%d"):
        try:
            return datetime.datetime.strptime(text, form).strftime("%Y-%m-%d %H:%M:%S.%f")[:23]
        except ValueError:
            pass
    raise SqlError(241, "Conversion failed when converting date and/or time from character string.")


# -- Encoding ------------------------------------------------------------------------------------
def bvar(s):
    return bytes([len(s)]) + s.encode("utf-16-le")


def usvar(s):
    return struct.pack("<H", len(s)) + s.encode("utf-16-le")


COLLATION = bytes.fromhex("0904d00034")  # SQL_Latin1_General_CP1_CI_AS: varchar is code page 1252


def envchange(kind, new, old=b""):
    body = bytes([kind]) + new + old
    return b"\xe3" + struct.pack("<H", len(body)) + body


def message(token, number, text, state, severity, server):
    body = (struct.pack("<iBB", number, state, severity) + usvar(text) + bvar(server) + bvar("")
            + struct.pack("<i", 1))
    return bytes([token]) + struct.pack("<H", len(body)) + body


def done(status=0, count=0, token=0xFD):
    return bytes([token]) + struct.pack("<HHQ", status, 0xC1, count)


def datetime_value(text):
    t = datetime.datetime.fromisoformat(text)
    days = (t.date() - datetime.date(1900, 1, 1)).days
    ticks = round((t.hour * 3600 + t.minute * 60 + t.second + t.microsecond / 1e6) * 300)
    return b"\x08" + struct.pack("<iI", days, ticks)


def result_set(columns, rows, done_token=0xFD):
    out = b"\x81" + struct.pack("<H", len(columns))
    for name in columns:
        if name.lower() in DATETIME:
            info = b"\x6f\x08"
        elif name in INT:
            info = b"\x26\x04"
        elif name in NVARCHAR:
            info = b"\xe7" + struct.pack("<H", 8000) + COLLATION
        else:
            info = b"\xa7" + struct.pack("<H", 8000) + COLLATION
        out += struct.pack("<IH", 0, 1) + info + bvar(name)
    for row in rows:
        out += b"\xd1"
        for name, value in zip(columns, row):
            if value is None:
                out += b"\x00" if name.lower() in DATETIME else b"\xff\xff"
                continue
            if name in INT:
                out += b"\x04" + struct.pack("<i", value)
                continue
            if name.lower() in DATETIME:
                out += datetime_value(value)
                continue
            data = str(value).encode("utf-16-le" if name in NVARCHAR else "cp1252", "replace")
            out += struct.pack("<H", len(data)) + data
    return out + done(0x10, len(rows), done_token)


# -- Transport: plain TCP, or TLS records over it ------------------------------------------------
ENCRYPT_OFF, ENCRYPT_ON, ENCRYPT_NOT_SUP, ENCRYPT_REQ = 0, 1, 2, 3


def make_certificates(folder):
    if os.path.exists(os.path.join(folder, "server.pem")):
        return
    os.makedirs(folder, exist_ok=True)
    run = lambda *args: subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)
    for ca in ("ca", "other-ca"):
        run("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
            "-subj", f"/CN=Test {ca}",
            "-keyout", f"{ca}.key", "-out", f"{ca}.pem")
    run("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj", "/CN=localhost",
        "-keyout", "server.key",
        "-out", "server.csr")
    with open(os.path.join(folder, "san.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
        "-days", "2", "-extfile", "san.ext", "-out", "server.pem")


class Channel:
    """The bytes of one client, recorded as they arrive; TLS once started."""

    def __init__(self, sock, record):
        self.sock, self.record, self.tls = sock, record, None

    def raw_recv(self, n):
        data = self.sock.recv(n)
        if self.record and data:
            with open(self.record, "ab") as f:
                f.write(data)
        return data

    def recv(self, n):
        if not self.tls:
            return self.raw_recv(n)
        while True:
            try:
                return self.tls.read(n)
            except ssl.SSLWantReadError:
                data = self.raw_recv(16384)
                if not data:
                    return b""
                self.incoming.write(data)
            except ssl.SSLZeroReturnError:
                return b""

    def sendall(self, data):
        if not self.tls:
            return self.sock.sendall(data)
        self.tls.write(data)
        self.sock.sendall(self.outgoing.read())

    def start_tls(self, tls, incoming, outgoing):
        self.tls, self.incoming, self.outgoing = tls, incoming, outgoing

    def stop_tls(self):
        self.tls = None


# -- One client ----------------------------------------------------------------------------------
class Session(socketserver.BaseRequestHandler):
    def setup(self):
        self.opts = self.server.opts
        self.channel = Channel(self.request, self.opts.record)
        self.db = sqlite3.connect(self.opts.database, timeout=self.opts.lock_wait_ms / 1000,
                                  isolation_level=None, check_same_thread=False)
        self.packet_size = 4096
        self.transaction = 0

    def finish(self):
        self.db.close()
        with APPLOCKS_GUARD:  # the server drops a session's locks with its connection
            for resource in [r for r, (owner, _) in APPLOCKS.items() if owner is self]:
                del APPLOCKS[resource]
                self.log(f"applock {resource!r} released with the connection")

    def log(self, text):
        print(f"[{self.client_address[1]}] {text}", file=sys.stderr, flush=True)

    def receive(self):
        kind, data = None, b""
        while True:
            header = self.read(8)
            if header is None:
                return None, None
            kind, status, length = header[0], header[1], struct.unpack(">H", header[2:4])[0]
            data += self.read(length - 8) or b""
            if status & 1:
                return kind, data

    def read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.channel.recv(n - len(data))
            if not chunk:
                return None
            data += chunk
        return data

    def send(self, payload, kind=4):
        room = self.packet_size - 8
        for at in range(0, max(len(payload), 1), room):
            part = payload[at:at + room]
            last = at + room >= len(payload)
            self.channel.sendall(struct.pack(">BBHHBB", kind, 1 if last else 0, len(part) + 8, 0, 1, 0) + part)

    def control(self):
        try:
            with open(self.opts.control, encoding="utf-8") as f:
                words = f.read().split("\n")
        except OSError:
            return []
        if "drop" in words:
            with open(self.opts.control, "w", encoding="utf-8") as f:
                f.write("\n".join(w for w in words if w != "drop"))
        return words

    def handle(self):
        kind, data = self.receive()
        if kind != 0x12:
            return
        encryption = self.negotiate(self.prelogin_option(data, 1))
        options = [(0, bytes([15, 0, 0x10, 0, 0, 0])), (1, bytes([encryption])), (2, b"\x00"), (3, b""),
                   (4, b"\x00")]
        head, body, offset = b"", b"", 5 * len(options) + 1
        for token, value in options:
            head += struct.pack(">BHH", token, offset + len(body), len(value))
            body += value
        self.send(head + b"\xff" + body)
        if encryption == ENCRYPT_REQ and self.prelogin_option(data, 1) == ENCRYPT_NOT_SUP:
            self.log("refused: the client does not encrypt")
            return
        if encryption != ENCRYPT_NOT_SUP and not self.handshake():
            return
        kind, data = self.receive()
        if encryption == ENCRYPT_OFF:
            self.channel.stop_tls()  # only the login was encrypted
        if kind != 0x10 or not self.login(data):
            return
        while True:
            kind, data = self.receive()
            if kind is None:
                return
            if "drop" in self.control():
                self.log("dropped")
                return
            if self.cut():
                self.log("cut as the holder of an application lock")
                return
            if kind == 6:
                self.send(done(0x20))
                continue
            try:
                payload = self.request_reply(kind, data)
            except SqlError as e:
                self.log(f"error {e.number}: {e.text}")
                payload = message(0xAA, e.number, e.text, e.state, e.severity, "TDSTEST") + done(0x02)
            self.send(payload + self.ended_by_server())

    @staticmethod
    def prelogin_option(data, wanted):
        at = 0
        while at < len(data) and data[at] != 0xFF:
            token, offset, length = struct.unpack(">BHH", data[at:at + 5])
            if token == wanted and length:
                return data[offset]
            at += 5
        return ENCRYPT_NOT_SUP

    def negotiate(self, client):
        mode = self.opts.encryption
        if mode == "none" or (mode == "off" and client == ENCRYPT_NOT_SUP):
            return ENCRYPT_NOT_SUP
        if mode == "off":
            return ENCRYPT_OFF if client == ENCRYPT_OFF else ENCRYPT_ON
        return ENCRYPT_REQ if client in (ENCRYPT_OFF, ENCRYPT_NOT_SUP) else ENCRYPT_ON

    def handshake(self):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.maximum_version = ssl.TLSVersion.TLSv1_2  # what SQL Server speaks for TDS 7.x
        context.load_cert_chain(os.path.join(self.opts.tls_dir, "server.pem"),
                                os.path.join(self.opts.tls_dir, "server.key"))
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        tls = context.wrap_bio(incoming, outgoing, server_side=True)
        while True:
            try:
                tls.do_handshake()
                finished = True
            except ssl.SSLWantReadError:
                finished = False
            except ssl.SSLError as e:
                self.log(f"TLS handshake failed: {e.reason}")
                return False
            if outgoing.pending:
                self.send(outgoing.read(), kind=0x12)
            if finished:
                break
            kind, data = self.receive()
            if kind != 0x12:
                self.log("TLS handshake failed: the client left")
                return False
            incoming.write(data)
        self.log(f"TLS {tls.version()} started")
        self.channel.start_tls(tls, incoming, outgoing)
        return True

    def login(self, data):
        field = lambda at: struct.unpack("<HH", data[at:at + 4])
        text = lambda at: data[field(at)[0]:field(at)[0] + 2 * field(at)[1]]
        self.packet_size = max(512, min(32767, struct.unpack("<I", data[8:12])[0] or 4096))
        user = text(40).decode("utf-16-le")
        password = bytes(((b ^ 0xA5) >> 4) | (((b ^ 0xA5) & 15) << 4) for b in text(44)).decode("utf-16-le")
        database = text(68).decode("utf-16-le") or "Laboratory"
        self.log(f"login {user} database {database} packet size {self.packet_size}")
        if user != self.opts.user or password != self.opts.password:
            self.send(message(0xAA, 18456, f"Login failed for user '{user}'.", 1, 14, "TDSTEST") + done(0x02))
            return False
        if database.lower() != "laboratory":
            self.send(message(0xAA, 4060, f'Cannot open database "{database}" requested by the login. '
                                          "The login failed.", 1, 11, "TDSTEST") + done(0x02))
            return False
        ack = b"\x01" + struct.pack(">I", 0x74000004) + bvar("Microsoft SQL Server") + bytes([15, 0, 0x10, 0])
        self.send(envchange(1, bvar(database), bvar("master"))
                  + message(0xAB, 5701, f"Changed database context to '{database}'.", 2, 0, "TDSTEST")
                  + envchange(7, b"\x05" + COLLATION, b"\x00")
                  + envchange(2, bvar("us_english"), bvar(""))
                  + message(0xAB, 5703, "Changed language setting to us_english.", 1, 0, "TDSTEST")
                  + b"\xad" + struct.pack("<H", len(ack)) + ack
                  + envchange(4, bvar(str(self.packet_size)), bvar("4096")) + done())
        return True

    def ended_by_server(self):
        # An error that ends the transaction (a trigger's ROLLBACK) is told to the client.
        if self.transaction and not self.db.in_transaction:
            self.transaction = 0
            return envchange(10, b"\x00", b"\x08" + struct.pack("<Q", 1))
        return b""

    def request_reply(self, kind, data):
        headers = struct.unpack("<I", data[:4])[0]
        data = data[headers:]
        if kind == 0x0E:
            return self.transaction_request(struct.unpack("<H", data[:2])[0])
        if kind == 3:
            return self.rpc(data)
        if kind != 1:
            self.log(f"refused packet type {kind}")
            raise refused(f"packet type {kind}")
        text = data.decode("utf-16-le")
        self.log(f"batch {text!r}")
        return self.batch(text)

    def rpc(self, data):
        # QODBC runs "SET QUOTED_IDENTIFIER ON" after login on a scrollable query, which FreeTDS
        # sends as sp_cursoropen (procedure id 2). The login already set it (ODBC option flag).
        if data[:4] == b"\xff\xff\x02\x00" and "SET QUOTED_IDENTIFIER ON".encode("utf-16-le") in data:
            self.log("rpc sp_cursoropen 'SET QUOTED_IDENTIFIER ON'")
            return b"\x79" + struct.pack("<i", 0) + done(0, 0, 0xFE)
        self.log(f"rpc {data[:64].hex()}")
        raise refused("rpc")

    def transaction_request(self, request):
        descriptor = b"\x08" + struct.pack("<Q", 1)
        self.log(f"transaction request {request}")
        if request == 5:  # begin
            self.sql("BEGIN")
            self.transaction = 1
            return envchange(8, descriptor, b"\x00") + done()
        if request in (7, 8):  # commit, rollback
            if self.db.in_transaction:
                self.sql("COMMIT" if request == 7 else "ROLLBACK")
            self.transaction = 0
            return envchange(9 if request == 7 else 10, b"\x00", descriptor) + done()
        raise refused(f"transaction request {request}")

    def sql(self, statement, values=()):
        shift = next((w.split()[1] for w in self.control() if w.startswith("clock ")), None)
        if shift:
            statement = statement.replace("'now', 'localtime'", f"'now', 'localtime', '{int(shift):+d} minutes'")
        try:
            cursor = self.db.execute(statement, values)
            return [d[0] for d in cursor.description or []], cursor.fetchall()
        except sqlite3.OperationalError as e:
            if "locked" in str(e):
                raise lock_timeout()
            raise SqlError(50000, str(e))
        except sqlite3.DatabaseError as e:
            raise SqlError(50000, str(e))

    def procedure(self, name, values):
        if f"deny {name}" in self.control():
            raise permission(name)
        if name == "Lab_Barcode_GetRequests" and len(values) == 2:
            keys = ("Barcode", "RefNum") if values[1] == "2" else ("RefNum", "Barcode")
            found = self.sql(any_case(LABELS_SQL.format(keys[0])), values[:1])
            return result_set(*(found if found[1] else self.sql(any_case(LABELS_SQL.format(keys[1])),
                                                               values[:1])))
        if name == "Lab_Barcode_GetRequests" and len(values) == 1:
            return result_set(*self.sql(ROWS_SQL, values))
        if name == "Lab_Barcode_SaveMaster" and len(values) == 9:
            self.sql(MASTER_SQL, values)
            return done(0x10, 1)
        if name == "Lab_Barcode_SaveDate" and len(values) == 6:
            self.sql(DATE_SQL, values[:3] + [server_time(values[3])] + values[4:])
            return done(0x10, 1)
        raise SqlError(201, f"Procedure or function '{name}' expects other parameters.", 4)

    def batch(self, text):
        if text == RECENT_HEAD + RECENT_ORDER:
            return result_set(*self.sql(RECENT_SQL))
        m = re.fullmatch(re.escape(RECENT_HEAD) + " and A.Transdate < " + LIT + re.escape(RECENT_ORDER), text)
        if m:
            return result_set(*self.sql(OLDER_SQL, [m[1].replace("T", " ")]))
        m = re.fullmatch(re.escape(EXAMS_HEAD) + LIT, text, re.S)
        if m:
            return result_set(*self.sql(any_case(EXAMS_SQL), [m[1].replace("''", "'")]))
        m = re.fullmatch(PROC + LIT + "((?:," + LIT + ")*)(?:,([23]))?", text, re.S)
        if m:
            values = [v.replace("''", "'") for v in re.findall(LIT, text[len(m[1]) + 13:])]
            return self.procedure(m[1], values + ([m[5]] if m[5] else []))
        if text == "SELECT @@SERVERNAME AS servername, DB_NAME() AS dbname":
            # Another reference file is another server's database; the same file, the same one.
            stat = os.stat(self.opts.database)
            return result_set(*self.sql("SELECT ? AS servername, 'Laboratory' AS dbname",
                                        [f"TDSTEST-{stat.st_dev}-{stat.st_ino}"]))
        if text == FINGERPRINTS:
            return result_set(*self.sql(FINGERPRINTS_SQL))
        if text == "SELECT getdate() as serverdate":
            return result_set(*self.sql("SELECT " + NOW + " AS serverdate"))
        if text == WRITE_CHECK:
            return self.write_check()
        if text == PROBE:
            return result_set(*self.sql(PROBE_SQL))
        m = re.fullmatch(LEFT_LIST, text)
        if m:
            return result_set(*self.sql(LEFT_LIST_SQL, [f"-{m[1]} hours"]))
        applock = self.applock(text)
        if applock is not None:
            return applock
        if text == END_WRITE_CHECK:
            if self.db.in_transaction:
                self.sql("ROLLBACK")
            return done()
        raise refused(text)

    def cut(self):
        words = self.control()
        with APPLOCKS_GUARD:
            held = [w for w in words if w.startswith("cut ") and APPLOCKS.get(w[4:], (None,))[0] is self]
        if held:
            with open(self.opts.control, "w", encoding="utf-8") as f:
                f.write("\n".join(w for w in words if w not in held))
        return bool(held)

    def applock(self, text):
        for pattern, kind in ((TAKE_LOCK, "take"), (LOCK_MODE, "mode"), (LOCK_TEST, "test"),
                              (RELEASE_LOCK, "release")):
            m = re.fullmatch(pattern, text)
            if m:
                break
        else:
            return None
        resource = m[1].replace("''", "'")
        with APPLOCKS_GUARD:
            owner, count = APPLOCKS.get(resource, (None, 0))
            if kind == "take":
                result = -1 if owner not in (None, self) else 0
                if result == 0:
                    APPLOCKS[resource] = (self, count + 1)
                self.log(f"applock {resource!r} {'granted' if result == 0 else 'refused'}")
                return result_set(["result"], [[result]])
            if kind == "mode":
                return result_set(["mode"], [["Exclusive" if owner is self else "NoLock"]])
            if kind == "test":
                return result_set(["free"], [[1 if owner in (None, self) else 0]])
            if owner is not self:
                raise SqlError(1223, f"Cannot release the application lock (Database Principal: 'public', "
                                     f"Resource: '{resource}') because it is not currently held.")
            if count > 1:
                APPLOCKS[resource] = (self, count - 1)
            else:
                del APPLOCKS[resource]
            return done()

    def write_check(self):
        try:
            if f"deny Lab_Barcode_SaveDate" in self.control():
                raise permission("Lab_Barcode_SaveDate")
            self.sql("BEGIN IMMEDIATE")
            self.sql(DATE_SQL, ["", "", "", server_time("20000101"), "0", "write check"])
            self.sql("ROLLBACK")
            return done()
        except SqlError as e:
            if self.db.in_transaction:
                self.db.execute("ROLLBACK")
            raise SqlError(50000, e.text)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    p = argparse.ArgumentParser()
    p.add_argument("database")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--user", default="sa")
    p.add_argument("--password", default="Lab-2024")
    p.add_argument("--control", default="/nonexistent")
    p.add_argument("--lock-wait-ms", type=int, default=1000)
    p.add_argument("--encryption", choices=("none", "off", "require"), default="none")
    p.add_argument("--tls-dir")
    p.add_argument("--record")
    opts = p.parse_args()
    if opts.tls_dir:
        make_certificates(opts.tls_dir)
    server = Server(("127.0.0.1", opts.port), Session)
    server.opts = opts
    print(f"port {server.server_address[1]}", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
