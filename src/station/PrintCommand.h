#pragma once

#include <QObject>
#include <QString>
#include <optional>

class ExamChecklistModel;
class HistoryRecorder;
class LookupPanel;
class Messages;
class PrintRoad;
class RequestListModel;
class StationActivity;
class StationTimers;
struct CurrentRequest;
struct StationControls;

// The Print button: drives the print road with the loaded request, its ticks and the copies box,
// then returns the window to searching. Timers are off while it prints. A stop (a label that
// cannot be printed or recorded, a station fault, copies that are not a number) is told in one
// message; the request stays loaded, and Print finishes what is missing without printing twice.
class PrintCommand : public QObject {
    Q_OBJECT
public:
    PrintCommand(const StationControls& controls, PrintRoad& road, LookupPanel& lookup,
                 CurrentRequest& current, ExamChecklistModel& checklist, RequestListModel& list,
                 StationTimers& timers, Messages& messages, StationActivity& activity,
                 QObject* parent = nullptr);

    // The click's work. True when every ticked label was printed, recorded and logged.
    bool run();
    // A click on Print: refused with a note while a lookup or a print job by hand runs; while an
    // automatic run prints in the background, it waits for the run to end (see waiting()).
    void onPrintClick();
    // Runs a click that waited for an automatic run. The run's owner calls it when the run ends.
    void runWaiting();
    bool waiting() const { return m_waiting; }
    // With the lab's setting, Print asks why before printing labels this history holds as
    // printed (none without a history).
    void setHistory(HistoryRecorder* history) { m_history = history; }

Q_SIGNALS:
    // A click waits for the running automatic run, which should end after its current request.
    void waitsForAutomaticRun();
    // What the station says on its status line, asking nobody.
    void told(const QString& text);
    // The click's print job ended (a Refresh pressed during it runs now).
    void jobEnded();

private:
    const StationControls& m_controls;
    PrintRoad& m_road;
    LookupPanel& m_lookup;
    CurrentRequest& m_current;
    ExamChecklistModel& m_checklist;
    RequestListModel& m_list;
    StationTimers& m_timers;
    Messages& m_messages;
    StationActivity& m_activity;
    // The list row of the loaded request, however it was looked up (-1 when it has none).
    int requestRow() const;
    // The reason for printing labels again, asked when the lab wants one: empty when none is
    // needed; nothing when the person gave none (nothing prints then).
    std::optional<QString> reprintReason();

    HistoryRecorder* m_history = nullptr;

    bool m_waiting = false;
    QString m_waitingFor;             // the key of the request the click waits to print
    bool m_loggedWhenPressed = false; // the waiting click's request was marked printed already
};
