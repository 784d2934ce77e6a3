#pragma once

#include "lookup/CurrentRequest.h"
#include "station/StationActivity.h"

#include <QObject>
#include <QString>
#include <memory>

class AutoPrintCycle;
class KeyboardPanel;
class LabelPrinting;
class PrintCommand;
class RecentRequests;
class LabDatabase;
class LookupInput;
class PrintLog;
class PrintedMarks;
class Messages;
class RequestLookup;
class StationWindow;

// The running station: the window frmQuillon and the rooms that give it behaviour, over one lab
// database. It owns the window's lifecycle (load, activation, Exit, the timer switch, the
// auto-print box and the keyboard button).
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
    LabDatabase& lab() { return m_lab; }
    Messages& messages() { return m_messages; }
    StationActivity& activity() { return m_activity; }
    CurrentRequest& currentRequest() { return m_current; }
    RequestLookup& lookup() { return *m_lookup; }
    LookupInput& lookupInput() { return *m_lookupInput; }
    QString printLogFolder() const { return m_printLogFolder; }
    // Valid once the window has loaded.
    PrintLog& printLog() { return *m_printLog; }
    PrintedMarks& marks() { return *m_marks; }
    LabelPrinting& labelPrinting() { return *m_labelPrinting; }
    PrintCommand& printCommand() { return *m_printCommand; }
    RecentRequests& recentRequests() { return *m_recent; }
    AutoPrintCycle& autoPrintCycle() { return *m_cycle; }

    void onAutoPrintBoxClick();
    void onKeyboardClick();
    void onRefreshTick();
    void onAutoPrintTick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();

    LabDatabase& m_lab;
    Messages& m_messages;
    StationActivity m_activity;
    CurrentRequest m_current;
    std::unique_ptr<StationWindow> m_window;
    std::unique_ptr<RequestLookup> m_lookup;
    LookupInput* m_lookupInput = nullptr; // owned by this object
    std::unique_ptr<KeyboardPanel> m_keyboard;
    QString m_printLogFolder;
    std::unique_ptr<PrintLog> m_printLog;
    std::unique_ptr<PrintedMarks> m_marks;
    std::unique_ptr<LabelPrinting> m_labelPrinting;
    PrintCommand* m_printCommand = nullptr; // owned by this object
    RecentRequests* m_recent = nullptr;     // owned by this object
    AutoPrintCycle* m_cycle = nullptr;      // owned by this object
    bool m_exiting = false;
};
