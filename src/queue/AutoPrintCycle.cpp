#include "queue/AutoPrintCycle.h"

#include "app/Failure.h"
#include "labels/PrintCommand.h"
#include "lookup/RequestLookup.h"
#include "queue/PrintLog.h"
#include "queue/PrintedMarks.h"
#include "queue/RecentRequests.h"
#include "station/Messages.h"
#include "station/RequestGrid.h"
#include "station/Station.h"
#include "station/StationActivity.h"
#include "station/StationWindow.h"

#include <QLineEdit>
#include <QPushButton>

AutoPrintCycle::AutoPrintCycle(Station& station, QObject* parent)
    : QObject(parent)
    , m_station(station) {
    connect(station.window().controls().cmdPrintNow, &QPushButton::clicked, this,
            &AutoPrintCycle::onPrintNowClick);
}

void AutoPrintCycle::PrintPendingRequests() {
    StationActivity& activity = m_station.activity();
    const StationActivity::Scope running(activity, StationActivity::Kind::Cycle);
    const RequestGrid& grid = *m_station.window().controls().Grid1;
    // Rows added while the run goes on wait for the next run.
    const int lastRow = grid.rows() - 1;
    for (int row = 1; row <= lastRow && row < grid.rows(); ++row) {
        if (activity.stopRequested())
            return;
        if (grid.cellText(row, PrintedMarks::printedColumn).isEmpty()) {
            try {
                if (!printRow(row))
                    return;
            } catch (const Failure& failure) {
                throw Failure(QStringLiteral("Automatic printing stopped at request %1: %2")
                                  .arg(grid.cellText(row, 1), failure.description()));
            }
            if (activity.stopRequested())
                return;
        }
        m_station.marks().MarkRowPrinted(row);
    }
}

bool AutoPrintCycle::printRow(int row) {
    const StationControls& c = m_station.window().controls();
    const RequestGrid& grid = *c.Grid1;
    // The day's log gets the cycle's entry before the labels are printed, unless it has one.
    m_station.printLog().CheckPrintLog(grid.cellText(row, 1), grid.cellText(row, 0), true, false);
    c.txtNumber->setText(grid.cellText(row, 1));
    // A request that is not found goes on to be marked; a lookup or print that failed ends the
    // run at this row, unmarked, so the next run prints it.
    if (m_station.lookup().LookupRequest() == LookupOutcome::Failed)
        return false;
    return m_station.printCommand().run();
}

void AutoPrintCycle::run(bool fromTick) {
    {
        // Held while a failure is shown, so no second run starts behind the message.
        const StationActivity::Scope running(m_station.activity(), StationActivity::Kind::Cycle);
        bool failed = false;
        QString failure;
        try {
            PrintPendingRequests();
        } catch (const Failure& error) {
            failed = true;
            failure = error.description();
        } catch (const std::exception& error) {
            failed = true;
            failure = QStringLiteral("Automatic printing stopped: ") +
                      QString::fromLocal8Bit(error.what());
        }
        // An unattended station keeps going: the next tick tries again.
        if (fromTick && !m_station.activity().stopRequested())
            m_station.EnableTimers(true);
        if (failed)
            m_station.messages().show(failure, Messages::Icon::Warning);
    }
    m_station.recentRequests().runDeferredRefresh();
}

void AutoPrintCycle::onPrintNowClick() {
    if (m_station.activity().isJobRunning() || m_station.activity().stopRequested())
        return; // dropped: the running job or run ends first; press again
    run(false);
}

void AutoPrintCycle::onAutoPrintTick() {
    if (m_station.activity().isJobRunning() || m_station.activity().stopRequested())
        return; // dropped: the next tick comes a minute later
    m_station.EnableTimers(false);
    run(true);
}
