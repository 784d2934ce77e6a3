#include "lookup/ExamChecklistModel.h"

#include <QColor>

ExamChecklistModel::ExamChecklistModel(QObject* parent)
    : QAbstractListModel(parent) {}

int ExamChecklistModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : entryCount();
}

QVariant ExamChecklistModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry& e = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return e.historySummary.isEmpty()
                   ? e.text
                   : e.text + QStringLiteral("   (") + e.historySummary + QLatin1Char(')');
    case Qt::CheckStateRole:
        return e.ticked ? Qt::Checked : Qt::Unchecked;
    case Qt::BackgroundRole:
        if (e.state == EntryState::Done)
            return QColor(163, 194, 241);
        if (e.state == EntryState::Failed)
            return QColor(244, 176, 176);
        if (e.state == EntryState::Printed)
            return QColor(250, 224, 160);
        return {};
    case Qt::ToolTipRole: {
        const QString tip = QString(e.note + QLatin1Char('\n') + e.historyEvents).trimmed();
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case StateRole:
        return static_cast<int>(e.state);
    default:
        return {};
    }
}

bool ExamChecklistModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    setTicked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

Qt::ItemFlags ExamChecklistModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable |
           Qt::ItemNeverHasChildren;
}

void ExamChecklistModel::clear() {
    if (m_entries.isEmpty())
        return;
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

void ExamChecklistModel::appendEntry(const QString& text) {
    const int row = entryCount();
    beginInsertRows(QModelIndex(), row, row);
    m_entries.append(Entry{text, false, EntryState::Waiting, QString(), QString(), QString()});
    endInsertRows();
}

QString ExamChecklistModel::entryText(int entry) const {
    return entry >= 0 && entry < entryCount() ? m_entries.at(entry).text : QString();
}

bool ExamChecklistModel::isTicked(int entry) const {
    return entry >= 0 && entry < entryCount() && m_entries.at(entry).ticked;
}

void ExamChecklistModel::setTicked(int entry, bool ticked) {
    if (entry < 0 || entry >= entryCount() || m_entries.at(entry).ticked == ticked)
        return;
    m_entries[entry].ticked = ticked;
    const QModelIndex at = index(entry);
    Q_EMIT dataChanged(at, at, {Qt::CheckStateRole});
}

void ExamChecklistModel::tickAll() {
    setAllTicked(true);
}

void ExamChecklistModel::untickAll() {
    setAllTicked(false);
}

void ExamChecklistModel::setAllTicked(bool ticked) {
    if (m_entries.isEmpty())
        return;
    for (Entry& e : m_entries)
        e.ticked = ticked;
    Q_EMIT dataChanged(index(0), index(entryCount() - 1), {Qt::CheckStateRole});
}

ExamChecklistModel::EntryState ExamChecklistModel::state(int entry) const {
    return entry >= 0 && entry < entryCount() ? m_entries.at(entry).state : EntryState::Waiting;
}

QString ExamChecklistModel::note(int entry) const {
    return entry >= 0 && entry < entryCount() ? m_entries.at(entry).note : QString();
}

void ExamChecklistModel::setState(int entry, EntryState state, const QString& note) {
    if (entry < 0 || entry >= entryCount())
        return;
    m_entries[entry].state = state;
    m_entries[entry].note = note;
    const QModelIndex at = index(entry);
    Q_EMIT dataChanged(at, at, {Qt::BackgroundRole, Qt::ToolTipRole, StateRole});
}

void ExamChecklistModel::setHistory(int entry, const QString& summary, const QString& events) {
    if (entry < 0 || entry >= entryCount())
        return;
    m_entries[entry].historySummary = summary;
    m_entries[entry].historyEvents = events;
    const QModelIndex at = index(entry);
    Q_EMIT dataChanged(at, at, {Qt::DisplayRole, Qt::ToolTipRole});
}

QString ExamChecklistModel::historySummary(int entry) const {
    return entry >= 0 && entry < entryCount() ? m_entries.at(entry).historySummary : QString();
}
