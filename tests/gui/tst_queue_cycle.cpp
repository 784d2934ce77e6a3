#include "StationTestSupport.h"
#include "TestData.h"
#include "app/FileLease.h"
#include "labdb/LabDbBuilder.h"
#include "queue/AutoPrintCycle.h"
#include "queue/PrintLease.h"
#include "queue/PrintLog.h"
#include "queue/RequestListModel.h"
#include "station/CheckList.h"
#include "station/LookupInput.h"
#include "station/PrintCommand.h"
#include "station/QueueControls.h"
#include "station/RequestGrid.h"
#include "station/StandbyControls.h"
#include "station/Station.h"
#include "station/StationFrame.h"
#include "station/StationNotices.h"
#include "station/StationWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace TestData;

// Automatic printing over a real lab database file, printing labels as PDF files.
class QueueCycleTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void printsEveryPendingRowOnceTopDown();
    void poisonRequestsFailVisiblyAndTheOthersPrint();
    void aStationFaultStopsTheRunUntilMended();
    void everyRequestAfterDowntimeIsListedAndPrinted();
    void runShowsEachRequestInAnIdleWindow();
    void aRequestLoadedByHandSurvivesRuns();
    void inputDuringARunIsCarriedOut_data();
    void inputDuringARunIsCarriedOut();
    void tickRestartsTheTimersAsTheBoxSays_data();
    void tickRestartsTheTimersAsTheBoxSays();
    void noRunInsideARunOrALookup();
    void aLookupsBoxDoesNotHoldRunsBack();
    void refreshPressDuringARunWaitsForIt();
    void refreshPressDuringAPrintJobWaitsForIt();
    void aStandbyPrintsOnlyOnceItTakesTheLease();

private:
    Station& station() { return m_fixture->station(); }
    const StationControls& c() { return station().window().controls(); }
    RequestGrid& grid() { return *c().Grid1; }
    QueueControls& queue() { return station().queue(); }
    int pdfs() const { return pdfCount(m_world->labelFolder()); }
    QStringList logged() const { return loggedNumbers(m_world->printLogFolder()); }
    void refresh() { queue().onRefreshClick(); }

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
    // Any box that waited for a person inside an automatic run would be a fault.
    m_fixture->messages.onShow = [](const QString& text) {
        QFAIL(qPrintable(QStringLiteral("a modal message: ") + text));
    };
}

void QueueCycleTest::cleanup() {
    m_fixture.reset();
    m_world.reset();
}

void QueueCycleTest::printsEveryPendingRowOnceTopDown() {
    queue().onPrintNowClick(); // an empty list: nothing
    QCOMPARE(pdfs(), 0);
    refresh();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T300C", "T200C", "T100C"}));
    // Another station on the same folder prints T100C after the refresh: the log decides.
    PrintLog(m_world->printLogFolder())
        .CheckPrintLog(QStringLiteral("T100C"), station().requestList().transDate(2), true, true);
    c().txtCopies->setText(QStringLiteral("4"));
    queue().onPrintNowClick();
    // Top down, one copy per label; per request the cycle's entry, then one per label.
    QCOMPARE(scannedBarcodes(m_world->labelFolder()), (QStringList{"B300", "B201", "B202"}));
    QCOMPARE(logged(), (QStringList{"T100C", "T300C", "T300C", "T200C", "T200C", "T200C"}));
    QCOMPARE(m_world->lab().masterRecords().size(), 3);
    for (int row = 1; row <= 3; ++row)
        QVERIFY(rowIsMarked(grid(), row));
    // Every row printed: a second run prints and logs nothing.
    queue().onPrintNowClick();
    QCOMPARE(pdfs(), 3);
    QCOMPARE(logged().size(), 6);
}

void QueueCycleTest::poisonRequestsFailVisiblyAndTheOthersPrint() {
    LabDbBuilder& lab = m_world->lab();
    lab.addRequest(request(QStringLiteral("T250C"), 15, {item(QStringLiteral("ESR"), "B3€0")}));
    lab.addRequest(request(QStringLiteral(" T260C "), 14, {item(QStringLiteral("ESR"), "B260")}));
    refresh();
    grid().appendRow({QStringLiteral("2026-12-01 09:00:00"), QStringLiteral("T999C")});
    RequestListModel& list = station().requestList();
    list.setCellText(4, RequestListModel::TransDate, QStringLiteral("not a date"));
    QCOMPARE(gridNumbers(grid()),
             (QStringList{"T300C", " T260C ", "T250C", "T200C", "T100C", "T999C"}));
    station().onAutoPrintTick();

    // Every good request printed; each poison row failed, with its reason, in its own colour. A
    // number with blanks at its ends would share its print-log key with the number without.
    QCOMPARE(scannedBarcodes(m_world->labelFolder()), (QStringList{"B300", "B201", "B202"}));
    for (const int row : {0, 3})
        QCOMPARE(list.state(row), RequestListModel::State::Printed);
    for (const int row : {1, 2, 4, 5}) {
        QCOMPARE(list.state(row), RequestListModel::State::Failed);
        QCOMPARE(grid().cellText(row + 1, RequestListModel::Printed), QStringLiteral("Failed"));
        QCOMPARE(grid().cellBackColour(row + 1, 0), RequestListModel::failedColour());
    }
    QVERIFY(list.failure(1).contains(QStringLiteral("begins or ends with a blank")));
    QVERIFY(list.failure(2).contains(QStringLiteral("B3€0")));
    QVERIFY(list.failure(4).contains(QStringLiteral("not a date")));
    QCOMPARE(list.failure(5), QStringLiteral("Sample not found!"));
    QCOMPARE(list.data(list.index(2, 3), Qt::ToolTipRole).toString(), list.failure(2));
    QVERIFY(station().notices().recent().last().contains(QStringLiteral("4 failed")));
    QVERIFY(!logged().contains(QStringLiteral("T250C")));

    // The next tick tries them again; a request that appeared prints.
    lab.addRequest(request(QStringLiteral("T999C"), 400, {item(QStringLiteral("UA"), "B999")}));
    station().onAutoPrintTick();
    QCOMPARE(list.state(5), RequestListModel::State::Printed);
    QCOMPARE(station().progress().failures(QStringLiteral("T250C")), 2);
    // Failing again, it is spaced out: the next tick leaves it; Print Now tries it at once.
    station().onAutoPrintTick();
    QCOMPARE(station().progress().failures(QStringLiteral("T250C")), 2);
    queue().onPrintNowClick();
    QCOMPARE(station().progress().failures(QStringLiteral("T250C")), 3);

    // Rebuilt, the failed rows show their failure again; nothing prints twice.
    refresh();
    QCOMPARE(grid().cellText(2, RequestListModel::Printed), QStringLiteral("Failed"));
    QCOMPARE(grid().cellText(3, RequestListModel::Printed), QStringLiteral("Failed"));
    station().onAutoPrintTick();
    QCOMPARE(pdfs(), 4);

    // Weeks of requests that never print fill no memory: the one left alone longest goes first.
    PrintProgress& progress = station().progress();
    for (int i = 0; i < PrintProgress::maxRequests; ++i)
        progress.noteFailure(QStringLiteral("X%1").arg(i), QStringLiteral("fails"), 1);
    QCOMPARE(progress.size(), PrintProgress::maxRequests);
    QVERIFY(!progress.hasFailed(QStringLiteral("T250C")) &&
            progress.hasFailed(QStringLiteral("X0")));
    refresh(); // none of them is listed: none is remembered
    QCOMPARE(progress.size(), 0);
}

void QueueCycleTest::aStationFaultStopsTheRunUntilMended() {
    refresh();
    // The print-log folder becomes a plain file: the log read before the first row fails, so
    // nothing prints that could not be logged.
    const QString folder = m_world->printLogFolder();
    QVERIFY(QDir().rename(folder, folder + QStringLiteral(".aside")));
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    station().onAutoPrintTick();
    QCOMPARE(pdfs(), 0);
    QVERIFY(station().notices().recent().last().startsWith(
        QStringLiteral("Automatic printing stopped: ")));
    for (int row = 1; row <= 3; ++row)
        QVERIFY(!rowIsMarked(grid(), row));
    QVERIFY(c().tmrAutoPrint->isActive());
    station().onAutoPrintTick(); // still broken: nothing prints
    QCOMPARE(pdfs(), 0);

    blocker.remove();
    QVERIFY(QDir().rename(folder + QStringLiteral(".aside"), folder));
    station().onAutoPrintTick();
    QCOMPARE(scannedBarcodes(m_world->labelFolder()),
             (QStringList{"B300", "B201", "B202", "B100"}));
    QCOMPARE(m_world->lab().masterRecords().size(), 4);
    for (int row = 1; row <= 3; ++row)
        QVERIFY(rowIsMarked(grid(), row));

    // Stopped again, then mended with nothing left to print: the status line says so.
    m_world->lab().addRequest(
        request(QStringLiteral("T400C"), 1, {item(QStringLiteral("ESR"), "B400")}));
    refresh();
    QVERIFY(QDir().rename(folder, folder + QStringLiteral(".aside")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    station().onAutoPrintTick();
    QVERIFY(station().notices().recent().last().startsWith(
        QStringLiteral("Automatic printing stopped: ")));
    blocker.remove();
    QVERIFY(QDir().rename(folder + QStringLiteral(".aside"), folder));
    station().marks().MarkRowPrinted(1); // T400C, printed by hand meanwhile
    station().onAutoPrintTick();
    QCOMPARE(station().notices().recent().last(),
             QStringLiteral("Automatic printing runs again: the fault is mended."));
}

void QueueCycleTest::everyRequestAfterDowntimeIsListedAndPrinted() {
    for (int i = 0; i < 60; ++i)
        m_world->lab().addRequest(
            request(QStringLiteral("D%1").arg(i, 3, 10, QLatin1Char('0')), 9 - i / 10,
                    {item(QStringLiteral("CBC"), QStringLiteral("BD%1").arg(i))}));
    refresh();
    QCOMPARE(grid().rows(), 64);
    QCOMPARE(gridNumbers(grid()).removeDuplicates(), 0);
    queue().onPrintNowClick();
    QCOMPARE(pdfs(), 64);
    for (int row = 1; row < grid().rows(); ++row)
        QVERIFY(rowIsMarked(grid(), row));
}

void QueueCycleTest::runShowsEachRequestInAnIdleWindow() {
    refresh();
    QStringList shown;
    const auto watch = [&] {
        if (!c().txtNumber->text().isEmpty())
            shown.append(c().txtNumber->text() + QLatin1Char('/') +
                         QString::number(c().lstExams->entryCount()));
    };
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, watch);
    watcher.start(0);
    const auto selections = [this] {
        return c().lstExams->findChildren<QItemSelectionModel*>().size();
    };
    const qsizetype selectionsBefore = selections();
    queue().onPrintNowClick();
    QCOMPARE(selections(), selectionsBefore); // switching models leaves nothing behind
    shown.removeDuplicates();
    QCOMPARE(shown, (QStringList{"T300C/1", "T200C/2", "T100C/1"}));
    // Back to searching afterwards.
    QVERIFY(c().txtNumber->text().isEmpty());
    QVERIFY(c().fraSearch->isEnabled());
    QCOMPARE(c().lstExams->checklistModel(), &station().checklist());
}

void QueueCycleTest::aRequestLoadedByHandSurvivesRuns() {
    refresh();
    c().txtNumber->setText(QStringLiteral("T200C"));
    station().lookupInput().onNumberEnter();
    c().lstExams->setTicked(1, false);
    c().txtCopies->setText(QStringLiteral("3"));
    // Print pressed during a run waits for the run, which ends after its current request.
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        c().cmdGenerate->click();
        QVERIFY(station().printCommand().waiting());
    });
    station().onAutoPrintTick();
    QCOMPARE(ran, 1);
    // The run printed T300C only, then the manual job printed entry 2 of T200C three times.
    QCOMPARE(scannedBarcodes(m_world->labelFolder()),
             (QStringList{"B300", "B202", "B202", "B202"}));
    QCOMPARE(c().lstExams->entryCount(), 0); // the manual print returned to searching

    // Print pressed while the run prints that very request waits, then finds it printed.
    m_world->lab().addRequest(
        request(QStringLiteral("T400C"), 1, {item(QStringLiteral("ESR"), "B400")}));
    refresh();
    c().txtNumber->setText(QStringLiteral("T400C"));
    station().lookupInput().onNumberEnter();
    QTimer::singleShot(0, this, [&] { c().cmdGenerate->click(); });
    station().onAutoPrintTick();
    QCOMPARE(scannedBarcodes(m_world->labelFolder()).count(QStringLiteral("B400")), 1);
    QVERIFY(station().notices().recent().last().contains(QStringLiteral("not printed again")));
    QCOMPARE(c().lstExams->entryCount(), 0);
    m_world->lab().addRequest(
        request(QStringLiteral("T500C"), 1, {item(QStringLiteral("ESR"), "B500")}));
    refresh();
    c().txtNumber->setText(QStringLiteral("B500")); // by its label's barcode
    station().lookupInput().onNumberEnter();
    QTimer::singleShot(0, this, [&] { c().cmdGenerate->click(); });
    station().onAutoPrintTick();
    QCOMPARE(scannedBarcodes(m_world->labelFolder()).count(QStringLiteral("B500")), 1);

    // Loaded again, ticks and copies set: a tick and Print Now leave them alone.
    c().txtNumber->setText(QStringLiteral("T100C"));
    station().lookupInput().onNumberEnter();
    c().lstExams->setTicked(1, false);
    c().txtCopies->setText(QStringLiteral("2"));
    station().onAutoPrintTick();
    queue().onPrintNowClick();
    QCOMPARE(c().txtNumber->text(), QStringLiteral("T100C"));
    QCOMPARE(c().lstExams->entryCount(), 1);
    QVERIFY(!c().lstExams->isTicked(1));
    QCOMPARE(c().txtCopies->text(), QStringLiteral("2"));
    QVERIFY(c().cmdGenerate->isEnabled());
}

void QueueCycleTest::inputDuringARunIsCarriedOut_data() {
    QTest::addColumn<int>("input");
    QTest::newRow("scan with Enter") << 0;
    QTest::newRow("grid click") << 1;
    QTest::newRow("Reset of a request loaded by hand") << 2;
}

void QueueCycleTest::inputDuringARunIsCarriedOut() {
    QFETCH(int, input);
    refresh();
    c().txtNumber->setText(input == 2 ? QStringLiteral("T100C") : QString());
    station().lookupInput().onNumberEnter();
    QTimer watcher; // once the run has printed a label, showing its request in an idle window
    connect(&watcher, &QTimer::timeout, this, [&] {
        if (pdfs() == 0 || !watcher.isActive())
            return;
        watcher.stop();
        grid().setCurrentGridRow(2);
        if (input == 0)
            QTest::keyClicks(c().txtNumber, QStringLiteral("t200c\r"));
        else if (input == 1)
            station().lookupInput().onGridClick();
        else
            station().lookupInput().onResetClick();
    });
    watcher.start(0);
    queue().onPrintNowClick();
    QCOMPARE(pdfs(), 4); // the run went on in the background
    QCOMPARE(c().txtNumber->text(), input == 2 ? QString() : QStringLiteral("T200C"));
    QCOMPARE(c().lstExams->entryCount(), input == 2 ? 0 : 2);
    QCOMPARE(c().lstExams->checklistModel(), &station().checklist());
}

void QueueCycleTest::tickRestartsTheTimersAsTheBoxSays_data() {
    QTest::addColumn<bool>("untickDuringRun");
    QTest::newRow("box stays ticked") << false;
    QTest::newRow("box unticked during the run") << true;
}

void QueueCycleTest::tickRestartsTheTimersAsTheBoxSays() {
    QFETCH(bool, untickDuringRun);
    QVERIFY(c().vkchkAutoPrintRequests->isChecked());
    refresh();
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

    // Print Now leaves the timers as they are.
    c().vkchkAutoPrintRequests->setChecked(false);
    station().onAutoPrintBoxClick();
    queue().onPrintNowClick();
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(!c().tmrAutoPrint->isActive());
}

void QueueCycleTest::noRunInsideARunOrALookup() {
    refresh();
    // Print Now and a tick that fall due inside a run are dropped.
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        queue().onPrintNowClick();
        station().onAutoPrintTick();
        QVERIFY(c().tmrCheckRequests->isActive()); // the dropped tick touched no timer
    });
    queue().onPrintNowClick();
    QCOMPARE(ran, 1);
    QCOMPARE(pdfs(), 4);
    QCOMPARE(logged().size(), 7);

    // Inside a manual lookup no run starts either.
    m_world->lab().addRequest(
        request(QStringLiteral("T400C"), 1, {item(QStringLiteral("ESR"), "B400")}));
    refresh();
    QTimer::singleShot(0, this, [&] {
        ++ran;
        queue().onPrintNowClick();
        station().onAutoPrintTick();
    });
    c().txtNumber->setText(QStringLiteral("T200C"));
    station().lookupInput().onNumberEnter();
    QCOMPARE(ran, 2);
    QCOMPARE(pdfs(), 4);
    QVERIFY(!rowIsMarked(grid(), 1));
}

void QueueCycleTest::aLookupsBoxDoesNotHoldRunsBack() {
    refresh();
    // "Sample not found!" waits for a person; a tick while it is up prints, leaving the window.
    m_fixture->messages.onShow = [this](const QString&) { station().onAutoPrintTick(); };
    c().txtNumber->setText(QStringLiteral("T999C"));
    station().lookupInput().onNumberEnter();
    QCOMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("Sample not found!")});
    QCOMPARE(pdfs(), 4);
    QCOMPARE(c().txtNumber->text(), QString());
    QCOMPARE(c().lstExams->entryCount(), 0); // the window shows no run's request
}

void QueueCycleTest::refreshPressDuringARunWaitsForIt() {
    refresh();
    grid().appendRow({QStringLiteral("2020-01-01 08:00:00"), QStringLiteral("OLD")});
    station().marks().MarkRowPrinted(4);
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        refresh();
        QCOMPARE(grid().rows(), 5); // not cut under the run
        QVERIFY(queue().refreshDeferred());
    });
    queue().onPrintNowClick();
    QCOMPARE(ran, 1);
    QCOMPARE(pdfs(), 4);
    // The press ran at the end of the run: rebuilt, the marks back from the log.
    QVERIFY(!queue().refreshDeferred());
    QCOMPARE(gridNumbers(grid()), (QStringList{"T300C", "T200C", "T100C"}));
    for (int row = 1; row <= 3; ++row)
        QVERIFY(rowIsMarked(grid(), row));
}

void QueueCycleTest::refreshPressDuringAPrintJobWaitsForIt() {
    refresh();
    c().txtNumber->setText(QStringLiteral("T200C"));
    station().lookupInput().onNumberEnter();
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        refresh();
        QVERIFY(queue().refreshDeferred()); // not run inside the job, which holds its label
    });
    c().cmdGenerate->click();
    QCOMPARE(ran, 1);
    QVERIFY(!queue().refreshDeferred()); // ran the moment the job ended
    QVERIFY(rowIsMarked(grid(), 2));
}

QTEST_MAIN(QueueCycleTest)
#include "tst_queue_cycle.moc"

void QueueCycleTest::aStandbyPrintsOnlyOnceItTakesTheLease() {
    FileLease holder(m_world->labPath(), QStringLiteral("lab"));
    QVERIFY(holder.take(1));
    holder.writeNote({QStringLiteral("bench 9"), 1, 0});
    for (const auto& [key, value] : {std::pair{"PrintLease", "lab"}, {"ChangeProbeSeconds", "5"}})
        m_world->storeSetting(QStringLiteral("Wrenfold"), QStringLiteral("LabBarcodes"),
                              QLatin1String(key), QLatin1String(value));
    m_fixture.reset(); // one connection at a time
    m_fixture = std::make_unique<StationFixture>(*m_world);
    QVERIFY(station().show());
    station().labelPrinting().setTemplatePath(m_world->writePdfTemplate());
    QCOMPARE(station().notices().recent().last(),
             QStringLiteral("automatic printing is done by bench 9"));
    auto* standby = station().findChild<StandbyControls*>();
    QVERIFY(standby);
    standby->onProbeTick(); // the list fills, but only the holder prints automatically
    QCOMPARE(gridNumbers(grid()), (QStringList{"T300C", "T200C", "T100C"}));
    station().onAutoPrintTick();
    QCOMPARE(pdfs(), 0);
    holder.release(); // the holder ends: the next check takes over and prints at once
    standby->onLeaseTick();
    QCOMPARE(pdfs(), 4);
    m_world->lab().addRequest(
        request(QStringLiteral("T400C"), 1, {item(QStringLiteral("UA"), "B400")}));
    standby->onProbeTick();
    QCOMPARE(pdfs(), 5);
    QVERIFY(!holder.take(2));
    // A rival supersedes this station (as after its stop) during a run: the request in hand
    // prints, the next does not.
    for (const char* number : {"T500C", "T600C"})
        m_world->lab().addRequest(
            request(QLatin1String(number), 1, {item(QStringLiteral("UA"), number)}));
    refresh();
    qint64 now = 0;
    PrintLease rival(std::make_unique<FileLease>(m_world->labPath(), QStringLiteral("lab")),
                     QStringLiteral("lab"), QStringLiteral("bench 9"), [&now] { return now; });
    QTimer rivalry; // inside the run's yields, once its first request printed
    connect(&rivalry, &QTimer::timeout, this, [&] {
        if (pdfs() < 6)
            return;
        rivalry.stop();
        QVERIFY(!rival.poll());
        now += PrintLease::staleMs;
        QVERIFY(rival.poll());
    });
    rivalry.start(0);
    station().onAutoPrintTick();
    QCOMPARE(pdfs(), 6);
    QVERIFY(!standby->mayPrintAutomatically());
}
