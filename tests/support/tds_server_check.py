#!/usr/bin/python3
"""The TDS test server checked with pytds, a TDS client independent of FreeTDS and the station.

Usage: tds_server_check.py <quillon-labdb>
"""
import datetime, os, sqlite3, subprocess, sys, tempfile
import pytds

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import tds_server
work = tempfile.mkdtemp()
lab, control = os.path.join(work, "lab.db"), os.path.join(work, "control")
subprocess.run([sys.argv[1], "demo", lab], check=True, stdout=subprocess.DEVNULL)
db = sqlite3.connect(lab, isolation_level=None)
ref, hosp = db.execute("SELECT RefNum, HospNum FROM tbLabMaster WHERE Barcode <> '' LIMIT 1").fetchone()
db.execute("UPDATE tbLabPatient SET LastName = 'Ñúñez-Łódź', FirstName = '王 小明' WHERE HospNum = ?", (hosp,))
server = subprocess.Popen(["/usr/bin/python3", os.path.join(here, "tds_server.py"), lab, "--control", control],
                          stdout=subprocess.PIPE, text=True)
port = int(server.stdout.readline().split()[1])


def connect(password="Lab-2024"):
    return pytds.connect(server="127.0.0.1", port=port, database="Laboratory", user="sa",
                         password=password, login_timeout=5, autocommit=False)


def error_of(call):
    try:
        call()
    except pytds.Error as e:
        return getattr(e, "msg_no", None) or getattr(e, "number", None), str(e)
    raise AssertionError("no error")


try:
    assert error_of(lambda: connect("wrong"))[0] == 18456
    c = connect()
    cur = c.cursor()
    cur.execute("SELECT getdate() as serverdate")
    assert isinstance(cur.fetchone()[0], datetime.datetime)
    cur.execute(f"Laboratory..Lab_Barcode_GetRequests '{ref}',3")
    labels = cur.fetchall()
    assert labels and labels[0][1].startswith("Ñúñez-Łódź, 王 小明"), labels[0]
    assert isinstance(labels[0][2], datetime.datetime)
    cur.execute(tds_server.FINGERPRINTS)  # the added-label check: an int per request of the window
    window = sorted(map(tuple, cur.fetchall()))
    assert window and window == sorted(db.execute(tds_server.FINGERPRINTS_SQL).fetchall())
    with open(control, "w") as f:
        f.write("clock -420")
    cur.execute("SELECT getdate() as serverdate")
    assert abs(cur.fetchone()[0] + datetime.timedelta(minutes=420) - datetime.datetime.now()).seconds < 60
    os.remove(control)
    # A transaction rolled back leaves nothing; one committed leaves its row.
    save = "Laboratory..Lab_Barcode_SaveMaster 'R','','','B''1','','','','',''"
    cur.execute(save)
    c.rollback()
    cur.execute(save)
    c.commit()
    assert db.execute("SELECT Barcode FROM tbLabBarcodeMaster").fetchall() == [("B'1",)]
    assert error_of(lambda: cur.execute("select 1"))[0] == 102  # only the station's texts
    with open(control, "w") as f:
        f.write("deny Lab_Barcode_SaveMaster")
    assert error_of(lambda: cur.execute(save))[0] == 229
    os.remove(control)
    c.rollback()
    db.execute("BEGIN EXCLUSIVE")
    assert error_of(lambda: cur.execute(save))[0] == 1222
    db.execute("ROLLBACK")
    c.rollback()
    with open(control, "w") as f:
        f.write("drop")
    error_of(lambda: cur.execute("SELECT getdate() as serverdate"))
    c = connect()
    cur = c.cursor()
    cur.execute("SELECT getdate() as serverdate")
    print("tds_server_check: passed")
finally:
    server.kill()
