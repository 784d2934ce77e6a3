#pragma once

#include <QHash>
#include <QString>

// What printing has done for requests whose print is not finished yet (a label failed, a
// recording was refused, the log could not be written), so that finishing them later prints and
// records each label once. Requests are keyed by their print-log key, labels by their barcode and
// how many labels of the request carried the same barcode before it.
//
// The memory lasts as long as the station runs. After a crash or a restart a request that was
// not finished is printed again whole: a duplicate label, never a missing one. A station runs
// for weeks and a request that keeps failing is never finished, so the memory holds at most
// maxRequests requests: past that, the one left alone longest is forgotten, with the same effect.
class PrintProgress {
public:
    enum class Stage { Pending, Printed, Recorded };

    struct Request {
        QHash<QString, Stage> labels;
        int linesOwed = 0;     // log lines of recorded labels, written when the request completes
        int failures = 0;      // attempts in a row that ended with a fault of the request
        QString failure;       // why the last attempt failed
        qint64 retryAtRun = 0; // the first automatic run that tries it again
        qint64 touched = 0;    // when it was last written, in writes since the station started
    };

    Stage stage(const QString& key, const QString& label) const;
    void setStage(const QString& key, const QString& label, Stage stage);
    int linesOwed(const QString& key) const;
    void addLineOwed(const QString& key);

    // Counts a failed attempt: the next automatic try comes after 1, 2, 4 ... runs, at most
    // maxRetryGap runs after this one.
    void noteFailure(const QString& key, const QString& reason, qint64 run);
    bool hasFailed(const QString& key) const;
    QString failure(const QString& key) const;
    int failures(const QString& key) const;
    bool retryDue(const QString& key, qint64 run) const;

    // The request is logged: nothing more to remember.
    void forget(const QString& key) { m_requests.remove(key); }
    int size() const { return static_cast<int>(m_requests.size()); }

    static constexpr qint64 maxRetryGap = 60;
    static constexpr int maxRequests = 500;

private:
    // The request's memory, made if new (forgetting the longest untouched one past the bound).
    Request& touch(const QString& key);

    QHash<QString, Request> m_requests;
    qint64 m_writes = 0;
};
