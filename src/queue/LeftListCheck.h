#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

class LabDatabase;
class LabelHistory;
class PrintLog;

// Requests that left the recent list's window unprinted: the automatic run never prints them
// (they are older than the window), so someone must be told. One statement asks the lab
// database for the requests from the window's start back to a bound the lab sets; those of
// which neither the print log nor the label history holds a print are kept. Nothing is printed.
class LeftListCheck {
public:
    struct Request {
        QString refNum;
        QString transDate; // the station's date-time text form
    };

    LeftListCheck(LabDatabase& lab, PrintLog& log, LabelHistory& history);

    // Whether the last ask is at least minimumGap old (or there was none).
    bool due(const QDateTime& now) const;
    // Asks now; throws Failure when the database, the print log or the history cannot answer.
    QList<Request> find(int hours);
    const QList<Request>& found() const { return m_found; }
    // The requests found last, without those printed since (no statement).
    QList<Request> recheck();

    static constexpr int minimumGapSeconds = 300;

private:
    bool printed(const Request& request);

    LabDatabase& m_lab;
    PrintLog& m_log;
    LabelHistory& m_history;
    QDateTime m_asked;
    QList<Request> m_found;
};
