#include "queue/PrintedMarks.h"

#include "queue/PrintLog.h"
#include "queue/RequestListModel.h"

PrintedMarks::PrintedMarks(RequestListModel& list, PrintLog& log)
    : m_list(list)
    , m_log(log) {}

bool PrintedMarks::MarkIfLogged(const QString& refNum, const QString& transDate) {
    if (!m_log.CheckPrintLog(refNum, transDate, false, false))
        return false;
    if (const int row = m_list.rowOf(refNum); row >= 0)
        MarkRowPrinted(row + 1);
    return true;
}

void PrintedMarks::MarkRowPrinted(int row) {
    m_list.markPrinted(row - 1);
}
