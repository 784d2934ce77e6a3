#include "queue/PrintLease.h"

#include "app/Failure.h"
#include "app/LeaseLock.h"
#include "app/StationLog.h"

PrintLease::PrintLease(std::unique_ptr<LeaseLock> lock, QString leaseName, QString station)
    : m_lock(std::move(lock))
    , m_name(std::move(leaseName))
    , m_station(std::move(station)) {}

PrintLease::~PrintLease() = default;

bool PrintLease::poll() {
    try {
        if (m_lock->take()) {
            // While it is held nobody else can take it, so the note stays true until it is lost.
            if (m_state != State::Holder)
                noteHolder();
            become(State::Holder, m_station);
            return true;
        }
        const QString holder = m_lock->holder();
        become(State::Standby, holder.isEmpty() ? QStringLiteral("another station") : holder);
    } catch (const Failure& failure) {
        become(State::Unknown, QString(), failure.description());
    }
    return false;
}

void PrintLease::noteHolder() {
    // The lock decides who prints, not the note: a holder that cannot write it still prints,
    // and the others show "another station".
    try {
        m_lock->noteHolder(m_station);
    } catch (const Failure& failure) {
        qCWarning(lcQueue).noquote()
            << QStringLiteral("Lease \"%1\" taken, but its holder cannot be noted: %2")
                   .arg(m_name, failure.description());
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
        qCInfo(lcQueue).noquote()
            << QStringLiteral("Lease \"%1\" taken: this station prints automatically.").arg(m_name);
        break;
    case State::Standby:
        if (was == State::Holder)
            qCWarning(lcQueue).noquote() << QStringLiteral("Lease \"%1\" lost.").arg(m_name);
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
    m_state = State::Unknown;
}
