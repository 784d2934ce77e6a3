#pragma once

#include <QObject>
#include <QString>

class Station;

// The grid of recent requests: the requests of the last 360 minutes, one row per number, with
// their exams and printed marks. Rebuilt by Refresh, extended by every third refresh-timer tick.
class RecentRequests : public QObject {
    Q_OBJECT
public:
    static constexpr int ticksPerRefresh = 3;

    explicit RecentRequests(Station& station, QObject* parent = nullptr);

    // Adds a row for every recent request number the grid does not hold yet, newest first.
    // Throws Failure; the rows added before the failure stay, the grid is enabled again and the
    // cursor restored.
    void LoadRecentRequests();
    // Refresh: empties the grid and loads it again. While a refresh or a cycle walks the grid
    // the press waits and runs as soon as the walk ends.
    void onRefreshClick();
    // Every third tick loads new requests; a third tick that falls inside a refresh is dropped.
    void onRefreshTick();
    int refreshTickCount() const { return m_refreshTickCount; }

    bool refreshDeferred() const { return m_refreshDeferred; }
    // Runs a Refresh press that waited, once no refresh or cycle walks the grid any more. The
    // cycle calls it when it ends.
    void runDeferredRefresh();

private:
    void AddRequestRow(const QString& refNum);
    // One refresh with its failure shown; the guard is held while the message is up, so no
    // second refresh stacks another message on it.
    void refresh(bool emptyFirst);
    bool listIsWalked() const;

    Station& m_station;
    int m_refreshTickCount = 0;
    bool m_refreshDeferred = false;
};
