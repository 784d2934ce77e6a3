#include "station/QueueControls.h"

#include "app/Failure.h"
#include "app/StationActivity.h"
#include "app/StationLog.h"
#include "lookup/CurrentRequest.h"
#include "lookup/ExamChecklistModel.h"
#include "queue/Notices.h"
#include "queue/RecentRequests.h"
#include "station/CheckList.h"
#include "station/LookupPanel.h"
#include "station/Messages.h"
#include "station/PrintCommand.h"
#include "station/RequestGrid.h"
#include "station/StationFrame.h"
#include "station/StationTimers.h"
#include "station/StationWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
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

QString describe(const std::exception& error) {
    if (const auto* failure = dynamic_cast<const Failure*>(&error))
        return failure->description();
    return QString::fromLocal8Bit(error.what());
}

} // namespace

QueueControls::QueueControls(const StationControls& controls, RecentRequests& recent,
                             AutoPrintCycle& cycle, LookupPanel& lookup,
                             ExamChecklistModel& manualChecklist, PrintCommand& print,
                             StationTimers& timers, Messages& messages, Notices& notices,
                             StationActivity& activity, QObject* parent)
    : QObject(parent)
    , m_controls(controls)
    , m_recent(recent)
    , m_cycle(cycle)
    , m_lookup(lookup)
    , m_manualChecklist(manualChecklist)
    , m_print(print)
    , m_timers(timers)
    , m_messages(messages)
    , m_notices(notices)
    , m_activity(activity) {
    connect(controls.cmdRefresh, &QPushButton::clicked, this, &QueueControls::onRefreshClick);
    connect(controls.cmdPrintNow, &QPushButton::clicked, this, &QueueControls::onPrintNowClick);
    connect(&print, &PrintCommand::waitsForAutomaticRun, this,
            [this] { m_cycle.endAfterCurrentRequest(); });
    connect(&print, &PrintCommand::jobEnded, this, &QueueControls::runDeferredRefresh);
    m_cycle.setDisplay(this);
}

void QueueControls::refresh(bool emptyFirst, bool byTimer) {
    const StationActivity::Scope running(m_activity, StationActivity::Kind::Refresh);
    QString failure;
    {
        const BusyGrid busy(*m_controls.Grid1);
        try {
            if (emptyFirst)
                m_controls.Grid1->setRows(1);
            m_recent.LoadRecentRequests();
        } catch (const std::exception& error) {
            failure = describe(error);
        }
    }
    if (failure.isEmpty())
        return;
    const QString text =
        QStringLiteral("The list of recent requests could not be refreshed:\n") + failure;
    // The guard is held while the message is up, so no second refresh stacks another on it.
    if (byTimer) {
        m_notices.notice(text);
    } else {
        qCWarning(lcQueue).noquote() << text;
        m_messages.show(text, Messages::Icon::Warning);
    }
}

bool QueueControls::listIsWalked() const {
    // A print job counts too: a refresh inside its yield would run, and open its box, while the
    // job holds its label and its recording.
    return m_activity.isRunning(StationActivity::Kind::Refresh) ||
           m_activity.isRunning(StationActivity::Kind::Cycle) ||
           m_activity.isRunning(StationActivity::Kind::Print);
}

void QueueControls::onRefreshClick() {
    if (m_activity.stopRequested())
        return;
    if (listIsWalked()) {
        // Emptying the list now would pull rows from under the walk, or run inside a print job:
        // run the press after it.
        m_refreshDeferred = true;
        return;
    }
    refresh(true, false);
    runDeferredRefresh();
}

void QueueControls::onRefreshTick() {
    if (m_activity.stopRequested())
        return;
    if (++m_refreshTickCount < ticksPerRefresh)
        return;
    m_refreshTickCount = 0;
    if (m_activity.isRunning(StationActivity::Kind::Refresh))
        return; // dropped: the running refresh does the same work
    refresh(false, true);
    runDeferredRefresh();
}

void QueueControls::runDeferredRefresh() {
    while (m_refreshDeferred && !listIsWalked() && !m_activity.stopRequested()) {
        m_refreshDeferred = false;
        refresh(true, false);
    }
}

void QueueControls::onPrintNowClick() {
    if (m_activity.isJobRunning() || m_activity.stopRequested())
        return; // dropped: the running job or run ends first; press again
    runCycle(false);
}

void QueueControls::onAutoPrintTick() {
    if (m_activity.isJobRunning() || m_activity.stopRequested())
        return; // dropped: the next tick comes a minute later
    m_timers.EnableTimers(false);
    runCycle(true);
}

void QueueControls::runCycle(bool byTimer) {
    const AutoPrintCycle::Summary summary = m_cycle.PrintPendingRequests(byTimer);
    if (m_activity.stopRequested())
        return;
    // An unattended station keeps going: the next tick tries again.
    if (byTimer)
        m_timers.EnableTimers(true);
    if (!summary.stationFault.isEmpty()) {
        m_notices.notice(QStringLiteral("Automatic printing stopped: %1\nIt prints again once the "
                                        "fault is mended.")
                             .arg(summary.stationFault));
        m_stoppedShown = true;
    } else if (summary.printed > 0 || summary.failed > 0) {
        m_notices.notice(QStringLiteral("Automatic printing: %1 requests printed (%2 labels), "
                                        "%3 failed.")
                             .arg(summary.printed)
                             .arg(summary.labels)
                             .arg(summary.failed));
        m_stoppedShown = false;
    } else if (m_stoppedShown) {
        // A run with nothing to print must not leave "stopped" up after the fault is mended.
        m_notices.notice(QStringLiteral("Automatic printing runs again: the fault is mended."));
        m_stoppedShown = false;
    }
    runDeferredRefresh();
    m_print.runWaiting();
}

bool QueueControls::windowIsIdle() const {
    return !m_lookup.isLoaded() && m_controls.fraSearch->isEnabled() &&
           m_controls.txtNumber->text().isEmpty();
}

void QueueControls::showRequest(const CurrentRequest& request, ExamChecklistModel& entries) {
    if (!m_showing && !windowIsIdle())
        return;
    const StationControls& c = m_controls;
    m_showing = true;
    // The number box stays enabled, only read-only, so a scan that begins now reaches it.
    c.txtNumber->setReadOnly(true);
    c.fraExams->setEnabled(false);
    c.txtNumber->setText(request.LookedUpNumber);
    c.lblPatientName->setText(request.PatientName);
    c.lstExams->setChecklistModel(&entries);
}

void QueueControls::requestDone() {
    if (!m_showing)
        return;
    m_showing = false;
    m_controls.txtNumber->setReadOnly(false);
    m_controls.lstExams->setChecklistModel(&m_manualChecklist);
    m_lookup.ResetInput(true, false, true, true);
}

bool QueueControls::onRequestsChanged(bool print) {
    if (m_activity.stopRequested() || listIsWalked() || m_activity.isJobRunning())
        return false;
    refresh(false, true);
    runDeferredRefresh();
    if (print && m_controls.vkchkAutoPrintRequests->isChecked())
        onAutoPrintTick();
    return true;
}
