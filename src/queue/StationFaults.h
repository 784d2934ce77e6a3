#pragma once

#include <QMap>
#include <QString>
#include <functional>

// Station-wide faults: the lab database refuses writes, the print log cannot be appended, the
// printer or the label template cannot be used, the label journal cannot be written. While one is
// held, nothing prints; before printing again, a check of the failed part must pass. A fault raised
// with the operation that failed is checked by repeating that operation harmlessly (the day file
// opened for append, the recording rolled back), so the check cannot pass while the fault persists;
// otherwise the part's generic check serves.
class StationFaults {
public:
    enum class Source { Database, PrintLog, Printer, Journal };
    // Returns when the part works; throws Failure saying what is still wrong.
    using Check = std::function<void()>;

    void setCheck(Source source, const Check& check);
    // request: the request whose job failed (empty when no request's job did); check: the
    // failed operation repeated harmlessly (empty: the source's generic check).
    void raise(Source source, const QString& reason, const Check& check = {},
               const QString& request = {});
    bool held() const { return !m_held.isEmpty(); }
    // What is wrong, one line per failed part; empty when nothing is held.
    QString reason() const;

    // True when no fault is held, or when the check of every held fault passes now (those
    // faults are then dropped). A check that still fails keeps its fault, with its new reason.
    bool clearIfMended();

    // True when request's job failed at source, the check of that fault passed since, and no
    // other fault came in between: the check cannot tell this request's failure, so the request
    // fails on its own instead of stopping everyone again.
    bool failsAgainAfterCheck(Source source, const QString& request) const;
    // The request's job ended: a later failure of it is a new one.
    void jobEnded(const QString& request);

private:
    struct Held {
        QString reason;
        Check check;
        QString request;
    };
    QMap<Source, Check> m_checks;
    QMap<Source, Held> m_held;
    QMap<Source, QString> m_mendedFor; // the request whose failure a passed check just cleared
};
