#pragma once

#include "queue/LabelLedger.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

// A print job's view of the label journal, and the retry memory of requests that failed.
// Requests are keyed by their print-log key, labels by their barcode and how many labels of the
// request carried the same barcode before it.
//
// The labels' stages live in the journal, on disk: after a crash or a restart only the labels
// not yet printed are printed (at most the label in hand when the station stopped comes out
// twice). How often a request failed lasts as long as the station runs, and only while the
// request is in the list and not finished: it goes when the request is logged, passed over, or
// leaves the list (forgetUnlisted). maxRequests bounds it besides.
class PrintProgress {
public:
    using Stage = LabelLedger::Stage;

    explicit PrintProgress(LabelLedger& ledger);

    // A label's identity across lookups: its barcode and how many earlier labels of the request
    // carry the same barcode.
    static QString labelId(const QStringList& barcodes, int entry);
    // The identities of the request's labels that have a barcode.
    static QStringList labelIds(const QStringList& barcodes);

    // The journal's stage of the label. Throws Failure when the journal cannot be read.
    Stage stage(const QString& key, const QString& label) const;
    // Throws Failure when the journal cannot be written.
    void setStage(const QString& key, const QString& label, Stage stage);
    // The request is logged with these labels (ticked or not): the job is finished.
    void logged(const QString& key, const QStringList& labels);
    // The print log holds the request from elsewhere: its labels are passed over.
    void passedOver(const QString& key, const QStringList& labels);

    // Counts a failed attempt: the next automatic try comes after 1, 2, 4 ... runs, at most
    // maxRetryGap runs after this one.
    void noteFailure(const QString& key, const QString& reason, qint64 run);
    bool hasFailed(const QString& key) const;
    QString failure(const QString& key) const;
    int failures(const QString& key) const;
    bool retryDue(const QString& key, qint64 run) const;
    int size() const { return static_cast<int>(m_failed.size()); }
    // Drops the retry memory of every request for which listed is false.
    void forgetUnlisted(const std::function<bool(const QString&)>& listed);

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
