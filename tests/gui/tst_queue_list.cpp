#include "StationTestSupport.h"
#include "TestData.h"
#include "app/DateTimeText.h"
#include "labdb/LabDbBuilder.h"
#include "labels/LabelPrinting.h"
#include "queue/PrintLog.h"
#include "queue/PrintedMarks.h"
#include "queue/RequestListModel.h"
#include "station/LookupInput.h"
#include "station/QueueControls.h"
#include "station/RequestGrid.h"
#include "station/Station.h"
#include "station/StationNotices.h"
#include "station/StationWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

using namespace TestData;

// The recent request list over a real lab database file.
class QueueListTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void rowHoldsTheFirstExamRowAndAllExams();
    void requestWithoutExamRowsIsTriedAgain();
    void oneRowPerExactNumber();
    void thirdTickAppendsAndRefreshRebuilds();
    void loggedRequestIsMarkedAtOnce();
    void failedRefreshKeepsRowsAndRestoresTheGrid();
    void aRequestWithABadDateFailsAlone();
    void aRequestEnteringBelowTheNewestPageIsListed();
    void aBadDateAtAPageEndDoesNotEndTheCatchUp();
    void fullGridRefusesNewRows();
    void refreshPressInsideARefreshWaitsForIt();
    void refreshTickInsideARefreshIsDropped();
    void aLookupsBoxWaitsForTheRefreshItCameIn();

private:
    Station& station() { return m_fixture->station(); }
    RequestGrid& grid() { return *station().window().controls().Grid1; }
    QueueControls& recent() { return station().queue(); }
    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            station().onRefreshTick();
    }
    void verifyGridIdle() {
        QVERIFY(grid().isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }

    std::unique_ptr<TestWorld> m_world;
    std::unique_ptr<StationFixture> m_fixture;
};

void QueueListTest::init() {
    m_world = std::make_unique<TestWorld>();
    LabDbBuilder& lab = m_world->createLab();
    lab.addRequest(request(QStringLiteral("T100C"), 30, {item(QStringLiteral("CBC"), "B100")}));
    lab.addRequest(request(QStringLiteral("T200C"), 20, {item(QStringLiteral("FBS"), "B200")}));
    m_fixture = std::make_unique<StationFixture>(*m_world);
    QVERIFY(station().show());
    station().labelPrinting().setTemplatePath(m_world->writePdfTemplate());
}

void QueueListTest::cleanup() {
    m_fixture.reset();
    m_world.reset();
}

void QueueListTest::rowHoldsTheFirstExamRowAndAllExams() {
    LabRequest r = request(QStringLiteral("T300C"), 10,
                           {item(QStringLiteral("UA"), "B301"), item(QStringLiteral("CBC"), "B302"),
                            item(QStringLiteral("ESR"), "B302")});
    r.patient.lastName = QStringLiteral("DE\tLA"); // a tab inside a value keeps its column
    const QStringList requestNums = m_world->lab().addRequest(r);

    recent().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T300C", "T200C", "T100C"}));
    const QStringList expected{DateTimeText::format(r.transDate),
                               "T300C",
                               "DE\tLA, JUAN SANTOS",
                               "UA, CBC, ESR",
                               "HN-T300C",
                               "ID-T300C",
                               requestNums.first(),
                               QString(),
                               QString()};
    for (int column = 0; column < RequestListModel::ColumnCount; ++column)
        QCOMPARE(grid().cellText(1, column), expected.at(column));
    QVERIFY(!rowIsMarked(grid(), 1));
    verifyGridIdle();
}

void QueueListTest::requestWithoutExamRowsIsTriedAgain() {
    m_world->lab().addRequest(
        request(QStringLiteral("T400C"), 5, {itemWithoutExamRow(QStringLiteral("PAP"), "B400")}));
    recent().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T200C", "T100C"}));

    // The request gains an item with an exam row: the next timer refresh adds it.
    m_world->lab().addRequest(
        request(QStringLiteral("T400C"), 5, {item(QStringLiteral("CBC"), "B401")}));
    ticks(QueueControls::ticksPerRefresh);
    QCOMPARE(gridNumbers(grid()), (QStringList{"T200C", "T100C", "T400C"}));
    QCOMPARE(grid().cellText(3, 3), QStringLiteral("CBC"));
}

void QueueListTest::oneRowPerExactNumber() {
    LabDbBuilder& lab = m_world->lab();
    // The same number at two transaction times, and numbers that differ only in case or blanks.
    lab.addRequest(request(QStringLiteral("T100C"), 3, {item(QStringLiteral("UA"), "B101")}));
    lab.addRequest(request(QStringLiteral("t100c"), 2, {item(QStringLiteral("UA"), "B102")}));
    lab.addRequest(request(QStringLiteral("T100C "), 1, {item(QStringLiteral("UA"), "B103")}));
    recent().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T100C ", "t100c", "T100C", "T200C"}));
    QCOMPARE(grid().cellText(3, 3), QStringLiteral("CBC, UA"));
}

void QueueListTest::thirdTickAppendsAndRefreshRebuilds() {
    ticks(2);
    QCOMPARE(grid().rows(), 1);
    QCOMPARE(recent().refreshTickCount(), 2);
    ticks(1);
    QCOMPARE(recent().refreshTickCount(), 0);
    QCOMPARE(gridNumbers(grid()), (QStringList{"T200C", "T100C"}));

    // A marked row and a row whose request has left the window survive timer refreshes.
    station().marks().MarkRowPrinted(2);
    grid().appendRow({QStringLiteral("2020-01-01 08:00:00"), QStringLiteral("OLD")});
    m_world->lab().addRequest(
        request(QStringLiteral("T500C"), 1, {item(QStringLiteral("CBC"), "B500")}));
    ticks(QueueControls::ticksPerRefresh);
    QCOMPARE(gridNumbers(grid()), (QStringList{"T200C", "T100C", "OLD", "T500C"}));
    QVERIFY(rowIsMarked(grid(), 2));

    // Refresh rebuilds from the query, newest first; the mark had no log entry, so it is gone.
    recent().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T500C", "T200C", "T100C"}));
    for (int row = 1; row < grid().rows(); ++row)
        QVERIFY(!rowIsMarked(grid(), row));
}

void QueueListTest::loggedRequestIsMarkedAtOnce() {
    recent().onRefreshClick();
    const QString transDate = grid().cellText(2, 0);
    station().printLog().CheckPrintLog(QStringLiteral("T100C"), transDate, true, true);
    recent().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T200C", "T100C"}));
    QVERIFY(!rowIsMarked(grid(), 1));
    QVERIFY(rowIsMarked(grid(), 2));

    // A day file that cannot be read holds a station fault; the refresh lists every row, and the
    // logged one is marked before printing resumes, never printed again unread.
    const QString dayFile = station().printLog().dayFilePath(transDate);
    QVERIFY(QFile::rename(dayFile, dayFile + QStringLiteral(".kept")) && QDir().mkdir(dayFile));
    recent().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T200C", "T100C"}));
    QVERIFY(m_fixture->messages.shown.isEmpty());
    QVERIFY(!station().core().faults.clearIfMended());
    QVERIFY(QDir().rmdir(dayFile) && QFile::rename(dayFile + QStringLiteral(".kept"), dayFile));
    QVERIFY(station().core().faults.clearIfMended());
    QVERIFY(rowIsMarked(grid(), 2));
}

void QueueListTest::failedRefreshKeepsRowsAndRestoresTheGrid() {
    // The connection goes while the first new row is added.
    QTimer::singleShot(0, this, [] {
        QSqlDatabase::database(QString(DbConnection::connectionName), false).close();
    });
    recent().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), QStringList{QStringLiteral("T200C")});
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    QVERIFY(m_fixture->messages.texts().first().startsWith(
        QStringLiteral("The list of recent requests could not be refreshed:\n")));
    QCOMPARE(m_fixture->messages.shown.first().icon, Messages::Icon::Warning);
    verifyGridIdle();

    // A timer refresh fails the same way, unattended: told in the status line, no box waits.
    ticks(QueueControls::ticksPerRefresh);
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    QVERIFY(station().notices().recent().last().startsWith(
        QStringLiteral("The list of recent requests could not be refreshed:\n")));
    QCOMPARE(recent().refreshTickCount(), 0);
    verifyGridIdle();
}

void QueueListTest::aRequestWithABadDateFailsAlone() {
    // Its text sorts as the newest: it comes first, and the requests after it still come.
    m_world->lab().addRequest(
        request(QStringLiteral("T300C"), 10, {item(QStringLiteral("CBC"), "B300")}));
    QSqlQuery bad(QSqlDatabase::database(QString(DbConnection::connectionName), false));
    QVERIFY(bad.exec(QStringLiteral(
        "UPDATE tbLabMaster SET TransDate = '2099-12-09 99:00:00' WHERE RefNum = 'T300C'")));
    recent().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T300C", "T200C", "T100C"}));
    const RequestListModel& list = station().requestList();
    QCOMPARE(list.state(0), RequestListModel::State::Failed);
    QVERIFY(list.failure(0).contains(QStringLiteral("is not a date")));
    QVERIFY(m_fixture->messages.shown.isEmpty());
    verifyGridIdle();
}

// Entered back-dated, or set to waiting late: older than the newest 50 listed requests.
void QueueListTest::aRequestEnteringBelowTheNewestPageIsListed() {
    for (int i = 0; i < 60; ++i)
        m_world->lab().addRequest(
            request(QStringLiteral("N%1").arg(i), 1 + i % 9,
                    {item(QStringLiteral("CBC"), QStringLiteral("B9%1").arg(i))}));
    recent().onRefreshClick();
    QCOMPARE(grid().rows(), 63);
    m_world->lab().addRequest(
        request(QStringLiteral("LATE"), 100, {item(QStringLiteral("CBC"), "B800")}));
    ticks(QueueControls::ticksPerRefresh);
    QCOMPARE(gridNumbers(grid()).last(), QStringLiteral("LATE"));
}

// The oldest row of the first full page has a date that does not parse: it fails alone, and the
// older requests are still listed, paging on from the last good date.
void QueueListTest::aBadDateAtAPageEndDoesNotEndTheCatchUp() {
    for (int i = 0; i < 60; ++i)
        m_world->lab().addRequest(request(QStringLiteral("N%1").arg(i, 2, 10, QLatin1Char('0')),
                                          40 + i, {item(QStringLiteral("CBC"), "B9")}));
    QSqlQuery bad(QSqlDatabase::database(QString(DbConnection::connectionName), false));
    QVERIFY(
        bad.exec(QStringLiteral("UPDATE tbLabMaster SET TransDate = (SELECT TransDate FROM "
                                "tbLabMaster WHERE RefNum = 'N48') || '!' WHERE RefNum = 'N47'")));
    recent().onRefreshClick();
    QCOMPARE(grid().rows(), 63);
    QCOMPARE(gridNumbers(grid()).last(), QStringLiteral("N59"));
}

void QueueListTest::fullGridRefusesNewRows() {
    grid().setUpdatesEnabled(false);
    for (int i = 0; i < RequestListModel::maxRows; ++i)
        QVERIFY(grid().appendRow({QString(), QString::number(i)}));
    grid().setUpdatesEnabled(true);
    QVERIFY(!grid().appendRow({QString(), QStringLiteral("one more")}));

    ticks(QueueControls::ticksPerRefresh);
    QCOMPARE(grid().rows(), RequestListModel::maxRows + 1);
    QVERIFY(m_fixture->messages.shown.isEmpty());
    QVERIFY(station().notices().recent().last().contains(QStringLiteral("is full")));
    verifyGridIdle();

    // Full of printed rows, as after months unattended: they make room, the others stay.
    station().marks().MarkRowPrinted(1);
    station().marks().MarkRowPrinted(3);
    m_world->lab().addRequest(
        request(QStringLiteral("T300C"), 1, {item(QStringLiteral("CBC"), "B300")}));
    ticks(QueueControls::ticksPerRefresh);
    const QStringList numbers = gridNumbers(grid());
    QCOMPARE(numbers.mid(0, 2), (QStringList{"1", "3"}));
    QCOMPARE(numbers.mid(numbers.size() - 2), (QStringList{"T300C", "T200C"}));
    QCOMPARE(grid().rows(), RequestListModel::maxRows + 1); // full again: T100C waits

    recent().onRefreshClick();
    QCOMPARE(gridNumbers(grid()), (QStringList{"T300C", "T200C", "T100C"}));
}

void QueueListTest::refreshPressInsideARefreshWaitsForIt() {
    grid().appendRow({QStringLiteral("2020-01-01 08:00:00"), QStringLiteral("OLD")});
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        const int rows = grid().rows();
        recent().onRefreshClick();
        // Not cut under the running refresh, which is still working.
        QCOMPARE(grid().rows(), rows);
        QCOMPARE(grid().cellText(1, 1), QStringLiteral("OLD"));
        QVERIFY(!grid().isEnabled());
        QVERIFY(recent().refreshDeferred());
    });
    ticks(QueueControls::ticksPerRefresh);
    QCOMPARE(ran, 1);
    // The press ran when the timer refresh ended: the list is rebuilt.
    QVERIFY(!recent().refreshDeferred());
    QCOMPARE(gridNumbers(grid()), (QStringList{"T200C", "T100C"}));
    verifyGridIdle();
}

void QueueListTest::refreshTickInsideARefreshIsDropped() {
    ticks(2);
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        const int rows = grid().rows();
        ticks(1);
        QCOMPARE(grid().rows(), rows); // no second refresh ran inside
        QVERIFY(!grid().isEnabled());
        QCOMPARE(recent().refreshTickCount(), 0);
    });
    recent().onRefreshClick();
    QCOMPARE(ran, 1);
    QCOMPARE(gridNumbers(grid()), (QStringList{"T200C", "T100C"}));
    QVERIFY(m_fixture->messages.shown.isEmpty());
    verifyGridIdle();
}

// "Sample not found!" for a lookup made inside a timer refresh's yield opens once the refresh has
// ended: a box up inside it would keep the refresh open and drop every later refresh tick.
void QueueListTest::aLookupsBoxWaitsForTheRefreshItCameIn() {
    ticks(2);
    bool insideRefresh = true;
    m_fixture->messages.onShow = [&](const QString&) {
        insideRefresh = station().activity().isRunning(StationActivity::Kind::Refresh);
    };
    QTimer::singleShot(0, this, [&] {
        station().window().controls().txtNumber->setText(QStringLiteral("T999C"));
        station().lookupInput().onNumberEnter();
    });
    ticks(1);
    QTRY_COMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("Sample not found!")});
    QVERIFY(!insideRefresh);
}

QTEST_MAIN(QueueListTest)
#include "tst_queue_list.moc"
