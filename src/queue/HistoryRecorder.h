#pragma once

#include "queue/LabelEvent.h"

#include <QDate>
#include <QList>
#include <QSet>
#include <QString>

class LabelHistory;
class LabelLedger;
class Notices;

// The print road's way into the lab's label history, through the label journal: an event is
// first owed in the journal (a printed label's event in the same transaction as its "printed"
// stage), then appended to the history and struck from the journal. A kill anywhere leaves the
// event either owed, and appended by the next flush (before each job and each run), or in the
// history already, where the append's id check keeps it from going in twice. A history that
// cannot be written stops no label: its events stay owed, the status line and the station log
// say so, and they go in once it can be written.
class HistoryRecorder {
public:
    HistoryRecorder(LabelHistory& history, LabelLedger& journal, Notices& notices);

    // The station's name in the lab (the host name unless set); the account is the user's.
    void setStation(const QString& station) { m_station = station; }
    const QString& station() const { return m_station; }

    // A new event of this station, now. A printed label is a reprint when the history, or what
    // this station still owes it, holds the label as printed before.
    LabelEvent event(LabelEvent::Kind kind, const QString& request, const QString& barcode,
                     int occurrence);
    // The labels of these barcodes (LabelEvent::labelId) that the history, or the journal's owed
    // events, hold as printed. What is not known counts as a first print.
    QSet<QString> printedBefore(const QStringList& barcodes);

    // The label's stage and its event, in one journal write. Throws JournalFailure.
    void owePrinted(const QString& key, const QString& label, const LabelEvent& event);
    // Throws JournalFailure.
    void owe(const QList<LabelEvent>& events);
    // Appends what the journal owes; false (told once) when the history cannot take it now.
    bool flush();
    // Why the last flush failed; empty when it did not.
    const QString& fault() const { return m_fault; }
    // How many months of history the lab keeps (setting), and removing older months once a day.
    void setKeptMonths(int months) { m_keptMonths = months; }

private:
    LabelHistory& m_history;
    LabelLedger& m_journal;
    Notices& m_notices;
    QString m_station;
    QString m_account;
    QString m_fault;
    int m_keptMonths;
    QDate m_expiredRemoved;
};
