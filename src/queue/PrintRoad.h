#pragma once

#include "queue/PrintLog.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class ExamChecklistModel;
class HistoryRecorder;
class JournalFailure;
class LabDatabase;
class LabelPrinting;
class PrintProgress;
class StationActivity;
class StationFaults;
struct CurrentRequest;

// One print job: a looked-up request, which of its labels are ticked, and how many copies.
struct PrintJobOrder {
    QString key; // the print-log key: the number that was looked up
    const CurrentRequest* request = nullptr;
    ExamChecklistModel* entries = nullptr; // ticks in, what became of each entry out
    std::function<QString()> copiesText;   // read again for every ticked entry
    // The automatic cycle's own entry (its row's number and date): appended before the job's
    // lines unless that day's file holds the number already.
    std::optional<PrintLog::Entry> cycleEntry;
    // An entry's barcode text is empty: nothing is printed, recorded or logged for it. Called
    // with the entry's number, from 1, at the moment the entry comes up.
    std::function<void(int entry)> blankBarcode;
    // Why labels the history holds as printed are printed again, where the station asked.
    QString reprintReason;
};

// How a print job ended.
struct PrintJobOutcome {
    enum class End {
        Complete,     // every ticked label printed and recorded, and the request logged
        RequestFault, // some label of this request cannot be printed or recorded now
        StationFault, // the database, the print log or the printer failed: printing is stopped
        BadCopies,    // the copies text is not a number of at least 1: stopped before that entry
        Stopped,      // the station is closing
    };
    End end = End::Complete;
    QString reason;          // what went wrong, in the station's words
    bool logged = false;     // Complete: lines were appended (false when nothing was ticked)
    int labels = 0;          // labels printed by this job
    QStringList done;        // barcodes printed and recorded by this job
    QStringList notRecorded; // barcodes printed whose recording failed ("barcode: reason")
};

// The way from a loaded request to labels, barcode records and print-log lines, with no window.
// The Print button and the automatic cycle both drive it.
//
// The rule it keeps: a request is logged only when every label it was meant to print has been
// printed and recorded. Per ticked entry, in list order: all copies of its label, then its
// barcode records in one transaction. Once every ticked entry is done, the request's lines (one
// per recorded entry, after the cycle's own entry) are appended in one write. Each step is
// written to the label journal before the next begins (printed, recorded, logging, logged), so
// a later job, or the same job after a crash, takes each label on from where it stood. A label
// that fails because of its data, or whose recording the database refuses while taking other
// writes, is a fault of the request: the other entries go on, the request is not logged. A
// failure of the printer, the database, the print log or the journal stops the job at once and
// holds a station fault: no job prints until its check passes.
class PrintRoad {
public:
    PrintRoad(LabDatabase& lab, LabelPrinting& printing, PrintLog& log, PrintProgress& progress,
              StationFaults& faults, StationActivity& activity);

    PrintJobOutcome print(const PrintJobOrder& order);
    // Requests whose log lines were being appended when the station stopped: lines the day file
    // holds are taken as logged, the others appended (the job's own request, jobKey, logs its
    // lines itself). Throws Failure (JournalFailure for the journal).
    void reconcileLogging(const QString& jobKey);
    // reconcileLogging before a run, its failure held as a station fault: false then, with why.
    bool reconcileBeforeRun(QString& reason);
    // Every label event goes to the lab's label history through the recorder (none without).
    void setHistory(HistoryRecorder* history) { m_history = history; }

private:
    enum class Step { Next, Skip, Stop }; // on with the entry; on with the next; the job ends
    struct Job {
        const PrintJobOrder& order;
        PrintJobOutcome& outcome;
        QStringList faults; // the request's own faults so far
        int labels = 0;     // ticked entries with a barcode
        int blanks = 0;     // ticked entries without one
    };

    // reconcileLogging, a failure of the print log held as a station fault: false then.
    bool reconcile(PrintJobOutcome& outcome, const QString& jobKey);
    void run(const PrintJobOrder& order, PrintJobOutcome& outcome);
    // False (with the outcome) when the request cannot be logged under its key and dates.
    bool admit(const PrintJobOrder& order, PrintJobOutcome& outcome) const;
    // One ticked entry with a barcode: printed and recorded, as far as the journal says not yet.
    Step takeEntry(Job& job, int k);
    Step printEntry(Job& job, int k, const QString& label);
    Step recordEntry(Job& job, int k, const QString& label);
    // Every entry taken: the request logged, unless it has faults or changed since its lookup.
    void finish(Job& job);
    void checkNothingAdded(const PrintJobOrder& order, PrintJobOutcome& outcome);
    // The journal's failure held as a station fault; its check repeats what failed.
    PrintJobOutcome journalFault(const PrintJobOutcome& outcome, const JournalFailure& failure,
                                 const QString& key);
    // Holds a station fault whose check is the failed operation repeated; a request that fails
    // again at the same step right after that check passed fails alone instead.
    PrintJobOutcome stationFault(PrintJobOutcome outcome, int source, const QString& reason,
                                 const QString& key, const std::function<void()>& check);
    // The recording of barcode repeated and rolled back: throws when the database takes no
    // comparable recording (a station fault), returns when it refused only this one's data.
    std::function<void()> recordingCheck(const PrintJobOrder& order, const QString& barcode) const;
    // Opens, for append and writing nothing, the day files the request's lines go to.
    std::function<void()> dayFilesCheck(const PrintJobOrder& order) const;
    bool logRequest(const PrintJobOrder& order, PrintJobOutcome& outcome);
    // The barcodes the request has in the database now that the job's lookup did not have.
    QStringList labelsAddedSinceLookup(const PrintJobOrder& order);

    LabDatabase& m_lab;
    LabelPrinting& m_printing;
    PrintLog& m_log;
    PrintProgress& m_progress;
    StationFaults& m_faults;
    StationActivity& m_activity;
    QString m_lastRecorded; // the barcode recorded last: a recording the database takes
    HistoryRecorder* m_history = nullptr;
    // The history's event of a label given up on; nothing without a history.
    void oweFailedEvent(const PrintJobOrder& order, int k, bool refused, const QString& reason);
    // A logged request's unticked labels, passed over.
    void owePassedOver(const PrintJobOrder& order, const QList<bool>& ticked);
};
