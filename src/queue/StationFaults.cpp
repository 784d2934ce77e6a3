#include "queue/StationFaults.h"

#include "app/Failure.h"
#include "app/StationLog.h"

#include <QStringList>

void StationFaults::setCheck(Source source, const Check& check) {
    m_checks.insert(source, check);
}

void StationFaults::raise(Source source, const QString& reason) {
    qCWarning(lcPrint).noquote() << "printing stopped by a station fault:" << reason;
    m_held.insert(source, reason);
}

QString StationFaults::reason() const {
    return QStringList(m_held.values()).join(QLatin1Char('\n'));
}

bool StationFaults::clearIfMended() {
    for (auto held = m_held.begin(); held != m_held.end();) {
        const Check check = m_checks.value(held.key());
        try {
            if (check)
                check();
            qCInfo(lcPrint).noquote() << "station fault mended; printing again:" << held.value();
            held = m_held.erase(held);
        } catch (const Failure& failure) {
            held.value() = failure.description();
            ++held;
        } catch (const std::exception& error) {
            held.value() = QString::fromLocal8Bit(error.what());
            ++held;
        }
    }
    return m_held.isEmpty();
}
