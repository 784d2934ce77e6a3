#include "queue/PrintRoad.h"

#include "app/Failure.h"
#include "app/LabDatabase.h"
#include "app/StationActivity.h"
#include "app/StationLog.h"
#include "labels/BarcodeRecorder.h"
#include "labels/CopiesText.h"
#include "labels/LabelPrinting.h"
#include "lookup/CurrentRequest.h"
#include "lookup/ExamChecklistModel.h"
#include "lookup/RequestFinder.h"
#include "queue/PrintProgress.h"
#include "queue/StationFaults.h"

namespace {

using EntryState = ExamChecklistModel::EntryState;
using End = PrintJobOutcome::End;
using Stage = PrintProgress::Stage;

QString describe(const std::exception& error) {
    if (const auto* failure = dynamic_cast<const Failure*>(&error))
        return failure->description();
    return QString::fromLocal8Bit(error.what());
}

} // namespace

PrintRoad::PrintRoad(LabDatabase& lab, LabelPrinting& printing, PrintLog& log,
                     PrintProgress& progress, StationFaults& faults, StationActivity& activity)
    : m_lab(lab)
    , m_printing(printing)
    , m_log(log)
    , m_progress(progress)
    , m_faults(faults)
    , m_activity(activity) {}

PrintJobOutcome PrintRoad::print(const PrintJobOrder& order) {
    const StationActivity::Scope running(m_activity, StationActivity::Kind::Print);
    if (!m_faults.clearIfMended()) {
        PrintJobOutcome outcome;
        outcome.end = End::StationFault;
        outcome.reason = m_faults.reason();
        return outcome;
    }
    PrintJobOutcome outcome = run(order);
    m_faults.jobEnded(order.key);
    return outcome;
}

PrintJobOutcome PrintRoad::stationFault(PrintJobOutcome outcome, int source, const QString& reason,
                                        const QString& key, const std::function<void()>& check) {
    const auto from = static_cast<StationFaults::Source>(source);
    outcome.reason = reason;
    // The check of this very failure passed and it came again: the check cannot see what fails
    // this request, so it fails alone and the others print.
    if (m_faults.failsAgainAfterCheck(from, key)) {
        qCWarning(lcPrint).noquote()
            << QStringLiteral("request %1 failed again right after its check passed: %2")
                   .arg(key, reason);
        outcome.end = End::RequestFault;
        return outcome;
    }
    m_faults.raise(from, reason, check, key);
    outcome.end = End::StationFault;
    return outcome;
}

std::function<void()> PrintRoad::recordingCheck(const PrintJobOrder& order,
                                                const QString& barcode) const {
    // Compared with a recording the database took, and with the request's other labels.
    QStringList comparisons;
    if (!m_lastRecorded.isEmpty())
        comparisons.append(m_lastRecorded);
    for (const QString& other : order.request->Barcodes) {
        if (!other.isEmpty() && other != barcode && !comparisons.contains(other))
            comparisons.append(other);
    }
    return [&lab = m_lab, barcode, comparisons] { checkRecording(lab, barcode, comparisons); };
}

PrintJobOutcome PrintRoad::run(const PrintJobOrder& order) {
    PrintJobOutcome outcome;
    const CurrentRequest& request = *order.request;
    ExamChecklistModel& entries = *order.entries;
    // A key the print log cannot keep apart from another's would mark that request too.
    if (const QString fault = PrintLog::keyFault(order.key); !fault.isEmpty()) {
        outcome.end = End::RequestFault;
        outcome.reason = fault;
        return outcome;
    }
    // A day file that cannot be named would stop the request after its labels: refuse first.
    try {
        m_log.dayFilePath(request.TransDate);
        if (order.cycleEntry)
            m_log.dayFilePath(order.cycleEntry->transDate);
    } catch (const Failure& failure) {
        outcome.end = End::RequestFault;
        outcome.reason = failure.description();
        return outcome;
    }

    QStringList faults;
    int blanks = 0;
    int labels = 0; // ticked entries with a barcode
    const int count = entries.entryCount();
    // The ticks as Print found them: a tap on the checklist or Check All while the job yields
    // would otherwise drop labels from a request that is then logged as printed.
    QList<bool> ticked(count);
    for (int k = 0; k < count; ++k)
        ticked[k] = entries.isTicked(k);
    for (int k = 0; k < count; ++k) {
        if (!m_activity.yield()) {
            outcome.end = End::Stopped;
            return outcome;
        }
        if (!ticked.at(k))
            continue;
        const QString barcode = request.Barcodes.value(k);
        if (barcode.isEmpty()) {
            ++blanks;
            entries.setState(k, EntryState::Failed, QStringLiteral("Refnum is blank."));
            if (order.blankBarcode)
                order.blankBarcode(k + 1);
            continue;
        }
        ++labels;
        const QString label = PrintProgress::labelId(request.Barcodes, k);
        Stage stage = m_progress.stage(order.key, label);

        if (stage == Stage::Pending) {
            const QString copiesText = order.copiesText ? order.copiesText() : QStringLiteral("1");
            const std::optional<qint16> copies = parseCopies(copiesText);
            // Fewer than one copy would record and log a label that never came out.
            if (!copies || *copies < 1) {
                outcome.end = End::BadCopies;
                outcome.reason = QStringLiteral("The number of copies \"%1\" is not a whole number "
                                                "from 1 to 32767, so %2 was not printed.")
                                     .arg(copiesText, barcode);
                return outcome;
            }
            try {
                // One print run per copy, with the window answering between them: a mistyped
                // number of copies can be stopped by Exit, and the label printed again in full.
                for (qint16 copy = 0; copy < *copies; ++copy) {
                    if (copy > 0 && !m_activity.yield()) {
                        outcome.end = End::Stopped;
                        return outcome;
                    }
                    m_printing.printBarcodeLabel(barcode, request.PatientName, request.HospNum,
                                                 request.Instruments.value(k), request.TransDate,
                                                 request.RoomID,
                                                 request.Age + QLatin1Char('/') + request.Sex, 1);
                }
            } catch (const RequestDataFailure& failure) {
                const QString reason = QStringLiteral("The labels of %1 cannot be printed: %2")
                                           .arg(barcode, failure.description());
                entries.setState(k, EntryState::Failed, reason);
                faults.append(reason);
                continue;
            } catch (const std::exception& error) {
                const QString reason = QStringLiteral("The labels of %1 could not be printed: %2")
                                           .arg(barcode, describe(error));
                entries.setState(k, EntryState::Failed, reason);
                return stationFault(outcome, int(StationFaults::Source::Printer), reason, order.key,
                                    {});
            }
            outcome.labels += *copies;
            const QString& printer = m_printing.lastPrinter();
            qCInfo(lcPrint).noquote()
                << QStringLiteral("request %1: printed %2 of %3 [%4] on %5")
                       .arg(order.key)
                       .arg(*copies == 1 ? QStringLiteral("1 copy")
                                         : QStringLiteral("%1 copies").arg(*copies))
                       .arg(barcode, request.Instruments.value(k),
                            printer.isEmpty() ? QStringLiteral("the default printer") : printer);
            stage = Stage::Printed;
            m_progress.setStage(order.key, label, stage);
            entries.setState(k, EntryState::Printed);
        }

        if (stage == Stage::Printed) {
            QString text = barcode;
            const BarcodeRecording recording = saveBarcodes(m_lab, text);
            if (recording.outcome == BarcodeRecording::Outcome::UndoFailed) {
                const QString reason = recording.undoFailureMessage(barcode);
                outcome.notRecorded.append(barcode + QStringLiteral(": ") + recording.failure);
                entries.setState(k, EntryState::Failed, reason);
                return stationFault(outcome, int(StationFaults::Source::Database), reason,
                                    order.key, recordingCheck(order, barcode));
            }
            if (recording.outcome == BarcodeRecording::Outcome::RolledBack) {
                outcome.notRecorded.append(barcode + QStringLiteral(": ") + recording.failure);
                const QString refused =
                    QStringLiteral("%1 was printed, but the database did not record it: %2")
                        .arg(barcode, recording.failure);
                entries.setState(k, EntryState::Failed, refused);
                // A database that takes no such recording is a station fault; one that takes
                // others refused this request's data.
                const std::function<void()> check = recordingCheck(order, barcode);
                try {
                    check();
                } catch (const std::exception& error) {
                    return stationFault(outcome, int(StationFaults::Source::Database),
                                        describe(error), order.key, check);
                }
                faults.append(refused);
                continue;
            }
            m_lastRecorded = barcode;
            if (recording.rows > 0)
                qCInfo(lcPrint).noquote()
                    << QStringLiteral("request %1: barcode %2 recorded").arg(order.key, barcode);
            else
                qCWarning(lcPrint).noquote()
                    << QStringLiteral("request %1: barcode %2 printed, but nothing recorded: the "
                                      "database holds no exam with that barcode")
                           .arg(order.key, barcode);
            m_progress.setStage(order.key, label, Stage::Recorded);
            outcome.done.append(barcode);
        }
        entries.setState(k, EntryState::Done);
    }

    // The run's own log line would mark a request printed of which no label came out: it waits
    // for its barcodes instead.
    if (order.cycleEntry && labels == 0 && blanks > 0)
        faults.append(QStringLiteral("Refnum is blank: no label of this request has a barcode, so "
                                     "none was printed."));
    if (!faults.isEmpty()) {
        outcome.end = End::RequestFault;
        outcome.reason = faults.join(QLatin1Char('\n'));
        qCWarning(lcPrint).noquote()
            << QStringLiteral("request %1 not finished: %2").arg(order.key, outcome.reason);
        return outcome;
    }
    // Once logged, the request is never printed again: a label added, or a barcode changed,
    // since the lookup would never come out. Read the request again first.
    try {
        const QStringList added = labelsAddedSinceLookup(order);
        if (m_activity.stopRequested()) {
            outcome.end = End::Stopped;
            return outcome;
        }
        if (!added.isEmpty()) {
            outcome.end = End::RequestFault;
            outcome.reason = QStringLiteral("Request %1 has labels that were not there when it "
                                            "was looked up (%2): look it up again to print them.")
                                 .arg(order.key, added.join(QStringLiteral(", ")));
        }
    } catch (const std::exception& error) {
        outcome.end = End::RequestFault;
        outcome.reason =
            QStringLiteral("Request %1 could not be read again to check that every label was "
                           "printed: %2")
                .arg(order.key, describe(error));
    }
    if (outcome.end == End::RequestFault) {
        qCWarning(lcPrint).noquote()
            << QStringLiteral("request %1 not finished: %2").arg(order.key, outcome.reason);
        return outcome;
    }
    if (!logRequest(order, outcome))
        return outcome;
    m_progress.logged(order.key, PrintProgress::labelIds(request.Barcodes));
    outcome.end = End::Complete;
    return outcome;
}

std::function<void()> PrintRoad::dayFilesCheck(const PrintJobOrder& order) const {
    QStringList paths{m_log.dayFilePath(order.request->TransDate)};
    if (order.cycleEntry)
        paths.append(m_log.dayFilePath(order.cycleEntry->transDate));
    return [&log = m_log, paths] {
        for (const QString& path : paths)
            log.checkDayFile(path);
    };
}

QStringList PrintRoad::labelsAddedSinceLookup(const PrintJobOrder& order) {
    const FoundRequest now = findRequest(m_lab, order.key, m_activity);
    QStringList added;
    if (now.outcome != LookupOutcome::Loaded)
        return added; // gone since: nothing more of it to print
    for (const QString& barcode : now.request.Barcodes) {
        if (!barcode.isEmpty() && !order.request->Barcodes.contains(barcode))
            added.append(barcode);
    }
    return added;
}

bool PrintRoad::logRequest(const PrintJobOrder& order, PrintJobOutcome& outcome) {
    QList<PrintLog::Entry> lines;
    try {
        if (order.cycleEntry && !m_log.CheckPrintLog(order.cycleEntry->refNum,
                                                     order.cycleEntry->transDate, false, false))
            lines.append(*order.cycleEntry);
        const int owed = m_progress.linesOwed(order.key);
        for (int i = 0; i < owed; ++i)
            lines.append({order.key, order.request->TransDate});
        m_log.appendEntries(lines);
    } catch (const std::exception& error) {
        outcome = stationFault(outcome, int(StationFaults::Source::PrintLog),
                               QStringLiteral("The labels were printed and recorded, but the print "
                                              "log could not be written: ") +
                                   describe(error),
                               order.key, dayFilesCheck(order));
        return false;
    }
    outcome.logged = !lines.isEmpty();
    if (outcome.logged)
        qCInfo(lcPrint).noquote() << QStringLiteral("request %1: %2 print-log lines appended to %3")
                                         .arg(order.key)
                                         .arg(lines.size())
                                         .arg(m_log.dayFilePath(lines.last().transDate));
    return true;
}
