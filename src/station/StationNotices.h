#pragma once

#include "queue/Notices.h"

#include <QStringList>

class QLabel;

// Unattended messages: the newest in the window's status line (its whole text as the tool tip),
// each on the standard error with the time, so the journal of a station run as a service keeps
// them. Nothing waits for a person.
class StationNotices : public Notices {
public:
    explicit StationNotices(QLabel* statusLine);
    void notice(const QString& text) override;
    // The notices given so far in this run of the station, oldest first; at most the last 100.
    const QStringList& recent() const { return m_recent; }

private:
    QLabel* m_statusLine;
    QStringList m_recent;
};
