#pragma once

#include "queue/AutoPrintCycle.h"

#include <QObject>

class ExamChecklistModel;
class LookupPanel;
class Messages;
class Notices;
class PrintCommand;
class RecentRequests;
class RequestListModel;
class StationActivity;
class StationTimers;
struct StationControls;

// The window side of the request queue: Refresh and the refresh timer, Print Now and the
// auto-print timer, and what the window shows while an automatic run prints.
//
// An automatic run shows each request in the number box and the checklist only while the window
// is idle (searching, number box empty); a request loaded by hand, or a number being typed, is
// left alone and the run prints in the background. A person who scans, types, clicks a row or
// presses Reset while a run shows its request gets the window back at once (giveWindowBack).
// Its messages go to the status line, never to a box that waits for a person.
class QueueControls : public QObject, public CycleDisplay {
    Q_OBJECT
public:
    static constexpr int ticksPerRefresh = 3;

    QueueControls(const StationControls& controls, RecentRequests& recent, AutoPrintCycle& cycle,
                  LookupPanel& lookup, ExamChecklistModel& manualChecklist, PrintCommand& print,
                  StationTimers& timers, Messages& messages, Notices& notices,
                  StationActivity& activity, QObject* parent = nullptr);

    // Refresh: empties the list and loads it again. While a refresh or a run walks the list, the
    // press waits and runs as soon as the walk ends.
    void onRefreshClick();
    // Every third tick loads new requests; a third tick that falls inside a refresh is dropped.
    void onRefreshTick();
    int refreshTickCount() const { return m_refreshTickCount; }
    bool refreshDeferred() const { return m_refreshDeferred; }
    void runDeferredRefresh();

    // Print Now and the auto-print tick are dropped while a lookup, print job or run is going
    // on; the tick stops both timers for its run and starts them again as the box says.
    void onPrintNowClick();
    void onAutoPrintTick();

    void showRequest(const CurrentRequest& request, ExamChecklistModel& entries) override;
    void requestDone() override;
    // The run stops showing its request (it goes on printing it): the window is a person's again.
    void giveWindowBack() { requestDone(); }

    // New requests are known to wait: a timer refresh now, then (print) an automatic run when
    // the box is ticked. False, doing nothing, while the list is walked or a job runs.
    bool onRequestsChanged(bool print);

private:
    void refresh(bool emptyFirst, bool byTimer);
    void runCycle(bool byTimer);
    bool listIsWalked() const;
    bool windowIsIdle() const;

    const StationControls& m_controls;
    RecentRequests& m_recent;
    AutoPrintCycle& m_cycle;
    LookupPanel& m_lookup;
    ExamChecklistModel& m_manualChecklist;
    PrintCommand& m_print;
    StationTimers& m_timers;
    Messages& m_messages;
    Notices& m_notices;
    StationActivity& m_activity;
    int m_refreshTickCount = 0;
    bool m_refreshDeferred = false;
    bool m_showing = false;
    bool m_stoppedShown = false; // the status line says automatic printing is stopped
};
