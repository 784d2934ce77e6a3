#pragma once

#include <QColor>
#include <QString>

class PrintLog;
class RequestGrid;

// The printed mark of a grid row: every cell in the legend's colour and "Printed" in column 7.
class PrintedMarks {
public:
    static QColor printedColour() { return QColor(163, 194, 241); }
    static constexpr int printedColumn = 7;

    PrintedMarks(RequestGrid& grid, PrintLog& log);

    // Marks the row of refNum when the day's log holds the number; an existing mark stays.
    // Throws Failure when the log cannot be used.
    bool MarkIfLogged(const QString& refNum, const QString& transDate);
    void MarkRowPrinted(int row);
    // The data row whose RefNum column equals refNum exactly, or 0.
    int rowOf(const QString& refNum) const;

private:
    RequestGrid& m_grid;
    PrintLog& m_log;
};
