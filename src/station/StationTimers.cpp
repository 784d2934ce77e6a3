#include "station/StationTimers.h"

#include "station/StationSettings.h"
#include "station/StationWindow.h"

#include <QCheckBox>
#include <QTimer>

namespace {

void setRunning(QTimer* timer, bool on) {
    if (on)
        timer->start();
    else
        timer->stop();
}

} // namespace

StationTimers::StationTimers(const StationControls& controls)
    : m_controls(controls) {}

void StationTimers::EnableTimers(bool enable) {
    const StationControls& c = m_controls;
    setRunning(c.tmrCheckRequests, enable);
    setRunning(c.tmrAutoPrint, enable && c.vkchkAutoPrintRequests->isChecked());
}

void StationTimers::onAutoPrintBoxClick() {
    const StationControls& c = m_controls;
    const int value = c.vkchkAutoPrintRequests->isChecked() ? 1 : 0;
    setRunning(c.tmrAutoPrint, value == 1);
    AutoPrintSetting::write(value);
}

void StationTimers::stopAll() {
    m_controls.tmrCheckRequests->stop();
    m_controls.tmrAutoPrint->stop();
}
