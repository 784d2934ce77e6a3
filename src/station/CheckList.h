#pragma once

#include <QListWidget>

// The exam checklist: text entries, each with a check box, kept in the order they were appended.
// Entries are counted from 1 as the station's routines count them.
class CheckList : public QListWidget {
    Q_OBJECT
public:
    explicit CheckList(QWidget* parent = nullptr);

    void appendEntry(const QString& text);
    int entryCount() const { return count(); }
    QString entryText(int n) const;
    bool isTicked(int n) const;
    void setTicked(int n, bool ticked);
    void tickAll();
    void untickAll();
};
