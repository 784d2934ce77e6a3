#include "queue/StationFaults.h"

#include "app/Failure.h"
#include "app/StationLog.h"

#include <QStringList>

void StationFaults::setCheck(Source source, const Check& check) {
    m_checks.insert(source, check);
}

void StationFaults::raise(Source source, const QString& reason, const Check& check,
                          const QString& request) {
    qCWarning(lcPrint).noquote() << "printing stopped by a station fault:" << reason;
    m_held.insert(source, Held{reason, check, request});
    m_mendedFor.clear();
}

QString StationFaults::reason() const {
    QStringList reasons;
    for (const Held& held : m_held)
        reasons.append(held.reason);
    return reasons.join(QLatin1Char('\n'));
}

bool StationFaults::clearIfMended() {
    for (auto held = m_held.begin(); held != m_held.end();) {
        const Check check = held->check ? held->check : m_checks.value(held.key());
        try {
            if (check)
                check();
            qCInfo(lcPrint).noquote() << "station fault mended; printing again:" << held->reason;
            if (!held->request.isEmpty())
                m_mendedFor.insert(held.key(), held->request);
            held = m_held.erase(held);
        } catch (const Failure& failure) {
            held->reason = failure.description();
            ++held;
        } catch (const std::exception& error) {
            held->reason = QString::fromLocal8Bit(error.what());
            ++held;
        }
    }
    return m_held.isEmpty();
}

bool StationFaults::failsAgainAfterCheck(Source source, const QString& request) const {
    return !request.isEmpty() && m_mendedFor.value(source) == request;
}

void StationFaults::jobEnded(const QString& request) {
    for (auto mended = m_mendedFor.begin(); mended != m_mendedFor.end();) {
        if (mended.value() == request)
            mended = m_mendedFor.erase(mended);
        else
            ++mended;
    }
}
