#include "station/StationNotices.h"

#include "app/DateTimeText.h"
#include "app/StationLog.h"

#include <QDebug>
#include <QLabel>

StationNotices::StationNotices(QLabel* statusLine)
    : m_statusLine(statusLine) {}

void StationNotices::notice(const QString& text) {
    const QString now = DateTimeText::now();
    qCInfo(lcQueue).noquote() << text;
    if (m_recent.size() >= 100)
        m_recent.removeFirst();
    m_recent.append(text);
    if (!m_statusLine)
        return;
    const QString firstLine = text.section(QLatin1Char('\n'), 0, 0);
    m_statusLine->setText(now.mid(11) + QLatin1Char(' ') + firstLine);
    m_statusLine->setToolTip(now + QLatin1Char('\n') + text);
}
