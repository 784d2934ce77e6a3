// Barcode recording over a real reference database file: one transaction per barcode text, all
// rows or none, the caller's text emptied only when done.

#include "app/Failure.h"
#include "app/LabDatabaseFactory.h"
#include "labdb/LabDbBuilder.h"
#include "labels/BarcodeRecorder.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString connectionName = QStringLiteral("lab");

// The real database, with every call written down as it passes.
class RecordingLabDatabase : public LabDatabase {
public:
    explicit RecordingLabDatabase(LabDatabase& inner)
        : m_inner(inner) {}
    QStringList calls;

    RowSet recentRequests() override { return m_inner.recentRequests(); }
    RowSet olderRecentRequests(const QDateTime& before) override {
        return m_inner.olderRecentRequests(before);
    }
    RowSet requestFingerprints() override { return m_inner.requestFingerprints(); }
    RowSet requestExams(const QString& refNum) override { return m_inner.requestExams(refNum); }
    RowSet getRequests(const QString& number, int kind) override {
        return m_inner.getRequests(number, kind);
    }
    RowSet getBarcodeRows(const QString& barcode) override {
        calls.append(QStringLiteral("rows [%1]").arg(barcode));
        return m_inner.getBarcodeRows(barcode);
    }
    void saveMaster(const MasterRecord& record) override {
        calls.append(QStringLiteral("master ") + record.requestNum);
        m_inner.saveMaster(record);
    }
    QDateTime serverDate() override {
        calls.append(QStringLiteral("clock"));
        return m_inner.serverDate();
    }
    void saveDate(const QString& requestNum, const QString& itemId, const QString& sectionId,
                  const QString& serverTime) override {
        calls.append(QStringLiteral("date ") + requestNum);
        m_inner.saveDate(requestNum, itemId, sectionId, serverTime);
    }
    void beginTransaction() override {
        calls.append(QStringLiteral("begin"));
        m_inner.beginTransaction();
    }
    void commitTransaction() override {
        calls.append(QStringLiteral("commit"));
        m_inner.commitTransaction();
    }
    void rollbackTransaction() override {
        calls.append(QStringLiteral("rollback"));
        m_inner.rollbackTransaction();
    }
    void checkWritable() override { m_inner.checkWritable(); }

private:
    LabDatabase& m_inner;
};

LabItem item(const QString& itemId, const QString& barcode, const QString& requestNum = {}) {
    LabItem i;
    i.exam = QStringLiteral("Exam ") + itemId;
    i.instrument = QStringLiteral("ChemLine 680");
    i.barcode = barcode;
    i.itemId = itemId;
    i.specimenId = QStringLiteral("2");
    i.sectionId = QStringLiteral("2");
    i.requestNum = requestNum;
    return i;
}

LabRequest request(const QString& refNum, QList<LabItem> items) {
    LabRequest r;
    r.refNum = refNum;
    r.transDate = QDateTime::currentDateTime();
    r.idNum = QStringLiteral("24-555");
    r.patient = {
        QStringLiteral("0100002"), QStringLiteral("Reyes"), QStringLiteral("Jose"), QString(),
        QStringLiteral("ER"),      QStringLiteral("61"),    QStringLiteral("M")};
    r.items = std::move(items);
    return r;
}

} // namespace

using Outcome = BarcodeRecording::Outcome;

class TestBarcodeRecorder : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<LabDbBuilder> m_builder;
    std::unique_ptr<LabDatabase> m_real;
    std::unique_ptr<RecordingLabDatabase> m_db;
    int m_files = 0;

    QStringList threeRows() {
        return m_builder->addRequest(
            request(QStringLiteral("T1C"), {item(QStringLiteral("2001"), QStringLiteral("B1")),
                                            item(QStringLiteral("2002"), QStringLiteral("B1")),
                                            item(QStringLiteral("2003"), QStringLiteral("B1")),
                                            item(QStringLiteral("1001"), QStringLiteral("B2"))}));
    }

    void verifyNothingStored() {
        QVERIFY(m_builder->masterRecords().isEmpty());
        QVERIFY(m_builder->dateRecords().isEmpty());
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        const QString path = m_dir.filePath(QStringLiteral("lab-%1.db").arg(++m_files));
        LabDbBuilder::create(path);
        m_builder = std::make_unique<LabDbBuilder>(path);
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        database.setDatabaseName(path);
        QVERIFY(database.open());
        m_real = makeLabDatabase(connectionName);
        m_db = std::make_unique<RecordingLabDatabase>(*m_real);
    }

    void cleanup() {
        m_db.reset();
        m_real.reset();
        m_builder.reset();
        QSqlDatabase::database(connectionName, false).close();
        QSqlDatabase::removeDatabase(connectionName);
    }

    void blankTextSendsNothing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blank");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("blanks") << QStringLiteral("   ") << true;
        QTest::newRow("a tab is text, as for the database") << QStringLiteral("\t ") << false;
    }
    void blankTextSendsNothing() {
        QFETCH(QString, text);
        QFETCH(bool, blank);
        const BarcodeRecording result = saveBarcodes(*m_db, text);
        QCOMPARE(result.outcome == Outcome::Blank, blank);
        QVERIFY(text.isEmpty());
        QCOMPARE(m_db->calls.isEmpty(), blank);
    }

    void allRowsRecordedInOneTransaction() {
        const QStringList requestNums = threeRows();
        QString text = QStringLiteral("B1");
        const BarcodeRecording result = saveBarcodes(*m_db, text);
        QCOMPARE(result.outcome, Outcome::Recorded);
        QCOMPARE(result.rows, 3);
        QVERIFY(text.isEmpty());

        QStringList expected{QStringLiteral("rows [B1]"), QStringLiteral("begin")};
        for (int i = 0; i < 3; ++i) {
            expected << QStringLiteral("master ") + requestNums.at(i) << QStringLiteral("clock")
                     << QStringLiteral("date ") + requestNums.at(i);
        }
        expected << QStringLiteral("commit");
        QCOMPARE(m_db->calls, expected);

        const QList<MasterRecord> masters = m_builder->masterRecords();
        QCOMPARE(masters.size(), 3);
        const MasterRecord& m = masters.at(1);
        QCOMPARE(m.refNum, QStringLiteral("T1C"));
        QCOMPARE(m.idNum, QStringLiteral("24-555"));
        QCOMPARE(m.hospNum, QStringLiteral("0100002"));
        QCOMPARE(m.barcode, QStringLiteral("B1"));
        QCOMPARE(m.itemId, QStringLiteral("2002"));
        QCOMPARE(m.specimenId, QStringLiteral("2"));
        QCOMPARE(m.sectionId, QStringLiteral("2"));
        QCOMPARE(m.requestNum, requestNums.at(1));
        QVERIFY(!m.profileId.isNull()); // null in the file, sent as ''
        QCOMPARE(m.profileId, QString());

        const QList<DateRecord> dates = m_builder->dateRecords();
        QCOMPARE(dates.size(), 3);
        QCOMPARE(dates.at(2).requestNum, requestNums.at(2));
        QCOMPARE(dates.at(2).itemId, QStringLiteral("2003"));
        QCOMPARE(dates.at(2).sectionId, QStringLiteral("2"));
        QCOMPARE(dates.at(2).statusFlag, QStringLiteral("0"));
        QVERIFY(dates.at(2).serverTime.isValid());
        QVERIFY(dates.at(0).serverTime <= dates.at(2).serverTime);
    }

    void noRowsBeginsAndCommits() {
        threeRows();
        // A leading blank is part of the barcode: sent as it is, it matches no row.
        QString text = QStringLiteral(" B1");
        const BarcodeRecording result = saveBarcodes(*m_db, text);
        QCOMPARE(result.outcome, Outcome::Recorded);
        QCOMPARE(result.rows, 0); // told apart from a recording, in the station log
        QVERIFY(text.isEmpty());
        QCOMPARE(m_db->calls, (QStringList{QStringLiteral("rows [ B1]"), QStringLiteral("begin"),
                                           QStringLiteral("commit")}));
        verifyNothingStored();
    }

    void nullSpecimenSentAsEmpty() {
        LabItem noSpecimen = item(QStringLiteral("2001"), QStringLiteral("B1"));
        noSpecimen.specimenId = QString();
        m_builder->addRequest(request(QStringLiteral("T1C"), {noSpecimen}));
        QString text = QStringLiteral("B1");
        QCOMPARE(saveBarcodes(*m_db, text).outcome, Outcome::Recorded);
        const QList<MasterRecord> masters = m_builder->masterRecords();
        QCOMPARE(masters.size(), 1);
        QVERIFY(!masters.at(0).specimenId.isNull());
        QCOMPARE(masters.at(0).specimenId, QString());
    }

    void refusedThirdDateRecordUndoesAll() {
        const QStringList requestNums = threeRows();
        m_builder->refuseDateRecordsFor(requestNums.at(2));
        QString text = QStringLiteral("B1");
        const BarcodeRecording result = saveBarcodes(*m_db, text);
        QCOMPARE(result.outcome, Outcome::RolledBack);
        QVERIFY2(result.failure.contains(QStringLiteral("refused")), qPrintable(result.failure));
        QVERIFY(result.undoFailureMessage(text).isEmpty());
        QCOMPARE(text, QStringLiteral("B1"));
        QCOMPARE(m_db->calls.last(), QStringLiteral("rollback"));
        QCOMPARE(m_db->calls.count(QStringLiteral("date ") + requestNums.at(2)), 1);
        verifyNothingStored();
    }

    void failedUndoIsReported() {
        const QStringList requestNums = threeRows();
        // The database ends the transaction itself, so there is none left to roll back.
        m_builder->abortTransactionOnDateRecordFor(requestNums.at(1));
        QString text = QStringLiteral("B1");
        const BarcodeRecording result = saveBarcodes(*m_db, text);
        QCOMPARE(result.outcome, Outcome::UndoFailed);
        QVERIFY(!result.undoFailure.isEmpty());
        QVERIFY(result.undoFailureMessage(text).startsWith(
            QStringLiteral("The database could not undo the recording of barcode B1: ")));
        QCOMPARE(text, QStringLiteral("B1"));
        verifyNothingStored();
    }

    void connectionLostWhileYielding() {
        threeRows();
        // The connection goes away during the first yield, before the transaction begins.
        QTimer::singleShot(0, this, [] { QSqlDatabase::database(connectionName, false).close(); });
        QString text = QStringLiteral("B1");
        const BarcodeRecording result = saveBarcodes(*m_db, text);
        QCOMPARE(result.outcome, Outcome::RolledBack);
        QCOMPARE(result.failure, QStringLiteral("The database connection is not open."));
        QCOMPARE(text, QStringLiteral("B1"));
        QVERIFY(!m_db->calls.contains(QStringLiteral("commit")));
        verifyNothingStored();
    }

    void duplicateRowsSentTwice() {
        m_builder->addRequest(
            request(QStringLiteral("T1C"),
                    {item(QStringLiteral("2001"), QStringLiteral("B1"), QStringLiteral("7")),
                     item(QStringLiteral("2001"), QStringLiteral("B1"), QStringLiteral("7"))}));
        QString text = QStringLiteral("B1");
        QCOMPARE(saveBarcodes(*m_db, text).outcome, Outcome::Recorded);
        const QList<MasterRecord> masters = m_builder->masterRecords();
        QCOMPARE(masters.size(), 2);
        QCOMPARE(masters.at(0).requestNum, masters.at(1).requestNum);
        QCOMPARE(masters.at(0).itemId, masters.at(1).itemId);
        QCOMPARE(m_builder->dateRecords().size(), 2);
    }

    void quoteInValuesRoundTrips() {
        m_builder->addRequest(
            request(QStringLiteral("T'1C"),
                    {item(QStringLiteral("20'01"), QStringLiteral("B'1"), QStringLiteral("R'7"))}));
        QString text = QStringLiteral("B'1");
        QCOMPARE(saveBarcodes(*m_db, text).outcome, Outcome::Recorded);
        const QList<MasterRecord> masters = m_builder->masterRecords();
        QCOMPARE(masters.size(), 1);
        QCOMPARE(masters.at(0).refNum, QStringLiteral("T'1C"));
        QCOMPARE(masters.at(0).barcode, QStringLiteral("B'1"));
        QCOMPARE(m_builder->dateRecords().at(0).itemId, QStringLiteral("20'01"));
        QCOMPARE(m_builder->dateRecords().at(0).requestNum, QStringLiteral("R'7"));
    }

    void neverYieldsWithTheTransactionOpen() {
        threeRows();
        QStringList seen;
        QTimer::singleShot(0, this, [&] { seen = m_db->calls; });
        QString text = QStringLiteral("B1");
        QCOMPARE(saveBarcodes(*m_db, text).outcome, Outcome::Recorded);
        QCOMPARE(seen, QStringList{QStringLiteral("rows [B1]")});
    }

    void tooManyRowsRecordNothing() {
        // 32768 rows of one barcode, one more than a row count can hold.
        QSqlQuery fill(QSqlDatabase::database(connectionName, false));
        QVERIFY(fill.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32768)"
            " INSERT INTO tbLabMaster (RequestNum, RefNum, Transdate, ItemId, Barcode)"
            " SELECT i, 'T9C', '2024-01-01 00:00:00', '2001', 'BIG' FROM n")));
        fill.finish();
        QString text = QStringLiteral("BIG");
        const BarcodeRecording result = saveBarcodes(*m_db, text);
        QCOMPARE(result.outcome, Outcome::RolledBack);
        QVERIFY2(result.failure.contains(QStringLiteral("32768")), qPrintable(result.failure));
        QCOMPARE(text, QStringLiteral("BIG"));
        verifyNothingStored();
    }

    void serverDate() {
        QVERIFY(getServerDate(*m_db).isValid());
        QSqlDatabase::database(connectionName, false).close();
        QVERIFY_THROWS_EXCEPTION(Failure, getServerDate(*m_db));
    }
};

QTEST_GUILESS_MAIN(TestBarcodeRecorder)
#include "tst_barcoderecorder.moc"
