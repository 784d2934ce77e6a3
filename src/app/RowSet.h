#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A result read whole into memory, so its exact row count is known before the first row is read.
// Every value is text: a null becomes the empty text. Column names match without regard to case.
class RowSet {
public:
    RowSet() = default;
    RowSet(QStringList columns, QList<QStringList> rows);

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const QStringList& columns() const { return m_columns; }
    bool hasColumn(const QString& name) const { return columnIndex(name) >= 0; }

    // Throws Failure naming the column when the result has no such column.
    QString value(int row, const QString& column) const;

private:
    int columnIndex(const QString& name) const;

    QStringList m_columns;
    QList<QStringList> m_rows;
};
