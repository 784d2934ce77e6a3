#include "StationTestSupport.h"
#include "app/Failure.h"
#include "labels/CopiesText.h"
#include "queue/PrintLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class PrintLogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void dayFileIsNamedFromTheTransactionDate_data();
    void dayFileIsNamedFromTheTransactionDate();
    void aDateThatIsNotADateIsRefused();
    void readingRule_data();
    void readingRule();
    void searchFindsOnlyAHoldingLine_data();
    void searchFindsOnlyAHoldingLine();
    void lookupCreatesAnEmptyDayFile();
    void theThreeFlagCombinations();
    void entryBytesAndAppendOnly();
    void aLineBreakCannotForgeASecondLine();
    void numbersWithBlanksAreFoundUnderTheirKey();
    void aMissingFolderIsReportedWithTheFile();
    void appendsAreWholeAndCutATornLine();
    void copies_data();
    void copies();

private:
    std::unique_ptr<TestWorld> m_world;
    std::unique_ptr<PrintLog> m_log;
};

void PrintLogTest::init() {
    m_world = std::make_unique<TestWorld>();
    QDir().mkpath(m_world->printLogFolder());
    m_log = std::make_unique<PrintLog>(m_world->printLogFolder());
}

void PrintLogTest::dayFileIsNamedFromTheTransactionDate_data() {
    QTest::addColumn<QString>("transDate");
    QTest::addColumn<QString>("name");
    QTest::newRow("station form") << "2026-12-07 10:15:00"
                                  << "PrintedLabBarcodes 12 07 2026.txt";
    QTest::newRow("23:50, whatever the clock says") << "2026-12-07 23:50:00"
                                                    << "PrintedLabBarcodes 12 07 2026.txt";
    QTest::newRow("ISO with T and milliseconds") << "2027-01-02T00:10:00.123"
                                                 << "PrintedLabBarcodes 01 02 2027.txt";
}

void PrintLogTest::dayFileIsNamedFromTheTransactionDate() {
    QFETCH(QString, transDate);
    QFETCH(QString, name);
    QCOMPARE(PrintLog::dayFileName(transDate), name);
}

void PrintLogTest::aDateThatIsNotADateIsRefused() {
    QVERIFY_THROWS_EXCEPTION(Failure, PrintLog::dayFileName(QStringLiteral("yesterday")));
    QVERIFY_THROWS_EXCEPTION(Failure, PrintLog::dayFileName(QString()));
}

void PrintLogTest::readingRule_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("holds");
    QTest::newRow("marker then number") << QByteArray("x y ---123") << "123" << true;
    QTest::newRow("blanks around") << QByteArray("x y --- 123 ") << "123" << true;
    QTest::newRow("longer number") << QByteArray("x y ---1234") << "123" << false;
    QTest::newRow("case differs") << QByteArray("x ---abc") << "ABC" << false;
    QTest::newRow("two markers: only the first counts")
        << QByteArray("a ---b ---c") << "b ---c" << true;
    QTest::newRow("two markers: the last part alone") << QByteArray("a ---b ---c") << "c" << false;
    QTest::newRow("no marker") << QByteArray("123 -- 123") << "123" << false;
    QTest::newRow("four hyphens") << QByteArray("x ----123") << "-123" << true;
}

void PrintLogTest::readingRule() {
    QFETCH(QByteArray, line);
    QFETCH(QString, number);
    QFETCH(bool, holds);
    QCOMPARE(PrintLog::lineHolds(line, PrintLog::storedNumber(number)), holds);
}

void PrintLogTest::searchFindsOnlyAHoldingLine_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("holds");
    const QByteArray day("2026-12-07 08:00:00 2026-12-07 08:01:00 ---");
    QTest::newRow("text elsewhere, then a holding line")
        << QByteArray("123 x ---1234\r\n" + day + "5123\r\n" + day + "123\r\n") << "123" << true;
    QTest::newRow("text only inside other numbers")
        << QByteArray(day + "1234\r\n" + day + "0123\r\n") << "123" << false;
    QTest::newRow("a torn last line, without its line end, holds nothing")
        << QByteArray(day + "9\r\n" + day + " 77 ") << "77" << false;
    QTest::newRow("before the marker only") << QByteArray("77 ---78\r\n") << "77" << false;
    QTest::newRow("empty number, blank after a marker")
        << QByteArray(day + "1\r\nx ---   \r\n") << "" << true;
    QTest::newRow("empty number, none blank") << QByteArray(day + "1\r\n") << "" << false;
    QTest::newRow("empty file") << QByteArray() << "1" << false;
    QTest::newRow("lines ended by CR alone")
        << QByteArray(day + "5\r" + day + "77\r" + day + "8\r") << "77" << true;
    QTest::newRow("lines ended by LF alone")
        << QByteArray(day + "5\n" + day + "77\n") << "77" << true;
}

void PrintLogTest::searchFindsOnlyAHoldingLine() {
    QFETCH(QByteArray, content);
    QFETCH(QString, number);
    QFETCH(bool, holds);
    QCOMPARE(PrintLog::holdsNumber(content, PrintLog::storedNumber(number)), holds);
}

void PrintLogTest::lookupCreatesAnEmptyDayFile() {
    // Whatever the umask, a day file made in a group-writable folder is the group's to append.
#ifdef Q_OS_WIN
    QSKIP("Windows: a new day file takes its folder's access list");
#endif
    const mode_t umaskBefore = umask(022);
    const QByteArray folder = QFile::encodeName(m_world->printLogFolder());
    chmod(folder.constData(), 0755);
    const QString date = QStringLiteral("2026-12-07 09:00:00");
    const QString path = m_log->dayFilePath(date);
    QVERIFY(!QFile::exists(path));
    QVERIFY(!m_log->CheckPrintLog(QStringLiteral("123"), date, false, false));
    QVERIFY(QFile::exists(path));
    QCOMPARE(readAll(path), QByteArray());
    QVERIFY(!QFileInfo(path).permissions().testFlag(QFileDevice::WriteGroup));
    chmod(folder.constData(), 0775);
    m_log->appendEntries({{QStringLiteral("123"), QStringLiteral("2026-12-08 09:00:00")}});
    umask(umaskBefore);
    const QFileInfo printed(m_log->dayFilePath(QStringLiteral("2026-12-08 09:00:00")));
    QVERIFY(printed.permissions().testFlag(QFileDevice::WriteGroup));
}

void PrintLogTest::theThreeFlagCombinations() {
    const QString date = QStringLiteral("2026-12-07 09:00:00");
    const QString path = m_log->dayFilePath(date);
    // The automatic cycle: append unless present.
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("T1C"), date, true, false));
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("T1C"), date, true, false));
    QCOMPARE(readAll(path).count('\n'), 1);
    // The Print command: append unconditionally.
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("T1C"), date, true, true));
    QCOMPARE(readAll(path).count('\n'), 2);
    // A lookup: finds it, appends nothing; another day's file does not hold it.
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("T1C"), date, false, false));
    QCOMPARE(readAll(path).count('\n'), 2);
    QVERIFY(!m_log->CheckPrintLog(QStringLiteral("T1C"), QStringLiteral("2026-12-08 00:10:00"),
                                  false, false));
    // Two requests of one day share one file.
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("T2C"), QStringLiteral("2026-12-07 23:50:00"), true,
                                 false));
    QCOMPARE(readAll(path).count('\n'), 3);
    // Whatever days were read before, the numbers of the one just read are kept.
    for (int day = 1; day <= 6; ++day) {
        const QString date = QStringLiteral("2026-11-0%1 09:00:00").arg(day);
        writeAll(m_log->dayFilePath(date), "x ---T3C\r\n");
        QVERIFY(m_log->CheckPrintLog("T3C", date, false, false));
    }
}

void PrintLogTest::entryBytesAndAppendOnly() {
    const QString date = QStringLiteral("2026-12-07 23:50:00");
    const QString path = m_log->dayFilePath(date);
    writeAll(path, QByteArray("written by hand\r\n"));
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("T77C"), date, true, true));
    const QByteArray bytes = readAll(path);
    static const QRegularExpression entry(
        QStringLiteral("^written by hand\\r\\n2026-12-07 23:50:00 \\d{4}-\\d\\d-\\d\\d "
                       "\\d\\d:\\d\\d:\\d\\d ---T77C\\r\\n$"));
    QVERIFY2(entry.match(QString::fromLatin1(bytes)).hasMatch(), bytes.constData());
    QCOMPARE(PrintLog::entryLine(date, QStringLiteral("2026-12-08 00:10:05"), QStringLiteral("9")),
             QByteArray("2026-12-07 23:50:00 2026-12-08 00:10:05 ---9\r\n"));
}

void PrintLogTest::aLineBreakCannotForgeASecondLine() {
    const QString date = QStringLiteral("2026-12-07 09:00:00");
    const QString forged = QStringLiteral("A\r\n2026-12-07 x ---B");
    QVERIFY(m_log->CheckPrintLog(forged, date, true, true));
    QCOMPARE(readAll(m_log->dayFilePath(date)).count('\n'), 1);
    QVERIFY(!m_log->CheckPrintLog(QStringLiteral("B"), date, false, false));
    QVERIFY(!m_log->CheckPrintLog(QStringLiteral("A"), date, false, false));
    QVERIFY(m_log->CheckPrintLog(forged, date, false, false));
    // The typed text of a line break's escape is another number, and so is a lone backslash's.
    QVERIFY(!m_log->CheckPrintLog(QStringLiteral("A\\r\\n2026-12-07 x ---B"), date, false, false));
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("C\\n"), date, true, true));
    QVERIFY(!m_log->CheckPrintLog(QStringLiteral("C\n"), date, false, false));
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("C\\n"), date, false, false));
}

void PrintLogTest::numbersWithBlanksAreFoundUnderTheirKey() {
    // Blanks at a number's ends would make it the key of the number without them: refused.
    const QString date = QStringLiteral("2026-12-07 09:00:00");
    for (const QString& twin : {QStringLiteral(" 55 "), QStringLiteral("55 ")}) {
        QVERIFY_THROWS_EXCEPTION(RequestDataFailure, m_log->CheckPrintLog(twin, date, true, true));
        QVERIFY_THROWS_EXCEPTION(RequestDataFailure, m_log->appendEntries({{twin, date}}));
    }
    QVERIFY(!QFile::exists(m_log->dayFilePath(date)));
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("5 5"), date, true, true));
    QVERIFY(!m_log->CheckPrintLog(QStringLiteral("55"), date, false, false));
}

void PrintLogTest::aMissingFolderIsReportedWithTheFile() {
    PrintLog log(m_world->path() + QStringLiteral("/no-such-folder"));
    try {
        log.CheckPrintLog(QStringLiteral("1"), QStringLiteral("2026-12-07 09:00:00"), true, true);
        QFAIL("a missing folder was not reported");
    } catch (const Failure& failure) {
        QVERIFY(
            failure.description().contains(QStringLiteral("PrintedLabBarcodes 12 07 2026.txt")));
    }
}

void PrintLogTest::appendsAreWholeAndCutATornLine() {
    const QString day = QStringLiteral("2026-12-07 09:00:00");
    const QString path = m_log->dayFilePath(day);
    // What a crash left: a whole line, then part of one that would read as number 12.
    writeAll(path, QByteArray("a b ---T1\r\na b ---12"));
    QVERIFY(!m_log->CheckPrintLog(QStringLiteral("12"), day, false, false));
    m_log->appendEntries({{QStringLiteral("T2"), day},
                          {QStringLiteral("T3"), QStringLiteral("2026-12-08 01:00:00")},
                          {QStringLiteral("T4"), day}});
    const QByteArray bytes = readAll(path);
    QVERIFY2(bytes.startsWith("a b ---T1\r\n2026-12-07 09:00:00 ") && bytes.endsWith("---T4\r\n"),
             bytes.constData());
    QCOMPARE(bytes.count('\n'), 3);
    QVERIFY(!bytes.contains("---12"));
    QCOMPARE(readAll(m_log->dayFilePath(QStringLiteral("2026-12-08 01:00:00"))).count("---T3\r\n"),
             1);

    // Another program's lines, ended by CR alone, are lines: kept whole, and found.
    const QByteArray foreign("a b ---OLDA\ra b ---OLDB\r");
    writeAll(path, foreign);
    m_log->appendEntries({{QStringLiteral("T5"), day}});
    QVERIFY(readAll(path).startsWith(QByteArray(foreign).append("\n2026-12-07 09:00:00 ")));
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("OLDB"), day, false, false));
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("T5"), day, false, false));
    // A line another program appends, or the rest of a line it was writing, is read.
    QFile other(path);
    QVERIFY(other.open(QIODevice::Append));
    other.write("a b ---OLD");
    other.flush();
    QVERIFY(!m_log->CheckPrintLog(QStringLiteral("OLD"), day, false, false));
    other.write("C\r\n");
    other.close();
    QVERIFY(m_log->CheckPrintLog(QStringLiteral("OLDC"), day, false, false));

    // The folder check leaves nothing behind, and names a folder that cannot take an append.
    m_log->checkWritable();
    QCOMPARE(QDir(m_log->folder()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    PrintLog gone(m_world->path() + QStringLiteral("/no-such-folder"));
    QVERIFY_THROWS_EXCEPTION(Failure, gone.checkWritable());

    // Another folder in the log folder's place takes no day file until the real one is back.
    const QString folder = m_log->folder();
    QVERIFY(QDir().rename(folder, folder + QStringLiteral(".kept")) && QDir().mkdir(folder));
    QVERIFY_THROWS_EXCEPTION(Failure, m_log->CheckPrintLog(QStringLiteral("T6"), day, true, false));
    QVERIFY_THROWS_EXCEPTION(Failure, m_log->checkDayFile(path));
    QVERIFY(QDir(folder).isEmpty());
    QVERIFY(QDir().rmdir(folder) && QDir().rename(folder + QStringLiteral(".kept"), folder));
    m_log->checkDayFile(path);
}

void PrintLogTest::copies_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("copies"); // -99999: refused
    QTest::newRow("1") << "1"
                       << "en_US" << 1;
    QTest::newRow("blanks") << " 3 "
                            << "en_US" << 3;
    QTest::newRow("zero") << "0"
                          << "en_US" << 0;
    QTest::newRow("negative") << "-1"
                              << "en_US" << -1;
    QTest::newRow("half to even, down") << "2.5"
                                        << "en_US" << 2;
    QTest::newRow("half to even, up") << "3.5"
                                      << "en_US" << 4;
    QTest::newRow("decimal comma") << "2,6"
                                   << "de_DE" << 3;
    QTest::newRow("upper bound") << "32767"
                                 << "en_US" << 32767;
    QTest::newRow("rounds past the bound") << "32767.5"
                                           << "en_US" << -99999;
    QTest::newRow("lower bound") << "-32768"
                                 << "en_US" << -32768;
    QTest::newRow("too large") << "40000"
                               << "en_US" << -99999;
    QTest::newRow("empty") << ""
                           << "en_US" << -99999;
    QTest::newRow("letters") << "two"
                             << "en_US" << -99999;
    QTest::newRow("infinity") << "inf"
                              << "en_US" << -99999;
}

void PrintLogTest::copies() {
    QFETCH(QString, text);
    QFETCH(QString, locale);
    QFETCH(int, copies);
    const std::optional<qint16> parsed = parseCopies(text, QLocale(locale));
    QCOMPARE(parsed.has_value() ? int(*parsed) : -99999, copies);
}

QTEST_GUILESS_MAIN(PrintLogTest)
#include "tst_printlog.moc"
