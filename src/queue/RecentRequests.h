#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

class LabDatabase;
class RowSet;
class PrintProgress;
class PrintedMarks;
class PrintLog;
class StationFaults;
class RequestListModel;
class StationActivity;

// Fills the recent request list from the lab database: the requests of the last 360 minutes,
// one row per number, with their exams and printed marks. A refresh lists every recent request
// once, also after downtime: while a full page of 50 brings new requests, it asks for the next
// older page.
class RecentRequests {
public:
    static constexpr int pageSize = 50;

    RecentRequests(LabDatabase& lab, RequestListModel& list, PrintedMarks& marks,
                   PrintProgress& progress, StationActivity& activity, StationFaults& faults,
                   const PrintLog& log);

    // Adds a row for every recent request number the list does not hold yet, newest first.
    // Lets pending events run once per number. Throws Failure; the rows added before the
    // failure stay.
    void LoadRecentRequests();

private:
    // Adds a row for every number of the page the list does not hold yet.
    void addPage(const RowSet& page);
    // The list is full: drops its printed rows, when no run walks it, and appends the row.
    bool makeRoomAndAppend(const QStringList& values);
    void AddRequestRow(const QString& refNum);
    // Marks the row printed when the log holds it. A day file that cannot be read holds a
    // station fault (nothing prints until it reads again) and the row is marked by a later
    // refresh, never left to print again unread.
    void markIfLogged(int row, const QString& refNum, const QString& transDate);
    // The oldest transaction time of a page that reads as a date: a row whose date does not
    // parse is the row's own fault and must not end the catch-up.
    static QDateTime oldestDate(const RowSet& page);

    LabDatabase& m_lab;
    RequestListModel& m_list;
    PrintedMarks& m_marks;
    PrintProgress& m_progress;
    StationActivity& m_activity;
    StationFaults& m_faults;
    const PrintLog& m_log;
    QHash<QString, QString> m_unmarked; // number -> date: listed while its day file was unreadable
};
