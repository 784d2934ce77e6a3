#pragma once

#include "app/LeaseLock.h"

#include <QString>
#include <functional>
#include <memory>

// The lab-wide lease for automatic printing, seen from one station. The holder renews the note
// at every check; a standby takes the lease when the holder's lock is free (its station ended),
// or when the note has not changed for staleMs on the standby's own clock (the holder stopped:
// frozen, hung, suspended), by taking the next generation's lock. A holder prints only while it
// holds its generation's lock and the note names no later one (stillHolds, before each request);
// superseded, or its lock lost with its connection, it prints nothing automatically until it
// takes the lease again. Each change goes to the station log once.
class PrintLease {
public:
    enum class State { Unknown, Holder, Standby };
    // Milliseconds on a clock that only moves forward; only intervals are measured with it.
    using Clock = std::function<qint64()>;
    // A holder that has not renewed for this long is superseded by the next standby's check.
    static constexpr qint64 staleMs = 30000;
    // A standby tells it on its status line from this long on.
    static constexpr qint64 lateMs = 20000;

    PrintLease(std::unique_ptr<LeaseLock> lock, QString leaseName, QString station,
               Clock clock = {});
    ~PrintLease();
    PrintLease(const PrintLease&) = delete;
    PrintLease& operator=(const PrintLease&) = delete;

    // Checks the lease: the holder renews it, a standby takes it when it is free or its holder
    // stopped renewing. True when this station is to print automatically now. A database or
    // folder that does not answer leaves the state Unknown: no automatic printing on a lease
    // nobody can vouch for.
    bool poll();
    // The fence before each request of an automatic run: whether this station still holds the
    // lease (its lock, and no later generation noted). Renews nothing; false changes the state.
    bool stillHolds();
    State state() const { return m_state; }
    // Who prints automatically: this station's name while it holds the lease, the holder's
    // (as noted) while standing by, "" when unknown.
    QString printingStation() const { return m_printer; }
    // "automatic printing is done by <station>", when it stopped renewing, or why nobody knows.
    QString statusText() const;
    // Gives the lease up (the station ends); nothing when it is not held.
    void release();

private:
    // Notes when the note last changed, on this station's clock.
    void observe(const LeaseLock::Note& note);
    // Gives up a lock that no longer makes this station the holder.
    void letGo(const QString& why);
    bool takeOver(const LeaseLock::Note& note, bool stale);
    void renew();
    void become(State state, const QString& printer, const QString& why = QString());

    std::unique_ptr<LeaseLock> m_lock;
    QString m_name;
    QString m_station;
    Clock m_clock;
    State m_state = State::Unknown;
    QString m_printer;
    QString m_fault;
    quint64 m_generation = 0; // held, 0 when none
    quint64 m_renewal = 0;
    bool m_noteFailed = false;
    LeaseLock::Note m_seen;
    qint64 m_seenAt = -1;
    QString m_seenTime; // the time of day it was seen, for the status line
    bool m_late = false;
};
