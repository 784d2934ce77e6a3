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
#include "queue/HistoryRecorder.h"
#include "queue/LabelLedger.h"
#include "queue/PrintProgress.h"
#include "queue/StationFaults.h"

#include <QFileInfo>

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
    PrintJobOutcome outcome;
    if (!m_faults.clearIfMended()) {
        outcome.end = End::StationFault;
        outcome.reason = m_faults.reason();
        return outcome;
    }
    try {
        if (reconcile(outcome, order.key))
            run(order, outcome);
    } catch (const JournalFailure& failure) {
        outcome = journalFault(outcome, failure, order.key);
    }
    if (m_history)
        m_history->flush();
    m_faults.jobEnded(order.key);
    return outcome;
}

bool PrintRoad::reconcile(PrintJobOutcome& outcome, const QString& jobKey) {
    // Events owed since the station stopped (or the history was out of reach) go first.
    if (m_history)
        m_history->flush();
    try {
        reconcileLogging(jobKey);
        return true;
    } catch (const JournalFailure&) {
        throw;
    } catch (const std::exception& error) {
        outcome = stationFault(outcome, int(StationFaults::Source::PrintLog),
                               QStringLiteral("The print log could not be brought up to date with "
                                              "the labels printed before: ") +
                                   describe(error),
                               jobKey, [this] { reconcileLogging(QString()); });
        return false;
    }
}

bool PrintRoad::reconcileBeforeRun(QString& reason) {
    PrintJobOutcome outcome;
    try {
        if (reconcile(outcome, QString()))
            return true;
    } catch (const JournalFailure& failure) {
        outcome = journalFault(outcome, failure, QString());
    }
    reason = outcome.reason;
    return false;
}

void PrintRoad::reconcileLogging(const QString& jobKey) {
    LabelLedger& journal = m_progress.ledger();
    for (const LabelLedger::Logging& entry : journal.unfinishedLogging()) {
        // The station stopped between a request's "logging" and "logged": the day file tells
        // whether the lines went in. The job's own request logs its lines itself.
        const bool written = m_log.linesOf(entry.request, entry.transDate) > entry.linesBefore;
        if (!written && entry.request == jobKey) {
            journal.loggingFailed(entry.request);
            continue;
        }
        if (!written) {
            // The automatic run's own line went into the same append: it is owed too.
            m_log.appendEntries(QList<PrintLog::Entry>(entry.lines + (entry.ownLine ? 1 : 0),
                                                       {entry.request, entry.transDate}));
            qCInfo(lcPrint).noquote()
                << QStringLiteral("request %1: %2 print-log lines owed since the station stopped "
                                  "appended")
                       .arg(entry.request)
                       .arg(entry.lines);
        }
        journal.markLogged(entry.request, {});
    }
}

PrintJobOutcome PrintRoad::journalFault(const PrintJobOutcome& outcome,
                                        const JournalFailure& failure, const QString& key) {
    return stationFault(outcome, int(StationFaults::Source::Journal), failure.description(), key,
                        [&ledger = m_progress.ledger()] { ledger.check(); });
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

bool PrintRoad::admit(const PrintJobOrder& order, PrintJobOutcome& outcome) const {
    // A key the print log cannot keep apart from another's would mark that request too.
    if (const QString fault = PrintLog::keyFault(order.key); !fault.isEmpty()) {
        outcome.end = End::RequestFault;
        outcome.reason = fault;
        return false;
    }
    // A day file that cannot be named would stop the request after its labels: refuse first.
    try {
        m_log.dayFilePath(order.request->TransDate);
        if (order.cycleEntry)
            m_log.dayFilePath(order.cycleEntry->transDate);
    } catch (const Failure& failure) {
        outcome.end = End::RequestFault;
        outcome.reason = failure.description();
        return false;
    }
    return true;
}

void PrintRoad::run(const PrintJobOrder& order, PrintJobOutcome& outcome) {
    if (!admit(order, outcome))
        return;
    const CurrentRequest& request = *order.request;
    ExamChecklistModel& entries = *order.entries;
    Job job{order, outcome, {}, 0, 0};
    const int count = entries.entryCount();
    // The ticks as Print found them: a tap on the checklist or Check All while the job yields
    // would otherwise drop labels from a request that is then logged as printed.
    QList<bool> ticked(count);
    for (int k = 0; k < count; ++k)
        ticked[k] = entries.isTicked(k);
    for (int k = 0; k < count; ++k) {
        if (!m_activity.yield()) {
            outcome.end = End::Stopped;
            return;
        }
        if (!ticked.at(k))
            continue;
        if (request.Barcodes.value(k).isEmpty()) {
            ++job.blanks;
            entries.setState(k, EntryState::Failed, QStringLiteral("Refnum is blank."));
            if (order.blankBarcode)
                order.blankBarcode(k + 1);
            continue;
        }
        ++job.labels;
        if (takeEntry(job, k) == Step::Stop)
            return;
    }
    finish(job);
    if (outcome.end == End::Complete && outcome.logged)
        owePassedOver(order, ticked);
}

void PrintRoad::owePassedOver(const PrintJobOrder& order, const QList<bool>& ticked) {
    if (!m_history)
        return;
    const QStringList& barcodes = order.request->Barcodes;
    QList<LabelEvent> events;
    for (int k = 0; k < ticked.size() && k < barcodes.size(); ++k) {
        if (ticked.at(k) || barcodes.at(k).isEmpty())
            continue;
        const QString label = PrintProgress::labelId(barcodes, k);
        events.append(m_history->event(LabelEvent::Kind::PassedOver, order.request->requestNumber(),
                                       barcodes.at(k),
                                       label.section(QLatin1Char('\n'), -1).toInt()));
    }
    m_history->owe(events);
}

void PrintRoad::oweFailedEvent(const PrintJobOrder& order, int k, bool refused,
                               const QString& reason) {
    if (!m_history)
        return;
    const QStringList& barcodes = order.request->Barcodes;
    LabelEvent event = m_history->event(
        refused ? LabelEvent::Kind::Refused : LabelEvent::Kind::Cancelled,
        order.request->requestNumber(), barcodes.value(k),
        PrintProgress::labelId(barcodes, k).section(QLatin1Char('\n'), -1).toInt());
    event.printer = m_printing.lastPrinter();
    event.templateName = QFileInfo(m_printing.templatePath()).fileName();
    event.confirmed = reason.left(200);
    m_history->owe({event});
}

PrintRoad::Step PrintRoad::takeEntry(Job& job, int k) {
    const QString label = PrintProgress::labelId(job.order.request->Barcodes, k);
    Stage stage = m_progress.stage(job.order.key, label);
    // What an earlier job of the request took this label to stays done; a label logged or passed
    // over before is a new print (the request printed again by hand, or owed again).
    if (stage != Stage::Printed && stage != Stage::Recorded && stage != Stage::Logging) {
        if (const Step step = printEntry(job, k, label); step != Step::Next)
            return step;
        stage = Stage::Printed;
    }
    if (stage == Stage::Printed) {
        if (const Step step = recordEntry(job, k, label); step != Step::Next)
            return step;
    }
    job.order.entries->setState(k, EntryState::Done);
    return Step::Next;
}

PrintRoad::Step PrintRoad::printEntry(Job& job, int k, const QString& label) {
    const PrintJobOrder& order = job.order;
    const CurrentRequest& request = *order.request;
    PrintJobOutcome& outcome = job.outcome;
    const QString barcode = request.Barcodes.value(k);
    const QString copiesText = order.copiesText ? order.copiesText() : QStringLiteral("1");
    const std::optional<qint16> copies = parseCopies(copiesText);
    // Fewer than one copy would record and log a label that never came out.
    if (!copies || *copies < 1) {
        outcome.end = End::BadCopies;
        outcome.reason = QStringLiteral("The number of copies \"%1\" is not a whole number from 1 "
                                        "to 32767, so %2 was not printed.")
                             .arg(copiesText, barcode);
        return Step::Stop;
    }
    try {
        // One print run per copy, with the window answering between them: a mistyped number of
        // copies can be stopped by Exit, and the label printed again in full.
        for (qint16 copy = 0; copy < *copies; ++copy) {
            if (copy > 0 && !m_activity.yield()) {
                outcome.end = End::Stopped;
                return Step::Stop;
            }
            m_printing.printBarcodeLabel(
                barcode, request.PatientName, request.HospNum, request.Instruments.value(k),
                request.TransDate, request.RoomID, request.Age + QLatin1Char('/') + request.Sex, 1);
        }
    } catch (const RequestDataFailure& failure) {
        const QString reason = QStringLiteral("The labels of %1 cannot be printed: %2")
                                   .arg(barcode, failure.description());
        order.entries->setState(k, EntryState::Failed, reason);
        job.faults.append(reason);
        oweFailedEvent(order, k, true, failure.description());
        return Step::Skip;
    } catch (const std::exception& error) {
        const QString reason = QStringLiteral("The labels of %1 could not be printed: %2")
                                   .arg(barcode, describe(error));
        order.entries->setState(k, EntryState::Failed, reason);
        oweFailedEvent(order, k, false, describe(error));
        outcome = stationFault(outcome, int(StationFaults::Source::Printer), reason, order.key, {});
        return Step::Stop;
    }
    outcome.labels += *copies;
    const QString& printer = m_printing.lastPrinter();
    qCInfo(lcPrint).noquote() << QStringLiteral("request %1: printed %2 of %3 [%4] on %5")
                                     .arg(order.key)
                                     .arg(*copies == 1 ? QStringLiteral("1 copy")
                                                       : QStringLiteral("%1 copies").arg(*copies))
                                     .arg(barcode, request.Instruments.value(k),
                                          printer.isEmpty() ? QStringLiteral("the default printer")
                                                            : printer);
    // Out of the printer: a crash from here on must not print it again, nor lose its event.
    if (m_history) {
        LabelEvent event = m_history->event(LabelEvent::Kind::Printed, request.requestNumber(),
                                            barcode, label.section(QLatin1Char('\n'), -1).toInt());
        event.printer = printer;
        event.templateName = QFileInfo(m_printing.templatePath()).fileName();
        event.copies = *copies;
        event.confirmed = m_printing.lastConfirmation();
        if (event.reprint)
            event.reason = LabelEvent::cleanReason(order.reprintReason);
        m_history->owePrinted(order.key, label, event);
    } else {
        m_progress.setStage(order.key, label, Stage::Printed);
    }
    order.entries->setState(k, EntryState::Printed);
    return Step::Next;
}

PrintRoad::Step PrintRoad::recordEntry(Job& job, int k, const QString& label) {
    const PrintJobOrder& order = job.order;
    PrintJobOutcome& outcome = job.outcome;
    const QString barcode = order.request->Barcodes.value(k);
    QString text = barcode;
    const BarcodeRecording recording = saveBarcodes(m_lab, text);
    if (recording.outcome == BarcodeRecording::Outcome::UndoFailed) {
        const QString reason = recording.undoFailureMessage(barcode);
        outcome.notRecorded.append(barcode + QStringLiteral(": ") + recording.failure);
        order.entries->setState(k, EntryState::Failed, reason);
        outcome = stationFault(outcome, int(StationFaults::Source::Database), reason, order.key,
                               recordingCheck(order, barcode));
        return Step::Stop;
    }
    if (recording.outcome == BarcodeRecording::Outcome::RolledBack) {
        outcome.notRecorded.append(barcode + QStringLiteral(": ") + recording.failure);
        const QString refused = QStringLiteral("%1 was printed, but the database did not record "
                                               "it: %2")
                                    .arg(barcode, recording.failure);
        order.entries->setState(k, EntryState::Failed, refused);
        // A database that takes no such recording is a station fault; one that takes others
        // refused this request's data.
        const std::function<void()> check = recordingCheck(order, barcode);
        try {
            check();
        } catch (const std::exception& error) {
            outcome = stationFault(outcome, int(StationFaults::Source::Database), describe(error),
                                   order.key, check);
            return Step::Stop;
        }
        job.faults.append(refused);
        return Step::Skip;
    }
    m_lastRecorded = barcode;
    if (recording.rows > 0)
        qCInfo(lcPrint).noquote()
            << QStringLiteral("request %1: barcode %2 recorded").arg(order.key, barcode);
    else
        qCWarning(lcPrint).noquote()
            << QStringLiteral("request %1: barcode %2 printed, but nothing recorded: the database "
                              "holds no exam with that barcode")
                   .arg(order.key, barcode);
    // Recorded: a crash from here on must neither record it again nor lose its log line.
    m_progress.setStage(order.key, label, Stage::Recorded);
    outcome.done.append(barcode);
    return Step::Next;
}

void PrintRoad::finish(Job& job) {
    const PrintJobOrder& order = job.order;
    PrintJobOutcome& outcome = job.outcome;
    // The run's own log line would mark a request printed of which no label came out: it waits
    // for its barcodes instead.
    if (order.cycleEntry && job.labels == 0 && job.blanks > 0)
        job.faults.append(QStringLiteral("Refnum is blank: no label of this request has a barcode, "
                                         "so none was printed."));
    if (job.faults.isEmpty())
        checkNothingAdded(order, outcome);
    else {
        outcome.end = End::RequestFault;
        outcome.reason = job.faults.join(QLatin1Char('\n'));
    }
    if (outcome.end == End::RequestFault) {
        qCWarning(lcPrint).noquote()
            << QStringLiteral("request %1 not finished: %2").arg(order.key, outcome.reason);
        return;
    }
    if (outcome.end != End::Complete || !logRequest(order, outcome))
        return;
    // The lines are in the day file: a crash before this write is reconciled from it.
    m_progress.logged(order.key, PrintProgress::labelIds(order.request->Barcodes));
}

void PrintRoad::checkNothingAdded(const PrintJobOrder& order, PrintJobOutcome& outcome) {
    // Once logged, the request is never printed again: a label added, or a barcode changed,
    // since the lookup would never come out. Read the request again first.
    try {
        const QStringList added = labelsAddedSinceLookup(order);
        if (m_activity.stopRequested()) {
            outcome.end = End::Stopped;
            return;
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
    bool logging = false;
    try {
        if (order.cycleEntry && !m_log.CheckPrintLog(order.cycleEntry->refNum,
                                                     order.cycleEntry->transDate, false, false))
            lines.append(*order.cycleEntry);
        const QString& date = order.request->TransDate;
        // Written before the append, with what the day file held: after a crash between the
        // append and "logged", the file tells whether the lines went in.
        const int owed = m_progress.ledger().beginLogging(
            order.key, date, m_log.linesOf(order.key, date), !lines.isEmpty());
        logging = owed > 0;
        for (int i = 0; i < owed; ++i)
            lines.append({order.key, date});
        m_log.appendEntries(lines);
    } catch (const JournalFailure&) {
        throw;
    } catch (const std::exception& error) {
        // The append was undone: the lines are owed again by the next job.
        if (logging)
            m_progress.ledger().loggingFailed(order.key);
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
