#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class LabelLedger;

// What printing has done for requests whose print is not finished yet (a label failed, a
// recording was refused, the log could not be written), so that finishing them later prints and
// records each label once. Requests are keyed by their print-log key, labels by their barcode and
// how many labels of the request carried the same barcode before it.
//
// The labels' stages live in the label ledger, on disk: after a crash or a restart only the
// labels not yet printed are printed (at most the label in hand when the station stopped comes
// out twice). How often a request failed lasts as long as the station runs; a station runs for
// weeks and a request that keeps failing is never finished, so that memory holds at most
// maxRequests requests: past that, the one left alone longest is forgotten.
class PrintProgress {
public:
    enum class Stage { Pending, Printed, Recorded };

    explicit PrintProgress(LabelLedger& ledger);

    // A label's identity across lookups: its barcode and how many earlier labels of the request
    // carry the same barcode.
    static QString labelId(const QStringList& barcodes, int entry);
    // The identities of the request's labels that have a barcode.
    static QStringList labelIds(const QStringList& barcodes);

    // Pending also for a label printed by an earlier, finished job: printing a logged request
    // again by hand prints it again.
    Stage stage(const QString& key, const QString& label) const;
    // stage is Printed or Recorded: a label never goes back to pending.
    void setStage(const QString& key, const QString& label, Stage stage);
    // Log lines owed: one per label recorded since the request was last logged.
    int linesOwed(const QString& key) const;
    // The request is logged with these labels (ticked or not): the job is finished.
    void logged(const QString& key, const QStringList& labels);

    // Counts a failed attempt: the next automatic try comes after 1, 2, 4 ... runs, at most
    // maxRetryGap runs after this one.
    void noteFailure(const QString& key, const QString& reason, qint64 run);
    bool hasFailed(const QString& key) const;
    QString failure(const QString& key) const;
    int failures(const QString& key) const;
    bool retryDue(const QString& key, qint64 run) const;
    int size() const { return static_cast<int>(m_failed.size()); }

    LabelLedger& ledger() const { return m_ledger; }

    static constexpr qint64 maxRetryGap = 60;
    static constexpr int maxRequests = 500;

private:
    struct Failed {
        int failures = 0;      // attempts in a row that ended with a fault of the request
        QString failure;       // why the last attempt failed
        qint64 retryAtRun = 0; // the first automatic run that tries it again
        qint64 touched = 0;    // when it was last written, in writes since the station started
    };

    LabelLedger& m_ledger;
    QHash<QString, Failed> m_failed;
    qint64 m_writes = 0;
};
