#include "queue/PrintedMarks.h"

#include "queue/PrintLog.h"
#include "station/RequestGrid.h"

PrintedMarks::PrintedMarks(RequestGrid& grid, PrintLog& log)
    : m_grid(grid)
    , m_log(log) {}

int PrintedMarks::rowOf(const QString& refNum) const {
    for (int row = 1; row < m_grid.rows(); ++row) {
        if (m_grid.cellText(row, 1) == refNum)
            return row;
    }
    return 0;
}

bool PrintedMarks::MarkIfLogged(const QString& refNum, const QString& transDate) {
    if (!m_log.CheckPrintLog(refNum, transDate, false, false))
        return false;
    if (const int row = rowOf(refNum); row > 0)
        MarkRowPrinted(row);
    return true;
}

void PrintedMarks::MarkRowPrinted(int row) {
    if (row <= 0 || row >= m_grid.rows())
        return;
    m_grid.setCurrentGridRow(row);
    for (int column = 0; column < m_grid.columnCount(); ++column)
        m_grid.setCellBackColour(row, column, printedColour());
    m_grid.setCellText(row, printedColumn, QStringLiteral("Printed"));
}
