#include "queue/AutoPrintCycle.h"

#include "app/Failure.h"
#include "app/LabDatabase.h"
#include "app/StationActivity.h"
#include "app/StationLog.h"
#include "lookup/ExamChecklistModel.h"
#include "lookup/RequestFinder.h"
#include "queue/LabelLedger.h"
#include "queue/Notices.h"
#include "queue/PrintProgress.h"
#include "queue/PrintRoad.h"
#include "queue/PrintedMarks.h"
#include "queue/RequestListModel.h"
#include "queue/StationFaults.h"

using End = PrintJobOutcome::End;

AutoPrintCycle::AutoPrintCycle(LabDatabase& lab, PrintRoad& road, RequestListModel& list,
                               PrintedMarks& marks, PrintProgress& progress, StationFaults& faults,
                               StationActivity& activity, Notices& notices)
    : m_lab(lab)
    , m_road(road)
    , m_list(list)
    , m_marks(marks)
    , m_progress(progress)
    , m_faults(faults)
    , m_activity(activity)
    , m_notices(notices)
    , m_entries(std::make_unique<ExamChecklistModel>()) {}

AutoPrintCycle::~AutoPrintCycle() = default;

AutoPrintCycle::Summary AutoPrintCycle::PrintPendingRequests(bool byTimer) {
    const StationActivity::Scope running(m_activity, StationActivity::Kind::Cycle);
    ++m_run;
    m_endEarly = false;
    m_added.startRun();
    m_owing.reset();
    m_byTimer = byTimer;
    Summary summary;
    qCInfo(lcQueue).noquote() << QStringLiteral("automatic run %1 (%2) over %3 rows")
                                     .arg(m_run)
                                     .arg(byTimer ? QStringLiteral("timer")
                                                  : QStringLiteral("Print Now"))
                                     .arg(m_list.rowCount());
    if (!m_faults.clearIfMended() || !m_road.reconcileBeforeRun(summary.stationFault)) {
        if (summary.stationFault.isEmpty())
            summary.stationFault = m_faults.reason();
        summary.stopped = true;
        return summary;
    }
    // Rows added while the run goes on wait for the next run.
    const int rows = m_list.rowCount();
    for (int row = 0; row < rows && row < m_list.rowCount(); ++row) {
        if (m_activity.stopRequested() || m_endEarly) {
            summary.stopped = true;
            break;
        }
        RequestListModel::State state = m_list.state(row);
        if (state == RequestListModel::State::Failed && byTimer &&
            !m_progress.retryDue(m_list.refNum(row), m_run))
            continue;
        if (state != RequestListModel::State::Printed) {
            // Another road (Print by hand, another station on the same folder) may have logged
            // the request since its row was marked: the print log decides, not the mark.
            const std::optional<bool> logged = isLogged(row, summary);
            if (!logged)
                continue;
            if (*logged)
                state = RequestListModel::State::Printed;
        }
        if (!summary.stationFault.isEmpty()) {
            summary.stopped = true;
            break;
        }
        const bool printed = state == RequestListModel::State::Printed;
        RowEnd end = RowEnd::StationFault;
        try {
            end = printed ? printAddedLabels(row, summary) : printRow(row, summary);
            // The fingerprint it is compared with later is taken after its print.
            if (!printed && end == RowEnd::Printed && takeFingerprints(summary))
                m_added.settled(m_list.refNum(row), true);
        } catch (const JournalFailure& failure) {
            summary.stationFault = failure.description();
            m_faults.raise(StationFaults::Source::Journal, failure.description(),
                           [&ledger = m_progress.ledger()] { ledger.check(); });
        }
        if (m_display)
            m_display->requestDone();
        if (end == RowEnd::StationFault || end == RowEnd::Stopped ||
            !summary.stationFault.isEmpty()) {
            summary.stopped = true;
            break;
        }
    }
    return summary;
}

std::optional<bool> AutoPrintCycle::isLogged(int row, Summary& summary) {
    try {
        return m_marks.MarkIfLogged(m_list.refNum(row), m_list.transDate(row));
    } catch (const RequestDataFailure& failure) {
        fail(row, failure.description());
        ++summary.failed;
    } catch (const Failure& failure) {
        // Printing without knowing what the log holds could print every request again. The
        // check is the same lookup, so it cannot pass while the day file stays unreadable.
        summary.stationFault = failure.description();
        m_faults.raise(StationFaults::Source::PrintLog, failure.description(),
                       [this, number = m_list.refNum(row), date = m_list.transDate(row)] {
                           m_marks.MarkIfLogged(number, date);
                       });
    }
    return std::nullopt;
}

std::optional<AutoPrintCycle::RowEnd> AutoPrintCycle::lookUp(int row, FoundRequest& found,
                                                             Summary& summary) {
    try {
        found = findRequest(m_lab, m_list.refNum(row), m_activity);
    } catch (const std::exception& error) {
        const auto* failure = dynamic_cast<const Failure*>(&error);
        const QString reason =
            failure ? failure->description() : QString::fromLocal8Bit(error.what());
        const QString fault = classify(reason);
        if (!fault.isEmpty()) {
            summary.stationFault = fault;
            return RowEnd::StationFault;
        }
        fail(row, reason);
        ++summary.failed;
        return RowEnd::Failed;
    }
    if (found.outcome == LookupOutcome::Failed)
        return RowEnd::Stopped;
    return std::nullopt;
}

bool AutoPrintCycle::takeFingerprints(Summary& summary) {
    if (m_added.fingerprintsTaken())
        return true;
    try {
        m_added.takeFingerprints(m_lab.requestFingerprints());
        return true;
    } catch (const std::exception& error) {
        const auto* failure = dynamic_cast<const Failure*>(&error);
        const QString reason =
            failure ? failure->description() : QString::fromLocal8Bit(error.what());
        m_added.noFingerprints();
        summary.stationFault = classify(reason);
        if (summary.stationFault.isEmpty())
            qCWarning(lcQueue).noquote()
                << QStringLiteral("printed requests not checked for added labels: %1").arg(reason);
        return false;
    }
}

AutoPrintCycle::RowEnd AutoPrintCycle::printAddedLabels(int row, Summary& summary) {
    const QString number = m_list.refNum(row);
    if (!takeFingerprints(summary))
        return summary.stationFault.isEmpty() ? RowEnd::Printed : RowEnd::StationFault;
    // Requests whose rows are unchanged and whose re-check is not due are not asked again,
    // unless the label journal says they still owe a label (also past the window).
    if (!m_owing)
        m_owing = m_progress.ledger().owingRequests();
    if (!m_added.needsLookup(number, !m_byTimer) && !m_owing->contains(number))
        return RowEnd::Printed;
    const int labels = summary.labels;
    const RowEnd end = lookUpAddedLabels(row, summary);
    if (end == RowEnd::Printed)
        m_added.settled(number, summary.labels > labels);
    else
        m_added.unsettled(number);
    return end;
}

AutoPrintCycle::RowEnd AutoPrintCycle::lookUpAddedLabels(int row, Summary& summary) {
    const QString number = m_list.refNum(row);
    LabelLedger& journal = m_progress.ledger();
    FoundRequest found;
    if (const std::optional<RowEnd> end = lookUp(row, found, summary))
        return *end;
    if (found.outcome != LookupOutcome::Loaded)
        return RowEnd::Printed; // gone since: nothing more of it to print
    const QStringList labels = PrintProgress::labelIds(found.request.Barcodes);
    if (!journal.ended(number)) {
        // Logged, but never by this station (another station, by hand elsewhere, an older
        // version, a lost journal): the print log rules, so its labels are taken as printed,
        // whatever this station printed of them before.
        m_progress.passedOver(number, labels);
        return RowEnd::Printed;
    }
    // Labels it did not have when it was logged, and those a failed or cut-off try left owed.
    const QStringList added = journal.owed(number, labels);
    if (added.isEmpty())
        return RowEnd::Printed;
    if (fenced())
        return RowEnd::Stopped;

    qCInfo(lcQueue).noquote()
        << QStringLiteral("request %1 was printed, but owes %2 labels it did not have then")
               .arg(number)
               .arg(added.size());
    m_list.markPending(row);
    m_entries->clear();
    for (int k = 0; k < found.entries.size(); ++k) {
        m_entries->appendEntry(found.entries.at(k));
        if (!found.request.Barcodes.value(k).isEmpty() &&
            added.contains(PrintProgress::labelId(found.request.Barcodes, k)))
            m_entries->setTicked(k, true);
    }
    return printFound(row, found, std::nullopt, summary);
}

AutoPrintCycle::RowEnd AutoPrintCycle::printRow(int row, Summary& summary) {
    const QString number = m_list.refNum(row);
    FoundRequest found;
    if (const std::optional<RowEnd> end = lookUp(row, found, summary))
        return *end;
    if (found.outcome != LookupOutcome::Loaded) {
        fail(row, QStringLiteral("Sample not found!"));
        ++summary.failed;
        return RowEnd::Failed;
    }
    if (fenced())
        return RowEnd::Stopped;

    m_entries->clear();
    for (const QString& entry : found.entries)
        m_entries->appendEntry(entry);
    m_entries->tickAll();
    return printFound(row, found, PrintLog::Entry{number, m_list.transDate(row)}, summary);
}

AutoPrintCycle::RowEnd AutoPrintCycle::printFound(int row, const FoundRequest& found,
                                                  const std::optional<PrintLog::Entry>& cycleEntry,
                                                  Summary& summary) {
    const QString number = m_list.refNum(row);
    if (m_display)
        m_display->showRequest(found.request, *m_entries);

    PrintJobOrder order;
    order.key = number;
    order.request = &found.request;
    order.entries = m_entries.get();
    order.copiesText = [] { return QStringLiteral("1"); };
    order.cycleEntry = cycleEntry;
    order.blankBarcode = [this, &number](int entry) {
        m_notices.notice(
            QStringLiteral("Request %1, label %2: Refnum is blank.").arg(number).arg(entry));
    };
    const PrintJobOutcome outcome = m_road.print(order);
    summary.labels += outcome.labels;
    switch (outcome.end) {
    case End::Complete:
        m_list.markPrinted(row);
        ++summary.printed;
        if (!cycleEntry)
            m_notices.notice(QStringLiteral("Request %1: labels added since it was printed are "
                                            "printed now (%2).")
                                 .arg(number, outcome.done.join(QStringLiteral(", "))));
        return RowEnd::Printed;
    case End::RequestFault:
    case End::BadCopies:
        fail(row, outcome.reason);
        ++summary.failed;
        return RowEnd::Failed;
    case End::StationFault:
        summary.stationFault = outcome.reason;
        return RowEnd::StationFault;
    case End::Stopped:
        break;
    }
    return RowEnd::Stopped;
}

bool AutoPrintCycle::fenced() const {
    if (!m_byTimer || !m_mayGoOn || m_mayGoOn())
        return false;
    qCInfo(lcQueue).noquote()
        << QStringLiteral("automatic run %1 ends: this station no longer prints automatically")
               .arg(m_run);
    return true;
}

void AutoPrintCycle::fail(int row, const QString& reason) {
    const QString number = m_list.refNum(row);
    m_progress.noteFailure(number, reason, m_run);
    m_list.markFailed(row, reason);
    m_notices.notice(QStringLiteral("Request %1 was not printed: %2").arg(number, reason));
}

QString AutoPrintCycle::classify(const QString& failure) {
    // A lookup that fails while the database takes writes is this request's; otherwise the
    // database is down for every request.
    try {
        m_lab.checkWritable();
        return QString();
    } catch (const std::exception& error) {
        const auto* f = dynamic_cast<const Failure*>(&error);
        QString reason =
            QStringLiteral("The lab database failed: %1").arg(f ? f->description() : failure);
        m_faults.raise(StationFaults::Source::Database, reason);
        return reason;
    }
}
