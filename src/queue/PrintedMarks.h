#pragma once

#include <QString>

class PrintLog;
class RequestListModel;

// The printed mark of a row of the recent request list, from the print log.
class PrintedMarks {
public:
    PrintedMarks(RequestListModel& list, PrintLog& log);

    // Marks the row of refNum when the day's log holds the number; an existing mark stays.
    // Throws Failure when the log cannot be used.
    bool MarkIfLogged(const QString& refNum, const QString& transDate);
    // row is a grid row: data rows count from 1.
    void MarkRowPrinted(int row);

private:
    RequestListModel& m_list;
    PrintLog& m_log;
};
