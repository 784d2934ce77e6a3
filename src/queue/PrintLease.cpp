#include "queue/PrintLease.h"

#include "app/Failure.h"
#include "app/StationLog.h"
#include "app/SteadyClock.h"

#include <QDateTime>

PrintLease::PrintLease(std::unique_ptr<LeaseLock> lock, QString leaseName, QString station,
                       Clock clock)
    : m_lock(std::move(lock))
    , m_name(std::move(leaseName))
    , m_station(std::move(station))
    , m_clock(clock ? std::move(clock) : Clock(steadyMilliseconds)) {}

PrintLease::~PrintLease() = default;

void PrintLease::observe(const LeaseLock::Note& note) {
    if (m_seenAt < 0 || !(note == m_seen)) {
        m_seen = note;
        m_seenAt = m_clock();
        m_seenTime = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    }
}

bool PrintLease::poll() {
    try {
        const LeaseLock::Note note = m_lock->readNote();
        observe(note);
        if (m_generation != 0) {
            if (!m_lock->holds()) {
                letGo(QStringLiteral("its lock went with the connection"));
            } else if (note.generation > m_generation) {
                letGo(QStringLiteral("%1 took it over").arg(note.holder));
            } else {
                renew();
                become(State::Holder, m_station);
                return true;
            }
        }
        const qint64 unchanged = m_clock() - m_seenAt;
        if (takeOver(note, note.generation != 0 && unchanged >= staleMs)) {
            become(State::Holder, m_station);
            return true;
        }
        const bool late = note.generation != 0 && unchanged >= lateMs;
        if (late && !m_late)
            qCWarning(lcQueue).noquote()
                << QStringLiteral("Lease \"%1\": %2 has not renewed it since %3.")
                       .arg(m_name, note.holder, m_seenTime);
        m_late = late;
        become(State::Standby,
               note.holder.isEmpty() ? QStringLiteral("another station") : note.holder);
    } catch (const Failure& failure) {
        become(State::Unknown, QString(), failure.description());
    }
    return false;
}

bool PrintLease::stillHolds() {
    if (m_state != State::Holder)
        return false;
    try {
        if (m_lock->holds() && m_lock->readNote().generation <= m_generation)
            return true;
    } catch (const Failure&) {
        // The full check below tells what failed.
    }
    return poll();
}

void PrintLease::letGo(const QString& why) {
    qCWarning(lcQueue).noquote()
        << QStringLiteral("Lease \"%1\" lost (generation %2): %3; no automatic printing until it "
                          "is taken again.")
               .arg(m_name)
               .arg(m_generation)
               .arg(why);
    m_generation = 0;
    m_state = State::Unknown; // told as taken again, or as held by another
    m_lock->release();
}

bool PrintLease::takeOver(const LeaseLock::Note& note, bool stale) {
    // A free lock: its holder ended. A stale note: it stopped, maybe still holding its lock.
    if (note.generation != 0 && !stale && !m_lock->isFree(note.generation))
        return false;
    const quint64 next = note.generation + 1;
    if (!m_lock->take(next))
        return false;
    // Another station moved the note meanwhile (took over, or the holder came back): its turn.
    if (!(m_lock->readNote() == note)) {
        m_lock->release();
        return false;
    }
    if (stale)
        qCWarning(lcQueue).noquote()
            << QStringLiteral("Lease \"%1\": %2 has not renewed it since %3; this station takes "
                              "it over.")
                   .arg(m_name, note.holder, m_seenTime);
    m_generation = next;
    m_renewal = 0;
    try {
        m_lock->writeNote({m_station, m_generation, m_renewal});
        m_noteFailed = false;
    } catch (const Failure&) {
        // The stopped holder learns of its successor from the note alone.
        if (stale) {
            m_generation = 0;
            m_lock->release();
            throw;
        }
        renew(); // a holder that ended needs no word: print, and tell it
    }
    observe(m_lock->readNote());
    m_late = false;
    return true;
}

void PrintLease::renew() {
    // The lock decides who prints, not the note: a holder that cannot write it still prints,
    // and tells it.
    try {
        m_lock->writeNote({m_station, m_generation, ++m_renewal});
        m_noteFailed = false;
    } catch (const Failure& failure) {
        if (!m_noteFailed)
            qCWarning(lcQueue).noquote()
                << QStringLiteral("Lease \"%1\" held, but its holder cannot be noted: %2")
                       .arg(m_name, failure.description());
        m_noteFailed = true;
    }
}

void PrintLease::become(State state, const QString& printer, const QString& why) {
    if (state == m_state && printer == m_printer && why == m_fault)
        return;
    const State was = m_state;
    m_state = state;
    m_printer = printer;
    m_fault = why;
    switch (state) {
    case State::Holder:
        qCInfo(lcQueue).noquote() << QStringLiteral(
                                         "Lease \"%1\" taken (generation %2): this station prints "
                                         "automatically.")
                                         .arg(m_name)
                                         .arg(m_generation);
        break;
    case State::Standby:
        qCInfo(lcQueue).noquote() << QStringLiteral(
                                         "Lease \"%1\" held by %2: this station stands by.")
                                         .arg(m_name, printer);
        break;
    case State::Unknown:
        qCWarning(lcQueue).noquote()
            << QStringLiteral("Lease \"%1\" cannot be checked%2: no automatic printing until it "
                              "can: %3")
                   .arg(m_name,
                        was == State::Holder ? QStringLiteral(" and counts as lost") : QString(),
                        why);
        break;
    }
}

QString PrintLease::statusText() const {
    if (m_state == State::Unknown)
        return QStringLiteral("automatic printing waits: the lease \"%1\" cannot be checked: %2")
            .arg(m_name, m_fault);
    if (m_state == State::Standby && m_late)
        return QStringLiteral("automatic printing is done by %1, which has not renewed the lease "
                              "since %2")
            .arg(m_printer, m_seenTime);
    return QStringLiteral("automatic printing is done by %1").arg(m_printer);
}

void PrintLease::release() {
    if (m_state != State::Holder)
        return;
    try {
        m_lock->release();
        qCInfo(lcQueue).noquote() << QStringLiteral("Lease \"%1\" given up.").arg(m_name);
    } catch (const Failure&) {
        // The server drops it with the connection anyway.
    }
    m_generation = 0;
    m_state = State::Unknown;
}
