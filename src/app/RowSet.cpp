#include "app/RowSet.h"

#include "app/Failure.h"

RowSet::RowSet(QStringList columns, QList<QStringList> rows)
    : m_columns(std::move(columns))
    , m_rows(std::move(rows)) {}

int RowSet::columnIndex(const QString& name) const {
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString RowSet::value(int row, const QString& column) const {
    const int index = columnIndex(column);
    if (index < 0)
        throw Failure(QStringLiteral("The database result has no column \"%1\".").arg(column));
    if (row < 0 || row >= m_rows.size())
        throw Failure(QStringLiteral("The database result has no row %1.").arg(row + 1));
    return m_rows.at(row).value(index);
}
