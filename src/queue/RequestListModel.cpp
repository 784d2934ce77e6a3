#include "queue/RequestListModel.h"

namespace {

const char* const headers[RequestListModel::ColumnCount] = {
    "TransDate", "RefNum", "PatientName", "Exam", "HospNum", "IdNum", "Req.Num", "Printed", ""};

} // namespace

RequestListModel::RequestListModel(QObject* parent)
    : QAbstractTableModel(parent) {}

int RequestListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int RequestListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RequestListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == Printed) {
            if (row.state == State::Printed)
                return QStringLiteral("Printed");
            if (row.state == State::Failed)
                return QStringLiteral("Failed");
        }
        return row.cells.value(index.column());
    case Qt::BackgroundRole:
        if (row.state == State::Printed)
            return printedColour();
        if (row.state == State::Failed)
            return failedColour();
        return {};
    case Qt::ToolTipRole:
        return row.state == State::Failed ? QVariant(row.failure) : QVariant();
    case StateRole:
        return static_cast<int>(row.state);
    default:
        return {};
    }
}

QVariant RequestListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return {};
    return QLatin1String(headers[section]);
}

bool RequestListModel::appendRow(const QStringList& values) {
    if (m_rows.size() >= maxRows)
        return false;
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    Row added;
    added.cells = values.mid(0, ColumnCount);
    while (added.cells.size() < ColumnCount)
        added.cells.append(QString());
    added.cells[Printed].clear();
    if (!m_rowOf.contains(added.cells.at(RefNum)))
        m_rowOf.insert(added.cells.at(RefNum), row); // the first row of a number is its row
    m_rows.append(std::move(added));
    endInsertRows();
    return true;
}

void RequestListModel::clear() {
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    m_rowOf.clear();
    endResetModel();
}

int RequestListModel::dropPrinted() {
    const qsizetype before = m_rows.size();
    beginResetModel();
    m_rows.removeIf([](const Row& row) { return row.state == State::Printed; });
    m_rowOf.clear();
    for (int r = static_cast<int>(m_rows.size()) - 1; r >= 0; --r)
        m_rowOf.insert(m_rows.at(r).cells.at(RefNum), r);
    endResetModel();
    return static_cast<int>(before - m_rows.size());
}

int RequestListModel::rowOf(const QString& refNum) const {
    return m_rowOf.value(refNum, -1);
}

QString RequestListModel::cellText(int row, int column) const {
    if (row < 0 || row >= m_rows.size())
        return {};
    return data(index(row, column)).toString();
}

void RequestListModel::setCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= ColumnCount || column == Printed)
        return;
    m_rows[row].cells[column] = text;
    if (column == RefNum) {
        m_rowOf.clear();
        for (int r = static_cast<int>(m_rows.size()) - 1; r >= 0; --r)
            m_rowOf.insert(m_rows.at(r).cells.at(RefNum), r);
    }
    Q_EMIT dataChanged(index(row, column), index(row, column), {Qt::DisplayRole});
}

RequestListModel::State RequestListModel::state(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).state : State::Pending;
}

QString RequestListModel::failure(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).failure : QString();
}

void RequestListModel::markPrinted(int row) {
    setState(row, State::Printed, QString());
}

void RequestListModel::markFailed(int row, const QString& reason) {
    setState(row, State::Failed, reason);
}

void RequestListModel::markPending(int row) {
    setState(row, State::Pending, QString());
}

void RequestListModel::setState(int row, State state, const QString& failure) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    if (r.state == state && r.failure == failure)
        return;
    r.state = state;
    r.failure = failure;
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1),
                       {Qt::DisplayRole, Qt::BackgroundRole, Qt::ToolTipRole, StateRole});
}
