#pragma once

#include "app/StationActivity.h"
#include "lookup/CurrentRequest.h"
#include "lookup/ExamChecklistModel.h"
#include "queue/StationCore.h"
#include "station/Messages.h"

#include <QObject>
#include <QString>
#include <memory>

class HistoryControls;
class KeyboardPanel;
class LabDatabase;
class LookupInput;
class LookupPanel;
class PrintCommand;
class QueueControls;
class StandbyControls;
class StationNotices;
class StationTimers;
class StationWindow;

// The running station, composed: the window frmQuillon on top of the windowless rooms (the
// recent request list and its model, the print log, label printing, the print road, the
// automatic cycle) over one lab database. It owns the window's lifecycle (load, activation,
// Exit, the timer switch, the auto-print box and the keyboard button).
class Station : public QObject {
    Q_OBJECT
public:
    Station(LabDatabase& lab, Messages& messages, QObject* parent = nullptr);
    ~Station() override;

    // Form load, then the first activation. Returns false when the station cannot run (the
    // print-log folder cannot be made); the reason has been shown and the window is closed.
    bool show();
    // Form activate: the input goes back to searching.
    void activate();
    void EnableTimers(bool enable);
    // Exit button, close box: stops both timers, closes the window, ends the program.
    void exitStation();

    StationWindow& window() { return *m_window; }
    StationActivity& activity() { return m_activity; }
    CurrentRequest& currentRequest() { return m_current; }
    ExamChecklistModel& checklist() { return m_checklist; }
    StationCore& core() { return *m_core; }
    RequestListModel& requestList() { return m_core->list; }
    PrintProgress& progress() { return m_core->progress; }
    PrintLog& printLog() { return m_core->log; }
    PrintedMarks& marks() { return m_core->marks; }
    LabelPrinting& labelPrinting() { return m_core->printing; }
    LookupPanel& lookup() { return *m_lookup; }
    LookupInput& lookupInput() { return *m_lookupInput; }
    PrintCommand& printCommand() { return *m_printCommand; }
    QueueControls& queue() { return *m_queue; }
    StationNotices& notices() { return *m_notices; }
    HistoryControls& historyControls() { return *m_historyControls; }
    QString printLogFolder() const { return m_core->log.folder(); }

    void onAutoPrintBoxClick();
    void onKeyboardClick();
    void onRefreshTick();
    void onAutoPrintTick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    // The change probe and the lease, when the settings ask for them.
    void startStandby();

    LabDatabase& m_lab;
    StationActivity m_activity;
    HeldMessages m_heldMessages;
    CurrentRequest m_current;
    ExamChecklistModel m_checklist;
    std::unique_ptr<StationWindow> m_window;
    std::unique_ptr<StationNotices> m_notices;
    std::unique_ptr<StationTimers> m_timers;
    std::unique_ptr<StationCore> m_core;
    std::unique_ptr<LookupPanel> m_lookup;
    std::unique_ptr<KeyboardPanel> m_keyboard;
    LookupInput* m_lookupInput = nullptr;   // owned by this object
    PrintCommand* m_printCommand = nullptr; // owned by this object
    QueueControls* m_queue = nullptr;       // owned by this object
    bool m_exiting = false;
    StandbyControls* m_standby = nullptr; // owned by this object; only when its settings ask
    HistoryControls* m_historyControls = nullptr; // owned by this object
};
