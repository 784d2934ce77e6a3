#pragma once

#include "queue/LeftListCheck.h"

#include <QObject>
#include <QTimer>

class HistoryRecorder;
class LabDatabase;
class LabelHistory;
class LookupPanel;
class Messages;
class Notices;
class PrintLog;
class StationActivity;
struct CurrentRequest;
struct StationControls;

// The window's share of the label history: requests that left the list unprinted (asked every
// few minutes; a count on the status line and the Unprinted button, whose list looks one up for
// Print), and the looked-up request's history saved as CSV (the checklist's context menu).
class HistoryControls : public QObject {
    Q_OBJECT
public:
    HistoryControls(const StationControls& controls, LabDatabase& lab, PrintLog& log,
                    LabelHistory& history, LookupPanel& lookup, const CurrentRequest& current,
                    Messages& messages, Notices& notices, StationActivity& activity,
                    QObject* parent = nullptr);

    // Asks the database now when the last ask is old enough and nothing else runs.
    void checkLeftList();
    // A print job ended: requests it printed leave the list of unprinted ones (no statement).
    void jobEnded();
    void onUnprintedClick();
    // Writes the looked-up request's history as CSV to path; false with why when it cannot.
    bool saveHistory(const QString& path, QString& reason);

private:
    void show(const QList<LeftListCheck::Request>& found);

    const StationControls& m_controls;
    LabelHistory& m_history;
    LookupPanel& m_lookup;
    const CurrentRequest& m_current;
    Messages& m_messages;
    Notices& m_notices;
    StationActivity& m_activity;
    LeftListCheck m_check;
    QTimer m_timer;
    int m_told = 0;
};
