#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

// A kiosk's start-up that waits instead of ending: a try that fails (no database, a refused
// login, no print-log folder) is tried again by itself after a pause that grows to a minute, until
// one succeeds. Windowless; the clock is injected so that tests read the times it announces.
class StartupRetry : public QObject {
    Q_OBJECT
public:
    // One try: the fault in the station's words, or "" when the station can start.
    using Attempt = std::function<QString()>;
    using Clock = std::function<QDateTime()>;

    StartupRetry(Attempt attempt, Clock clock, QObject* parent = nullptr);

    // The pause after the given number of failed tries in a row: 5 s, doubling, at most 60 s.
    static int pauseSeconds(int failedTries);

    // Runs a try now; after a fault, the next one is due after its pause.
    void tryNow();
    bool succeeded() const { return m_succeeded; }
    QDateTime nextTry() const { return m_nextTry; }

Q_SIGNALS:
    void waiting(const QString& fault, const QDateTime& nextTry);
    void ready();

private:
    Attempt m_attempt;
    Clock m_clock;
    QTimer m_timer;
    QDateTime m_nextTry;
    int m_failedTries = 0;
    bool m_succeeded = false;
};
