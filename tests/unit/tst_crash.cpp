#include "StationTestSupport.h"
#include "TestData.h"
#include "labdb/LabDbBuilder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

using namespace TestData;

namespace {

constexpr int requests = 8;
constexpr int labelsPerRequest = 3;

QString barcodeOf(int request, int label) {
    return QStringLiteral("K%1-%2").arg(request).arg(label);
}

// The barcode text on each label file of the folder (pdftotext), "" for a file that cannot be
// read as a whole PDF.
QStringList labelTexts(const QString& folder) {
    QStringList found;
    for (const QString& pdf : labelFiles(folder)) {
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        text.waitForFinished(30000);
        const QStringList words =
            QString::fromUtf8(text.readAllStandardOutput())
                .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        QString barcode;
        for (const QString& word : words) {
            if (word.startsWith(QLatin1Char('K')) && word.contains(QLatin1Char('-')))
                barcode = word;
        }
        found.append(text.exitCode() == 0 ? barcode : QString());
    }
    return found;
}

int integrityErrors(const QString& labPath) {
    const QString name = QStringLiteral("crash-integrity");
    int errors = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(labPath);
        QSqlQuery query(db);
        if (!db.open() || !query.exec(QStringLiteral("PRAGMA integrity_check")))
            errors = 1;
        while (query.next()) {
            if (query.value(0).toString() != QLatin1String("ok"))
                ++errors;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return errors;
}

// An exam added to every request after it was printed: label 3, barcode "K<r>-3".
void addExamToEveryRequest(const QString& labPath) {
    const QString name = QStringLiteral("crash-add");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(labPath);
        QVERIFY(db.open() &&
                QSqlQuery(db).exec(QStringLiteral(
                    "INSERT INTO tbLabMaster (RefNum, TransDate, RequestStatus, ItemId, HospNum, "
                    "IdNum, RequestNum, SpecimenId, SectionId, Barcode, InstrumentId, ProfileId) "
                    "SELECT RefNum, TransDate, RequestStatus, ItemId || 'x', HospNum, IdNum, "
                    "RequestNum || 'x', SpecimenId, SectionId, RefNum || '-3', InstrumentId, "
                    "ProfileId FROM tbLabMaster WHERE Barcode LIKE '%-0'")));
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

// The automatic run over many multi-label requests, killed with SIGKILL at random moments and
// run again to finish: no request may end logged with a label missing, no log line torn or
// written twice, no label file torn, the database whole. Duplicate labels are allowed, and
// counted. Every other trial kills the run that prints an exam added after the first run.
class CrashTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedAtRandomMomentsLosesNoLabel();
    void stationsSharingADayFileLoseNoLine();

private:
    QString m_child = QStringLiteral(QUILLON_BINARY_DIR "/tests/road_child");
};

void CrashTest::killedAtRandomMomentsLosesNoLabel() {
    const int trials = qEnvironmentVariableIntValue("QUILLON_CRASH_TRIALS") > 0
                           ? qEnvironmentVariableIntValue("QUILLON_CRASH_TRIALS")
                           : 100;
    QRandomGenerator random(20261208);
    QElapsedTimer clock;
    clock.start();
    qint64 fullRunMs = 0;
    int duplicates = 0;
    int killedMidway = 0;
    for (int trial = 0; trial < trials; ++trial) {
        TestWorld world;
        LabDbBuilder& lab = world.createLab();
        for (int r = 0; r < requests; ++r) {
            QList<LabItem> items;
            for (int l = 0; l < labelsPerRequest; ++l)
                items.append(item(QStringLiteral("E%1").arg(l), barcodeOf(r, l)));
            lab.addRequest(request(QStringLiteral("K%1").arg(r), 10 + r, items));
        }
        world.writePdfTemplate();

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const int added = trial % 2;
        if (added) {
            child.start(m_child, {world.path()});
            QVERIFY(child.waitForFinished(120000) && child.exitCode() == 0);
            addExamToEveryRequest(world.labPath());
        }
        if (trial > 0) {
            // Killed somewhere between its start and what a whole run takes.
            child.start(m_child, {world.path()});
            QVERIFY(child.waitForStarted());
            QThread::msleep(random.bounded(qMax<qint64>(fullRunMs, 1)));
            if (child.state() == QProcess::Running)
                ++killedMidway;
            child.kill();
            child.waitForFinished();
        }
        QElapsedTimer run;
        run.start();
        child.start(m_child, {world.path()});
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitCode(), 0);
        if (trial == 0)
            fullRunMs = run.elapsed();

        // Every request complete: all its labels out, recorded and logged; nothing torn.
        const QStringList labels = labelTexts(world.labelFolder());
        QVERIFY2(!labels.contains(QString()), "a label file is torn");
        QStringList recorded;
        for (const MasterRecord& record : lab.masterRecords())
            recorded.append(record.barcode);
        const QStringList logged = loggedNumbers(world.printLogFolder());
        for (int r = 0; r < requests; ++r) {
            QVERIFY(logged.contains(QStringLiteral("K%1").arg(r)));
            // The run's own line and one per label: none lost, none twice.
            QCOMPARE(logged.count(QStringLiteral("K%1").arg(r)), 1 + labelsPerRequest + added);
            for (int l = 0; l < labelsPerRequest + added; ++l) {
                QVERIFY2(labels.contains(barcodeOf(r, l)), qPrintable(barcodeOf(r, l)));
                QVERIFY(recorded.contains(barcodeOf(r, l)));
            }
        }
        for (const QString& day :
             QDir(world.printLogFolder()).entryList({"PrintedLabBarcodes*"}, QDir::Files)) {
            QFile file(QDir(world.printLogFolder()).filePath(day));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(bytes.endsWith("\r\n") && bytes.count("\r\n") == bytes.count('\n') &&
                         bytes.count("---") == bytes.count('\n'),
                     "a torn print-log line");
        }
        QCOMPARE(integrityErrors(world.labPath()), 0);
        // The ledger remembers every label once it is out: only the one in hand can come twice.
        const int twice = int(labels.size()) - requests * (labelsPerRequest + added);
        QVERIFY2(twice <= 1, qPrintable(QStringLiteral("%1 labels printed twice").arg(twice)));
        duplicates += twice;
    }
    qInfo("%d trials in %lld s (a whole run takes %lld ms; %d kills came mid-run, every other one "
          "while added labels printed): 0 requests logged with a label missing, 0 log lines "
          "written twice, 0 torn lines or files, 0 integrity errors; %d duplicate "
          "labels in all (at most 1 a kill)",
          trials, clock.elapsed() / 1000, fullRunMs, killedMidway, duplicates);
}

// Four stations (own lab database and journal) print into one print-log folder at once, killed and
// run again: each request's lines are in it once, whole. QUILLON_SHARED_LOG: a network mount.
void CrashTest::stationsSharingADayFileLoseNoLine() {
    QTemporaryDir shared(qEnvironmentVariable("QUILLON_SHARED_LOG", QDir::tempPath()) + "/log");
    std::vector<std::unique_ptr<TestWorld>> worlds(4);
    std::vector<std::unique_ptr<QProcess>> children;
    for (auto& world : worlds) {
        LabDbBuilder& lab = (world = std::make_unique<TestWorld>())->createLab();
        for (int r = 0; r < 300; ++r) { // ten a minute: the list pages back through them
            const QString number = QStringLiteral("S%1-%2").arg(children.size()).arg(r);
            lab.addRequest(request(number, r / 10, {item(QStringLiteral("E"), number + 'B')}));
        }
        world->writePdfTemplate();
        QVERIFY(QFile::link(shared.path(), world->printLogFolder()));
        children.emplace_back(std::make_unique<QProcess>())->start(m_child, {world->path()});
    }
    QRandomGenerator random(20261209);
    for (int kills = 0, running = 4; running > 0;) {
        QTest::qWait(int(random.bounded(50, 400)));
        if (QProcess& victim = *children[random.bounded(4)];
            kills < 16 && victim.state() == QProcess::Running)
            victim.kill(), victim.waitForFinished(), ++kills;
        running = 0;
        for (const auto& child : children) {
            if (child->state() == QProcess::NotRunning &&
                (child->exitStatus() || child->exitCode()))
                child->start();
            running += child->state() != QProcess::NotRunning;
        }
    }
    const QStringList logged = loggedNumbers(shared.path());
    QCOMPARE(logged.size(), 4 * 300 * 2); // the run's own line and the label's
    for (const QString& number : logged)
        QVERIFY2(logged.count(number) == 2, qPrintable(number));
    for (const QString& day : QDir(shared.path()).entryList({"PrintedLabBarcodes*"}, QDir::Files)) {
        QFile file(QDir(shared.path()).filePath(day));
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QVERIFY(bytes.endsWith("\r\n") && bytes.count("\r\n") == bytes.count("---"));
    }
}

QTEST_GUILESS_MAIN(CrashTest)
#include "tst_crash.moc"
