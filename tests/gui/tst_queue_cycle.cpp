#include "TestData.h"
#include "StationTestSupport.h"
#include "labdb/LabDbBuilder.h"
#include "labels/LabelPrinting.h"
#include "lookup/LookupInput.h"
#include "queue/AutoPrintCycle.h"
#include "queue/PrintLog.h"
#include "queue/PrintedMarks.h"
#include "queue/RecentRequests.h"
#include "station/RequestGrid.h"
#include "station/Station.h"
#include "station/StationWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QTest>
#include <QTimer>

using namespace TestData;

// The automatic printing cycle over a real lab database file, printing labels as PDF files.
class QueueCycleTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void emptyListDoesNothing();
    void onlyRowsWithAnEmptyPrintedColumnPrint();
    void printsTopDownInOneCopyAndRecords();
    void rowAddedDuringARunWaitsForTheNextRun();
    void requestNotFoundEndsLoggedAndMarked();
    void loggedRequestGetsNoSecondCycleEntry();
    void tickRestartsTheTimersAsTheBoxSays_data();
    void tickRestartsTheTimersAsTheBoxSays();
    void printNowLeavesTheTimersAlone();
    void noRunInsideARunOrALookup();
    void refreshPressDuringARunWaitsForIt();
    void logFailureStopsTheRunAndTheTimersRunAgain();
    void lookupOrPrintFailureLeavesTheRowForTheNextRun_data();
    void lookupOrPrintFailureLeavesTheRowForTheNextRun();

private:
    Station& station() { return m_fixture->station(); }
    const StationControls& c() { return station().window().controls(); }
    RequestGrid& grid() { return *c().Grid1; }
    AutoPrintCycle& cycle() { return station().autoPrintCycle(); }
    int pdfs() const { return pdfCount(m_world->labelFolder()); }
    QStringList logged() const { return loggedNumbers(m_world->printLogFolder()); }
    void refreshTicks() {
        for (int i = 0; i < RecentRequests::ticksPerRefresh; ++i)
            station().onRefreshTick();
    }

    std::unique_ptr<TestWorld> m_world;
    std::unique_ptr<StationFixture> m_fixture;
};

void QueueCycleTest::init() {
    m_world = std::make_unique<TestWorld>();
    LabDbBuilder& lab = m_world->createLab();
    lab.addRequest(request(QStringLiteral("T100C"), 30, {item(QStringLiteral("CBC"), "B100")}));
    lab.addRequest(request(QStringLiteral("T200C"), 20,
                           {item(QStringLiteral("FBS"), "B201", QStringLiteral("CHEM")),
                            item(QStringLiteral("CBC"), "B202")}));
    lab.addRequest(request(QStringLiteral("T300C"), 10, {item(QStringLiteral("UA"), "B300")}));
    m_fixture = std::make_unique<StationFixture>(*m_world);
    QVERIFY(station().show());
    station().labelPrinting().setTemplatePath(m_world->writePdfTemplate());
}

void QueueCycleTest::cleanup() {
    m_fixture.reset();
    m_world.reset();
}

void QueueCycleTest::emptyListDoesNothing() {
    cycle().onPrintNowClick();
    QCOMPARE(pdfs(), 0);
    QVERIFY(QDir(m_world->printLogFolder()).isEmpty());
    QVERIFY(m_fixture->messages.shown.isEmpty());
}

void QueueCycleTest::onlyRowsWithAnEmptyPrintedColumnPrint() {
    station().recentRequests().onRefreshClick();
    station().marks().MarkRowPrinted(1);
    grid().setCellText(2, PrintedMarks::printedColumn, QStringLiteral("x"));
    cycle().onPrintNowClick();
    QCOMPARE(pdfs(), 1);
    QCOMPARE(logged(), (QStringList{"T100C", "T100C"})); // the cycle's entry, the print's entry
    for (int row = 1; row <= 3; ++row)
        QVERIFY(rowIsMarked(grid(), row));

    // Every row marked: nothing more.
    cycle().onPrintNowClick();
    QCOMPARE(pdfs(), 1);
    QCOMPARE(logged().size(), 2);
    QVERIFY(m_fixture->messages.shown.isEmpty());
}

void QueueCycleTest::printsTopDownInOneCopyAndRecords() {
    station().recentRequests().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T300C", "T200C", "T100C"}));
    c().txtCopies->setText(QStringLiteral("4"));
    cycle().onPrintNowClick();
    QVERIFY(m_fixture->messages.shown.isEmpty());
    QCOMPARE(pdfs(), 4); // one per label
    QCOMPARE(logged(),
             (QStringList{"T300C", "T300C", "T200C", "T200C", "T200C", "T100C", "T100C"}));
    for (int row = 1; row <= 3; ++row)
        QVERIFY(rowIsMarked(grid(), row));
    QStringList barcodes;
    for (const MasterRecord& record : m_world->lab().masterRecords())
        barcodes.append(record.barcode);
    QCOMPARE(barcodes, (QStringList{"B300", "B201", "B202", "B100"}));
}

void QueueCycleTest::rowAddedDuringARunWaitsForTheNextRun() {
    station().recentRequests().onRefreshClick();
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        m_world->lab().addRequest(
            request(QStringLiteral("T400C"), 1, {item(QStringLiteral("ESR"), "B400")}));
        refreshTicks(); // a timer refresh appends during the run
        QCOMPARE(grid().rows(), 5);
    });
    cycle().onPrintNowClick();
    QCOMPARE(ran, 1);
    QCOMPARE(gridNumbers(grid()), (QStringList{"T300C", "T200C", "T100C", "T400C"}));
    QVERIFY(!rowIsMarked(grid(), 4));
    QCOMPARE(pdfs(), 4);

    cycle().onPrintNowClick();
    QVERIFY(rowIsMarked(grid(), 4));
    QCOMPARE(pdfs(), 5);
}

void QueueCycleTest::requestNotFoundEndsLoggedAndMarked() {
    grid().appendRow({QStringLiteral("2026-12-01 09:00:00"), QStringLiteral("T999C")});
    cycle().onPrintNowClick();
    QCOMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("Sample not found!")});
    QCOMPARE(logged(), QStringList{QStringLiteral("T999C")});
    QVERIFY(QFile::exists(m_world->printLogFolder() +
                          QStringLiteral("/PrintedLabBarcodes 12 01 2026.txt")));
    QVERIFY(rowIsMarked(grid(), 1));
    QCOMPARE(pdfs(), 0);
}

void QueueCycleTest::loggedRequestGetsNoSecondCycleEntry() {
    station().recentRequests().onRefreshClick();
    // Logged after the list was built: the row is unmarked, the day's file holds the number.
    station().printLog().CheckPrintLog(QStringLiteral("T300C"), grid().cellText(1, 0), true, true);
    cycle().onPrintNowClick();
    QCOMPARE(logged().count(QStringLiteral("T300C")), 2); // the earlier entry and the print's
    QCOMPARE(pdfs(), 4);                                  // the column decides, not the log
}

void QueueCycleTest::tickRestartsTheTimersAsTheBoxSays_data() {
    QTest::addColumn<bool>("untickDuringRun");
    QTest::newRow("box stays ticked") << false;
    QTest::newRow("box unticked during the run") << true;
}

void QueueCycleTest::tickRestartsTheTimersAsTheBoxSays() {
    QFETCH(bool, untickDuringRun);
    QVERIFY(c().vkchkAutoPrintRequests->isChecked());
    station().recentRequests().onRefreshClick();
    bool stoppedInRun = false;
    QTimer::singleShot(0, this, [&] {
        stoppedInRun = !c().tmrCheckRequests->isActive() && !c().tmrAutoPrint->isActive();
        if (untickDuringRun) {
            c().vkchkAutoPrintRequests->setChecked(false);
            station().onAutoPrintBoxClick();
        }
    });
    station().onAutoPrintTick();
    QVERIFY(stoppedInRun);
    QCOMPARE(pdfs(), 4);
    QVERIFY(c().tmrCheckRequests->isActive());
    QCOMPARE(c().tmrAutoPrint->isActive(), !untickDuringRun);
}

void QueueCycleTest::printNowLeavesTheTimersAlone() {
    c().vkchkAutoPrintRequests->setChecked(false);
    station().onAutoPrintBoxClick();
    station().recentRequests().onRefreshClick();
    cycle().onPrintNowClick();
    QCOMPARE(pdfs(), 4);
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(!c().tmrAutoPrint->isActive());
}

void QueueCycleTest::noRunInsideARunOrALookup() {
    station().recentRequests().onRefreshClick();
    // Print Now and a tick that fall due inside a run are dropped.
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        cycle().onPrintNowClick();
        station().onAutoPrintTick();
        QVERIFY(c().tmrCheckRequests->isActive()); // the dropped tick touched no timer
    });
    cycle().onPrintNowClick();
    QCOMPARE(ran, 1);
    QCOMPARE(pdfs(), 4);
    QCOMPARE(logged().size(), 7);

    // Inside a manual lookup no run starts either.
    m_world->lab().addRequest(
        request(QStringLiteral("T400C"), 1, {item(QStringLiteral("ESR"), "B400")}));
    station().recentRequests().onRefreshClick();
    QVERIFY(!rowIsMarked(grid(), 1));
    QTimer::singleShot(0, this, [&] {
        ++ran;
        cycle().onPrintNowClick();
        station().onAutoPrintTick();
    });
    c().txtNumber->setText(QStringLiteral("T200C"));
    station().lookupInput().onNumberEnter();
    QCOMPARE(ran, 2);
    QCOMPARE(pdfs(), 4);
    QCOMPARE(logged().size(), 7);
    QVERIFY(!rowIsMarked(grid(), 1));
}

void QueueCycleTest::refreshPressDuringARunWaitsForIt() {
    station().recentRequests().onRefreshClick();
    grid().appendRow({QStringLiteral("2020-01-01 08:00:00"), QStringLiteral("OLD")});
    station().marks().MarkRowPrinted(4);
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        station().recentRequests().onRefreshClick();
        QCOMPARE(grid().rows(), 5); // not cut under the run
        QVERIFY(station().recentRequests().refreshDeferred());
    });
    cycle().onPrintNowClick();
    QCOMPARE(ran, 1);
    QCOMPARE(pdfs(), 4);
    // The press ran at the end of the run: rebuilt, the marks back from the log.
    QVERIFY(!station().recentRequests().refreshDeferred());
    QCOMPARE(gridNumbers(grid()), (QStringList{"T300C", "T200C", "T100C"}));
    for (int row = 1; row <= 3; ++row)
        QVERIFY(rowIsMarked(grid(), row));
}

void QueueCycleTest::logFailureStopsTheRunAndTheTimersRunAgain() {
    station().recentRequests().onRefreshClick();
    grid().setCellText(2, 0, QStringLiteral("not a date"));
    station().onAutoPrintTick();
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    QVERIFY(m_fixture->messages.texts().first().startsWith(
        QStringLiteral("Automatic printing stopped at request T200C: ")));
    QCOMPARE(m_fixture->messages.shown.first().icon, Messages::Icon::Warning);
    // What was done before the failure stays done; nothing after it was touched.
    QVERIFY(rowIsMarked(grid(), 1));
    QVERIFY(!rowIsMarked(grid(), 2));
    QVERIFY(!rowIsMarked(grid(), 3));
    QCOMPARE(logged(), (QStringList{"T300C", "T300C"}));
    QCOMPARE(pdfs(), 1);
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(c().tmrAutoPrint->isActive());
}

void QueueCycleTest::lookupOrPrintFailureLeavesTheRowForTheNextRun_data() {
    QTest::addColumn<bool>("lookupFails");
    QTest::newRow("lookup") << true;
    QTest::newRow("print") << false;
}

void QueueCycleTest::lookupOrPrintFailureLeavesTheRowForTheNextRun() {
    QFETCH(bool, lookupFails);
    station().recentRequests().onRefreshClick();
    const QString templatePath = station().labelPrinting().templatePath();
    if (lookupFails) {
        QSqlDatabase::database(QString(DbConnection::connectionName), false).close();
    } else {
        // The label folder lies under a plain file, so no label can be written.
        QFile blocker(m_world->path() + QStringLiteral("/blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QFile source(templatePath);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(source.readAll());
        text.replace(m_world->labelFolder(), blocker.fileName() + QStringLiteral("/labels"));
        QFile target(m_world->path() + QStringLiteral("/blocked.rpt"));
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.write(text.toUtf8());
        target.close();
        station().labelPrinting().setTemplatePath(target.fileName());
    }
    station().onAutoPrintTick();
    // The lookup or the Print command said what failed; the run ended at the row, unmarked.
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    for (int row = 1; row <= 3; ++row)
        QVERIFY(!rowIsMarked(grid(), row));
    QCOMPARE(logged(), QStringList{QStringLiteral("T300C")});
    QVERIFY(c().tmrAutoPrint->isActive());

    // Mended: the next run prints the row.
    if (lookupFails)
        QVERIFY(QSqlDatabase::database(QString(DbConnection::connectionName), false).open());
    station().labelPrinting().setTemplatePath(templatePath);
    station().onAutoPrintTick();
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    QCOMPARE(pdfs(), 4);
    for (int row = 1; row <= 3; ++row)
        QVERIFY(rowIsMarked(grid(), row));
}

QTEST_MAIN(QueueCycleTest)
#include "tst_queue_cycle.moc"
