#include "main/StartupRetry.h"

#include "app/StationLog.h"

#include <algorithm>

StartupRetry::StartupRetry(Attempt attempt, Clock clock, QObject* parent)
    : QObject(parent)
    , m_attempt(std::move(attempt))
    , m_clock(std::move(clock)) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &StartupRetry::tryNow);
}

int StartupRetry::pauseSeconds(int failedTries) {
    constexpr int first = 5;
    constexpr int longest = 60;
    // Doubling stops at the cap, so a night of failed tries never overflows.
    int pause = first;
    for (int i = 1; i < failedTries && pause < longest; ++i)
        pause *= 2;
    return std::min(pause, longest);
}

void StartupRetry::tryNow() {
    if (m_succeeded)
        return;
    m_timer.stop();
    const QString fault = m_attempt();
    if (fault.isEmpty()) {
        m_succeeded = true;
        m_nextTry = QDateTime();
        if (m_failedTries > 0)
            qCInfo(lcStartup).noquote() << "start-up try" << m_failedTries + 1 << "succeeded";
        Q_EMIT ready();
        return;
    }
    ++m_failedTries;
    const int pause = pauseSeconds(m_failedTries);
    m_nextTry = m_clock().addSecs(pause);
    qCWarning(lcStartup).noquote()
        << QStringLiteral("start-up try %1 failed: %2; next try in %3 s")
               .arg(QString::number(m_failedTries),
                    QString(fault).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                    QString::number(pause));
    m_timer.start(pause * 1000);
    Q_EMIT waiting(fault, m_nextTry);
}
