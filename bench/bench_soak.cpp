// Memory over a compressed unattended day: the real station, offscreen, prints labels to a PDF
// folder with no person at it, and the figures say whether it stays flat.
//   bench_soak [labels] [warm-up labels]      (default 10000 after 1000)
//
// Each round, new requests reach the lab database (one in fifty has a barcode Code 128 cannot
// encode, so it fails on every try); a few are looked up by hand (number box, Enter, Print) and one
// earlier one is printed again by hand; three refresh ticks list the others and an automatic run
// prints them (the auto-print tick and Print Now by turns). Every 300 labels or so the lab's
// clock moves on: the oldest requests leave the six-hour window (moved a day back) and Refresh
// cuts the grid, so the grid holds what a busy lab's would. The PDF files are counted and deleted
// each round; the print log's day file is kept, as the station reads it.
//
// Figures: resident memory (VmRSS) and glibc's heap in use after warm-up, every 2,000 labels and
// at the end, the growth per 1,000 labels, and the open file handles (/proc/self/fd). Linux only
// for the figures; elsewhere they read 0.
//
// What grows: with SOAK_HOLD set the program ends right after its figures, the station still
// standing, so a heap profiler reports everything the station holds as leaked. Two runs of
// different lengths, compared, leave the growth:
//   SOAK_HOLD=1 heaptrack -o short bench_soak 1000; SOAK_HOLD=1 heaptrack -o long bench_soak 4000
//   heaptrack_print -f long.zst --diff short.zst -p 0 -a 0 -t 0 -l 1
#include "BenchStation.h"
#include "labdb/LabDbBuilder.h"
#include "queue/PrintProgress.h"
#include "queue/RequestListModel.h"
#include "station/QueueControls.h"
#include "station/Station.h"
#include "station/StationNotices.h"
#include "station/StationWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <deque>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

qint64 statusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

int openFiles() {
    // The listing's own handle is among them, at both points alike.
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// Bytes the allocator has handed out and not had back: a leak shows here without the noise of
// freed pages the allocator keeps.
qint64 heapInUseKb() {
#ifdef __GLIBC__
    const struct mallinfo2 info = mallinfo2();
    return qint64((info.uordblks + info.hblkhd) / 1024);
#else
    return 0;
#endif
}

struct Sample {
    int labels = 0;
    qint64 rssKb = 0;
    qint64 heapKb = 0;
    int files = 0;
};

Sample sample(int labels) {
    return {labels, statusKb("VmRSS"), heapInUseKb(), openFiles()};
}

// The lab: new requests as the wards send them, and a clock that moves old ones out of the
// station's six-hour window.
class Lab {
public:
    explicit Lab(const QString& path)
        : m_builder(path) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), clockConnection);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open the lab database for its clock");
    }
    ~Lab() { QSqlDatabase::database(clockConnection, false).close(); }

    // A new request of 1 to 3 labels, now; a poison one has a barcode Code 128 cannot encode.
    QString add(bool poison) {
        const int n = ++m_count;
        LabRequest request;
        request.refNum = QStringLiteral("S%1C").arg(n, 7, 10, QLatin1Char('0'));
        request.transDate = QDateTime::currentDateTime();
        const int patient = int(m_random.bounded(500));
        request.patient = {QStringLiteral("HN-%1").arg(patient),
                           QStringLiteral("SOAK%1").arg(patient),
                           QStringLiteral("PAT"),
                           QString(),
                           QStringLiteral("W%1").arg(patient % 40),
                           QString::number(20 + patient % 60),
                           patient % 2 ? QStringLiteral("F") : QStringLiteral("M")};
        const int labels = 1 + int(m_random.bounded(3));
        for (int i = 0; i < labels; ++i) {
            const int exam = int(m_random.bounded(12));
            LabItem item;
            item.exam = QStringLiteral("SOAK EXAM %1").arg(exam);
            item.itemId = QStringLiteral("SX%1").arg(exam);
            item.instrument = QStringLiteral("ANALYSER %1").arg(exam % 4);
            item.barcode = QStringLiteral("SB%1%2").arg(n, 7, 10, QLatin1Char('0')).arg(i);
            if (poison && i == 0)
                item.barcode += QStringLiteral("€");
            request.items.append(item);
        }
        m_builder.addRequest(request);
        m_recent.push_back(request.refNum);
        return request.refNum;
    }

    // Every request of the window but the newest `keep` leaves it: its date moves a day back.
    void age(int keep) {
        if (int(m_recent.size()) <= keep)
            return;
        QSqlQuery query(QSqlDatabase::database(clockConnection, false));
        query.prepare(QStringLiteral("SELECT min(rowid) FROM tbLabMaster WHERE RefNum = ?"));
        query.addBindValue(m_recent.at(m_recent.size() - keep));
        if (!query.exec() || !query.next())
            qFatal("cannot find a request's rows");
        const qint64 bound = query.value(0).toLongLong();
        query.finish();
        m_recent.erase(m_recent.begin(), m_recent.end() - keep);
        query.prepare(QStringLiteral(
            "UPDATE tbLabMaster SET Transdate = datetime(Transdate, '-1 day')"
            " WHERE Transdate >= datetime('now', 'localtime', '-1 day') AND rowid < ?"));
        query.addBindValue(bound);
        if (!query.exec())
            qFatal("cannot move the lab's clock: %s", qPrintable(query.lastError().text()));
    }

    const std::deque<QString>& recent() const { return m_recent; }

private:
    static constexpr const char* clockConnection = "bench-soak-clock";
    LabDbBuilder m_builder;
    QRandomGenerator m_random{7};
    std::deque<QString> m_recent;
    int m_count = 0;
};

int takeLabels(const QString& folder) {
    QDir dir(folder);
    const QStringList files = dir.entryList({QStringLiteral("*.pdf")}, QDir::Files);
    for (const QString& name : files)
        dir.remove(name);
    return int(files.size());
}

void pressEnter(QLineEdit* box) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(box, &press);
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir dir;
    Bench::isolate(dir);
    QApplication app(argc, argv);
    const int measured = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int warmUp = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;
    const QString labPath = Bench::generateLab(dir, 2000, QDateTime::currentDateTime());

    SettingsStore::write(QStringLiteral("Wrenfold"), QStringLiteral("LabBarcodes"),
                         QStringLiteral("vkchkAutoPrintRequests"), QStringLiteral("0"));
    Bench::StationUnderTest running;
    if (!running.open(labPath))
        return 1;
    Station& station = running.station();
    const StationControls& c = station.window().controls();
    const QString labelFolder = dir.filePath(QStringLiteral("labels"));
    station.labelPrinting().setTemplatePath(Bench::writePdfTemplate(dir.path(), labelFolder));

    Lab lab(labPath);
    station.queue().onRefreshClick();

    QElapsedTimer clock;
    clock.start();
    int labels = 0;
    int sinceRefresh = 0;
    int lookups = 0;
    int runs = 0;
    Sample warm;
    bool warmTaken = false;
    int nextSample = warmUp + 2000;
    // Beside the memory: the grid's rows, the objects under the window, the requests the print
    // road remembers, and the notices kept.
    std::printf("%8s %10s %10s %5s %5s %8s %9s %8s\n", "labels", "VmRSS kB", "heap kB", "fds",
                "rows", "objects", "progress", "notices");
    const auto report = [&](const Sample& s) {
        std::printf("%8d %10lld %10lld %5d %5d %8d %9d %8d\n", s.labels, s.rssKb, s.heapKb, s.files,
                    station.requestList().rowCount(),
                    int(station.window().findChildren<QObject*>().size()),
                    station.progress().size(), int(station.notices().recent().size()));
        std::fflush(stdout);
    };

    for (int round = 0; labels < warmUp + measured; ++round) {
        QStringList fresh;
        for (int i = 0; i < 20; ++i)
            fresh.append(lab.add((round * 20 + i) % 50 == 49));

        // By hand: four new requests, and now and then an earlier one again.
        QStringList byHand = fresh.mid(0, 4);
        if (round % 2 == 1 && lab.recent().size() > 40)
            byHand.append(lab.recent().at(lab.recent().size() - 40));
        for (const QString& number : std::as_const(byHand)) {
            c.txtNumber->setText(number);
            pressEnter(c.txtNumber);
            ++lookups;
            if (c.cmdGenerate->isEnabled())
                c.cmdGenerate->click();
        }

        // Unattended: the refresh tick lists the rest, an automatic run prints them.
        for (int tick = 0; tick < QueueControls::ticksPerRefresh; ++tick)
            station.onRefreshTick();
        if (round % 2 == 0)
            station.onAutoPrintTick();
        else
            station.queue().onPrintNowClick();
        ++runs;

        const int printed = takeLabels(labelFolder);
        labels += printed;
        sinceRefresh += printed;
        if (sinceRefresh >= 300) {
            sinceRefresh = 0;
            lab.age(150);
            station.queue().onRefreshClick();
        }

        if (!warmTaken && labels >= warmUp) {
            warmTaken = true;
            warm = sample(labels);
            std::printf("-- after warm-up --\n");
            report(warm);
        } else if (warmTaken && labels >= nextSample) {
            nextSample += 2000;
            report(sample(labels));
        }
    }
    const Sample end = sample(labels);
    std::printf("-- end --\n");
    report(end);

    const double per1000 = 1000.0 / std::max(1, end.labels - warm.labels);
    std::printf("\n%d labels in %.0f s (%d by-hand lookups, %d automatic runs); after warm-up at "
                "%d labels:\n",
                labels, clock.elapsed() / 1e3, lookups, runs, warm.labels);
    std::printf("  VmRSS   %lld kB -> %lld kB: %+.1f kB per 1,000 labels\n", warm.rssKb, end.rssKb,
                (end.rssKb - warm.rssKb) * per1000);
    std::printf("  heap    %lld kB -> %lld kB: %+.1f kB per 1,000 labels\n", warm.heapKb,
                end.heapKb, (end.heapKb - warm.heapKb) * per1000);
    std::printf("  open files %d -> %d\n", warm.files, end.files);
    std::fflush(stdout);
    if (qEnvironmentVariableIsSet("SOAK_HOLD")) {
        dir.remove();
        std::_Exit(0);
    }
    return 0;
}
