#!/usr/bin/python3
"""Request-to-label latency of the real station, with the change probe at 5 s and without it.

Four stations run side by side, each in a private folder and printing PDF labels: over the
embedded database and over FreeTDS to the TDS test server, each with "ChangeProbeSeconds=5" and
without. Requests are inserted at random moments for --seconds; a request's latency runs from
its insert to the modification time of the PDF file that carries its barcode. Prints, per
station, `request to label, <probe>, <road>: median A s, 95th percentile B s, N requests`, and for
the SQL Server road the lab statements per minute while idle (over three minutes after the last
label, so the list's refresh every third minute counts).

Usage: bench/latency.py [--build build/release] [--seconds 150]
"""
import argparse, os, random, shutil, sqlite3, statistics, subprocess, sys, tempfile, threading, time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)


def label_text(pdf):
    text = subprocess.run(["pdftotext", pdf, "-"], capture_output=True, text=True).stdout
    if text.strip():
        return text
    png = pdf + ".scan"
    subprocess.run(["pdftoppm", "-q", "-r", "300", "-png", "-singlefile", pdf, png])
    return subprocess.run(["zbarimg", "-q", "--raw", png + ".png"], capture_output=True, text=True).stdout


class Station:
    def __init__(self, build, road, probe, seconds):
        self.road, self.probe, self.seconds = road, probe, seconds
        self.dir = tempfile.mkdtemp(prefix="quillon-latency.")
        self.lab = os.path.join(self.dir, "lab.db")
        subprocess.run([os.path.join(build, "labdb", "quillon-labdb"), "demo", self.lab], check=True,
                       stdout=subprocess.DEVNULL)
        config = os.path.join(self.dir, "config", "quillon")
        os.makedirs(config)
        self.server = None
        if road == "embedded":
            server = f"sqlite:{self.lab}"
            connection = f"[Connection]\nServer={server}\n"
        else:
            self.tds_log = open(os.path.join(self.dir, "tds.log"), "w")
            self.server = subprocess.Popen(["/usr/bin/python3", os.path.join(SOURCE, "tests/support/tds_server.py"),
                                            self.lab], stdout=subprocess.PIPE, stderr=self.tds_log, text=True)
            port = self.server.stdout.readline().split()[1]
            connection = (f"[Connection]\nServer=127.0.0.1,{port}\nDatabase=Laboratory\nUser=sa\n"
                          "Password=Lab-2024\n")
        with open(os.path.join(config, "ORVANT Current User.ini"), "w") as f:
            f.write(connection)
        with open(os.path.join(config, "Wrenfold.ini"), "w") as f:
            f.write("[LabBarcodes]\nvkchkAutoPrintRequests=1\n" + ("ChangeProbeSeconds=5\n" if probe else ""))
        self.labels = os.path.join(self.dir, "labels")
        os.makedirs(self.labels)
        station = os.path.join(self.dir, "station")
        os.makedirs(station)
        shutil.copy(os.path.join(build, "quillon"), station)
        with open(os.path.join(SOURCE, "src/labels/LabBarcodeLabel.rpt")) as f:
            template = f.read()
        import re
        template = re.sub(r'("printer"\s*:\s*)"[^"]*"', lambda m: m[1] + f'"pdf:{self.labels}"', template)
        with open(os.path.join(station, "LabBarcodeLabel.rpt"), "w") as f:
            f.write(template)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                   XDG_DATA_HOME=os.path.join(self.dir, "data"), windir=self.dir + "\\Windows")
        self.log = open(os.path.join(self.dir, "station.log"), "w")
        self.process = subprocess.Popen([os.path.join(station, "quillon")], env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        self.inserted = {}  # barcode -> insert time
        self.printed = {}   # barcode -> label file time
        self.seen = set()

    def statements(self):
        if not self.server:
            return None
        with open(os.path.join(self.dir, "tds.log")) as f:
            return sum(1 for line in f if "] batch " in line)

    def insert(self, n):
        db = sqlite3.connect(self.lab, timeout=30)
        source = db.execute("SELECT RefNum FROM tbLabMaster GROUP BY RefNum HAVING count(DISTINCT Barcode) = 1 "
                            "LIMIT 1").fetchone()[0]
        barcode = db.execute("SELECT Barcode FROM tbLabMaster WHERE RefNum = ?", (source,)).fetchone()[0] + f"L{n}"
        with db:
            db.execute("INSERT INTO tbLabMaster (RequestNum, RefNum, Transdate, RequestStatus, ItemId, HospNum, IdNum,"
                       " SpecimenId, SectionId, ProfileId, Barcode, InstrumentId)"
                       " SELECT RequestNum || ?, ?, strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime'), 'X', ItemId,"
                       " HospNum, IdNum, SpecimenId, SectionId, ProfileId, Barcode || ?, InstrumentId"
                       " FROM tbLabMaster WHERE RefNum = ?", (f"L{n}", f"L{n}C", f"L{n}", source))
        db.close()
        self.inserted[barcode] = time.time()

    def watch(self):
        for name in os.listdir(self.labels):
            if not name.endswith(".pdf") or name in self.seen:
                continue
            self.seen.add(name)
            path = os.path.join(self.labels, name)
            text = label_text(path)
            for barcode in self.inserted:
                if barcode in text and barcode not in self.printed:
                    self.printed[barcode] = os.path.getmtime(path)

    def run(self, results):
        time.sleep(20)  # started, and its first probe answered
        start, n = time.time(), 0
        moments = sorted(random.uniform(0, self.seconds) for _ in range(max(4, self.seconds // 8)))
        for moment in moments:
            while time.time() - start < moment:
                self.watch()
                time.sleep(0.2)
            n += 1
            self.insert(n)
        deadline = time.time() + 300
        while len(self.printed) < len(self.inserted) and time.time() < deadline:
            self.watch()
            time.sleep(0.2)
        # Idle once no label has come out for 20 s (without the probe the demo's requests print
        # with the first refresh too), over three minutes: one whole cycle of the list's refresh.
        count = -1
        while count != len(os.listdir(self.labels)):
            count = len(os.listdir(self.labels))
            time.sleep(20)
        before = self.statements()
        time.sleep(180)
        idle = None if before is None else (self.statements() - before) / 3
        self.process.kill()
        if self.server:
            self.server.kill()
        latencies = sorted(self.printed[b] - self.inserted[b] for b in self.printed)
        results.append((self, latencies, idle))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", default=os.path.join(SOURCE, "build", "release"))
    p.add_argument("--seconds", type=int, default=150)
    opts = p.parse_args()
    stations = [Station(opts.build, road, probe, opts.seconds)
                for road in ("embedded", "SQL Server through FreeTDS") for probe in (True, False)]
    results = []
    threads = [threading.Thread(target=s.run, args=(results,)) for s in stations]
    try:
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:  # no station or server outlives the bench
        for s in stations:
            for process in (s.process, s.server):
                if process and process.poll() is None:
                    process.kill()
    for s, latencies, idle in sorted(results, key=lambda r: (r[0].road, not r[0].probe)):
        probe = "probe at 5 s" if s.probe else "probe off"
        if latencies:
            p95 = latencies[min(len(latencies) - 1, int(round(0.95 * (len(latencies) - 1))))]
            print(f"request to label, {probe}, {s.road}: median {statistics.median(latencies):.1f} s, "
                  f"95th percentile {p95:.1f} s, {len(latencies)} requests")
        missing = len(s.inserted) - len(latencies)
        if missing:
            print(f"  {missing} of {len(s.inserted)} requests not printed within 300 s of the last insert")
        if idle is not None:
            print(f"lab statements per minute when idle, {probe}, {s.road}: {idle:.1f}")
        shutil.rmtree(s.dir, ignore_errors=True)


if __name__ == "__main__":
    main()
