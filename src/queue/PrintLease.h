#pragma once

#include <QString>
#include <memory>

class LeaseLock;

// The lab-wide lease for automatic printing, seen from one station: it takes the lease when it is
// free and keeps checking that it still holds it; a station without it stands by and knows who
// prints. Each change (taken, lost, held by whom) goes to the station log once.
class PrintLease {
public:
    enum class State { Unknown, Holder, Standby };

    PrintLease(std::unique_ptr<LeaseLock> lock, QString leaseName, QString station);
    ~PrintLease();
    PrintLease(const PrintLease&) = delete;
    PrintLease& operator=(const PrintLease&) = delete;

    // Checks the lease, taking it when it is free. True when this station is to print
    // automatically now. A database that does not answer leaves the state Unknown: no automatic
    // printing on a lease nobody can vouch for.
    bool poll();
    State state() const { return m_state; }
    // Who prints automatically: this station's name while it holds the lease, the holder's
    // (as noted) while standing by, "" when unknown.
    QString printingStation() const { return m_printer; }
    // "automatic printing is done by <station>", or why nobody knows.
    QString statusText() const;
    // Gives the lease up (the station ends); nothing when it is not held.
    void release();

private:
    void noteHolder();
    void become(State state, const QString& printer, const QString& why = QString());

    std::unique_ptr<LeaseLock> m_lock;
    QString m_name;
    QString m_station;
    State m_state = State::Unknown;
    QString m_printer;
    QString m_fault;
};
