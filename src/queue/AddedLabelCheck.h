#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <utility>

class RowSet;

// Decides which printed requests are looked up again for labels they did not have when they were
// printed, at a cost that does not grow with the number of printed requests. Each run gives it
// the fingerprints of the requests of the list's window (LabDatabase::requestFingerprints, one
// statement): a printed request is looked up when its fingerprint differs from the one of its
// last lookup, or when it has none yet (printed by another station, or before a restart). The
// fingerprint covers every item and barcode of the request, so a swapped exam or a barcode
// filled in changes it; for what a site's procedure may form outside the item rows, each printed
// request is also looked up at a few growing intervals after its print. A request the window no
// longer holds, by the database's clock, is not looked up, and what was kept of it goes.
class AddedLabelCheck {
public:
    // Milliseconds on a clock that only moves forward. Only intervals are measured with it: how
    // old a request is, the database decides.
    using Clock = std::function<qint64()>;

    // Minutes after a print at which the request is looked up again.
    static constexpr std::array<int, 3> recheckMinutes{2, 10, 30};
    // Re-checks due at once (many requests printed together, or a restart) are spread over runs,
    // the longest overdue first.
    static constexpr int maxRechecksPerRun = 10;

    AddedLabelCheck();
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // A new run: its fingerprints are not taken yet.
    void startRun();
    bool fingerprintsTaken() const { return m_taken; }
    // This run's fingerprints: rows RefNum, Items, Labels. Requests they do not hold are
    // forgotten.
    void takeFingerprints(const RowSet& rows);
    // None could be read this run: no printed request is looked up, nothing is forgotten.
    void noFingerprints() { m_taken = true; }
    // Whether the printed request is looked up in this run. everyRequest: a person pressed Print
    // Now, so every printed request of the window is looked up, changed or not.
    bool needsLookup(const QString& refNum, bool everyRequest = false) const;
    // The request was looked up (or printed whole) in this run and has nothing left to print:
    // its fingerprint is this run's. printed: labels of it came out, so its re-checks start over.
    void settled(const QString& refNum, bool printed);
    // Something of the request was left unprinted: it is looked up again by the next run.
    void unsettled(const QString& refNum);

    // Requests remembered.
    int size() const { return static_cast<int>(m_requests.size()); }

private:
    struct Request {
        QString fingerprint; // at its last lookup; empty: take the next run's without a lookup
        qint64 printedAt = 0;
        int rechecks = 0; // re-checks done since its print
    };
    // When its next re-check falls due; nullopt when it has had them all.
    static std::optional<qint64> recheckAt(const Request& request);

    Clock m_clock;
    QHash<QString, QString> m_fingerprints; // this run's
    QHash<QString, Request> m_requests;
    QSet<QString> m_rechecks; // granted to this run
    bool m_taken = false;
};
