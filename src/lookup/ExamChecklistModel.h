#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

// The exam checklist of a looked-up request: one entry per label, in the order the labels came,
// each with a tick and what printing has done with it. Entries are counted from 0 here; entry n
// of the station's routines (from 1) is entry n - 1.
class ExamChecklistModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class EntryState {
        Waiting, // nothing printed yet
        Printed, // labels printed, barcode not recorded yet
        Done,    // printed and recorded
        Failed,  // could not be printed or recorded; the note says why
    };
    // Qt::UserRole + 1: the entry's EntryState as an int.
    static constexpr int StateRole = Qt::UserRole + 1;

    explicit ExamChecklistModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void clear();
    void appendEntry(const QString& text);
    int entryCount() const { return static_cast<int>(m_entries.size()); }
    QString entryText(int entry) const;
    bool isTicked(int entry) const;
    void setTicked(int entry, bool ticked);
    void tickAll();
    void untickAll();
    EntryState state(int entry) const;
    QString note(int entry) const;
    void setState(int entry, EntryState state, const QString& note = QString());
    // What the lab's label history holds of the entry's label: a short text shown after the
    // entry's ("printed 2x, last 09:12 at B"), and its events, one a line, in the tool tip.
    void setHistory(int entry, const QString& summary, const QString& events);
    QString historySummary(int entry) const;

private:
    struct Entry {
        QString text;
        bool ticked = false;
        EntryState state = EntryState::Waiting;
        QString note;
        QString historySummary;
        QString historyEvents;
    };
    void setAllTicked(bool ticked);

    QList<Entry> m_entries;
};
