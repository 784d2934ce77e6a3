#include "RoadWorld.h"
#include "StationTestSupport.h"
#include "TdsTestServer.h"
#include "TestData.h"
#include "app/StationLog.h"
#include "labdb/LabDbBuilder.h"
#include "lookup/RequestFinder.h"
#include "queue/LabelHistory.h"
#include "queue/LabelLedger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace TestData;
using End = PrintJobOutcome::End;

// The print road with no window, over a real lab database file, a PDF label folder and the
// print log, with faults injected at each step. After every fault the rule holds: a request is
// logged only once all its labels are printed and recorded, and finishing it later prints and
// records each label once.
class PrintRoadTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void ticksAndCopies_data();
    void ticksAndCopies();
    void faultAtEntryTwo_data();
    void faultAtEntryTwo();
    void aDateThatIsNotADatePrintsNothing();
    void aLabelNewSinceTheLookupKeepsTheRequestUnlogged_data();
    void aLabelNewSinceTheLookupKeepsTheRequestUnlogged();
    void aRunNeverLogsARequestWithoutALabel_data();
    void aRunNeverLogsARequestWithoutALabel();
    void labelsThatAppearAfterTheLogPrintOnce_data();
    void labelsThatAppearAfterTheLogPrintOnce();
    void theStationLogTellsWhatTheRoadDid();
    void theJournalAndTheLogAgree_data();
    void theJournalAndTheLogAgree();
    void theHistoryHoldsEachEventOnce();

private:
    QStringList printed() const { return scannedBarcodes(m_world->labelFolder()); }
    QStringList recorded() const { return recordedBarcodes(m_world->lab()); }
    QStringList logged() const { return loggedNumbers(m_world->printLogFolder()); }

    std::unique_ptr<TestWorld> m_world;
    std::unique_ptr<RoadWorld> m_road;
    QStringList m_requestNums;
    const QString m_day = QStringLiteral("2026-12-07 23:50:00");
};

void PrintRoadTest::init() {
    m_world = std::make_unique<TestWorld>();
    LabDbBuilder& lab = m_world->createLab();
    LabRequest r = request(QStringLiteral("T100C"), 0,
                           {item(QStringLiteral("CBC"), "B1001"),
                            item(QStringLiteral("FBS"), "B1002", QStringLiteral("CHEM")),
                            item(QStringLiteral("UA"), "B1003", QStringLiteral("URINE"))});
    r.transDate = QDateTime::fromString(m_day, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_requestNums = lab.addRequest(r);
    r.refNum = QStringLiteral("200");
    r.items = {item(QStringLiteral("ESR"), ""), item(QStringLiteral("CBC"), "B2001")};
    lab.addRequest(r);
    m_road = std::make_unique<RoadWorld>(*m_world);
    m_road->setBusyTimeout(200);
}

void PrintRoadTest::cleanup() {
    m_road.reset();
    m_world.reset();
}

void PrintRoadTest::ticksAndCopies_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<QString>("copies");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("history");
    QTest::newRow("two copies, entry by entry")
        << "T100C"
        << "111"
        << "2" << QStringList{"B1001", "B1001", "B1002", "B1002", "B1003", "B1003"}
        << QStringList{"B1001", "B1002", "B1003"}
        << QStringList{"B1001 printed 2", "B1002 printed 2", "B1003 printed 2"};
    QTest::newRow("entries 1 and 3")
        << "T100C"
        << "101"
        << "1" << QStringList{"B1001", "B1003"} << QStringList{"B1001", "B1003"}
        << QStringList{"B1001 printed 1", "B1003 printed 1", "B1002 passed over 0"};
    QTest::newRow("nothing ticked") << "T100C"
                                    << "000"
                                    << "1" << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("a blank barcode is no label")
        << "200"
        << "11"
        << "1" << QStringList{"B2001"} << QStringList{"B2001"} << QStringList{"B2001 printed 1"};
}

void PrintRoadTest::ticksAndCopies() {
    QFETCH(QString, number);
    QFETCH(QString, ticks);
    QFETCH(QString, copies);
    QFETCH(QStringList, labels);
    QFETCH(QStringList, records);
    QFETCH(QStringList, history);
    RoadWorld& road = *m_road;
    const FoundRequest found = findRequest(road.connection.lab(), number, road.activity);
    road.request = found.request;
    for (int k = 0; k < found.entries.size(); ++k) {
        road.entries.appendEntry(found.entries.at(k));
        road.entries.setTicked(k, ticks.at(k) == QLatin1Char('1'));
    }
    int copiesRead = 0;
    PrintJobOrder order;
    order.key = number;
    order.request = &road.request;
    order.entries = &road.entries;
    order.copiesText = [&] {
        ++copiesRead;
        return copies;
    };
    order.blankBarcode = [&](int entry) { road.blanks.append(QString::number(entry)); };
    const PrintJobOutcome outcome = road.core->road.print(order);

    QCOMPARE(outcome.end, End::Complete);
    QCOMPARE(printed(), labels);
    QCOMPARE(recorded(), records);
    QCOMPARE(copiesRead, records.size()); // the copies are read again for every ticked label
    // One line per recorded label, under the looked-up number, in the request's day file.
    QCOMPARE(logged(), QStringList(records.size(), number));
    QCOMPARE(outcome.logged, !records.isEmpty());
    QCOMPARE(road.blanks, number == QLatin1String("200") ? QStringList{"1"} : QStringList{});
    QStringList events;
    for (const LabelEvent& e : road.core->history.ofRequest(number)) {
        events.append(e.barcode + ' ' + LabelEvent::kindText(e.kind) + ' ' +
                      QString::number(e.copies));
        QVERIFY(!e.reprint);
        if (e.kind == LabelEvent::Kind::Printed)
            QVERIFY(e.templateName == "LabBarcodeLabel.rpt" &&
                    e.confirmed.startsWith("file label-"));
    }
    QCOMPARE(events, history);
}

void PrintRoadTest::aLabelNewSinceTheLookupKeepsTheRequestUnlogged_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("an exam added")
        << "INSERT INTO tbLabMaster (RefNum, TransDate, RequestStatus, ItemId, HospNum, IdNum,"
           " RequestNum, SpecimenId, SectionId, Barcode, InstrumentId, ProfileId)"
           " SELECT RefNum, TransDate, RequestStatus, ItemId, HospNum, IdNum, RequestNum,"
           " SpecimenId, SectionId, 'B1004', InstrumentId, ProfileId FROM tbLabMaster"
           " WHERE Barcode = 'B1003'";
    QTest::newRow("a barcode changed")
        << "UPDATE tbLabMaster SET Barcode = 'B1004' WHERE Barcode = 'B1003'";
}

// Between the lookup and the log, the request changes under the job: it is not logged until a
// new lookup has printed what is new.
void PrintRoadTest::aLabelNewSinceTheLookupKeepsTheRequestUnlogged() {
    QFETCH(QString, change);
    const QStringList printedFirst{"B1001", "B1002", "B1003"};
    RoadWorld& road = *m_road;
    const PrintJobOutcome first = road.printRequest(QStringLiteral("T100C"), m_day, [&](int n) {
        if (n == 3)
            road.sql(change);
    });
    QCOMPARE(first.end, End::RequestFault);
    QVERIFY2(first.reason.contains(QStringLiteral("(B1004): look it up again")),
             qPrintable(first.reason));
    QCOMPARE(printed(), printedFirst);
    QVERIFY(logged().isEmpty());

    const PrintJobOutcome again = road.printRequest(QStringLiteral("T100C"), m_day);
    QCOMPARE(again.end, End::Complete);
    QCOMPARE(printed(), printedFirst + QStringList{"B1004"});
    QVERIFY(!logged().isEmpty());
}

void PrintRoadTest::aRunNeverLogsARequestWithoutALabel_data() {
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<int>("end");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("only the blank barcode") << "10" << int(End::RequestFault) << QStringList{};
    QTest::newRow("a label beside the blank one")
        << "11" << int(End::Complete) << QStringList{"200", "200"};
}

// The run's own line is written only beside a label that came out.
void PrintRoadTest::aRunNeverLogsARequestWithoutALabel() {
    QFETCH(QString, ticks);
    QFETCH(int, end);
    QFETCH(QStringList, lines);
    RoadWorld& road = *m_road;
    const FoundRequest found =
        findRequest(road.connection.lab(), QStringLiteral("200"), road.activity);
    road.request = found.request;
    for (int k = 0; k < found.entries.size(); ++k) {
        road.entries.appendEntry(found.entries.at(k));
        road.entries.setTicked(k, ticks.at(k) == QLatin1Char('1'));
    }
    PrintJobOrder order;
    order.key = QStringLiteral("200");
    order.request = &road.request;
    order.entries = &road.entries;
    order.cycleEntry = PrintLog::Entry{QStringLiteral("200"), m_day};
    const PrintJobOutcome outcome = road.core->road.print(order);
    QCOMPARE(int(outcome.end), end);
    QCOMPARE(logged(), lines);
    if (lines.isEmpty())
        QVERIFY(outcome.reason.startsWith(QStringLiteral("Refnum is blank")));
}

void PrintRoadTest::labelsThatAppearAfterTheLogPrintOnce_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("ledger"); // what becomes of the ledger file at a restart, if any
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<bool>("atOnce");     // printed by the first run, before any re-check
    QTest::addColumn<int>("serverClock"); // minutes from the station's
    QTest::addColumn<QString>("refuse");  // a trigger that refuses the first run's recording
    const QString addExam =
        "INSERT INTO tbLabMaster (RefNum, TransDate, RequestStatus, ItemId, HospNum, IdNum,"
        " RequestNum, SpecimenId, SectionId, Barcode, InstrumentId, ProfileId)"
        " SELECT RefNum, TransDate, RequestStatus, 'ESR2', HospNum, IdNum, RequestNum || 'x',"
        " SpecimenId, SectionId, 'B5004', InstrumentId, ProfileId FROM tbLabMaster"
        " WHERE Barcode = 'B5002'";
    const QStringList first{"B5001", "B5002"};
    const QString fillBlank =
        "UPDATE tbLabMaster SET Barcode = 'B5003' WHERE RefNum = 'T500C' AND Barcode = ''";
    QTest::newRow("an exam added")
        << addExam << "kept" << first + QStringList{"B5004"} << true << 0 << "";
    QTest::newRow("a blank barcode filled in")
        << fillBlank << "kept" << first + QStringList{"B5003"} << true << 0 << "";
    QTest::newRow("nothing new") << ""
                                 << "kept" << first << true << 0 << "";
    // The print log still rules: what it marks is taken as printed.
    QTest::newRow("an exam added, the ledger lost")
        << addExam << "lost" << first << true << 0 << "";
    QTest::newRow("an exam added, the ledger damaged")
        << addExam << "damaged" << first << true << 0 << "";
    // SQLite cannot make its -shm (a full disk): a station fault, the journal kept as it was.
    QTest::newRow("an exam added, the ledger unopenable at first")
        << addExam << "full" << first + QStringList{"B5004"} << false << 0 << "";
    // Without a restart: the request's rows show an exam at once, a barcode only its re-check.
    QTest::newRow("an exam added, running")
        << addExam << "running" << first + QStringList{"B5004"} << true << 0 << "";
    QTest::newRow("a blank barcode filled in, running")
        << fillBlank << "running" << first + QStringList{"B5003"} << true << 0 << "";
    // Past every re-check ("late": 31 minutes after the print): the fingerprint alone sees them.
    QTest::newRow("a blank barcode filled in, late")
        << fillBlank << "late" << first + QStringList{"B5003"} << true << 0 << "";
    QTest::newRow("an exam swapped for a lower item, late")
        << "UPDATE tbLabMaster SET ItemId = 'ABO', Barcode = 'B5004' WHERE RefNum = 'T500C' AND "
           "Barcode = ''"
        << "late" << first + QStringList{"B5004"} << true << 0 << "";
    // The request's age is the server's to tell: a station 7 hours ahead still finds it.
    QTest::newRow("an exam added, the server's clock 7 hours behind")
        << addExam << "kept" << first + QStringList{"B5004"} << true << -420 << "";
    // Owed until it ends: printed once, recorded by the next run.
    QTest::newRow("an exam added, its recording refused once")
        << addExam << "kept" << first + QStringList{"B5004"} << true << 0
        << "CREATE TRIGGER refuseOnce BEFORE INSERT ON tbLabBarcodeDate WHEN NEW.ItemId = 'ESR2' "
           "BEGIN SELECT RAISE(ABORT, 'refused'); END";
}

// A request the log marks is looked up again by later runs, also after a restart: a label it
// did not have when it was printed prints once, on its own.
void PrintRoadTest::labelsThatAppearAfterTheLogPrintOnce() {
    QFETCH(QString, change);
    QFETCH(QString, ledger);
    QFETCH(QStringList, labels);
    QFETCH(bool, atOnce);
    QFETCH(int, serverClock);
    QFETCH(QString, refuse);
    qint64 now = 0;
    const auto start = [&] {
        m_road.reset();
        m_road = std::make_unique<RoadWorld>(*m_world);
        m_road->core->cycle.addedLabels().setClock([&now] { return now; });
        if (m_road->server)
            m_road->server->shiftClock(serverClock);
    };
    start();
    if (serverClock != 0 && !m_road->server)
        QSKIP("The embedded database's clock is the station's own.");
    const QStringList first{"B5001", "B5002"};
    m_world->lab().addRequest(request(QStringLiteral("T500C"), 5 - serverClock,
                                      {item(QStringLiteral("CBC"), "B5001"),
                                       item(QStringLiteral("FBS"), "B5002", QStringLiteral("CHEM")),
                                       item(QStringLiteral("ESR"), "")}));
    QCOMPARE(m_road->refreshAndPrint().printed, 1);
    QCOMPARE(printed(), first);
    if (ledger == QLatin1String("late")) {
        now += 31 * 60 * 1000;
        m_road->refreshAndPrint();
    }
    if (!change.isEmpty())
        m_road->sql(change);
    const QString ledgerPath = m_world->path() + QStringLiteral("/label-ledger.db");
    if (ledger != QLatin1String("running") && ledger != QLatin1String("late")) {
        m_road.reset(); // a restart
        if (ledger == QLatin1String("lost") || ledger == QLatin1String("damaged"))
            QVERIFY(QFile::remove(ledgerPath));
        QFile damaged(ledgerPath);
        if (ledger == QLatin1String("damaged"))
            QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(QByteArray(8192, 'x')) > 0);
        damaged.close();
        QVERIFY(ledger != QLatin1String("full") || QFile::link("/nowhere", ledgerPath + "-shm"));
        start();
    }
    if (!refuse.isEmpty())
        m_road->sql(refuse);
    m_road->refreshAndPrint();
    m_road->sql(QStringLiteral("DROP TRIGGER IF EXISTS refuseOnce"));
    QVERIFY(ledger != QLatin1String("full") || QFile::remove(ledgerPath + "-shm")); // space again
    QCOMPARE(printed(), atOnce ? labels : first);
    now += 2 * 60 * 1000; // the first re-check after the print
    m_road->refreshAndPrint();
    QCOMPARE(printed(), labels);
    // Nothing changed, nothing due: the whole window costs one statement.
    const quint64 sent = m_road->connection.lab().statementsSent();
    m_road->core->cycle.PrintPendingRequests(true);
    QCOMPARE(m_road->connection.lab().statementsSent() - sent, quint64(1));
    // The 10- and 30-minute re-checks look it up again, and nothing between them.
    for (const int minute : {9, 10, 29, 30, 31}) {
        now = minute * 60 * 1000;
        const quint64 before = m_road->connection.lab().statementsSent();
        m_road->core->cycle.PrintPendingRequests(true);
        const bool lookedUp = m_road->connection.lab().statementsSent() - before > 1;
        QVERIFY(!change.isEmpty() || lookedUp == (minute % 10 == 0));
    }
    QCOMPARE(recorded().count(labels.last()), 1);
    QCOMPARE(m_road->core->list.state(m_road->core->list.rowOf(QStringLiteral("T500C"))),
             RequestListModel::State::Printed);
    // A label the journal owes again (a try cut off) is looked up though nothing changed.
    m_road->core->ledger.setStage(QStringLiteral("T500C"), labels.last() + QStringLiteral("\n0"),
                                  LabelLedger::Stage::ToPrint);
    const quint64 owing = m_road->connection.lab().statementsSent();
    m_road->core->cycle.PrintPendingRequests(true);
    QVERIFY(m_road->connection.lab().statementsSent() - owing > 1);
}

void PrintRoadTest::theJournalAndTheLogAgree_data() {
    QTest::addColumn<QString>("story");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("lines");
    const QStringList both{"B5001", "B5002"};
    QTest::newRow("stopped after label 1, then logged at another station")
        << "elsewhere" << QStringList{"B5001"} << QStringList{"B5001"} << 1;
    QTest::newRow("the journal refuses a label's printed stage")
        << "journal printed" << both << both << 3;
    QTest::newRow("a kill between the log lines and logged, then printed again by hand")
        << "journal logged" << both + both << both + both << 5;
    QTest::newRow("a restored copy of the database with the same numbers")
        << "copy" << QStringList{"B5001", "B5001", "B5002"} << both << 3;
    QTest::newRow("a restored copy of the database at its own path")
        << "restored" << QStringList{"B5001", "B5001", "B5002"} << both << 3;
    QTest::newRow("a kill between the journal's logging and the append, then a run")
        << "journal logged, append lost" << both << both << 3;
    QTest::newRow("label 1 unlogged for 8 days: the purge keeps its entry")
        << "stuck" << both << both << 3;
}

// The journal never decides against the print log or for another database, never loses or
// doubles a log line, and its failures stop printing.
void PrintRoadTest::theJournalAndTheLogAgree() {
    QFETCH(QString, story);
    QFETCH(QStringList, labels);
    QFETCH(QStringList, records);
    QFETCH(int, lines);
    m_world->lab().addRequest(
        request(QStringLiteral("T500C"), 5,
                {item(QStringLiteral("CBC"), "B5001"),
                 item(QStringLiteral("FBS"), "B5002", QStringLiteral("CHEM"))}));
    const QString copy = m_world->path() + QStringLiteral("/copy.db");
    QVERIFY(QFile::copy(m_world->labPath(), copy));
    const QString journal = m_world->path() + QStringLiteral("/label-ledger.db");
    const QString refuse = QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON labels WHEN "
                                          "NEW.stage = %2 BEGIN SELECT RAISE(ABORT, 'full'); END");
    if (story == QLatin1String("journal printed"))
        m_road->sql(refuse.arg(QStringLiteral("INSERT"), QStringLiteral("1")), journal);
    if (story.startsWith(QLatin1String("journal logged")))
        m_road->sql(refuse.arg(QStringLiteral("UPDATE"), QStringLiteral("3")), journal);
    const auto breakAt = [&](int entry) {
        QFile broken(m_road->core->printing.templatePath());
        if (entry == 2 && !story.startsWith(QLatin1String("journal")) &&
            broken.open(QIODevice::WriteOnly | QIODevice::Truncate))
            broken.write("{ not a template");
    };
    QCOMPARE(m_road->printRequest(QStringLiteral("T500C"), m_day, breakAt).end, End::StationFault);
    QVERIFY(!m_road->core->faults.clearIfMended()); // its check repeats what failed
    m_road->sql(QStringLiteral("DROP TRIGGER IF EXISTS refuse"), journal);
    m_world->writePdfTemplate();
    const QDir logFolder(m_world->printLogFolder());
    for (const QString& day : logFolder.entryList(QDir::Files)) {
        if (story.endsWith(QLatin1String("append lost"))) // the station died before the append
            QVERIFY(QFile::remove(logFolder.filePath(day)));
    }
    if (story == QLatin1String("stuck"))
        m_road->sql(QStringLiteral("UPDATE labels SET at = '2026-01-01T00:00:00Z'"), journal);
    if (story == QLatin1String("elsewhere")) {
        PrintLog(m_road->core->log.folder())
            .CheckPrintLog(QStringLiteral("T500C"), m_road->request.TransDate, true, true);
        m_road->refreshAndPrint();
    } else {
        if (story != QLatin1String("journal printed")) {
            m_road.reset(); // a kill, or a restart on the copy
            QVERIFY(story != QLatin1String("restored") ||
                    (QFile::remove(m_world->labPath()) && QFile::rename(copy, m_world->labPath())));
            m_road = std::make_unique<RoadWorld>(m_world->path(),
                                                 story == QLatin1String("copy") ? copy : QString());
        }
        if (story.endsWith(QLatin1String("append lost")))
            m_road->refreshAndPrint(); // the owed lines are appended before the run
        else
            QCOMPARE(m_road->printRequest(QStringLiteral("T500C"), m_day).end, End::Complete);
    }
    QCOMPARE(printed(), labels);
    QCOMPARE(logged().count(QStringLiteral("T500C")), lines);
    QCOMPARE(
        recordedBarcodes(LabDbBuilder(story == QLatin1String("copy") ? copy : m_world->labPath())),
        records);
}

void PrintRoadTest::faultAtEntryTwo_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("end");
    QTest::addColumn<QStringList>("labels");  // before the fault is mended
    QTest::addColumn<QStringList>("records"); // before the fault is mended
    const QStringList all{"B1001", "B1002", "B1003"};
    QTest::newRow("template breaks")
        << "template" << int(End::StationFault) << QStringList{"B1001"} << QStringList{"B1001"};
    QTest::newRow("barcode cannot be encoded")
        << "barcode" << int(End::RequestFault) << QStringList{"B1001", "B1003"}
        << QStringList{"B1001", "B1003"};
    QTest::newRow("recording refused, database writable")
        << "refused" << int(End::RequestFault) << all << QStringList{"B1001", "B1003"};
    QTest::newRow("database locked: one label without its record")
        << "locked" << int(End::StationFault) << QStringList{"B1001", "B1002"}
        << QStringList{"B1001"};
    QTest::newRow("print log cannot be appended") << "log" << int(End::StationFault) << all << all;
    QTest::newRow("master records refused, date records taken")
        << "master" << int(End::StationFault) << QStringList{"B1001", "B1002"}
        << QStringList{"B1001"};
    QTest::newRow("day file cannot be opened, folder writable")
        << "day file" << int(End::StationFault) << all << all;
}

void PrintRoadTest::faultAtEntryTwo() {
    QFETCH(QString, fault);
    QFETCH(int, end);
    QFETCH(QStringList, labels);
    QFETCH(QStringList, records);
    RoadWorld& road = *m_road;
    const QString templatePath = road.core->printing.templatePath();
    const QString dayFile = road.core->log.dayFilePath(m_day);
    if (fault == QLatin1String("barcode"))
        road.sql(QStringLiteral("UPDATE tbLabMaster SET Barcode = 'B3€0' WHERE Barcode = 'B1002'"));
    const auto breakAt = [&](int entry) {
        if (entry == 2 && fault == QLatin1String("template")) {
            QFile broken(templatePath);
            QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
            broken.write("{ not a template");
        } else if (entry == 2 && fault == QLatin1String("refused")) {
            m_world->lab().refuseDateRecordsFor(m_requestNums.at(1));
        } else if (entry == 2 && fault == QLatin1String("locked")) {
            road.holdLock(true);
        } else if (entry == 3 && fault == QLatin1String("log")) {
            road.breakLogFolder(true);
        } else if (entry == 2 && fault == QLatin1String("master")) {
            road.sql(QStringLiteral("CREATE TRIGGER refuseMaster BEFORE INSERT ON "
                                    "tbLabBarcodeMaster BEGIN SELECT RAISE(ABORT, 'no'); END"));
        } else if (entry == 3 && fault == QLatin1String("day file")) {
            QFile::remove(dayFile);
            QDir().mkpath(dayFile); // what opens for nobody, root included
        }
    };

    PrintJobOutcome outcome = road.printRequest(QStringLiteral("T100C"), m_day, breakAt);
    QCOMPARE(int(outcome.end), end);
    QVERIFY(!outcome.reason.isEmpty());
    if (end == int(End::StationFault)) {
        // Nothing prints while the fault lasts: the check fails first.
        QCOMPARE(road.printLoaded(m_day).end, End::StationFault);
        QVERIFY(!road.core->faults.clearIfMended()); // its check repeats what failed
    }
    road.holdLock(false); // the lock keeps the test from reading the records too
    QCOMPARE(printed(), labels);
    QCOMPARE(recorded(), records);
    QVERIFY(logged().isEmpty()); // never logged with a label missing

    // Mended, the next run finishes the request: every label once, recorded once, logged.
    road.holdLock(false);
    road.breakLogFolder(false);
    m_world->writePdfTemplate();
    road.sql(QStringLiteral("UPDATE tbLabMaster SET Barcode = 'B1002' WHERE Barcode = 'B3€0'"));
    road.sql(QStringLiteral("DROP TRIGGER IF EXISTS refuseDateRecord1"));
    road.sql(QStringLiteral("DROP TRIGGER IF EXISTS refuseMaster"));
    QDir().rmdir(dayFile);
    outcome = road.printRequest(QStringLiteral("T100C"), m_day);
    QVERIFY2(outcome.end == End::Complete, qPrintable(outcome.reason));
    QStringList printedOnce = printed();
    printedOnce.sort();
    QCOMPARE(printedOnce, (QStringList{"B1001", "B1002", "B1003"}));
    QStringList recordedOnce = recorded();
    recordedOnce.sort();
    QCOMPARE(recordedOnce, (QStringList{"B1001", "B1002", "B1003"}));
    QCOMPARE(logged(), QStringList(4, QStringLiteral("T100C"))); // the cycle's entry, then three
    QCOMPARE(road.core->progress.size(), 0);
}

void PrintRoadTest::aDateThatIsNotADatePrintsNothing() {
    RoadWorld& road = *m_road;
    PrintJobOutcome outcome = road.printRequest(QStringLiteral("T100C"), QStringLiteral("someday"));
    QCOMPARE(outcome.end, End::RequestFault);
    QVERIFY(outcome.reason.contains(QStringLiteral("someday")));
    QCOMPARE(pdfCount(m_world->labelFolder()), 0);
    QVERIFY(recorded().isEmpty());
    // Rows that differ: the request's values are its first row's.
    const CurrentRequest first = findRequest(road.connection.lab(), "T100C", road.activity).request;
    road.sql(
        "UPDATE tbLabMaster SET HospNum = 'H9', TransDate = '2020-01-01' WHERE Barcode > 'B1001'");
    const CurrentRequest r = findRequest(road.connection.lab(), "T100C", road.activity).request;
    QCOMPARE(QStringList({r.HospNum, r.PatientName, r.TransDate, r.Age}),
             QStringList({first.HospNum, first.PatientName, first.TransDate, first.Age}));
}

void PrintRoadTest::theStationLogTellsWhatTheRoadDid() {
    const QString path = m_world->path() + QStringLiteral("/data/quillon.log");
    const auto read = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    StationLog::install(path, 64 * 1024, 2);
    auto restore = qScopeGuard([] { StationLog::uninstall(); });
    m_road->printRequest(QStringLiteral("T100C"), m_day);
    m_road->sql(QStringLiteral("UPDATE tbLabMaster SET Barcode = 'B3€0' WHERE Barcode = 'B2001'"));
    m_road->printRequest(QStringLiteral("200"), m_day);
    const QString log = read(path);
    for (const char* expected :
         {" quillon.print info: request T100C: printed 1 copy of B1001 [HEMA] on pdf:",
          " quillon.print info: request T100C: barcode B1003 recorded\n",
          " quillon.print info: request T100C: 4 print-log lines appended to ",
          " quillon.print warning: request 200 not finished: The labels of B3€0 cannot be "
          "printed"})
        QVERIFY2(log.contains(QString::fromUtf8(expected)), expected);

    // A demo patient's values meet every label fault of the PDF and the ZPL road (a barcode bound
    // to a value it cannot encode or that does not fit, a text the printer's font lacks): the
    // faults name the field, and no name or other patient value reaches the log.
    m_world->lab().fillDemo(QDateTime::currentDateTime());
    QStringList demo; // request number, last name, first name
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("d"));
        db.setDatabaseName(m_world->labPath());
        QSqlQuery q(
            QStringLiteral("SELECT m.RefNum, p.LastName, p.FirstName FROM tbLabMaster m "
                           "JOIN tbLabPatient p ON p.HospNum = m.HospNum WHERE p.HospNum "
                           "NOT LIKE 'HN-%' AND m.Barcode <> '' ORDER BY m.Transdate DESC LIMIT 1"),
            db.open() ? db : QSqlDatabase());
        QVERIFY(q.next());
        demo = QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()};
    }
    QSqlDatabase::removeDatabase(QStringLiteral("d"));
    m_road->sql(QStringLiteral("UPDATE tbLabPatient SET LastName = LastName || 'é', "
                               "RoomID = RoomID || 'Ž'"));
    QFile rpt(m_world->path() + QStringLiteral("/LabBarcodeLabel.rpt"));
    QVERIFY(rpt.open(QIODevice::ReadOnly));
    const QString pdf = QString::fromUtf8(rpt.readAll());
    const QString zpl = QString(pdf).replace(QRegularExpression(QStringLiteral("pdf:[^\"]*")),
                                             QStringLiteral("zpl:file:") + m_world->path());
    rpt.close();
    const QString item = QStringLiteral("\"field\": \"%1\", \"symbology\": \"CODE128\", \"x\": "
                                        "1.5, \"y\": 7.3, \"width\": %2");
    const std::vector<std::tuple<QString, const char*, int, QString>> faults{
        {pdf, "RoomID", 47, "The barcode text of the field RoomID cannot be printed as CODE128"},
        {pdf, "HospNum", 3, "The barcode of the field HospNum does not fit its 3.0 x 11.7 mm"},
        {zpl, "Barcode", 47, "The text of the field RoomID cannot be printed on the ZPL label"},
        {zpl, "PatientName", 47, "The barcode text of the field PatientName cannot be printed as"},
        {zpl, "RoomID", 47, "The barcode text of the field RoomID cannot be printed as CODE128:"},
        {zpl, "HospNum", 3, "The barcode of the field HospNum does not fit its 3.0 x 11.7 mm"}};
    for (const auto& [label, field, width, fault] : faults) {
        QVERIFY(rpt.open(QIODevice::WriteOnly | QIODevice::Truncate));
        rpt.write(QString(label)
                      .replace(item.arg(QStringLiteral("Barcode")).arg(47),
                               item.arg(QLatin1String(field)).arg(width))
                      .toUtf8());
        rpt.close();
        const qsizetype before = read(path).size();
        QCOMPARE(m_road->printRequest(demo[0], m_day).end, End::RequestFault);
        QVERIFY2(read(path).mid(before).contains(fault), qPrintable(fault));
    }
    for (const QString& value : {demo[1], demo[2], QStringLiteral("Ž")})
        QVERIFY2(!read(path).contains(value), qPrintable(value));

    // Size-bounded: the file turns over, two old ones stay.
    StationLog::uninstall();
    StationLog::install(path, 2000, 2);
    for (int i = 0; i < 200; ++i)
        qCInfo(lcQueue) << "line" << i;
    QVERIFY(QFileInfo(path + QStringLiteral(".2")).size() > 1000);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".3")));
    for (const QString& file :
         QStringList{path, path + QStringLiteral(".1"), path + QStringLiteral(".2")})
        QVERIFY(QFileInfo(file).size() <= 2000);
    QVERIFY(read(path).endsWith(QStringLiteral(" quillon.queue info: line 199\n")));
}

// Every label event reaches the lab's history once: a reprint is told as one, an unwritable or
// torn history stops no label, and events owed across a kill go in once.
void PrintRoadTest::theHistoryHoldsEachEventOnce() {
    const QString history = m_world->printLogFolder() + QLatin1Char('/') +
                            LabelHistory::monthFileName(QDate::currentDate());
    QCOMPARE(m_road->printRequest(QStringLiteral("T100C"), m_day).end, End::Complete);
    const auto tear = [&history] { // what a kill left of another station's append
        QFile torn(history);
        return torn.open(QIODevice::Append) && torn.write("H1\tx-1\t2026-12-") > 0;
    };
    QVERIFY(tear());
    PrintJobOrder again;
    again.key = QStringLiteral("T100C");
    again.request = &m_road->request;
    again.entries = &m_road->entries;
    again.reprintReason = QStringLiteral("  Label\tlost ");
    QCOMPARE(m_road->core->road.print(again).end, End::Complete);
    const QStringList first{"B1001", "B1002", "B1003"};
    const QStringList reprinted{"B1001 again: Label lost", "B1002 again: Label lost",
                                "B1003 again: Label lost"};
    LabelHistory folderOnly{QString()};
    folderOnly.setFolder(m_world->printLogFolder());
    const auto listedIn = [](LabelHistory& history, const QString& number) {
        QStringList out;
        for (const LabelEvent& e : history.ofRequest(number))
            out.append(e.barcode + (e.reprint ? " again: " + e.reason : QString()));
        return out;
    };
    const auto listed = [&](const QString& number) { return listedIn(folderOnly, number); };
    // A station new to the lab catches up in steps, past the torn line, before any question.
    QVERIFY(tear());
    LabelHistory stepped{QString()};
    stepped.setFolder(m_world->printLogFolder());
    int steps = 0;
    while (stepped.catchUp(300) && steps < 100)
        ++steps;
    QVERIFY2(steps > 1 && steps < 100, qPrintable(QString::number(steps)));
    stepped.setFolder(QString());
    QCOMPARE(listedIn(stepped, "T100C"), first + reprinted);
    QCOMPARE(listed("T100C"), first + reprinted);

    // The history out of reach: the label prints, its event waits in the journal.
    QVERIFY(QFile::rename(history, history + ".away"));
    QVERIFY(QDir().mkdir(history));
    QCOMPARE(m_road->printRequest(QStringLiteral("200"), m_day).end, End::Complete);
    QCOMPARE(m_road->notices.texts.size(), 1);
    QVERIFY(m_road->core->recorder.fault().contains(QStringLiteral("could not be opened")));
    QCOMPARE(m_road->core->ledger.owedEvents().size(), 1);
    // Back, after a kill that came after the append but before the journal struck it.
    QVERIFY(QDir().rmdir(history));
    QVERIFY(QFile::rename(history + ".away", history));
    m_road->core->history.append(
        {*LabelEvent::fromLine(m_road->core->ledger.owedEvents().first().line.chopped(1))});
    m_road.reset();
    m_road = std::make_unique<RoadWorld>(*m_world);
    QString reason;
    QVERIFY(m_road->core->road.reconcileBeforeRun(reason));
    QCOMPARE(listed("200"), QStringList{"B2001"});
    QVERIFY(m_road->core->ledger.owedEvents().isEmpty());
    QFile file(history);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 8); // seven whole lines, the torn one cut
    for (const QByteArray& line : lines.first(7))
        QVERIFY2(LabelEvent::fromLine(line), line.constData());
}

QTEST_MAIN(PrintRoadTest)
#include "tst_printroad.moc"
