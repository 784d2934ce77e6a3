#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The station's own durable memory of labels: for each request key, every label it printed,
// recorded or logged, and those it was told to pass over, in a small SQLite file of its own
// (write-ahead log, synced at every write). It is not the print log, which stays the record other
// people and programs read: the ledger is what lets a restart print only the labels not yet
// printed, and lets a run find labels that appeared after their request was logged.
//
// A label is known by its barcode and how many earlier labels of the request carry the same
// barcode. Entries are kept for keptDays days. A file that cannot be opened or is damaged is
// moved aside and started anew (and, failing that, kept in memory for this run): the print log
// still rules, so a request it marks is never printed again in full.
class LabelLedger {
public:
    enum class Stage {
        Unknown = 0,
        Printed = 1,   // every copy out, not recorded yet
        Recorded = 2,  // printed and recorded; its log line not written yet
        Logged = 3,    // its request's log line written
        PassedOver = 4 // unticked, or taken as printed when its request was found logged
    };

    // path: the ledger file; empty keeps the ledger in memory.
    explicit LabelLedger(const QString& path);
    ~LabelLedger();
    LabelLedger(const LabelLedger&) = delete;
    LabelLedger& operator=(const LabelLedger&) = delete;

    Stage stage(const QString& key, const QString& label) const;
    void setStage(const QString& key, const QString& label, Stage stage);
    // How many labels of the request are recorded but not logged yet.
    int recordedUnlogged(const QString& key) const;
    // The request is logged: its recorded labels become logged, and the other labels it had
    // (unticked ones) passed over, so that only labels it did not have count as new later.
    void markLogged(const QString& key, const QStringList& labels);
    // Whether the ledger holds anything of the request.
    bool knows(const QString& key) const;
    // The labels of the list the ledger holds nothing of for the request.
    QStringList unknown(const QString& key, const QStringList& labels) const;

    static constexpr int keptDays = 7;

private:
    bool open(const QString& path);
    // Removes entries older than keptDays, at most once a day.
    void purge();
    void exec(const QString& statement, const QVariantList& values = {}) const;

    QString m_connection;
    QString m_path;
    QDateTime m_purged;
};
