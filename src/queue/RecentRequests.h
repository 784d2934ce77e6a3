#pragma once

#include <QObject>
#include <QString>

class Station;

// The grid of recent requests: the requests of the last 360 minutes, one row per number, with
// their exams and printed marks. Rebuilt by Refresh, extended by every third refresh-timer tick.
class RecentRequests : public QObject {
    Q_OBJECT
public:
    explicit RecentRequests(Station& station, QObject* parent = nullptr);

    void LoadRecentRequests();
    void onRefreshClick();
    void onRefreshTick();
    int refreshTickCount() const { return m_refreshTickCount; }

private:
    void AddRequestRow(const QString& refNum);

    Station& m_station;
    int m_refreshTickCount = 0;
};
