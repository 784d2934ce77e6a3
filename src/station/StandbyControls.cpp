#include "station/StandbyControls.h"

#include "app/Failure.h"
#include "app/LabDatabase.h"
#include "app/StationLog.h"
#include "queue/ChangeProbe.h"
#include "queue/Notices.h"
#include "queue/PrintLease.h"
#include "station/QueueControls.h"

#include <QTimer>

StandbyControls::StandbyControls(LabDatabase& lab, QueueControls& queue, Notices& notices,
                                 int probeSeconds, const QString& leaseName,
                                 const QString& stationName, const QString& printLogFolder,
                                 QObject* parent)
    : QObject(parent)
    , m_queue(queue)
    , m_notices(notices) {
    if (!leaseName.isEmpty()) {
        std::unique_ptr<LeaseLock> lock;
        try {
            lock = lab.lease(leaseName, printLogFolder);
        } catch (const Failure& failure) {
            qCWarning(lcQueue).noquote() << failure.description();
        }
        if (lock) {
            m_lease = std::make_unique<PrintLease>(std::move(lock), leaseName, stationName);
            auto* leaseTimer = new QTimer(this);
            connect(leaseTimer, &QTimer::timeout, this, &StandbyControls::onLeaseTick);
            leaseTimer->start(leaseCheckMs);
            checkLease();
        }
    }
    if (probeSeconds > 0) {
        m_probe = std::make_unique<ChangeProbe>(lab);
        auto* probeTimer = new QTimer(this);
        connect(probeTimer, &QTimer::timeout, this, &StandbyControls::onProbeTick);
        probeTimer->start(probeSeconds * 1000);
    }
}

StandbyControls::~StandbyControls() {
    if (m_lease)
        m_lease->release();
}

bool StandbyControls::checkLease() {
    const bool holds = m_lease->poll();
    showLease();
    return holds;
}

void StandbyControls::showLease() {
    const QString text = m_lease->statusText();
    if (text != m_shown) {
        m_shown = text;
        m_notices.notice(text);
    }
}

bool StandbyControls::mayGoOn() {
    if (!m_lease)
        return true;
    const bool holds = m_lease->stillHolds();
    showLease();
    return holds;
}

bool StandbyControls::mayPrintAutomatically() {
    return !m_lease || checkLease();
}

void StandbyControls::onLeaseTick() {
    const bool held = m_lease->state() == PrintLease::State::Holder;
    // A station that has just taken over prints what waits at once, not at its next tick.
    if (checkLease() && !held)
        m_queue.onRequestsChanged(true);
}

void StandbyControls::onProbeTick() {
    bool changed = false;
    try {
        changed = m_probe->poll();
    } catch (const Failure& failure) {
        qCWarning(lcQueue).noquote()
            << QStringLiteral("The change probe failed: %1").arg(failure.description());
        return;
    }
    if (!changed)
        return;
    const bool print = mayPrintAutomatically();
    // Busy (a lookup, a print job, a run): the next probe reports the change again.
    if (!m_queue.onRequestsChanged(print))
        m_probe->forget();
}
