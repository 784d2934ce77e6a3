#pragma once

#include <QString>

class LabDatabase;
class RowSet;
class PrintProgress;
class PrintedMarks;
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
                   const PrintProgress& progress, StationActivity& activity);

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

    LabDatabase& m_lab;
    RequestListModel& m_list;
    PrintedMarks& m_marks;
    const PrintProgress& m_progress;
    StationActivity& m_activity;
};
