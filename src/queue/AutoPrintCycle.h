#pragma once

#include "queue/AddedLabelCheck.h"
#include "queue/PrintLog.h"

#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class ExamChecklistModel;
class LabDatabase;
class Notices;
class PrintProgress;
class PrintRoad;
class PrintedMarks;
class RequestListModel;
class StationActivity;
class StationFaults;
struct CurrentRequest;
struct FoundRequest;

// What the window shows of an automatic run: each request as it is printed.
class CycleDisplay {
public:
    virtual ~CycleDisplay() = default;
    // The request of a row was looked up and is about to print.
    virtual void showRequest(const CurrentRequest& request, ExamChecklistModel& entries) = 0;
    // The request is finished, whichever way.
    virtual void requestDone() = 0;
};

// Prints, with no user at the screen, every request of the recent list that is not printed yet:
// per row, the request is looked up and driven through the print road. A request that fails
// (not found, a label that cannot be printed or recorded) is marked failed on its row and the
// run goes on; it is tried again by later runs, spaced out as it keeps failing. A station fault
// (database, print log, printer) ends the run; no run prints until its check passes.
//
// The print log, read just before a row is printed, decides whether it is printed: not the row's
// mark. A printed request is looked up again when its rows in the window changed, when its
// re-check after its print is due (AddedLabelCheck), or while the label journal says it owes a
// label (also past the window); the labels it owes (an exam added, a blank barcode filled in, a
// label an earlier try left unfinished) are printed on their own. A request the log holds that
// this station never logged is taken from the log: its labels are passed over.
class AutoPrintCycle {
public:
    struct Summary {
        int printed = 0; // requests completed
        int failed = 0;  // requests that failed
        int labels = 0;
        QString stationFault; // why the run stopped early, if it did
        bool stopped = false; // it ended before its last row (station closing, manual print)
    };

    AutoPrintCycle(LabDatabase& lab, PrintRoad& road, RequestListModel& list, PrintedMarks& marks,
                   PrintProgress& progress, StationFaults& faults, StationActivity& activity,
                   Notices& notices);

    ~AutoPrintCycle();

    void setDisplay(CycleDisplay* display) { m_display = display; }
    // Asked before each request a timer's run prints: false ends the run there (another station
    // prints automatically now). Print Now does not ask.
    void setFence(std::function<bool()> mayGoOn) { m_mayGoOn = std::move(mayGoOn); }
    AddedLabelCheck& addedLabels() { return m_added; }

    // One run over the rows the list holds when it starts, from the top. A timer's run tries a
    // failed row only when its retry is due; Print Now tries every failed row.
    Summary PrintPendingRequests(bool byTimer);
    // Ends a running run after the request in progress (a person wants to print by hand).
    void endAfterCurrentRequest() { m_endEarly = true; }

private:
    enum class RowEnd { Printed, Failed, StationFault, Stopped };
    // Whether the print log holds the row's request (marking it); nullopt when the row failed
    // or a station fault stops the run.
    std::optional<bool> isLogged(int row, Summary& summary);
    // Looks the row's request up; a value when the row ends there.
    std::optional<RowEnd> lookUp(int row, FoundRequest& found, Summary& summary);
    RowEnd printRow(int row, Summary& summary);
    RowEnd printAddedLabels(int row, Summary& summary);
    RowEnd lookUpAddedLabels(int row, Summary& summary);
    // Takes the run's fingerprints once; false when there are none this run.
    bool takeFingerprints(Summary& summary);
    // Prints the ticks of m_entries for the looked-up request.
    RowEnd printFound(int row, const FoundRequest& found,
                      const std::optional<PrintLog::Entry>& cycleEntry, Summary& summary);
    void fail(int row, const QString& reason);
    // Whether the run may print the next request (the fence).
    bool fenced() const;
    QString classify(const QString& failure);

    LabDatabase& m_lab;
    PrintRoad& m_road;
    RequestListModel& m_list;
    PrintedMarks& m_marks;
    PrintProgress& m_progress;
    StationFaults& m_faults;
    StationActivity& m_activity;
    Notices& m_notices;
    CycleDisplay* m_display = nullptr;
    std::function<bool()> m_mayGoOn;
    std::unique_ptr<ExamChecklistModel> m_entries;
    AddedLabelCheck m_added;
    // The journal's requests that still owe a label, read once a run at the first printed row:
    // nothing but a request's own row changes what it owes while the run goes on.
    std::optional<QSet<QString>> m_owing;
    qint64 m_run = 0;
    bool m_endEarly = false;
    bool m_byTimer = true; // the run in progress came from the timer, not from Print Now
};
