// The lab database contract over real reference database files: through the SQLite dialect, or
// (QUILLON_LAB_ROAD=tds) through QODBC and FreeTDS to the TDS test server over the same file.

#include "TdsTestServer.h"
#include "app/AppLockLease.h"
#include "app/DbConnection.h"
#include "app/Failure.h"
#include "app/FileLease.h"
#include "app/LabDatabaseFactory.h"
#include "app/LabStatements.h"
#include "app/SqliteLabDatabase.h"
#include "labdb/LabDbBuilder.h"
#include "queue/ChangeProbe.h"
#include "queue/PrintLease.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <sys/stat.h>

namespace {

// The station's own connection on the SQL Server road.
const QString connectionName =
    TdsTestServer::road() ? QString(DbConnection::connectionName) : QStringLiteral("lab");

LabPatient patient(const QString& hospNum,
                   const QString& middleName = QStringLiteral("Dizón Łukasz 王")) {
    return {hospNum,
            QStringLiteral("Santos"),
            QStringLiteral("Maria"),
            middleName,
            QStringLiteral("201-A"),
            QStringLiteral("54"),
            QStringLiteral("F")};
}

LabItem item(const QString& itemId, const QString& exam, const QString& barcode,
             const QString& instrument = QStringLiteral("Hema XN-3")) {
    LabItem i;
    i.exam = exam;
    i.instrument = instrument;
    i.barcode = barcode;
    i.itemId = itemId;
    i.specimenId = QStringLiteral("1");
    i.sectionId = QStringLiteral("1");
    i.profileId = QStringLiteral("PK01");
    return i;
}

LabRequest request(const QString& refNum, const QDateTime& when, QList<LabItem> items,
                   const QString& hospNum = QStringLiteral("0100001")) {
    LabRequest r;
    r.refNum = refNum;
    r.transDate = when;
    r.idNum = QStringLiteral("24-10001");
    r.patient = patient(hospNum);
    r.items = std::move(items);
    return r;
}

QStringList column(const RowSet& rows, const QString& name) {
    QStringList values;
    for (int i = 0; i < rows.rowCount(); ++i)
        values.append(rows.value(i, name));
    return values;
}

// The description of the Failure that call throws; empty when it throws none.
template <typename Call> QString failureOf(Call call) {
    try {
        call();
    } catch (const Failure& failure) {
        return failure.description();
    }
    return {};
}

} // namespace

class TestLabDb : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<LabDbBuilder> m_builder;
    std::unique_ptr<TdsTestServer> m_server;
    DbConnection m_connection;
    std::unique_ptr<LabDatabase> m_db;
    QDateTime m_now;

    void openStation() {
        if (TdsTestServer::road()) {
            m_server = std::make_unique<TdsTestServer>(m_path);
            QVERIFY2(m_connection.open(m_server->settings()),
                     qPrintable(m_connection.failureReason()));
            m_db = makeLabDatabase(connectionName);
            return;
        }
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        database.setDatabaseName(m_path);
        QVERIFY(database.open());
        m_db = makeLabDatabase(connectionName);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("lab-%1.db").arg(QTest::currentTestFunction()));
        QFile::remove(m_path);
        LabDbBuilder::create(m_path);
        m_builder = std::make_unique<LabDbBuilder>(m_path);
        m_now = QDateTime::currentDateTime();
        openStation();
    }

    void cleanup() {
        m_db.reset();
        m_connection.close();
        m_server.reset();
        m_builder.reset();
        QSqlDatabase::database(connectionName, false).close();
        QSqlDatabase::removeDatabase(connectionName);
    }

    void createRefusesAnExistingFile() {
        QVERIFY_THROWS_EXCEPTION(Failure, LabDbBuilder::create(m_path));
        QVERIFY(m_db->recentRequests().isEmpty()); // the file is untouched
    }

    void recentRequestsWindowAndFilters() {
        const auto minutesAgo = [this](int m) { return m_now.addSecs(-60 * m); };
        m_builder->addRequest(
            request(QStringLiteral("T1C"), minutesAgo(60),
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B1"))}));
        m_builder->addRequest(
            request(QStringLiteral("T2C"), minutesAgo(358),
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B2"))}));
        m_builder->addRequest(
            request(QStringLiteral("T3C"), minutesAgo(361),
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B3"))}));
        LabRequest received =
            request(QStringLiteral("T4C"), minutesAgo(20),
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B4"))});
        received.status = QStringLiteral("R");
        m_builder->addRequest(received);
        LabItem pap =
            item(QStringLiteral("9001"), QStringLiteral("Pap Smear"), QStringLiteral("B5"));
        pap.form = QStringLiteral("P");
        m_builder->addRequest(request(QStringLiteral("T5C"), minutesAgo(30), {pap}));
        LabItem uncatalogued = item({}, QStringLiteral("?"), QStringLiteral("B6"));
        m_builder->addRequest(request(QStringLiteral("T6C"), minutesAgo(40), {uncatalogued}));
        // One number at two times is two pairs; two items at one time are one pair.
        m_builder->addRequest(
            request(QStringLiteral("T7C"), minutesAgo(10),
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B7")),
                     item(QStringLiteral("1002"), QStringLiteral("ESR"), QStringLiteral("B7"))}));
        m_builder->addRequest(
            request(QStringLiteral("T7C"), minutesAgo(90),
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B8"))}));

        const RowSet rows = m_db->recentRequests();
        QCOMPARE(rows.columns(),
                 (QStringList{QStringLiteral("RefNum"), QStringLiteral("transdate")}));
        QCOMPARE(column(rows, QStringLiteral("RefNum")),
                 (QStringList{QStringLiteral("T7C"), QStringLiteral("T1C"), QStringLiteral("T7C"),
                              QStringLiteral("T2C")}));
        QCOMPARE(rows.value(0, QStringLiteral("TransDate")),
                 minutesAgo(10).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));

        // The same window for the added-label check, over every status and form.
        const RowSet prints = m_db->requestFingerprints();
        QStringList fingerprints;
        for (int i = 0; i < prints.rowCount(); ++i)
            fingerprints << prints.value(i, QStringLiteral("RefNum")) + QLatin1Char(' ') +
                                prints.value(i, QStringLiteral("Items")) + QLatin1Char(' ') +
                                prints.value(i, QStringLiteral("Labels"));
        fingerprints.sort();
        QCOMPARE(fingerprints,
                 (QStringList{"T1C 1 1001=B1", "T2C 1 1001=B2", "T4C 1 1001=B4", "T5C 1 9001=B5",
                              "T6C 1 =B6", "T7C 3 1001=B7 1001=B8 1002=B7"}));
        // The probe counts the window's item rows of status X, whatever their form or catalogue.
        const RowSet probe = m_db->changeProbe();
        QCOMPARE(probe.value(0, QStringLiteral("items")), QStringLiteral("7"));
        QCOMPARE(probe.value(0, QStringLiteral("newest")),
                 rows.value(0, QStringLiteral("transdate")));
        // Left the window, back to the lab's bound, under the recent query's conditions.
        for (const int hours : {7, 20, 30})
            m_builder->addRequest(request(QStringLiteral("L%1").arg(hours), minutesAgo(60 * hours),
                                          {item(QStringLiteral("1001"), QStringLiteral("CBC"),
                                                QStringLiteral("BL%1").arg(hours))}));
        QCOMPARE(column(m_db->leftListRequests(24), QStringLiteral("RefNum")),
                 (QStringList{"T3C", "L7", "L20"}));
    }

    // A change is a newer request or more item rows; fewer rows alone are none.
    void changeProbeSeesNewRequests() {
        ChangeProbe probe(*m_db);
        QVERIFY(probe.poll()); // the first answer, of an empty window, starts the list
        QVERIFY(!probe.poll());
        const auto add = [this](const QString& refNum, int minutesAgo) {
            m_builder->addRequest(request(refNum, m_now.addSecs(-60 * minutesAgo),
                                          {item(QStringLiteral("1001"), QStringLiteral("CBC"),
                                                refNum + QStringLiteral("B"))}));
        };
        add(QStringLiteral("T1C"), 5);
        QVERIFY(probe.poll());
        add(QStringLiteral("T2C"), 30); // older than the newest: only the count tells
        QVERIFY(probe.poll());
        add(QStringLiteral("T3C"), 400);
        QVERIFY(!probe.poll());
        {
            QSqlDatabase file =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("edit"));
            file.setDatabaseName(m_path);
            QVERIFY(file.open());
            QVERIFY(QSqlQuery(file).exec(
                QStringLiteral("UPDATE tbLabMaster SET RequestStatus = 'R' WHERE RefNum = 'T2C'")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("edit"));
        QVERIFY(!probe.poll());
        probe.forget();
        QVERIFY(probe.poll());
    }

    // One holder among the connections to one lab; the end of its connection frees the lease,
    // and a holder that stops renewing it is superseded, though it still holds its lock.
    void leaseHeldByOneStation() {
        const QString secondName = QStringLiteral("second");
        QSqlDatabase second = QSqlDatabase::cloneDatabase(connectionName, secondName);
        QVERIFY(second.open());
        auto other = makeLabDatabase(secondName);
        const QString name = QStringLiteral("bench's lease");
        qint64 now = 0;
        const PrintLease::Clock clock = [&now] { return now; };
        PrintLease mine(m_db->lease(name, m_dir.path()), name, QStringLiteral("bench 1"), clock);
        auto theirs = std::make_unique<PrintLease>(other->lease(name, m_dir.path()), name,
                                                   QStringLiteral("bench 2"), clock);
        // Whatever the umask, the lease's files in a group-writable folder are the group's.
        QVERIFY(QFile::setPermissions(m_dir.path(),
                                      QFile::permissions(m_dir.path()) | QFileDevice::WriteGroup));
        const mode_t umaskBefore = umask(022);
        QVERIFY(m_db->lease(name, m_dir.path())->isFree(1));
        QVERIFY(mine.poll());
        umask(umaskBefore);
        const QString note = TdsTestServer::road() ? AppLockLease::notePath(m_dir.path(), name)
                                                   : FileLease::notePath(m_path, name);
        QVERIFY(QFileInfo(note).permissions().testFlag(QFileDevice::WriteGroup));
        QVERIFY(mine.poll()); // held, not taken twice: one release frees it
        QVERIFY(!theirs->poll());
        QCOMPARE(theirs->statusText(), QStringLiteral("automatic printing is done by bench 1"));
        QVERIFY(!other->lease(name, m_dir.path())->isFree(1));
        QVERIFY(other->lease(QStringLiteral("another lab"), m_dir.path())->take(1));
        mine.release();
        QVERIFY(theirs->poll());
        QVERIFY(!mine.poll());
        QCOMPARE(mine.state(), PrintLease::State::Standby);
        QCOMPARE(mine.printingStation(), QStringLiteral("bench 2"));
        // bench 2 stops renewing (frozen), its lock still held: told, then superseded.
        now += PrintLease::lateMs;
        QVERIFY(!mine.poll());
        QVERIFY2(mine.statusText().contains(QStringLiteral("by bench 2, which has not renewed")),
                 qPrintable(mine.statusText()));
        now += PrintLease::staleMs - PrintLease::lateMs;
        QVERIFY(mine.poll());
        QVERIFY(!theirs->stillHolds()); // back, it prints nothing until it holds the lease again
        QCOMPARE(theirs->printingStation(), QStringLiteral("bench 1"));
        if (TdsTestServer::road()) {
            // The holder's connection is cut: the server frees the lease with the session, so the
            // holder, connected again, takes it anew rather than finding it held.
            m_server->dropConnections();
            QVERIFY(mine.poll());
            QVERIFY(!theirs->poll());
        }
        // A note the holder cannot write (a read-only file): it still prints, the standby waits.
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("--bind"), QStringLiteral("-o"), QStringLiteral("ro"),
                               note, note}) == 0) {
            const auto unmount =
                qScopeGuard([&note] { QProcess::execute(QStringLiteral("umount"), {note}); });
            QVERIFY(mine.poll());
            QVERIFY(!theirs->poll());
        }
        theirs.reset();
        other.reset();
        second = QSqlDatabase();
        QSqlDatabase::removeDatabase(secondName);
    }

    void recentRequestsNewestFiftyFirst() {
        for (int i = 1; i <= 60; ++i) {
            m_builder->addRequest(request(QStringLiteral("T%1C").arg(i), m_now.addSecs(-60 * i),
                                          {item(QStringLiteral("1001"), QStringLiteral("CBC"),
                                                QStringLiteral("B%1").arg(i))}));
        }
        const RowSet rows = m_db->recentRequests();
        QCOMPARE(rows.rowCount(), 50);
        for (int i = 0; i < 50; ++i)
            QCOMPARE(rows.value(i, QStringLiteral("RefNum")), QStringLiteral("T%1C").arg(i + 1));
    }

    // More than a page waiting: paging back from each full page's oldest second lists every
    // recent request, and nothing filtered out, however the pages cut through a second.
    void catchUpListsEveryRecentRequestOnce() {
        const QString form = QStringLiteral("yyyy-MM-dd HH:mm:ss");
        QSet<QString> expected;
        for (int k = 1; k <= 40; ++k) {
            const QDateTime when = m_now.addSecs(-97 * k);
            for (int j = 1; j <= 3; ++j) {
                const QString refNum = QStringLiteral("T%1-%2C").arg(k).arg(j);
                m_builder->addRequest(request(refNum, when,
                                              {item(QStringLiteral("1001"), QStringLiteral("CBC"),
                                                    refNum + QLatin1Char('1'))}));
                expected.insert(refNum + QLatin1Char('|') + when.toString(form));
            }
            if (k % 5 != 0)
                continue;
            LabRequest received =
                request(QStringLiteral("R%1C").arg(k), when,
                        {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("R"))});
            received.status = QStringLiteral("R");
            m_builder->addRequest(received);
            LabItem pap =
                item(QStringLiteral("9001"), QStringLiteral("Pap Smear"), QStringLiteral("P"));
            pap.form = QStringLiteral("P");
            m_builder->addRequest(request(QStringLiteral("P%1C").arg(k), when, {pap}));
            m_builder->addRequest(request(
                QStringLiteral("O%1C").arg(k), m_now.addSecs(-60 * (360 + k)),
                {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("O"))}));
        }

        QSet<QString> listed;
        QDateTime previousOldest;
        RowSet page = m_db->recentRequests();
        for (;;) {
            QVERIFY(page.rowCount() <= 50);
            for (int i = 0; i < page.rowCount(); ++i)
                listed.insert(page.value(i, QStringLiteral("RefNum")) + QLatin1Char('|') +
                              page.value(i, QStringLiteral("transdate")));
            if (page.rowCount() < 50)
                break;
            const QDateTime oldest =
                QDateTime::fromString(page.value(49, QStringLiteral("transdate")), form);
            QVERIFY(!previousOldest.isValid() || oldest < previousOldest);
            previousOldest = oldest;
            page = m_db->olderRecentRequests(oldest.addSecs(1));
            QCOMPARE(page.columns(),
                     (QStringList{QStringLiteral("RefNum"), QStringLiteral("transdate")}));
        }
        QCOMPARE(listed, expected);
        QVERIFY_THROWS_EXCEPTION(Failure, m_db->olderRecentRequests(QDateTime()));
    }

    void requestExamRows() {
        LabRequest r =
            request(QStringLiteral("T'1C"), m_now,
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B1")),
                     item(QStringLiteral("2001"), QStringLiteral("FBS"), QStringLiteral("B2"),
                          QStringLiteral("ChemLine 680")),
                     // Run on no instrument: no exam row.
                     item(QStringLiteral("3001"), QStringLiteral("Urinalysis"),
                          QStringLiteral("B3"), QString()),
                     item(QStringLiteral("1002"), QStringLiteral("ESR"), QStringLiteral("B1"))});
        r.patient.middleName = QString();
        const QStringList requestNums = m_builder->addRequest(r);

        RowSet rows = m_db->requestExams(QStringLiteral("T'1C"));
        QCOMPARE(
            column(rows, QStringLiteral("Exam")),
            (QStringList{QStringLiteral("CBC"), QStringLiteral("FBS"), QStringLiteral("ESR")}));
        QCOMPARE(rows.value(0, QStringLiteral("PatientName")), QStringLiteral("Santos, Maria "));
        QCOMPARE(rows.value(0, QStringLiteral("HospNum")), QStringLiteral("0100001"));
        QCOMPARE(rows.value(0, QStringLiteral("IDNum")), QStringLiteral("24-10001"));
        QCOMPARE(rows.value(0, QStringLiteral("RefNum")), QStringLiteral("T'1C"));
        QCOMPARE(rows.value(0, QStringLiteral("RequestNum")), requestNums.at(0));
        QCOMPARE(rows.value(0, QStringLiteral("TransDate")),
                 m_now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));

        // The same patient number again replaces the patient; an unknown one gives empty parts.
        m_builder->addRequest(
            request(QStringLiteral("T2C"), m_now,
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B9"))}));
        QCOMPARE(rows.value(0, QStringLiteral("PatientName")), QStringLiteral("Santos, Maria "));
        rows = m_db->requestExams(QStringLiteral("T'1C"));
        QCOMPARE(rows.value(0, QStringLiteral("PatientName")),
                 QStringLiteral("Santos, Maria Dizón Łukasz 王"));
        LabRequest stranger =
            request(QStringLiteral("T3C"), m_now,
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B8"))});
        stranger.patient = LabPatient{QStringLiteral("0555555"), {}, {}, {}, {}, {}, {}};
        m_builder->addRequest(stranger);
        QCOMPARE(m_db->requestExams(QStringLiteral("T3C")).value(0, QStringLiteral("PatientName")),
                 QStringLiteral(",  "));
        QVERIFY(m_db->requestExams(QStringLiteral("T1C")).isEmpty());
    }

    void labelsOfARequest() {
        m_builder->addRequest(request(
            QStringLiteral("T1C"), m_now,
            {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("2405170001")),
             item(QStringLiteral("2001"), QStringLiteral("FBS"), QStringLiteral("2405170002"),
                  QStringLiteral("ChemLine 680")),
             item(QStringLiteral("1002"), QStringLiteral("ESR"), QStringLiteral("2405170001"),
                  QStringLiteral("Other")),
             item(QStringLiteral("3001"), QStringLiteral("Urinalysis"), QString(), QString())}));

        const RowSet rows = m_db->getRequests(QStringLiteral("T1C"), 3);
        QCOMPARE(rows.columns(),
                 (QStringList{QStringLiteral("HospNum"), QStringLiteral("PatientName"),
                              QStringLiteral("TransDate"), QStringLiteral("RoomID"),
                              QStringLiteral("Age"), QStringLiteral("Sex"),
                              QStringLiteral("Barcode"), QStringLiteral("Instrument")}));
        // One row per barcode, the first item of each giving its instrument, in entry order.
        QCOMPARE(
            column(rows, QStringLiteral("Barcode")),
            (QStringList{QStringLiteral("2405170001"), QStringLiteral("2405170002"), QString()}));
        QCOMPARE(
            column(rows, QStringLiteral("Instrument")),
            (QStringList{QStringLiteral("Hema XN-3"), QStringLiteral("ChemLine 680"), QString()}));
        QCOMPARE(rows.value(0, QStringLiteral("PatientName")),
                 QStringLiteral("Santos, Maria Dizón Łukasz 王"));
        QCOMPARE(rows.value(0, QStringLiteral("RoomID")), QStringLiteral("201-A"));
        QCOMPARE(rows.value(0, QStringLiteral("Age")), QStringLiteral("54"));
        QCOMPARE(rows.value(0, QStringLiteral("Sex")), QStringLiteral("F"));
        QCOMPARE(rows.value(0, QStringLiteral("TransDate")),
                 m_now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));

        // Either kind finds either meaning; the text is never trimmed.
        QCOMPARE(m_db->getRequests(QStringLiteral("T1C"), 2).rowCount(), 3);
        QCOMPARE(
            column(m_db->getRequests(QStringLiteral("2405170002"), 3), QStringLiteral("Barcode")),
            QStringList{QStringLiteral("2405170002")});
        QCOMPARE(column(m_db->getRequests(QStringLiteral("2405170001"), 2),
                        QStringLiteral("Instrument")),
                 QStringList{QStringLiteral("Hema XN-3")});
        QVERIFY(m_db->getRequests(QStringLiteral(" T1C"), 2).isEmpty());
        QCOMPARE(m_db->getRequests(QStringLiteral("t1c"), 3).rowCount(), // SQL Server's collation
                 TdsTestServer::road() ? 3 : 0);
    }

    void rowsOfABarcode() {
        LabItem noSpecimen =
            item(QStringLiteral("1002"), QStringLiteral("ESR"), QStringLiteral("B'1"));
        noSpecimen.specimenId = QString();
        noSpecimen.profileId = QString();
        const QStringList requestNums = m_builder->addRequest(
            request(QStringLiteral("T1C"), m_now,
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B'1")),
                     item(QStringLiteral("2001"), QStringLiteral("FBS"), QStringLiteral("B2")),
                     noSpecimen}));

        const RowSet rows = m_db->getBarcodeRows(QStringLiteral("B'1"));
        QCOMPARE(rows.rowCount(), 2);
        for (const char* name : {"RefNum", "IDNum", "HospNum", "Barcode", "ItemId", "SpecimenId",
                                 "RequestNum", "ProfileId", "SectionId", "PatientName", "Exam"})
            QVERIFY2(rows.hasColumn(QString::fromLatin1(name)), name);
        QCOMPARE(column(rows, QStringLiteral("RequestNum")),
                 (QStringList{requestNums.at(0), requestNums.at(2)}));
        QCOMPARE(column(rows, QStringLiteral("Exam")),
                 (QStringList{QStringLiteral("CBC"), QStringLiteral("ESR")}));
        QCOMPARE(column(rows, QStringLiteral("SpecimenId")),
                 (QStringList{QStringLiteral("1"), QString()}));
        QCOMPARE(column(rows, QStringLiteral("ProfileId")),
                 (QStringList{QStringLiteral("PK01"), QString()}));
        QCOMPARE(rows.value(1, QStringLiteral("RefNum")), QStringLiteral("T1C"));
        QCOMPARE(rows.value(1, QStringLiteral("IDNum")), QStringLiteral("24-10001"));
        QVERIFY(m_db->getBarcodeRows(QStringLiteral("B'1 ")).isEmpty());
    }

    void savedRecords() {
        const MasterRecord master{QStringLiteral("T'1C"), QStringLiteral("N"), QStringLiteral("H"),
                                  QStringLiteral("B"),    QStringLiteral("I"), QString(),
                                  QStringLiteral("C"),    QStringLiteral("Q"), QStringLiteral("P")};
        m_db->saveMaster(master);
        const QList<MasterRecord> masters = m_builder->masterRecords();
        QCOMPARE(masters.size(), 1);
        QCOMPARE(masters.at(0).refNum, QStringLiteral("T'1C"));
        QCOMPARE(masters.at(0).sectionId, QStringLiteral("C"));
        QCOMPARE(masters.at(0).requestNum, QStringLiteral("Q"));
        QCOMPARE(masters.at(0).profileId, QStringLiteral("P"));
        // A null value goes in as '' as it does in the SQL Server call, never as NULL.
        QVERIFY(!masters.at(0).specimenId.isNull());
        QCOMPARE(masters.at(0).specimenId, QString());

        const QDateTime afternoon(QDate(2024, 5, 7), QTime(13, 5, 9, 120));
        const QDateTime midnight(QDate(2024, 5, 8), QTime(0, 0));
        m_db->saveDate(QStringLiteral("Q'"), QStringLiteral("I"), QStringLiteral("C"),
                       LabStatements::serverTimeText(afternoon));
        m_db->saveDate(QStringLiteral("Q"), QStringLiteral("I"), QStringLiteral("C"),
                       LabStatements::serverTimeText(midnight));
        QVERIFY_THROWS_EXCEPTION(Failure, m_db->saveDate(QStringLiteral("Q"), QStringLiteral("I"),
                                                         QStringLiteral("C"),
                                                         QStringLiteral("07/05/2024 1:05 PM")));
        const QList<DateRecord> dates = m_builder->dateRecords();
        QCOMPARE(dates.size(), 2);
        QCOMPARE(dates.at(0).requestNum, QStringLiteral("Q'"));
        QCOMPARE(dates.at(0).itemId, QStringLiteral("I"));
        QCOMPARE(dates.at(0).sectionId, QStringLiteral("C"));
        QCOMPARE(dates.at(0).serverTime, afternoon);
        QCOMPARE(dates.at(0).statusFlag, QStringLiteral("0"));
        QCOMPARE(dates.at(0).remarks, QString());
        QCOMPARE(dates.at(1).serverTime, midnight);
    }

    void serverClock() {
        const QDateTime server = m_db->serverDate();
        QVERIFY(server.isValid());
        // The file's local clock is this machine's: the same time, give or take the call.
        QVERIFY(qAbs(server.secsTo(QDateTime::currentDateTime())) < 120);
    }

    void transactions() {
        const MasterRecord master{QStringLiteral("R"), {}, {}, {}, {}, {}, {}, {}, {}};
        m_db->beginTransaction();
        m_db->saveMaster(master);
        m_db->saveDate(QStringLiteral("Q"), {}, {}, QStringLiteral("20240101"));
        m_db->rollbackTransaction();
        QVERIFY(m_builder->masterRecords().isEmpty());
        QVERIFY(m_builder->dateRecords().isEmpty());

        m_db->beginTransaction();
        m_db->saveMaster(master);
        m_db->commitTransaction();
        QCOMPARE(m_builder->masterRecords().size(), 1);

        if (TdsTestServer::road())
            return; // ODBC ends no transaction outside one, and reports no fault for it
        QVERIFY_THROWS_EXCEPTION(Failure, m_db->commitTransaction());
        QVERIFY_THROWS_EXCEPTION(Failure, m_db->rollbackTransaction());
    }

    void writeCheck() {
        m_db->checkWritable();
        QVERIFY(m_builder->dateRecords().isEmpty());
        // No transaction or lock is left behind: the station and others write as before.
        m_db->beginTransaction();
        m_db->rollbackTransaction();
        m_builder->addRequest(
            request(QStringLiteral("T1C"), m_now,
                    {item(QStringLiteral("1001"), QStringLiteral("CBC"), QStringLiteral("B1"))}));

        // Another connection holds the file: refused once the station's busy time-out is over.
        if (!TdsTestServer::road()) {
            QSqlDatabase station = QSqlDatabase::database(connectionName, false);
            station.close();
            station.setConnectOptions(SqliteLabDatabase::connectOptions(300));
            QVERIFY(station.open());
        }
        const QString lockerName = QStringLiteral("locker");
        {
            QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), lockerName);
            locker.setDatabaseName(m_path);
            QVERIFY(locker.open());
            QSqlQuery lock(locker);
            QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QElapsedTimer clock;
            clock.start();
            const QString failure = failureOf([this] { m_db->checkWritable(); });
            QVERIFY2(failure.startsWith(QStringLiteral("The lab database cannot be written: "
                                                       "another program holds the lab database "
                                                       "locked (")),
                     qPrintable(failure));
            QVERIFY(clock.elapsed() >= 250);
            QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        }
        QSqlDatabase::removeDatabase(lockerName);
        m_db->checkWritable();

        // A connection the server dropped: the check opens a new one, and the station goes on.
        if (TdsTestServer::road()) {
            m_server->dropConnections();
            m_db->checkWritable();
            QCOMPARE(m_db->recentRequests().rowCount(), 1);
        }
    }

    // A file the station can open but not write: on a file system mounted read-only.
    void writeCheckOnReadOnlyMount() {
        if (TdsTestServer::road())
            QSKIP("The SQLite file itself: not on the SQL Server road.");
#ifndef Q_OS_LINUX
        QSKIP("A read-only file system is made here with Linux's mount command.");
#endif
        const QString mountPoint = m_dir.filePath(QStringLiteral("readonly"));
        QVERIFY(QDir().mkpath(mountPoint));
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=4m"), QStringLiteral("tmpfs"), mountPoint}) !=
            0)
            QSKIP(
                "Mounting a tmpfs is not permitted here, so no read-only file system can be made.");
        const auto unmount = qScopeGuard([&mountPoint] {
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint});
        });
        const QString path = mountPoint + QStringLiteral("/lab.db");
        LabDbBuilder::create(path);
        // Linux refuses the remount while any file on it is open for writing.
        QCOMPARE(
            QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-o"), QStringLiteral("remount,ro"), mountPoint}),
            0);
        const QString name = QStringLiteral("readonly");
        {
            QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            database.setDatabaseName(path);
            QVERIFY(database.open());
            const std::unique_ptr<LabDatabase> lab = makeLabDatabase(name);
            QVERIFY(lab->recentRequests().isEmpty());
            const QString failure = failureOf([&lab] { lab->checkWritable(); });
            QVERIFY2(failure.startsWith(QStringLiteral("The lab database cannot be written: ")),
                     qPrintable(failure));
        }
        QSqlDatabase::removeDatabase(name);
    }

    // The file deleted under the open connection takes no barcode record; once a lab database
    // is back at the path, the write check opens it and the station writes there.
    void deletedFileIsRefusedUntilPutBack() {
        if (TdsTestServer::road())
            QSKIP("The SQLite file itself: not on the SQL Server road.");
#ifdef Q_OS_WIN
        QSKIP("Windows: a file SQLite holds open cannot be deleted or replaced.");
#endif
        const MasterRecord master{QStringLiteral("R"), {}, {}, {}, {}, {}, {}, {}, {}};
        m_db->beginTransaction();
        m_db->saveMaster(master);
        m_builder.reset();
        QVERIFY(QFile::remove(m_path));
        QVERIFY2(failureOf([this] { m_db->commitTransaction(); }).contains(QStringLiteral("gone")),
                 "a transaction was committed into the deleted file");
        m_db->rollbackTransaction();
        for (const auto& call : std::initializer_list<std::function<void()>>{
                 [this] { m_db->beginTransaction(); }, [this] { m_db->checkWritable(); },
                 [&] { m_db->saveMaster(master); }}) {
            const QString failure = failureOf(call);
            QVERIFY2(failure == QStringLiteral("The lab database file %1 is gone.").arg(m_path),
                     qPrintable(failure));
        }
        QVERIFY(!QFile::exists(m_path));

        const QString spare = m_dir.filePath(QStringLiteral("spare.db"));
        QFile::remove(spare);
        LabDbBuilder::create(spare);
        QVERIFY(QFile::copy(spare, m_path));
        QVERIFY_THROWS_EXCEPTION(Failure, m_db->beginTransaction()); // not the file it opened
        m_db->checkWritable();
        m_db->beginTransaction();
        m_db->saveMaster(master);
        m_db->commitTransaction();
        m_builder = std::make_unique<LabDbBuilder>(m_path);
        QCOMPARE(m_builder->masterRecords().size(), 1);
    }

    void refusedDateRecord() {
        m_builder->refuseDateRecordsFor(QStringLiteral("Q'2"));
        m_db->beginTransaction();
        m_db->saveDate(QStringLiteral("Q1"), {}, {}, QStringLiteral("20240101"));
        try {
            m_db->saveDate(QStringLiteral("Q'2"), {}, {}, QStringLiteral("20240101"));
            QFAIL("the refused date record was stored");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().contains(QStringLiteral("refused")),
                     qPrintable(failure.description()));
        }
        m_db->rollbackTransaction(); // still open: the refusal ended only its statement
        QVERIFY(m_builder->dateRecords().isEmpty());
    }

    void factoryRefusesOtherFiles() {
        if (TdsTestServer::road())
            QSKIP("The SQLite file itself: not on the SQL Server road.");
        const QString other = m_dir.filePath(QStringLiteral("other.db"));
        const QString junk = m_dir.filePath(QStringLiteral("junk.db"));
        {
            QFile file(junk);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, 'x'));
        }
        const QString name = QStringLiteral("other");
        for (const QString& path : {other, junk}) {
            {
                QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                database.setDatabaseName(path);
                QVERIFY(database.open());
                if (path == other) {
                    QSqlQuery query(database);
                    QVERIFY(query.exec(QStringLiteral("CREATE TABLE tbLabMaster (RefNum TEXT)")));
                }
                try {
                    makeLabDatabase(name);
                    QFAIL("a file that is no lab database was taken");
                } catch (const Failure& failure) {
                    QVERIFY2(
                        failure.description().contains(QStringLiteral("not a laboratory database")),
                        qPrintable(failure.description()));
                }
                database.close();
                QVERIFY_THROWS_EXCEPTION(Failure, makeLabDatabase(name)); // not open
            }
            QSqlDatabase::removeDatabase(name);
        }
        QVERIFY_THROWS_EXCEPTION(Failure, makeLabDatabase(QStringLiteral("no such connection")));
        QVERIFY(dynamic_cast<SqliteLabDatabase*>(m_db.get()));
    }

    void demoData() {
        m_builder->fillDemo(m_now);
        const RowSet recent = m_db->recentRequests();
        QVERIFY(recent.rowCount() >= 20);
        int withSeveralLabels = 0;
        for (int i = 0; i < recent.rowCount(); ++i) {
            const QString refNum = recent.value(i, QStringLiteral("RefNum"));
            QVERIFY(!m_db->requestExams(refNum).isEmpty());
            const RowSet labels = m_db->getRequests(refNum, 3);
            QVERIFY(!labels.isEmpty());
            withSeveralLabels += labels.rowCount() > 1;
            const QString barcode = labels.value(0, QStringLiteral("Barcode"));
            QVERIFY(!m_db->getBarcodeRows(barcode).isEmpty());
            QCOMPARE(m_db->getRequests(barcode, 3).rowCount(), 1);
        }
        QVERIFY(withSeveralLabels > 0);
    }
};

QTEST_GUILESS_MAIN(TestLabDb)
#include "tst_labdb.moc"
