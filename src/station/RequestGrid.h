#pragma once

#include <QColor>
#include <QTableView>

class RequestListModel;

// The request grid Grid1, a view of the recent request list, addressed as the station's routines
// address it: row 0 is the header row, data rows are 1 to rows() - 1.
class RequestGrid : public QTableView {
    Q_OBJECT
public:
    explicit RequestGrid(QWidget* parent = nullptr);

    void setListModel(RequestListModel* model);
    RequestListModel* listModel() const { return m_model; }

    int rows() const;
    // Only 1 is meaningful: it removes every data row.
    void setRows(int rows);
    QString cellText(int row, int column) const;
    QColor cellBackColour(int row, int column) const;
    // Appends a row whose cells from column 0 hold the values as they are. False when the list
    // is full (or the grid shows no list).
    bool appendRow(const QStringList& values);
    bool appendTabRow(const QString& tabSeparated);
    int currentGridRow() const { return m_currentRow; }
    void setCurrentGridRow(int row) { m_currentRow = row; }
    void setColumnWidthTwips(int column, int twips, qreal dpi);

Q_SIGNALS:
    // The user clicked a cell; currentGridRow() is the clicked row (0 for the header row).
    void gridClicked();

private:
    RequestListModel* m_model = nullptr;
    int m_currentRow = 0;
};
