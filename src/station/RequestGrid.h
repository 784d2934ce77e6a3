#pragma once

#include <QColor>
#include <QTableWidget>

// The request grid, addressed as the station's routines address it: row 0 is the header row,
// data rows are 1 to rows() - 1, nine columns. Rows are appended from one tab-separated text.
class RequestGrid : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int columnsCount = 9;
    // Row counters are 16-bit: the grid never holds more data rows than this.
    static constexpr int maxDataRows = 32767;

    explicit RequestGrid(QWidget* parent = nullptr);

    int rows() const { return rowCount() + 1; }
    // Only 1 is meaningful: it removes every data row.
    void setRows(int rows);
    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);
    // Appends a row filled from column 0 with the tab-separated values. Returns false, adding
    // nothing, when the grid already holds maxDataRows data rows.
    bool appendTabRow(const QString& tabSeparated);
    // Appends a row whose cells from column 0 hold the values as they are: a value holding a
    // tab stays in its cell. Returns false, adding nothing, when the grid is full.
    bool appendRow(const QStringList& values);
    int currentGridRow() const { return m_currentRow; }
    void setCurrentGridRow(int row) { m_currentRow = row; }
    QColor cellBackColour(int row, int column) const;
    void setCellBackColour(int row, int column, const QColor& colour);
    void setColumnWidthTwips(int column, int twips, qreal dpi);

Q_SIGNALS:
    // The user clicked a cell; currentGridRow() is the clicked row (0 for the header row).
    void gridClicked();

private:
    int m_currentRow = 0;
};
