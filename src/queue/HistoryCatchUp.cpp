#include "queue/HistoryCatchUp.h"

#include "app/Failure.h"
#include "app/StationActivity.h"
#include "app/StationLog.h"
#include "queue/LabelHistory.h"

HistoryCatchUp::HistoryCatchUp(LabelHistory& history, const StationActivity& activity,
                               QObject* parent)
    : QObject(parent)
    , m_history(history)
    , m_activity(activity) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HistoryCatchUp::step);
}

void HistoryCatchUp::start() {
    m_timer.start(0);
}

void HistoryCatchUp::step() {
    if (m_activity.isAnythingRunning() || m_activity.isInsideYield()) {
        m_timer.start(1000);
        return;
    }
    try {
        if (m_history.catchUp(stepBytes)) {
            m_timer.start(0);
            return;
        }
        qCInfo(lcPrint) << "label history: the index is up to date";
    } catch (const Failure& failure) {
        // The next question reads what is left, as it always did.
        qCWarning(lcPrint).noquote() << failure.description();
    }
}
