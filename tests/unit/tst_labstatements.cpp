// The SQL Server texts, character for character, and the quoting of values in them.

#include "app/LabStatements.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {

const QString recentSelection = QStringLiteral(
    "   select distinct top 50     A.RefNum as [RefNum],transdate   from Laboratory..tbLabMaster A"
    "     left outer join Build_File..tbcolabexam B on A.ItemId = B.LabexamId   where RequestStatus"
    " = 'X' and B.Form <> 'P' and      datediff(minute,A.Transdate,getdate())<360");
const QString recentText = recentSelection + QStringLiteral(" order by transdate desc ");

const QString examsHead = QStringLiteral(
    "   select     A.HospNum as [HospNum],     A.IdNum as [IdNum],     A.RefNum as [RefNum],     "
    "A.RequestNum as [RequestNum],     isnull(E.LabExam,'') as [Exam],a.transdate as transdate,  "
    "   isnull(C.LastName,'')+', '+ isnull(C.FirstName,'')+' '+ isnull(C.MiddleName,'') as "
    "[PatientName]   from Laboratory..tbLabMaster A     left outer join Build_File..tbcolabexam B"
    " on A.ItemId = B.LabexamId     left outer join Laboratory..vwPatientResultEntry C on "
    "A.HospNum=C.HospNum     left outer join Build_File..tbcolabprofileexams D on A.ItemId = "
    "D.ProfileId     inner join Laboratory..tbLabInstrumentExams LI on LI.ItemID = D.ExamId and "
    "LI.Active = '1'     left outer join Build_File..tbcolabexam E on D.ExamId = E.LabexamId     "
    "left outer join Laboratory..tblabinstrumentdlhemaresult F on A.requestnum = F.RequestNum   "
    "where a.RefNum = '");

MasterRecord record(const QString& refNum, const QString& specimenId) {
    return {refNum,
            QStringLiteral("N"),
            QStringLiteral("H"),
            QStringLiteral("B"),
            QStringLiteral("I"),
            specimenId,
            QStringLiteral("C"),
            QStringLiteral("Q"),
            QStringLiteral("P")};
}

} // namespace

class TestLabStatements : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void queries() {
        QCOMPARE(LabStatements::recentRequests(), recentText);
        QCOMPARE(LabStatements::serverDate(), QStringLiteral("SELECT getdate() as serverdate"));
        // The bound from getdate() alone, the bare column compared with it: an index serves it.
        QCOMPARE(LabStatements::requestFingerprints(),
                 QStringLiteral("select A.RefNum as [RefNum], count(*) as [Items], "
                                "checksum_agg(checksum(A.ItemId, A.Barcode)) as [Labels] from "
                                "Laboratory..tbLabMaster A where A.Transdate >= "
                                "dateadd(minute, datediff(minute, 0, getdate()) - 359, 0) group by "
                                "A.RefNum"));
        QCOMPARE(LabStatements::requestExams(QStringLiteral("T2405170012C")),
                 examsHead + QStringLiteral("T2405170012C'"));
        QCOMPARE(LabStatements::requestExams(QStringLiteral("O'Hara")),
                 examsHead + QStringLiteral("O''Hara'"));
    }

    void olderRecentRequests_data() {
        QTest::addColumn<QDateTime>("before");
        QTest::addColumn<QString>("bound");
        QTest::newRow("afternoon") << QDateTime(QDate(2024, 5, 7), QTime(13, 5, 9))
                                   << QStringLiteral("'2024-05-07T13:05:09'");
        QTest::newRow("padded fields") << QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5))
                                       << QStringLiteral("'2024-01-02T03:04:05'");
    }
    void olderRecentRequests() {
        QFETCH(QDateTime, before);
        QFETCH(QString, bound);
        QCOMPARE(LabStatements::olderRecentRequests(before),
                 recentSelection + QStringLiteral(" and A.Transdate < ") + bound +
                     QStringLiteral(" order by transdate desc "));
    }

    void writeCheck() {
        QCOMPARE(
            LabStatements::writeCheck(),
            QStringLiteral(
                "SET LOCK_TIMEOUT 5000;\n"
                "BEGIN TRY\n"
                "    BEGIN TRANSACTION;\n"
                "    EXEC Laboratory..Lab_Barcode_SaveDate '','','','20000101','0','write check';\n"
                "    ROLLBACK TRANSACTION;\n"
                "    SET LOCK_TIMEOUT -1;\n"
                "END TRY\n"
                "BEGIN CATCH\n"
                "    IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;\n"
                "    SET LOCK_TIMEOUT -1;\n"
                "    DECLARE @message nvarchar(2048) = ERROR_MESSAGE();\n"
                "    RAISERROR('%s', 16, 1, @message);\n"
                "END CATCH"));
        QCOMPARE(LabStatements::endWriteCheck(),
                 QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION; SET LOCK_TIMEOUT -1"));
    }

    void getRequests_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("charge slip")
            << QStringLiteral("T2405170012C") << 3 << QStringLiteral("'T2405170012C',3");
        QTest::newRow("blanks kept") << QStringLiteral(" T1C ") << 2 << QStringLiteral("' T1C ',2");
        QTest::newRow("quote doubled") << QStringLiteral("A'B") << 2 << QStringLiteral("'A''B',2");
        QTest::newRow("only a quote") << QStringLiteral("'") << 2 << QStringLiteral("'''',2");
        QTest::newRow("empty") << QString() << 3 << QStringLiteral("'',3");
    }
    void getRequests() {
        QFETCH(QString, number);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QCOMPARE(LabStatements::getRequests(number, kind),
                 QStringLiteral("Laboratory..Lab_Barcode_GetRequests ") + text);
    }

    void barcodeRows() {
        QCOMPARE(LabStatements::getBarcodeRows(QStringLiteral(" 240517001201")),
                 QStringLiteral("Laboratory..Lab_Barcode_GetRequests ' 240517001201'"));
        QCOMPARE(LabStatements::getBarcodeRows(QStringLiteral("x'; drop table t; --")),
                 QStringLiteral("Laboratory..Lab_Barcode_GetRequests 'x''; drop table t; --'"));
    }

    void procedureCalls() {
        QCOMPARE(LabStatements::saveMaster(record(QStringLiteral("R"), QStringLiteral("S"))),
                 QStringLiteral("Laboratory..Lab_Barcode_SaveMaster "
                                "'R','N','H','B','I','S','C','Q','P'"));
        QCOMPARE(LabStatements::saveMaster(record(QStringLiteral("R'1"), QString())),
                 QStringLiteral("Laboratory..Lab_Barcode_SaveMaster "
                                "'R''1','N','H','B','I','','C','Q','P'"));
        QCOMPARE(LabStatements::saveDate(QStringLiteral("Q"), QStringLiteral("I"),
                                         QStringLiteral("C"), QStringLiteral("T")),
                 QStringLiteral("Laboratory..Lab_Barcode_SaveDate 'Q','I','C','T','0',''"));
        QCOMPARE(LabStatements::saveDate(QStringLiteral("Q'"), QString(), QStringLiteral("C"),
                                         QStringLiteral("20240517")),
                 QStringLiteral("Laboratory..Lab_Barcode_SaveDate 'Q''','','C','20240517','0',''"));
    }

    void serverTimeText_data() {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("text");
        const QDate day(2024, 5, 7);
        QTest::newRow("midnight") << QDateTime(day, QTime(0, 0)) << QStringLiteral("20240507");
        QTest::newRow("a millisecond after midnight")
            << QDateTime(day, QTime(0, 0, 0, 1)) << QStringLiteral("2024-05-07T00:00:00.001");
        QTest::newRow("afternoon")
            << QDateTime(day, QTime(13, 5, 9, 120)) << QStringLiteral("2024-05-07T13:05:09.120");
        QTest::newRow("last millisecond")
            << QDateTime(day, QTime(23, 59, 59, 999)) << QStringLiteral("2024-05-07T23:59:59.999");
        QTest::newRow("noon") << QDateTime(day, QTime(12, 0))
                              << QStringLiteral("2024-05-07T12:00:00.000");
    }
    void serverTimeText() {
        QFETCH(QDateTime, time);
        QFETCH(QString, text);
        QCOMPARE(LabStatements::serverTimeText(time), text);
    }

    // A single-quoted literal reads the same in SQLite as in SQL Server: whatever the value, the
    // literal must give it back unchanged.
    void literalRoundTrips_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QStringLiteral("T2405170012C");
        QTest::newRow("quote inside") << QStringLiteral("O'Hara");
        QTest::newRow("quotes only") << QStringLiteral("''''");
        QTest::newRow("closing attempt") << QStringLiteral("x', 'y'); delete from t; --");
        QTest::newRow("non-Latin") << QStringLiteral(u"Nguy\u1EC5n \u00D1o\u00F1o");
        QTest::newRow("blanks") << QStringLiteral("  a  ");
    }
    void literalRoundTrips() {
        QFETCH(QString, value);
        const QString name = QStringLiteral("literal");
        {
            QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            database.setDatabaseName(QStringLiteral(":memory:"));
            QVERIFY(database.open());
            QSqlQuery query(database);
            QVERIFY(query.exec(QStringLiteral("SELECT ") + LabStatements::literal(value) +
                               QStringLiteral(", 1")));
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toString(), value);
            QCOMPARE(query.value(1).toInt(), 1);
        }
        QSqlDatabase::removeDatabase(name);
    }
};

QTEST_GUILESS_MAIN(TestLabStatements)
#include "tst_labstatements.moc"
