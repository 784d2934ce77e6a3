#include "queue/RecentRequests.h"

#include "app/Failure.h"
#include "app/LabDatabase.h"
#include "queue/PrintedMarks.h"
#include "station/Messages.h"
#include "station/RequestGrid.h"
#include "station/Station.h"
#include "station/StationActivity.h"
#include "station/StationWindow.h"

#include <QApplication>
#include <QPushButton>

namespace {

// Hourglass and a disabled grid for as long as a refresh runs, whichever way it ends. The grid
// is painted once at the end rather than at every yield.
class BusyGrid {
public:
    explicit BusyGrid(RequestGrid& grid)
        : m_grid(grid) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_grid.setEnabled(false);
        m_grid.setUpdatesEnabled(false);
    }
    ~BusyGrid() {
        m_grid.setUpdatesEnabled(true);
        m_grid.setEnabled(true);
        QApplication::restoreOverrideCursor();
    }
    BusyGrid(const BusyGrid&) = delete;
    BusyGrid& operator=(const BusyGrid&) = delete;

private:
    RequestGrid& m_grid;
};

} // namespace

RecentRequests::RecentRequests(Station& station, QObject* parent)
    : QObject(parent)
    , m_station(station) {
    connect(station.window().controls().cmdRefresh, &QPushButton::clicked, this,
            &RecentRequests::onRefreshClick);
}

void RecentRequests::LoadRecentRequests() {
    StationActivity& activity = m_station.activity();
    const StationActivity::Scope running(activity, StationActivity::Kind::Refresh);
    const BusyGrid busy(*m_station.window().controls().Grid1);

    const RowSet recent = m_station.lab().recentRequests();
    for (int i = 0; i < recent.rowCount(); ++i) {
        const QString refNum = recent.value(i, QStringLiteral("RefNum"));
        // A number returned twice (two transaction times) has its row after the first time.
        if (m_station.marks().rowOf(refNum) == 0)
            AddRequestRow(refNum);
        QCoreApplication::processEvents();
        if (activity.stopRequested())
            return;
    }
}

void RecentRequests::AddRequestRow(const QString& refNum) {
    const RowSet exams = m_station.lab().requestExams(refNum);
    if (exams.isEmpty())
        return; // no exam rows yet: the next refresh asks again

    QStringList examNames;
    examNames.reserve(exams.rowCount());
    for (int i = 0; i < exams.rowCount(); ++i)
        examNames.append(exams.value(i, QStringLiteral("Exam")));
    const QString transDate = exams.value(0, QStringLiteral("TransDate"));
    const QStringList values{transDate,
                             exams.value(0, QStringLiteral("RefNum")),
                             exams.value(0, QStringLiteral("PatientName")),
                             examNames.join(QStringLiteral(", ")),
                             exams.value(0, QStringLiteral("HospNum")),
                             exams.value(0, QStringLiteral("IDNum")),
                             exams.value(0, QStringLiteral("RequestNum"))};
    RequestGrid& grid = *m_station.window().controls().Grid1;
    if (!grid.appendRow(values)) {
        throw Failure(QStringLiteral("The request list is full: it holds %1 requests, the most it "
                                     "can. Press Refresh to start it again.")
                          .arg(RequestGrid::maxDataRows));
    }
    QCoreApplication::processEvents();
    m_station.marks().MarkIfLogged(refNum, transDate);
}

void RecentRequests::refresh(bool emptyFirst) {
    const StationActivity::Scope running(m_station.activity(), StationActivity::Kind::Refresh);
    bool failed = false;
    QString failure;
    try {
        if (emptyFirst)
            m_station.window().controls().Grid1->setRows(1);
        LoadRecentRequests();
    } catch (const Failure& error) {
        failed = true;
        failure = error.description();
    } catch (const std::exception& error) {
        failed = true;
        failure = QString::fromLocal8Bit(error.what());
    }
    if (failed) {
        m_station.messages().show(
            QStringLiteral("The list of recent requests could not be refreshed:\n") + failure,
            Messages::Icon::Warning);
    }
}

bool RecentRequests::listIsWalked() const {
    const StationActivity& activity = m_station.activity();
    return activity.isRunning(StationActivity::Kind::Refresh) ||
           activity.isRunning(StationActivity::Kind::Cycle);
}

void RecentRequests::onRefreshClick() {
    if (m_station.activity().stopRequested())
        return;
    if (listIsWalked()) {
        // Emptying the grid now would pull rows from under the walk: run the press after it.
        m_refreshDeferred = true;
        return;
    }
    refresh(true);
    runDeferredRefresh();
}

void RecentRequests::onRefreshTick() {
    if (m_station.activity().stopRequested())
        return;
    if (++m_refreshTickCount < ticksPerRefresh)
        return;
    m_refreshTickCount = 0;
    if (m_station.activity().isRunning(StationActivity::Kind::Refresh))
        return; // dropped: the running refresh does the same work
    refresh(false);
    runDeferredRefresh();
}

void RecentRequests::runDeferredRefresh() {
    while (m_refreshDeferred && !listIsWalked() && !m_station.activity().stopRequested()) {
        m_refreshDeferred = false;
        refresh(true);
    }
}
