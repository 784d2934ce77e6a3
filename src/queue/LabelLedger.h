#pragma once

#include "app/Failure.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

// The journal cannot be opened, read or written.
class JournalFailure : public Failure {
public:
    using Failure::Failure;
};

// The station's write-ahead journal of labels, in a small SQLite file of its own (WAL, synced at
// every write). Every label a job takes on goes through its stages in one order:
//   to print -> printed -> recorded -> logging -> logged,   or passed over,
// each written before the step that follows it, so that a crash at any moment leaves a label
// whose next step is known: printed again only when the crash came while it was printing, never
// recorded or logged twice, never forgotten. The print log stays the record other people and
// programs read, and it rules where the two disagree.
//
// A label is known by its barcode and how many earlier labels of the request carry the same
// barcode. Entries belong to the lab database they came from (its identity): another database's
// entries never decide a label. Finished entries (logged, passed over) are kept keptDays days;
// unfinished ones until they finish.
//
// Every operation throws JournalFailure when the file cannot be opened, read or written: a journal
// that does not hold what the station did would print labels twice or lose their log lines, so
// its failure stops printing like an unwritable print log.
class LabelLedger {
public:
    // The stored numbers are the file's: 1 to 4 come from the journal's first version.
    enum class Stage {
        Unknown = 0,
        ToPrint = 5,    // owed: found missing after its request was logged
        Printed = 1,    // every copy out, not recorded yet
        Recorded = 2,   // printed and recorded; its log line not written yet
        Logging = 6,    // its log line is being appended (see reconcile)
        Logged = 3,     // its log line written
        PassedOver = 4, // unticked, or taken as printed when its request was found logged
    };
    // A request's labels whose log lines were being appended: the day file, how many lines of
    // the request it held before, and how many lines were owed.
    struct Logging {
        QString request;
        QString transDate;
        int linesBefore = 0;
        int lines = 0;
        bool ownLine = false; // the automatic run's own line went with the labels' lines
    };

    // path: the journal's file; empty keeps it in memory. database: the identity of the lab
    // database, asked when the journal is first used (it may throw Failure).
    LabelLedger(const QString& path, std::function<QString()> database);
    ~LabelLedger();
    LabelLedger(const LabelLedger&) = delete;
    LabelLedger& operator=(const LabelLedger&) = delete;

    // Opens the file if it is not open yet; throws JournalFailure saying why it cannot be used.
    // A file SQLite finds damaged is moved aside with its write-ahead log and started anew;
    // any other failure (a full disk) leaves the files as they are.
    void open();
    // Repeats the write that failed last (a read when a read failed); throws while it still
    // fails. The check of the station fault a failed write raised.
    void check();

    Stage stage(const QString& key, const QString& label);
    void setStage(const QString& key, const QString& label, Stage stage);
    // The labels of the list the request still owes (unknown, or not logged or passed over),
    // after labels it no longer has were passed over. Unknown ones are written "to print".
    QStringList owed(const QString& key, const QStringList& labels);
    // The requests with a label not logged or passed over yet.
    QSet<QString> owingRequests();
    // Whether any label of the request was logged or passed over by this station.
    bool ended(const QString& key);
    // The request's recorded labels become "logging" into transDate's day file, which held
    // linesBefore lines of the request: how many lines are owed. ownLine: the automatic run's own
    // line for the request goes into the same append.
    int beginLogging(const QString& key, const QString& transDate, int linesBefore, bool ownLine);
    // The append failed and was undone: the logging labels are recorded again.
    void loggingFailed(const QString& key);
    // The requests whose log lines were being appended when the station stopped.
    QList<Logging> unfinishedLogging();
    // The request is logged: its logging labels become logged, and the other labels it had
    // (unticked ones) passed over, so that only labels it did not have count as new later.
    void markLogged(const QString& key, const QStringList& labels);
    // The print log holds the request, though this station never logged it: its labels, whatever
    // this station did of them, are passed over.
    void passOver(const QString& key, const QStringList& labels);

    // An event of the lab's label history this station owes (LabelHistory): written with the
    // stage it belongs to, so a kill between a label's print and its event leaves it owed, and
    // kept until the history holds it.
    struct OwedEvent {
        QString id;
        QByteArray line;
    };
    void setStage(const QString& key, const QString& label, Stage stage, const OwedEvent& event);
    void oweEvents(const QList<OwedEvent>& events);
    QList<OwedEvent> owedEvents();
    void eventsAppended(const QStringList& ids);

    static constexpr int keptDays = 7;

private:
    void openFile(const QString& path);
    // Removes finished entries older than keptDays, at most once a day.
    void purge();
    // Runs a write of the journal; when it fails, check() repeats it.
    void write(const std::function<void()>& operation);
    void exec(const QString& statement, const QVariantList& values = {});
    // Runs the writes in one transaction: all of them reach the file, or none.
    void inTransaction(const std::function<void()>& writes);
    void insertPassedOver(const QString& key, const QStringList& labels);
    QVariantList column(const QString& statement, const QVariantList& values);

    QString m_connection;
    QString m_path;
    QString m_database;
    std::function<QString()> m_identity;
    bool m_open = false;
    std::function<void()> m_failedWrite;
    QDateTime m_purged;
};
