#include "RoadWorld.h"
#include "StationTestSupport.h"
#include "TestData.h"
#include "labdb/LabDbBuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

using namespace TestData;

namespace {

constexpr int requests = 6;
constexpr int labelsPerRequest = 3;
// A fault that comes during the run comes just after this many labels.
constexpr int faultAfterLabels = 4;

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Read-only as far as the file system goes, whoever asks (tests run as root, so permission bits
// would not do): the immutable attribute.
bool setImmutable(const QString& folder, bool on) {
    QStringList paths{folder};
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        paths.append(QDir(folder).filePath(name));
    return run(QStringLiteral("chattr"),
               QStringList{on ? QStringLiteral("+i") : QStringLiteral("-i")} + paths);
}

// Fills the file system of folder until no block is left.
void fill(const QString& folder) {
    QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
    filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size()) {
    }
    const QByteArray byte(1, 'x');
    while (filler.write(byte) == 1) {
    }
}

} // namespace

// Station-wide faults before and during an automatic run of many requests: the lab database
// read-only, locked or deleted, the print-log folder read-only or full. While the fault lasts at
// most one label is printed without its record, none twice, no request is logged with a label
// missing and no log line is torn; once mended, the next run completes every request.
class FaultMatrixTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void faults_data();
    void faults();
    void cleanupTestCase();

private:
    QStringList m_figures;
};

void FaultMatrixTest::initTestCase() {
    QTemporaryDir probe;
    QFile file(probe.filePath(QStringLiteral("f")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    if (!run(QStringLiteral("chattr"), {QStringLiteral("+i"), file.fileName()}))
        QSKIP("the immutable attribute cannot be set here (needs root on ext4 or alike)");
    run(QStringLiteral("chattr"), {QStringLiteral("-i"), file.fileName()});
    const QString mount = probe.filePath(QStringLiteral("m"));
    QDir().mkpath(mount);
    if (!run(QStringLiteral("mount"),
             {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
              QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mount}))
        QSKIP("a tmpfs cannot be mounted here (needs root)");
    run(QStringLiteral("umount"), {mount});
}

void FaultMatrixTest::faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("during");
    for (const char* fault : {"database read-only", "database locked", "database deleted",
                              "print log read-only", "print log full", "day file immutable",
                              "master records refused", "print log folder replaced"}) {
        QTest::addRow("%s, before the run", fault) << QString::fromLatin1(fault) << false;
        QTest::addRow("%s, during the run", fault) << QString::fromLatin1(fault) << true;
    }
}

void FaultMatrixTest::faults() {
    QFETCH(QString, fault);
    QFETCH(bool, during);
    TestWorld world;
    const QString dbFolder = world.path() + QStringLiteral("/db");
    const QString labPath = dbFolder + QStringLiteral("/lab.db");
    const QString logFolder = world.printLogFolder();
    QDir().mkpath(dbFolder);
    QDir().mkpath(logFolder);
    const bool logFull = fault == QLatin1String("print log full");
    if (logFull)
        QVERIFY(run(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=64k"), QStringLiteral("tmpfs"), logFolder}));
    const auto unmount = qScopeGuard([&] {
        setImmutable(dbFolder, false);
        setImmutable(logFolder, false);
        if (logFull)
            run(QStringLiteral("umount"), {QStringLiteral("-l"), logFolder});
    });

    LabDbBuilder::create(labPath);
    QStringList barcodes;
    {
        LabDbBuilder lab(labPath);
        for (int r = 0; r < requests; ++r) {
            QList<LabItem> items;
            for (int l = 0; l < labelsPerRequest; ++l) {
                barcodes.append(QStringLiteral("F%1-%2").arg(r).arg(l));
                items.append(item(QStringLiteral("E%1").arg(l), barcodes.last()));
            }
            lab.addRequest(request(QStringLiteral("R%1").arg(r), 20 - r, items));
        }
    }
    world.writePdfTemplate();
    RoadWorld station(world.path(), labPath);
    station.setBusyTimeout(200);
    station.core->recent.LoadRecentRequests();
    // Earlier entries of the day, so that the day file's last block is part full and a write
    // on a full disk is cut short.
    QList<PrintLog::Entry> earlier;
    for (int i = 0; i < 70; ++i)
        earlier.append({QStringLiteral("EARLIER%1").arg(i), station.core->list.transDate(0)});
    station.core->log.appendEntries(earlier);

    // Breaks or mends; false when the fault cannot be made at this moment.
    const auto breakIt = [&](bool broken) {
        const QString aside = labPath + QStringLiteral(".kept");
        if (fault == QLatin1String("database read-only"))
            return setImmutable(dbFolder, broken);
        if (fault == QLatin1String("database locked"))
            return station.holdLock(broken);
        if (fault == QLatin1String("database deleted") && broken)
            return QFile::copy(labPath, aside) && QFile::remove(labPath);
        if (fault == QLatin1String("database deleted"))
            return QFile::rename(aside, labPath);
        if (fault == QLatin1String("print log read-only"))
            return setImmutable(logFolder, broken);
        if (fault == QLatin1String("day file immutable"))
            return run(QStringLiteral("chattr"),
                       {broken ? QStringLiteral("+i") : QStringLiteral("-i"),
                        station.core->log.dayFilePath(station.core->list.transDate(0))});
        if (fault == QLatin1String("master records refused")) {
            station.sql(broken ? QStringLiteral("CREATE TRIGGER refuseMaster BEFORE INSERT ON "
                                                "tbLabBarcodeMaster BEGIN SELECT RAISE(ABORT, "
                                                "'refused'); END")
                               : QStringLiteral("DROP TRIGGER refuseMaster"));
            return true;
        }
        if (fault == QLatin1String("print log folder replaced") && broken)
            return QDir().rename(logFolder, logFolder + QStringLiteral(".kept")) &&
                   QDir().mkdir(logFolder);
        // Removing the stand-in fails when a day file was made in it.
        if (fault == QLatin1String("print log folder replaced"))
            return QDir().rmdir(logFolder) &&
                   QDir().rename(logFolder + QStringLiteral(".kept"), logFolder);
        if (broken)
            fill(logFolder);
        return broken || QFile::remove(QDir(logFolder).filePath(QStringLiteral("filler")));
    };

    // The fault comes before the run, or once some labels are out.
    bool broken = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!broken && pdfCount(world.labelFolder()) >= faultAfterLabels)
            broken = breakIt(true);
    });
    if (during)
        watch.start(0);
    else
        broken = breakIt(true);
    const AutoPrintCycle::Summary faulted = station.core->cycle.PrintPendingRequests(true);
    watch.stop();
    QVERIFY(broken);
    QVERIFY2(!faulted.stationFault.isEmpty(), "the fault did not stop the run");
    // A second run while the fault lasts prints nothing.
    const int labelsAtFault = pdfCount(world.labelFolder());
    station.core->cycle.PrintPendingRequests(true);
    QCOMPARE(pdfCount(world.labelFolder()), labelsAtFault);
    QVERIFY(!station.core->faults.clearIfMended()); // the check sees the fault that is there
    if (fault == QLatin1String("database deleted"))
        QVERIFY(!QFile::exists(labPath)); // not made anew, empty, in its place

    const auto recordedBarcodes = [&] {
        QStringList recorded;
        LabDbBuilder lab(labPath);
        for (const MasterRecord& record : lab.masterRecords())
            recorded.append(record.barcode);
        return recorded;
    };
    QVERIFY(breakIt(false));
    QStringList printed = scannedBarcodes(world.labelFolder());
    int withoutRecord = 0;
    const QStringList recordedAtFault = recordedBarcodes();
    for (const QString& barcode : printed)
        withoutRecord += recordedAtFault.contains(barcode) ? 0 : 1;
    int loggedWithLabelMissing = 0;
    const QStringList loggedAtFault = loggedNumbers(logFolder);
    for (int r = 0; r < requests; ++r) {
        for (int l = 0; l < labelsPerRequest; ++l) {
            if (loggedAtFault.contains(QStringLiteral("R%1").arg(r)) &&
                !printed.contains(barcodes.at(r * labelsPerRequest + l))) {
                ++loggedWithLabelMissing;
                break;
            }
        }
    }

    // Mended: the next run completes every request.
    const AutoPrintCycle::Summary mended = station.core->cycle.PrintPendingRequests(true);
    QVERIFY2(mended.stationFault.isEmpty(), qPrintable(mended.stationFault));
    printed = scannedBarcodes(world.labelFolder());
    const QStringList recorded = recordedBarcodes();
    const QStringList logged = loggedNumbers(logFolder);
    int twice = 0;
    for (const QString& barcode : barcodes) {
        QVERIFY2(printed.contains(barcode), qPrintable(barcode));
        QVERIFY2(recorded.contains(barcode), qPrintable(barcode));
        twice += int(printed.count(barcode)) - 1;
    }
    for (int r = 0; r < requests; ++r) {
        QCOMPARE(station.core->list.state(r), RequestListModel::State::Printed);
        QVERIFY(logged.contains(QStringLiteral("R%1").arg(r)));
    }
    int torn = 0;
    for (const QString& day : QDir(logFolder).entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        QFile file(QDir(logFolder).filePath(day));
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty() && (!line.endsWith('\r') || !line.contains("---")))
                ++torn;
        }
    }
    m_figures.append(QStringLiteral("%1 | %2 | %3 | %4 | %5")
                         .arg(QString::fromLatin1(QTest::currentDataTag()), -45)
                         .arg(withoutRecord)
                         .arg(twice)
                         .arg(loggedWithLabelMissing)
                         .arg(torn));
    QVERIFY(withoutRecord <= 1);
    QCOMPARE(loggedWithLabelMissing, 0);
    QCOMPARE(twice, 0);
    QCOMPARE(torn, 0);
}

void FaultMatrixTest::cleanupTestCase() {
    if (m_figures.isEmpty())
        return;
    qInfo("fault | labels without their record | labels twice | requests logged with a label "
          "missing | torn lines\n%s",
          qPrintable(m_figures.join(QLatin1Char('\n'))));
}

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
