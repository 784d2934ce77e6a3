#include "station/PrintCommand.h"

#include "app/StationActivity.h"
#include "app/StationLog.h"
#include "lookup/CurrentRequest.h"
#include "lookup/ExamChecklistModel.h"
#include "queue/HistoryRecorder.h"
#include "queue/HistorySettings.h"
#include "queue/PrintProgress.h"
#include "queue/PrintRoad.h"
#include "queue/RequestListModel.h"
#include "station/LookupPanel.h"
#include "station/Messages.h"
#include "station/StationTimers.h"
#include "station/StationWindow.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

QString doneText(const PrintJobOutcome& outcome) {
    return outcome.done.isEmpty() ? QStringLiteral("No label of this request was printed and "
                                                   "recorded by this job.")
                                  : QStringLiteral("Printed and recorded: %1.")
                                        .arg(outcome.done.join(QStringLiteral(", ")));
}

} // namespace

PrintCommand::PrintCommand(const StationControls& controls, PrintRoad& road, LookupPanel& lookup,
                           CurrentRequest& current, ExamChecklistModel& checklist,
                           RequestListModel& list, StationTimers& timers, Messages& messages,
                           StationActivity& activity, QObject* parent)
    : QObject(parent)
    , m_controls(controls)
    , m_road(road)
    , m_lookup(lookup)
    , m_current(current)
    , m_checklist(checklist)
    , m_list(list)
    , m_timers(timers)
    , m_messages(messages)
    , m_activity(activity) {
    connect(controls.cmdGenerate, &QPushButton::clicked, this, &PrintCommand::onPrintClick);
}

int PrintCommand::requestRow() const {
    // A request looked up by a label's barcode has no row under that barcode: its own number,
    // as the database spells it, finds the row the run prints.
    return m_list.rowOf(m_current.requestNumber());
}

void PrintCommand::onPrintClick() {
    if (m_activity.isRunning(StationActivity::Kind::Cycle) && !m_activity.isHandJobRunning() &&
        m_lookup.isLoaded()) {
        // The run prints other requests in the background: this one prints right after it.
        if (!m_waiting) {
            m_waiting = true;
            m_waitingFor = m_current.key();
            m_loggedWhenPressed = m_list.state(requestRow()) == RequestListModel::State::Printed;
            Q_EMIT waitsForAutomaticRun();
        }
        return;
    }
    if (m_activity.isJobRunning()) {
        Q_EMIT told(QStringLiteral("Print was not carried out: a lookup or a print by hand was "
                                   "running. Press Print again once it has ended."));
        return;
    }
    run();
}

void PrintCommand::runWaiting() {
    if (!m_waiting)
        return;
    m_waiting = false;
    if (m_activity.isJobRunning() || m_activity.stopRequested() || !m_lookup.isLoaded())
        return;
    const QString number = m_current.key();
    if (number != m_waitingFor) {
        Q_EMIT told(QStringLiteral("Print was not carried out: request %1 was looked up while "
                                   "Print waited for the automatic run. Press Print again to "
                                   "print it.")
                        .arg(number));
        return;
    }
    if (!m_loggedWhenPressed && m_list.state(requestRow()) == RequestListModel::State::Printed) {
        // The run printed the request while the click waited: printing it again would only
        // duplicate its labels.
        m_controls.cmdGenerate->setEnabled(false);
        m_lookup.ResetInput(true, false, true, true);
        Q_EMIT told(QStringLiteral("Request %1 was printed by the automatic run while Print "
                                   "waited: it was not printed again.")
                        .arg(number));
        return;
    }
    run();
}

std::optional<QString> PrintCommand::reprintReason() {
    if (!m_history || !HistorySettings::askReprintReason())
        return QString();
    const QStringList& barcodes = m_current.Barcodes;
    const QSet<QString> printed = m_history->printedBefore(barcodes);
    QStringList again;
    for (int k = 0; k < m_checklist.entryCount() && k < barcodes.size(); ++k) {
        if (m_checklist.isTicked(k) && !barcodes.at(k).isEmpty() &&
            printed.contains(PrintProgress::labelId(barcodes, k)))
            again.append(barcodes.at(k));
    }
    if (again.isEmpty())
        return QString();
    const std::optional<QString> answer = m_messages.choose(
        QStringLiteral("These labels were printed before: %1.\nWhy print them again? (Never "
                       "patient data; at most %2 characters.)")
            .arg(again.join(QStringLiteral(", ")))
            .arg(LabelEvent::maxReasonLength),
        HistorySettings::reprintReasons(), true);
    const QString reason = answer ? LabelEvent::cleanReason(*answer) : QString();
    if (reason.isEmpty())
        return std::nullopt;
    return reason;
}

bool PrintCommand::run() {
    const StationControls& c = m_controls;
    m_timers.EnableTimers(false);
    PrintJobOrder order;
    order.key = m_current.key();
    order.request = &m_current;
    order.entries = &m_checklist;
    order.copiesText = [&c] { return c.txtCopies->text(); };
    order.blankBarcode = [this](int) {
        m_messages.show(QStringLiteral("Refnum is blank."), Messages::Icon::None);
    };
    const std::optional<QString> reason = reprintReason();
    if (!reason) {
        m_timers.EnableTimers(true);
        Q_EMIT told(QStringLiteral("Print was not carried out: labels printed before are printed "
                                   "again only with a reason."));
        return false;
    }
    order.reprintReason = *reason;
    const PrintJobOutcome outcome = m_road.print(order);
    Q_EMIT jobEnded();

    using End = PrintJobOutcome::End;
    if (outcome.end == End::Stopped)
        return false; // the station is closing
    const int row = m_list.rowOf(order.key);
    if (outcome.end == End::Complete) {
        if (outcome.logged)
            m_list.markPrinted(row);
        c.cmdGenerate->setEnabled(false);
        m_lookup.ResetInput(true, false, true, true);
        m_timers.EnableTimers(true);
        return true;
    }

    // The request stays loaded with its ticks; Print again finishes what is missing.
    m_timers.EnableTimers(true);
    QString text;
    if (outcome.end == End::StationFault) {
        text = QStringLiteral("Printing stopped: %1\n%2\nMend the fault and press Print again: "
                              "labels already printed are not printed again.")
                   .arg(outcome.reason, doneText(outcome));
    } else if (outcome.end == End::BadCopies) {
        text = outcome.reason + QLatin1Char('\n') + doneText(outcome);
    } else {
        if (m_list.state(row) != RequestListModel::State::Printed)
            m_list.markFailed(row, outcome.reason);
        text = QStringLiteral("%1\n%2\nThe request is not logged as printed until every ticked "
                              "label is printed and recorded. Press Print again to finish it "
                              "(labels already printed are not printed again), or untick what "
                              "cannot be printed.")
                   .arg(outcome.reason, doneText(outcome));
    }
    qCWarning(lcPrint).noquote() << "Print by hand stopped:" << text;
    m_messages.show(text, Messages::Icon::Warning);
    return false;
}
