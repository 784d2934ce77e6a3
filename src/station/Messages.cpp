#include "station/Messages.h"

#include "app/StationActivity.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

void MessageBoxMessages::show(const QString& text, Icon icon) {
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

std::optional<QString> MessageBoxMessages::choose(const QString& text, const QStringList& choices,
                                                  bool freeText) {
    bool ok = false;
    const QString answer =
        QInputDialog::getItem(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                              text, choices, 0, freeText, &ok);
    return ok ? std::optional<QString>(answer) : std::nullopt;
}

HeldMessages::HeldMessages(Messages& inner, StationActivity& activity)
    : m_inner(inner)
    , m_activity(activity) {
    // Posted, so the box opens from the event loop rather than inside the code that just ended.
    m_activity.setOnIdle([this] {
        if (!m_waiting.isEmpty())
            QTimer::singleShot(0, this, &HeldMessages::showWaiting);
    });
}

void HeldMessages::show(const QString& text, Icon icon) {
    m_waiting.append({text, icon});
    if (!m_activity.isInsideYield())
        showWaiting();
}

void HeldMessages::showWaiting() {
    if (m_showing)
        return; // the box up now shows the rest when it closes
    m_showing = true;
    while (!m_waiting.isEmpty() && !m_activity.isInsideYield()) {
        const Message message = m_waiting.takeFirst();
        m_inner.show(message.text, message.icon);
    }
    m_showing = false;
}
